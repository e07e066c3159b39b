// The web process side of the blocked-request count. The engine tells no
// one in the browser process that a content filter stopped a load; it only
// says so on the page's console, which the web process sees. Each such
// message goes to the view as a "qel-blocked" message with the address.
#include <webkit2/webkit-web-extension.h>

#include <cstring>

namespace {

constexpr const char* Said = "Content blocker prevented frame displaying ";
constexpr const char* From = " from loading a resource from ";

void ConsoleMessage(WebKitWebPage* page, WebKitConsoleMessage* message, gpointer) {
    const char* text = webkit_console_message_get_text(message);
    if (!text || std::strncmp(text, Said, std::strlen(Said)) != 0) return;
    const char* from = std::strstr(text, From);
    if (!from) return;
    GVariant* address = g_variant_new_string(from + std::strlen(From));
    webkit_web_page_send_message_to_view(page, webkit_user_message_new("qel-blocked", address), nullptr, nullptr,
                                         nullptr);
}

void PageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
    g_signal_connect(page, "console-message-sent", G_CALLBACK(ConsoleMessage), nullptr);
}

} // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
    g_signal_connect(extension, "page-created", G_CALLBACK(PageCreated), nullptr);
}

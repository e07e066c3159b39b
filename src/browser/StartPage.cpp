#include "browser/StartPage.h"

#include <webkit2/webkit2.h>

#include <set>

namespace browser {

std::string StartPageHtml() {
    return R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Qel Browser</title>
<style>
body { font-family: sans-serif; margin: 2em 3em; color: #222; background: #f4f4f0; }
h1 { font-style: italic; margin-bottom: 0.2em; }
table { border-collapse: collapse; margin-top: 1em; }
td { padding: 0.3em 1.2em 0.3em 0; vertical-align: top; }
td.k { font-family: monospace; font-weight: bold; white-space: nowrap; }
</style></head>
<body>
<h1>Qel Browser</h1>
<p>A small web browser. Type an address into the box at the top and press Enter.</p>
<h2>Keyboard and mouse</h2>
<table>
<tr><td class="k">Enter</td><td>in the address box: go to the address</td></tr>
<tr><td class="k">GO</td><td>or a double click on the address box: go to the address</td></tr>
<tr><td class="k">Ctrl+Left</td><td>back to the previous page</td></tr>
<tr><td class="k">Ctrl+Right</td><td>forward to the next page</td></tr>
<tr><td class="k">Ctrl+Down</td><td>the Edit menu, where the mouse pointer is</td></tr>
<tr><td class="k">Ctrl+L, F6, Alt+D</td><td>select the address box</td></tr>
<tr><td class="k">F5, Ctrl+R</td><td>reload the page (Ctrl+Shift+R: past the cache)</td></tr>
<tr><td class="k">Esc</td><td>stop loading, or stop a download</td></tr>
<tr><td class="k">Ctrl+F</td><td>find in the page (Enter, F3: next; Shift+Enter, Shift+F3: previous)</td></tr>
<tr><td class="k">Ctrl+plus, Ctrl+minus, Ctrl+0</td><td>zoom in, out, back to 100% (also Ctrl and the wheel)</td></tr>
<tr><td class="k">Ctrl+S, Ctrl+P</td><td>save, print</td></tr>
<tr><td class="k">Ctrl+W, Ctrl+Q</td><td>close the browser</td></tr>
<tr><td class="k">F11</td><td>full screen</td></tr>
<tr><td class="k">Right click</td><td>on the window's frame: the Edit menu</td></tr>
</table>
<p>The address list keeps the addresses you typed, the newest first.
"Set home page" in the Edit menu makes the address in the box your home page.
Files the browser cannot show go to your download folder.</p>
</body></html>
)";
}

static std::function<std::string(const std::string&)>& MorePages() {
    static std::function<std::string(const std::string&)> serve;
    return serve;
}

void SetMorePages(std::function<std::string(const std::string& uri)> serve) { MorePages() = std::move(serve); }

static void FinishHtml(WebKitURISchemeRequest* request, const std::string& html) {
    GInputStream* stream = g_memory_input_stream_new_from_data(g_memdup2(html.data(), html.size()), html.size(), g_free);
    webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(html.size()), "text/html");
    g_object_unref(stream);
}

static void ServeRequest(WebKitURISchemeRequest* request, gpointer) {
    std::string path = webkit_uri_scheme_request_get_path(request) ? webkit_uri_scheme_request_get_path(request) : "";
    if (path == "start" || path == "start/" || path == "//start" || path == "//start/") {
        FinishHtml(request, StartPageHtml());
        return;
    }
    if (MorePages()) {
        std::string html = MorePages()(webkit_uri_scheme_request_get_uri(request));
        if (!html.empty()) {
            FinishHtml(request, html);
            return;
        }
    }
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "There is no page %s",
                                webkit_uri_scheme_request_get_uri(request));
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

void RegisterStartPage(WebKitWebContext* context) {
    static std::set<WebKitWebContext*> done;
    if (!done.insert(context).second) return;
    webkit_web_context_register_uri_scheme(context, kStartPageScheme, ServeRequest, nullptr, nullptr);
}

} // namespace browser

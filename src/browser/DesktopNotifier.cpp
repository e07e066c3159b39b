#include "browser/DesktopNotifier.h"

#include <gio/gio.h>

#include <cstdio>
#include <memory>

namespace browser {

std::function<void(const std::string& title, const std::string& body)> DesktopNotifier() {
    // Registered only when the first notification comes, so that a start
    // never waits for the session bus.
    auto app = std::shared_ptr<GApplication>(nullptr, [](GApplication* a) {
        if (a) g_object_unref(a);
    });
    auto tried = std::make_shared<bool>(false);
    return [app, tried](const std::string& title, const std::string& body) mutable {
        if (!*tried) {
            *tried = true;
            GApplication* a = g_application_new("org.qelbrowser.QelBrowser", G_APPLICATION_NON_UNIQUE);
            if (g_application_register(a, nullptr, nullptr))
                app.reset(a);
            else
                g_object_unref(a);
        }
        if (!app) {
            std::fprintf(stderr, "QelBrowser: %s: %s\n", title.c_str(), body.c_str());
            return;
        }
        GNotification* n = g_notification_new(title.c_str());
        if (!body.empty()) g_notification_set_body(n, body.c_str());
        g_application_send_notification(app.get(), nullptr, n);
        g_object_unref(n);
    };
}

} // namespace browser

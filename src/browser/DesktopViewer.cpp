#include "browser/DesktopViewer.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <fcntl.h>
#include <unistd.h>

namespace browser {

namespace {

struct FdGuard {
    int fd;
    ~FdGuard() { if (fd >= 0) ::close(fd); }
};

std::string TakeMessage(GError* e, const char* fallback) {
    std::string text = e ? e->message : fallback;
    if (e) g_error_free(e);
    return text;
}

} // namespace

bool ShowWithDesktopViewer(const std::string& uri, std::string& error) {
    GFile* file = g_file_new_for_uri(uri.c_str());
    GError* e = nullptr;
    GAppInfo* app = g_file_query_default_handler(file, nullptr, &e);
    g_object_unref(file);
    if (!app) {
        error = TakeMessage(e, "no program is set to show this kind of file");
        return false;
    }
    bool launched = false;
    if (G_IS_DESKTOP_APP_INFO(app)) {
        FdGuard null{::open("/dev/null", O_RDWR | O_CLOEXEC)};
        GList uris = {const_cast<char*>(uri.c_str()), nullptr, nullptr};
        launched = g_desktop_app_info_launch_uris_as_manager_with_fds(
            G_DESKTOP_APP_INFO(app), &uris, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr,
            null.fd, null.fd, null.fd, &e);
    } else {
        GList uris = {const_cast<char*>(uri.c_str()), nullptr, nullptr};
        launched = g_app_info_launch_uris(app, &uris, nullptr, &e);
    }
    g_object_unref(app);
    if (!launched) error = TakeMessage(e, "the program could not be started");
    return launched;
}

} // namespace browser

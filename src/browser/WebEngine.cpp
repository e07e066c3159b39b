#include "browser/WebEngine.h"

#include "browser/ContentBlocker.h"
#include "browser/StartPage.h"

#include <glib/gstdio.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <cstdio>

namespace browser {

namespace {

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// $NAME when it holds an absolute path (the XDG rule), else the home
// folder with the fallback below it.
std::string XdgFolder(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    if (value && value[0] == '/') return WithSlash(value);
    return WithSlash(std::string(g_get_home_dir()) + "/" + fallback);
}

std::string DownloadFolder() {
    // The user folders name the home folder itself for a folder the user
    // does not want; downloads then go to the usual place.
    const char* dir = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    std::string home = WithSlash(g_get_home_dir());
    if (dir && dir[0] == '/' && WithSlash(dir) != home) return WithSlash(dir);
    return home + "Downloads/";
}

} // namespace

WebProfile UserProfile(bool privateMode) {
    WebProfile p;
    p.privateMode = privateMode;
    p.dataFolder = XdgFolder("XDG_DATA_HOME", ".local/share") + "QelBrowser/";
    p.cacheFolder = XdgFolder("XDG_CACHE_HOME", ".cache") + "QelBrowser/";
    p.downloadFolder = DownloadFolder();
    return p;
}

std::string SandboxProblem() {
    for (const char* tool : {"bwrap", "xdg-dbus-proxy"}) {
        char* path = g_find_program_in_path(tool);
        if (!path) return std::string(tool) + " is not installed";
        g_free(path);
    }
    // The namespaces the engine's launcher asks for; a container or a
    // system without user namespaces refuses them here already.
    const char* argv[] = {"bwrap", "--ro-bind", "/", "/", "--unshare-all", "--die-with-parent",
                          "--proc", "/proc", "--dev", "/dev", "true", nullptr};
    char* err = nullptr;
    int status = 0;
    GError* error = nullptr;
    if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr,
                      GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL), nullptr, nullptr, nullptr,
                      &err, &status, &error)) {
        std::string why = error->message;
        g_error_free(error);
        return why;
    }
    std::string why;
    if (!g_spawn_check_wait_status(status, nullptr)) {
        why = err && *err ? err : "bwrap failed";
        size_t eol = why.find('\n');
        if (eol != std::string::npos) why.erase(eol);
    }
    g_free(err);
    return why;
}

WebEngine::WebEngine(const WebProfile& profile, std::future<std::string> sandboxProblem) : profile_(profile) {
    WebKitWebsiteDataManager* data = nullptr;
    if (profile_.privateMode) {
        data = webkit_website_data_manager_new_ephemeral();
    } else {
        g_mkdir_with_parents(profile_.dataFolder.c_str(), 0700);
        data = webkit_website_data_manager_new("base-data-directory", profile_.dataFolder.c_str(),
                                               "base-cache-directory", profile_.cacheFolder.c_str(), nullptr);
    }
    // A page with a bad certificate is refused; the window may let it
    // through for one host (see the certificate error page).
    webkit_website_data_manager_set_tls_errors_policy(data, WEBKIT_TLS_ERRORS_POLICY_FAIL);
    context_ = webkit_web_context_new_with_website_data_manager(data);
    if (!profile_.privateMode) {
        // Cookies are kept in memory unless told where to go.
        std::string cookies = profile_.dataFolder + "cookies.sqlite";
        webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(data),
                                                     cookies.c_str(), WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    }
    g_object_unref(data);

    // The sandbox must be decided before the first web process starts. The
    // engine's own switch for turning it off is left to the engine.
    if (profile_.sandbox && !g_getenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS")) {
        std::string problem = sandboxProblem.valid() ? sandboxProblem.get() : SandboxProblem();
        if (problem.empty()) {
            webkit_web_context_set_sandbox_enabled(context_, TRUE);
            sandboxed_ = true;
        } else {
            std::fprintf(stderr, "QelBrowser: web pages run without the sandbox: %s\n", problem.c_str());
        }
    }
    RegisterStartPage(context_);
    // The count of blocked requests in the status bar comes from a web
    // process extension, which must be known before the first view. A
    // private context's pages cannot report, so it goes without.
    if (!profile_.privateMode) ContentBlocker::ReportBlocked(context_);
    // Scripts may ask for new windows at any time, so that the window hears
    // of a pop-up it then blocks; only those that follow the user's click
    // open (see WebKitControl).
    settings_ = webkit_settings_new_with_settings("javascript-can-open-windows-automatically", TRUE, nullptr);
}

WebEngine::~WebEngine() {
    g_object_unref(settings_);
    g_object_unref(context_);
}

} // namespace browser

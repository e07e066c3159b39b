#pragma once
// The engine behind every page of the program: one web context whose
// website data (cookies, local storage, the cache) lives in the user's data
// and cache folders, or in memory only for a private session, and whose web
// processes run in the engine's sandbox wherever this system lets it run.
// Created once by the program entry before the window, gone after it.
#include <future>
#include <string>

typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitSettings WebKitSettings;

namespace browser {
class ContentBlocker;

struct WebProfile {
    // Nothing reaches the disk: cookies, site data and cache stay in memory.
    bool privateMode = false;
    std::string dataFolder;      // cookies and site data, with a trailing '/'
    std::string cacheFolder;     // the engine's cache, with a trailing '/'
    std::string downloadFolder;  // where downloads land, with a trailing '/'
    bool sandbox = true;         // run the web processes in the sandbox if it can run
};

// The folders of this user: $XDG_DATA_HOME/QelBrowser/ (else
// ~/.local/share/QelBrowser/), $XDG_CACHE_HOME/QelBrowser/ (else
// ~/.cache/QelBrowser/), and the download folder of the XDG user folders
// (else ~/Downloads/).
WebProfile UserProfile(bool privateMode);

// Whether the sandbox's launcher can make its namespaces here: empty when
// it can, else what stops it.
std::string SandboxProblem();

class WebEngine {
public:
    // The sandbox check may have been started earlier on a thread of its
    // own (it runs a process); without it, the engine checks here.
    explicit WebEngine(const WebProfile& profile, std::future<std::string> sandboxProblem = {});
    ~WebEngine();
    WebEngine(const WebEngine&) = delete;
    WebEngine& operator=(const WebEngine&) = delete;

    WebKitWebContext* Context() const { return context_; }
    // The page settings every tab shares.
    WebKitSettings* Settings() const { return settings_; }
    const WebProfile& Profile() const { return profile_; }
    bool Sandboxed() const { return sandboxed_; }
    // The ad and tracker filter every page's view takes, where there is one.
    void SetBlocker(ContentBlocker* blocker) { blocker_ = blocker; }
    ContentBlocker* Blocker() const { return blocker_; }

private:
    WebProfile profile_;
    WebKitWebContext* context_ = nullptr;
    WebKitSettings* settings_ = nullptr;
    bool sandboxed_ = false;
    ContentBlocker* blocker_ = nullptr;
};

} // namespace browser

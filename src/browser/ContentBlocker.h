#pragma once
// ContentBlocker: ads and trackers blocked by the engine's content filters,
// built from the Adblock Plus lists the system ships (EasyList and
// EasyPrivacy). The lists are converted once and compiled by the engine
// into the cache folder; later runs load the compiled filter as long as the
// lists are the same files (the identifier comes from their sizes, times
// and a hash of their names), so only a changed list costs a compile. A
// site can be let alone ("Block Content on This Site" unchecked), kept in
// a settings file of its own. Without lists the browser runs without
// blocking and says so once.
#include "filters/FilterConverter.h"

#include <webkit2/webkit2.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace browser {

class ContentBlocker {
public:
    // lists: the rule list files; storeFolder: where the engine keeps the
    // compiled filter; sitesFile: the settings file of the sites let alone.
    ContentBlocker(std::vector<std::string> lists, std::string storeFolder, std::string sitesFile);
    ~ContentBlocker();
    ContentBlocker(const ContentBlocker&) = delete;
    ContentBlocker& operator=(const ContentBlocker&) = delete;

    // EasyList and EasyPrivacy as the system installs them.
    static std::vector<std::string> InstalledLists();
    // $XDG_CACHE_HOME/QelBrowser/filters/ (else ~/.cache/QelBrowser/filters/).
    static std::string DefaultStoreFolder();
    // The configuration folder's QelBrowser/ContentBlocking.Ini.
    static std::string DefaultSitesFile();

    // Loads the compiled filter, converting and compiling the lists first
    // when they changed; done runs on the main loop, told whether blocking
    // is ready.
    void Prepare(std::function<void(bool ready)> done);
    // The same, waiting in the main loop.
    bool PrepareAndWait();
    // A filter that has to be compiled goes to folder (and is looked up
    // there from then on); the store folder is only read. A private session
    // so uses the filter an earlier run compiled and writes nothing beside it.
    void CompileInto(const std::string& folder) { compileFolder_ = folder; }
    bool Ready() const { return filter_ != nullptr; }
    const std::string& Identifier() const { return identifier_; }
    const std::string& LastError() const { return error_; }
    // Whether the last Prepare compiled (rather than loaded) the filter,
    // how long that took, and what the conversion counted.
    bool Compiled() const { return compiled_; }
    double CompileSeconds() const { return compileSeconds_; }
    const filters::TConversionCounts& Counts() const { return counts_; }
    // Engine rules the compiler refused (found by halving the rules when
    // the whole set fails); they are left out.
    int Rejected() const { return rejected_; }
    // What the user must be told once (the lists are missing, or the filter
    // could not be made); empty after the first call.
    std::string TakeNotice();

    // Per site (the host of the address): whether content is blocked there.
    // An address of no site (empty, about:blank) gets the default: blocked.
    bool EnabledFor(const std::string& uri) const;
    // Turns blocking on or off for the address's site and saves the sites
    // file (a failure raises platform::Exception, nothing changed).
    void SetEnabledFor(const std::string& uri, bool on);
    // Puts the filter into the manager, or takes it out, as the site of the
    // address wants: called for each top-level navigation before it starts.
    void ApplyTo(WebKitUserContentManager* manager, const std::string& uri);

    // Requests a filter blocked: the engine tells the browser process
    // nothing of them, so a web process extension reports what the page's
    // console hears. ReportBlocked readies a context for it and must come
    // before the context's first view; false when the extension is not
    // there. CountBlocked then calls changed with how many addresses were
    // blocked on the view's page so far (an address asked for twice counts
    // once), and with 0 when a new page comes. Views of an ephemeral
    // (private) context report nothing: the engine keeps their console to
    // itself.
    static bool ReportBlocked(WebKitWebContext* context);
    static void CountBlocked(WebKitWebView* view, std::function<void(int)> changed);
    static std::string WebExtensionsFolder();

    // Compiles engine rules as JSON into a store under an identifier,
    // waiting in the main loop; false with the engine's error. The filter,
    // when wanted, is handed over with a reference.
    static bool CompileJson(const std::string& storeFolder, const std::string& identifier, const std::string& json,
                            std::string& error, WebKitUserContentFilter** filter = nullptr);
    // The rules the engine compiles, with those it refuses left out (each
    // found by compiling halves); rejected tells how many went.
    static std::vector<filters::TBlockerRule> DropRejected(const std::string& storeFolder,
                                                           std::vector<filters::TBlockerRule> rules, int& rejected);
    static std::string HostOf(const std::string& uri);

private:
    std::string ListsIdentifier() const;
    void LoadSites();
    void Compile(std::function<void(bool)> done);
    void RemoveOtherFilters();

    std::vector<std::string> lists_;
    std::string storeFolder_;
    std::string compileFolder_;
    std::string sitesFile_;
    std::set<std::string> offSites_;
    WebKitUserContentFilterStore* store_ = nullptr;
    WebKitUserContentFilter* filter_ = nullptr;
    GCancellable* cancellable_ = nullptr;
    std::string identifier_;
    std::string error_;
    std::string notice_;
    bool noticeGiven_ = false;
    bool compiled_ = false;
    double compileSeconds_ = 0;
    int rejected_ = 0;
    filters::TConversionCounts counts_;
};

} // namespace browser

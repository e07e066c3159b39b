#include "browser/ContentBlocker.h"

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Strings.h"
#include "settings/SettingsText.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace browser {

namespace {

// Changes with the converter, so that a new converter compiles again.
constexpr const char* ConverterVersion = "abp-json-1";
constexpr const char* SitesSection = "Sites";
constexpr const char* OffKey = "Off";

std::string XdgFolder(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    std::string base = value && value[0] == '/' ? std::string(value) : platform::HomeDirectory() + fallback;
    if (base.empty() || base.back() != '/') base += '/';
    return base;
}

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A main loop of its own for the calls that wait.
struct TWait {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    ~TWait() { g_main_loop_unref(loop); }
    void Run() { g_main_loop_run(loop); }
    void Quit() { g_main_loop_quit(loop); }
};

// What an asynchronous call of the store does when it comes back, unless
// the blocker went (and cancelled it) meanwhile.
struct TPending {
    GCancellable* cancellable;
    std::function<void(GObject*, GAsyncResult*)> then;
};

void PendingDone(GObject* source, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<TPending*>(data);
    if (!g_cancellable_is_cancelled(pending->cancellable)) pending->then(source, result);
    g_object_unref(pending->cancellable);
    delete pending;
}

} // namespace

ContentBlocker::ContentBlocker(std::vector<std::string> lists, std::string storeFolder, std::string sitesFile)
    : lists_(std::move(lists)), storeFolder_(std::move(storeFolder)), sitesFile_(std::move(sitesFile)) {
    store_ = webkit_user_content_filter_store_new(storeFolder_.c_str());
    LoadSites();
}

ContentBlocker::~ContentBlocker() {
    if (cancellable_) {
        g_cancellable_cancel(cancellable_);
        g_object_unref(cancellable_);
    }
    if (filter_) webkit_user_content_filter_unref(filter_);
    if (store_) g_object_unref(store_);
}

std::vector<std::string> ContentBlocker::InstalledLists() {
    const std::string folder =
        "/usr/share/mozilla/extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/uBlock0@raymondhill.net/assets/"
        "thirdparties/easylist/";
    return {folder + "easylist.txt", folder + "easyprivacy.txt"};
}

std::string ContentBlocker::DefaultStoreFolder() { return XdgFolder("XDG_CACHE_HOME", ".cache") + "QelBrowser/filters/"; }

std::string ContentBlocker::DefaultSitesFile() {
    return XdgFolder("XDG_CONFIG_HOME", ".config") + "QelBrowser/ContentBlocking.Ini";
}

std::string ContentBlocker::HostOf(const std::string& uri) {
    std::string rest = uri;
    size_t scheme = rest.find("://");
    if (scheme == std::string::npos) return {};
    rest = rest.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (size_t at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
    if (!rest.empty() && rest[0] == '[') {
        rest = rest.substr(0, rest.find(']') + 1);
    } else {
        rest = rest.substr(0, rest.find(':'));
    }
    for (char& c : rest) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (rest.rfind("www.", 0) == 0) rest = rest.substr(4);
    return rest;
}

std::string ContentBlocker::ListsIdentifier() const {
    // The lists as files: a list that is replaced or edited changes its
    // size or time, and so the identifier.
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](const std::string& s) {
        for (unsigned char c : s) {
            h ^= c;
            h *= 1099511628211ull;
        }
        h ^= 0xFF;
        h *= 1099511628211ull;
    };
    mix(ConverterVersion);
    for (const auto& list : lists_) {
        struct stat st{};
        if (::stat(list.c_str(), &st) != 0) continue;
        mix(list);
        mix(std::to_string(st.st_size));
        mix(std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec));
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return std::string("qel-") + hex;
}

void ContentBlocker::LoadSites() {
    offSites_.clear();
    platform::TStringList file;
    struct stat st{};
    if (::stat(sitesFile_.c_str(), &st) != 0) return;
    try {
        file.LoadFromFile(sitesFile_);
    } catch (const std::exception&) {
        return;
    }
    platform::TStringList off;
    settings::ReadList(&file, SitesSection, OffKey, off);
    for (int i = 0; i < off.GetCount(); ++i) offSites_.insert(off.Get(i));
}

bool ContentBlocker::EnabledFor(const std::string& uri) const { return !offSites_.count(HostOf(uri)); }

void ContentBlocker::SetEnabledFor(const std::string& uri, bool on) {
    std::string host = HostOf(uri);
    if (host.empty() || EnabledFor(uri) == on) return;
    std::set<std::string> sites = offSites_;
    if (on)
        sites.erase(host);
    else
        sites.insert(host);
    platform::TStringList file, off;
    struct stat st{};
    if (::stat(sitesFile_.c_str(), &st) == 0) file.LoadFromFile(sitesFile_);
    for (const auto& s : sites) off.Add(s);
    settings::WriteList(&file, SitesSection, OffKey, off);
    size_t slash = sitesFile_.rfind('/');
    if (slash != std::string::npos && slash > 0) g_mkdir_with_parents(sitesFile_.substr(0, slash).c_str(), 0700);
    file.SaveToFile(sitesFile_);
    offSites_ = std::move(sites);
}

void ContentBlocker::ApplyTo(WebKitUserContentManager* manager, const std::string& uri) {
    if (!filter_ || !manager) return;
    if (EnabledFor(uri))
        webkit_user_content_manager_add_filter(manager, filter_);
    else
        webkit_user_content_manager_remove_filter(manager, filter_);
}

std::string ContentBlocker::TakeNotice() {
    if (noticeGiven_ || notice_.empty()) return {};
    noticeGiven_ = true;
    return notice_;
}

void ContentBlocker::Prepare(std::function<void(bool)> done) {
    error_.clear();
    compiled_ = false;
    bool any = false;
    for (const auto& list : lists_) any = any || platform::FileExists(list);
    if (!any) {
        notice_ = "Content blocking is off: the filter lists (EasyList, EasyPrivacy) are not installed";
        done(false);
        return;
    }
    identifier_ = ListsIdentifier();
    if (!cancellable_) cancellable_ = g_cancellable_new();
    auto* pending = new TPending{G_CANCELLABLE(g_object_ref(cancellable_)), {}};
    pending->then = [this, done](GObject* source, GAsyncResult* result) {
        GError* error = nullptr;
        WebKitUserContentFilter* filter =
            webkit_user_content_filter_store_load_finish(WEBKIT_USER_CONTENT_FILTER_STORE(source), result, &error);
        if (error) g_error_free(error);
        if (filter) {
            if (filter_) webkit_user_content_filter_unref(filter_);
            filter_ = filter;
            done(true);
            return;
        }
        Compile(done);
    };
    webkit_user_content_filter_store_load(store_, identifier_.c_str(), cancellable_, PendingDone, pending);
}

bool ContentBlocker::PrepareAndWait() {
    TWait wait;
    bool finished = false, ready = false;
    Prepare([&](bool ok) {
        ready = ok;
        finished = true;
        wait.Quit();
    });
    if (!finished) wait.Run();
    return ready;
}

void ContentBlocker::Compile(std::function<void(bool)> done) {
    auto start = std::chrono::steady_clock::now();
    if (!compileFolder_.empty() && compileFolder_ != storeFolder_) {
        storeFolder_ = compileFolder_;
        g_object_unref(store_);
        store_ = webkit_user_content_filter_store_new(storeFolder_.c_str());
    }
    filters::TFilterConverter converter;
    for (const auto& list : lists_) {
        std::string text;
        if (ReadFile(list, text)) converter.AddList(text);
    }
    counts_ = converter.Counts();
    std::vector<filters::TBlockerRule> rules = converter.Rules();
    std::string json = filters::RulesToJson(rules);
    GBytes* bytes = g_bytes_new(json.data(), json.size());
    auto* pending = new TPending{G_CANCELLABLE(g_object_ref(cancellable_)), {}};
    pending->then = [this, done, start, rules = std::move(rules)](GObject* source, GAsyncResult* result) mutable {
        GError* error = nullptr;
        WebKitUserContentFilter* filter =
            webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(source), result, &error);
        if (!filter) {
            // A rule the engine refuses fails the whole set: the refused ones
            // are found and left out rather than losing every rule.
            if (error) g_error_free(error);
            rules = DropRejected(storeFolder_, std::move(rules), rejected_);
            std::string message;
            if (!CompileJson(storeFolder_, identifier_, filters::RulesToJson(rules), message, &filter)) {
                error_ = message;
                notice_ = "Content blocking is off: the filter lists could not be compiled (" + message + ")";
                done(false);
                return;
            }
        }
        compileSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        compiled_ = true;
        if (filter_) webkit_user_content_filter_unref(filter_);
        filter_ = filter;
        RemoveOtherFilters();
        done(true);
    };
    webkit_user_content_filter_store_save(store_, identifier_.c_str(), bytes, cancellable_, PendingDone, pending);
    g_bytes_unref(bytes);
}

void ContentBlocker::RemoveOtherFilters() {
    // Filters of earlier lists are of no more use: the store keeps one.
    struct TRemove {
        WebKitUserContentFilterStore* store;
        std::string keep;
    };
    auto* data = new TRemove{WEBKIT_USER_CONTENT_FILTER_STORE(g_object_ref(store_)), identifier_};
    webkit_user_content_filter_store_fetch_identifiers(
        store_, nullptr,
        [](GObject*, GAsyncResult* result, gpointer p) {
            auto* d = static_cast<TRemove*>(p);
            gchar** ids = webkit_user_content_filter_store_fetch_identifiers_finish(d->store, result);
            for (gchar** id = ids; id && *id; ++id) {
                if (d->keep != *id && g_str_has_prefix(*id, "qel-"))
                    webkit_user_content_filter_store_remove(d->store, *id, nullptr, nullptr, nullptr);
            }
            g_strfreev(ids);
            g_object_unref(d->store);
            delete d;
        },
        data);
}

std::string ContentBlocker::WebExtensionsFolder() { return QEL_WEB_EXTENSIONS_DIR; }

bool ContentBlocker::ReportBlocked(WebKitWebContext* context) {
    const std::string folder = WebExtensionsFolder();
    if (!platform::FileExists(folder + "/qelblockreport.so")) return false;
    webkit_web_context_set_web_extensions_directory(context, folder.c_str());
    return true;
}

namespace {

struct TBlockedCount {
    std::function<void(int)> changed;
    std::set<std::string> addresses;
};

constexpr const char* CountKey = "qel-blocked-count";

gboolean BlockedMessage(WebKitWebView*, WebKitUserMessage* message, gpointer data) {
    if (g_strcmp0(webkit_user_message_get_name(message), "qel-blocked") != 0) return FALSE;
    auto* count = static_cast<TBlockedCount*>(data);
    GVariant* address = webkit_user_message_get_parameters(message);
    if (address && g_variant_is_of_type(address, G_VARIANT_TYPE_STRING) &&
        count->addresses.insert(g_variant_get_string(address, nullptr)).second && count->changed)
        count->changed(int(count->addresses.size()));
    return TRUE;
}

void BlockedPageChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    if (event != WEBKIT_LOAD_COMMITTED) return;
    auto* count = static_cast<TBlockedCount*>(data);
    count->addresses.clear();
    if (count->changed) count->changed(0);
}

} // namespace

void ContentBlocker::CountBlocked(WebKitWebView* view, std::function<void(int)> changed) {
    // A second call changes the callback: the count and its handlers stay.
    if (auto* count = static_cast<TBlockedCount*>(g_object_get_data(G_OBJECT(view), CountKey))) {
        count->changed = std::move(changed);
        return;
    }
    auto* count = new TBlockedCount{std::move(changed), {}};
    g_object_set_data_full(G_OBJECT(view), CountKey, count,
                           [](gpointer p) { delete static_cast<TBlockedCount*>(p); });
    g_signal_connect(view, "user-message-received", G_CALLBACK(BlockedMessage), count);
    g_signal_connect(view, "load-changed", G_CALLBACK(BlockedPageChanged), count);
}

bool ContentBlocker::CompileJson(const std::string& storeFolder, const std::string& identifier,
                                 const std::string& json, std::string& error, WebKitUserContentFilter** filterOut) {
    WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(storeFolder.c_str());
    GBytes* bytes = g_bytes_new(json.data(), json.size());
    struct TResult {
        TWait wait;
        WebKitUserContentFilter* filter = nullptr;
        std::string error;
        bool done = false;
    } r;
    webkit_user_content_filter_store_save(
        store, identifier.c_str(), bytes, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<TResult*>(data);
            GError* e = nullptr;
            r->filter = webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(source), result, &e);
            if (e) {
                r->error = e->message;
                g_error_free(e);
            }
            r->done = true;
            r->wait.Quit();
        },
        &r);
    if (!r.done) r.wait.Run();
    g_bytes_unref(bytes);
    g_object_unref(store);
    error = r.error;
    if (r.filter && filterOut)
        *filterOut = r.filter;
    else if (r.filter)
        webkit_user_content_filter_unref(r.filter);
    return r.filter != nullptr;
}

std::vector<filters::TBlockerRule> ContentBlocker::DropRejected(const std::string& storeFolder,
                                                                std::vector<filters::TBlockerRule> rules,
                                                                int& rejected) {
    rejected = 0;
    std::vector<filters::TBlockerRule> kept;
    std::string error;
    // Halves that compile are kept whole; a single rule that fails goes.
    std::function<void(size_t, size_t)> sift = [&](size_t from, size_t to) {
        if (from >= to) return;
        std::vector<filters::TBlockerRule> part(rules.begin() + std::ptrdiff_t(from), rules.begin() + std::ptrdiff_t(to));
        if (CompileJson(storeFolder, "qel-probe", filters::RulesToJson(part), error)) {
            kept.insert(kept.end(), part.begin(), part.end());
            return;
        }
        if (to - from == 1) {
            ++rejected;
            return;
        }
        size_t mid = from + (to - from) / 2;
        sift(from, mid);
        sift(mid, to);
    };
    sift(0, rules.size());
    return kept;
}

} // namespace browser

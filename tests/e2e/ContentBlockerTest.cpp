// Content blocking on the real engine, with the installed lists: a bare
// web view loads a loopback page whose scripts, pictures and frame come
// from addresses the lists block (picked from the lists now) and from
// addresses they do not. The blocked ones never reach the server; an "@@"
// exception lets its address through; element hiding hides an element;
// the per-site switch turns all of it off. Also: the compiled filter is
// loaded, not compiled again, while the lists stay the same, and missing
// lists are said once.
#include "EngineSupport.h"
#include "LoopbackServer.h"
#include "browser/ContentBlocker.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

using browser::ContentBlocker;

namespace {

constexpr auto ReadText = qeltest::ReadFile;

struct TempDir : qeltest::TempFolder {
    TempDir() : TempFolder("qel-blocker", Place::Tmp) {}
};

// Plain path rules of a list (no anchors, wildcards or options), which
// block whatever address holds them, and simple class selectors it hides
// everywhere without an exception.
void PickFromList(const std::string& text, std::vector<std::string>& paths, std::vector<std::string>& classes) {
    static const std::regex path("^/[a-z][a-z0-9_-]{4,}[./-]$");
    static const std::regex hide("^##\\.([a-zA-Z][a-zA-Z0-9_-]{3,})$");
    std::set<std::string> excepted;
    size_t start = 0;
    std::vector<std::string> lines;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (line.find("#@#.") != std::string::npos) excepted.insert(line.substr(line.find("#@#.") + 4));
        start = end + 1;
    }
    std::smatch m;
    for (const auto& line : lines) {
        if (std::regex_match(line, path)) paths.push_back(line);
        if (std::regex_match(line, m, hide) && !excepted.count(m[1].str())) classes.push_back(m[1].str());
    }
}

class ContentBlockerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gtk_init(nullptr, nullptr); }

    WebKitWebView* NewView(WebKitUserContentManager* manager) {
        auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context",
                                                  e2e::TestEngine::Get().Context(), "user-content-manager", manager,
                                                  nullptr));
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window_), 640, 480);
        gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view));
        gtk_widget_show_all(window_);
        return view;
    }
    void TearDown() override {
        if (window_) gtk_widget_destroy(window_);
    }
    static void Load(WebKitWebView* view, const std::string& url) {
        webkit_web_view_load_uri(view, url.c_str());
        ASSERT_TRUE(e2e::Await([&] {
            const char* uri = webkit_web_view_get_uri(view);
            return uri && url == uri && !webkit_web_view_is_loading(view);
        }, 60000)) << url;
    }
    GtkWidget* window_ = nullptr;
};

} // namespace

TEST_F(ContentBlockerTest, TheListsBlockOnALoopbackPageAndTheSiteSwitchTurnsItOff) {
    std::vector<std::string> lists = ContentBlocker::InstalledLists();
    for (const auto& l : lists)
        if (!std::filesystem::exists(l)) GTEST_SKIP() << "not installed: " << l;
    std::vector<std::string> paths, classes;
    for (const auto& l : lists) PickFromList(ReadText(l), paths, classes);
    ASSERT_GE(paths.size(), 4u);
    ASSERT_GE(classes.size(), 1u);
    // Spread over the lists, not the first few of one section.
    const std::string script = "/q" + paths[paths.size() / 5] + "qel.js";
    const std::string image = "/q" + paths[2 * paths.size() / 5] + "qel.png";
    const std::string frame = "/q" + paths[3 * paths.size() / 5] + "qel.html";
    const std::string lifted = "/q" + paths[4 * paths.size() / 5] + "lifted.js";
    const std::string hidden = classes[classes.size() / 2];

    e2e::LoopbackServer server([&](const e2e::HttpRequest& r) {
        e2e::HttpResponse response;
        if (r.path.rfind("/page", 0) == 0) {
            response.body = "<!DOCTYPE html><html><body>"
                            "<script src='" + script + "'></script><script src='/ok.js'></script>"
                            "<script src='" + lifted + "'></script>"
                            "<img src='" + image + "'><img src='/ok.png'>"
                            "<iframe src='" + frame + "'></iframe><iframe src='/okframe.html'></iframe>"
                            "<div id=ad class='" + hidden + "'>ad</div><div id=plain class='qel-plain'>text</div>"
                            "</body></html>";
        } else if (r.path.size() > 3 && r.path.compare(r.path.size() - 3, 3, ".js") == 0) {
            response.contentType = "application/javascript";
            response.body = "window.scripts = (window.scripts || 0) + 1;";
        } else if (r.path.size() > 4 && r.path.compare(r.path.size() - 4, 4, ".png") == 0) {
            response.contentType = "image/png";
        } else {
            response.body = "<html><body>frame</body></html>";
        }
        return response;
    });
    TempDir dir;
    // The test's own list: an exception for one address the lists block.
    const std::string own = dir / "own.txt";
    std::ofstream(own) << "@@|" << server.Url(lifted) << "|\n";
    lists.push_back(own);

    ContentBlocker blocker(lists, dir / "store/", dir / "ContentBlocking.Ini");
    ASSERT_TRUE(blocker.PrepareAndWait()) << blocker.LastError();
    ASSERT_TRUE(blocker.Compiled());
    std::printf("both lists: %d rules, %d converted, %d skipped, %d refused by the engine; first compile %.1f s\n",
                blocker.Counts().Rules, blocker.Counts().Converted, blocker.Counts().Skipped, blocker.Rejected(),
                blocker.CompileSeconds());
    EXPECT_EQ(blocker.Rejected(), 0);

    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    WebKitWebView* view = NewView(manager);
    const std::string page = server.Url("/page1");
    blocker.ApplyTo(manager, page);
    Load(view, page);
    // Each of these reaches the server (the engine may ask for one twice).
    ASSERT_TRUE(e2e::Await([&] {
        return server.CountOf("/ok.js") >= 1 && server.CountOf("/ok.png") >= 1 && server.CountOf("/okframe.html") >= 1 &&
               server.CountOf(lifted) >= 1;
    })) << "the addresses the lists let through did not load: " << server.CountOf("/ok.js") << " "
        << server.CountOf("/ok.png") << " " << server.CountOf("/okframe.html") << " " << server.CountOf(lifted);
    // What is blocked would have come with the others.
    e2e::Await([] { return false; }, 1000);
    EXPECT_EQ(server.CountOf(script), 0) << script;
    EXPECT_EQ(server.CountOf(image), 0) << image;
    EXPECT_EQ(server.CountOf(frame), 0) << frame;
    EXPECT_EQ(e2e::RunScript(view, "window.scripts"), "2");  // ok.js and the lifted one
    EXPECT_EQ(e2e::RunScript(view, "getComputedStyle(document.getElementById('ad')).display"), "none") << hidden;
    EXPECT_EQ(e2e::RunScript(view, "getComputedStyle(document.getElementById('plain')).display"), "block");

    // Off for the site: everything loads and shows; the choice is kept.
    blocker.SetEnabledFor(page, false);
    EXPECT_FALSE(ContentBlocker(lists, dir / "store/", dir / "ContentBlocking.Ini").EnabledFor(server.Url("/other")));
    blocker.ApplyTo(manager, server.Url("/page2"));
    // The engine hands a removed filter to its processes on their own
    // time; on a loaded machine a load started at once may still meet it.
    e2e::Await([] { return false; }, 1000);
    Load(view, server.Url("/page2"));
    // Each reaches the server (the engine may ask for one more than once).
    ASSERT_TRUE(e2e::Await([&] {
        return server.CountOf(script) >= 1 && server.CountOf(image) >= 1 && server.CountOf(frame) >= 1;
    })) << "blocking stayed on for the site: " << server.CountOf(script) << " " << server.CountOf(image) << " "
        << server.CountOf(frame);
    EXPECT_EQ(e2e::RunScript(view, "getComputedStyle(document.getElementById('ad')).display"), "block");
    blocker.SetEnabledFor(page, true);
    EXPECT_TRUE(ContentBlocker(lists, dir / "store/", dir / "ContentBlocking.Ini").EnabledFor(page));
    g_object_unref(manager);
}

TEST_F(ContentBlockerTest, TheCompiledFilterIsLoadedUntilAListChanges) {
    TempDir dir;
    const std::string list = dir / "list.txt";
    std::ofstream(list) << "||ads.test^\n##.banner\n";
    {
        ContentBlocker first({list}, dir / "store/", dir / "sites.Ini");
        ASSERT_TRUE(first.PrepareAndWait()) << first.LastError();
        EXPECT_TRUE(first.Compiled());
        EXPECT_EQ(first.Counts().Converted, 2);
    }
    ContentBlocker again({list}, dir / "store/", dir / "sites.Ini");
    ASSERT_TRUE(again.PrepareAndWait());
    EXPECT_FALSE(again.Compiled());
    const std::string before = again.Identifier();
    std::ofstream(list, std::ios::app) << "||more-ads.test^\n";
    ContentBlocker changed({list}, dir / "store/", dir / "sites.Ini");
    ASSERT_TRUE(changed.PrepareAndWait());
    EXPECT_TRUE(changed.Compiled());
    EXPECT_NE(changed.Identifier(), before);

    ContentBlocker missing({dir / "none.txt"}, dir / "store/", dir / "sites.Ini");
    EXPECT_FALSE(missing.PrepareAndWait());
    EXPECT_FALSE(missing.Ready());
    EXPECT_NE(missing.TakeNotice(), "");
    EXPECT_EQ(missing.TakeNotice(), "");  // said once
}

// A private session: the filter of an earlier run is read where it lies,
// and a filter it has to compile goes to its own folder, never the store.
TEST_F(ContentBlockerTest, APrivateSessionReadsTheStoreAndCompilesOnlyIntoItsOwnFolder) {
    TempDir dir;
    const std::string list = dir / "list.txt", store = dir / "store/", own = dir / "own/";
    std::filesystem::create_directory(own);
    std::ofstream(list) << "||ads.test^\n##.banner\n";
    auto listing = [](const std::string& folder) {
        std::set<std::string> files;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec))
            files.insert(e.path().filename().string() + " " + std::to_string(e.file_size(ec)) + " " +
                         std::to_string(e.last_write_time(ec).time_since_epoch().count()));
        return files;
    };
    {
        ContentBlocker user({list}, store, dir / "sites.Ini");
        ASSERT_TRUE(user.PrepareAndWait()) << user.LastError();
    }
    const auto stored = listing(store);
    ASSERT_EQ(stored.size(), 1u);
    {
        ContentBlocker reads({list}, store, dir / "sites.Ini");
        reads.CompileInto(own);
        ASSERT_TRUE(reads.PrepareAndWait());
        EXPECT_FALSE(reads.Compiled());
        EXPECT_TRUE(listing(own).empty());
    }
    std::ofstream(list, std::ios::app) << "||more-ads.test^\n";
    ContentBlocker compiles({list}, store, dir / "sites.Ini");
    compiles.CompileInto(own);
    ASSERT_TRUE(compiles.PrepareAndWait()) << compiles.LastError();
    EXPECT_TRUE(compiles.Compiled());
    EXPECT_EQ(listing(own).size(), 1u);
    EXPECT_EQ(listing(store), stored);
}

TEST_F(ContentBlockerTest, TheBlockedRequestsOfAPageAreCountedAndANewPageStartsAtNone) {
    // A context of its own: the report must be set up before its first
    // web process starts. Not an ephemeral one: the engine keeps the
    // console of private pages to itself, so they report nothing.
    ::setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    TempDir dir;
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
        "base-data-directory", (dir / "data").c_str(), "base-cache-directory", (dir / "cache").c_str(), nullptr);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
    g_object_unref(data);
    ASSERT_TRUE(ContentBlocker::ReportBlocked(context)) << ContentBlocker::WebExtensionsFolder();
    e2e::LoopbackServer server([&](const e2e::HttpRequest& r) {
        e2e::HttpResponse response;
        if (r.path == "/page") {
            // One blocked picture twice: one address, counted once.
            response.body = "<!DOCTYPE html><html><body><script src='/qel-stop-a.js'></script>"
                            "<img src='/qel-stop-b.png'><img src='/qel-stop-b.png'><img src='/ok.png'>"
                            "<iframe src='/qel-stop-c.html'></iframe></body></html>";
        } else if (r.path == "/plain") {
            response.body = "<!DOCTYPE html><html><body><img src='/ok2.png'></body></html>";
        } else {
            response.contentType = "image/png";
        }
        return response;
    });
    const std::string list = dir / "list.txt";
    std::ofstream(list) << "/qel-stop-\n";
    ContentBlocker blocker({list}, dir / "store/", dir / "sites.Ini");
    ASSERT_TRUE(blocker.PrepareAndWait()) << blocker.LastError();

    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    auto* view = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", manager, nullptr));
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view));
    gtk_widget_show_all(window_);
    std::vector<int> told;
    ContentBlocker::CountBlocked(view, [&](int n) { told.push_back(n); });
    blocker.ApplyTo(manager, server.Url("/page"));
    Load(view, server.Url("/page"));
    ASSERT_TRUE(e2e::Await([&] { return !told.empty() && told.back() == 3 && server.CountOf("/ok.png") >= 1; }))
        << (told.empty() ? -1 : told.back());
    e2e::Await([] { return false; }, 500);
    EXPECT_EQ(told.back(), 3);
    EXPECT_EQ(server.CountOf("/qel-stop-a.js") + server.CountOf("/qel-stop-b.png") + server.CountOf("/qel-stop-c.html"),
              0);

    Load(view, server.Url("/plain"));
    ASSERT_TRUE(e2e::Await([&] { return server.CountOf("/ok2.png") >= 1; }));
    e2e::Await([] { return false; }, 500);
    EXPECT_EQ(told.back(), 0);
    g_object_unref(manager);
    g_object_unref(context);
}

// The main window's memory on the real engine, over loopback: visits go to
// the history file with their titles and are found again by a word of the
// title in the next run, most visited first; the drop-down's keys; a
// private window records nothing; typed words search; Ctrl+D and the
// bookmarks menu; clearing the history in place; and the content filter
// with its per-site switch in the File menu.
#include "BrowserTestSupport.h"
#include "EngineSupport.h"
#include "LoopbackServer.h"

#include "browser/BrowsingMemory.h"
#include "browser/WebKitControl.h"
#include "browser/WebEngine.h"

#include <gdk/gdkkeysyms.h>
#include <gtkmm/radiobutton.h>

#include <fstream>
#include <iterator>
#include <sys/stat.h>

using namespace browser;
using browser_test::SendKey;
using e2e::Await;

namespace {

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Page(const std::string& title, const std::string& body = "") {
    return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

Gtk::MenuItem* ItemOf(Gtk::Menu& menu, const std::string& label) {
    for (Gtk::Widget* w : menu.get_children())
        if (auto* item = dynamic_cast<Gtk::MenuItem*>(w); item && item->get_label() == label) return item;
    return nullptr;
}

class BrowserPlacesE2E : public browser_test::BrowserFixture {
protected:
    void SetUp() override {
        BrowserFixture::SetUp();
        history_ = std::make_unique<places::THistory>(dir_ + "history.txt");
        ASSERT_TRUE(history_->Open()) << history_->LastError();
        bookmarks_ = std::make_unique<places::TBookmarks>(dir_ + "Bookmarks.Ini");
        Start();
    }
    void TearDown() override {
        window_.reset();
        e2e::TestEngine::Get().SetBlocker(nullptr);
        ownEngine_.reset();
        blocker_.reset();  // after the engines that held it
        pages_.reset();
        completion_.reset();
        history_.reset();
        BrowserFixture::TearDown();
    }
    // The window again, with a content filter made of the list's text.
    void StartBlocking(const std::string& list) {
        std::ofstream(dir_ + "list.txt") << list;
        blocker_ = std::make_unique<ContentBlocker>(std::vector<std::string>{dir_ + "list.txt"}, dir_ + "store/",
                                                    dir_ + "ContentBlocking.Ini");
        ASSERT_TRUE(blocker_->PrepareAndWait()) << blocker_->LastError();
        (ownEngine_ ? *ownEngine_ : e2e::TestEngine::Get()).SetBlocker(blocker_.get());
        memory_.blocker = blocker_.get();
        Start();
        window_->BlockingPrepared(true, "");
    }
    // A window over the history as it is now, as a new run of the browser.
    void Start(bool privateWindow = false) {
        WebEngine& engine = ownEngine_ ? *ownEngine_ : e2e::TestEngine::Get();
        window_.reset();
        completion_ = std::make_unique<places::TCompletion>();
        completion_->Attach(*history_);
        completion_->SetBookmarks(bookmarks_.get());
        pages_ = std::make_unique<QelPages>(history_.get(), bookmarks_.get());
        pages_->Register(engine.Context());
        memory_.history = history_.get();
        memory_.bookmarks = bookmarks_.get();
        memory_.completion = completion_.get();
        OpenWith(std::make_unique<WebKitControl>(engine), false);
        window_->SetControlFactory([&engine] { return std::make_unique<WebKitControl>(engine); });
        window_->SetPrivate(privateWindow);
        window_->SetMemory(memory_);
        window_->resize(900, 600);
        window_->show();
        ASSERT_TRUE(Await([this] { return window_->StartedHome() && window_->get_mapped() && !window_->wb01().Busy(); }));
    }

    std::string Caption() { return window_->get_title(); }
    WebKitWebView* View() { return dynamic_cast<WebKitControl&>(window_->wb01()).View(); }
    void Go(const std::string& url) {
        window_->cbURL().SetText(url);
        window_->GoURL();
    }
    bool Loaded(const std::string& caption) {
        return Await([&] { return Caption() == caption && !window_->wb01().Busy(); });
    }
    // Text typed into the address box, as the user's edit.
    void Type(const std::string& text) {
        Gtk::Entry& entry = *window_->cbURL().get_entry();
        entry.grab_focus();
        entry.set_text(text);
        entry.set_position(-1);
    }
    std::vector<std::string> Suggested() {
        std::vector<std::string> addresses;
        if (window_->Suggestions().Showing())
            for (const auto& item : window_->Suggestions().Items()) addresses.push_back(item.Address);
        return addresses;
    }

    std::unique_ptr<places::THistory> history_;
    std::unique_ptr<places::TBookmarks> bookmarks_;
    std::unique_ptr<places::TCompletion> completion_;
    std::unique_ptr<QelPages> pages_;
    TBrowsingMemory memory_;
    // An engine that keeps its data, for what private pages cannot do;
    // Start uses it when there is one.
    std::unique_ptr<WebEngine> ownEngine_;
    std::unique_ptr<ContentBlocker> blocker_;
};

TEST_F(BrowserPlacesE2E, VisitsKeepTheirTitlesAndTheNextRunFindsThemByATitleWordMostVisitedFirst) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/quokka", Page("Quokka Facts and Figures")},
        {"/often", Page("Kelp Forest Daily")},
        {"/once", Page("Kelp Recipes")},
    });
    Go(server.Url("/quokka"));
    ASSERT_TRUE(Loaded("Quokka Facts and Figures"));
    for (int i = 0; i < 3; ++i) {
        Go(server.Url("/often"));
        ASSERT_TRUE(Loaded("Kelp Forest Daily"));
        ASSERT_TRUE(Await([&] { return history_->Count() == 2 + i; }));
    }
    Go(server.Url("/once"));
    ASSERT_TRUE(Loaded("Kelp Recipes"));
    // The file reads as text: time, address and title a line.
    const std::string text = FileText(dir_ + "history.txt");
    EXPECT_NE(text.find("\t" + server.Url("/quokka") + "\tQuokka Facts and Figures\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\t" + server.Url("/once") + "\tKelp Recipes\n"), std::string::npos) << text;

    // The next run: the history read anew from its file.
    window_.reset();
    completion_.reset();
    history_ = std::make_unique<places::THistory>(dir_ + "history.txt");
    ASSERT_TRUE(history_->Open());
    Start();
    Type("figures QUOK");
    ASSERT_TRUE(Await([&] { return !Suggested().empty(); }));
    EXPECT_EQ(Suggested(), std::vector<std::string>{server.Url("/quokka")});
    EXPECT_EQ(window_->Suggestions().Items()[0].Title, "Quokka Facts and Figures");

    Type("kelp");
    ASSERT_TRUE(Await([&] { return Suggested().size() == 2; })) << Suggested().size();
    EXPECT_EQ(Suggested()[0], server.Url("/often"));  // three visits before one
    // Down picks into the box, Esc goes back to what was typed.
    SendKey(*window_, GDK_KEY_Down);
    EXPECT_EQ(window_->cbURL().Text(), server.Url("/often"));
    SendKey(*window_, GDK_KEY_Escape);
    EXPECT_EQ(window_->cbURL().Text(), "kelp");
    EXPECT_FALSE(window_->Suggestions().Showing());
    // Delete takes the picked page out of the history.
    Type("kel");
    ASSERT_TRUE(Await([&] { return Suggested().size() == 2; }));
    SendKey(*window_, GDK_KEY_Down);
    SendKey(*window_, GDK_KEY_Down);
    SendKey(*window_, GDK_KEY_Delete);
    EXPECT_EQ(Suggested(), std::vector<std::string>{server.Url("/often")});
    EXPECT_EQ(FileText(dir_ + "history.txt").find(server.Url("/once")), std::string::npos);
    // Enter goes to the picked page.
    SendKey(*window_, GDK_KEY_Down);
    SendKey(*window_, GDK_KEY_Return);
    ASSERT_TRUE(Loaded("Kelp Forest Daily"));
    EXPECT_FALSE(window_->Suggestions().Showing());
}

TEST_F(BrowserPlacesE2E, APrivateWindowRecordsNothingAndClearingWorksInPlace) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{{"/a", Page("A")}, {"/b", Page("B")}});
    Go(server.Url("/a"));
    ASSERT_TRUE(Loaded("A"));
    ASSERT_TRUE(Await([&] { return history_->Count() == 1; }));
    const std::string kept = FileText(dir_ + "history.txt");
    Start(true);
    Go(server.Url("/b"));
    ASSERT_TRUE(Loaded("B"));
    Await([] { return false; }, 300);
    EXPECT_EQ(FileText(dir_ + "history.txt"), kept);

    Start();
    Go(server.Url("/b"));
    ASSERT_TRUE(Loaded("B"));
    ASSERT_TRUE(Await([&] { return history_->Count() == 2; }));
    struct stat before {};
    ASSERT_EQ(::stat((dir_ + "history.txt").c_str(), &before), 0);
    window_->AskClearHistory();
    Gtk::Dialog* box = window_->ClearHistoryBox();
    ASSERT_NE(box, nullptr);
    bool chose = false;
    for (Gtk::Widget* w : box->get_content_area()->get_children())
        if (auto* radio = dynamic_cast<Gtk::RadioButton*>(w); radio && radio->get_label() == "Everything") {
            radio->set_active(true);
            chose = true;
        }
    ASSERT_TRUE(chose);
    box->response(Gtk::RESPONSE_OK);
    EXPECT_EQ(history_->Count(), 0);
    EXPECT_EQ(FileText(dir_ + "history.txt"), "");
    struct stat after {};
    ASSERT_EQ(::stat((dir_ + "history.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, edited in place
    // The window closed while the box's own end is still to come: that
    // call goes with the window.
    window_.reset();
    Await([] { return false; }, 100);
}

TEST_F(BrowserPlacesE2E, TypedWordsSearchWithTheSettingsEngineAndHostsStillLoad) {
    e2e::LoopbackServer server([](const e2e::HttpRequest& r) {
        e2e::HttpResponse response;
        response.body = Page(r.path.rfind("/search?", 0) == 0 ? "Results " + r.path.substr(8) : "Page " + r.path);
        return response;
    });
    memory_.searchTemplate = server.Url("/search?q=%s");
    window_->SetMemory(memory_);
    Go("red  pandas");
    ASSERT_TRUE(Loaded("Results q=red+pandas")) << Caption();
    // A single word no host answers to searches too (after the lookup).
    Go("zzqxwordnohost");
    ASSERT_TRUE(Loaded("Results q=zzqxwordnohost")) << Caption();
    // A host with its port is an address.
    Go("localhost:" + std::to_string(server.Port()) + "/here");
    ASSERT_TRUE(Loaded("Page /here")) << Caption();
}

TEST_F(BrowserPlacesE2E, CtrlDBookmarksIntoAFolderTheMenuOpensItAndCtrlDAgainRemovesIt) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/quokka", Page("Quokka Facts")}, {"/other", Page("Other")}});
    bookmarks_->AddFolder("Plants/Ferns");  // a folder without bookmarks, as an import keeps it
    Go(server.Url("/quokka"));
    ASSERT_TRUE(Loaded("Quokka Facts"));
    SendKey(*window_, GDK_KEY_d, GDK_CONTROL_MASK);
    TBookmarkDialog* box = window_->BookmarkBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->get_title(), "Add Bookmark");
    EXPECT_EQ(box->TitleEntry().get_text(), "Quokka Facts");
    box->FolderEntry().set_text("Animals / Marsupials");
    box->response(TBookmarkDialog::Save);
    // Kept in the file, read back as another run would.
    places::TBookmarks read(dir_ + "Bookmarks.Ini");
    ASSERT_TRUE(read.Load());
    ASSERT_EQ(read.Count(), 1);
    EXPECT_EQ(read.Items()[0].Title, "Quokka Facts");
    EXPECT_EQ(read.Items()[0].Address, server.Url("/quokka"));
    EXPECT_EQ(read.Items()[0].Folder, "Animals/Marsupials");
    EXPECT_EQ(read.Folders(), std::vector<std::string>{"Plants/Ferns"});

    // The File menu's bookmarks, by folder.
    Go(server.Url("/other"));
    ASSERT_TRUE(Loaded("Other"));
    window_->mF().show();
    Gtk::MenuItem* animals = ItemOf(window_->mB(), "Animals");
    ASSERT_NE(animals, nullptr);
    Gtk::MenuItem* marsupials = ItemOf(*animals->get_submenu(), "Marsupials");
    ASSERT_NE(marsupials, nullptr);
    Gtk::MenuItem* quokka = ItemOf(*marsupials->get_submenu(), "Quokka Facts");
    ASSERT_NE(quokka, nullptr);
    Gtk::MenuItem* plants = ItemOf(window_->mB(), "Plants");
    ASSERT_NE(plants, nullptr);
    EXPECT_NE(ItemOf(*plants->get_submenu(), "Ferns"), nullptr);
    window_->mF().hide();
    quokka->activate();
    ASSERT_TRUE(Loaded("Quokka Facts"));

    // A bookmarked page is offered as one while typing.
    Type("quokka");
    ASSERT_TRUE(Await([&] { return window_->Suggestions().Showing(); }));
    EXPECT_TRUE(window_->Suggestions().Items()[0].Bookmarked);
    SendKey(*window_, GDK_KEY_Escape);

    places::TBookmark other;
    other.Title = "Other";
    other.Address = server.Url("/other");
    bookmarks_->Add(other);
    SendKey(*window_, GDK_KEY_d, GDK_CONTROL_MASK);
    box = window_->BookmarkBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->get_title(), "Edit Bookmark");
    // The bookmarks page moves the list while the box is open: the box's
    // bookmark goes, not the one now at its old place.
    places::TBookmark quokkaMark = bookmarks_->Items()[0];
    bookmarks_->Delete(0);
    bookmarks_->Add(quokkaMark);
    box->response(TBookmarkDialog::Remove);
    places::TBookmarks after(dir_ + "Bookmarks.Ini");
    ASSERT_TRUE(after.Load());
    ASSERT_EQ(after.Count(), 1);
    EXPECT_EQ(after.Items()[0].Address, server.Url("/other"));
}

TEST_F(BrowserPlacesE2E, AdsNeverLoadUntilTheSiteIsLetAloneFromTheFileMenu) {
    ASSERT_NO_FATAL_FAILURE(StartBlocking("[Adblock Plus 2.0]\n/advert-banner.js\n##.sponsored-box\n"));
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/ads", "<html><head><title>With ads</title><script src='/advert-banner.js'></script>"
                 "<script src='/app.js'></script></head><body><div class='sponsored-box' id='ad'>buy</div></body></html>"},
        {"/advert-banner.js", "document.title = 'the advert ran';"},
        {"/app.js", "window.appRan = true;"},
    });
    Go(server.Url("/ads"));
    ASSERT_TRUE(Loaded("With ads"));
    ASSERT_TRUE(Await([&] { return server.CountOf("/app.js") >= 1; }));
    EXPECT_EQ(server.CountOf("/advert-banner.js"), 0);
    EXPECT_EQ(e2e::RunScript(View(), "getComputedStyle(document.getElementById('ad')).display"), "none");

    window_->mF().show();
    Gtk::CheckMenuItem* item = window_->BlockItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->get_label(), "Block Content on This Site");
    EXPECT_TRUE(item->get_sensitive());
    EXPECT_TRUE(item->get_active());
    item->set_active(false);  // the user's click; the page reloads
    window_->mF().hide();
    ASSERT_TRUE(Loaded("the advert ran"));
    EXPECT_GE(server.CountOf("/advert-banner.js"), 1);
    EXPECT_NE(FileText(dir_ + "ContentBlocking.Ini").find("127.0.0.1"), std::string::npos);
    window_->mF().show();
    EXPECT_FALSE(window_->BlockItem()->get_active());
    window_->mF().hide();
}

TEST_F(BrowserPlacesE2E, TheStatusBarCountsTheBlockedRequestsOfTheCurrentPageOnly) {
    // Pages of a private engine cannot report what was blocked.
    WebProfile profile;
    profile.dataFolder = dir_ + "engine-data/";
    profile.cacheFolder = dir_ + "engine-cache/";
    profile.downloadFolder = dir_ + "downloads/";
    profile.sandbox = false;
    ownEngine_ = std::make_unique<WebEngine>(profile);
    ASSERT_NO_FATAL_FAILURE(StartBlocking("[Adblock Plus 2.0]\n/advert-\n"));
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/ads", "<html><head><title>With ads</title><script src='/advert-banner.js'></script></head><body>"
                 "<img src='/advert-one.png'><img src='/advert-one.png'><img src='/advert-two.png'></body></html>"},
        {"/plain", Page("Plain")},
        {"/other", Page("Other")},
    });
    Gtk::Label& label = window_->BlockedLabel();
    auto shows = [&](const std::string& text) {
        return Await([&] { return label.get_visible() && label.get_text() == text; }, 15000);
    };
    Go(server.Url("/ads"));
    ASSERT_TRUE(Loaded("With ads"));
    // The same address twice counts once.
    EXPECT_TRUE(shows("3 blocked")) << label.get_visible() << " " << label.get_text();

    // A tab of its own has nothing blocked; going back shows the count.
    window_->NewTab(server.Url("/other"), true);
    ASSERT_TRUE(Loaded("Other"));
    EXPECT_FALSE(label.get_visible());
    window_->SelectTab(0);
    EXPECT_TRUE(shows("3 blocked"));

    // A background tab's count waits until the tab is current.
    window_->NewTab(server.Url("/ads"), false, true);
    ASSERT_TRUE(Await([&] { return window_->Tab(2).blocked == 3; }));
    window_->SelectTab(1);
    EXPECT_FALSE(label.get_visible());
    window_->SelectTab(2);
    EXPECT_TRUE(shows("3 blocked"));

    // The next page starts at none.
    Go(server.Url("/plain"));
    ASSERT_TRUE(Loaded("Plain"));
    EXPECT_TRUE(Await([&] { return !label.get_visible(); }));
}

} // namespace

// The main window with several pages on the real engine, over loopback:
// links and pop-ups that open tabs, a login pop-up that talks to its opener
// and closes itself, blocked pop-ups, the tab keys, permission requests,
// pages that crash or hang, a refused port, keys in a page's text, and a
// page that asks before it is left.
#include "BrowserTestSupport.h"
#include "EngineSupport.h"
#include "LoopbackServer.h"

#include "browser/StartPage.h"
#include "browser/WebKitControl.h"

#include <gdk/gdkkeysyms.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>

using namespace browser;
using browser_test::SendKey;
using e2e::Await;

namespace {

// The web processes this test program started.
std::set<int> WebProcesses() {
    std::set<int> pids;
    DIR* proc = ::opendir("/proc");
    while (dirent* e = ::readdir(proc)) {
        int pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::string comm = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        char state;
        int ppid = 0;
        rest >> state >> ppid;
        if (ppid == ::getpid() && comm.find("WebKitWebProces") == 0) pids.insert(pid);
    }
    ::closedir(proc);
    return pids;
}

class BrowserTabsE2E : public browser_test::BrowserFixture {
protected:
    void SetUp() override {
        BrowserFixture::SetUp();
        OpenWith(std::make_unique<WebKitControl>(e2e::TestEngine::Get()));
        window_->SetControlFactory([] { return std::make_unique<WebKitControl>(e2e::TestEngine::Get()); });
        window_->resize(900, 600);
        window_->show();
        ASSERT_TRUE(Await([this] { return window_->get_mapped() && !window_->wb01().Busy(); }));
    }

    WebKitWebView* View(int tab) { return dynamic_cast<WebKitControl&>(*window_->Tab(tab).control).View(); }
    WebKitWebView* View() { return dynamic_cast<WebKitControl&>(window_->wb01()).View(); }
    std::string Caption() { return window_->get_title(); }
    std::string Script(WebKitWebView* view, const std::string& js) { return e2e::RunScript(view, js); }
    void Go(const std::string& url) {
        window_->cbURL().SetText(url);
        window_->GoURL();
    }
    bool Loaded(const std::string& caption) {
        return Await([&] { return Caption() == caption && !window_->wb01().Busy(); });
    }
    bool TabLoaded(int tab, const std::string& title) {
        return Await([&] {
            return window_->TabCount() > tab && window_->Tab(tab).control && window_->Tab(tab).title == title &&
                   !window_->Tab(tab).control->Busy();
        });
    }

    // A click the way the display delivers it: a press and a release over
    // the element, so that the page sees the user's gesture.
    void ClickElement(WebKitWebView* view, const std::string& id, guint button = 1, guint state = 0) {
        std::string rect = Script(view, "(function(){var r=document.getElementById('" + id +
                                            "').getBoundingClientRect();return Math.round(r.left+r.width/2)+' '+"
                                            "Math.round(r.top+r.height/2);})()");
        int x = 0, y = 0;
        std::istringstream(rect) >> x >> y;
        GtkWidget* widget = GTK_WIDGET(view);
        GdkWindow* window = gtk_widget_get_window(widget);
        GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
        for (GdkEventType type : {GDK_MOTION_NOTIFY, GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
            GdkEvent* ev = gdk_event_new(type);
            if (type == GDK_MOTION_NOTIFY) {
                ev->motion.window = GDK_WINDOW(g_object_ref(window));
                ev->motion.send_event = TRUE;
                ev->motion.time = GDK_CURRENT_TIME;
                ev->motion.x = x;
                ev->motion.y = y;
                ev->motion.state = state;
            } else {
                ev->button.window = GDK_WINDOW(g_object_ref(window));
                ev->button.send_event = TRUE;
                ev->button.time = GDK_CURRENT_TIME;
                ev->button.x = x;
                ev->button.y = y;
                ev->button.button = button;
                ev->button.state = state;
            }
            gdk_event_set_device(ev, pointer);
            gtk_main_do_event(ev);
            gdk_event_free(ev);
            Await([] { return false; }, 50);
        }
    }
};

TEST_F(BrowserTabsE2E, BlankTargetsAndMiddleClicksOpenTabsAndALoginPopupTalksToItsOpener) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/", "<html><head><title>Links</title></head><body style='margin:0'>"
              "<p><a id=blank target=_blank href=/b style='font-size:30px'>in a new tab</a></p>"
              "<p><a id=plain href=/c style='font-size:30px'>plain link</a></p>"
              "<p><button id=login style='font-size:30px' onclick=\"window.open('/login','login')\">sign in</button></p>"
              "<script>addEventListener('message', function (e) { document.title = 'opener got ' + e.data; });"
              "</script></body></html>"},
        {"/b", "<html><head><title>B</title></head><body>b</body></html>"},
        {"/c", "<html><head><title>C</title></head><body>c</body></html>"},
        {"/login", "<html><head><title>Login</title></head><body><script>"
                   "setTimeout(function () { window.opener.postMessage('signed-in', '*'); window.close(); }, 300);"
                   "</script></body></html>"},
    });
    Go(server.Url("/"));
    ASSERT_TRUE(Loaded("Links"));

    ClickElement(View(), "blank");
    ASSERT_TRUE(TabLoaded(1, "B"));
    EXPECT_EQ(window_->TabCount(), 2);
    EXPECT_EQ(window_->CurrentTab(), 1);  // target=_blank comes to the front
    EXPECT_EQ(Caption(), "B");
    window_->SelectTab(0);
    ASSERT_EQ(Caption(), "Links");

    ClickElement(View(), "plain", 2);
    ASSERT_TRUE(TabLoaded(1, "C"));
    EXPECT_EQ(window_->TabCount(), 3);
    EXPECT_EQ(window_->CurrentTab(), 0);  // a middle click stays behind
    EXPECT_EQ(Caption(), "Links");
    EXPECT_EQ(Script(View(), "location.pathname"), "/");

    ClickElement(View(), "login");
    ASSERT_TRUE(Await([&] { return Caption() == "opener got signed-in"; }));
    EXPECT_EQ(window_->TabCount(), 3);  // the pop-up closed itself
    EXPECT_EQ(window_->CurrentTab(), 0);
}

TEST_F(BrowserTabsE2E, APopupWithoutAClickIsBlockedAndOpensOnRequest) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/", "<html><head><title>Ads</title></head><body><script>"
              "setTimeout(function () { document.title = window.open('/pop') ? 'opened' : 'blocked'; }, 200);"
              "</script></body></html>"},
        {"/pop", "<html><head><title>Pop</title></head><body>pop</body></html>"},
    });
    Go(server.Url("/"));
    ASSERT_TRUE(Loaded("blocked"));
    TPageBar& bar = window_->Tab(0).popupBar;
    ASSERT_TRUE(Await([&] { return bar.Showing(); }));
    EXPECT_EQ(bar.Text(), "A pop-up window was blocked: " + server.Url("/pop"));
    EXPECT_EQ(window_->TabCount(), 1);
    EXPECT_EQ(server.CountOf("/pop"), 0);
    bar.ClickFirst();
    ASSERT_TRUE(TabLoaded(1, "Pop"));
    EXPECT_EQ(window_->CurrentTab(), 1);
}

TEST_F(BrowserTabsE2E, TabKeysOpenCloseSwitchAndBringBackWithHistory) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/1", "<html><head><title>One</title></head><body>1</body></html>"},
        {"/2", "<html><head><title>Two</title></head><body>2</body></html>"},
    });
    Go(server.Url("/1"));
    ASSERT_TRUE(Loaded("One"));
    Go(server.Url("/2"));
    ASSERT_TRUE(Loaded("Two"));
    window_->SbAct(tagBack);
    ASSERT_TRUE(Loaded("One"));
    ASSERT_TRUE(Await([&] { return window_->ActionEnabled(tagForward); }));
    const size_t processes = WebProcesses().size();
    SendKey(*window_, GDK_KEY_t, GDK_CONTROL_MASK);
    ASSERT_EQ(window_->TabCount(), 2);
    ASSERT_TRUE(Await([&] { return window_->cbURL().Text() == kStartPageUrl && !window_->wb01().Busy(); }));
    Go(server.Url("/1"));
    ASSERT_TRUE(Loaded("One"));
    Go(server.Url("/2"));
    ASSERT_TRUE(Loaded("Two"));
    EXPECT_FALSE(window_->ActionEnabled(tagForward));
    SendKey(*window_, GDK_KEY_Tab, GDK_CONTROL_MASK);
    EXPECT_EQ(window_->CurrentTab(), 0);
    EXPECT_EQ(Caption(), "One");
    EXPECT_TRUE(window_->ActionEnabled(tagForward));
    SendKey(*window_, GDK_KEY_Tab, GDK_CONTROL_MASK);
    EXPECT_EQ(Caption(), "Two");

    SendKey(*window_, GDK_KEY_w, GDK_CONTROL_MASK);
    ASSERT_TRUE(Await([&] { return window_->TabCount() == 1; }));
    EXPECT_EQ(Caption(), "One");
    // A closed tab's page and its web process go with it.
    EXPECT_TRUE(Await([&] { return WebProcesses().size() == processes; })) << WebProcesses().size();
    SendKey(*window_, GDK_KEY_t, GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK));
    ASSERT_TRUE(TabLoaded(1, "Two"));
    EXPECT_EQ(window_->CurrentTab(), 1);
    // Its history came back with it.
    ASSERT_TRUE(Await([&] { return window_->ActionEnabled(tagBack); }));
    window_->SbAct(tagBack);
    ASSERT_TRUE(Loaded("One"));
}

TEST_F(BrowserTabsE2E, APermissionStaysUnansweredUntilAllowAndTheAnswerHoldsForTheSite) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/", "<html><head><title>asking</title></head><body><script>"
              "navigator.geolocation.getCurrentPosition(function () { document.title = 'located'; },"
              "  function (e) { document.title = e.code === 1 ? 'denied' : 'allowed but unknown'; });"
              "</script></body></html>"},
    });
    Go(server.Url("/"));
    TPageBar& bar = window_->Tab(0).permissionBar;
    ASSERT_TRUE(Await([&] { return bar.Showing(); }));
    EXPECT_EQ(bar.Text(), "http://127.0.0.1:" + std::to_string(server.Port()) + " asks to know your location.");
    Await([] { return false; }, 500);
    EXPECT_EQ(Caption(), "asking");  // nothing granted, nothing refused without the user's word
    bar.ClickFirst();
    ASSERT_TRUE(Await([&] { return Caption() == "located" || Caption() == "allowed but unknown"; }));
    // The answer holds for the site while the browser runs, in any tab.
    window_->NewTab(server.Url("/"), true);
    ASSERT_TRUE(Await([&] { return Caption() == "located" || Caption() == "allowed but unknown"; }));
    EXPECT_FALSE(window_->Tab(1).permissionBar.Showing());
}

TEST_F(BrowserTabsE2E, AKilledPageOffersReloadAndTheOtherTabsGoOn) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/a", "<html><head><title>A</title></head><body>a</body></html>"},
        {"/b", "<html><head><title>B</title></head><body>b</body></html>"},
    });
    Go(server.Url("/a"));
    ASSERT_TRUE(Loaded("A"));
    const std::set<int> before = WebProcesses();
    window_->NewTab("http://localhost:" + std::to_string(server.Port()) + "/b", true);
    ASSERT_TRUE(Loaded("B"));
    std::set<int> added;
    for (int pid : WebProcesses())
        if (!before.count(pid)) added.insert(pid);
    ASSERT_EQ(added.size(), 1u) << "the second tab's web process is not known";
    ::kill(*added.begin(), SIGKILL);
    ASSERT_TRUE(Await([&] { return Script(View(), "document.getElementById('reload') ? 'yes' : 'no'") == "yes"; }));
    // The caption stays the page's (the engine may name the address for a
    // moment while the stopped page is put in its place).
    EXPECT_TRUE(Await([&] { return Caption() == "B"; })) << Caption();
    EXPECT_NE(Script(View(), "document.body.innerText").find("ended unexpectedly"), std::string::npos);
    // The first tab is untouched and still loads pages.
    window_->SelectTab(0);
    Go(server.Url("/b"));
    ASSERT_TRUE(Loaded("B"));
    window_->SelectTab(1);
    ClickElement(View(), "reload");
    ASSERT_TRUE(Await([&] { return Script(View(), "document.body.innerText") == "b"; }));
}

TEST_F(BrowserTabsE2E, AHungPageGetsItsBarAndTheWindowStillCloses) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/spin", "<html><head><title>Spin</title></head><body><script>"
                  "setTimeout(function () { for (;;) {} }, 300);</script></body></html>"},
        {"/ok", "<html><head><title>OK</title></head><body>ok</body></html>"},
    });
    Go(server.Url("/ok"));
    ASSERT_TRUE(Loaded("OK"));
    window_->NewTab(server.Url("/spin"), true);
    ASSERT_TRUE(Loaded("Spin"));
    TPageBar& bar = window_->Tab(1).hungBar;
    Await([] { return false; }, 600);
    SendKey(*window_, GDK_KEY_a);  // the user tries the page
    ASSERT_TRUE(Await([&] { return bar.Showing(); }, 60000));
    EXPECT_EQ(bar.Text(), "This page is not answering.");
    EXPECT_EQ(bar.First().get_label(), "Stop the page");
    EXPECT_EQ(bar.Second().get_label(), "Wait");
    // The other tab answers meanwhile.
    EXPECT_EQ(Script(View(0), "document.title"), "OK");
    window_->CloseWindow();
    ASSERT_TRUE(Await([&] { return !window_->get_visible(); }, 15000));
}

TEST_F(BrowserTabsE2E, StoppingAHungPageShowsWhatHappened) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/spin", "<html><head><title>Spin</title></head><body><script>"
                  "setTimeout(function () { for (;;) {} }, 300);</script></body></html>"},
    });
    Go(server.Url("/spin"));
    ASSERT_TRUE(Loaded("Spin"));
    TPageBar& bar = window_->Tab(0).hungBar;
    Await([] { return false; }, 600);
    SendKey(*window_, GDK_KEY_a);
    ASSERT_TRUE(Await([&] { return bar.Showing(); }, 60000));
    bar.ClickFirst();
    ASSERT_TRUE(Await([&] { return Script(View(), "document.getElementById('reload') ? 'yes' : 'no'") == "yes"; }));
    EXPECT_FALSE(bar.Showing());
    EXPECT_TRUE(Await([&] { return Caption() == "Spin"; })) << Caption();
}

TEST_F(BrowserTabsE2E, ARefusedPortShowsTheErrorPage) {
    const std::string url = "http://127.0.0.1:9/";
    Go(url);
    ASSERT_TRUE(Await([&] { return !window_->wb01().Busy() && window_->StatusText() != "Done" &&
                                   window_->StatusText().rfind(url, 0) == 0 && Caption() == url; }));
    ASSERT_TRUE(Await([&] {
        return Script(View(), "document.body ? document.body.innerText : ''").find("The page cannot be shown") !=
               std::string::npos;
    }));
    EXPECT_EQ(window_->cbURL().Text(), url);
}

TEST_F(BrowserTabsE2E, CtrlLeftInAPageTextAreaMovesTheCursorAndThePageStays) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/1", "<html><head><title>First</title></head><body>1</body></html>"},
        {"/form", "<html><head><title>Form</title></head><body><textarea id=t>hello world</textarea></body></html>"},
    });
    Go(server.Url("/1"));
    ASSERT_TRUE(Loaded("First"));
    Go(server.Url("/form"));
    ASSERT_TRUE(Loaded("Form"));
    ASSERT_TRUE(Await([&] { return window_->ActionEnabled(tagBack); }));
    window_->wb01().Widget().grab_focus();
    Script(View(), "var t = document.getElementById('t'); t.focus(); t.setSelectionRange(11, 11); 'ok'");
    SendKey(*window_, GDK_KEY_Left, GDK_CONTROL_MASK);
    ASSERT_TRUE(Await([&] { return Script(View(), "document.getElementById('t').selectionStart") == "6"; }));
    Await([] { return false; }, 500);
    EXPECT_EQ(Caption(), "Form");
    EXPECT_EQ(Script(View(), "location.pathname"), "/form");
    // Out of the text the form's key goes back.
    Script(View(), "document.activeElement.blur(); 'ok'");
    SendKey(*window_, GDK_KEY_Left, GDK_CONTROL_MASK);
    ASSERT_TRUE(Loaded("First"));
}

TEST_F(BrowserTabsE2E, APageThatAsksBeforeItIsLeftKeepsTheWindowUntilTheUserSaysSo) {
    e2e::LoopbackServer server(std::map<std::string, std::string>{
        {"/", "<html><head><title>Draft</title></head><body><input id=f value=''>"
              "<script>addEventListener('beforeunload', function (e) { e.preventDefault(); e.returnValue = ''; });"
              "</script></body></html>"},
    });
    Go(server.Url("/"));
    ASSERT_TRUE(Loaded("Draft"));
    ClickElement(View(), "f");  // the user has touched the page
    boxes_->ClearBoxes();
    boxes_->Answer(platform::IDNO);
    window_->CloseWindow();
    ASSERT_TRUE(Await([&] { return !boxes_->Boxes().empty(); }));
    Await([] { return false; }, 300);
    EXPECT_TRUE(window_->get_visible());
    EXPECT_EQ(boxes_->Boxes()[0].caption, "Leave page");
    boxes_->Answer(platform::IDYES);
    window_->CloseWindow();
    ASSERT_TRUE(Await([&] { return !window_->get_visible(); }));
    EXPECT_EQ(boxes_->Boxes().size(), 2u);
}

} // namespace

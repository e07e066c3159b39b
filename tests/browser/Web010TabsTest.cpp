// The main window with several pages, each behind its own scripted control:
// the tab strip, the keys that open, close, pick and bring back tabs, what
// a background tab's events may change, the bars above a page, tabs that
// give their page up, and the session kept between runs.
#include "BrowserTestSupport.h"

#include "places/Session.h"

#include <gdk/gdkkeysyms.h>

using namespace browser;
using browser_test::Drain;
using browser_test::SendKey;
using browser_test::WaitFor;

namespace {

class Web010Tabs : public browser_test::BrowserFixture {
protected:
    TWeb010& OpenTabs(bool startHome = true) {
        auto control = std::make_unique<ScriptedWebControl>();
        control->raiseBeforeNavigate = true;
        web_ = control.get();
        made_.push_back(web_);
        window_ = std::make_unique<TWeb010>(std::move(control));
        window_->SetControlFactory([this] {
            auto c = std::make_unique<ScriptedWebControl>();
            c->raiseBeforeNavigate = true;
            made_.push_back(c.get());
            return c;
        });
        if (!sessionFile_.empty()) window_->SetSessionFile(sessionFile_);
        window_->show();
        if (startHome) {
            EXPECT_TRUE(WaitFor([this] { return window_->StartedHome(); }));
        }
        return *window_;
    }
    ScriptedWebControl& Control(int tab) { return dynamic_cast<ScriptedWebControl&>(*window_->Tab(tab).control); }
    std::string LastNavigation(ScriptedWebControl& c) {
        for (auto it = c.calls.rbegin(); it != c.calls.rend(); ++it)
            if (it->op == "Navigate") return it->url;
        return "";
    }

    std::vector<ScriptedWebControl*> made_;
    std::string sessionFile_;
    const GdkModifierType ctrl = GDK_CONTROL_MASK;
    const GdkModifierType ctrlShift = GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK);
};

TEST_F(Web010Tabs, TheStripComesWithASecondPageAndTheLastCloseEndsTheWindow) {
    OpenTabs();
    window_->show();
    Drain();
    Gtk::Notebook* strip = dynamic_cast<Gtk::Notebook*>(window_->wb01().Widget().get_parent()->get_parent());
    ASSERT_NE(strip, nullptr);
    EXPECT_FALSE(strip->get_show_tabs());
    const auto urls = window_->UrlItems();

    SendKey(*window_, GDK_KEY_t, ctrl);
    ASSERT_EQ(window_->TabCount(), 2);
    EXPECT_TRUE(strip->get_show_tabs());
    EXPECT_EQ(window_->CurrentTab(), 1);
    // The home page, like the Home command: the URL list stays as it was.
    EXPECT_EQ(LastNavigation(Control(1)), window_->FHome());
    EXPECT_EQ(window_->UrlItems(), urls);

    SendKey(*window_, GDK_KEY_w, ctrl);
    Drain();
    ASSERT_EQ(window_->TabCount(), 1);
    EXPECT_FALSE(strip->get_show_tabs());
    EXPECT_EQ(window_->CurrentTab(), 0);
    EXPECT_TRUE(window_->get_visible());
    SendKey(*window_, GDK_KEY_w, ctrl);
    EXPECT_FALSE(window_->get_visible());
}

TEST_F(Web010Tabs, ABackgroundTabChangesOnlyItselfAndSwitchingShowsEachTabsOwnState) {
    OpenTabs();
    web_->RaiseTitleChange("First");
    web_->RaiseCommandStateChange(CSC_NAVIGATEBACK, true);
    web_->RaiseCommandStateChange(CSC_NAVIGATEFORWARD, false);
    web_->RaiseStatusTextChange("first status");
    window_->cbURL().SetText("typed but not sent");

    web_->RaiseOpenInTab("http://127.0.0.1/b", false);
    ASSERT_EQ(window_->TabCount(), 2);
    EXPECT_EQ(window_->CurrentTab(), 0);
    ScriptedWebControl& back = Control(1);
    EXPECT_EQ(LastNavigation(back), "http://127.0.0.1/b");
    back.RaiseTitleChange("Second");
    back.RaiseStatusTextChange("second status");
    back.RaiseCommandStateChange(CSC_NAVIGATEBACK, false);
    back.RaiseCommandStateChange(CSC_NAVIGATEFORWARD, true);
    back.RaiseDocumentComplete("http://127.0.0.1/b");
    back.busy = true;
    back.RaiseCommandStateChange(CSC_UPDATECOMMANDS, true);
    EXPECT_EQ(window_->get_title(), "First");
    EXPECT_EQ(window_->StatusText(), "first status");
    EXPECT_EQ(window_->cbURL().Text(), "typed but not sent");
    EXPECT_TRUE(window_->ActionEnabled(tagBack));
    EXPECT_FALSE(window_->ActionEnabled(tagForward));
    EXPECT_EQ(window_->Tab(1).label.get_text(), "Second");

    SendKey(*window_, GDK_KEY_Tab, ctrl);
    EXPECT_EQ(window_->CurrentTab(), 1);
    EXPECT_EQ(&window_->wb01(), &back);
    EXPECT_EQ(window_->get_title(), "Second");
    EXPECT_EQ(window_->StatusText(), "second status");
    EXPECT_EQ(window_->cbURL().Text(), "http://127.0.0.1/b");
    EXPECT_FALSE(window_->ActionEnabled(tagBack));
    EXPECT_TRUE(window_->ActionEnabled(tagForward));
    EXPECT_TRUE(window_->ActionEnabled(tagStop));
    // Commands go to the tab shown.
    window_->SbAct(tagRefresh);
    EXPECT_EQ(back.CountOf("Refresh2"), 1);
    EXPECT_EQ(web_->CountOf("Refresh2"), 0);

    SendKey(*window_, GDK_KEY_Page_Up, ctrl);
    EXPECT_EQ(window_->CurrentTab(), 0);
    EXPECT_EQ(window_->get_title(), "First");
    EXPECT_EQ(window_->cbURL().Text(), "typed but not sent");
    EXPECT_TRUE(window_->ActionEnabled(tagBack));
}

TEST_F(Web010Tabs, KeysPickTabsRoundTheEndsAndNineIsTheLast) {
    OpenTabs();
    for (int i = 0; i < 3; ++i) window_->NewTab("http://127.0.0.1/" + std::to_string(i), false, true);
    ASSERT_EQ(window_->TabCount(), 4);
    EXPECT_EQ(window_->CurrentTab(), 0);
    SendKey(*window_, GDK_KEY_ISO_Left_Tab, ctrlShift);
    EXPECT_EQ(window_->CurrentTab(), 3);
    SendKey(*window_, GDK_KEY_Page_Down, ctrl);
    EXPECT_EQ(window_->CurrentTab(), 0);
    SendKey(*window_, GDK_KEY_3, ctrl);
    EXPECT_EQ(window_->CurrentTab(), 2);
    SendKey(*window_, GDK_KEY_8, ctrl);  // past the last: the last
    EXPECT_EQ(window_->CurrentTab(), 3);
    SendKey(*window_, GDK_KEY_1, ctrl);
    SendKey(*window_, GDK_KEY_9, ctrl);
    EXPECT_EQ(window_->CurrentTab(), 3);
    // Links opened in the foreground come right after their page.
    SendKey(*window_, GDK_KEY_1, ctrl);
    web_->RaiseOpenInTab("http://127.0.0.1/fg", true);
    EXPECT_EQ(window_->CurrentTab(), 1);
    EXPECT_EQ(LastNavigation(Control(1)), "http://127.0.0.1/fg");
}

TEST_F(Web010Tabs, AClosedTabComesBackWithItsHistoryOrItsAddress) {
    OpenTabs();
    window_->NewTab("http://127.0.0.1/a", true);
    Control(1).history = "engine history bytes";
    Control(1).location = "http://127.0.0.1/a2";
    window_->NewTab("http://127.0.0.1/b", true);
    Control(2).location = "http://127.0.0.1/b";
    SendKey(*window_, GDK_KEY_w, ctrl);  // b: no history from its engine
    Drain();
    window_->CloseTab(1);                // a
    Drain();
    ASSERT_EQ(window_->TabCount(), 1);

    SendKey(*window_, GDK_KEY_t, ctrlShift);
    ASSERT_EQ(window_->TabCount(), 2);
    EXPECT_EQ(window_->CurrentTab(), 1);
    EXPECT_EQ(Control(1).CountOf("RestoreHistory"), 1);
    EXPECT_EQ(Control(1).history, "engine history bytes");
    EXPECT_EQ(Control(1).CountOf("Navigate"), 0);

    SendKey(*window_, GDK_KEY_t, ctrlShift);
    ASSERT_EQ(window_->TabCount(), 3);
    EXPECT_EQ(LastNavigation(Control(2)), "http://127.0.0.1/b");
    SendKey(*window_, GDK_KEY_t, ctrlShift);  // nothing left to bring back
    EXPECT_EQ(window_->TabCount(), 3);
}

TEST_F(Web010Tabs, CtrlArrowsEditTextAndGoBackOnlyElsewhere) {
    OpenTabs();
    window_->show();
    web_->RaiseCommandStateChange(CSC_NAVIGATEBACK, true);
    web_->RaiseCommandStateChange(CSC_NAVIGATEFORWARD, true);
    // In the address box the keys move the cursor by words.
    window_->FocusAddress();
    window_->cbURL().SetText("http://a.example/some/path");
    SendKey(*window_, GDK_KEY_Left, ctrl);
    SendKey(*window_, GDK_KEY_Right, ctrl);
    EXPECT_EQ(web_->CountOf("GoBack") + web_->CountOf("GoForward"), 0);
    EXPECT_EQ(window_->cbURL().Text(), "http://a.example/some/path");
    // A page field with the focus: the page has the key.
    window_->wb01().Widget().grab_focus();
    web_->focusInText = true;
    SendKey(*window_, GDK_KEY_Left, ctrl);
    EXPECT_EQ(web_->CountOf("GoBack"), 0);
    // Elsewhere in the page the form's keys work.
    web_->focusInText = false;
    SendKey(*window_, GDK_KEY_Left, ctrl);
    SendKey(*window_, GDK_KEY_Right, ctrl);
    EXPECT_EQ(web_->CountOf("GoBack"), 1);
    EXPECT_EQ(web_->CountOf("GoForward"), 1);
    // The mouse's side buttons.
    GdkEvent* ev = gdk_event_new(GDK_BUTTON_PRESS);
    ev->button.window = GDK_WINDOW(g_object_ref(window_->wb01().Widget().get_window()->gobj()));
    ev->button.button = 8;
    ev->button.x = ev->button.y = 5;
    ev->button.time = GDK_CURRENT_TIME;
    gdk_event_set_device(ev, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_main_do_event(ev);
    ev->type = GDK_BUTTON_RELEASE;
    gtk_main_do_event(ev);
    gdk_event_free(ev);
    EXPECT_EQ(web_->CountOf("GoBack"), 2);
}

TEST_F(Web010Tabs, APermissionWaitsForTheUsersWordWhichLastsForTheSite) {
    OpenTabs();
    int asked = 0;
    std::vector<bool> answers;
    auto record = [&](bool allow) { answers.push_back(allow); };
    web_->RaisePermission("http://127.0.0.1:8080", "location", record);
    ++asked;
    TPageBar& bar = window_->Tab(0).permissionBar;
    ASSERT_TRUE(bar.Showing());
    EXPECT_EQ(bar.Text(), "http://127.0.0.1:8080 asks to know your location.");
    EXPECT_TRUE(answers.empty());
    // A second question waits behind the first.
    web_->RaisePermission("http://127.0.0.1:8080", "camera", record);
    EXPECT_EQ(bar.Text(), "http://127.0.0.1:8080 asks to know your location.");
    bar.ClickFirst();  // Allow
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_TRUE(answers[0]);
    EXPECT_EQ(bar.Text(), "http://127.0.0.1:8080 asks to use your camera.");
    bar.ClickSecond();  // Deny
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_FALSE(answers[1]);
    EXPECT_FALSE(bar.Showing());
    // The same site asks again, from any tab: answered without the bar.
    window_->NewTab("http://127.0.0.1:8080/other", true);
    Control(1).RaisePermission("http://127.0.0.1:8080", "location", record);
    Control(1).RaisePermission("http://127.0.0.1:8080", "camera", record);
    EXPECT_EQ(answers, (std::vector<bool>{true, false, true, false}));
    EXPECT_FALSE(window_->Tab(1).permissionBar.Showing());
    // Another site is asked anew; a tab that closes refuses what it asked.
    Control(1).RaisePermission("http://127.0.0.2", "location", record);
    EXPECT_TRUE(window_->Tab(1).permissionBar.Showing());
    window_->CloseTab(1);
    Drain();
    EXPECT_EQ(answers.back(), false);
    EXPECT_EQ(answers.size(), 5u);
    (void)asked;
}

TEST_F(Web010Tabs, APrivateWindowKeepsNoAnswer) {
    OpenTabs();
    window_->SetPrivate(true);
    std::vector<bool> answers;
    web_->RaisePermission("http://s", "notifications", [&](bool a) { answers.push_back(a); });
    window_->Tab(0).permissionBar.ClickFirst();
    web_->RaisePermission("http://s", "notifications", [&](bool a) { answers.push_back(a); });
    EXPECT_EQ(answers.size(), 1u);
    EXPECT_TRUE(window_->Tab(0).permissionBar.Showing());
}

TEST_F(Web010Tabs, BlockedPopupsAndHungPagesGetTheirBars) {
    OpenTabs();
    web_->RaisePopupBlocked("http://127.0.0.1/pop");
    TPageBar& popup = window_->Tab(0).popupBar;
    ASSERT_TRUE(popup.Showing());
    EXPECT_EQ(popup.Text(), "A pop-up window was blocked: http://127.0.0.1/pop");
    EXPECT_EQ(window_->TabCount(), 1);
    popup.ClickFirst();
    ASSERT_EQ(window_->TabCount(), 2);
    EXPECT_EQ(window_->CurrentTab(), 1);
    EXPECT_EQ(LastNavigation(Control(1)), "http://127.0.0.1/pop");

    ScriptedWebControl& hung = Control(1);
    hung.RaiseResponsive(false);
    TPageBar& bar = window_->Tab(1).hungBar;
    ASSERT_TRUE(bar.Showing());
    bar.ClickSecond();  // Wait
    EXPECT_EQ(hung.CountOf("TerminatePage"), 0);
    hung.RaiseResponsive(true);
    hung.RaiseResponsive(false);
    ASSERT_TRUE(bar.Showing());
    bar.ClickFirst();  // Stop the page
    EXPECT_EQ(hung.CountOf("TerminatePage"), 1);
    // A page that does not answer is not asked before its tab closes.
    hung.RaiseResponsive(false);
    hung.closes = false;
    window_->CloseTab(1);
    EXPECT_EQ(window_->TabCount(), 1);
    EXPECT_EQ(hung.CountOf("TryClose"), 0);
}

TEST_F(Web010Tabs, AWindowClosesOnlyWhenEveryPageMayGo) {
    OpenTabs();
    window_->show();
    window_->NewTab("http://127.0.0.1/form", false);
    ScriptedWebControl& form = Control(1);
    form.closes = false;  // the page asks the user
    window_->CloseWindow();
    EXPECT_EQ(web_->CountOf("TryClose"), 1);
    EXPECT_EQ(form.CountOf("TryClose"), 1);
    EXPECT_TRUE(window_->get_visible());
    form.RaiseStay();
    EXPECT_TRUE(window_->get_visible());
    EXPECT_EQ(window_->TabCount(), 2);  // nothing was closed on the way
    window_->CloseWindow();
    form.RaiseClose();  // this time the user lets it go
    EXPECT_FALSE(window_->get_visible());
}

TEST_F(Web010Tabs, HiddenTabsGiveTheirPageUpAndLoadAgainWhenShown) {
    OpenTabs();
    window_->SetUnloadAfter(60);
    window_->NewTab("http://127.0.0.1/a", false);
    Control(1).location = "http://127.0.0.1/a#moved";
    Control(1).history = "bytes of a";
    Control(1).RaiseTitleChange("Page A");
    const int64_t now = g_get_monotonic_time();
    EXPECT_EQ(window_->UnloadIdleTabs(now + 59 * 1000000LL), 0);
    EXPECT_EQ(window_->UnloadIdleTabs(now + 61 * 1000000LL), 1);
    EXPECT_EQ(window_->Tab(1).control, nullptr);
    EXPECT_EQ(window_->Tab(1).label.get_text(), "Page A");
    EXPECT_EQ(window_->Tab(0).control.get(), web_);  // the tab shown keeps its page
    const size_t before = made_.size();
    window_->SelectTab(1);
    ASSERT_EQ(made_.size(), before + 1);
    EXPECT_EQ(Control(1).history, "bytes of a");
    EXPECT_EQ(window_->get_title(), "Page A");
    window_->SetUnloadAfter(0);
    EXPECT_EQ(window_->UnloadIdleTabs(now + 1000 * 1000000LL), 0);
}

TEST_F(Web010Tabs, ASessionLeftByAKillComesBackAndACleanSingleTabDoesNot) {
    sessionFile_ = dir_ + "QelBrowser.Session";
    places::TSession left;
    left.tabs = {{"http://127.0.0.1/one", "One"}, {"http://127.0.0.1/two", "Two"}, {"http://127.0.0.1/three", "Three"}};
    left.current = 1;
    left.clean = false;
    places::SaveSession(sessionFile_, left);

    OpenTabs();
    ASSERT_EQ(window_->TabCount(), 3);
    EXPECT_EQ(window_->CurrentTab(), 1);
    EXPECT_EQ(LastNavigation(*web_), "http://127.0.0.1/two");
    EXPECT_EQ(window_->Tab(0).control, nullptr);  // loads when first shown
    EXPECT_EQ(window_->Tab(2).label.get_text(), "Three");
    EXPECT_TRUE(window_->UrlItems().empty());
    window_->SelectTab(2);
    EXPECT_EQ(LastNavigation(Control(2)), "http://127.0.0.1/three");
    // A clean end writes the tabs and says so.
    web_->location = "http://127.0.0.1/two";
    Control(2).location = "http://127.0.0.1/three";
    Close();
    places::TSession saved = places::LoadSession(sessionFile_);
    EXPECT_TRUE(saved.clean);
    ASSERT_EQ(saved.tabs.size(), 3u);
    EXPECT_EQ(saved.tabs[0], (places::TSessionTab{"http://127.0.0.1/one", "One"}));
    EXPECT_EQ(saved.current, 2);

    // One tab closed cleanly: the next start is the ordinary one.
    places::TSession single;
    single.tabs = {{"http://127.0.0.1/one", "One"}};
    single.clean = true;
    places::SaveSession(sessionFile_, single);
    OpenTabs();
    EXPECT_EQ(window_->TabCount(), 1);
    EXPECT_EQ(LastNavigation(*web_), window_->FHome());
}

TEST_F(Web010Tabs, NavigationsSaveTheSessionAtMostOnceASecond) {
    sessionFile_ = dir_ + "QelBrowser.Session";
    OpenTabs();
    web_->location = "http://127.0.0.1/first";
    web_->RaiseDocumentComplete("http://127.0.0.1/first");
    window_->NewTab("http://127.0.0.1/second", false);
    Control(1).location = "http://127.0.0.1/second";
    Control(1).RaiseDocumentComplete("http://127.0.0.1/second");
    EXPECT_FALSE(std::filesystem::exists(sessionFile_));  // coalesced, not yet
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(sessionFile_); }, 3000));
    places::TSession saved = places::LoadSession(sessionFile_);
    EXPECT_FALSE(saved.clean);
    ASSERT_EQ(saved.tabs.size(), 2u);
    EXPECT_EQ(saved.tabs[1].url, "http://127.0.0.1/second");
}

} // namespace

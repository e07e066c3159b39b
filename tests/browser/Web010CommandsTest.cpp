// The main window's commands and its reactions to the control's events,
// driven through a scripted control.
#include "BrowserTestSupport.h"

#include "browser/StartPage.h"
#include "browser/Web010Actions.h"

#include <gdk/gdkkeysyms.h>
#include <gtkmm/accellabel.h>
#include <gtkmm/checkmenuitem.h>

#include <set>
#include <tuple>

using namespace browser;
using browser_test::BrowserFixture;
using browser_test::Drain;
using browser_test::WaitFor;

namespace {

class Web010Test : public BrowserFixture {
protected:
    // Types a URL and presses Enter in the address box.
    void Enter(const std::string& url) {
        window_->cbURL().SetText(url);
        window_->cbURLKeyDown(GDK_KEY_Return);
    }
    void Fill(int count) {
        for (int i = 0; i < count; ++i) window_->cbURL().AddItem("http://site" + std::to_string(i) + "/");
    }
    void Activate(const char* action) {
        GActionGroup* group = gtk_widget_get_action_group(GTK_WIDGET(window_->gobj()), "win");
        ASSERT_NE(group, nullptr);
        g_action_group_activate_action(group, action, nullptr);
    }
    Gtk::MenuItem* ItemOf(Gtk::Menu& menu, const std::string& label) {
        for (Gtk::Widget* w : menu.get_children()) {
            auto* item = dynamic_cast<Gtk::MenuItem*>(w);
            if (item && item->get_label() == label) return item;
        }
        return nullptr;
    }
};

TEST_F(Web010Test, StartHomeRunsFromTheMainLoopAndEntersTheHomePage) {
    Open(false);
    // Nothing navigates inside the window's creation.
    EXPECT_TRUE(web_->calls.empty());
    EXPECT_FALSE(window_->StartedHome());
    ASSERT_TRUE(WaitFor([this] { return window_->StartedHome(); }));
    ASSERT_EQ(web_->CountOf("Navigate"), 1);
    const auto& nav = web_->calls[0];
    EXPECT_EQ(nav.url, kStartPageUrl);
    // The four optional arguments are each the integer 0.
    ASSERT_EQ(nav.optional.size(), 4u);
    for (auto [kind, value] : nav.optional) {
        EXPECT_EQ(kind, platform::varInteger);
        EXPECT_EQ(value, 0);
    }
    EXPECT_EQ(window_->UrlItems(), std::vector<std::string>{kStartPageUrl});
    EXPECT_EQ(window_->cbURL().Text(), kStartPageUrl);
    EXPECT_EQ(window_->StatusText(), kStartPageUrl);
    EXPECT_FALSE(window_->FUserNavigate());
}

TEST_F(Web010Test, UrlListTrimsToFiftyBeforeEachInsertion) {
    Open();
    window_->cbURL().ClearItems();
    Fill(50);
    Enter("http://new1/");
    ASSERT_EQ(window_->cbURL().ItemCount(), 51);
    EXPECT_EQ(window_->cbURL().Item(0), "http://new1/");
    EXPECT_EQ(window_->cbURL().Item(50), "http://site49/");
    Enter("http://new2/");
    ASSERT_EQ(window_->cbURL().ItemCount(), 51);
    EXPECT_EQ(window_->cbURL().Item(0), "http://new2/");
    EXPECT_EQ(window_->cbURL().Item(1), "http://new1/");
    // The oldest entry went, the one before it stays last.
    EXPECT_EQ(window_->cbURL().Item(50), "http://site48/");
}

TEST_F(Web010Test, UrlListMovesAMatchWithoutShorteningAndKeepsItsText) {
    Open();
    window_->cbURL().ClearItems();
    Fill(55);
    Enter("HTTP://SITE30/");
    ASSERT_EQ(window_->cbURL().ItemCount(), 55);  // a move never trims
    EXPECT_EQ(window_->cbURL().Item(0), "http://site30/");
    EXPECT_EQ(window_->cbURL().Item(30), "http://site29/");
    EXPECT_EQ(window_->cbURL().Item(31), "http://site31/");
    // A trailing blank makes a different URL: the long list is cut first.
    Enter("http://site30/ ");
    ASSERT_EQ(window_->cbURL().ItemCount(), 51);
    EXPECT_EQ(window_->cbURL().Item(0), "http://site30/ ");
    EXPECT_EQ(window_->cbURL().Item(1), "http://site30/");
}

TEST_F(Web010Test, OnlyTheFirstNavigationAfterGoUrlEntersTheList) {
    Open();
    web_->raiseBeforeNavigate = false;
    Enter("http://typed/");
    EXPECT_TRUE(window_->FUserNavigate());
    web_->RaiseBeforeNavigate2("http://redirected/");
    web_->RaiseBeforeNavigate2("http://link/");
    EXPECT_EQ(window_->UrlItems(), (std::vector<std::string>{"http://redirected/", kStartPageUrl}));
    EXPECT_EQ(window_->StatusText(), "http://link/");
    // The text goes to the control as typed, blanks and all.
    window_->cbURL().SetText("  odd text ");
    window_->cbURLClick();
    EXPECT_EQ(web_->calls.back().url, "  odd text ");
}

TEST_F(Web010Test, HomeNavigatesWithoutTouchingTheList) {
    Open();
    window_->cbURL().SetText("http://elsewhere/");
    window_->SbAct(tagHome);
    EXPECT_EQ(web_->calls.back().url, kStartPageUrl);
    EXPECT_EQ(window_->UrlItems(), std::vector<std::string>{kStartPageUrl});
    EXPECT_EQ(window_->cbURL().Text(), "http://elsewhere/");
}

TEST_F(Web010Test, SetHomePageTrimsAndIgnoresBlankText) {
    Open();
    window_->cbURL().SetText(" \t ");
    window_->SbAct(tagSetHome);
    EXPECT_EQ(window_->FHome(), kStartPageUrl);
    window_->cbURL().SetText("  http://home.example/ \t");
    Activate("acsHome");
    EXPECT_EQ(window_->FHome(), "http://home.example/");
    window_->SbAct(tagHome);
    EXPECT_EQ(web_->calls.back().url, "http://home.example/");
}

TEST_F(Web010Test, TogglesHideTheirBarAndFollowTheCheckMark) {
    Open();
    window_->show();
    ASSERT_TRUE(WaitFor([this] { return window_->wb01().Widget().get_allocated_height() > 1; }));
    Drain();
    int webHeight = window_->wb01().Widget().get_allocated_height();
    auto* toolbarItem = dynamic_cast<Gtk::CheckMenuItem*>(ItemOf(window_->mP(), "Toolbar"));
    auto* statusItem = dynamic_cast<Gtk::CheckMenuItem*>(ItemOf(window_->mP(), "Statusbar"));
    ASSERT_TRUE(toolbarItem && statusItem);
    EXPECT_TRUE(toolbarItem->get_active());

    Activate("acTool");
    Drain();
    EXPECT_FALSE(window_->ActionChecked(tagToolbar));
    EXPECT_FALSE(window_->tbTool().get_visible());
    EXPECT_TRUE(window_->ToolBar1().get_visible());
    EXPECT_TRUE(window_->cbURL().get_visible());
    EXPECT_TRUE(window_->spGO().get_visible());
    EXPECT_FALSE(toolbarItem->get_active());

    window_->SbAct(tagStatusbar);
    EXPECT_FALSE(window_->ActionChecked(tagStatusbar));
    EXPECT_FALSE(window_->sbLow().get_visible());
    ASSERT_TRUE(WaitFor([&] { return window_->wb01().Widget().get_allocated_height() > webHeight; }));

    window_->SbAct(tagToolbar);
    window_->SbAct(tagStatusbar);
    Drain();
    EXPECT_TRUE(window_->tbTool().get_visible());
    EXPECT_TRUE(window_->sbLow().get_visible());
    EXPECT_TRUE(toolbarItem->get_active());
    EXPECT_TRUE(statusItem->get_active());
}

TEST_F(Web010Test, CtrlArrowsClickEnabledButtonsOnlyWithCtrlAlone) {
    Open();
    const auto ctrl = GDK_CONTROL_MASK;
    // Other modifier bits (Num Lock, mouse buttons) do not matter.
    const auto ctrlNum = GdkModifierType(GDK_CONTROL_MASK | GDK_MOD2_MASK);
    web_->RaiseCommandStateChange(CSC_NAVIGATEBACK, false);
    web_->RaiseCommandStateChange(CSC_NAVIGATEFORWARD, false);
    Drain();
    window_->FormKeyDown(GDK_KEY_Left, ctrl);
    window_->FormKeyDown(GDK_KEY_Right, ctrl);
    EXPECT_EQ(web_->CountOf("GoBack") + web_->CountOf("GoForward"), 0);

    web_->RaiseCommandStateChange(CSC_NAVIGATEBACK, true);
    web_->RaiseCommandStateChange(CSC_NAVIGATEFORWARD, true);
    Drain();
    EXPECT_TRUE(window_->tbBack().get_child()->is_sensitive());
    for (auto state : {GdkModifierType(0), GDK_MOD1_MASK, GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK),
                       GdkModifierType(GDK_CONTROL_MASK | GDK_MOD1_MASK), GDK_SHIFT_MASK}) {
        window_->FormKeyDown(GDK_KEY_Left, state);
        window_->FormKeyDown(GDK_KEY_Right, state);
        window_->FormKeyDown(GDK_KEY_Down, state);
    }
    EXPECT_EQ(web_->CountOf("GoBack") + web_->CountOf("GoForward"), 0);
    EXPECT_FALSE(window_->mP().get_visible());

    EXPECT_FALSE(window_->FormKeyDown(GDK_KEY_Left, ctrlNum));  // never consumed
    EXPECT_EQ(web_->CountOf("GoBack"), 1);
    window_->FormKeyDown(GDK_KEY_Right, ctrl);
    EXPECT_EQ(web_->CountOf("GoForward"), 1);
    window_->FormKeyDown(GDK_KEY_Up, ctrl);
    EXPECT_EQ(web_->calls.size(), 3u);  // the home navigation and the two steps

    // With the tool bar hidden the shortcuts still work.
    window_->SbAct(tagToolbar);
    window_->FormKeyDown(GDK_KEY_Left, ctrl);
    EXPECT_EQ(web_->CountOf("GoBack"), 2);
}

TEST_F(Web010Test, CtrlDownPopsUpTheEditMenu) {
    Open();
    window_->show();
    ASSERT_TRUE(WaitFor([this] { return window_->get_mapped(); }));
    window_->FormKeyDown(GDK_KEY_Down, GDK_CONTROL_MASK);
    EXPECT_TRUE(WaitFor([this] { return window_->mP().get_visible(); }));
    window_->mP().popdown();
    // The menu's items in order, separators as empty labels.
    std::vector<std::string> labels;
    for (Gtk::Widget* w : window_->mP().get_children()) {
        auto* item = dynamic_cast<Gtk::MenuItem*>(w);
        labels.push_back(item ? item->get_label() : "?");
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Logs", "Back", "Forward", "", "Stop", "Refresh", "", "Toolbar",
                                                "Statusbar", "", "Set home page", "About ..."}));
}

TEST_F(Web010Test, CommandStatesAndTheEndOfABusyPeriod) {
    Open();
    EXPECT_TRUE(window_->ActionEnabled(tagStop));
    web_->RaiseCommandStateChange(CSC_NAVIGATEFORWARD, false);
    web_->RaiseCommandStateChange(CSC_NAVIGATEBACK, true);
    Drain();
    EXPECT_FALSE(window_->ActionEnabled(tagForward));
    EXPECT_FALSE(window_->tbForw().get_child()->is_sensitive());  // the button follows
    EXPECT_TRUE(window_->ActionEnabled(tagBack));
    web_->RaiseCommandStateChange(7, false);  // unknown commands do nothing
    EXPECT_TRUE(window_->ActionEnabled(tagBack));

    window_->cbURL().SetText("typed");
    web_->location = "http://loaded/";
    web_->busy = true;  // Stop is enabled already: nothing changes
    web_->RaiseCommandStateChange(CSC_UPDATECOMMANDS, true);
    EXPECT_TRUE(window_->ActionEnabled(tagStop));
    EXPECT_EQ(window_->cbURL().Text(), "typed");
    web_->busy = false;
    web_->RaiseCommandStateChange(CSC_UPDATECOMMANDS, true);
    EXPECT_FALSE(window_->ActionEnabled(tagStop));
    EXPECT_EQ(window_->cbURL().Text(), "http://loaded/");
    // No change of the busy state: the box is left alone.
    window_->cbURL().SetText("typed again");
    web_->RaiseCommandStateChange(CSC_UPDATECOMMANDS, false);
    EXPECT_EQ(window_->cbURL().Text(), "typed again");
    web_->busy = true;
    web_->RaiseCommandStateChange(CSC_UPDATECOMMANDS, false);
    EXPECT_TRUE(window_->ActionEnabled(tagStop));
    EXPECT_EQ(window_->cbURL().Text(), "typed again");
}

TEST_F(Web010Test, CaptionStatusAndAddressFollowTheEvents) {
    Open();
    EXPECT_EQ(window_->get_title(), "Qel Browser");
    web_->RaiseTitleChange("A page");
    EXPECT_EQ(window_->get_title(), "A page");
    web_->RaiseStatusTextChange("Loading ...");
    EXPECT_EQ(window_->StatusText(), "Loading ...");
    web_->RaiseDocumentComplete("http://frame/");
    EXPECT_EQ(window_->cbURL().Text(), "http://frame/");
}

TEST_F(Web010Test, CommandsReachTheControlByTag) {
    Open();
    window_->SbAct(tagBack);
    window_->SbAct(tagForward);
    window_->SbAct(tagStop);
    window_->SbAct(tagRefresh);
    window_->SbAct(tagFavorites);
    window_->SbAct(tagHistory);
    window_->SbAct(12345);
    Activate("ac082");  // "Logs" saves as well
    for (const char* label : {"Save ...", "Print preview ...", "Print ...", "Page setup ..."}) {
        Gtk::MenuItem* item = ItemOf(window_->mF(), label);
        ASSERT_NE(item, nullptr) << label;
        item->activate();
    }
    std::vector<std::string> ops;
    std::vector<int> commands;
    for (const auto& c : web_->calls) {
        ops.push_back(c.op);
        if (c.op == "ExecWB") {
            commands.push_back(c.arg1);
            EXPECT_EQ(c.arg2, OLECMDEXECOPT_PROMPTUSER);
        }
        if (c.op == "Refresh2") {
            EXPECT_EQ(c.arg1, 0);
        }
    }
    EXPECT_EQ(ops, (std::vector<std::string>{"Navigate", "GoBack", "GoForward", "Stop", "Refresh2", "ExecWB",
                                             "ExecWB", "ExecWB", "ExecWB", "ExecWB"}));
    EXPECT_EQ(commands, (std::vector<int>{4, 4, 7, 6, 8}));
    EXPECT_TRUE(boxes_->Boxes().empty());
}

TEST_F(Web010Test, CloseCommandEndsTheWindow) {
    Open();
    window_->show();
    ASSERT_TRUE(WaitFor([this] { return window_->get_mapped(); }));
    ItemOf(window_->mF(), "Close")->activate();
    EXPECT_TRUE(WaitFor([this] { return !window_->get_visible(); }));
}

TEST_F(Web010Test, AFailedOperationIsShownAndTheWindowGoesOn) {
    Open();
    web_->failWith = "The engine said no";
    Activate("acBack");
    // Enter in the address box, as the box hands it to the window.
    window_->cbURL().SetText("http://somewhere/");
    GdkEventKey key{};
    key.type = GDK_KEY_PRESS;
    key.keyval = GDK_KEY_Return;
    EXPECT_FALSE(window_->cbURL().OnKeyDown(window_->cbURL(), &key));
    ASSERT_EQ(boxes_->Boxes().size(), 2u);
    EXPECT_EQ(boxes_->Boxes()[0].text, "The engine said no");
    EXPECT_EQ(boxes_->Boxes()[1].text, "The engine said no");
    EXPECT_NE(boxes_->Boxes()[0].flags & platform::MB_ICONHAND, 0u);
    // The window is unchanged and keeps working.
    EXPECT_EQ(window_->UrlItems(), std::vector<std::string>{kStartPageUrl});
    web_->failWith.clear();
    Activate("acBack");
    EXPECT_EQ(web_->CountOf("GoBack"), 1);
    EXPECT_EQ(boxes_->Boxes().size(), 2u);
}

} // namespace

TEST_F(Web010Test, EveryKeyRunsAnActionAndTheMenusShowTheirKeys) {
    Open();
    // No key runs a command the window has no action for, and no key is
    // bound twice with the same modifiers.
    std::set<std::pair<guint, unsigned>> seen;
    for (const KeyDef& k : Keys()) {
        EXPECT_NO_THROW(ActionOf(k.tag)) << gdk_keyval_name(k.key);
        EXPECT_TRUE(seen.insert({k.key, k.mods}).second) << gdk_keyval_name(k.key);
        EXPECT_TRUE(window_->ActionEnabled(k.tag) || k.tag == tagStop || k.tag == tagBack || k.tag == tagForward);
    }
    // A menu item names its key.
    for (auto [menu, label, key] : {std::tuple{&window_->mF(), "Print ...", GDK_KEY_p},
                                    std::tuple{&window_->mF(), "Close", GDK_KEY_q},
                                    std::tuple{&window_->mP(), "Refresh", GDK_KEY_F5},
                                    std::tuple{&window_->mB(), "Bookmark This Page ...", GDK_KEY_d}}) {
        Gtk::MenuItem* item = ItemOf(*menu, label);
        ASSERT_NE(item, nullptr) << label;
        auto* accel = dynamic_cast<Gtk::AccelLabel*>(item->get_child());
        ASSERT_NE(accel, nullptr) << label;
        guint shown = 0;
        Gdk::ModifierType mods;
        accel->get_accel(shown, mods);
        EXPECT_EQ(shown, guint(key)) << label;
    }
}

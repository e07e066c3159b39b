#include "GuiTest.h"

#include "browser/Web080.h"
#include "platform/MessageBox.h"
#include "platform/SysUtils.h"

#include <gdk/gdkkeysyms.h>
#include <glibmm/main.h>
#include <gtkmm/window.h>

#include <memory>

using namespace browser;

namespace {
struct AboutBox : ::testing::Test {
    std::shared_ptr<platform::FakeScreen> screen = std::make_shared<platform::FakeScreen>();
    std::shared_ptr<platform::IScreenService> previous;
    std::shared_ptr<platform::ScriptedMessageBox> boxes = std::make_shared<platform::ScriptedMessageBox>();
    std::unique_ptr<platform::MessageBoxScope> scope;
    void SetUp() override {
        REQUIRE_GTK();
        platform::SetFormatSettings(platform::FormatSettings{".", ","});
        screen->width = screen->desktopWidth = 1024;
        screen->height = screen->desktopHeight = 768;
        screen->widthMM = 1210.5;
        screen->heightMM = 907.9;
        previous = platform::SetScreenService(screen);
        scope = std::make_unique<platform::MessageBoxScope>(boxes);
    }
    void TearDown() override {
        platform::SetScreenService(previous);
        platform::ResetFormatSettings();
    }
};

TWeb080* OpenAbout() {
    for (Gtk::Window* w : Gtk::Window::list_toplevels()) {
        if (auto* a = dynamic_cast<TWeb080*>(w); a && a->get_visible()) return a;
    }
    return nullptr;
}

void SendKey(Gtk::Widget& w, guint keyval) {
    GdkEvent* ev = gdk_event_new(GDK_KEY_PRESS);
    ev->key.window = GDK_WINDOW(g_object_ref(w.get_window()->gobj()));
    ev->key.keyval = keyval;
    ev->key.send_event = TRUE;
    ev->key.time = GDK_CURRENT_TIME;
    gdk_event_set_device(ev, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(w.gobj(), ev);
    gdk_event_free(ev);
}
} // namespace

TEST_F(AboutBox, TextsFilledAtCreationFromTheServices) {
    TWeb080 box;
    EXPECT_EQ(box.get_title(), "About Qel Browser");
    EXPECT_EQ(box.get_name(), "Web080");
    EXPECT_EQ(std::string(box.lScr.get_text()), ScreenText(*screen));
    EXPECT_NE(std::string(box.lScr.get_text()).find("- 1 210.5000 x  907.9000 mm "), std::string::npos);
    EXPECT_NE(std::string(box.lScr.get_text()).find("4/3 ( Letterbox )"), std::string::npos);
    EXPECT_EQ(std::string(box.lOS.get_text()), OSVersionText(platform::GetVersionEx()));
    EXPECT_EQ(std::string(box.lMem.get_text()), MemoryText(platform::GlobalMemoryStatus().TotalPhys));
    EXPECT_EQ(std::string(box.lCpy.get_text()), CopyrightText());
    EXPECT_EQ(std::string(box.lNam.get_text()), " Qel Web Browser ");
    EXPECT_EQ(std::string(box.Label3.get_text()), "Memory Available to Windows:");
    EXPECT_EQ(box.pBox.BevelOuter(), controls::bvLowered);
    EXPECT_FALSE(box.pBox.TransParent());
    EXPECT_TRUE(boxes->Boxes().empty());
    // Computed once: a later change of the screen does not show.
    screen->width = 1920;
    EXPECT_EQ(std::string(box.lScr.get_text()), ScreenText([] {
                  platform::FakeScreen s;
                  s.width = 1024;
                  s.height = 768;
                  s.widthMM = 1210.5;
                  s.heightMM = 907.9;
                  return s;
              }()));
}

TEST_F(AboutBox, FailingMeasurementIsShownAndLeavesTheRestUnfilled) {
    screen->width = 0;
    screen->height = 0;
    TWeb080 box;
    ASSERT_EQ(boxes->Boxes().size(), 1u);
    EXPECT_EQ(boxes->Boxes()[0].text, "The screen reports no size");
    EXPECT_EQ(std::string(box.lOS.get_text()), "OS");
    EXPECT_EQ(std::string(box.lMem.get_text()), "0");
    EXPECT_EQ(std::string(box.lCpy.get_text()), "");
}

TEST_F(AboutBox, EscAndEnterCloseTheModalBox) {
    Gtk::Window owner;
    owner.show();
    for (guint key : {GDK_KEY_Escape, GDK_KEY_Return}) {
        bool sent = false;
        Glib::signal_timeout().connect(
            [&] {
                TWeb080* about = OpenAbout();
                if (!about || !about->get_realized()) return true;
                SendKey(*about, key);
                sent = true;
                return false;
            },
            20);
        ShowAbout(owner);  // returns once the key closed it
        EXPECT_TRUE(sent);
        guitest::Flush();
        EXPECT_EQ(OpenAbout(), nullptr) << "the box is freed when it closes";
    }
}

TEST_F(AboutBox, EveryTextLiesInsideTheClientAreaAndClearOfTheButton) {
    // A long system name, as some systems report it.
    platform::OSVersionInfo os = platform::GetVersionEx();
    os.CSDVersion = "Debian GNU/Linux 12 (bookworm) with a long edition name";
    TWeb080 box;
    box.lOS.set_text(OSVersionText(os));
    box.show();
    ASSERT_TRUE(guitest::WaitFor([&] { return box.get_mapped() && box.lCpy.get_allocated_width() > 1; }));
    guitest::Flush();
    const Gtk::Allocation client = box.get_content_area()->get_allocation();
    EXPECT_EQ(client.get_width(), 336);
    EXPECT_EQ(client.get_height(), 223);
    EXPECT_EQ(box.get_allocated_width(), 336);
    EXPECT_EQ(box.get_allocated_height(), 223);
    const Gtk::Allocation ok = box.OKButton.get_allocation();
    EXPECT_EQ(ok.get_x() - client.get_x(), 260);
    EXPECT_EQ(ok.get_y() - client.get_y(), 183);
    for (Gtk::Label* label : {&box.lCpy, &box.Label3, &box.lMem, &box.lOS, &box.lNam, &box.lScr}) {
        // Line by line, where the text itself is drawn.
        int lx = 0, ly = 0;
        label->get_layout_offsets(lx, ly);
        Pango::LayoutIter line = label->get_layout()->get_iter();
        do {
            Pango::Rectangle ink, logical;
            line.get_line_extents(ink, logical);
            const int left = lx + PANGO_PIXELS(logical.get_x()) - client.get_x();
            const int top = ly + PANGO_PIXELS(logical.get_y()) - client.get_y();
            const int right = left + PANGO_PIXELS(logical.get_width());
            const int bottom = top + PANGO_PIXELS(logical.get_height());
            const std::string text = label->get_text();
            EXPECT_TRUE(left >= 0 && top >= 0 && right <= 336 && bottom <= 223)
                << text << ": " << left << "," << top << " to " << right << "," << bottom;
            const int okLeft = ok.get_x() - client.get_x(), okTop = ok.get_y() - client.get_y();
            EXPECT_TRUE(right <= okLeft || left >= okLeft + 75 || bottom <= okTop || top >= okTop + 25)
                << text << " runs into the OK button";
        } while (line.next_line());
    }
}

// The main window's looks and keys through the scripted control: the GO
// picture, the splitter and the address box's width, and which keys act
// where the form's own keys and the everyday ones meet.
#include "BrowserTestSupport.h"

#include <gdk/gdkkeysyms.h>

using namespace browser;
using browser_test::BrowserFixture;
using browser_test::Drain;
using browser_test::SendKey;
using browser_test::WaitFor;

namespace {

class Web010Looks : public BrowserFixture {
protected:
    void Show(int width) {
        Open();
        window_->resize(width, 400);
        window_->show();
        ASSERT_TRUE(WaitFor([&] { return window_->get_mapped() && window_->get_allocated_width() == width; }));
        Settle();
    }
    // Until the layout stops moving.
    void Settle() {
        for (int i = 0; i < 5; ++i) {
            WaitFor([] { return false; }, 40);
            Drain();
        }
    }
    void Resize(int width) {
        window_->resize(width, 400);
        ASSERT_TRUE(WaitFor([&] { return window_->get_allocated_width() == width; }));
        Settle();
    }
    int AddressWidth() { return window_->cbURL().get_allocated_width(); }
    // The splitter's handle dragged by dx pixels with the first button.
    void Drag(int dx) {
        GdkWindow* handle = gtk_paned_get_handle_window(window_->pTop().gobj());
        ASSERT_NE(handle, nullptr);
        GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
        int ox = 0, oy = 0;
        gdk_window_get_origin(handle, &ox, &oy);
        auto send = [&](GdkEventType type, int x) {
            GdkEvent* ev = gdk_event_new(type);
            ev->any.window = GDK_WINDOW(g_object_ref(handle));
            ev->any.send_event = TRUE;
            if (type == GDK_MOTION_NOTIFY) {
                ev->motion.time = GDK_CURRENT_TIME;
                ev->motion.x = x;
                ev->motion.y = 5;
                ev->motion.x_root = ox + x;
                ev->motion.y_root = oy + 5;
                ev->motion.state = GDK_BUTTON1_MASK;
            } else {
                ev->button.time = GDK_CURRENT_TIME;
                ev->button.button = 1;
                ev->button.x = x;
                ev->button.y = 5;
                ev->button.x_root = ox + x;
                ev->button.y_root = oy + 5;
                ev->button.state = type == GDK_BUTTON_RELEASE ? GDK_BUTTON1_MASK : 0;
            }
            gdk_event_set_device(ev, pointer);
            gtk_main_do_event(ev);
            gdk_event_free(ev);
        };
        send(GDK_BUTTON_PRESS, 1);
        for (int step = 1; step <= 4; ++step) send(GDK_MOTION_NOTIFY, 1 + dx * step / 4);
        send(GDK_BUTTON_RELEASE, 1 + dx);
        Settle();
    }
};

TEST_F(Web010Looks, GoShowsAThemedPictureAtTheFormsSize) {
    Show(767);
    ASSERT_TRUE(window_->spGO().Glyph());
    EXPECT_EQ(window_->spGO().NumGlyphs(), 4);
    EXPECT_EQ(window_->spGO().get_allocated_width(), 48);
    EXPECT_EQ(window_->spGO().Caption(), "GO");
    // The disabled picture is another one than the normal picture.
    window_->spGO().set_sensitive(false);
    EXPECT_EQ(window_->spGO().GlyphIndex(), 1);
    window_->spGO().set_sensitive(true);
}

TEST_F(Web010Looks, TheAddressBoxGetsItsWidthBackAndTheSplitterSetsIt) {
    Show(767);
    EXPECT_EQ(AddressWidth(), 316);
    // A visible splitter of 3 pixels with a resize cursor, left of the box.
    int boxLeft = 0, leftEnd = 0, y = 0;
    window_->cbURL().translate_coordinates(*window_, 0, 0, boxLeft, y);
    Gtk::Widget& left = *window_->ToolBar1().get_parent();
    left.translate_coordinates(*window_, left.get_allocated_width(), 0, leftEnd, y);
    EXPECT_EQ(boxLeft - leftEnd, 3);
    EXPECT_NE(gdk_window_get_cursor(gtk_paned_get_handle_window(window_->pTop().gobj())), nullptr);

    Resize(600);
    EXPECT_LT(AddressWidth(), 316);
    EXPECT_TRUE(window_->tbTool().get_allocated_width() > 100) << "the buttons stay whole";
    Resize(900);
    EXPECT_EQ(AddressWidth(), 316);

    // Dragged 100 pixels to the left, the box is 100 wider, and keeps that.
    Drag(-100);
    EXPECT_EQ(AddressWidth(), 416);
    Resize(650);
    EXPECT_LT(AddressWidth(), 416);
    Resize(1000);
    EXPECT_EQ(AddressWidth(), 416);
}

TEST_F(Web010Looks, AltArrowsStayWithTheFormAndEscStopsOnlyWhatLoads) {
    Show(767);
    web_->RaiseCommandStateChange(CSC_NAVIGATEBACK, true);
    web_->RaiseCommandStateChange(CSC_NAVIGATEFORWARD, true);
    // The form's keys for back and forward are Ctrl+Left and Ctrl+Right;
    // Alt with the arrows does nothing in this window.
    SendKey(*window_, GDK_KEY_Left, GDK_MOD1_MASK);
    SendKey(*window_, GDK_KEY_Right, GDK_MOD1_MASK);
    EXPECT_EQ(web_->CountOf("GoBack") + web_->CountOf("GoForward"), 0);
    SendKey(*window_, GDK_KEY_Left, GDK_CONTROL_MASK);
    EXPECT_EQ(web_->CountOf("GoBack"), 1);

    web_->busy = false;
    web_->RaiseCommandStateChange(CSC_UPDATECOMMANDS, false);
    SendKey(*window_, GDK_KEY_Escape);
    EXPECT_EQ(web_->CountOf("Stop"), 0);
    web_->busy = true;
    web_->RaiseCommandStateChange(CSC_UPDATECOMMANDS, true);
    SendKey(*window_, GDK_KEY_Escape);
    EXPECT_EQ(web_->CountOf("Stop"), 1);
    // In the find bar, Esc closes the bar and stops nothing.
    SendKey(*window_, GDK_KEY_f, GDK_CONTROL_MASK);
    ASSERT_TRUE(window_->FindBar().IsOpen());
    SendKey(*window_, GDK_KEY_Escape);
    EXPECT_FALSE(window_->FindBar().IsOpen());
    EXPECT_EQ(web_->CountOf("Stop"), 1);
    EXPECT_EQ(web_->CountOf("FindFinish"), 1);
    // Save and print run the control's own dialogs, as the menu does.
    SendKey(*window_, GDK_KEY_s, GDK_CONTROL_MASK);
    SendKey(*window_, GDK_KEY_p, GDK_CONTROL_MASK);
    std::vector<int> commands;
    for (const auto& c : web_->calls)
        if (c.op == "ExecWB") commands.push_back(c.arg1);
    EXPECT_EQ(commands, (std::vector<int>{OLECMDID_SAVEAS, OLECMDID_PRINT}));
    SendKey(*window_, GDK_KEY_q, GDK_CONTROL_MASK);
    EXPECT_TRUE(WaitFor([this] { return !window_->get_visible(); }));
}

TEST_F(Web010Looks, APrivateWindowWritesNoSettingsAndTheCommandLineAddressComesFirst) {
    Open(false);
    window_->SetStartUrl("http://asked.example/");
    window_->SetPrivate(true);
    ASSERT_TRUE(WaitFor([this] { return window_->StartedHome(); }));
    EXPECT_EQ(web_->calls.at(0).url, "http://asked.example/");
    EXPECT_EQ(window_->UrlItems(), std::vector<std::string>{"http://asked.example/"});
    Close();
    EXPECT_FALSE(std::filesystem::exists(IniFile()));
}

} // namespace

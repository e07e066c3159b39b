#include "GuiTest.h"

#include "controls/SpeedRx.h"

#include <gtkmm/adjustment.h>
#include <gtkmm/box.h>
#include <gtkmm/fixed.h>
#include <gtkmm/window.h>

#include <memory>
#include <vector>

using namespace controls;

namespace {
// A shown window holding one speed button, so that crossing events reach it.
struct Hover : ::testing::Test {
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<TSpeedRx> button;
    std::vector<std::string> calls;

    void SetUp() override {
        REQUIRE_GTK();
        window = std::make_unique<Gtk::Window>();
        button = std::make_unique<TSpeedRx>("GO");
        button->SetFlat(true);
        window->add(*button);
        window->show_all();
        ASSERT_TRUE(guitest::WaitFor([&] { return button->get_realized() && button->get_mapped(); }));
        button->OnMseEnter = [this](Gtk::Widget& sender) {
            EXPECT_EQ(&sender, button.get());
            calls.push_back("enter");
        };
        button->OnMseLeave = [this](Gtk::Widget& sender) {
            EXPECT_EQ(&sender, button.get());
            calls.push_back("leave");
        };
    }

    // The pointer crossing into or out of the button, as the display sends it.
    void Cross(GdkEventType type) {
        GdkEvent* ev = gdk_event_new(type);
        ev->crossing.window = GDK_WINDOW(g_object_ref(button->get_window()->gobj()));
        ev->crossing.send_event = TRUE;
        ev->crossing.time = GDK_CURRENT_TIME;
        ev->crossing.mode = GDK_CROSSING_NORMAL;
        ev->crossing.detail = GDK_NOTIFY_ANCESTOR;
        gdk_event_set_device(ev, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_widget_event(GTK_WIDGET(button->gobj()), ev);
        gdk_event_free(ev);
    }
};
} // namespace

TEST_F(Hover, EnabledButtonReportsEnterAndLeave) {
    Cross(GDK_ENTER_NOTIFY);
    Cross(GDK_LEAVE_NOTIFY);
    EXPECT_EQ(calls, (std::vector<std::string>{"enter", "leave"}));
}

TEST_F(Hover, DisabledButtonReportsNothing) {
    button->SetEnabled(false);
    Cross(GDK_ENTER_NOTIFY);
    Cross(GDK_LEAVE_NOTIFY);
    button->MouseEntered();
    button->MouseLeft();
    EXPECT_TRUE(calls.empty());
}

TEST_F(Hover, AutomaticDragModeSilencesOnlyEnter) {
    button->SetDragMode(dmAutomatic);
    Cross(GDK_ENTER_NOTIFY);
    Cross(GDK_LEAVE_NOTIFY);
    EXPECT_EQ(calls, (std::vector<std::string>{"leave"}));
}

TEST_F(Hover, NoHandlerNoCall) {
    button->OnMseEnter = nullptr;
    button->OnMseLeave = nullptr;
    Cross(GDK_ENTER_NOTIFY);
    Cross(GDK_LEAVE_NOTIFY);
    SUCCEED();
}

namespace {
Glib::RefPtr<Gdk::Pixbuf> FourImageGlyph() {
    // 4 images of 8 x 8 side by side, each its own grey.
    auto p = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, 32, 8);
    for (int i = 0; i < 4; ++i) {
        auto sub = Gdk::Pixbuf::create_subpixbuf(p, i * 8, 0, 8, 8);
        guint32 grey = static_cast<guint32>(0x40 * i);
        sub->fill(grey << 24 | grey << 16 | grey << 8 | 0xFF);
    }
    return p;
}

guint8 FirstByte(const Glib::RefPtr<Gdk::Pixbuf>& p, int x) { return p->get_pixels()[x * p->get_n_channels()]; }
} // namespace

TEST(SpeedRxAssign, CopyFromSpeedRxMovesAndCopiesGlyph) {
    REQUIRE_GTK();
    Gtk::Fixed fixed;
    TSpeedRx source("GO");
    fixed.put(source, 0, 0);
    source.SetBounds(10, 20, 48, 26);
    source.SetFlat(true);
    source.SetGroupIndex(3);
    source.SetAllowAllUp(true);
    source.SetGlyph(FourImageGlyph());
    source.SetLayout(blGlyphTop);
    source.SetMargin(2);
    source.SetSpacing(7);
    source.SetTransparent(false);
    source.SetAlign(alRight);
    source.SetHint("Go there");
    source.SetShowHint(true);
    source.SetUndockWidth(60);
    int entered = 0;
    source.OnMseEnter = [&](Gtk::Widget&) { ++entered; };

    TSpeedRx copy("copy");
    fixed.put(copy, 0, 0);
    copy.AssignFrom(source);

    EXPECT_EQ(copy.Left(), 15);
    EXPECT_EQ(copy.Top(), 25);
    EXPECT_EQ(copy.Width(), 48);
    EXPECT_EQ(copy.Height(), 26);
    EXPECT_EQ(fixed.child_property_x(copy).get_value(), 15);
    EXPECT_EQ(fixed.child_property_y(copy).get_value(), 25);
    EXPECT_TRUE(copy.Flat());
    EXPECT_EQ(copy.GroupIndex(), 3);
    EXPECT_TRUE(copy.AllowAllUp());
    EXPECT_EQ(copy.NumGlyphs(), 4);
    EXPECT_EQ(copy.Layout(), blGlyphTop);
    EXPECT_EQ(copy.Margin(), 2);
    EXPECT_EQ(copy.Spacing(), 7);
    EXPECT_FALSE(copy.Transparent());
    EXPECT_EQ(copy.Align(), alRight);
    EXPECT_EQ(copy.Hint(), "Go there");
    EXPECT_TRUE(copy.ShowHint());
    EXPECT_EQ(copy.UndockWidth(), 60);
    EXPECT_EQ(copy.Caption(), "copy") << "the caption is not copied";
    // The glyph is a copy with the same pixels, not the same picture.
    ASSERT_TRUE(copy.Glyph());
    EXPECT_NE(copy.Glyph(), source.Glyph());
    EXPECT_EQ(FirstByte(copy.Glyph(), 8), 0x40);
    source.Glyph()->fill(0xFFFFFFFF);
    EXPECT_EQ(FirstByte(copy.Glyph(), 8), 0x40);
    // The hover handlers come along.
    ASSERT_TRUE(copy.OnMseEnter);
    copy.MouseEntered();
    EXPECT_EQ(entered, 1);
}

TEST(SpeedRxAssign, CopyFromPlainWidgetTakesOnlyControlSettings) {
    REQUIRE_GTK();
    Gtk::Fixed fixed;
    Gtk::Button plain("plain");
    plain.set_size_request(70, 30);
    plain.set_tooltip_text("tip");
    plain.set_sensitive(false);
    fixed.put(plain, 10, 20);
    TSpeedRx rx("rx");
    rx.SetFlat(true);
    rx.SetSpacing(9);
    bool called = false;
    rx.OnMseLeave = [&](Gtk::Widget&) { called = true; };
    rx.AssignFrom(plain);
    EXPECT_EQ(rx.Left(), 15);
    EXPECT_EQ(rx.Top(), 25);
    EXPECT_EQ(rx.Width(), 70);
    EXPECT_EQ(rx.Height(), 30);
    EXPECT_EQ(rx.Hint(), "tip");
    EXPECT_FALSE(rx.Enabled());
    // Nothing of a speed button's own.
    EXPECT_TRUE(rx.Flat());
    EXPECT_EQ(rx.Spacing(), 9);
    EXPECT_TRUE(rx.OnMseLeave);
    (void)called;
}

TEST(SpeedRxAssign, CopyFromNonControlChangesNothing) {
    REQUIRE_GTK();
    TSpeedRx rx("rx");
    rx.SetBounds(1, 2, 30, 40);
    rx.SetFlat(true);
    auto adjustment = Gtk::Adjustment::create(0, 0, 10);
    rx.AssignFrom(adjustment.get());
    rx.AssignFrom(static_cast<const Glib::ObjectBase*>(nullptr));
    EXPECT_EQ(rx.Left(), 1);
    EXPECT_EQ(rx.Top(), 2);
    EXPECT_EQ(rx.Width(), 30);
    EXPECT_TRUE(rx.Flat());
}

TEST(SpeedButton, GroupKeepsOneDownAndAllowAllUp) {
    REQUIRE_GTK();
    Gtk::Box box;
    TSpeedButton a("a"), b("b"), c("c");
    for (auto* btn : {&a, &b, &c}) box.add(*btn);
    a.SetGroupIndex(1);
    b.SetGroupIndex(1);
    c.SetGroupIndex(2);
    c.SetDown(true);
    a.clicked();
    EXPECT_TRUE(a.Down());
    b.clicked();
    EXPECT_TRUE(b.Down());
    EXPECT_FALSE(a.Down());
    EXPECT_TRUE(c.Down()) << "another group stays as it is";
    b.clicked();
    EXPECT_TRUE(b.Down()) << "the last one down stays down without AllowAllUp";
    b.SetAllowAllUp(true);
    EXPECT_TRUE(a.AllowAllUp()) << "the group shares the permission";
    b.clicked();
    EXPECT_FALSE(b.Down());
    TSpeedButton plain("p");
    plain.SetDown(true);
    EXPECT_FALSE(plain.Down()) << "without a group a button cannot stay down";
}

TEST(SpeedButton, GlyphImageFollowsState) {
    REQUIRE_GTK();
    Gtk::Box box;
    TSpeedButton b("b");
    box.add(b);
    b.SetGlyph(FourImageGlyph());
    EXPECT_EQ(b.NumGlyphs(), 4) << "a 32 x 8 picture holds four images";
    EXPECT_EQ(b.GlyphIndex(), 0);
    b.SetGroupIndex(1);
    b.SetDown(true);
    EXPECT_EQ(b.GlyphIndex(), 3);
    b.set_sensitive(false);
    EXPECT_EQ(b.GlyphIndex(), 1);
    b.SetNumGlyphs(1);
    EXPECT_EQ(b.GlyphIndex(), 0) << "a missing image shows the normal one";
    b.SetNumGlyphs(9);
    EXPECT_EQ(b.NumGlyphs(), 4);
}

#include "GuiTest.h"

#include "controls/ComboSx.h"

#include <gdk/gdkkeysyms.h>
#include <gtkmm/window.h>

#include <memory>

using namespace controls;

namespace {
std::vector<std::string> Items(const TComboSx& c) {
    std::vector<std::string> out;
    for (int i = 0; i < c.ItemCount(); ++i) out.push_back(c.Item(i));
    return out;
}
} // namespace

TEST(ComboSx, ItemListWorksByIndexAndKeepsTheTypedText) {
    REQUIRE_GTK();
    TComboSx c;
    c.SetText("typed");
    c.AddItem("b");
    c.InsertItem(0, "a");
    c.InsertItem(99, "c");
    EXPECT_EQ(Items(c), (std::vector<std::string>{"a", "b", "c"}));
    c.set_active(1);
    EXPECT_EQ(c.Text(), "b");
    c.SetText("typed");
    c.MoveItem(2, 0);
    EXPECT_EQ(Items(c), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_EQ(c.Text(), "typed");
    c.DeleteItem(1);
    c.DeleteItem(7);
    c.MoveItem(0, 5);
    EXPECT_EQ(Items(c), (std::vector<std::string>{"c", "b"}));
    EXPECT_EQ(c.Item(-1), "");
    EXPECT_EQ(c.Item(2), "");
    EXPECT_EQ(c.Text(), "typed");
    c.ClearItems();
    EXPECT_EQ(c.ItemCount(), 0);
    EXPECT_EQ(c.Text(), "typed");
}

TEST(ComboSx, FindsTextRegardlessOfCaseButNotOfBlanks) {
    REQUIRE_GTK();
    TComboSx c;
    for (const char* s : {"http://a.example/", "HTTP://B.example/", "http://b.example/ "}) c.AddItem(s);
    EXPECT_EQ(c.IndexOfText("http://b.example/"), 1);
    EXPECT_EQ(c.IndexOfText("http://B.EXAMPLE/ "), 2);
    EXPECT_EQ(c.IndexOfText("http://c.example/"), -1);
}

TEST(ComboSx, KeysAndDoubleClickReachTheOwner) {
    REQUIRE_GTK();
    Gtk::Window window;
    TComboSx c;
    c.SetAlign(alRight);
    EXPECT_EQ(c.Align(), alRight);
    window.add(c);
    window.show_all();
    ASSERT_TRUE(guitest::WaitFor([&] { return c.get_entry()->get_realized(); }));
    std::vector<guint> keys;
    c.OnKeyDown = [&](Gtk::Widget& sender, GdkEventKey* ev) {
        EXPECT_EQ(&sender, &c);
        keys.push_back(ev->keyval);
        return ev->keyval == GDK_KEY_x;  // swallow x
    };
    int dbl = 0;
    c.OnDblClick = [&](Gtk::Widget& sender) {
        EXPECT_EQ(&sender, &c);
        ++dbl;
    };
    c.get_entry()->grab_focus();
    auto key = [&](guint keyval) {
        GdkEvent* ev = gdk_event_new(GDK_KEY_PRESS);
        ev->key.window = GDK_WINDOW(g_object_ref(c.get_entry()->get_window()->gobj()));
        ev->key.keyval = keyval;
        ev->key.send_event = TRUE;
        ev->key.time = GDK_CURRENT_TIME;
        gdk_event_set_device(ev, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_widget_event(GTK_WIDGET(c.get_entry()->gobj()), ev);
        gdk_event_free(ev);
    };
    key(GDK_KEY_a);
    key(GDK_KEY_x);
    EXPECT_EQ(keys, (std::vector<guint>{GDK_KEY_a, GDK_KEY_x}));
    EXPECT_EQ(c.Text(), "a") << "the swallowed key never reached the entry";

    GdkEvent* ev = gdk_event_new(GDK_2BUTTON_PRESS);
    ev->button.window = GDK_WINDOW(g_object_ref(c.get_entry()->get_window()->gobj()));
    ev->button.button = 1;
    ev->button.send_event = TRUE;
    gdk_event_set_device(ev, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(GTK_WIDGET(c.get_entry()->gobj()), ev);
    gdk_event_free(ev);
    EXPECT_EQ(dbl, 1);
}

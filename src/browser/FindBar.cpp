#include "browser/FindBar.h"

#include "browser/AppErrors.h"

#include <gdk/gdkkeysyms.h>
#include <gtkmm/window.h>

namespace browser {

TFindBar::TFindBar() : Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 4) {
    set_name("FindBar");
    set_border_width(2);
    entry_.set_width_chars(24);
    previous_.set_image_from_icon_name("go-up-symbolic", Gtk::ICON_SIZE_BUTTON);
    previous_.set_tooltip_text("Previous match (Shift+Enter, Shift+F3)");
    previous_.set_relief(Gtk::RELIEF_NONE);
    next_.set_image_from_icon_name("go-down-symbolic", Gtk::ICON_SIZE_BUTTON);
    next_.set_tooltip_text("Next match (Enter, F3)");
    next_.set_relief(Gtk::RELIEF_NONE);
    close_.set_image_from_icon_name("window-close-symbolic", Gtk::ICON_SIZE_BUTTON);
    close_.set_tooltip_text("Close the find bar (Esc)");
    close_.set_relief(Gtk::RELIEF_NONE);
    count_.set_margin_start(8);
    pack_start(caption_, Gtk::PACK_SHRINK);
    pack_start(entry_, Gtk::PACK_SHRINK);
    pack_start(previous_, Gtk::PACK_SHRINK);
    pack_start(next_, Gtk::PACK_SHRINK);
    pack_start(matchCase_, Gtk::PACK_SHRINK);
    pack_start(count_, Gtk::PACK_SHRINK);
    pack_end(close_, Gtk::PACK_SHRINK);
    show_all_children();
    set_no_show_all(true);
    hide();

    entry_.signal_key_press_event().connect(sigc::mem_fun(*this, &TFindBar::EntryKey), false);
    entry_.signal_changed().connect([this] { RunGuarded([this] { Search(false); }); });
    matchCase_.signal_toggled().connect([this] { RunGuarded([this] { Search(false); }); });
    previous_.signal_clicked().connect([this] { RunGuarded([this] { Search(true); }); });
    next_.signal_clicked().connect([this] { RunGuarded([this] { Search(false); }); });
    close_.signal_clicked().connect([this] { RunGuarded([this] { Close(); }); });
}

void TFindBar::Open() {
    show();
    entry_.grab_focus();
    entry_.select_region(0, -1);
}

void TFindBar::Close() {
    if (!get_visible()) return;
    hide();
    count_.set_text("");
    if (OnClose) OnClose();
}

bool TFindBar::HasFocusInside() const {
    auto* top = dynamic_cast<const Gtk::Window*>(get_toplevel());
    const Gtk::Widget* focus = top ? top->get_focus() : nullptr;
    return get_visible() && focus && (focus == this || focus->is_ancestor(const_cast<TFindBar&>(*this)));
}

void TFindBar::FindAgain(bool backwards) {
    if (!IsOpen() || Text().empty()) {
        Open();
        return;
    }
    Search(backwards);
}

void TFindBar::ShowMatches(int matches) {
    if (Text().empty()) {
        count_.set_text("");
    } else if (matches <= 0) {
        count_.set_text("No matches");
    } else {
        count_.set_text(matches == 1 ? "1 match" : std::to_string(matches) + " matches");
    }
    if (matches <= 0 && !Text().empty())
        entry_.get_style_context()->add_class("error");
    else
        entry_.get_style_context()->remove_class("error");
}

void TFindBar::Search(bool backwards) {
    if (Text().empty()) ShowMatches(0);
    if (OnFind) OnFind(Text(), backwards, matchCase_.get_active());
}

bool TFindBar::EntryKey(GdkEventKey* event) {
    bool handled = false;
    RunGuarded([&] {
        switch (event->keyval) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            Search((event->state & GDK_SHIFT_MASK) != 0);
            handled = true;
            break;
        case GDK_KEY_Escape:
            Close();
            handled = true;
            break;
        default: break;
        }
    });
    return handled;
}

} // namespace browser

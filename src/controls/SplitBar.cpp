#include "controls/SplitBar.h"

#include <gtkmm/cssprovider.h>

#include <algorithm>

namespace controls {

TSplitBar::TSplitBar() : Gtk::Paned(Gtk::ORIENTATION_HORIZONTAL) {
    // A raised bar between two lines, as wide as the form's splitter; the
    // paned gives its handle the resize cursor.
    auto css = Gtk::CssProvider::create();
    css->load_from_data(
        "paned > separator { min-width: 3px; background-color: @theme_bg_color;"
        " background-image: image(@borders), image(@borders); background-repeat: repeat-y;"
        " background-size: 1px 1px; background-position: left, right; }");
    get_style_context()->add_provider(css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    property_position().signal_changed().connect(sigc::mem_fun(*this, &TSplitBar::PositionChanged));
}

void TSplitBar::SetRightWidth(int width) {
    rightWidth_ = std::max(0, width);
    queue_resize();
}

void TSplitBar::on_size_allocate(Gtk::Allocation& allocation) {
    const int width = allocation.get_width();
    Gtk::Widget* left = get_child1();
    Gtk::Widget* right = get_child2();
    if (rightWidth_ > 0 && left && right && width > 1) {
        // Held to the limits the paned would hold it to, so that one layout
        // settles it.
        int leftMin = 0, rightMin = 0, natural = 0;
        left->get_preferred_width(leftMin, natural);
        right->get_preferred_width(rightMin, natural);
        const int wanted = std::clamp(width - handle_ - rightWidth_, leftMin, std::max(leftMin, width - handle_ - rightMin));
        // The paned gives what the bar grew by to the left side on top of
        // the position it was given; that share is taken off beforehand.
        const int grown = width_ > 1 ? width - width_ : 0;
        if (wanted != get_position() + grown) {
            ++placing_;
            set_position(std::max(0, wanted - grown));
            --placing_;
        }
    }
    Gtk::Paned::on_size_allocate(allocation);
    width_ = width;
    if (right && right->get_visible()) handle_ = std::max(0, width - get_position() - right->get_allocated_width());
}

void TSplitBar::PositionChanged() {
    if (placing_ > 0 || width_ <= 1) return;
    // Only a drag of the splitter (or the keys that move it) sets the
    // width; a narrowed window moves it while it lays itself out, outside
    // any event.
    GdkEvent* event = gtk_get_current_event();
    if (!event) return;
    const GdkEventType type = event->type;
    gdk_event_free(event);
    if (type != GDK_MOTION_NOTIFY && type != GDK_BUTTON_PRESS && type != GDK_BUTTON_RELEASE &&
        type != GDK_KEY_PRESS && type != GDK_TOUCH_UPDATE && type != GDK_TOUCH_END)
        return;
    int leftMin = 0, natural = 0;
    if (get_child1()) get_child1()->get_preferred_width(leftMin, natural);
    rightWidth_ = std::max(1, width_ - handle_ - std::max(get_position(), leftMin));
}

} // namespace controls

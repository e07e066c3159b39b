#include "controls/Control.h"

#include <gtk/gtk.h>
#include <gtkmm/fixed.h>

#include <algorithm>

namespace controls {

int ConstrainWidth(const TSizeConstraints& c, int width) {
    if (c.MaxWidth > 0) width = std::min(width, c.MaxWidth);
    if (c.MinWidth > 0) width = std::max(width, c.MinWidth);
    return width;
}

int ConstrainHeight(const TSizeConstraints& c, int height) {
    if (c.MaxHeight > 0) height = std::min(height, c.MaxHeight);
    if (c.MinHeight > 0) height = std::max(height, c.MinHeight);
    return height;
}

TControl::TControl(Gtk::Widget& self) : self_(self) {}

void TControl::SetAlign(TAlign align) {
    if (align == align_) return;
    align_ = align;
    // The parent places docked children; it has to hear of the new side.
    if (auto* parent = self_.get_parent()) parent->queue_resize();
}

void TControl::SetBiDiMode(TBiDiMode mode) {
    biDiMode_ = mode;
    self_.set_direction(mode == bdLeftToRight ? Gtk::TEXT_DIR_LTR : Gtk::TEXT_DIR_RTL);
}

void TControl::SetShowHint(bool show) {
    self_.set_has_tooltip(show);
    if (show && !hint_.empty()) self_.set_tooltip_text(hint_);
}

void TControl::SetHint(const std::string& hint) {
    hint_ = hint;
    // GTK shows a tooltip as soon as it has a text; the hint waits for
    // ShowHint like the forms expect.
    bool show = self_.get_has_tooltip();
    self_.set_tooltip_text(hint);
    self_.set_has_tooltip(show && !hint.empty());
}

void TControl::SetCursor(const std::string& name) {
    cursor_ = name;
    auto window = self_.get_window();
    if (!window || !self_.get_has_window()) return;
    if (name.empty()) {
        window->set_cursor();
    } else {
        window->set_cursor(Gdk::Cursor::create(self_.get_display(), name));
    }
}

std::string TControl::Action() const {
    auto* w = const_cast<GtkWidget*>(self_.gobj());
    if (!GTK_IS_ACTIONABLE(w)) return {};
    const char* name = gtk_actionable_get_action_name(GTK_ACTIONABLE(w));
    return name ? name : "";
}

void TControl::SetAction(const std::string& detailedName) {
    GtkWidget* w = self_.gobj();
    if (!GTK_IS_ACTIONABLE(w)) return;
    gtk_actionable_set_detailed_action_name(GTK_ACTIONABLE(w), detailedName.empty() ? nullptr : detailedName.c_str());
}

void TControl::SetBounds(int left, int top, int width, int height) {
    width = ConstrainWidth(constraints_, width);
    height = ConstrainHeight(constraints_, height);
    bool moved = left != left_ || top != top_;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    ApplySize();
    if (moved) {
        if (auto* fixed = dynamic_cast<Gtk::Fixed*>(self_.get_parent())) fixed->move(self_, left_, top_);
    }
}

void TControl::SetConstraints(const TSizeConstraints& c) {
    constraints_ = c;
    SetBounds(left_, top_, width_, height_);
}

void TControl::ApplySize() {
    // A zero size means "as large as the content asks".
    self_.set_size_request(width_ > 0 ? width_ : -1, height_ > 0 ? height_ : -1);
}

ControlSettings TControl::Settings() const {
    ControlSettings s;
    s.Action = Action();
    s.Align = align_;
    s.Anchors = anchors_;
    s.BiDiMode = biDiMode_;
    s.DockOrientation = dockOrientation_;
    s.Enabled = Enabled();
    s.ShowHint = ShowHint();
    s.Left = left_;
    s.Top = top_;
    s.Width = width_;
    s.Height = height_;
    s.Cursor = cursor_;
    s.Hint = hint_;
    s.UndockHeight = undockHeight_;
    s.UndockWidth = undockWidth_;
    s.Constraints = constraints_;
    return s;
}

void TControl::ApplySettings(const ControlSettings& s, int dx, int dy) {
    SetAction(s.Action);
    SetAlign(s.Align);
    SetAnchors(s.Anchors);
    SetBiDiMode(s.BiDiMode);
    SetDockOrientation(s.DockOrientation);
    SetEnabled(s.Enabled);
    SetShowHint(s.ShowHint);
    // Limits first, so that the size copied is not clamped by our own old ones.
    constraints_ = s.Constraints;
    SetBounds(s.Left + dx, s.Top + dy, s.Width, s.Height);
    SetCursor(s.Cursor);
    SetHint(s.Hint);
    SetUndockHeight(s.UndockHeight);
    SetUndockWidth(s.UndockWidth);
}

ControlSettings ReadControlSettings(const Gtk::Widget& widget) {
    if (auto* control = dynamic_cast<const TControl*>(&widget)) return control->Settings();
    ControlSettings s;
    auto& w = const_cast<Gtk::Widget&>(widget);
    GtkWidget* gw = w.gobj();
    if (GTK_IS_ACTIONABLE(gw)) {
        const char* name = gtk_actionable_get_action_name(GTK_ACTIONABLE(gw));
        if (name) s.Action = name;
    }
    s.BiDiMode = w.get_direction() == Gtk::TEXT_DIR_RTL ? bdRightToLeft : bdLeftToRight;
    s.Enabled = w.get_sensitive();
    s.ShowHint = w.get_has_tooltip();
    s.Hint = w.get_tooltip_text();
    auto alloc = w.get_allocation();
    if (auto* fixed = dynamic_cast<Gtk::Fixed*>(w.get_parent())) {
        s.Left = fixed->child_property_x(w);
        s.Top = fixed->child_property_y(w);
    } else if (alloc.get_width() > 1 || alloc.get_height() > 1) {
        s.Left = alloc.get_x();
        s.Top = alloc.get_y();
    }
    int rw = -1, rh = -1;
    w.get_size_request(rw, rh);
    s.Width = rw >= 0 ? rw : std::max(alloc.get_width(), 0);
    s.Height = rh >= 0 ? rh : std::max(alloc.get_height(), 0);
    s.UndockWidth = s.Width;
    s.UndockHeight = s.Height;
    return s;
}

} // namespace controls

#include "controls/SpeedRx.h"

#include <gtk/gtk.h>
#include <gtkmm/container.h>

#include <algorithm>

namespace controls {

// ---- TSpeedButton ----

TSpeedButton::TSpeedButton() : TControl(static_cast<Gtk::Widget&>(*this)) {
    set_focus_on_click(false);
    set_always_show_image(true);
    // The disabled image follows the sensitivity, whoever changes it.
    signal_state_flags_changed().connect([this](Gtk::StateFlags) { UpdateGlyph(); });
}

TSpeedButton::TSpeedButton(const std::string& caption) : TSpeedButton() { set_label(caption); }

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetAllowAllUp(bool v) {
    allowAllUp_ = v;
    if (groupIndex_ == 0) return;
    // The whole group shares the permission.
    if (auto* parent = dynamic_cast<Gtk::Container*>(get_parent())) {
        for (auto* child : parent->get_children()) {
            auto* b = dynamic_cast<TSpeedButton*>(child);
            if (b && b != this && b->groupIndex_ == groupIndex_) b->allowAllUp_ = v;
        }
    }
}

void TSpeedButton::SetGroupIndex(int v) {
    groupIndex_ = v;
    if (v == 0) SetDown(false);
}

void TSpeedButton::SetDown(bool v) {
    if (groupIndex_ == 0) v = false;
    if (v == down_) return;
    down_ = v;
    if (down_) {
        // One button of a group is down at a time.
        if (auto* parent = dynamic_cast<Gtk::Container*>(get_parent())) {
            for (auto* child : parent->get_children()) {
                auto* b = dynamic_cast<TSpeedButton*>(child);
                if (b && b != this && b->groupIndex_ == groupIndex_) b->SetDown(false);
            }
        }
        set_state_flags(Gtk::STATE_FLAG_CHECKED, false);
    } else {
        unset_state_flags(Gtk::STATE_FLAG_CHECKED);
    }
    UpdateGlyph();
}

void TSpeedButton::SetFlat(bool v) {
    flat_ = v;
    set_relief(v ? Gtk::RELIEF_NONE : Gtk::RELIEF_NORMAL);
}

void TSpeedButton::SetGlyph(const Glib::RefPtr<Gdk::Pixbuf>& glyph) {
    glyph_ = glyph;
    if (glyph_) {
        // Pictures holding several images side by side tell their count by
        // their shape: a width that is a multiple of the height.
        int w = glyph_->get_width(), h = glyph_->get_height();
        if (h > 0 && w % h == 0 && w / h >= 2 && w / h <= 4) numGlyphs_ = w / h;
        set_image(image_);
        image_.show();
    } else {
        image_.clear();
    }
    shownGlyph_ = -1;
    UpdateGlyph();
}

void TSpeedButton::SetNumGlyphs(int n) {
    numGlyphs_ = std::clamp(n, 1, 4);
    shownGlyph_ = -1;
    UpdateGlyph();
}

void TSpeedButton::SetLayout(TButtonLayout layout) {
    layout_ = layout;
    switch (layout) {
    case blGlyphLeft: set_image_position(Gtk::POS_LEFT); break;
    case blGlyphRight: set_image_position(Gtk::POS_RIGHT); break;
    case blGlyphTop: set_image_position(Gtk::POS_TOP); break;
    case blGlyphBottom: set_image_position(Gtk::POS_BOTTOM); break;
    }
    UpdateSpacing();
}

void TSpeedButton::SetMargin(int v) {
    margin_ = v;
    UpdateSpacing();
}

void TSpeedButton::SetSpacing(int v) {
    spacing_ = v;
    UpdateSpacing();
}

void TSpeedButton::UpdateSpacing() {
    // The gap goes on the glyph's side that faces the text, the margin on
    // the side that faces the button's edge.
    int gap = std::max(spacing_, 0);
    int margin = std::max(margin_, 0);
    image_.set_margin_start(0);
    image_.set_margin_end(0);
    image_.set_margin_top(0);
    image_.set_margin_bottom(0);
    switch (layout_) {
    case blGlyphLeft: image_.set_margin_end(gap); image_.set_margin_start(margin); break;
    case blGlyphRight: image_.set_margin_start(gap); image_.set_margin_end(margin); break;
    case blGlyphTop: image_.set_margin_bottom(gap); image_.set_margin_top(margin); break;
    case blGlyphBottom: image_.set_margin_top(gap); image_.set_margin_bottom(margin); break;
    }
}

int TSpeedButton::GlyphIndex() const {
    int index = 0;
    if (!get_sensitive() || !is_sensitive()) {
        index = 1;
    } else if (pressed_) {
        index = 2;
    } else if (down_) {
        index = 3;
    }
    return index < numGlyphs_ ? index : 0;
}

void TSpeedButton::UpdateGlyph() {
    if (!glyph_) return;
    int index = GlyphIndex();
    if (index == shownGlyph_) return;
    shownGlyph_ = index;
    int w = glyph_->get_width() / numGlyphs_;
    if (w <= 0) return;
    image_.set(Gdk::Pixbuf::create_subpixbuf(glyph_, index * w, 0, w, glyph_->get_height()));
}

void TSpeedButton::on_clicked() {
    if (groupIndex_ != 0) {
        if (!down_) {
            SetDown(true);
        } else if (allowAllUp_) {
            SetDown(false);
        }
    }
    Gtk::Button::on_clicked();
}

bool TSpeedButton::on_button_press_event(GdkEventButton* event) {
    if (event->button == 1 && event->type == GDK_BUTTON_PRESS) {
        pressed_ = true;
        UpdateGlyph();
    }
    return Gtk::Button::on_button_press_event(event);
}

bool TSpeedButton::on_button_release_event(GdkEventButton* event) {
    if (event->button == 1) {
        pressed_ = false;
        UpdateGlyph();
    }
    return Gtk::Button::on_button_release_event(event);
}

// ---- TSpeedRx ----

TSpeedRx::TSpeedRx() = default;

TSpeedRx::TSpeedRx(const std::string& caption) : TSpeedButton(caption) {}

void TSpeedRx::SetDragMode(TDragMode mode) {
    if (mode == dragMode_) return;
    dragMode_ = mode;
    if (mode == dmAutomatic) {
        // A private target: the button can be dragged, and nothing outside
        // the program takes it for data.
        std::vector<Gtk::TargetEntry> targets{Gtk::TargetEntry("application/x-qel-control", Gtk::TARGET_SAME_APP)};
        drag_source_set(targets, Gdk::BUTTON1_MASK, Gdk::ACTION_MOVE);
    } else {
        drag_source_unset();
    }
}

void TSpeedRx::MouseEntered() {
    if (dragMode_ != dmAutomatic && Enabled() && OnMseEnter) OnMseEnter(*this);
}

void TSpeedRx::MouseLeft() {
    if (Enabled() && !dragging_ && OnMseLeave) OnMseLeave(*this);
}

bool TSpeedRx::on_enter_notify_event(GdkEventCrossing* event) {
    bool handled = TSpeedButton::on_enter_notify_event(event);
    MouseEntered();
    return handled;
}

bool TSpeedRx::on_leave_notify_event(GdkEventCrossing* event) {
    bool handled = TSpeedButton::on_leave_notify_event(event);
    MouseLeft();
    return handled;
}

void TSpeedRx::on_drag_begin(const Glib::RefPtr<Gdk::DragContext>& context) {
    dragging_ = true;
    TSpeedButton::on_drag_begin(context);
}

void TSpeedRx::on_drag_end(const Glib::RefPtr<Gdk::DragContext>& context) {
    dragging_ = false;
    TSpeedButton::on_drag_end(context);
}

void TSpeedRx::AssignFrom(const Glib::ObjectBase* source) {
    if (!source || source == this) return;
    if (auto* rx = dynamic_cast<const TSpeedRx*>(source)) {
        OnMseEnter = rx->OnMseEnter;
        OnMseLeave = rx->OnMseLeave;
    }
    if (auto* sb = dynamic_cast<const TSpeedButton*>(source)) {
        SetAllowAllUp(sb->AllowAllUp());
        SetGroupIndex(sb->GroupIndex());
        SetFlat(sb->Flat());
        // A copy of the picture: a later change to the source's must not
        // show on this button.
        SetGlyph(sb->Glyph() ? sb->Glyph()->copy() : Glib::RefPtr<Gdk::Pixbuf>());
        SetNumGlyphs(sb->NumGlyphs());
        SetLayout(sb->Layout());
        SetMargin(sb->Margin());
        SetSpacing(sb->Spacing());
        SetTransparent(sb->Transparent());
        SetLayout(sb->Layout());
    }
    if (auto* widget = dynamic_cast<const Gtk::Widget*>(source)) {
        ApplySettings(ReadControlSettings(*widget), 5, 5);
    }
}

} // namespace controls

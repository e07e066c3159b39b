#include "controls/PanelSx.h"

#include <gtk/gtk.h>
#include <pangomm/layout.h>

#include <algorithm>
#include <set>
#include <vector>

namespace controls {

namespace {
// Controls whose parent is being painted for them right now.
std::set<const Gtk::Widget*>& Copying() {
    static std::set<const Gtk::Widget*> s;
    return s;
}

struct CopyGuard {
    const Gtk::Widget* w;
    explicit CopyGuard(const Gtk::Widget* w) : w(w) { Copying().insert(w); }
    ~CopyGuard() { Copying().erase(w); }
};

const Gdk::RGBA kHighlight("#ffffff");
const Gdk::RGBA kShadow("#a0a0a0");
const Gdk::RGBA kButtonFace("#f0f0f0");

void FillRect(const Cairo::RefPtr<Cairo::Context>& cr, const Gdk::RGBA& c, int x, int y, int w, int h) {
    if (w <= 0 || h <= 0) return;
    cr->set_source_rgba(c.get_red(), c.get_green(), c.get_blue(), c.get_alpha());
    cr->rectangle(x, y, w, h);
    cr->fill();
}

// A frame of the given width: top and left edges in one colour, bottom and
// right in the other; the rectangle shrinks by the width.
void Frame3D(const Cairo::RefPtr<Cairo::Context>& cr, platform::TRect& r, const Gdk::RGBA& topLeft,
             const Gdk::RGBA& bottomRight, int width) {
    for (int i = 0; i < width && r.Width() > 0 && r.Height() > 0; ++i) {
        FillRect(cr, topLeft, r.left, r.top, r.Width() - 1, 1);
        FillRect(cr, topLeft, r.left, r.top, 1, r.Height() - 1);
        FillRect(cr, bottomRight, r.left, r.bottom - 1, r.Width(), 1);
        FillRect(cr, bottomRight, r.right - 1, r.top, 1, r.Height());
        r.left += 1;
        r.top += 1;
        r.right -= 1;
        r.bottom -= 1;
    }
}

void Bevel(const Cairo::RefPtr<Cairo::Context>& cr, platform::TRect& r, TBevelCut cut, int width) {
    if (cut == bvNone) return;
    if (cut == bvLowered) {
        Frame3D(cr, r, kShadow, kHighlight, width);
    } else {
        Frame3D(cr, r, kHighlight, kShadow, width);
    }
}
} // namespace

bool IsCopyingParentOf(const Gtk::Widget& control) { return Copying().count(&control) != 0; }

void CopyParentBackground(Gtk::Widget& control, const Cairo::RefPtr<Cairo::Context>& canvas) {
    Gtk::Widget* parent = control.get_parent();
    if (!parent || IsCopyingParentOf(control)) return;
    int x = 0, y = 0;
    if (!control.translate_coordinates(*parent, 0, 0, x, y)) return;
    CopyGuard guard(&control);
    canvas->save();
    try {
        canvas->translate(-x, -y);
        canvas->rectangle(0, 0, parent->get_allocated_width(), parent->get_allocated_height());
        canvas->clip();
        // The parent paints itself (background first, then what it holds);
        // the guard keeps the control out of that picture.
        gtk_widget_draw(parent->gobj(), canvas->cobj());
    } catch (...) {
        canvas->restore();
        throw;
    }
    canvas->restore();
}

TPanelSx::TPanelSx() : TControl(static_cast<Gtk::Widget&>(*this)) {}

TPanelSx::~TPanelSx() = default;

void TPanelSx::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    // The caption strip follows the caption's size.
    Realign();
}

void TPanelSx::SetAlignment(TAlignment a) {
    if (a == alignment_) return;
    alignment_ = a;
    queue_draw();
}

void TPanelSx::SetBevelOuter(TBevelCut b) {
    if (b == bevelOuter_) return;
    bevelOuter_ = b;
    Realign();
}

void TPanelSx::SetBevelInner(TBevelCut b) {
    if (b == bevelInner_) return;
    bevelInner_ = b;
    Realign();
}

void TPanelSx::SetBevelWidth(int w) {
    w = std::max(w, 1);
    if (w == bevelWidth_) return;
    bevelWidth_ = w;
    Realign();
}

void TPanelSx::SetBorderWidth(int w) {
    w = std::max(w, 0);
    if (w == borderWidth_) return;
    borderWidth_ = w;
    Realign();
}

Gdk::RGBA TPanelSx::Color() const {
    if (color_) return *color_;
    Gdk::RGBA c;
    auto ctx = const_cast<TPanelSx*>(this)->get_style_context();
    if (ctx && ctx->lookup_color("theme_bg_color", c)) return c;
    return kButtonFace;
}

void TPanelSx::SetColor(const Gdk::RGBA& color) {
    color_ = color;
    queue_draw();
}

Pango::FontDescription TPanelSx::Font() const {
    if (font_) return *font_;
    return const_cast<TPanelSx*>(this)->get_pango_context()->get_font_description();
}

void TPanelSx::SetFont(const Pango::FontDescription& font) {
    font_ = font;
    Realign();
}

void TPanelSx::SetAutoSize(bool v) {
    autoSize_ = v;
    queue_resize();
}

void TPanelSx::SetLayout(TTextLayout layout) {
    if (layout == layout_) return;
    layout_ = layout;
    queue_draw();
}

void TPanelSx::SetMargin(int index, int16_t value) {
    if (index >= 0 && index <= 4) {
        if (margins_[index] == value) return;
        margins_[index] = value;
    }
    Realign();
}

void TPanelSx::SetTransParentIndexed(int index, bool value) {
    if (index == 0) {
        if (value == transParent_) return;
        transParent_ = value;
    }
    // GTK panels have no window of their own to recreate: a repaint shows
    // the new look.
    queue_draw();
}

platform::TRect TPanelSx::InnerRect() const {
    platform::TRect r{0, 0, get_allocated_width(), get_allocated_height()};
    int inset = borderWidth_;
    if (bevelOuter_ != bvNone) inset += bevelWidth_;
    if (bevelInner_ != bvNone) inset += bevelWidth_;
    r.left += inset;
    r.top += inset;
    r.right -= inset;
    r.bottom -= inset;
    return r;
}

CaptionExtent TPanelSx::MeasureCaption() const {
    auto layout = const_cast<TPanelSx*>(this)->create_pango_layout(caption_);
    layout->set_font_description(Font());
    layout->set_single_paragraph_mode(true);
    CaptionExtent e;
    layout->get_pixel_size(e.width, e.height);
    return e;
}

platform::TRect TPanelSx::ClientRect() const {
    return PanelClientRect(InnerRect(), margins_, caption_.empty(), [this] { return MeasureCaption(); });
}

void TPanelSx::SetChildAlign(Gtk::Widget& child, TAlign align) {
    if (auto* control = dynamic_cast<TControl*>(&child)) {
        control->SetAlign(align);
        return;
    }
    childAlign_[&child] = align;
    Realign();
}

TAlign TPanelSx::ChildAlign(const Gtk::Widget& child) const {
    if (auto* control = dynamic_cast<const TControl*>(&child)) return control->Align();
    auto it = childAlign_.find(&child);
    return it == childAlign_.end() ? alNone : it->second;
}

void TPanelSx::Realign() {
    queue_resize();
    queue_draw();
}

void TPanelSx::on_remove(Gtk::Widget* child) {
    childAlign_.erase(child);
    Gtk::Fixed::on_remove(child);
}

void TPanelSx::on_size_allocate(Gtk::Allocation& allocation) {
    Gtk::Fixed::on_size_allocate(allocation);
    AlignControls(allocation);
}

void TPanelSx::AlignControls(const Gtk::Allocation& allocation) {
    platform::TRect r = ClientRect();
    std::vector<Gtk::Widget*> children = get_children();
    auto wanted = [](Gtk::Widget* child, bool width) {
        if (auto* control = dynamic_cast<TControl*>(child)) {
            int v = width ? control->Width() : control->Height();
            if (v > 0) return v;
        }
        int minimum = 0, natural = 0;
        if (width) {
            child->get_preferred_width(minimum, natural);
        } else {
            child->get_preferred_height(minimum, natural);
        }
        return natural;
    };
    auto place = [&](Gtk::Widget* child, int x, int y, int w, int h) {
        Gtk::Allocation a(allocation.get_x() + x, allocation.get_y() + y, std::max(w, 1), std::max(h, 1));
        child->size_allocate(a);
    };
    // The docked children in the classic order: top, bottom, left, right,
    // then the one that fills what is left.
    for (TAlign side : {alTop, alBottom, alLeft, alRight, alClient}) {
        for (Gtk::Widget* child : children) {
            if (!child->get_visible() || ChildAlign(*child) != side) continue;
            switch (side) {
            case alTop: {
                int h = wanted(child, false);
                place(child, r.left, r.top, r.Width(), h);
                r.top += h;
                break;
            }
            case alBottom: {
                int h = wanted(child, false);
                place(child, r.left, r.bottom - h, r.Width(), h);
                r.bottom -= h;
                break;
            }
            case alLeft: {
                int w = wanted(child, true);
                place(child, r.left, r.top, w, r.Height());
                r.left += w;
                break;
            }
            case alRight: {
                int w = wanted(child, true);
                place(child, r.right - w, r.top, w, r.Height());
                r.right -= w;
                break;
            }
            default:
                place(child, r.left, r.top, r.Width(), r.Height());
                break;
            }
        }
    }
}

bool TPanelSx::on_draw(const Cairo::RefPtr<Cairo::Context>& cr) {
    // While our parent paints itself for us, we are not part of its image.
    if (IsCopyingParentOf(*this)) return false;
    Paint(cr);
    return Gtk::Fixed::on_draw(cr);
}

void TPanelSx::Paint(const Cairo::RefPtr<Cairo::Context>& cr) {
    struct CanvasScope {
        Cairo::RefPtr<Cairo::Context>& slot;
        ~CanvasScope() { slot.clear(); }
    } scope{canvas_};
    canvas_ = cr;
    platform::TRect r{0, 0, get_allocated_width(), get_allocated_height()};
    if (transParent_) CopyParentBackground(*this, cr);
    Bevel(cr, r, bevelOuter_, bevelWidth_);
    Gdk::RGBA color = Color();
    if (borderWidth_ > 0) {
        int b = borderWidth_;
        FillRect(cr, color, r.left, r.top, r.Width(), b);
        FillRect(cr, color, r.left, r.bottom - b, r.Width(), b);
        FillRect(cr, color, r.left, r.top, b, r.Height());
        FillRect(cr, color, r.right - b, r.top, b, r.Height());
        r.left += b;
        r.top += b;
        r.right -= b;
        r.bottom -= b;
    }
    Bevel(cr, r, bevelInner_, bevelWidth_);
    if (!transParent_) FillRect(cr, color, r.left, r.top, r.Width(), r.Height());
    if (!caption_.empty()) {
        r.left += 2;
        r.right -= 2;
        auto layout = create_pango_layout(caption_);
        layout->set_font_description(Font());
        layout->set_single_paragraph_mode(true);
        bool rtl = BiDiMode() != bdLeftToRight;
        if (rtl) layout->set_auto_dir(false);
        if (rtl) layout->get_context()->set_base_dir(Pango::DIRECTION_RTL);
        int tw = 0, th = 0;
        layout->get_pixel_size(tw, th);
        TAlignment align = alignment_;
        // Right-to-left reading mirrors the horizontal alignment, except for
        // the modes that keep it.
        if (BiDiMode() == bdRightToLeft) {
            if (align == taLeftJustify) {
                align = taRightJustify;
            } else if (align == taRightJustify) {
                align = taLeftJustify;
            }
        }
        int x = r.left;
        if (align == taRightJustify) x = r.right - tw;
        if (align == taCenter) x = r.left + (r.Width() - tw) / 2;
        int y = r.top;
        if (layout_ == tlCenter) y = r.top + (r.Height() - th) / 2;
        if (layout_ == tlBottom) y = r.bottom - th;
        cr->save();
        cr->rectangle(r.left, r.top, std::max(r.Width(), 0), std::max(r.Height(), 0));
        cr->clip();
        Gdk::RGBA fg = get_style_context()->get_color(get_state_flags());
        cr->set_source_rgba(fg.get_red(), fg.get_green(), fg.get_blue(), fg.get_alpha());
        cr->move_to(x, y);
        layout->show_in_cairo_context(cr);
        cr->restore();
    }
    if (OnPaint) OnPaint(*this, cr);
}

} // namespace controls

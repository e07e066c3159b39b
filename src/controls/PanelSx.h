#pragma once
// TPanelSx: a panel with bevels, a border and a caption that lays its
// children out inside fixed margins, can keep a caption strip on one side
// free of children, places its caption at the top, centre or bottom, can
// show its parent's image instead of a background of its own, and tells
// its owner after every paint.
#include "controls/Control.h"
#include "controls/PanelLayout.h"

#include <gdkmm/rgba.h>
#include <gtkmm/fixed.h>
#include <pangomm/fontdescription.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace controls {

enum TBevelCut { bvNone = 0, bvLowered, bvRaised, bvSpace };
enum TAlignment { taLeftJustify = 0, taRightJustify, taCenter };
enum TTextLayout { tlTop = 0, tlCenter, tlBottom };

class TPanelSx;
// Called at the end of every paint with the panel and the context it paints on.
using TPaintEvent = std::function<void(TPanelSx& sender, const Cairo::RefPtr<Cairo::Context>& canvas)>;

// Paints the control's parent into the context, shifted so that the parent's
// pixels land behind the control, clipped to the parent's area. Nothing
// happens for a control without a parent. The control itself (and what it
// holds) is left out of that picture.
void CopyParentBackground(Gtk::Widget& control, const Cairo::RefPtr<Cairo::Context>& canvas);
// True while CopyParentBackground is painting the control's parent.
bool IsCopyingParentOf(const Gtk::Widget& control);

class TPanelSx : public Gtk::Fixed, public TControl {
public:
    TPanelSx();
    ~TPanelSx() override;

    std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut b);
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut b);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int w);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int w);
    // The background; the theme's window colour until one is set.
    Gdk::RGBA Color() const;
    void SetColor(const Gdk::RGBA& color);
    // The caption's font; the widget's own until one is set.
    Pango::FontDescription Font() const;
    void SetFont(const Pango::FontDescription& font);
    bool DoubleBuffered() const { return doubleBuffered_; }
    void SetDoubleBuffered(bool v) { doubleBuffered_ = v; }
    bool UseDockManager() const { return useDockManager_; }
    void SetUseDockManager(bool v) { useDockManager_ = v; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);

    // Vertical place of the caption.
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout layout);

    int16_t MrgSide() const { return margins_[0]; }
    int16_t MrgLeft() const { return margins_[1]; }
    int16_t MrgTop() const { return margins_[2]; }
    int16_t MrgRight() const { return margins_[3]; }
    int16_t MrgBottom() const { return margins_[4]; }
    void SetMrgSide(int16_t v) { SetMargin(0, v); }
    void SetMrgLeft(int16_t v) { SetMargin(1, v); }
    void SetMrgTop(int16_t v) { SetMargin(2, v); }
    void SetMrgRight(int16_t v) { SetMargin(3, v); }
    void SetMrgBottom(int16_t v) { SetMargin(4, v); }
    // Index 0 to 4 as above; a new value is stored and the children laid
    // out again. An index of 5 or more stores nothing and only lays out and
    // repaints.
    virtual void SetMargin(int index, int16_t value);

    bool TransParent() const { return transParent_; }
    void SetTransParent(bool v) { SetTransParentIndexed(0, v); }
    // Index 0 is TransParent; any other index only repaints.
    virtual void SetTransParentIndexed(int index, bool value);

    TPaintEvent OnPaint;

    // The rectangle inside bevels and border, in the panel's coordinates.
    platform::TRect InnerRect() const;
    // The rectangle docked children are laid out in.
    platform::TRect ClientRect() const;
    // The caption measured in the panel's font.
    CaptionExtent MeasureCaption() const;

    // The docking side of a child that is not one of our controls.
    void SetChildAlign(Gtk::Widget& child, TAlign align);
    TAlign ChildAlign(const Gtk::Widget& child) const;

    // Draws the panel (not its children) as a paint does.
    void Paint(const Cairo::RefPtr<Cairo::Context>& cr);
    // The surface being painted on, while a paint runs; empty otherwise.
    Cairo::RefPtr<Cairo::Context> Canvas() const { return canvas_; }

protected:
    // Lays the children out again and repaints.
    virtual void Realign();
    void on_size_allocate(Gtk::Allocation& allocation) override;
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
    void on_remove(Gtk::Widget* child) override;

private:
    void AlignControls(const Gtk::Allocation& allocation);

    std::string caption_;
    TAlignment alignment_ = taCenter;
    TBevelCut bevelOuter_ = bvRaised;
    TBevelCut bevelInner_ = bvNone;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    std::optional<Gdk::RGBA> color_;
    std::optional<Pango::FontDescription> font_;
    bool doubleBuffered_ = false;
    bool useDockManager_ = true;
    bool autoSize_ = false;
    bool transParent_ = false;
    PanelMargins margins_{0, 0, 0, 0, 0};
    TTextLayout layout_ = tlTop;
    std::map<const Gtk::Widget*, TAlign> childAlign_;
    Cairo::RefPtr<Cairo::Context> canvas_;
};

} // namespace controls

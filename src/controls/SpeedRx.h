#pragma once
// TSpeedButton: a flat-capable button showing one of up to four glyph
// images side by side in one picture (normal, disabled, pressed, held down)
// beside its text; buttons of one group index inside the same parent stay
// down one at a time.
// TSpeedRx: a speed button that can dock in its parent and tells its owner
// when the mouse pointer enters and leaves it.
#include "controls/Control.h"

#include <gdkmm/pixbuf.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>

namespace controls {

// Where the glyph stands against the text.
enum TButtonLayout { blGlyphLeft = 0, blGlyphRight, blGlyphTop, blGlyphBottom };

class TSpeedButton : public Gtk::Button, public TControl {
public:
    TSpeedButton();
    explicit TSpeedButton(const std::string& caption);
    ~TSpeedButton() override;

    std::string Caption() const { return get_label(); }
    void SetCaption(const std::string& caption) { set_label(caption); }

    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool v);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int v);
    // Held down; only buttons with a group index can be.
    bool Down() const { return down_; }
    void SetDown(bool v);
    bool Flat() const { return flat_; }
    void SetFlat(bool v);
    // The picture holding NumGlyphs images side by side, each the
    // picture's width divided by NumGlyphs.
    Glib::RefPtr<Gdk::Pixbuf> Glyph() const { return glyph_; }
    void SetGlyph(const Glib::RefPtr<Gdk::Pixbuf>& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n);  // kept within 1..4
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);
    // Distance of the glyph from the button's edge; -1 centres glyph and text.
    int Margin() const { return margin_; }
    void SetMargin(int v);
    // Gap between glyph and text.
    int Spacing() const { return spacing_; }
    void SetSpacing(int v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v) { transparent_ = v; queue_draw(); }

    // The glyph image shown now: 0 normal, 1 disabled, 2 pressed, 3 down
    // (an image missing from the picture falls back to the normal one).
    int GlyphIndex() const;

protected:
    void on_clicked() override;
    bool on_button_press_event(GdkEventButton* event) override;
    bool on_button_release_event(GdkEventButton* event) override;

private:
    void UpdateGlyph();
    void UpdateSpacing();

    bool allowAllUp_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    bool flat_ = false;
    bool pressed_ = false;
    Glib::RefPtr<Gdk::Pixbuf> glyph_;
    int numGlyphs_ = 1;
    TButtonLayout layout_ = blGlyphLeft;
    int margin_ = -1;
    int spacing_ = 4;
    bool transparent_ = true;
    int shownGlyph_ = -1;
    Gtk::Image image_;
};

class TSpeedRx : public TSpeedButton {
public:
    TSpeedRx();
    explicit TSpeedRx(const std::string& caption);

    // Called after the button's own hover handling, only while the button
    // is enabled and a handler is set; the enter notice also waits while
    // the button drags automatically, the leave notice while it is dragged.
    TNotifyEvent OnMseEnter;
    TNotifyEvent OnMseLeave;

    TDragMode DragMode() const { return dragMode_; }
    void SetDragMode(TDragMode mode);
    bool Dragging() const { return dragging_; }

    // Copies from another object by what it is: a TSpeedRx's hover
    // handlers; a speed button's look and glyph (the picture copied); any
    // widget's control settings with the position moved 5 right and 5
    // down. Anything else changes nothing. Caption, colours, font and the
    // ordinary handlers stay ours.
    void AssignFrom(const Glib::ObjectBase* source);
    void AssignFrom(const Glib::ObjectBase& source) { AssignFrom(&source); }

    // The notices after the button's own handling; the crossing events
    // call them, and so may a test.
    void MouseEntered();
    void MouseLeft();

protected:
    bool on_enter_notify_event(GdkEventCrossing* event) override;
    bool on_leave_notify_event(GdkEventCrossing* event) override;
    void on_drag_begin(const Glib::RefPtr<Gdk::DragContext>& context) override;
    void on_drag_end(const Glib::RefPtr<Gdk::DragContext>& context) override;

private:
    TDragMode dragMode_ = dmManual;
    bool dragging_ = false;
};

} // namespace controls

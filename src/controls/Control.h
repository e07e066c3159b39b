#pragma once
// What our controls carry besides the GTK widget they are: docking side,
// anchors, reading direction, design bounds, hint, cursor and the size the
// control takes when undocked. GTK keeps none of these the way the forms
// need them, so every control of this folder mixes TControl in, and
// ReadControlSettings answers the same values for any other widget.
#include <gtkmm/widget.h>

#include <functional>
#include <string>

namespace controls {

// A notification: the control that raises it is the sender.
using TNotifyEvent = std::function<void(Gtk::Widget& sender)>;

// Docking side inside the parent.
enum TAlign { alNone = 0, alTop, alBottom, alLeft, alRight, alClient };

// Anchor bits: the edges that keep their distance to the parent's edges.
constexpr unsigned akLeft = 1;
constexpr unsigned akTop = 2;
constexpr unsigned akRight = 4;
constexpr unsigned akBottom = 8;

enum TBiDiMode { bdLeftToRight = 0, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
enum TDockOrientation { doNoOrient = 0, doHorizontal, doVertical };
enum TDragMode { dmManual = 0, dmAutomatic };

// Size limits; 0 means no limit.
struct TSizeConstraints {
    int MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
    bool operator==(const TSizeConstraints&) const = default;
};

// The settings a control hands to another when one is copied from it.
struct ControlSettings {
    std::string Action;  // the detailed action name ("win.back"), empty for none
    TAlign Align = alNone;
    unsigned Anchors = akLeft | akTop;
    TBiDiMode BiDiMode = bdLeftToRight;
    TDockOrientation DockOrientation = doNoOrient;
    bool Enabled = true;
    bool ShowHint = false;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    std::string Cursor;  // a cursor name of the display ("pointer"), empty for the default
    std::string Hint;
    int UndockHeight = 0, UndockWidth = 0;
    TSizeConstraints Constraints;
};

class TControl {
public:
    explicit TControl(Gtk::Widget& self);
    virtual ~TControl() = default;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    Gtk::Widget& Widget() { return self_; }
    const Gtk::Widget& Widget() const { return self_; }

    TAlign Align() const { return align_; }
    // A new side makes the parent lay its children out again.
    void SetAlign(TAlign align);
    unsigned Anchors() const { return anchors_; }
    void SetAnchors(unsigned anchors) { anchors_ = anchors; }
    TBiDiMode BiDiMode() const { return biDiMode_; }
    void SetBiDiMode(TBiDiMode mode);
    TDockOrientation DockOrientation() const { return dockOrientation_; }
    void SetDockOrientation(TDockOrientation o) { dockOrientation_ = o; }

    bool Enabled() const { return self_.get_sensitive(); }
    void SetEnabled(bool enabled) { self_.set_sensitive(enabled); }
    bool ShowHint() const { return self_.get_has_tooltip(); }
    void SetShowHint(bool show);
    std::string Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    std::string Cursor() const { return cursor_; }
    void SetCursor(const std::string& name);
    // The action the control runs, for widgets that can run one.
    std::string Action() const;
    void SetAction(const std::string& detailedName);

    // Design bounds. Left and Top move the control inside a Gtk::Fixed
    // parent (our panel is one); Width and Height become its size request.
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
    void SetTop(int top) { SetBounds(left_, top, width_, height_); }
    void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
    void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
    virtual void SetBounds(int left, int top, int width, int height);

    int UndockHeight() const { return undockHeight_; }
    int UndockWidth() const { return undockWidth_; }
    void SetUndockHeight(int h) { undockHeight_ = h; }
    void SetUndockWidth(int w) { undockWidth_ = w; }
    const TSizeConstraints& Constraints() const { return constraints_; }
    // Width and height are kept inside the limits from now on.
    void SetConstraints(const TSizeConstraints& c);

    ControlSettings Settings() const;
    // Takes the settings over, the position moved by dx, dy.
    void ApplySettings(const ControlSettings& s, int dx = 0, int dy = 0);

protected:
    // The size request that stands for Width and Height.
    void ApplySize();

private:
    Gtk::Widget& self_;
    TAlign align_ = alNone;
    unsigned anchors_ = akLeft | akTop;
    TBiDiMode biDiMode_ = bdLeftToRight;
    TDockOrientation dockOrientation_ = doNoOrient;
    std::string hint_;
    std::string cursor_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    int undockHeight_ = 0, undockWidth_ = 0;
    TSizeConstraints constraints_;
};

// The settings of any widget: a TControl's own, else what GTK knows of it
// (position inside a Gtk::Fixed parent or its allocation, its size request
// or allocated size, tooltip, sensitivity, action name).
ControlSettings ReadControlSettings(const Gtk::Widget& widget);

// The width and height kept inside the constraints (0 is no limit).
int ConstrainWidth(const TSizeConstraints& c, int width);
int ConstrainHeight(const TSizeConstraints& c, int height);

} // namespace controls

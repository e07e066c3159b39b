#pragma once
// TSplitBar: a bar of two sides with a splitter between them, where the
// right side keeps its width (the one it is given, or the one the splitter
// is dragged to) and the left side takes what the window adds or takes
// away. When the bar is too narrow, the right side gives way down to its
// smallest size, and gets its width back as soon as there is room again.
// The splitter is drawn 3 pixels wide, with the resize cursor over it.
#include <gtkmm/paned.h>

namespace controls {

class TSplitBar : public Gtk::Paned {
public:
    TSplitBar();

    // The width the right side keeps whenever there is room for it.
    int RightWidth() const { return rightWidth_; }
    void SetRightWidth(int width);

protected:
    void on_size_allocate(Gtk::Allocation& allocation) override;

private:
    void PositionChanged();

    int rightWidth_ = 0;
    int handle_ = 3;  // the splitter's width at the last layout
    int width_ = 0;   // the bar's width at the last layout
    int placing_ = 0;
};

} // namespace controls

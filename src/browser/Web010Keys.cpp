// TWeb010's everyday keys beside the form's own Ctrl+arrows (the table of
// keys lies with the actions), and what zoom, full screen and the address
// box's focus do (zoom also with Ctrl and the mouse wheel).
#include "browser/Web010.h"

#include "browser/AppErrors.h"
#include "browser/Web010Actions.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace browser {

using platform::TVariant;

namespace {

// The zoom steps, as in other browsers.
const double kZoomSteps[] = {0.3, 0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.2, 1.33, 1.5, 1.7, 2.0, 2.4, 3.0};

} // namespace

bool TWeb010::ShortcutKeyDown(guint key, GdkModifierType state) {
    const unsigned mods = state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_MOD1_MASK);
    if (mods == 0 && key == GDK_KEY_Escape) {
        // The find bar closes itself; elsewhere Esc stops what loads, and
        // the page still sees it.
        if (findBar_.HasFocusInside()) return false;
        if (ActionEnabled(tagStop)) SbAct(tagStop);
        return false;
    }
    const int tag = TagOfKey(key, mods);
    if (tag == 0) return false;
    if (ActionEnabled(tag)) SbAct(tag);
    return true;
}

void TWeb010::FocusAddress() {
    Gtk::Entry* entry = cbURL_.get_entry();
    entry->grab_focus();
    entry->select_region(0, -1);
}

void TWeb010::ToggleFullScreen() {
    if (fullScreen_)
        unfullscreen();
    else
        fullscreen();
}

void TWeb010::Zoom(int direction) {
    double level = wb01().ZoomLevel();
    double next = 1.0;
    if (direction > 0) {
        next = kZoomSteps[std::size(kZoomSteps) - 1];
        for (double step : kZoomSteps)
            if (step > level + 0.001) {
                next = step;
                break;
            }
    } else if (direction < 0) {
        next = kZoomSteps[0];
        for (double step : kZoomSteps)
            if (step < level - 0.001) next = step;
    }
    wb01().SetZoomLevel(next);
    ShowZoom();
}

void TWeb010::ShowZoom() {
    const long percent = std::lround(wb01().ZoomLevel() * 100);
    if (percent == 100) {
        zoomLabel_.hide();
        return;
    }
    zoomLabel_.set_text("Zoom " + std::to_string(percent) + "%");
    zoomLabel_.show();
}

bool TWeb010::PageScroll(GdkEventScroll* event) {
    if ((event->state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_MOD1_MASK)) != GDK_CONTROL_MASK) return false;
    RunGuarded([&] {
        switch (event->direction) {
        case GDK_SCROLL_UP: Zoom(+1); break;
        case GDK_SCROLL_DOWN: Zoom(-1); break;
        case GDK_SCROLL_SMOOTH:
            // A touchpad scrolls in fractions: one step per whole notch.
            scrolled_ += event->delta_y;
            while (scrolled_ <= -1) {
                Zoom(+1);
                scrolled_ += 1;
            }
            while (scrolled_ >= 1) {
                Zoom(-1);
                scrolled_ -= 1;
            }
            break;
        default: break;
        }
    });
    return true;
}

void TWeb010::wb01FindResult(TWebTab& tab, int matches) {
    if (&tab == current_) findBar_.ShowMatches(matches);
}

} // namespace browser

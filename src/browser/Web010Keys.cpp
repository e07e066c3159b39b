// TWeb010's everyday keys beside the form's own Ctrl+arrows: the address
// box, reloading, stopping, saving, printing, closing, full screen, find
// in page and zoom (also with Ctrl and the mouse wheel).
#include "browser/Web010.h"

#include "browser/AppErrors.h"

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
    const bool ctrl = mods == GDK_CONTROL_MASK;
    const bool ctrlShift = mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    const bool none = mods == 0;
    const bool shift = mods == GDK_SHIFT_MASK;
    const guint lower = gdk_keyval_to_lower(key);

    // Zoom keys: plus often needs Shift, so Shift does not matter here.
    if ((ctrl || ctrlShift) && (key == GDK_KEY_plus || key == GDK_KEY_equal || key == GDK_KEY_KP_Add)) {
        Zoom(+1);
        return true;
    }
    if ((ctrl || ctrlShift) && (key == GDK_KEY_minus || key == GDK_KEY_underscore || key == GDK_KEY_KP_Subtract)) {
        Zoom(-1);
        return true;
    }
    if (ctrl && (key == GDK_KEY_0 || key == GDK_KEY_KP_0 || key == GDK_KEY_KP_Insert)) {
        Zoom(0);
        return true;
    }

    if ((ctrl && lower == GDK_KEY_l) || (none && key == GDK_KEY_F6) || (mods == GDK_MOD1_MASK && lower == GDK_KEY_d)) {
        FocusAddress();
        return true;
    }
    if ((none && key == GDK_KEY_F5) || (ctrl && lower == GDK_KEY_r)) {
        SbAct(tagRefresh);
        return true;
    }
    if ((ctrlShift && lower == GDK_KEY_r) || ((shift || ctrl) && key == GDK_KEY_F5)) {
        wb01().Refresh2(TVariant(REFRESH_COMPLETELY));
        return true;
    }
    if (ctrl && lower == GDK_KEY_f) {
        findBar_.Open();
        return true;
    }
    if ((none || shift) && key == GDK_KEY_F3) {
        findBar_.FindAgain(shift);
        return true;
    }
    if (none && key == GDK_KEY_Escape) {
        // The find bar closes itself; elsewhere Esc stops what loads, and
        // the page still sees it.
        if (findBar_.HasFocusInside()) return false;
        if (ActionEnabled(tagStop)) SbAct(tagStop);
        return false;
    }
    if (ctrl && lower == GDK_KEY_s) {
        SbAct(tagSave);
        return true;
    }
    if (ctrl && lower == GDK_KEY_p) {
        SbAct(tagPrint);
        return true;
    }
    if (ctrl && lower == GDK_KEY_w) {
        CloseTab(CurrentTab());
        return true;
    }
    if (ctrl && lower == GDK_KEY_q) {
        SbAct(tagClose);
        return true;
    }
    if (ctrl && lower == GDK_KEY_t) {
        NewTab(fHome_, true, true);
        return true;
    }
    if (ctrlShift && lower == GDK_KEY_t) {
        ReopenClosedTab();
        return true;
    }
    const int n = TabCount();
    if ((ctrl && (key == GDK_KEY_Tab || key == GDK_KEY_Page_Down || key == GDK_KEY_KP_Page_Down)) ) {
        SelectTab((CurrentTab() + 1) % n);
        return true;
    }
    if ((ctrlShift && (key == GDK_KEY_ISO_Left_Tab || key == GDK_KEY_Tab)) ||
        (ctrl && (key == GDK_KEY_Page_Up || key == GDK_KEY_KP_Page_Up))) {
        SelectTab((CurrentTab() + n - 1) % n);
        return true;
    }
    if (ctrl && key >= GDK_KEY_1 && key <= GDK_KEY_9) {
        // 9 is the last tab, however many there are.
        SelectTab(key == GDK_KEY_9 ? n - 1 : std::min<int>(key - GDK_KEY_1, n - 1));
        return true;
    }
    if (ctrl && lower == GDK_KEY_d) {
        SbAct(tagBookmarkPage);
        return true;
    }
    if (ctrlShift && lower == GDK_KEY_o) {
        SbAct(tagShowBookmarks);
        return true;
    }
    if (ctrl && lower == GDK_KEY_h) {
        SbAct(tagShowHistory);
        return true;
    }
    if (ctrlShift && (key == GDK_KEY_Delete || key == GDK_KEY_KP_Delete)) {
        SbAct(tagClearHistory);
        return true;
    }
    if (none && key == GDK_KEY_F11) {
        ToggleFullScreen();
        return true;
    }
    return false;
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

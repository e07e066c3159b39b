#include "gtk/GtkScreen.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <climits>

namespace gtkservices {

namespace {
struct Desktop {
    int width = 0, height = 0;              // application pixels: what window positions use
    int deviceWidth = 0, deviceHeight = 0;  // the screen's own pixels
    double mmPerPixelX = 0, mmPerPixelY = 0;
};

// Monitor geometry comes in application pixels, the unit of window
// positions and sizes, so the desktop that placement clamps to is measured
// in it too; the scale factor gives the device's pixels for the screen size.
Desktop Measure() {
    Desktop d;
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return d;
    int n = gdk_display_get_n_monitors(display);
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    int dleft = INT_MAX, dtop = INT_MAX, dright = INT_MIN, dbottom = INT_MIN;
    for (int i = 0; i < n; ++i) {
        GdkMonitor* m = gdk_display_get_monitor(display, i);
        GdkRectangle g;
        gdk_monitor_get_geometry(m, &g);
        int scale = std::max(gdk_monitor_get_scale_factor(m), 1);
        left = std::min(left, g.x);
        top = std::min(top, g.y);
        right = std::max(right, g.x + g.width);
        bottom = std::max(bottom, g.y + g.height);
        dleft = std::min(dleft, g.x * scale);
        dtop = std::min(dtop, g.y * scale);
        dright = std::max(dright, (g.x + g.width) * scale);
        dbottom = std::max(dbottom, (g.y + g.height) * scale);
    }
    if (n > 0) {
        d.width = right - left;
        d.height = bottom - top;
        d.deviceWidth = dright - dleft;
        d.deviceHeight = dbottom - dtop;
    }
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    if (!primary && n > 0) primary = gdk_display_get_monitor(display, 0);
    if (primary) {
        GdkRectangle g;
        gdk_monitor_get_geometry(primary, &g);
        int scale = std::max(gdk_monitor_get_scale_factor(primary), 1);
        int wmm = gdk_monitor_get_width_mm(primary);
        int hmm = gdk_monitor_get_height_mm(primary);
        if (wmm > 0 && g.width > 0) d.mmPerPixelX = static_cast<double>(wmm) / (g.width * scale);
        if (hmm > 0 && g.height > 0) d.mmPerPixelY = static_cast<double>(hmm) / (g.height * scale);
    }
    return d;
}
} // namespace

int GtkScreen::DesktopWidth() const { return Measure().width; }
int GtkScreen::DesktopHeight() const { return Measure().height; }
int GtkScreen::ScreenWidth() const { return Measure().deviceWidth; }
int GtkScreen::ScreenHeight() const { return Measure().deviceHeight; }

double GtkScreen::WidthMM() const {
    Desktop d = Measure();
    return d.deviceWidth * d.mmPerPixelX;
}

double GtkScreen::HeightMM() const {
    Desktop d = Measure();
    return d.deviceHeight * d.mmPerPixelY;
}

int GtkScreen::BitsPerPixel() const {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen) return 24;
    GdkVisual* visual = gdk_screen_get_system_visual(screen);
    return visual ? gdk_visual_get_depth(visual) : 24;
}

bool GtkScreen::IsPaletteDevice() const { return BitsPerPixel() <= 8; }

} // namespace gtkservices

#include "gtk/GtkScreen.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <climits>

namespace gtkservices {

namespace {
struct Desktop {
    int width = 0, height = 0;     // device pixels
    double mmPerPixelX = 0, mmPerPixelY = 0;
};

// Monitor geometry comes in application pixels; the scale factor makes them
// the device's.
Desktop Measure() {
    Desktop d;
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return d;
    int n = gdk_display_get_n_monitors(display);
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (int i = 0; i < n; ++i) {
        GdkMonitor* m = gdk_display_get_monitor(display, i);
        GdkRectangle g;
        gdk_monitor_get_geometry(m, &g);
        int scale = std::max(gdk_monitor_get_scale_factor(m), 1);
        left = std::min(left, g.x * scale);
        top = std::min(top, g.y * scale);
        right = std::max(right, (g.x + g.width) * scale);
        bottom = std::max(bottom, (g.y + g.height) * scale);
    }
    if (n > 0) {
        d.width = right - left;
        d.height = bottom - top;
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
int GtkScreen::ScreenWidth() const { return Measure().width; }
int GtkScreen::ScreenHeight() const { return Measure().height; }

double GtkScreen::WidthMM() const {
    Desktop d = Measure();
    return d.width * d.mmPerPixelX;
}

double GtkScreen::HeightMM() const {
    Desktop d = Measure();
    return d.height * d.mmPerPixelY;
}

int GtkScreen::BitsPerPixel() const {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen) return 24;
    GdkVisual* visual = gdk_screen_get_system_visual(screen);
    return visual ? gdk_visual_get_depth(visual) : 24;
}

bool GtkScreen::IsPaletteDevice() const { return BitsPerPixel() <= 8; }

} // namespace gtkservices

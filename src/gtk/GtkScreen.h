#pragma once
// The screen service on GTK: the virtual desktop is the union of the
// monitors of the default display, in device pixels.
#include "platform/Screen.h"

namespace gtkservices {

class GtkScreen : public platform::IScreenService {
public:
    // Desktop and screen: the bounding box of all monitors.
    int DesktopWidth() const override;
    int DesktopHeight() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;
    // The desktop's size at the primary monitor's millimetres per pixel,
    // which is the one scale a device context knows; 0 when the monitor
    // does not tell its size.
    double WidthMM() const override;
    double HeightMM() const override;
    bool IsPaletteDevice() const override;
    int BitsPerPixel() const override;
};

} // namespace gtkservices

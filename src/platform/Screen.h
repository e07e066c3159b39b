#pragma once
// The screen service: the virtual desktop (all monitors together) and what
// the drawing code needs to know of the display. The GTK side installs the
// real one; until then, and in tests, a fixed fake answers.
#include <memory>

namespace platform {

class IScreenService {
public:
    virtual ~IScreenService() = default;
    // Size of the virtual desktop in pixels, its origin taken as 0, 0.
    virtual int DesktopWidth() const = 0;
    virtual int DesktopHeight() const = 0;
    // Width and height of the screen in pixels, and its physical size in
    // millimetres (0 when the display does not tell).
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    virtual double WidthMM() const = 0;
    virtual double HeightMM() const = 0;
    // True when the display draws through a palette (8 bits or fewer).
    virtual bool IsPaletteDevice() const = 0;
    virtual int BitsPerPixel() const = 0;
};

class FakeScreen : public IScreenService {
public:
    int width = 1280, height = 1024;
    int desktopWidth = 1280, desktopHeight = 1024;
    double widthMM = 338.0, heightMM = 270.0;
    bool paletteDevice = false;
    int bitsPerPixel = 24;

    int DesktopWidth() const override { return desktopWidth; }
    int DesktopHeight() const override { return desktopHeight; }
    int ScreenWidth() const override { return width; }
    int ScreenHeight() const override { return height; }
    double WidthMM() const override { return widthMM; }
    double HeightMM() const override { return heightMM; }
    bool IsPaletteDevice() const override { return paletteDevice; }
    int BitsPerPixel() const override { return bitsPerPixel; }
};

// Main thread only (checked): the reference stays valid until the service
// is replaced, which is done on the main thread too.
IScreenService& ScreenService();
std::shared_ptr<IScreenService> SetScreenService(std::shared_ptr<IScreenService> service);

} // namespace platform

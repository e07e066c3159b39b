#pragma once
// The window placement service: what the settings store needs of a form to
// save and restore where it stands on the desktop. The GTK main window
// implements it; tests use FakePlacementForm.
#include <string>

namespace platform {

struct TPoint {
    int x = 0;
    int y = 0;
    bool operator==(const TPoint&) const = default;
};

struct TRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const TRect&) const = default;
};

// The classic placement record (length 44).
struct WindowPlacement {
    unsigned length = 44;
    unsigned flags = 0;
    unsigned showCmd = 0;
    TPoint ptMinPosition;
    TPoint ptMaxPosition;
    TRect rcNormalPosition;
    bool operator==(const WindowPlacement&) const = default;
};

// Border styles and window states of a form.
enum BorderStyle { bsNone = 0, bsSingle = 1, bsSizeable = 2, bsDialog = 3, bsToolWindow = 4, bsSizeToolWin = 5 };
enum WindowState { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

class IPlacementForm {
public:
    virtual ~IPlacementForm() = default;
    virtual std::string Name() const = 0;         // the settings section
    virtual int BorderStyle() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int GetWindowState() const = 0;
    virtual void SetWindowState(int state) = 0;
    virtual WindowPlacement GetPlacement() const = 0;
    virtual void SetPlacement(const WindowPlacement& wp) = 0;
};

// A form that only remembers what it is told.
class FakePlacementForm : public IPlacementForm {
public:
    std::string name = "Form";
    int borderStyle = bsSizeable;
    int windowState = wsNormal;
    WindowPlacement placement;
    int setPlacementCalls = 0;

    std::string Name() const override { return name; }
    int BorderStyle() const override { return borderStyle; }
    int Width() const override { return placement.rcNormalPosition.Width(); }
    int Height() const override { return placement.rcNormalPosition.Height(); }
    int GetWindowState() const override { return windowState; }
    void SetWindowState(int state) override { windowState = state; }
    WindowPlacement GetPlacement() const override { return placement; }
    void SetPlacement(const WindowPlacement& wp) override {
        placement = wp;
        ++setPlacementCalls;
    }
};

} // namespace platform

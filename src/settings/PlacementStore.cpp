#include "settings/PlacementStore.h"

#include "platform/Screen.h"
#include "platform/Variant.h"
#include "settings/Environment.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsText.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace settings {

using platform::TVariant;

namespace {

// How much of a window stays on the desktop when it is pulled back.
constexpr int64_t kMargin = 5;

// Values from the file are any 32-bit numbers: the arithmetic runs in 64
// bits and the results are held to what a coordinate can be.
int Clamp32(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// A malformed number is reported and leaves the current value.
int ReadInt(const std::string& section, const char* key, int current) {
    return static_cast<int>(ReadValueOrDefault(IniList(), Env().IniFile, section, key, TVariant(current)).AsInteger());
}

// Pulls one axis of a rectangle back onto a desktop of the given extent.
// pullLowEdge: a start edge above the desktop moves down onto it (for the
// title bar); the horizontal axis leaves a partly hidden left edge alone.
void ClampAxis(int& low, int& high, int64_t extent, bool pullLowEdge) {
    int64_t lo = low, hi = high, size = hi - lo;
    if (hi < kMargin) {
        lo = kMargin - size;
        hi = kMargin;
    } else if (lo > extent - kMargin) {
        lo = extent - kMargin;
        hi = extent - kMargin + size;
    } else if (pullLowEdge && lo < kMargin) {
        lo = kMargin;
        hi = kMargin + size;
    }
    low = Clamp32(lo);
    high = Clamp32(hi);
}

} // namespace

void LoadPlacement(platform::IPlacementForm* form) {
    ReloadSettings();
    if (!form) return;

    platform::WindowPlacement wp = form->GetPlacement();
    const std::string section = form->Name();
    platform::TRect r = wp.rcNormalPosition;
    r.left = ReadInt(section, "Left", r.left);
    r.top = ReadInt(section, "Top", r.top);
    r.right = ReadInt(section, "Right", r.right);
    r.bottom = ReadInt(section, "Bottom", r.bottom);
    platform::TPoint minPos{ReadInt(section, "MinX", wp.ptMinPosition.x), ReadInt(section, "MinY", wp.ptMinPosition.y)};
    platform::TPoint maxPos{ReadInt(section, "MaxX", wp.ptMaxPosition.x), ReadInt(section, "MaxY", wp.ptMaxPosition.y)};
    int show = ReadInt(section, "Show", form->GetWindowState());

    const auto& screen = platform::ScreenService();
    ClampAxis(r.left, r.right, screen.DesktopWidth(), false);
    ClampAxis(r.top, r.bottom, screen.DesktopHeight(), true);

    int style = form->BorderStyle();
    if (style != platform::bsSizeable && style != platform::bsSizeToolWin) {
        // A fixed-size form keeps its own size at the saved position.
        r.right = Clamp32(int64_t(r.left) + form->Width());
        r.bottom = Clamp32(int64_t(r.top) + form->Height());
    }

    platform::WindowPlacement placed;
    placed.length = 44;
    placed.flags = 0;
    placed.showCmd = 0;  // hidden: the form is not shown yet
    placed.ptMinPosition = minPos;
    placed.ptMaxPosition = maxPos;
    placed.rcNormalPosition = r;
    form->SetPlacement(placed);

    // A state the form does not know comes back as a normal window.
    if (show != platform::wsMinimized && show != platform::wsMaximized) show = platform::wsNormal;
    form->SetWindowState(show);
}

void SavePlacement(platform::IPlacementForm& form, bool saveNow) {
    ReloadSettings();
    platform::WindowPlacement wp = form.GetPlacement();
    const std::string section = form.Name();
    auto* list = IniList();
    WriteValue(list, section, "Left", TVariant(wp.rcNormalPosition.left));
    WriteValue(list, section, "Top", TVariant(wp.rcNormalPosition.top));
    WriteValue(list, section, "Right", TVariant(wp.rcNormalPosition.right));
    WriteValue(list, section, "Bottom", TVariant(wp.rcNormalPosition.bottom));
    WriteValue(list, section, "MinX", TVariant(wp.ptMinPosition.x));
    WriteValue(list, section, "MinY", TVariant(wp.ptMinPosition.y));
    WriteValue(list, section, "MaxX", TVariant(wp.ptMaxPosition.x));
    WriteValue(list, section, "MaxY", TVariant(wp.ptMaxPosition.y));
    WriteValue(list, section, "Show", TVariant(form.GetWindowState()));
    if (saveNow) FlushSettings();
}

} // namespace settings

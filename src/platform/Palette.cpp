#include "platform/Palette.h"

#include <algorithm>
#include <cstdlib>

namespace platform {

HPALETTE CreatePalette(const TLogPalette& log) {
    auto p = std::make_shared<TLogPalette>(log);
    if (p->palPalEntry.size() > 256) p->palPalEntry.resize(256);
    return p;
}

HPALETTE CopyPalette(const HPALETTE& palette) {
    return palette ? CreatePalette(*palette) : nullptr;
}

int PaletteSize(const HPALETTE& palette) {
    return palette ? static_cast<int>(palette->palPalEntry.size()) : 0;
}

int GetNearestPaletteIndex(const HPALETTE& palette, TColor color) {
    if (!palette || palette->palPalEntry.empty()) return -1;
    int best = 0, bestDist = 1 << 30;
    const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    for (size_t i = 0; i < palette->palPalEntry.size(); ++i) {
        const auto& e = palette->palPalEntry[i];
        int d = std::abs(e.peRed - r) + std::abs(e.peGreen - g) + std::abs(e.peBlue - b);
        if (d < bestDist) {
            bestDist = d;
            best = static_cast<int>(i);
            if (d == 0) break;
        }
    }
    return best;
}

TColor PaletteColor(const HPALETTE& palette, int index) {
    if (!palette || index < 0 || index >= PaletteSize(palette)) return clBlack;
    const auto& e = palette->palPalEntry[static_cast<size_t>(index)];
    return RGB(e.peRed, e.peGreen, e.peBlue);
}

bool SamePalette(const HPALETTE& a, const HPALETTE& b) {
    if (a == b) return true;
    if (!a || !b) return false;
    return *a == *b;
}

} // namespace platform

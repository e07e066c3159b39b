#include "xpGif10/ColorLookup.h"

#include <cstdlib>

namespace xpGif10 {

TFastColorLookup::TFastColorLookup(const platform::HPALETTE& palette)
    : TColorLookup(platform::PaletteSize(palette)), inverse_(32768, -1) {
    entries_.reserve(size_t(colors_));
    for (int i = 0; i < colors_; ++i) {
        const auto& e = palette->palPalEntry[size_t(i)];
        entries_.push_back({e.peRed, e.peGreen, e.peBlue});
        int16_t& cell = inverse_[size_t(Cell(e.peRed, e.peGreen, e.peBlue))];
        if (cell < 0) cell = int16_t(i);
    }
}

int TFastColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    int16_t& cell = inverse_[size_t(Cell(red, green, blue))];
    if (cell < 0) {
        int best = 0, bestDist = 1 << 30;
        for (int i = 0; i < colors_; ++i) {
            const TRGB& e = entries_[size_t(i)];
            int d = std::abs(e.Red - red) + std::abs(e.Green - green) + std::abs(e.Blue - blue);
            if (d < bestDist) {
                bestDist = d;
                best = i;
                if (d == 0) break;
            }
        }
        cell = int16_t(best);
    }
    chosen = entries_[size_t(cell)];
    return cell;
}

int TNetscapeColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    int r = (red + 3) / 51, g = (green + 3) / 51, b = (blue + 3) / 51;
    chosen = {uint8_t(51 * r), uint8_t(51 * g), uint8_t(51 * b)};
    return 36 * r + 6 * g + b;
}

int TGrayScaleLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    int y = (77 * red + 150 * green + 29 * blue) >> 8;
    chosen = {uint8_t(y), uint8_t(y), uint8_t(y)};
    return y;
}

int TMonochromeLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    if (77 * red + 150 * green + 29 * blue < 32513) {
        chosen = {0, 0, 0};
        return 0;
    }
    chosen = {255, 255, 255};
    return 1;
}

} // namespace xpGif10

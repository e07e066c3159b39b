#pragma once
// Colour lookups: a colour in, the index of a palette entry and that entry's
// colour out. The reduction and the ditherers call them once per pixel, so
// each answers in a few operations.
#include "platform/Palette.h"

#include <cstdint>
#include <vector>

namespace xpGif10 {

struct TRGB {
    uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const TRGB&) const = default;
};

class TColorLookup {
public:
    explicit TColorLookup(int colors) : colors_(colors) {}
    virtual ~TColorLookup() = default;
    int Colors() const { return colors_; }
    // The index of the chosen entry; chosen receives its colour.
    virtual int Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) = 0;

protected:
    int colors_;
};

// Nearest colour of an arbitrary palette, remembered per cell of 5 bits per
// channel: a cell holds the entry that lies in it (the first in palette
// order) or, once asked, the entry nearest to the first colour asked there.
class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(const platform::HPALETTE& palette);
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) override;
    static int Cell(uint8_t red, uint8_t green, uint8_t blue) {
        return (blue >> 3) * 1024 + (green >> 3) * 32 + (red >> 3);
    }

private:
    std::vector<TRGB> entries_;
    std::vector<int16_t> inverse_;   // 32768 cells, -1 while empty
};

// The 216-colour web cube: each channel to one of six steps of 51.
class TNetscapeColorLookup : public TColorLookup {
public:
    TNetscapeColorLookup() : TColorLookup(216) {}
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) override;
};

class TGrayScaleLookup : public TColorLookup {
public:
    TGrayScaleLookup() : TColorLookup(256) {}
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) override;
};

class TMonochromeLookup : public TColorLookup {
public:
    TMonochromeLookup() : TColorLookup(2) {}
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) override;
};

} // namespace xpGif10

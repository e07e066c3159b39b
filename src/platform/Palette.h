#pragma once
// Operating-system palette values: a logical palette (version 0x300) of
// entries with flags, handed around as a shared handle. A null handle is "no
// palette". Colours are exchanged as 24-bit values with red in the low byte.
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;

inline uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c); }
inline uint8_t GetGValue(TColor c) { return static_cast<uint8_t>(c >> 8); }
inline uint8_t GetBValue(TColor c) { return static_cast<uint8_t>(c >> 16); }
inline TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
    return TColor(r) | TColor(g) << 8 | TColor(b) << 16;
}

// Entry flags of a logical palette.
constexpr uint8_t PC_RESERVED = 0x01;
constexpr uint8_t PC_EXPLICIT = 0x02;
constexpr uint8_t PC_NOCOLLAPSE = 0x04;

constexpr uint16_t PaletteVersion = 0x300;

struct TPaletteEntry {
    uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
    bool operator==(const TPaletteEntry&) const = default;
};

struct TLogPalette {
    uint16_t palVersion = PaletteVersion;
    std::vector<TPaletteEntry> palPalEntry;
    bool operator==(const TLogPalette&) const = default;
};

using HPALETTE = std::shared_ptr<const TLogPalette>;

// A palette handle of its own made from a logical palette; at most 256
// entries are taken, as the system did.
HPALETTE CreatePalette(const TLogPalette& log);
// A new handle with the same entries (none for none).
HPALETTE CopyPalette(const HPALETTE& palette);
// Entry count of a handle (0 for none).
int PaletteSize(const HPALETTE& palette);
// The entry whose colour is nearest (sum of absolute channel differences;
// the first of equals wins); -1 for an empty or missing palette.
int GetNearestPaletteIndex(const HPALETTE& palette, TColor color);
TColor PaletteColor(const HPALETTE& palette, int index);
// Two handles with the same entries, or both none.
bool SamePalette(const HPALETTE& a, const HPALETTE& b);

} // namespace platform

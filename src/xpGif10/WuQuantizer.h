#pragma once
// Colour quantization that minimises the squared error rather than following
// a tree: the colour cube is split box by box where the split removes the
// most variance (Wu's method, on the picture's cumulative moments at 5 bits
// per channel), and the box means are then refined by a few k-means passes
// over the picture's histogram at 6 bits per channel. Memory is fixed (a few
// megabytes of tables), whatever the picture's size.
#include "platform/Palette.h"
#include "xpGif10/ColorLookup.h"

#include <cstdint>
#include <vector>

namespace xpGif10 {

class TWuQuantizer {
public:
    // maxColors from 1 to 256; refinePasses k-means passes after the split.
    explicit TWuQuantizer(int maxColors, int refinePasses = 6);

    void AddColor(uint8_t red, uint8_t green, uint8_t blue);
    // Adds count pixels of a row stored blue, green, red (stride 3 bytes).
    void AddRowBGR(const uint8_t* row, int count);
    // The chosen colours: at most maxColors, fewer when the picture has
    // fewer distinct cells; none before any pixel is added.
    std::vector<TRGB> Colors();
    // The colours as a palette of exactly `size` entries (the last colour
    // repeated after them).
    platform::HPALETTE MakePalette(int size);

private:
    struct Cell {
        uint32_t Count = 0;
        uint64_t Red = 0, Green = 0, Blue = 0;
    };
    std::vector<TRGB> Split();
    void Refine(std::vector<TRGB>& colors);

    int maxColors_;
    int passes_;
    bool done_ = false;
    std::vector<TRGB> colors_;
    // 64 cells per channel, index (r >> 2) << 12 | (g >> 2) << 6 | (b >> 2).
    std::vector<Cell> cells_;
};

// Exact nearest palette entry by squared distance in RGB. Each of 32768
// boxes (5 bits per channel) keeps, once asked, the few entries that can be
// nearest to any colour inside it; a small cache of whole colours answers
// repeats without a search.
class TNearestColorLookup : public TColorLookup {
public:
    explicit TNearestColorLookup(const platform::HPALETTE& palette);
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) override;

private:
    struct Candidate {
        uint8_t Index;
        int32_t Least;   // the entry's least squared distance to the box
    };
    void FillBox(int box);

    std::vector<TRGB> entries_;
    std::vector<int32_t> boxStart_;   // per box, where its candidates start; -1 while not made
    std::vector<int32_t> boxCount_;
    std::vector<Candidate> candidates_;
    static constexpr int CacheSize = 1 << 14;
    std::vector<uint32_t> cacheKey_;   // colour + 1 (0 empty)
    std::vector<uint8_t> cacheIndex_;
};

} // namespace xpGif10

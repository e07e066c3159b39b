#pragma once
// Octree colour quantization. Every pixel descends the tree by one bit of
// each channel per level; whenever the tree holds more leaves than wanted,
// the most recently created node of the deepest reducible level absorbs its
// children. Memory therefore stays bounded by the colour count, not by the
// picture.
#include "platform/Palette.h"
#include "xpGif10/ColorLookup.h"

#include <array>
#include <cstdint>
#include <vector>

namespace xpGif10 {

struct TOctreeNode {
    uint64_t PixelCount = 0;
    uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
    bool Leaf = false;
    int32_t NextReducible = -1;     // next node of the same level's list
    std::array<int32_t, 8> Child;   // -1 for none
    TOctreeNode() { Child.fill(-1); }
};

class TColorQuantizer {
public:
    // maxColors at least 1; colorBits is the tree depth (8 here).
    explicit TColorQuantizer(int maxColors, int colorBits = 8);

    void AddColor(uint8_t red, uint8_t green, uint8_t blue);
    // Adds count pixels of a row stored blue, green, red (stride 3 bytes).
    void AddRowBGR(const uint8_t* row, int count);
    int LeafCount() const { return leafCount_; }
    int MaxColors() const { return maxColors_; }
    // The leaves' colours, depth first with children in index order.
    std::vector<TRGB> Colors() const;
    // The colours as a palette of exactly `size` entries (black after the
    // colours), every entry flagged as given.
    platform::HPALETTE MakePalette(int size, uint8_t flags = 0) const;
    // Nodes alive now (for checking that memory stays bounded).
    int NodeCount() const { return int(nodes_.size() - free_.size()); }

private:
    int NewNode(int level);
    void Reduce();
    void FreeNode(int index);
    void Collect(int node, std::vector<TRGB>& out) const;

    std::vector<TOctreeNode> nodes_;
    std::vector<int32_t> free_;
    int root_;
    int leafCount_ = 0;
    std::array<int32_t, 9> reducible_;
    int maxColors_;
    int colorBits_;
};

} // namespace xpGif10

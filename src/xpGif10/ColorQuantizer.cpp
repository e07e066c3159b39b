#include "xpGif10/ColorQuantizer.h"

#include <algorithm>

namespace xpGif10 {

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits)
    : maxColors_(std::max(1, maxColors)), colorBits_(std::clamp(colorBits, 1, 8)) {
    reducible_.fill(-1);
    nodes_.reserve(size_t(maxColors_) * 4 + 64);
    root_ = NewNode(0);
}

int TColorQuantizer::NewNode(int level) {
    int index;
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
        nodes_[size_t(index)] = TOctreeNode();
    } else {
        index = int(nodes_.size());
        nodes_.emplace_back();
    }
    TOctreeNode& n = nodes_[size_t(index)];
    if (level == colorBits_) {
        n.Leaf = true;
        ++leafCount_;
    } else {
        n.NextReducible = reducible_[size_t(level)];
        reducible_[size_t(level)] = index;
    }
    return index;
}

void TColorQuantizer::FreeNode(int index) { free_.push_back(index); }

void TColorQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue) {
    int node = root_;
    for (int level = 0; !nodes_[size_t(node)].Leaf; ++level) {
        const int shift = 7 - level;
        const int child = ((red >> shift) & 1) * 4 + ((green >> shift) & 1) * 2 + ((blue >> shift) & 1);
        int next = nodes_[size_t(node)].Child[size_t(child)];
        if (next < 0) {
            next = NewNode(level + 1);   // may move nodes_; index again below
            nodes_[size_t(node)].Child[size_t(child)] = next;
        }
        node = next;
    }
    TOctreeNode& leaf = nodes_[size_t(node)];
    ++leaf.PixelCount;
    leaf.RedSum += red;
    leaf.GreenSum += green;
    leaf.BlueSum += blue;
    while (leafCount_ > maxColors_) Reduce();
}

void TColorQuantizer::AddRowBGR(const uint8_t* row, int count) {
    for (int x = 0; x < count; ++x, row += 3) AddColor(row[2], row[1], row[0]);
}

void TColorQuantizer::Reduce() {
    int level = colorBits_ - 1;
    while (level > 0 && reducible_[size_t(level)] < 0) --level;
    const int index = reducible_[size_t(level)];
    if (index < 0) return;   // a lone root that is already a leaf
    TOctreeNode& n = nodes_[size_t(index)];
    reducible_[size_t(level)] = n.NextReducible;
    n.NextReducible = -1;
    int children = 0;
    for (int32_t& c : n.Child) {
        if (c < 0) continue;
        const TOctreeNode& child = nodes_[size_t(c)];
        n.PixelCount += child.PixelCount;
        n.RedSum += child.RedSum;
        n.GreenSum += child.GreenSum;
        n.BlueSum += child.BlueSum;
        FreeNode(c);
        c = -1;
        ++children;
    }
    n.Leaf = true;
    leafCount_ -= children - 1;
}

void TColorQuantizer::Collect(int node, std::vector<TRGB>& out) const {
    const TOctreeNode& n = nodes_[size_t(node)];
    if (n.Leaf) {
        if (n.PixelCount == 0) {
            out.push_back({0, 0, 0});
        } else {
            out.push_back({uint8_t(n.RedSum / n.PixelCount), uint8_t(n.GreenSum / n.PixelCount),
                           uint8_t(n.BlueSum / n.PixelCount)});
        }
        return;
    }
    for (int32_t c : n.Child)
        if (c >= 0) Collect(c, out);
}

std::vector<TRGB> TColorQuantizer::Colors() const {
    std::vector<TRGB> out;
    Collect(root_, out);
    return out;
}

platform::HPALETTE TColorQuantizer::MakePalette(int size, uint8_t flags) const {
    platform::TLogPalette log;
    for (const TRGB& c : Colors()) {
        if (int(log.palPalEntry.size()) >= size) break;
        log.palPalEntry.push_back({c.Red, c.Green, c.Blue, flags});
    }
    while (int(log.palPalEntry.size()) < size) log.palPalEntry.push_back({0, 0, 0, flags});
    return platform::CreatePalette(log);
}

} // namespace xpGif10

#pragma once
// Over the slots of a TOrderLabels: which placed slot of a slot range
// comes first in the list. Slots are kept in blocks of 64 (scanned
// directly); a binary tree over the blocks keeps each block range's
// earliest slot with its label.
#include "xoStr31/OrderLabels.h"

#include <cstdint>
#include <vector>

namespace xoStr31 {

class TEarliestTree {
public:
    struct TFound {
        uint64_t Label = TOrderLabels::Unplaced;
        uint32_t Slot = TOrderLabels::None;
    };
    // Answers whether a slot may count as found.
    using TAccept = bool (*)(void* context, uint32_t slot);

    explicit TEarliestTree(const TOrderLabels& labels) : FLabels(labels) {}
    // Starts over with slots 0 to slots - 1, none placed.
    void Reset(uint32_t slots);

    // The slot was placed, or its label changed.
    void Placed(uint32_t slot);
    void Relabeled(uint32_t slot);

    // Makes found the earliest of itself and the placed slots lo..hi
    // (inclusive) for which accept answers true (all when accept is null).
    void Earliest(uint32_t lo, uint32_t hi, TFound& found, TAccept accept = nullptr, void* context = nullptr) const;
    // Whether a placed slot of lo..hi comes before the given label.
    bool AnyBefore(uint32_t lo, uint32_t hi, uint64_t label) const;

    void Release();

private:
    static constexpr int Shift = 6;
    void ScanSlots(uint32_t lo, uint32_t hi, TFound& found, TAccept accept, void* context) const;
    void Descend(size_t node, TFound& found, TAccept accept, void* context) const;
    void Node(size_t node, TFound& found, TAccept accept, void* context) const;

    const TOrderLabels& FLabels;
    uint32_t FSlots = 0;
    size_t FLeaves = 1;                // a power of two, at least the block count
    std::vector<uint64_t> FKey;     // earliest label below each node
    std::vector<uint32_t> FSlot;    // and its slot
};

} // namespace xoStr31

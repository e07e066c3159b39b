#include "xoStr31/EarliestTree.h"

#include <algorithm>

namespace xoStr31 {

void TEarliestTree::Reset(uint32_t slots) {
    FSlots = slots;
    const size_t blocks = (size_t(slots) >> Shift) + 1;
    FLeaves = 1;
    while (FLeaves < blocks) FLeaves <<= 1;
    FKey.assign(2 * FLeaves, TOrderLabels::Unplaced);
    FSlot.assign(2 * FLeaves, TOrderLabels::None);
}

void TEarliestTree::Release() {
    std::vector<uint64_t>().swap(FKey);
    std::vector<uint32_t>().swap(FSlot);
}

void TEarliestTree::Placed(uint32_t slot) {
    const uint64_t key = FLabels.Labels()[slot];
    for (size_t node = FLeaves + (slot >> Shift); node && key < FKey[node]; node >>= 1) {
        FKey[node] = key;
        FSlot[node] = slot;
    }
}

// The order is kept, so a slot stays earliest wherever it was.
void TEarliestTree::Relabeled(uint32_t slot) {
    const uint64_t key = FLabels.Labels()[slot];
    for (size_t node = FLeaves + (slot >> Shift); node && FSlot[node] == slot; node >>= 1) FKey[node] = key;
}

void TEarliestTree::ScanSlots(uint32_t lo, uint32_t hi, TFound& found, TAccept accept, void* context) const {
    const uint64_t* labels = FLabels.Labels();
    for (uint32_t s = lo; s <= hi; ++s)
        if (labels[s] < found.Label && (!accept || accept(context, s))) {
            found.Label = labels[s];
            found.Slot = s;
        }
}

void TEarliestTree::Descend(size_t node, TFound& found, TAccept accept, void* context) const {
    if (FKey[node] >= found.Label) return;
    if (!accept || accept(context, FSlot[node])) {
        found.Label = FKey[node];
        found.Slot = FSlot[node];
        return;
    }
    if (node >= FLeaves) {
        const uint32_t lo = uint32_t((node - FLeaves) << Shift);
        if (lo < FSlots) ScanSlots(lo, std::min(lo + ((1u << Shift) - 1), FSlots - 1), found, accept, context);
        return;
    }
    Descend(2 * node, found, accept, context);
    Descend(2 * node + 1, found, accept, context);
}

void TEarliestTree::Node(size_t node, TFound& found, TAccept accept, void* context) const {
    if (!accept) {
        if (FKey[node] < found.Label) {
            found.Label = FKey[node];
            found.Slot = FSlot[node];
        }
        return;
    }
    Descend(node, found, accept, context);
}

void TEarliestTree::Earliest(uint32_t lo, uint32_t hi, TFound& found, TAccept accept, void* context) const {
    if (lo > hi) return;
    const size_t first = lo >> Shift, last = hi >> Shift;
    if (first == last) {
        ScanSlots(lo, hi, found, accept, context);
        return;
    }
    ScanSlots(lo, uint32_t(((first + 1) << Shift) - 1), found, accept, context);
    ScanSlots(uint32_t(last << Shift), hi, found, accept, context);
    for (size_t l = FLeaves + first + 1, r = FLeaves + last; l < r; l >>= 1, r >>= 1) {
        if (l & 1) Node(l++, found, accept, context);
        if (r & 1) Node(--r, found, accept, context);
    }
}

bool TEarliestTree::AnyBefore(uint32_t lo, uint32_t hi, uint64_t label) const {
    TFound found;
    found.Label = label;
    Earliest(lo, hi, found);
    return found.Slot != TOrderLabels::None;
}

} // namespace xoStr31

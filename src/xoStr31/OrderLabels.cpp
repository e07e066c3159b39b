#include "xoStr31/OrderLabels.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace xoStr31 {

namespace {

using Wide = unsigned __int128;

// Room kept after the last and before the first slot: appends and
// prepends go one step out instead of halving what is left.
constexpr uint64_t EndStep = uint64_t(1) << 32;

} // namespace

void TOrderLabels::Reset(uint32_t slots) {
    // A range of 2^i labels may hold T^i slots, T as small as still lets
    // the whole range take every slot: sparse ranges spread seldom.
    const double t = std::pow(2.0 * (double(slots) + 2), 1.0 / 62);
    for (int i = 0; i <= 64; ++i) FCapacity[size_t(i)] = static_cast<uint64_t>(std::floor(std::pow(t, i)));
    FLabel.assign(slots, Unplaced);
    FNext.assign(slots, None);
    FPrev.assign(slots, None);
    FHead = FTail = None;
}

void TOrderLabels::ReleaseLabels() {
    std::vector<uint64_t>().swap(FLabel);
    std::vector<uint32_t>().swap(FPrev);
}

void TOrderLabels::InsertBefore(uint32_t slot, uint32_t t) { InsertAfter(slot, t == None ? FTail : FPrev[t]); }

// Labels lie strictly between 0 (before the first) and Unplaced (after
// the last).
void TOrderLabels::InsertAfter(uint32_t slot, uint32_t a) {
    const uint32_t b = a == None ? FHead : FNext[a];
    uint64_t lo = a == None ? 0 : FLabel[a];
    uint64_t hi = b == None ? Unplaced : FLabel[b];
    if (hi - lo < 2) {
        Spread(a, b);
        lo = a == None ? 0 : FLabel[a];
        hi = b == None ? Unplaced : FLabel[b];
    }
    const uint64_t half = (hi - lo) / 2;
    uint64_t label;
    if (a == None && b == None)
        label = uint64_t(1) << 63;
    else if (a == None)
        label = hi - std::min(half, EndStep);
    else if (b == None)
        label = lo + std::min(half, EndStep);
    else
        label = lo + half;
    FLabel[slot] = label;
    FPrev[slot] = a;
    FNext[slot] = b;
    (a == None ? FHead : FNext[a]) = slot;
    (b == None ? FTail : FPrev[b]) = slot;
}

// Gives the slots around the gap between a and b (either may be None, at
// the ends) new, evenly spaced labels in the smallest aligned range that
// takes them with room to spare, so that the gap is at least 4 wide.
void TOrderLabels::Spread(uint32_t a, uint32_t b) {
    const uint64_t at = a == None ? 0 : FLabel[a];
    uint32_t left = a;                 // leftmost slot in the range, or None
    uint32_t right = b;                // first slot right of the range, or None
    uint64_t count = a == None ? 0 : 1;
    for (int i = 1; i <= 64; ++i) {
        const uint64_t base = i == 64 ? 0 : (at >> i) << i;
        const Wide end = Wide(base) + (Wide(1) << i);  // exclusive
        while (left != None && FPrev[left] != None && FLabel[FPrev[left]] >= base) {
            left = FPrev[left];
            ++count;
        }
        while (right != None && Wide(FLabel[right]) < end) {
            right = FNext[right];
            ++count;
        }
        const Wide step = (Wide(1) << i) / (count + 1);
        if (count + 1 > FCapacity[size_t(i)] || step < 4) continue;
        // count slots and the gap after a take count + 1 places.
        Wide place = a == None ? 1 : 0;  // with a None the gap comes first
        for (uint32_t s = left != None ? left : FHead; s != right; s = FNext[s]) {
            FLabel[s] = static_cast<uint64_t>(Wide(base) + place * step + step / 2);
            if (OnRelabel) OnRelabel(s);
            place += s == a ? 2 : 1;
        }
        return;
    }
    throw std::length_error("order labels exhausted");
}

} // namespace xoStr31

#pragma once
// A list of slots in an order that only grows by insertions, where any two
// placed slots compare in O(1) by their 64-bit labels. A slot goes in
// half way between its neighbours; when they lie next to each other, the
// smallest aligned label range around them that is sparse enough is
// spread out evenly (a range of 2^i labels may hold T^i slots, for some
// 1 < T < 2), which costs O(log n) label changes per insertion, amortized.
// Labels only ever change together with their order kept.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace xoStr31 {

class TOrderLabels {
public:
    static constexpr uint32_t None = UINT32_MAX;
    static constexpr uint64_t Unplaced = UINT64_MAX;

    // Starts over with slots 0 to slots - 1, none placed.
    void Reset(uint32_t slots);

    bool Empty() const { return FHead == None; }
    const uint64_t* Labels() const { return FLabel.data(); }
    uint32_t First() const { return FHead; }
    uint32_t Next(uint32_t slot) const { return FNext[slot]; }

    // Places slot right before placed slot t, or last when t is None.
    void InsertBefore(uint32_t slot, uint32_t t);
    // Frees all but what First and Next need.
    void ReleaseLabels();

    // Told of every placed slot whose label changed.
    std::function<void(uint32_t)> OnRelabel;

private:
    void InsertAfter(uint32_t slot, uint32_t a);
    void Spread(uint32_t a, uint32_t b);

    std::array<uint64_t, 65> FCapacity{};  // slots a range of 2^i labels may hold
    std::vector<uint64_t> FLabel;
    std::vector<uint32_t> FNext;
    std::vector<uint32_t> FPrev;
    uint32_t FHead = None;
    uint32_t FTail = None;
};

} // namespace xoStr31

#pragma once
// The common prefix lengths of neighbours in a sorted text order, and the
// nearest place at or before a given one where that length drops below a
// depth: the edge of the group of texts that agree on that many bytes.
// Minimums over blocks of 64 (and blocks of those) keep each look-up to a
// few short scans. Lengths are kept in 16 bits, Saturated standing for
// itself and more, so depths up to Saturated are answered exactly.
#include <cstdint>
#include <vector>

namespace xoStr31 {

class TPrefixSteps {
public:
    static constexpr uint32_t Saturated = UINT16_MAX;

    // lcp[i]: bytes text i - 1 and text i have in common (0 for i = 0),
    // at most Saturated.
    void Build(std::vector<uint16_t> lcp);

    uint32_t Lcp(uint32_t i) const { return FLevels[0][i]; }
    // The largest k <= at with Lcp(k) < depth, or -1 when there is none;
    // depth at most Saturated.
    int64_t LastBelow(uint32_t at, uint32_t depth) const;
    void Release();

private:
    static constexpr int Shift = 6;
    std::vector<std::vector<uint16_t>> FLevels;  // [0] the lengths, then block minimums
};

} // namespace xoStr31

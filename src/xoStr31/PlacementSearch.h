#pragma once
// Places the non-empty texts of a list one by one as the sort walk does:
// each goes right before the first placed text it compares below (with
// CompareEntries), or last. The walk finds that text by a linear scan;
// here it is found without looking at the others one by one.
//
// All texts are ranked once by their folded bytes (upper letters as lower
// ones). A placed text t stops the walk for s when s compares below t.
// Seen from s, those t are: every text ranked above s, and among the
// texts ranked below s only those where s's first folded byte that is
// above t's forms one of the pairs of SortBytes.h with t's byte:
//   - a raw-smaller pair: s compares below t right there;
//   - a going-on pair: the walk reads on, so t stops it when the rest of
//     t stops the rest of s, by the same rules one byte further in.
// The texts ranked below s that part from it at one byte form one rank
// range, so the texts that stop s are a few rank ranges, and the list
// order gives which of them comes first: order labels for the placed
// texts, and a tree that keeps the earliest placed text of each rank
// range. Only where a going-on pair meets a lower letter (0x81 to 0x9A
// against "a" to "z", whose fold also holds "A" to "Z") is each candidate
// compared in full.
#include "xoStr31/EarliestTree.h"
#include "xoStr31/OrderLabels.h"
#include "xoStr31/PrefixSteps.h"
#include "xoStr31/SortTexts.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace xoStr31 {

class TPlacementSearch {
public:
    // Takes the texts; their table of ends goes once they are ranked.
    explicit TPlacementSearch(TSortTexts texts);

    // Places the entry's text (an empty one is left out); entries go in
    // ascending order.
    void Place(uint32_t entry);

    // Ends the search: frees what only searching needs.
    void Finish();
    // An entry's text, until TakeOrder.
    std::string_view TextOf(uint32_t entry) const;
    // Answers the place of each placed entry among them (-1 for the
    // others); the texts and the rest are freed first.
    std::vector<int32_t> TakeOrder();

private:
    struct TBranch {
        uint32_t Lo, Hi, Depth;
        bool Check;
    };
    // The text of a rank, ended by a zero byte.
    const char* Ranked(uint32_t rank) const {
        return FTexts.At(FStartAt32.empty() ? FStartAt64[rank] : FStartAt32[rank]);
    }
    void Rank();
    void Search(uint32_t rank);
    void Groups(uint32_t lo, uint32_t hi, uint32_t agree, uint32_t from, bool check);
    void Group(uint32_t lo, uint32_t hi, uint32_t depth, bool check);
    void Branch(const TBranch& b);
    bool ByteRange(uint32_t& lo, uint32_t& hi, uint32_t depth, unsigned first, unsigned last) const;
    void Earliest(uint32_t lo, uint32_t hi, bool check);
    static bool StopsWalk(void* self, uint32_t rank);

    TSortTexts FTexts;
    uint32_t FCount = 0;                  // non-empty texts: the ranks
    std::vector<uint32_t> FStartAt32;     // where each rank's text starts (below 4 GiB)
    std::vector<uint64_t> FStartAt64;     // the same for larger texts
    std::vector<uint32_t> FRankOf;        // rank of each entry, None for empty texts
    std::array<uint32_t, 257> FFirstAt{}; // first rank whose text begins with each folded byte or a higher one
    TPrefixSteps FSteps;
    TOrderLabels FLabels;                 // by rank
    TEarliestTree FTree;
    std::array<bool, 256> FPaired{};      // bytes of s that may form a pair with a byte found in the texts

    // The current search.
    const char* FText = nullptr;
    uint32_t FLength = 0;
    TEarliestTree::TFound FFound;
    std::vector<uint32_t> FPairs;         // positions of s whose byte may pair
    std::vector<TBranch> FBranches;
};

} // namespace xoStr31

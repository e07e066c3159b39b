#include "xoStr31/PlacementSearch.h"

#include "xoStr31/SortBytes.h"
#include "xoStr31/SortOrder.h"

#include <algorithm>
#include <cstring>

namespace xoStr31 {

namespace {

using SortBytes::Folded;

// Texts here end at a zero byte, which folds to 0 and no other byte does:
// a shorter text sorts first by itself.

// a against b on their folded bytes from byte `from` on (both at least
// that long): below 0, 0 or above 0.
int CompareFolded(const char* a, const char* b, size_t from) {
    for (size_t i = from;; ++i) {
        const int x = Folded[uint8_t(a[i])], y = Folded[uint8_t(b[i])];
        if (x != y) return x - y;
        if (x == 0) return 0;
    }
}

// How many bytes a and b have in common, from `from` on.
uint32_t FoldedLcp(const char* a, const char* b, size_t from) {
    size_t i = from;
    while (a[i] && Folded[uint8_t(a[i])] == Folded[uint8_t(b[i])]) ++i;
    return static_cast<uint32_t>(i);
}

} // namespace

TPlacementSearch::TPlacementSearch(TSortTexts texts) : FTexts(std::move(texts)), FTree(FLabels) {
    std::array<bool, 256> present{};
    for (size_t i = 0; i < FTexts.Size(); ++i) present[Folded[uint8_t(*FTexts.At(i))]] = true;
    present[0] = false;
    Rank();
    FLabels.Reset(FCount);
    FTree.Reset(FCount);
    for (unsigned x = 0; x < 256; ++x) {
        const SortBytes::TByteRun run = SortBytes::RawSmallerRuns[x];
        for (unsigned y = run.First; y <= run.Last; ++y) FPaired[x] = FPaired[x] || present[y];
        const int on = SortBytes::GoesOnWith(x);
        if (on > 0 && present[size_t(on)]) FPaired[x] = true;
    }
    FLabels.OnRelabel = [this](uint32_t rank) { FTree.Relabeled(rank); };
}

// Ranks the non-empty texts by folded bytes, then entry. The first eight
// folded bytes, packed into one number, settle most comparisons without
// reading the texts again.
void TPlacementSearch::Rank() {
    struct TKeyed {  // 12 bytes: the sort's own room stays small
        uint32_t High, Low;
        uint32_t Entry;
        uint64_t Key() const { return uint64_t(High) << 32 | Low; }
    };
    const size_t n = FTexts.Count();
    std::vector<TKeyed> keyed;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass) keyed.reserve(FCount);
        for (size_t i = 0; i < n; ++i) {
            const char* t = FTexts.At(FTexts.Start(i));
            if (!*t) continue;
            if (!pass) {
                ++FCount;
                continue;
            }
            uint64_t key = 0;
            for (size_t k = 0, ended = 0; k < 8; ++k) {
                ended = ended || !t[k];
                key = (key << 8) | (ended ? 0 : Folded[uint8_t(t[k])]);
            }
            keyed.push_back(TKeyed{uint32_t(key >> 32), uint32_t(key), static_cast<uint32_t>(i)});
        }
    }
    std::sort(keyed.begin(), keyed.end(), [&](const TKeyed& a, const TKeyed& b) {
        if (a.Key() != b.Key()) return a.Key() < b.Key();
        const std::string_view x = FTexts.Text(a.Entry), y = FTexts.Text(b.Entry);
        const int c = x.size() < 8 || y.size() < 8 ? int(x.size()) - int(y.size()) : CompareFolded(x.data(), y.data(), 8);
        return c < 0 || (c == 0 && a.Entry < b.Entry);
    });

    FRankOf.assign(n, TOrderLabels::None);
    const bool wide = FTexts.Size() > UINT32_MAX;
    (wide ? FStartAt64.resize(FCount) : FStartAt32.resize(FCount));
    for (uint32_t r = 0; r < FCount; ++r) {
        const size_t start = FTexts.Start(keyed[r].Entry);
        wide ? void(FStartAt64[r] = start) : void(FStartAt32[r] = static_cast<uint32_t>(start));
        FRankOf[keyed[r].Entry] = r;
    }
    std::vector<TKeyed>().swap(keyed);
    FTexts.ReleaseTable();

    std::vector<uint16_t> lcp(FCount, 0);
    for (uint32_t r = 1; r < FCount; ++r)
        lcp[r] = uint16_t(std::min(FoldedLcp(Ranked(r - 1), Ranked(r), 0), TPrefixSteps::Saturated));
    FSteps.Build(std::move(lcp));
    uint32_t r = 0;
    for (unsigned b = 0; b < 256; ++b) {
        while (r < FCount && Folded[uint8_t(Ranked(r)[0])] < b) ++r;
        FFirstAt[b] = r;
    }
    FFirstAt[256] = FCount;
}

void TPlacementSearch::Place(uint32_t entry) {
    const uint32_t rank = FRankOf[entry];
    if (rank == TOrderLabels::None) return;
    FText = Ranked(rank);
    FLength = static_cast<uint32_t>(std::strlen(FText));
    FFound = TEarliestTree::TFound{};
    if (!FLabels.Empty()) Search(rank);
    FLabels.InsertBefore(rank, FFound.Slot);
    FTree.Placed(rank);
}

void TPlacementSearch::Finish() {
    FTree.Release();
    FSteps.Release();
    FLabels.ReleaseLabels();
}

std::string_view TPlacementSearch::TextOf(uint32_t entry) const {
    return FRankOf[entry] == TOrderLabels::None ? std::string_view() : std::string_view(Ranked(FRankOf[entry]));
}

std::vector<int32_t> TPlacementSearch::TakeOrder() {
    Finish();
    FTexts = TSortTexts();
    std::vector<uint32_t>().swap(FStartAt32);
    std::vector<uint64_t>().swap(FStartAt64);
    // The place of each rank, then of each entry (in the ranks' room).
    std::vector<int32_t> place(FCount);
    int32_t k = 0;
    for (uint32_t r = FLabels.First(); r != TOrderLabels::None; r = FLabels.Next(r)) place[r] = k++;
    FLabels = TOrderLabels();
    std::vector<int32_t> order(FRankOf.size());
    for (size_t e = 0; e < order.size(); ++e) order[e] = FRankOf[e] == TOrderLabels::None ? -1 : place[FRankOf[e]];
    return order;
}

void TPlacementSearch::Search(uint32_t rank) {
    // Every text ranked above s stops the walk (texts ranked above it
    // that fold alike are later entries, not placed yet).
    if (rank + 1 < FCount) FTree.Earliest(rank + 1, FCount - 1, FFound);
    FPairs.clear();
    for (uint32_t i = 0; i < FLength; ++i)
        if (FPaired[uint8_t(FText[i])]) FPairs.push_back(i);
    if (FPairs.empty() || rank == 0) return;
    uint32_t agree = FSteps.Lcp(rank);
    if (agree == TPrefixSteps::Saturated) agree = FoldedLcp(Ranked(rank - 1), FText, 0);
    Groups(0, rank - 1, agree, 0, false);
    while (!FBranches.empty()) {
        const TBranch b = FBranches.back();
        FBranches.pop_back();
        Branch(b);
    }
}

// Ranks lo..hi lie below s, agree with it on at least `from` folded bytes,
// and the one at hi on `agree`. Those that part from s at a byte where s
// may form a pair make one group each; going down from hi, the common
// length only drops, so the groups are found from the deepest pair
// position up, skipping the depths where s has none.
void TPlacementSearch::Groups(uint32_t lo, uint32_t hi, uint32_t agree, uint32_t from, bool check) {
    if (!FTree.AnyBefore(lo, hi, FFound.Label)) return;
    uint32_t top = hi, depth = agree;  // rank top agrees on depth bytes, none above top on fewer
    // The first rank from lo that agrees on d <= depth bytes.
    auto startOf = [&](uint32_t d) -> uint32_t {
        if (d <= from) return lo;
        if (d <= TPrefixSteps::Saturated) return static_cast<uint32_t>(std::max<int64_t>(lo, FSteps.LastBelow(top, d)));
        uint32_t a = lo, b = top;
        while (a < b) {
            const uint32_t mid = a + (b - a) / 2;
            (FoldedLcp(Ranked(mid), FText, from) < d ? a = mid + 1 : b = mid);
        }
        return a;
    };
    for (;;) {
        auto it = std::upper_bound(FPairs.begin(), FPairs.end(), std::min(depth, FLength - 1));
        if (it == FPairs.begin() || *(it - 1) < from) return;
        const uint32_t q = *(it - 1);
        const uint32_t above = q + 1 > depth ? top + 1 : startOf(q + 1);
        const uint32_t start = startOf(q);
        if (start < above) Group(start, above - 1, q, check);
        if (start <= lo) return;
        // Rank start - 1 agrees on as much as it has in common with rank
        // start, which is less than q.
        top = start - 1;
        depth = FSteps.Lcp(start);
        if (depth == TPrefixSteps::Saturated) depth = FoldedLcp(Ranked(top), FText, from);
    }
}

// Ranks lo..hi agree with s on `depth` folded bytes and then go below it.
void TPlacementSearch::Group(uint32_t lo, uint32_t hi, uint32_t depth, bool check) {
    const unsigned x = uint8_t(FText[depth]);
    const SortBytes::TByteRun run = SortBytes::RawSmallerRuns[x];
    uint32_t a = lo, b = hi;
    if (run.First <= run.Last && ByteRange(a, b, depth, run.First, run.Last)) Earliest(a, b, check);
    const int on = SortBytes::GoesOnWith(x);
    a = lo;
    b = hi;
    if (on > 0 && ByteRange(a, b, depth, unsigned(on), unsigned(on)))
        FBranches.push_back(TBranch{a, b, depth + 1, check || (on >= 'a' && on <= 'z')});
}

// Ranks Lo..Hi go on with s past a pair, up to byte Depth.
void TPlacementSearch::Branch(const TBranch& b) {
    if (!FTree.AnyBefore(b.Lo, b.Hi, FFound.Label)) return;
    uint32_t lo = b.Lo, hi = b.Hi + 1;  // the first rank above s
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        (CompareFolded(Ranked(mid), FText, b.Depth) <= 0 ? lo = mid + 1 : hi = mid);
    }
    if (lo <= b.Hi) Earliest(lo, b.Hi, b.Check);
    if (lo > b.Lo) Groups(b.Lo, lo - 1, FoldedLcp(Ranked(lo - 1), FText, b.Depth), b.Depth, b.Check);
}

// Narrows lo..hi (ranks that agree with s on `depth` bytes, none of them
// zero) to those whose folded byte there lies in first..last.
bool TPlacementSearch::ByteRange(uint32_t& lo, uint32_t& hi, uint32_t depth, unsigned first, unsigned last) const {
    uint32_t from, to;
    if (depth == 0) {
        from = std::max(lo, FFirstAt[first]);
        to = std::min(hi + 1, FFirstAt[last + 1]);
    } else {
        auto key = [&](uint32_t r) { return unsigned(Folded[uint8_t(Ranked(r)[depth])]); };
        if (key(hi) < first || key(lo) > last) return false;
        from = lo;
        to = hi + 1;
        for (uint32_t n = to; from < n;) {
            const uint32_t mid = from + (n - from) / 2;
            (key(mid) < first ? from = mid + 1 : n = mid);
        }
        for (uint32_t a = from; a < to;) {
            const uint32_t mid = a + (to - a) / 2;
            (key(mid) <= last ? a = mid + 1 : to = mid);
        }
    }
    if (from >= to) return false;
    lo = from;
    hi = to - 1;
    return true;
}

void TPlacementSearch::Earliest(uint32_t lo, uint32_t hi, bool check) {
    FTree.Earliest(lo, hi, FFound, check ? &StopsWalk : nullptr, this);
}

bool TPlacementSearch::StopsWalk(void* self, uint32_t rank) {
    auto* search = static_cast<TPlacementSearch*>(self);
    return CompareEntryTexts(std::string_view(search->FText, search->FLength), search->Ranked(rank), 0) == -1;
}

} // namespace xoStr31

#include "xoStr31/PlacementSearch.h"

#include "xoStr31/SortBytes.h"
#include "xoStr31/SortOrder.h"

#include <algorithm>

namespace xoStr31 {

namespace {

using SortBytes::Folded;

// a against b on their folded bytes from byte `from` on, a shorter text
// first: below 0, 0 or above 0.
int CompareFolded(std::string_view a, std::string_view b, size_t from) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = from; i < n; ++i) {
        const int x = Folded[uint8_t(a[i])], y = Folded[uint8_t(b[i])];
        if (x != y) return x - y;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

uint32_t FoldedLcp(std::string_view a, std::string_view b, size_t from) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = from;
    while (i < n && Folded[uint8_t(a[i])] == Folded[uint8_t(b[i])]) ++i;
    return static_cast<uint32_t>(i);
}

} // namespace

TPlacementSearch::TPlacementSearch(const TSortTexts& texts)
    : FTexts(texts), FTree(FLabels) {
    std::array<bool, 256> present{};
    for (size_t i = 0; i < texts.Count(); ++i)
        for (unsigned char c : texts.Text(i)) present[Folded[c]] = true;
    Rank();
    FLabels.Reset(uint32_t(FEntryAt.size()));
    FTree.Reset(uint32_t(FEntryAt.size()));
    for (unsigned x = 0; x < 256; ++x) {
        const SortBytes::TByteRun run = SortBytes::RawSmallerRuns[x];
        for (unsigned y = run.First; y <= run.Last; ++y) FPaired[x] = FPaired[x] || present[y];
        const int on = SortBytes::GoesOnWith(x);
        if (on >= 0 && present[size_t(on)]) FPaired[x] = true;
    }
    FLabels.OnRelabel = [this](uint32_t rank) { FTree.Relabeled(rank); };
}

// Ranks the non-empty texts by folded bytes, then entry. The first eight
// folded bytes, packed into one number, settle most comparisons without
// reading the texts again.
void TPlacementSearch::Rank() {
    struct TKeyed {
        uint64_t Key;
        uint32_t Entry;
    };
    std::vector<TKeyed> keyed;
    size_t count = 0;
    for (size_t i = 0; i < FTexts.Count(); ++i) count += !FTexts.Text(i).empty();
    keyed.reserve(count);
    for (size_t i = 0; i < FTexts.Count(); ++i) {
        const std::string_view t = FTexts.Text(i);
        if (t.empty()) continue;
        uint64_t key = 0;
        for (size_t k = 0; k < 8; ++k) key = (key << 8) | (k < t.size() ? Folded[uint8_t(t[k])] : 0);
        keyed.push_back(TKeyed{key, static_cast<uint32_t>(i)});
    }
    std::sort(keyed.begin(), keyed.end(), [&](const TKeyed& a, const TKeyed& b) {
        if (a.Key != b.Key) return a.Key < b.Key;
        const int c = CompareFolded(FTexts.Text(a.Entry), FTexts.Text(b.Entry), 8);
        return c < 0 || (c == 0 && a.Entry < b.Entry);
    });
    FEntryAt.resize(keyed.size());
    for (size_t r = 0; r < keyed.size(); ++r) FEntryAt[r] = keyed[r].Entry;
    std::vector<TKeyed>().swap(keyed);

    FRankOf.assign(FTexts.Count(), TOrderLabels::None);
    std::vector<uint16_t> lcp(FEntryAt.size(), 0);
    for (uint32_t r = 0; r < FEntryAt.size(); ++r) {
        FRankOf[FEntryAt[r]] = r;
        if (r) lcp[r] = uint16_t(std::min(FoldedLcp(Ranked(r - 1), Ranked(r), 0), TPrefixSteps::Saturated));
    }
    FSteps.Build(std::move(lcp));
    uint32_t r = 0;
    for (unsigned b = 0; b < 256; ++b) {
        while (r < FEntryAt.size() && Folded[uint8_t(Ranked(r)[0])] < b) ++r;
        FFirstAt[b] = r;
    }
    FFirstAt[256] = uint32_t(FEntryAt.size());
}

void TPlacementSearch::Place(uint32_t entry) {
    FText = FTexts.Text(entry);
    const uint32_t rank = FRankOf[entry];
    FFound = TEarliestTree::TFound{};
    if (!FLabels.Empty()) Search(rank);
    FLabels.InsertBefore(rank, FFound.Slot);
    FTree.Placed(rank);
}

std::vector<int32_t> TPlacementSearch::TakeOrder(size_t entries) {
    FTree.Release();
    FSteps.Release();
    FLabels.ReleaseLabels();
    std::vector<uint32_t>().swap(FRankOf);
    std::vector<int32_t> order(entries, -1);
    int32_t k = 0;
    for (uint32_t r = FLabels.First(); r != TOrderLabels::None; r = FLabels.Next(r)) order[FEntryAt[r]] = k++;
    return order;
}

void TPlacementSearch::Search(uint32_t rank) {
    const uint32_t count = static_cast<uint32_t>(FEntryAt.size());
    // Every text ranked above s stops the walk (texts ranked above it
    // that fold alike are later entries, not placed yet).
    if (rank + 1 < count) FTree.Earliest(rank + 1, count - 1, FFound);
    FPairs.clear();
    for (uint32_t i = 0; i < FText.size(); ++i)
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
// may form a pair make one group each.
void TPlacementSearch::Groups(uint32_t lo, uint32_t hi, uint32_t agree, uint32_t from, bool check) {
    if (!FTree.AnyBefore(lo, hi, FFound.Label)) return;
    // The first rank that agrees with s on `depth` bytes.
    auto startOf = [&](uint32_t depth) -> uint32_t {
        if (depth > agree) return hi + 1;
        if (depth <= from) return lo;
        if (depth <= TPrefixSteps::Saturated)
            return static_cast<uint32_t>(std::max<int64_t>(lo, FSteps.LastBelow(hi, depth)));
        const auto begin = FEntryAt.begin();
        return static_cast<uint32_t>(
            std::partition_point(begin + lo, begin + hi,
                                 [&](uint32_t e) { return FoldedLcp(FTexts.Text(e), FText, from) < depth; }) -
            begin);
    };
    const uint32_t limit = std::min<uint32_t>(agree, uint32_t(FText.size()) - 1);
    auto it = std::upper_bound(FPairs.begin(), FPairs.end(), limit);
    uint32_t knownDepth = UINT32_MAX, knownStart = 0;
    while (it != FPairs.begin()) {
        const uint32_t q = *--it;
        if (q < from) break;
        const uint32_t above = knownDepth == q + 1 ? knownStart : startOf(q + 1);
        const uint32_t start = startOf(q);
        knownDepth = q;
        knownStart = start;
        if (start < above) Group(start, above - 1, q, check);
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
    if (on >= 0 && ByteRange(a, b, depth, unsigned(on), unsigned(on)))
        FBranches.push_back(TBranch{a, b, depth + 1, check || (on >= 'a' && on <= 'z')});
}

// Ranks Lo..Hi go on with s past a pair, up to byte Depth.
void TPlacementSearch::Branch(const TBranch& b) {
    if (!FTree.AnyBefore(b.Lo, b.Hi, FFound.Label)) return;
    const auto begin = FEntryAt.begin();
    const uint32_t above = static_cast<uint32_t>(
        std::partition_point(begin + b.Lo, begin + b.Hi + 1,
                             [&](uint32_t e) { return CompareFolded(FTexts.Text(e), FText, b.Depth) <= 0; }) -
        begin);
    if (above <= b.Hi) Earliest(above, b.Hi, b.Check);
    if (above > b.Lo) Groups(b.Lo, above - 1, FoldedLcp(Ranked(above - 1), FText, b.Depth), b.Depth, b.Check);
}

// Narrows lo..hi (ranks that agree on `depth` bytes) to those whose folded
// byte there lies in first..last.
bool TPlacementSearch::ByteRange(uint32_t& lo, uint32_t& hi, uint32_t depth, unsigned first, unsigned last) const {
    if (depth == 0) {
        const uint32_t from = std::max(lo, FFirstAt[first]), to = std::min(hi + 1, FFirstAt[last + 1]);
        if (from >= to) return false;
        lo = from;
        hi = to - 1;
        return true;
    }
    auto key = [&](uint32_t e) {
        const std::string_view t = FTexts.Text(e);
        return t.size() > depth ? int(Folded[uint8_t(t[depth])]) : -1;
    };
    if (key(FEntryAt[hi]) < int(first) || key(FEntryAt[lo]) > int(last)) return false;
    const auto begin = FEntryAt.begin();
    auto from = std::partition_point(begin + lo, begin + hi + 1, [&](uint32_t e) { return key(e) < int(first); });
    auto to = std::partition_point(from, begin + hi + 1, [&](uint32_t e) { return key(e) <= int(last); });
    if (from == to) return false;
    lo = static_cast<uint32_t>(from - begin);
    hi = static_cast<uint32_t>(to - begin) - 1;
    return true;
}

void TPlacementSearch::Earliest(uint32_t lo, uint32_t hi, bool check) {
    FTree.Earliest(lo, hi, FFound, check ? &StopsWalk : nullptr, this);
}

bool TPlacementSearch::StopsWalk(void* self, uint32_t rank) {
    auto* search = static_cast<TPlacementSearch*>(self);
    return CompareEntryTexts(search->FText, search->Ranked(rank), 0) == -1;
}

} // namespace xoStr31

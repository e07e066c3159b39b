#include "xoStr31/SortOrder.h"

#include "xoStr31/PlacementSearch.h"
#include "xoStr31/SortBytes.h"

#include <algorithm>

namespace xoStr31 {

namespace {

using SortBytes::IsLowerLetter;
using SortBytes::IsUpperLetter;

class Fenwick {
public:
    explicit Fenwick(size_t n) : tree_(n + 1, 0) {}
    void Add(size_t i) {
        for (++i; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
    }
    // Count of the added values 0 to i - 1.
    int32_t Below(size_t i) const {
        int32_t sum = 0;
        for (; i > 0; i -= i & (~i + 1)) sum += tree_[i];
        return sum;
    }
private:
    std::vector<int32_t> tree_;
};

void SetSamples(std::vector<TSortRecord>& records, std::vector<int32_t>& sampleEntries) {
    // Every entry is placed exactly once, so entry j is the (j+1)th placement.
    sampleEntries.clear();
    for (auto& r : records) r.Sample = r.Entry % SampleEvery == 0 ? r.Entry / SampleEvery : -1;
    for (size_t j = 0; j < records.size(); j += SampleEvery) sampleEntries.push_back(static_cast<int32_t>(j));
}

} // namespace

int CompareEntryTexts(std::string_view a, std::string_view b, unsigned flags) {
    if (a.empty()) return b.empty() ? 0 : 1;
    if (b.empty()) return 1;
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned x = static_cast<uint8_t>(a[i]);
        unsigned y = static_cast<uint8_t>(b[i]);
        if (x == y) continue;
        if (flags & 32) return y > x ? -1 : 1;
        if (IsUpperLetter(x)) {
            if (y - 32 == x) continue;
            if (IsLowerLetter(y)) return y - 32 > x ? -1 : 1;
            return y > x ? -1 : 1;
        }
        if (y + 32 == x) continue;
        if (IsUpperLetter(y)) return y + 32 > x ? -1 : 1;
        return y > x ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void ComputeSortIndex(TSortTexts texts, std::vector<TSortRecord>& records, std::vector<int32_t>& sampleEntries,
                      std::vector<std::string>* sampleTexts, const std::function<void(int)>& progress) {
    const size_t n = texts.Count();
    records.clear();
    if (sampleTexts) sampleTexts->clear();
    size_t first = 0;
    while (first < n && texts[first].empty()) ++first;

    // The place of each non-empty entry among the non-empty ones (-1 for
    // empty texts); the search with its tables and the texts are gone
    // before the records are made.
    std::vector<int32_t> order;
    if (first < n) {
        TPlacementSearch search(std::move(texts));
        if (progress) progress(25);
        const size_t step = std::max<size_t>(n / 70, 4096);
        for (size_t j = first; j < n; ++j) {
            search.Place(static_cast<uint32_t>(j));
            if (progress && (j - first + 1) % step == 0) progress(25 + int(70 * (j - first + 1) / (n - first)));
        }
        search.Finish();
        // Entry j is the (j+1)th placed.
        if (sampleTexts)
            for (size_t j = 0; j < n; j += SampleEvery) sampleTexts->emplace_back(search.TextOf(uint32_t(j)));
        order = search.TakeOrder();
    } else {
        order.assign(n, -1);
        if (sampleTexts) sampleTexts->resize((n + SampleEvery - 1) / SampleEvery);
    }

    // The walk skips empty texts, so the non-empty ones keep the order
    // found. The first non-empty text goes to the front, ahead of the empty
    // texts placed before it, which stay right behind it from then on (a
    // later text goes right before a non-empty one or last). Empty texts
    // placed after it run at the very front, newest first.
    records.resize(n);
    size_t emptiesAfter = 0;
    for (size_t j = first; j < n; ++j) emptiesAfter += order[j] < 0;
    if (first == n) {
        for (size_t j = 0; j < n; ++j) records[n - 1 - j].Entry = static_cast<int32_t>(j);
    } else {
        const int32_t firstAt = order[first];
        Fenwick placed(n - first - emptiesAfter);
        size_t emptiesSoFar = 0;
        for (size_t j = 0; j < n; ++j) {
            size_t at;
            int32_t position = 0;
            const int32_t o = order[j];
            if (j < first) {
                at = emptiesAfter + size_t(firstAt) + first - j;
            } else if (o < 0) {
                ++emptiesSoFar;
                at = emptiesAfter - emptiesSoFar;
            } else {
                at = emptiesAfter + size_t(o) + (o > firstAt ? first : 0);
                if (j != first) position = int32_t(emptiesSoFar) + placed.Below(size_t(o)) + (o > firstAt ? int32_t(first) : 0);
                placed.Add(size_t(o));
            }
            records[at].Entry = static_cast<int32_t>(j);
            records[at].Position = position;
        }
    }
    SetSamples(records, sampleEntries);
    if (progress) progress(100);
}

} // namespace xoStr31

#include "xoStr31/SortOrder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace xoStr31 {

namespace {

bool IsUpperLetter(unsigned c) { return (c >= 65 && c <= 90) || (c >= 192 && c <= 214) || (c >= 216 && c <= 221); }
bool IsLowerLetter(unsigned c) { return (c >= 97 && c <= 122) || (c >= 222 && c <= 246) || (c >= 248); }

// Blank, digits, ASCII letters and the punctuation that has no partner 32
// bytes away in the set and does not sit between "Z" and "a".
constexpr std::array<bool, 256> MakeConsistentSet() {
    std::array<bool, 256> set{};
    set[' '] = true;
    for (int c = '0'; c <= '9'; ++c) set[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) set[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) set[c] = true;
    for (int c = '!'; c <= '/'; ++c) set[c] = true;
    for (int c = ':'; c <= '?'; ++c) set[c] = true;
    for (int c = '{'; c <= '~'; ++c) set[c] = true;
    return set;
}
constexpr std::array<bool, 256> ConsistentSet = MakeConsistentSet();

uint8_t FoldByte(uint8_t c) { return (c >= 'A' && c <= 'Z') ? uint8_t(c + 32) : c; }

class Fenwick {
public:
    explicit Fenwick(size_t n) : tree_(n + 1, 0) {}
    void Add(size_t i) {
        for (++i; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
    }
    // Count of the added values 0 to i.
    int32_t Prefix(size_t i) const {
        int32_t sum = 0;
        for (++i; i > 0; i -= i & (~i + 1)) sum += tree_[i];
        return sum;
    }
private:
    std::vector<int32_t> tree_;
};

void AssignSamples(std::vector<TSortRecord>& records, std::vector<int32_t>& sampleEntries) {
    // Every entry is placed exactly once, so entry j is the (j+1)th placement.
    for (auto& r : records) {
        if (r.Entry % SampleEvery == 0) {
            r.Sample = r.Entry / SampleEvery;
        } else {
            r.Sample = -1;
        }
    }
    size_t n = records.size();
    for (size_t j = 0; j < n; j += SampleEvery) sampleEntries.push_back(static_cast<int32_t>(j));
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

bool IsConsistentSortByte(uint8_t b) { return ConsistentSet[b]; }

void ComputeSortIndexByWalk(const std::vector<std::string_view>& texts, std::vector<TSortRecord>& records,
                            std::vector<int32_t>& sampleEntries) {
    records.clear();
    records.reserve(texts.size());
    sampleEntries.clear();
    for (size_t j = 0; j < texts.size(); ++j) {
        std::string_view s = texts[j];
        size_t placed = records.size();
        size_t p = 0;
        if (!s.empty()) {
            bool compared = false;
            bool found = false;
            for (size_t k = 0; k < placed; ++k) {
                std::string_view t = texts[static_cast<size_t>(records[k].Entry)];
                if (t.empty()) continue;
                compared = true;
                if (CompareEntryTexts(s, t, 0) == -1) {
                    p = k;
                    found = true;
                    break;
                }
            }
            if (!found) p = compared ? placed : 0;
        }
        TSortRecord r;
        r.Entry = static_cast<int32_t>(j);
        r.Position = static_cast<int32_t>(p);
        r.Sample = -1;
        if (placed % SampleEvery == 0) {
            sampleEntries.push_back(static_cast<int32_t>(j));
            r.Sample = static_cast<int32_t>(sampleEntries.size() - 1);
        }
        records.insert(records.begin() + static_cast<std::ptrdiff_t>(p), r);
    }
}

bool ComputeSortIndex(const std::vector<std::string_view>& texts, std::vector<TSortRecord>& records,
                      std::vector<int32_t>& sampleEntries) {
    const size_t n = texts.size();
    size_t total = 0;
    for (auto t : texts) {
        for (unsigned char c : t)
            if (!ConsistentSet[c]) {
                ComputeSortIndexByWalk(texts, records, sampleEntries);
                return false;
            }
        total += t.size();
    }
    records.clear();
    sampleEntries.clear();
    records.resize(n);

    // Case-folded copies: on this byte set the walk's order is the plain
    // byte order of the folded texts, shorter first on a common prefix.
    std::string folded(total, '\0');
    std::vector<std::string_view> keys(n);
    size_t at = 0;
    for (size_t j = 0; j < n; ++j) {
        const std::string_view t = texts[j];
        for (size_t i = 0; i < t.size(); ++i) folded[at + i] = static_cast<char>(FoldByte(static_cast<uint8_t>(t[i])));
        keys[j] = std::string_view(folded.data() + at, t.size());
        at += t.size();
    }

    std::vector<int32_t> sorted;
    sorted.reserve(n);
    for (size_t j = 0; j < n; ++j)
        if (!keys[j].empty()) sorted.push_back(static_cast<int32_t>(j));
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](int32_t a, int32_t b) { return keys[size_t(a)] < keys[size_t(b)]; });

    // The first non-empty text is placed at the front, ahead of the empty
    // texts placed before it; they stay right behind it from then on, since
    // a later text only ever goes right before a non-empty one or to the
    // end. Empty texts placed after it make a run at the very front, newest
    // first.
    size_t first = n;
    for (size_t j = 0; j < n; ++j)
        if (!keys[j].empty()) {
            first = j;
            break;
        }

    size_t out = 0;
    auto emit = [&](size_t j, int32_t position) {
        records[out].Entry = static_cast<int32_t>(j);
        records[out].Position = position;
        ++out;
    };
    if (first == n) {
        for (size_t j = n; j-- > 0;) emit(j, 0);
        AssignSamples(records, sampleEntries);
        return true;
    }

    // Classes of equal keys, ascending.
    std::vector<int32_t> cls(n, -1);
    int32_t classes = 0;
    for (size_t k = 0; k < sorted.size(); ++k) {
        if (k > 0 && keys[size_t(sorted[k])] != keys[size_t(sorted[k - 1])]) ++classes;
        cls[size_t(sorted[k])] = classes;
    }
    ++classes;

    // The place each entry was inserted at: the front run so far, the
    // non-empty texts placed before it that it does not precede, and the
    // group behind the first text when that one stands before it.
    std::vector<int32_t> position(n, 0);
    Fenwick placedClasses(static_cast<size_t>(classes));
    const int32_t firstClass = cls[first];
    const int32_t group = static_cast<int32_t>(first);
    int32_t front = 0;
    placedClasses.Add(static_cast<size_t>(firstClass));
    for (size_t j = first + 1; j < n; ++j) {
        if (keys[j].empty()) {
            ++front;
            continue;
        }
        int32_t c = cls[j];
        position[j] = front + placedClasses.Prefix(static_cast<size_t>(c)) + (firstClass <= c ? group : 0);
        placedClasses.Add(static_cast<size_t>(c));
    }

    for (size_t j = n; j-- > first + 1;)
        if (keys[j].empty()) emit(j, 0);
    for (int32_t j : sorted) {
        emit(size_t(j), position[size_t(j)]);
        if (size_t(j) == first)
            for (size_t e = first; e-- > 0;) emit(e, 0);
    }
    AssignSamples(records, sampleEntries);
    return true;
}

} // namespace xoStr31

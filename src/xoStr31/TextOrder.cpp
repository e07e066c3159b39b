#include "xoStr31/TextOrder.h"

#include <algorithm>
#include <cstring>
#include <locale.h>
#include <string.h>

namespace xoStr31 {

namespace {

locale_t AsLocale(void* p) { return static_cast<locale_t>(p); }

// Bytes from at on (eight of them) as one number, so that most byte
// comparisons are an integer comparison or two; shorter lines are padded
// with zero bytes, which only ever makes lines look equal, never
// misordered.
uint64_t Prefix(const char* p, size_t n, size_t at = 0) {
    uint64_t v = 0;
    for (size_t i = at; i < at + 8; ++i) v = v << 8 | (i < n ? uint8_t(p[i]) : 0u);
    return v;
}

struct TKey {
    uint64_t Prefix, Next;  // the first sixteen bytes
    int32_t Index;
    bool operator==(const TKey& k) const { return Prefix == k.Prefix && Next == k.Next; }
    bool operator<(const TKey& k) const { return Prefix != k.Prefix ? Prefix < k.Prefix : Next < k.Next; }
};

} // namespace

TCollation::TCollation() {
    locale_t locale = newlocale(LC_COLLATE_MASK, "", static_cast<locale_t>(0));
    if (!locale) return;  // a locale that is not installed: bytes, as sort(1) does
    // A locale without collation rules hands the bytes back unchanged; it
    // orders as plain bytes do, and the comparison can skip the library.
    char probe[32] = {};
    const size_t n = strxfrm_l(probe, "aB0", sizeof probe, locale);
    if (n == 3 && std::strcmp(probe, "aB0") == 0) {
        freelocale(locale);
        return;
    }
    locale_ = locale;
    byBytes_ = false;
}

TCollation::~TCollation() {
    if (locale_) freelocale(AsLocale(locale_));
}

const TCollation& TCollation::User() {
    static const TCollation collation;
    return collation;
}

int TCollation::Compare(const char* a, size_t an, const char* b, size_t bn) const {
    if (byBytes_) return CompareBytes(a, an, b, bn);
    // Sizes with the closing zero byte; each piece up to a zero byte is
    // collated, and the next pieces decide only when it is equal.
    size_t as = an + 1, bs = bn + 1;
    if (as == bs && std::memcmp(a, b, as) == 0) return 0;
    for (;;) {
        const int d = strcoll_l(a, b, AsLocale(locale_));
        if (d) return d;
        const size_t la = std::strlen(a) + 1, lb = std::strlen(b) + 1;
        a += la;
        b += lb;
        as -= la;
        bs -= lb;
        if (as == 0) return bs == 0 ? 0 : -1;
        if (bs == 0) return 1;
    }
}

int CompareBytes(const char* a, size_t an, const char* b, size_t bn) {
    const int d = std::memcmp(a, b, std::min(an, bn));
    if (d) return d;
    return an < bn ? -1 : an > bn ? 1 : 0;
}

std::vector<int32_t> SortLines(const char* bytes, const std::vector<TLineSpan>& lines, TTextOrder order,
                               const std::function<void(int)>& progress) {
    const size_t n = lines.size();
    const TCollation& collation = TCollation::User();
    const bool byBytes = order == TTextOrder::Bytes || collation.ByBytes();
    // The head of a line's bytes: most byte comparisons end there. The
    // collation gets no such head: the system's collation keys (strxfrm)
    // do not always order as its comparison (strcoll) does, and sort(1)
    // goes by the comparison.
    std::vector<TKey> keys(n);
    for (size_t i = 0; i < n; ++i) {
        const TLineSpan& l = lines[i];
        const char* p = bytes + l.Start;
        const size_t length = size_t(l.Length);
        keys[i] = byBytes ? TKey{Prefix(p, length), Prefix(p, length, 8), int32_t(i)} : TKey{0, 0, int32_t(i)};
    }
    auto byteLess = [&](const TKey& x, const TKey& y) {
        if (!(x == y)) return x < y;
        const TLineSpan& a = lines[size_t(x.Index)];
        const TLineSpan& b = lines[size_t(y.Index)];
        const int d = CompareBytes(bytes + a.Start, size_t(a.Length), bytes + b.Start, size_t(b.Length));
        return d ? d < 0 : x.Index < y.Index;
    };
    auto localeLess = [&](const TKey& x, const TKey& y) {
        const TLineSpan& a = lines[size_t(x.Index)];
        const TLineSpan& b = lines[size_t(y.Index)];
        const char* pa = bytes + a.Start;
        const char* pb = bytes + b.Start;
        int d = collation.Compare(pa, size_t(a.Length), pb, size_t(b.Length));
        if (!d) d = CompareBytes(pa, size_t(a.Length), pb, size_t(b.Length));
        return d ? d < 0 : x.Index < y.Index;
    };

    // In runs, then merged, so that a long sort can tell how far it is. A
    // merge sort: it compares less often than a quicksort, and should the
    // system's collation ever contradict itself, it still only misorders.
    const size_t runs = progress && n >= (size_t(1) << 16) ? 16 : 1;
    std::vector<size_t> bound(runs + 1);
    for (size_t k = 0; k <= runs; ++k) bound[k] = n * k / runs;
    auto sortRange = [&](TKey* first, TKey* last) {
        if (byBytes)
            std::stable_sort(first, last, byteLess);
        else
            std::stable_sort(first, last, localeLess);
    };
    auto mergeRange = [&](TKey* first, TKey* middle, TKey* last) {
        if (byBytes)
            std::inplace_merge(first, middle, last, byteLess);
        else
            std::inplace_merge(first, middle, last, localeLess);
    };
    TKey* k0 = keys.data();
    for (size_t k = 0; k < runs; ++k) {
        sortRange(k0 + bound[k], k0 + bound[k + 1]);
        if (progress) progress(int(80 * (k + 1) / runs));
    }
    for (size_t w = 1; w < runs; w *= 2) {
        for (size_t k = 0; k + w < runs; k += 2 * w)
            mergeRange(k0 + bound[k], k0 + bound[k + w], k0 + bound[std::min(k + 2 * w, runs)]);
        if (progress) progress(80 + int(20 * 2 * w / runs));
    }

    std::vector<int32_t> indexes(n);
    for (size_t i = 0; i < n; ++i) indexes[i] = keys[i].Index;
    if (progress) progress(100);
    return indexes;
}

} // namespace xoStr31

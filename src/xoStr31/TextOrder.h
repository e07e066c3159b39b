#pragma once
// Total orders over whole lines, for output that people sort, compare and
// sort again: every line has one place, so sorting sorted lines changes
// nothing and only equal lines are left in their input order. A line is
// all its bytes, zero bytes included.
//
// The list's own sort order (CompareEntries, SortOrder.h) is none of these:
// it folds letters byte by byte and counts some pairs of different bytes as
// equal, so its walk decides where such texts go.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace xoStr31 {

enum class TTextOrder {
    // The user's collation (LC_ALL, LC_COLLATE, LANG, as sort(1) takes
    // them), lines the collation counts as equal ordered by their bytes.
    Locale,
    // Unsigned bytes, a line before every longer line it begins.
    Bytes,
};

// One line in a buffer: its bytes from Start on, Length of them, with a
// zero byte right after them (the collation reads up to it).
struct TLineSpan {
    int64_t Start = 0;
    int64_t Length = 0;
};

// The collation of the user's locale, made once.
class TCollation {
public:
    static const TCollation& User();
    ~TCollation();
    TCollation(const TCollation&) = delete;
    TCollation& operator=(const TCollation&) = delete;

    // The locale collates by bytes (C, POSIX, C.UTF-8, or none to be had).
    bool ByBytes() const { return byBytes_; }
    // a and b with their lengths, each followed by a zero byte: below 0,
    // 0 or above 0 by the collation alone. Zero bytes inside split a line
    // into pieces that are collated in turn.
    int Compare(const char* a, size_t an, const char* b, size_t bn) const;

private:
    TCollation();
    void* locale_ = nullptr;
    bool byBytes_ = true;
};

// Unsigned bytes, then length: below 0, 0 or above 0.
int CompareBytes(const char* a, size_t an, const char* b, size_t bn);

// The indexes of the lines in order; equal lines by index. progress, when
// given, hears the share done in per cent now and then.
std::vector<int32_t> SortLines(const char* bytes, const std::vector<TLineSpan>& lines, TTextOrder order,
                               const std::function<void(int)>& progress = {});

} // namespace xoStr31

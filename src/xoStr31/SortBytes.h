#pragma once
// The byte rules of CompareEntries with flags 0, and how they stand to a
// plain order. Fold every upper letter to its lower letter (32 up) and
// compare folded bytes: at the first position where the folded bytes of a
// and b differ, a folded byte of a below b's always makes a the smaller
// text, and equal folded bytes always go on. Only where a's folded byte is
// above b's can the rule say something else, in two ways:
//   - a's byte x is an upper letter and b's byte y a non-letter between x
//     and x + 32 ("A" against "_"): a is the smaller (the raw bytes decide);
//   - x is no upper letter and y = x - 32 is none either ("{" against "[",
//     0xA9 against 0x89): the bytes count as equal and the comparison goes
//     on with the next ones.
// Everything else follows the folded order, so most of a search can go by
// it and only these two pairs need a closer look.
#include <array>
#include <cstdint>

namespace xoStr31::SortBytes {

constexpr bool IsUpperLetter(unsigned c) { return (c >= 65 && c <= 90) || (c >= 192 && c <= 214) || (c >= 216 && c <= 221); }
constexpr bool IsLowerLetter(unsigned c) { return (c >= 97 && c <= 122) || (c >= 222 && c <= 246) || c >= 248; }

constexpr std::array<uint8_t, 256> MakeFolded() {
    std::array<uint8_t, 256> folded{};
    for (unsigned c = 0; c < 256; ++c) folded[c] = uint8_t(IsUpperLetter(c) ? c + 32 : c);
    return folded;
}
inline constexpr std::array<uint8_t, 256> Folded = MakeFolded();

// The non-letters y with x < y < x + 32 for an upper letter x form one
// run of folded bytes, First to Last; Last < First where x has none.
struct TByteRun {
    uint8_t First = 1, Last = 0;
};
constexpr std::array<TByteRun, 256> MakeRawSmallerRuns() {
    std::array<TByteRun, 256> runs{};
    for (unsigned x = 0; x < 256; ++x) {
        if (!IsUpperLetter(x)) continue;
        bool any = false;
        for (unsigned y = x + 1; y < x + 32 && y < 256; ++y)
            if (!IsUpperLetter(y) && !IsLowerLetter(y)) {
                if (!any) runs[x].First = uint8_t(y);
                runs[x].Last = uint8_t(y);
                any = true;
            }
    }
    return runs;
}
inline constexpr std::array<TByteRun, 256> RawSmallerRuns = MakeRawSmallerRuns();

// The byte of b that counts as equal to x of a although it folds lower,
// or -1.
constexpr int GoesOnWith(unsigned x) {
    if (IsUpperLetter(x) || x < 32 || IsUpperLetter(x - 32)) return -1;
    return int(x - 32);
}

} // namespace xoStr31::SortBytes

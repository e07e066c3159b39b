#pragma once
// The sort index of a large string list: every entry is placed in turn by
// walking the records placed so far, so that non-empty texts stand in
// ascending CompareEntries order, equal texts keep list order, and each
// empty text goes to the front when it is placed. CompareEntries is not a
// consistent order for every byte (an upper letter against the six bytes
// between "Z" and "a", two non-letters 32 apart), so the walk itself is the
// definition. When every byte of every text lies in a set on which it is
// consistent, the same records come out of a sort in O(n log n).
#include <cstdint>
#include <string_view>
#include <vector>

namespace xoStr31 {

struct TSortRecord {
    int32_t Entry = 0;     // index of a list entry
    int32_t Sample = -1;   // index of its text among the samples, or -1
    int32_t Position = 0;  // the place it was inserted at when it was placed
};

// One text in this many placements becomes a sample.
constexpr int SampleEvery = 50;

// CompareEntries: a against b byte by byte, -1, 0 or 1 (see THdStrings).
int CompareEntryTexts(std::string_view a, std::string_view b, unsigned flags);

// Bytes on which CompareEntries with flags 0 agrees with comparing ASCII
// letters case-folded and every other byte by value.
bool IsConsistentSortByte(uint8_t b);

// Computes the records for the texts in list order. Samples are the entries
// placed 1st, 51st, 101st ...: their entry indexes go to sampleEntries, and
// a record's Sample is its place there. Answers true when the fast method
// was used.
bool ComputeSortIndex(const std::vector<std::string_view>& texts, std::vector<TSortRecord>& records,
                      std::vector<int32_t>& sampleEntries);

// The walk alone (quadratic); the fast method must agree with it.
void ComputeSortIndexByWalk(const std::vector<std::string_view>& texts, std::vector<TSortRecord>& records,
                            std::vector<int32_t>& sampleEntries);

} // namespace xoStr31

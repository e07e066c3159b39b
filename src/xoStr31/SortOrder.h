#pragma once
// The sort index of a large string list: every entry is placed in turn by
// walking the records placed so far, so that non-empty texts stand in
// ascending CompareEntries order, equal texts keep list order, and each
// empty text goes to the front when it is placed. CompareEntries is not a
// consistent order for every byte (an upper letter against the six bytes
// between "Z" and "a", two non-letters 32 apart), so the walk itself is the
// definition. ComputeSortIndex gives the walk's records for every input
// without walking (see PlacementSearch.h).
#include "xoStr31/SortTexts.h"

#include <cstdint>
#include <functional>
#include <string>
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

// Computes the records for the texts in list order, using up the texts.
// Samples are the entries placed 1st, 51st, 101st ... (entries 0, 50,
// 100 ...): their entry indexes go to sampleEntries, their texts to
// sampleTexts when given, and a record's Sample is its place there.
// progress, when given, hears the share done in per cent now and then.
void ComputeSortIndex(TSortTexts texts, std::vector<TSortRecord>& records, std::vector<int32_t>& sampleEntries,
                      std::vector<std::string>* sampleTexts = nullptr, const std::function<void(int)>& progress = {});

} // namespace xoStr31

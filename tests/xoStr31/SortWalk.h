#pragma once
// The sort index by its definition: every entry placed in turn by walking
// the records placed so far (quadratic). The quick computation must give
// exactly these records.
#include "xoStr31/SortOrder.h"

#include <string_view>
#include <vector>

namespace xoStr31 {

inline void ComputeSortIndexByWalk(const TSortTexts& texts, std::vector<TSortRecord>& records,
                            std::vector<int32_t>& sampleEntries) {
    records.clear();
    records.reserve(texts.Count());
    for (size_t j = 0; j < texts.Count(); ++j) {
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
        records.insert(records.begin() + static_cast<std::ptrdiff_t>(p), r);
    }
    // Every entry is placed exactly once, so entry j is the (j+1)th placement.
    sampleEntries.clear();
    for (auto& r : records) r.Sample = r.Entry % SampleEvery == 0 ? r.Entry / SampleEvery : -1;
    for (size_t j = 0; j < records.size(); j += SampleEvery) sampleEntries.push_back(static_cast<int32_t>(j));
}

} // namespace xoStr31

#include "xoStr31/PrefixSteps.h"

#include <algorithm>

namespace xoStr31 {

void TPrefixSteps::Build(std::vector<uint16_t> lcp) {
    FLevels.clear();
    FLevels.push_back(std::move(lcp));
    while (FLevels.back().size() > (size_t(1) << Shift)) {
        const std::vector<uint16_t>& below = FLevels.back();
        std::vector<uint16_t> level((below.size() + (size_t(1) << Shift) - 1) >> Shift);
        for (size_t b = 0; b < level.size(); ++b) {
            const size_t from = b << Shift, to = std::min(below.size(), from + (size_t(1) << Shift));
            level[b] = *std::min_element(below.begin() + std::ptrdiff_t(from), below.begin() + std::ptrdiff_t(to));
        }
        FLevels.push_back(std::move(level));
    }
}

void TPrefixSteps::Release() { std::vector<std::vector<uint16_t>>().swap(FLevels); }

int64_t TPrefixSteps::LastBelow(uint32_t at, uint32_t depth) const {
    // Up: scan the rest of the block at each level, leftwards.
    int64_t i = at;
    size_t level = 0;
    for (;;) {
        const std::vector<uint16_t>& values = FLevels[level];
        const int64_t stop = level + 1 < FLevels.size() ? (i >> Shift) << Shift : 0;
        for (; i >= stop; --i)
            if (values[size_t(i)] < depth) break;
        if (i >= stop) break;
        if (level + 1 == FLevels.size() || stop == 0) return -1;
        i = (stop >> Shift) - 1;  // the blocks wholly before
        ++level;
    }
    // Down: within the block found, the last value below depth.
    while (level > 0) {
        --level;
        const std::vector<uint16_t>& values = FLevels[level];
        int64_t j = std::min<int64_t>(((i + 1) << Shift) - 1, int64_t(values.size()) - 1);
        while (values[size_t(j)] >= depth) --j;
        i = j;
    }
    return i;
}

} // namespace xoStr31

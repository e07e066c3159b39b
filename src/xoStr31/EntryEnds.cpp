#include "xoStr31/EntryEnds.h"

namespace xoStr31 {

void TEntryEnds::resize(size_t n) {
    if (n >= lows_.size()) return;
    lows_.resize(n);
    while (!steps_.empty() && steps_.back() >= n) steps_.pop_back();
}

void TEntryEnds::insert(size_t i, int64_t end) {
    lows_.insert(lows_.begin() + std::ptrdiff_t(i), uint32_t(end));
    for (size_t k = 0; k < steps_.size(); ++k) {
        if (steps_[k] < i) continue;
        steps_[k] = end >> 32 > int64_t(k) ? i : steps_[k] + 1;
    }
    while ((end >> 32) > int64_t(steps_.size())) steps_.push_back(i);
}

void TEntryEnds::erase(size_t i) {
    lows_.erase(lows_.begin() + std::ptrdiff_t(i));
    for (auto& step : steps_)
        if (step > i) --step;
    // A step whose first end went, and no end after it, is no step.
    while (!steps_.empty() && steps_.back() >= lows_.size()) steps_.pop_back();
}

void TEntryEnds::AddFrom(size_t i, int64_t delta) {
    if (i >= lows_.size() || delta == 0) return;
    const int64_t last = back() + delta;
    std::vector<size_t> steps;
    for (int64_t k = 0; k < (last >> 32); ++k) {
        const int64_t boundary = (k + 1) << 32;
        if (size_t(k) < steps_.size() && steps_[size_t(k)] < i) {
            steps.push_back(steps_[size_t(k)]);
            continue;
        }
        // The first end from i on that reaches the boundary once moved.
        size_t lo = i, hi = lows_.size() - 1;
        while (lo < hi) {
            size_t mid = lo + (hi - lo) / 2;
            if ((*this)[mid] + delta >= boundary)
                hi = mid;
            else
                lo = mid + 1;
        }
        steps.push_back(lo);
    }
    const uint32_t add = uint32_t(delta);
    for (size_t j = i; j < lows_.size(); ++j) lows_[j] += add;
    steps_ = std::move(steps);
}

void TEntryEnds::Appended(size_t from, int64_t first, int64_t last) {
    if ((first >> 32) == (last >> 32)) {
        // No boundary passed within: all share first's step.
        while ((first >> 32) > int64_t(steps_.size())) steps_.push_back(from);
        return;
    }
    while ((first >> 32) > int64_t(steps_.size())) steps_.push_back(from);
    // The low halves wrap once: the first one below first's low half passed.
    const uint32_t firstLow = uint32_t(first);
    size_t j = from;
    while (j < lows_.size() && lows_[j] >= firstLow) ++j;
    if (j < lows_.size()) steps_.push_back(j);
}

} // namespace xoStr31

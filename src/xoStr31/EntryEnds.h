#pragma once
// TEntryEnds: where each entry of a large string list ends, 4 bytes an entry
// whatever the file's size. Ends never decrease, so an end is its low 32 bits
// plus 4 GiB for every 4 GiB step the list has passed by then: the steps are
// kept as the index of the first end at or past each (a 6 GiB file has one).
#include <algorithm>
#include <cstdint>
#include <vector>

namespace xoStr31 {

class TEntryEnds {
public:
    size_t size() const { return lows_.size(); }
    bool empty() const { return lows_.empty(); }
    int64_t operator[](size_t i) const {
        int64_t low = lows_[i];
        if (steps_.empty()) return low;
        return low + (int64_t(std::upper_bound(steps_.begin(), steps_.end(), i) - steps_.begin()) << 32);
    }
    int64_t back() const { return (*this)[size() - 1]; }
    void clear() {
        lows_.clear();
        steps_.clear();
    }
    void reserve(size_t n) { lows_.reserve(n); }
    size_t capacity() const { return lows_.capacity(); }
    void push_back(int64_t end) {
        lows_.push_back(uint32_t(end));
        while ((end >> 32) > int64_t(steps_.size())) steps_.push_back(lows_.size() - 1);
    }
    // Keeps the first n ends.
    void resize(size_t n);
    void insert(size_t i, int64_t end);
    void erase(size_t i);
    // Adds delta to the ends from i on (the result must not decrease).
    void AddFrom(size_t i, int64_t delta);

    // For a scan that appends low halves itself: the ends appended from
    // index from on all lie in [first, last] with last - first below 4 GiB.
    std::vector<uint32_t>& Lows() { return lows_; }
    void Appended(size_t from, int64_t first, int64_t last);
    // Whether some end needs more than 31 bits (a table of its own kind).
    bool Wide() const { return !lows_.empty() && back() > INT32_MAX; }

private:
    std::vector<uint32_t> lows_;
    std::vector<size_t> steps_;  // steps_[k]: first index whose end is at least (k + 1) * 4 GiB
};

} // namespace xoStr31

#pragma once
// The texts a sort works on, back to back in one buffer with one 32-bit
// end per text: a million lines cost their bytes and 4 bytes each.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xoStr31 {

class TSortTexts {
public:
    size_t Count() const { return FEnds.size(); }
    std::string_view Text(size_t i) const {
        const size_t start = i ? End(i - 1) : 0;
        return std::string_view(FBytes.data() + start, End(i) - start);
    }
    std::string_view operator[](size_t i) const { return Text(i); }

    void Reserve(size_t texts, size_t bytes);
    void Add(std::string_view text);

    // Filling in place: Buffer(size) gives room for raw bytes, then Cut
    // takes each text in order from where it lies in them (at or after the
    // end of the text cut before it) and moves it down to its place.
    char* Buffer(size_t size);
    void Cut(size_t from, size_t length);
    // Drops the texts from the i-th on.
    void Truncate(size_t count);
    void Release();

private:
    size_t End(size_t i) const {
        size_t high = 0;
        if (!FWraps.empty())
            while (high < FWraps.size() && FWraps[high] <= i) ++high;
        return (high << 32) | FEnds[i];
    }
    void PushEnd(size_t end);

    std::string FBytes;
    size_t FUsed = 0;
    std::vector<uint32_t> FEnds;   // low 32 bits of each end
    std::vector<size_t> FWraps;    // the first text whose end lies in each further 4 GiB
};

} // namespace xoStr31

#pragma once
// The texts a sort works on, back to back in one buffer, each ended by a
// zero byte (a text ends at its first zero byte, as the list's Get
// answers), with one 32-bit end per text: a million lines cost their
// bytes and 4 bytes each. A sort may drop the table once it keeps where
// each text starts in its own order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xoStr31 {

class TSortTexts {
public:
    size_t Count() const { return FEnds.size(); }
    std::string_view Text(size_t i) const {
        const size_t start = Start(i);
        return std::string_view(FBytes.data() + start, End(i) - 1 - start);
    }
    std::string_view operator[](size_t i) const { return Text(i); }
    size_t Start(size_t i) const { return i ? End(i - 1) : 0; }
    // The zero-ended text at a start.
    const char* At(size_t start) const { return FBytes.data() + start; }
    size_t Size() const { return FUsed; }

    void Add(std::string_view text);

    // Filling in place: Buffer(size, texts) gives room for raw bytes, then Cut
    // takes each text in order from where it lies in them (at or after the
    // end of the text cut before it, and followed by at least one byte
    // that is not part of the next text, or the buffer's end) and moves it
    // down to its place.
    char* Buffer(size_t size, size_t texts);
    void Cut(size_t from, size_t length);
    // Drops the texts from the count-th on.
    void Truncate(size_t count);
    // Drops the table of ends: Count and Text no longer answer.
    void ReleaseTable();

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
    std::vector<uint32_t> FEnds;   // low 32 bits of each end (after its zero byte)
    std::vector<size_t> FWraps;    // the first text whose end lies in each further 4 GiB
};

} // namespace xoStr31

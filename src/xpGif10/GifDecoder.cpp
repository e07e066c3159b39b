#include "xpGif10/GifDecoder.h"
#include "xpGif10/GifPixelMemory.h"
#include "xpGif10/GifTypes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace xpGif10 {

using namespace platform;

namespace {

constexpr uint32_t TableSize = 4096;
// The frame's data is gathered from its sub-blocks into a buffer of this
// size, refilled as the codes use it up. Fuzzing builds refill it often.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr size_t DataSize = 1 << 10;
#else
constexpr size_t DataSize = 64 << 10;
#endif
// Zero bytes kept after the gathered data, so a code is always taken with
// one 4-byte load.
constexpr size_t DataSlack = 8;

// The string table. A code's string: its first (up to) 8 bytes packed
// little-endian in head, its length, and for longer strings where it was
// last written in the output. Every entry below the next free code is a
// string that lies in the output, since a code the table does not have yet
// ends the data. Length 0 marks the clear and end codes. One array per field:
// each is reached from one base register with a scaled index, and the
// position, needed only for long strings, stays out of the cache otherwise.
struct Table {
    uint64_t head[TableSize];
    uint32_t len[TableSize];
    uint32_t pos[TableSize];
};
static_assert(std::endian::native == std::endian::little, "string heads are written as little-endian words");

// All the decoder's state of one frame, in one block that lives while the
// frame is read: the string table and the data buffer. For a large frame it
// comes from where the frame's pixels do (in a huge page where the system
// has them), so a first decode in a process touches few fresh pages.
struct Workspace {
    Table table;
    uint8_t data[DataSize + DataSlack];
};

// The frame's data sub-blocks, whatever their sizes, read into the
// workspace's buffer as the decoder asks for more, and at the end read up
// to the terminator, so the stream is left at the next block however the
// codes end.
class BlockReader {
public:
    BlockReader(TStream& stream, uint8_t* data) : stream_(stream), data_(data) {}
    uint64_t Bits() const { return uint64_t(bytes_) * 8; }
    bool More() const { return !done_ && !cut_; }
    // The stream ended before the terminator.
    bool Cut() const { return cut_; }

    // Keeps the bytes from bit position on, moved to the front, and reads
    // sub-blocks behind them while they fit; answers where the bit
    // position is now.
    __attribute__((noinline)) uint64_t Fill(uint64_t bitPos) {
        const size_t from = std::min<size_t>(size_t(bitPos >> 3), bytes_);
        std::memmove(data_, data_ + from, bytes_ - from);
        bytes_ -= from;
        while (More() && bytes_ + 255 <= DataSize) {
            uint8_t size;
            if (stream_.Read(&size, 1) != 1) {
                cut_ = true;
            } else if (size == 0) {
                done_ = true;
            } else {
                int64_t got = stream_.Read(data_ + bytes_, size);
                bytes_ += size_t(got > 0 ? got : 0);
                if (got < size) cut_ = true;
            }
        }
        std::memset(data_ + bytes_, 0, DataSlack);
        return bitPos - uint64_t(from) * 8;
    }

    // Passes over the sub-blocks the codes did not need.
    void SkipRest() {
        uint8_t skip[255];
        while (More()) {
            uint8_t size;
            if (stream_.Read(&size, 1) != 1)
                cut_ = true;
            else if (size == 0)
                done_ = true;
            else if (stream_.Read(skip, size) < size)
                cut_ = true;
        }
    }

private:
    TStream& stream_;
    uint8_t* data_;
    size_t bytes_ = 0;
    bool done_ = false, cut_ = false;
};

enum class End { Full, EndCode, OutOfData, BadCode };

inline void Store8(uint8_t* dst, uint64_t v) { std::memcpy(dst, &v, 8); }
inline void Copy8(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 8); }
inline void Copy16(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 16); }

// Decodes codes from the reader's data into out[0, total) in the order they
// come. Answers how it stopped and sets opOut to the number of pixels
// written. The loop's carried values would otherwise be packed into vector
// registers and unpacked again on every code, which costs more than it saves.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-slp-vectorize")))
#endif
End Decode(Workspace& w, BlockReader& reader, int minSize, uint8_t* out, size_t total, size_t& opOut) {
    Table& t = w.table;
    const uint8_t* const data = w.data;
    const uint32_t clear = 1u << minSize;
    uint64_t bitEnd = reader.Bits();
    for (uint32_t i = 0; i < clear; ++i) {
        t.head[i] = i & 0xFF;
        t.len[i] = 1;
    }
    t.len[clear] = t.len[clear + 1] = 0;

    uint64_t bitPos = 0;
    uint32_t width = 0, limit = 0, nextFree = 0;
    size_t op = 0;
    // The code before and where its string was written: a new entry is
    // that string and the first value of the current one. Its head and
    // length are read again from the table rather than kept in registers.
    uint32_t oldCode = 0, oldPos = 0;
    End end = End::Full;

    // Every code is taken from one 4-byte load: a code of at most 12 bits
    // starting anywhere in a byte ends within the fourth byte.
    auto fetch = [&](uint32_t& code) __attribute__((always_inline)) -> bool {
        if (bitPos + width > bitEnd) [[unlikely]] {
            if (!reader.More()) return false;
            bitPos = reader.Fill(bitPos);
            bitEnd = reader.Bits();
            if (bitPos + width > bitEnd) return false;
        }
        uint32_t v;
        std::memcpy(&v, data + (bitPos >> 3), 4);
        code = (v >> (bitPos & 7)) & (limit - 1);
        bitPos += width;
        return true;
    };
    // After a clear (and at the start, where a clear is implied) the table
    // holds the roots only, and the next code must be one of them.
    auto restart = [&]() __attribute__((always_inline)) -> bool {
        width = uint32_t(minSize) + 1;
        limit = 1u << width;
        nextFree = clear + 2;
        uint32_t code;
        do {
            if (!fetch(code)) {
                end = End::OutOfData;
                return false;
            }
        } while (code == clear);
        if (code == clear + 1) {
            end = End::EndCode;
            return false;
        }
        if (code > clear) {
            end = End::BadCode;
            return false;
        }
        oldCode = code;
        oldPos = uint32_t(op);
        out[op++] = uint8_t(code);
        if (op == total) {
            end = End::Full;
            return false;
        }
        return true;
    };

    if (total == 0 || !restart()) {
        opOut = op;
        return end;
    }
    for (;;) {
        uint32_t code;
        if (!fetch(code)) {
            end = End::OutOfData;
            break;
        }
        uint64_t head;
        uint32_t len;
        // Where a long string is copied from; a table entry's is looked
        // up only when its string is long.
        uint32_t from = code;
        bool known = code < nextFree;
        if (known) [[likely]] {
            head = t.head[code];
            len = t.len[code];
            if (len == 0) [[unlikely]] {
                if (code == clear && restart()) continue;
                if (code != clear) end = End::EndCode;
                break;
            }
        } else if (code == nextFree) {
            // The string the table is about to get: the old string and its
            // own first value.
            const uint64_t oldHead = t.head[oldCode];
            const uint32_t oldLen = t.len[oldCode];
            head = oldLen < 8 ? oldHead | (oldHead & 0xFF) << (8 * oldLen) : oldHead;
            len = oldLen + 1;
            from = oldPos;
        } else {
            end = End::BadCode;
            break;
        }
        const size_t here = op;
        uint8_t* dst = out + op;
        if (len + 16 <= total - op) [[likely]] {
            // Whole words, up to 15 bytes past the string: they lie in
            // output not written yet, which later strings overwrite.
            Store8(dst, head);
            if (len > 8) [[unlikely]] {
                const uint8_t* src = out + (known ? t.pos[from] : from);
                // A string right after its own first copy (the code the
                // table is about to get) overlaps it: small steps then.
                if (dst - src >= 16)
                    for (uint32_t i = 8; i < len; i += 16) Copy16(dst + i, src + i);
                else
                    for (uint32_t i = 8; i < len; i += 8) Copy8(dst + i, src + i);
            }
            op += len;
        } else {
            // The last pixels of the frame: byte by byte, never past it.
            const size_t n = std::min<size_t>(len, total - op);
            const uint32_t pos = known && len > 8 ? t.pos[from] : from;
            for (size_t i = 0; i < n; ++i) dst[i] = i < 8 ? uint8_t(head >> (8 * i)) : out[pos + i];
            op += n;
            if (op == total) break;
        }
        if (nextFree < TableSize) [[likely]] {
            const uint64_t oldHead = t.head[oldCode];
            const uint32_t oldLen = t.len[oldCode];
            t.head[nextFree] = oldLen < 8 ? oldHead | (head & 0xFF) << (8 * oldLen) : oldHead;
            t.len[nextFree] = oldLen + 1;
            t.pos[nextFree] = oldPos;
            ++nextFree;
            if (nextFree >= limit && limit < TableSize) [[unlikely]] {
                ++width;
                limit <<= 1;
            }
        }
        oldCode = code;
        oldPos = uint32_t(here);
    }
    opOut = op;
    return end;
}

// Moves rows decoded in the four-pass order to their places, in place:
// each row is copied once, following the cycles of the reordering.
void Deinterlace(uint8_t* pixels, int width, int height) {
    const uint32_t h = uint32_t(height);
    const uint32_t n0 = (h + 7) / 8, n1 = (h + 3) / 8, n2 = (h + 1) / 4;
    // Where the row shown at q was decoded.
    auto source = [&](uint32_t q) -> uint32_t {
        if (q % 8 == 0) return q / 8;
        if (q % 8 == 4) return n0 + q / 8;
        if (q % 4 == 2) return n0 + n1 + q / 4;
        return n0 + n1 + n2 + q / 2;
    };
    const size_t w = size_t(width);
    std::unique_ptr<uint64_t[]> done(new uint64_t[(h + 63) / 64]());
    std::unique_ptr<uint8_t[]> held(new uint8_t[w]);
    for (uint32_t start = 0; start < h; ++start) {
        if (done[start / 64] >> (start % 64) & 1) continue;
        uint32_t from = source(start);
        if (from == start) continue;
        std::memcpy(held.get(), pixels + start * w, w);
        uint32_t q = start;
        while (from != start) {
            std::memcpy(pixels + q * w, pixels + from * w, w);
            done[q / 64] |= uint64_t(1) << (q % 64);
            q = from;
            from = source(q);
        }
        std::memcpy(pixels + q * w, held.get(), w);
        done[q / 64] |= uint64_t(1) << (q % 64);
    }
}

} // namespace

void DeinterlaceRows(uint8_t* pixels, int width, int height) {
    if (width > 0 && height > 0) Deinterlace(pixels, width, height);
}

void DecodeGIFImageData(TStream& stream, uint8_t* pixels, int width, int height, bool interlaced, uint8_t prefill,
                        const GIFWarningSink& warn, int64_t capacity) {
    size_t total = (width > 0 && height > 0) ? size_t(width) * size_t(height) : 0;
    const bool whole = capacity < 0 || size_t(capacity) >= total;
    const bool any = total > 0;
    if (!whole) total = size_t(capacity);
    uint8_t minSize;
    if (stream.Read(&minSize, 1) != 1) {
        if (total) std::memset(pixels, prefill, total);
        if (any && warn) warn(msg::PrematureEnd);
        return;
    }
    if (minSize > 11)
        throw GIFException("Invalid LZW minimum code size " + std::to_string(minSize) + " (at most 11)");
    // A frame of fewer pixels than the table has entries touches a few
    // pages of it: ordinary ones cost less then than a fresh huge page.
    TGIFPixels memory = NewPixelBuffer(sizeof(Workspace), total >= TableSize);
    if (!memory) throw GIFException("Out of memory for the decoder");
    Workspace& w = *reinterpret_cast<Workspace*>(memory.get());
    BlockReader reader(stream, w.data);
    reader.Fill(0);
    size_t op = 0;
    End end = Decode(w, reader, minSize, pixels, total, op);
    reader.SkipRest();
    if (op < total) std::memset(pixels + op, prefill, total - op);
    // One warning for a frame whose data is cut short or damaged; an end
    // code before the last pixel is how an encoder says the rest is left
    // as it was.
    if (warn) {
        if (reader.Cut())
            warn(msg::PrematureEnd);
        else if (end == End::BadCode)
            warn(msg::BadData);
        else if (end == End::OutOfData)
            warn(msg::BufferUnderrun);
    }
    if (interlaced && total && whole) Deinterlace(pixels, width, height);
}

} // namespace xpGif10

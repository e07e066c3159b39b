#include "xpGif10/GifDecoder.h"
#include "xpGif10/GifTypes.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace xpGif10 {

using namespace platform;

namespace {

constexpr uint32_t TableSize = 4096;
// Zero bytes kept after the gathered data, so a code is always taken with
// one 4-byte load.
constexpr size_t DataSlack = 8;

// A code's string: its first (up to) 8 bytes packed little-endian in head,
// and for longer strings where it was last written in the output. Every
// entry below the next free code is a string that lies in the output, since
// a code the table does not have yet ends the data.
struct Entry {
    uint64_t head;
    uint32_t pos;
    uint32_t len;
};
static_assert(std::endian::native == std::endian::little, "string heads are written as little-endian words");

// What a thread keeps from one frame to the next, so decoding asks the
// system for no fresh memory once it has run: the string table and the
// frame's data bytes gathered from their sub-blocks.
struct Workspace {
    Entry table[TableSize];
    uint8_t* data = nullptr;
    size_t capacity = 0;
    ~Workspace() { std::free(data); }

    // Room for n data bytes and the slack behind them.
    void Reserve(size_t n) {
        if (n + DataSlack <= capacity) return;
        size_t want = std::max(n + DataSlack, capacity * 2);
        auto* grown = static_cast<uint8_t*>(std::realloc(data, want));
        if (!grown) throw std::bad_alloc();
        data = grown;
        capacity = want;
    }
    // A picture with very much data leaves no large buffer behind.
    void Trim() {
        if (capacity <= (size_t(4) << 20)) return;
        std::free(data);
        data = nullptr;
        capacity = 0;
    }
};

Workspace& ThreadWorkspace() {
    thread_local std::unique_ptr<Workspace> workspace;
    if (!workspace) workspace.reset(new Workspace);
    return *workspace;
}

// Reads the frame's data sub-blocks, whatever their sizes, up to the block
// terminator, so the stream is left at the next block however the codes
// end. Answers the number of data bytes; complete is false when the stream
// ended first.
size_t GatherBlocks(TStream& stream, Workspace& w, bool& complete) {
    size_t n = 0;
    complete = false;
    for (;;) {
        uint8_t size;
        if (stream.Read(&size, 1) != 1) break;
        if (size == 0) {
            complete = true;
            break;
        }
        w.Reserve(n + size);
        int64_t got = stream.Read(w.data + n, size);
        n += size_t(got > 0 ? got : 0);
        if (got < size) break;
    }
    w.Reserve(n);
    std::memset(w.data + n, 0, DataSlack);
    return n;
}

enum class End { Full, EndCode, OutOfData, BadCode };

inline void Store8(uint8_t* dst, uint64_t v) { std::memcpy(dst, &v, 8); }
inline void Copy8(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 8); }
inline void Copy16(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 16); }

// Decodes codes from data into out[0, total) in the order they come.
// Answers how it stopped and sets op to the number of pixels written.
End Decode(Entry* table, const uint8_t* data, size_t bytes, int minSize, uint8_t* out, size_t total, size_t& opOut) {
    const uint32_t clear = 1u << minSize;
    const uint64_t bitEnd = uint64_t(bytes) * 8;
    for (uint32_t i = 0; i < clear; ++i) table[i] = Entry{i & 0xFF, 0, 1};

    uint64_t bitPos = 0;
    uint32_t width = 0, limit = 0, nextFree = 0;
    size_t op = 0;
    // The string of the code before: a new entry is it plus the first
    // value of the current string.
    uint64_t oldHead = 0;
    uint32_t oldPos = 0, oldLen = 0;
    End end = End::Full;

    // Every code is taken from one 4-byte load: a code of at most 12 bits
    // starting anywhere in a byte ends within the fourth byte.
    auto fetch = [&](uint32_t& code) __attribute__((always_inline)) -> bool {
        if (bitPos + width > bitEnd) return false;
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
        oldHead = code;
        oldPos = uint32_t(op);
        oldLen = 1;
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
        uint32_t pos, len;
        if (code < nextFree) {
            if (code - clear < 2) [[unlikely]] {
                if (code == clear && restart()) continue;
                if (code != clear) end = End::EndCode;
                break;
            }
            const Entry e = table[code];
            head = e.head;
            pos = e.pos;
            len = e.len;
        } else if (code == nextFree) {
            // The string the table is about to get: the old string and its
            // own first value.
            head = oldLen < 8 ? oldHead | (oldHead & 0xFF) << (8 * oldLen) : oldHead;
            pos = oldPos;
            len = oldLen + 1;
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
            if (len > 8) {
                const uint8_t* src = out + pos;
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
            size_t n = std::min<size_t>(len, total - op);
            for (size_t i = 0; i < n; ++i) dst[i] = i < 8 ? uint8_t(head >> (8 * i)) : out[pos + i];
            op += n;
            if (op == total) break;
        }
        if (nextFree < TableSize) {
            Entry& ne = table[nextFree];
            ne.head = oldLen < 8 ? oldHead | (head & 0xFF) << (8 * oldLen) : oldHead;
            ne.pos = oldPos;
            ne.len = oldLen + 1;
            ++nextFree;
            if (nextFree >= limit && limit < TableSize) {
                ++width;
                limit <<= 1;
            }
        }
        oldHead = head;
        oldPos = uint32_t(here);
        oldLen = len;
    }
    opOut = op;
    return end;
}

// Moves rows decoded in the four-pass order to their places, in place:
// each row is copied once, following the cycles of the reordering.
void Deinterlace(uint8_t* pixels, int width, int height) {
    const uint32_t h = uint32_t(height);
    const uint32_t n0 = (h + 7) / 8, n1 = (h + 3) / 8, n2 = (h + 1) / 4;
    // Where the rows shown at row q were decoded.
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

void DecodeGIFImageData(TStream& stream, uint8_t* pixels, int width, int height, bool interlaced, uint8_t prefill,
                        const GIFWarningSink& warn) {
    const size_t total = (width > 0 && height > 0) ? size_t(width) * size_t(height) : 0;
    uint8_t minSize;
    if (stream.Read(&minSize, 1) != 1) {
        if (total) std::memset(pixels, prefill, total);
        if (total && warn) warn(msg::PrematureEnd);
        return;
    }
    if (minSize > 11)
        throw GIFException("Invalid LZW minimum code size " + std::to_string(minSize) + " (at most 11)");
    Workspace& w = ThreadWorkspace();
    bool complete;
    const size_t bytes = GatherBlocks(stream, w, complete);
    size_t op = 0;
    End end = Decode(w.table, w.data, bytes, minSize, pixels, total, op);
    w.Trim();
    if (op < total) std::memset(pixels + op, prefill, total - op);
    // One warning for a frame whose data is cut short or damaged; an end
    // code before the last pixel is how an encoder says the rest is left
    // as it was.
    if (warn) {
        if (!complete)
            warn(msg::PrematureEnd);
        else if (end == End::BadCode)
            warn(msg::BadData);
        else if (end == End::OutOfData)
            warn(msg::BufferUnderrun);
    }
    if (interlaced && total) Deinterlace(pixels, width, height);
}

} // namespace xpGif10

#include "xpGif10/GifDecoder.h"
#include "xpGif10/GifTypes.h"

#include <bit>
#include <cstring>
#include <memory>
#include <vector>

namespace xpGif10 {

using namespace platform;

namespace {

constexpr int TableSize = 4096;

// An entry's string for the fast path: its first (up to) 8 bytes packed
// little-endian in head, and for longer strings where it last appeared in
// the output. fixed = both are exactly the table's string.
struct Entry {
    uint64_t head;
    uint32_t pos;
    uint16_t len;
    uint16_t fixed;
};
static_assert(std::endian::native == std::endian::little, "string heads are written as little-endian words");

// All decoder state of one frame, allocated once per frame.
struct DecoderState {
    // String table as the format defines it.
    uint16_t prefix[TableSize];
    uint16_t suffix[TableSize];
    // For the fast path: where the entry's string lies in the output and how
    // long it is; fixed = the string there is exactly the table's string.
    Entry entry[TableSize];
    // Walk stack of the slow path: a string is at most one entry per table
    // slot plus the pushed first code.
    uint16_t stack[TableSize + 2];
    // Two carried bytes, up to 255 data bytes, and slack so a code can be
    // taken with one 4-byte load.
    uint8_t buffer[2 + 255 + 7];
};

class Decoder {
public:
    Decoder(TStream& stream, const GIFWarningSink& warn) : stream_(stream), warn_(warn), s_(new DecoderState) {
        std::memset(s_->buffer, 0, sizeof s_->buffer);
    }

    void Init(int minSize) {
        minSize_ = minSize;
        clear_ = 1 << minSize;
        end_ = clear_ + 1;
        width_ = minSize + 1;
        threshold_ = 2 * clear_;
        nextFree_ = clear_ + 2;
        // Roots never change; the clear and end codes have no string.
        for (int i = 0; i < clear_; ++i) s_->entry[i] = Entry{static_cast<uint8_t>(i), 0, 1, 1};
        s_->entry[clear_] = s_->entry[end_] = Entry{0, 0, 0, 0};
    }
    void Run(uint8_t* out, size_t total, uint8_t prefill);

private:
    int Fetch();
    bool Refill();
    void SkipBlocks();
    void ResetTable();
    // Walks the table for code k the way the format's decoder does, leaving
    // the string reversed on the stack; answers its length and sets first_.
    int Walk(int k);
    void AddEntry(uint32_t oldPos);
    void ExtraValue(bool pending);

    TStream& stream_;
    const GIFWarningSink& warn_;
    std::unique_ptr<DecoderState> s_;

    int minSize_ = 0, clear_ = 0, end_ = 0;
    int width_ = 0, threshold_ = 0, nextFree_ = 0;
    int first_ = 0, old_ = 0;
    bool firstCall_ = true, dataEnded_ = false, noMore_ = false;
    int bitPos_ = 0, validBits_ = 0, validBytes_ = 2;
};

bool Decoder::Refill() {
    uint8_t* buf = s_->buffer;
    buf[0] = buf[validBytes_ - 2];
    buf[1] = buf[validBytes_ - 1];
    uint8_t size;
    if (stream_.Read(&size, 1) != 1) return false;
    int s = size;
    if (s > 0) {
        int64_t got = stream_.Read(buf + 2, s);
        if (got < s) {
            if (warn_) warn_(msg::PrematureEnd);
            s = static_cast<int>(got);
        }
    }
    if (s == 0) {
        dataEnded_ = true;
        noMore_ = true;
    }
    validBytes_ = s + 2;
    bitPos_ = bitPos_ - validBits_ + 16;
    validBits_ = (s + 2) * 8;
    return true;
}

inline int Decoder::Fetch() {
    if (firstCall_) {
        firstCall_ = false;
        return clear_;
    }
    if (bitPos_ + width_ >= validBits_) {
        if (noMore_) {
            if (bitPos_ >= validBits_ && warn_) warn_(msg::BufferUnderrun);
            return -1;
        }
        if (!Refill()) return -1;
    }
    const uint8_t* p = s_->buffer + (bitPos_ >> 3);
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    int code = static_cast<int>((v >> (bitPos_ & 7)) & ((1u << width_) - 1));
    bitPos_ += width_;
    return code;
}

void Decoder::SkipBlocks() {
    uint8_t size;
    std::vector<uint8_t> scratch(255);
    while (stream_.Read(&size, 1) == 1 && size != 0)
        if (stream_.Read(scratch.data(), size) < size) break;
    // The terminator is behind us: whatever is asked of the decoder from now
    // on must not read the blocks that follow the frame.
    dataEnded_ = true;
    noMore_ = true;
}

// A clear empties the table. Entries from the next free code on count as
// (prefix 0, suffix 0) without being touched: the walk below treats them so,
// and the fast path only looks at entries below the next free code, which
// were all written since the clear. So a clear costs nothing per entry.
void Decoder::ResetTable() {
    width_ = minSize_ + 1;
    threshold_ = 2 * clear_;
    nextFree_ = clear_ + 2;
}

int Decoder::Walk(int k) {
    int sp = 0;
    int code = k;
    if (k >= nextFree_) {
        s_->stack[sp++] = static_cast<uint16_t>(first_);
        code = old_;
    }
    // An acyclic chain visits each table slot at most once; a longer walk
    // means the entries form a loop, which would never end.
    int steps = 0;
    while (code >= clear_) {
        int prefix = 0, suffix = 0;  // the clear and end codes, and free entries
        if (code >= clear_ + 2 && code < nextFree_) {
            prefix = s_->prefix[code];
            suffix = s_->suffix[code];
        }
        if (prefix == code || ++steps > TableSize) throw GIFException(msg::CircularEntry);
        s_->stack[sp++] = static_cast<uint16_t>(suffix);
        code = prefix;
    }
    first_ = code;  // a root is its own suffix
    s_->stack[sp++] = static_cast<uint16_t>(first_);
    return sp;
}

// Table growth as the pixel loop does it, for the value taken after the loop
// (nothing is written there, so the entry is only marked as not copyable).
void Decoder::AddEntry(uint32_t) {
    int e = nextFree_;
    if (e > TableSize - 1) return;
    s_->prefix[e] = static_cast<uint16_t>(old_);
    s_->suffix[e] = static_cast<uint16_t>(first_);
    s_->entry[e].fixed = 0;
    ++nextFree_;
    if (nextFree_ >= threshold_ && threshold_ <= TableSize - 1) {
        threshold_ *= 2;
        ++width_;
    }
}

// The value the format's decoder takes after the pixel loop, so that an end
// code that follows makes it skip to the block terminator. Nothing is stored.
void Decoder::ExtraValue(bool pending) {
    if (pending) return;  // the value would come from the pending string
    int code = Fetch();
    if (code < 0) return;
    if (code == clear_) {
        ResetTable();
        do code = Fetch();
        while (code == clear_);
        first_ = old_ = code;
        return;
    }
    if (code == end_) {
        if (!dataEnded_) SkipBlocks();
        return;
    }
    Walk(code);
    AddEntry(0);
    old_ = code;
}

// The loop's carried values would otherwise be packed into vector registers
// and unpacked again on every code, which costs more than it saves.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-slp-vectorize")))
#endif
void Decoder::Run(uint8_t* out, size_t total, uint8_t prefill) {
    size_t op = 0;
    bool pending = false;
    uint32_t oldPos = 0;
    // Length of the old code's output when that output is its table string
    // for good (so a new entry may point at it), else 0.
    uint32_t oldLen = 0;
    uint64_t oldHead = 0;
    DecoderState& s = *s_;
    bool ended = false;

    // The hot state lives in locals: stores into the output may alias any
    // member, and the compiler would reload them after every pixel written.
    // The members are brought up to date around every slow step.
    int bitPos, validBits, width, nextFree, threshold, first, old;
    const int clear = clear_, endCode = end_;
    auto load = [&] {
        bitPos = bitPos_;
        validBits = validBits_;
        width = width_;
        nextFree = nextFree_;
        threshold = threshold_;
        first = first_;
        old = old_;
    };
    auto save = [&] {
        bitPos_ = bitPos;
        validBits_ = validBits;
        width_ = width;
        nextFree_ = nextFree;
        threshold_ = threshold;
        first_ = first;
        old_ = old;
    };
    auto fetch = [&]() __attribute__((always_inline)) -> int {
        if (bitPos + width < validBits) {
            uint32_t v;
            std::memcpy(&v, s.buffer + (bitPos >> 3), 4);
            int code = static_cast<int>((v >> (bitPos & 7)) & ((1u << width) - 1));
            bitPos += width;
            return code;
        }
        save();
        int code = Fetch();
        load();
        return code;
    };
    // Writes a string: up to 8 bytes straight from its head (no load from
    // output just written, which would stall), longer ones copied from where
    // they appeared before. Up to 7 bytes past the string may be written:
    // they lie in output not yet produced and are overwritten (or set back
    // to the pre-fill) later.
    auto emit = [&](uint64_t head, const uint8_t* src, size_t n) __attribute__((always_inline)) {
        const size_t room = total - op;
        if (n <= 8) {
            if (room >= 8) {
                std::memcpy(out + op, &head, 8);
                op += n;
            } else if (n <= room) {
                std::memcpy(out + op, &head, n);
                op += n;
            } else {
                std::memcpy(out + op, &head, room);
                op = total;
                pending = true;
            }
            return;
        }
        if (n + 8 <= room) {
            uint8_t* dst = out + op;
            size_t i = 0;
            do {
                uint64_t v;
                std::memcpy(&v, src + i, 8);
                std::memcpy(dst + i, &v, 8);
                i += 8;
            } while (i < n);
            op += n;
        } else if (n <= room) {
            std::memcpy(out + op, src, n);
            op += n;
        } else {
            std::memcpy(out + op, src, room);
            op = total;
            pending = true;
        }
    };
    load();

    while (op < total) {
        int code = fetch();
        if (code < 0) {
            ended = true;
            break;
        }
        if (code == clear) {
            save();
            ResetTable();
            load();
            do code = fetch();
            while (code == clear);
            if (code < 0) {
                ended = true;
                break;
            }
            // The code after a clear is a pixel value as it stands.
            first = old = code;
            oldPos = static_cast<uint32_t>(op);
            oldLen = code < clear ? 1 : 0;
            oldHead = static_cast<uint8_t>(code);
            out[op++] = static_cast<uint8_t>(code);
            continue;
        }
        if (code == endCode) {
            save();
            if (!dataEnded_) SkipBlocks();
            load();
            ended = true;
            break;
        }
        const int k = code;
        const uint32_t here = static_cast<uint32_t>(op);
        uint32_t curLen;
        uint64_t curHead = 0;
        if (k < nextFree && s.entry[k].fixed) {
            // Roots and every plain string take this path.
            const Entry e = s.entry[k];
            emit(e.head, out + e.pos, e.len);
            curLen = e.len;
            curHead = e.head;
            first = static_cast<uint8_t>(e.head);
        } else if (k >= nextFree && old >= 0 && old < nextFree && s.entry[old].fixed) {
            // A string not in the table yet: the old code's string followed
            // by its own first value.
            const Entry e = s.entry[old];
            const uint8_t f = static_cast<uint8_t>(first);
            const uint32_t n = e.len + 1u;
            const uint64_t head = e.len < 8 ? e.head | uint64_t(f) << (8 * e.len) : e.head;
            if (n <= 8) {
                emit(head, nullptr, n);
            } else {
                emit(e.head, out + e.pos, e.len);
                if (op < total)
                    out[op++] = f;
                else
                    pending = true;
            }
            curLen = k == nextFree ? n : 0;
            curHead = head;
            first = f;
        } else {
            save();
            int sp = Walk(k);
            load();
            curLen = 0;
            const size_t room = total - op;
            size_t n = static_cast<size_t>(sp);
            size_t take = n <= room ? n : room;
            for (size_t i = 0; i < take; ++i) out[op + i] = static_cast<uint8_t>(s.stack[sp - 1 - int(i)]);
            op += take;
            if (take < n) pending = true;
        }
        // The new entry: the old code's string plus this string's first
        // value. Its head is built from the old head; a longer string lies
        // in the output right where the old code was written, when that
        // output was the old code's true string.
        if (nextFree <= TableSize - 1) {
            const int e = nextFree;
            s.prefix[e] = static_cast<uint16_t>(old);
            s.suffix[e] = static_cast<uint16_t>(first);
            const uint64_t head = oldLen < 8 ? oldHead | uint64_t(first & 0xFF) << (8 * oldLen) : oldHead;
            // Field by field in general registers: packing the entry in a
            // vector register first costs more than the stores, and the
            // next code often reads this entry right back.
            Entry& ne = s.entry[e];
            ne.head = head;
            ne.pos = oldPos;
            ne.len = static_cast<uint16_t>(oldLen + 1);
            ne.fixed = static_cast<uint16_t>(oldLen != 0);
            ++nextFree;
            if (nextFree >= threshold && threshold <= TableSize - 1) {
                threshold *= 2;
                ++width;
            }
        }
        old = k;
        oldPos = here;
        oldLen = curLen;
        oldHead = curHead;
    }
    save();
    // Output past the last value may hold over-copied bytes: the pixels the
    // data did not reach keep the pre-fill.
    if (op < total) std::memset(out + op, prefill, total - op);
    // The value taken after the pixel loop; after a negative value nothing
    // is pending.
    ExtraValue(ended ? false : pending);
}

} // namespace

void DecodeGIFImageData(TStream& stream, uint8_t* pixels, int width, int height, bool interlaced, uint8_t prefill,
                        const GIFWarningSink& warn) {
    uint8_t minSize;
    if (stream.Read(&minSize, 1) != 1) {
        if (width > 0 && height > 0) std::memset(pixels, prefill, size_t(width) * size_t(height));
        return;
    }
    if (minSize > 11)
        throw GIFException("Invalid LZW minimum code size " + std::to_string(minSize) + " (at most 11)");
    Decoder d(stream, warn);
    d.Init(minSize);
    size_t total = (width > 0 && height > 0) ? size_t(width) * size_t(height) : 0;
    if (!interlaced || total == 0) {
        d.Run(pixels, total, prefill);
        return;
    }
    std::unique_ptr<uint8_t[]> linear(new uint8_t[total]);  // Run writes every byte
    d.Run(linear.get(), total, prefill);
    int i = 0;
    ForEachInterlacedRow(height, [&](int row) {
        std::memcpy(pixels + size_t(row) * width, linear.get() + size_t(i) * width, size_t(width));
        ++i;
    });
}

} // namespace xpGif10

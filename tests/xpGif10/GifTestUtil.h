#pragma once
// GIF streams built for the tests, apart from the library's own encoder:
// codes packed by hand, an LZW encoder that writes what other encoders may
// write (any minimum code size that holds the pixels, clear codes anywhere,
// a full table kept without a clear, data sub-blocks of any size), whole
// files around it, and a re-cutter that gives any file's image data other
// sub-block sizes. The fuzz seed maker uses them too, so nothing here needs
// the library.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace giftest {

using Bytes = std::vector<uint8_t>;

// Sizes of the data sub-blocks, in turn: a list that repeats, or a random
// size from 1 to 255 for every block when the list is empty.
struct BlockSizes {
    std::vector<int> cycle;
    uint32_t seed = 1;
};

// Cuts data into sub-blocks and adds the zero-length terminator unless told
// otherwise.
inline Bytes CutIntoBlocks(const Bytes& data, const BlockSizes& sizes, bool terminator = true) {
    Bytes out;
    std::mt19937 rng(sizes.seed);
    size_t turn = 0;
    for (size_t i = 0; i < data.size();) {
        size_t n = sizes.cycle.empty() ? 1 + rng() % 255 : size_t(sizes.cycle[turn++ % sizes.cycle.size()]);
        n = std::min(n, data.size() - i);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
        i += n;
    }
    if (terminator) out.push_back(0);
    return out;
}

// Packs codes of given widths least significant bit first.
class CodeWriter {
public:
    void Put(int code, int width) {
        bits_ |= uint64_t(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            bytes_.push_back(uint8_t(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    Bytes Bits() const {
        Bytes b = bytes_;
        if (count_ > 0) b.push_back(uint8_t(bits_));
        return b;
    }
    // The minimum code size byte and the packed codes in sub-blocks.
    Bytes Finish(uint8_t minCodeSize, bool terminator = true, int blockSize = 255) {
        Bytes out{minCodeSize};
        Bytes blocks = CutIntoBlocks(Bits(), BlockSizes{{blockSize}}, terminator);
        out.insert(out.end(), blocks.begin(), blocks.end());
        return out;
    }

private:
    Bytes bytes_;
    uint64_t bits_ = 0;
    int count_ = 0;
};

struct LzwOptions {
    int minCodeSize = 8;
    double clearChance = 0;     // a clear code after any code, at this chance
    bool clearWhenFull = true;  // false: go on at 12 bits with the full table
    bool leadingClear = true;   // false: the data starts with a code (a clear is implied)
    bool endCode = true;        // false: the codes just stop
    uint32_t seed = 1;
};

// LZW codes for the values in the order given (interlaced frames give their
// rows in pass order), ending with the end code unless told otherwise;
// without the code size byte and unblocked.
inline Bytes LzwCodes(const Bytes& values, const LzwOptions& o) {
    const int clear = 1 << o.minCodeSize, end = clear + 1;
    std::mt19937 rng(o.seed);
    std::uniform_real_distribution<double> chance(0, 1);
    std::unordered_map<uint32_t, int> table;
    int next = clear + 2, width = o.minCodeSize + 1;
    CodeWriter w;
    auto reset = [&] {
        w.Put(clear, width);
        table.clear();
        next = clear + 2;
        width = o.minCodeSize + 1;
    };
    // Every code but the first after a clear gives the reader a new entry;
    // the writer's count runs one ahead, as it knows the entry a code early.
    auto put = [&](int code) {
        w.Put(code, width);
        if (next < 4096) ++next;
        if (next > (1 << width) && width < 12) ++width;
    };
    if (o.leadingClear) reset();
    if (!values.empty()) {
        int prefix = values[0];
        for (size_t i = 1; i < values.size(); ++i) {
            uint32_t key = uint32_t(prefix) << 8 | values[i];
            auto found = table.find(key);
            if (found != table.end()) {
                prefix = found->second;
                continue;
            }
            w.Put(prefix, width);
            if (next < 4096) {
                table[key] = next++;
                if (next > (1 << width) && width < 12) ++width;
            }
            if ((next == 4096 && o.clearWhenFull) || chance(rng) < o.clearChance) reset();
            prefix = values[i];
        }
        put(prefix);
    }
    if (o.endCode) w.Put(end, width);
    return w.Bits();
}

// A frame of a test file. Pixels in display order, width x height of them
// (more make the data hold codes past the frame's last pixel).
struct TestFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int localBits = 0;  // a local table of 2^localBits colours, 0 for none
    Bytes pixels;
    LzwOptions lzw;
    BlockSizes blocks;
    Bytes before;  // blocks written before the descriptor (extensions)
};

// A colour table of 2^bits entries that is no grey ramp, so every reader
// keeps the indices.
inline Bytes ColorTable(int bits, int salt = 0) {
    Bytes b;
    for (int i = 0; i < (1 << bits); ++i) {
        b.push_back(uint8_t(i * 37 + salt));
        b.push_back(uint8_t(i * 91 + 7));
        b.push_back(uint8_t(i * 53 + 200 - salt));
    }
    return b;
}

inline void PutWord(Bytes& b, int v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// Pixel values in the order they are coded.
inline Bytes StreamOrder(const TestFrame& f) {
    if (!f.interlaced) return f.pixels;
    Bytes out;
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int row = start[pass]; row < f.height; row += step[pass])
            out.insert(out.end(), f.pixels.begin() + long(row) * f.width,
                       f.pixels.begin() + long(row + 1) * f.width);
    out.insert(out.end(), f.pixels.begin() + long(f.width) * f.height, f.pixels.end());
    return out;
}

// A whole file: screen, global table of 2^globalBits colours (none for 0),
// the frames, the trailer.
inline Bytes MakeGif(int width, int height, int globalBits, const std::vector<TestFrame>& frames) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    PutWord(b, width);
    PutWord(b, height);
    b.push_back(uint8_t(globalBits ? 0xF0 | (globalBits - 1) : 0x70));
    b.push_back(0);
    b.push_back(0);
    Bytes table = globalBits ? ColorTable(globalBits) : Bytes{};
    b.insert(b.end(), table.begin(), table.end());
    for (const TestFrame& f : frames) {
        b.insert(b.end(), f.before.begin(), f.before.end());
        b.push_back(0x2C);
        PutWord(b, f.left);
        PutWord(b, f.top);
        PutWord(b, f.width);
        PutWord(b, f.height);
        b.push_back(uint8_t((f.localBits ? 0x80 | (f.localBits - 1) : 0) | (f.interlaced ? 0x40 : 0)));
        if (f.localBits) {
            Bytes local = ColorTable(f.localBits, 99);
            b.insert(b.end(), local.begin(), local.end());
        }
        b.push_back(uint8_t(f.lzw.minCodeSize));
        Bytes data = CutIntoBlocks(LzwCodes(StreamOrder(f), f.lzw), f.blocks);
        b.insert(b.end(), data.begin(), data.end());
    }
    b.push_back(0x3B);
    return b;
}

// Walks a file's data sub-blocks from at (a size byte) to the terminator;
// answers the bytes they hold and moves at past the terminator.
inline Bytes ReadBlocks(const Bytes& file, size_t& at) {
    Bytes data;
    while (at < file.size() && file[at] != 0) {
        size_t n = file[at];
        data.insert(data.end(), file.begin() + long(at + 1), file.begin() + long(std::min(file.size(), at + 1 + n)));
        at += 1 + n;
    }
    ++at;
    return data;
}

// The same file with every frame's image data cut into other sub-blocks;
// everything else byte for byte.
inline Bytes Recut(const Bytes& file, const BlockSizes& sizes) {
    size_t at = 13;
    if (file[10] & 0x80) at += size_t(3) << ((file[10] & 7) + 1);
    Bytes out(file.begin(), file.begin() + long(at));
    while (at < file.size() && file[at] != 0x3B) {
        size_t start = at;
        if (file[at] == 0x21) {
            at += 2;
            ReadBlocks(file, at);
            out.insert(out.end(), file.begin() + long(start), file.begin() + long(at));
        } else if (file[at] == 0x2C) {
            uint8_t packed = file[at + 9];
            at += 10;
            if (packed & 0x80) at += size_t(3) << ((packed & 7) + 1);
            ++at;  // minimum code size
            out.insert(out.end(), file.begin() + long(start), file.begin() + long(at));
            Bytes blocks = CutIntoBlocks(ReadBlocks(file, at), sizes);
            out.insert(out.end(), blocks.begin(), blocks.end());
        } else {
            break;
        }
    }
    out.insert(out.end(), file.begin() + long(std::min(at, file.size())), file.end());
    return out;
}

} // namespace giftest

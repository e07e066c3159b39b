#pragma once
// Helpers shared by the GIF tests: building code streams by hand and a plain
// reference decoder that produces one pixel at a time from a stack, the way
// the format's decoder is described, to check the fast decoder against.
#include "platform/Streams.h"
#include "xpGif10/GifTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

// Packs codes of given widths least significant bit first and cuts them into
// sub-blocks of at most blockSize bytes, ending with a zero-length block
// unless told otherwise.
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
    std::vector<uint8_t> Finish(uint8_t minCodeSize, bool terminator = true, int blockSize = 255) {
        if (count_ > 0) bytes_.push_back(uint8_t(bits_));
        std::vector<uint8_t> out{minCodeSize};
        for (size_t i = 0; i < bytes_.size(); i += size_t(blockSize)) {
            size_t n = std::min(bytes_.size() - i, size_t(blockSize));
            out.push_back(uint8_t(n));
            out.insert(out.end(), bytes_.begin() + long(i), bytes_.begin() + long(i + n));
        }
        if (terminator) out.push_back(0);
        return out;
    }

private:
    std::vector<uint8_t> bytes_;
    uint64_t bits_ = 0;
    int count_ = 0;
};

struct RefResult {
    std::vector<uint8_t> pixels;
    std::vector<std::string> warnings;
    int64_t position = 0;
    std::string error;
};

// The decoder as described: per-pixel stack, bit buffer with two carried
// bytes, the end code skipping to the terminator (after which the data counts
// as ended), and a walk longer than the table treated as a loop.
class ReferenceDecoder {
public:
    ReferenceDecoder(platform::TStream& s, std::vector<std::string>& w) : s_(s), warnings_(w) {}

    void Init(int m) {
        m_ = m;
        c_ = 1 << m;
        end_ = c_ + 1;
        width_ = m + 1;
        threshold_ = 2 * c_;
        nextFree_ = c_ + 2;
    }

    int Fetch() {
        if (firstCall_) {
            firstCall_ = false;
            return c_;
        }
        if (bitPos_ + width_ >= validBits_) {
            if (noMore_) {
                if (bitPos_ >= validBits_) warnings_.push_back(xpGif10::msg::BufferUnderrun);
                return -1;
            }
            buf_[0] = buf_[validBytes_ - 2];
            buf_[1] = buf_[validBytes_ - 1];
            uint8_t s;
            if (s_.Read(&s, 1) != 1) return -1;
            int size = s;
            int64_t remain = s_.Size() - s_.Position();
            if (size > 0 && remain < size) {
                warnings_.push_back(xpGif10::msg::PrematureEnd);
                size = int(remain);
            }
            s_.Read(buf_ + 2, size);
            if (size == 0) dataEnded_ = noMore_ = true;
            validBytes_ = size + 2;
            bitPos_ = bitPos_ - validBits_ + 16;
            validBits_ = (size + 2) * 8;
        }
        int code = 0;
        for (int b = 0; b < width_; ++b) {
            int bit = bitPos_ + b;
            code |= ((buf_[bit / 8] >> (bit % 8)) & 1) << b;
        }
        bitPos_ += width_;
        return code;
    }

    void Reset() {
        for (int i = 0; i < 4096; ++i) {
            prefix_[i] = 0;
            suffix_[i] = i < c_ ? i : 0;
        }
        width_ = m_ + 1;
        threshold_ = 2 * c_;
        nextFree_ = c_ + 2;
        stack_.clear();
    }

    int Next() {
        if (!stack_.empty()) {
            int v = stack_.back();
            stack_.pop_back();
            return v;
        }
        int code = Fetch();
        if (code < 0) return code;
        if (code == c_) {
            Reset();
            do code = Fetch();
            while (code == c_);
            first_ = old_ = code;
            return code;
        }
        if (code == end_) {
            if (!dataEnded_) {
                uint8_t s;
                std::vector<uint8_t> skip(255);
                while (s_.Read(&s, 1) == 1 && s != 0)
                    if (s_.Read(skip.data(), s) < s) break;
                dataEnded_ = noMore_ = true;
            }
            return -2;
        }
        int incoming = code;
        if (code >= nextFree_) {
            stack_.push_back(first_);
            code = old_;
        }
        int steps = 0;
        while (code >= c_) {
            if (prefix_[code] == code || ++steps > 4096) throw xpGif10::GIFException(xpGif10::msg::CircularEntry);
            stack_.push_back(suffix_[code]);
            code = prefix_[code];
        }
        first_ = suffix_[code];
        stack_.push_back(first_);
        if (nextFree_ <= 4095) {
            prefix_[nextFree_] = old_;
            suffix_[nextFree_] = first_;
            ++nextFree_;
            if (nextFree_ >= threshold_ && threshold_ <= 4095) {
                threshold_ *= 2;
                ++width_;
            }
        }
        old_ = incoming;
        int v = stack_.back();
        stack_.pop_back();
        return v;
    }

private:
    platform::TStream& s_;
    std::vector<std::string>& warnings_;
    int m_ = 0, c_ = 0, end_ = 0, width_ = 0, threshold_ = 0, nextFree_ = 0;
    int prefix_[4096] = {}, suffix_[4096] = {};
    std::vector<int> stack_;
    int first_ = 0, old_ = 0;
    uint8_t buf_[2 + 255 + 8] = {};
    int bitPos_ = 0, validBits_ = 0, validBytes_ = 2;
    bool firstCall_ = true, dataEnded_ = false, noMore_ = false;
};

inline RefResult ReferenceDecode(const std::vector<uint8_t>& data, int w, int h, bool interlaced, uint8_t prefill) {
    RefResult r;
    r.pixels.assign(size_t(w) * h, prefill);
    platform::TMemoryStream s(data);
    uint8_t m;
    if (s.Read(&m, 1) != 1) {
        r.position = s.Position();
        return r;
    }
    ReferenceDecoder d(s, r.warnings);
    d.Init(m);
    try {
        if (!interlaced) {
            for (size_t i = 0; i < r.pixels.size(); ++i) {
                int v = d.Next();
                if (v < 0) break;
                r.pixels[i] = uint8_t(v);
            }
        } else {
            static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            bool stop = false;
            for (int p = 0; p < 4 && !stop; ++p)
                for (int row = start[p]; row < h && !stop; row += step[p])
                    for (int x = 0; x < w; ++x) {
                        int v = d.Next();
                        if (v < 0) {
                            stop = true;
                            break;
                        }
                        r.pixels[size_t(row) * w + x] = uint8_t(v);
                    }
        }
        d.Next();
    } catch (const xpGif10::GIFException& e) {
        r.error = e.what();
    }
    r.position = s.Position();
    return r;
}

} // namespace giftest

#pragma once
// The encoders of one frame's image data: a true LZW encoder with a hashed
// string table, and a run-length encoder that emits only codes any LZW
// decoder understands but never searches for repeated strings. Both write
// through the sub-block writer.
#include "platform/Streams.h"

#include <cstdint>
#include <memory>

namespace xpGif10 {

// A stream that only passes data on to the stream it wraps; reading, seeking
// and plain writing are not allowed on it.
class TGIFStream : public platform::TStream {
public:
    explicit TGIFStream(platform::TStream& stream) : stream_(stream) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, platform::SeekOrigin origin) override;
    void SetSize(int64_t size) override;

protected:
    platform::TStream& stream_;
};

// Cuts what is written into data sub-blocks of at most 255 bytes, each behind
// its size byte. Finish writes the last, partly filled sub-block.
class TGIFWriter : public TGIFStream {
public:
    explicit TGIFWriter(platform::TStream& stream) : TGIFStream(stream) {}
    int64_t Write(const void* buffer, int64_t count) override;
    void PutByte(uint8_t b) {
        buffer_[count_++] = b;
        dirty_ = true;
        if (count_ == 256) FlushFull();
    }
    void Finish();

private:
    void FlushFull();
    uint8_t buffer_[256] = {};
    int count_ = 1;
    bool dirty_ = false;
};

// 8009 slots (a prime) of key * 4096 + code, key = prefix * 256 + pixel; a
// slot whose upper 20 bits are all ones is empty.
class THashTable {
public:
    static constexpr int Size = 8009;
    THashTable();
    void Clear();
    void Insert(uint32_t key, int code);
    // The code stored for the key, or -1.
    int Lookup(uint32_t key) const;
    // Lookup that also answers where an insert of the key would go (-1 when
    // its probe cycle is full), so a miss is stored without probing again.
    int Lookup(uint32_t key, int& freeSlot) const {
        freeSlot = -1;
        int slot = Start(key);
        // The doubling sequence cycles after at most 4004 slots; the bound
        // keeps a full cycle from looping for ever.
        for (int probes = 0; probes < Size; ++probes) {
            const uint32_t e = table_[slot];
            const uint32_t k = e >> 12;
            if (k == key) return static_cast<int>(e & 0xFFF);
            if (k == 0xFFFFF) {
                freeSlot = slot;
                return -1;
            }
            slot = Next(slot);
        }
        return -1;
    }
    void InsertAt(int slot, uint32_t key, int code) {
        if (slot >= 0) table_[slot] = (key << 12) | static_cast<uint32_t>(code);
    }

private:
    // (key >> 4) ^ key modulo Size. The value is below 2^20, where one
    // multiply by the rounded-up reciprocal scaled by 2^40 gives the exact
    // quotient, which is shorter than the general division sequence; the
    // slot is on every pixel's dependency chain.
    static int Start(uint32_t key) {
        const uint32_t h = (key >> 4) ^ key;
        constexpr uint64_t Reciprocal = ((uint64_t(1) << 40) + Size - 1) / Size;
        const uint32_t q = static_cast<uint32_t>((uint64_t(h) * Reciprocal) >> 40);
        return static_cast<int>(h - q * uint32_t(Size));
    }
    // 2 * slot mod Size, without a division: slot is below Size.
    static int Next(int slot) {
        if (slot == 0) return Size - 1;
        int twice = 2 * slot;
        return twice >= Size ? twice - Size : twice;
    }
    std::unique_ptr<uint32_t[]> table_;
};

class TGIFEncoder {
public:
    virtual ~TGIFEncoder() = default;
    // Writes the minimum code size byte, the data sub-blocks and the block
    // terminator. A pixel value not below colorCount raises "Color not in
    // color table" and nothing more of the frame is written.
    void Encode(platform::TStream& stream, int bitsPerPixel, int colorCount, const uint8_t* data, bool interlaced,
                int height, int width);

protected:
    virtual void Compress() = 0;
    // Calls fn(row pointer) for every row in the walk's order.
    template <class Fn>
    void ForEachRow(Fn&& fn);
    void PutBits(int code) {
        bucket_ |= uint64_t(code) << bucketBits_;
        bucketBits_ += width_;
        while (bucketBits_ >= 8) {
            writer_->PutByte(static_cast<uint8_t>(bucket_));
            bucket_ >>= 8;
            bucketBits_ -= 8;
        }
    }
    [[noreturn]] void BadColor();
    virtual void OutputEnd();

    int bits_ = 2;            // b, the minimum code size written
    int initWidth_ = 3;
    int width_ = 3;
    int largest_ = 7;
    int clearCode_ = 4, endCode_ = 5, baseCode_ = 6;
    int colorCount_ = 0;
    int frameWidth_ = 0, frameHeight_ = 0;
    bool interlaced_ = false;
    const uint8_t* data_ = nullptr;
    uint64_t bucket_ = 0;
    int bucketBits_ = 0;
    bool clearFlag_ = false;
    TGIFWriter* writer_ = nullptr;
};

class TLZWEncoder : public TGIFEncoder {
protected:
    void Compress() override;
    void OutputEnd() override { Output(endCode_); }

private:
    void Output(int code);
    void Clear();
    int prefix_ = 0;
    int nextFree_ = 0;
    THashTable table_;
};

class TRLEEncoder : public TGIFEncoder {
protected:
    void Compress() override;

private:
    void OutputPlain(int code);
    void Clear();
    static int Cost(int count, int nrep);
    void FromClear(int count);
    void ClearOrRepeat(int count);
    void WithTable(int count);
    void Flush(int count);
    void ResetOutClear();

    int runPixel_ = -1;
    int tablePixel_ = -1;
    int tableMax_ = 0;
    int outCount_ = 0, outBump_ = 0, outClear_ = 0;
    int outBumpInit_ = 0, outClearInit_ = 0;
    int maxCodes_ = 0;
};

} // namespace xpGif10

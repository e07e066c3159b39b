#include "xpGif10/GifEncoder.h"
#include "xpGif10/GifDecoder.h"
#include "xpGif10/GifTypes.h"

#include <cmath>
#include <cstring>

namespace xpGif10 {

using namespace platform;

// ---- streams --------------------------------------------------------------------

int64_t TGIFStream::Read(void*, int64_t) { throw Exception(msg::InvalidStreamOperation); }
int64_t TGIFStream::Write(const void*, int64_t) { throw Exception(msg::InvalidStreamOperation); }
int64_t TGIFStream::Seek(int64_t, SeekOrigin) { throw Exception(msg::InvalidStreamOperation); }
void TGIFStream::SetSize(int64_t) { throw Exception(msg::InvalidStreamOperation); }

int64_t TGIFWriter::Write(const void* buffer, int64_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    for (int64_t i = 0; i < count; ++i) PutByte(p[i]);
    return count;
}

void TGIFWriter::FlushFull() {
    buffer_[0] = 255;
    stream_.WriteBuffer(buffer_, 256);
    count_ = 1;
    dirty_ = false;
}

void TGIFWriter::Finish() {
    if (dirty_ && count_ > 1) {
        buffer_[0] = static_cast<uint8_t>(count_ - 1);
        stream_.WriteBuffer(buffer_, count_);
    }
    count_ = 1;
    dirty_ = false;
}

// ---- hash table ---------------------------------------------------------------------

THashTable::THashTable() : table_(new uint32_t[Size]) { Clear(); }

void THashTable::Clear() { std::memset(table_.get(), 0xFF, sizeof(uint32_t) * Size); }

// The probe sequence doubles the slot modulo the prime; it cycles after at
// most 4004 slots, so the walk is bounded: a key whose cycle is full is
// simply not stored (the encoder then never uses that string, which costs
// compression, not correctness).
void THashTable::Insert(uint32_t key, int code) {
    int slot = Start(key);
    for (int probes = 0; probes < Size; ++probes) {
        if ((table_[slot] >> 12) == 0xFFFFF) {
            table_[slot] = (key << 12) | static_cast<uint32_t>(code);
            return;
        }
        slot = Next(slot);
    }
}

int THashTable::Lookup(uint32_t key) const {
    int unused;
    return Lookup(key, unused);
}

// ---- the common driver --------------------------------------------------------------

void TGIFEncoder::BadColor() { throw GIFException(msg::InvalidColor); }

template <class Fn>
void TGIFEncoder::ForEachRow(Fn&& fn) {
    if (!interlaced_) {
        for (int row = 0; row < frameHeight_; ++row) fn(data_ + size_t(row) * frameWidth_);
    } else {
        ForEachInterlacedRow(frameHeight_, [&](int row) { fn(data_ + size_t(row) * frameWidth_); });
    }
}

void TGIFEncoder::OutputEnd() { PutBits(endCode_); }

void TGIFEncoder::Encode(TStream& stream, int bitsPerPixel, int colorCount, const uint8_t* data, bool interlaced,
                         int height, int width) {
    bits_ = bitsPerPixel < 2 ? 2 : bitsPerPixel;
    if (bits_ > 8) bits_ = 8;
    stream.WriteByte(static_cast<uint8_t>(bits_));
    initWidth_ = width_ = bits_ + 1;
    largest_ = (1 << width_) - 1;
    clearCode_ = 1 << bits_;
    endCode_ = clearCode_ + 1;
    baseCode_ = clearCode_ + 2;
    colorCount_ = colorCount;
    frameWidth_ = width;
    frameHeight_ = height;
    interlaced_ = interlaced;
    data_ = data;
    bucket_ = 0;
    bucketBits_ = 0;
    clearFlag_ = false;
    TGIFWriter writer(stream);
    writer_ = &writer;
    if (data && height > 0 && width > 0) Compress();
    OutputEnd();
    if (bucketBits_ > 0) writer.PutByte(static_cast<uint8_t>(bucket_));
    bucket_ = 0;
    bucketBits_ = 0;
    writer.Finish();
    writer_ = nullptr;
    stream.WriteByte(0);
}

// ---- LZW ------------------------------------------------------------------------------

void TLZWEncoder::Output(int code) {
    PutBits(code);
    if (clearFlag_) {
        width_ = initWidth_;
        largest_ = (1 << width_) - 1;
        clearFlag_ = false;
    } else if (nextFree_ > largest_) {
        ++width_;
        largest_ = width_ == 12 ? 4096 : (1 << width_) - 1;
    }
}

void TLZWEncoder::Clear() {
    clearFlag_ = true;
    Output(clearCode_);
    table_.Clear();
    nextFree_ = clearCode_ + 2;
}

void TLZWEncoder::Compress() {
    nextFree_ = clearCode_ + 2;
    Clear();
    bool first = true;
    int prefix = 0;
    const int colors = colorCount_;
    ForEachRow([&](const uint8_t* row) {
        int x = 0;
        if (first) {
            if (row[0] >= colors) BadColor();
            prefix = row[0];
            first = false;
            x = 1;
        }
        for (; x < frameWidth_; ++x) {
            const int p = row[x];
            if (p >= colors) BadColor();
            const uint32_t key = (uint32_t(prefix) << 8) | uint32_t(p);
            int slot;
            const int code = table_.Lookup(key, slot);
            if (code >= 0) {
                prefix = code;
                continue;
            }
            Output(prefix);
            prefix = p;
            if (nextFree_ > 4094)
                Clear();
            else
                table_.InsertAt(slot, key, nextFree_++);
        }
    });
    Output(prefix);
    prefix_ = prefix;
}

// ---- run-length ------------------------------------------------------------------------

void TRLEEncoder::OutputPlain(int code) {
    clearFlag_ = false;
    PutBits(code);
    ++outCount_;
    if (outCount_ >= outBump_) {
        int old = width_;
        ++width_;
        outBump_ += 1 << old;
    }
    if (outCount_ >= outClear_) Clear();
}

void TRLEEncoder::Clear() {
    outBump_ = outBumpInit_;
    outClear_ = outClearInit_;
    outCount_ = 0;
    tableMax_ = 0;
    clearFlag_ = true;
    PutBits(clearCode_);
    width_ = initWidth_;
}

int TRLEEncoder::Cost(int count, int nrep) {
    int perRep = nrep * (nrep + 1) / 2;
    int cost = 0;
    if (perRep > 0) {
        cost += (count / perRep) * nrep;
        count %= perRep;
    }
    if (count > 0) {
        int n = static_cast<int>(std::sqrt(static_cast<double>(count)));
        while (n > 0 && n * (n + 1) >= 2 * count) --n;
        while (n * (n + 1) < 2 * count) ++n;
        cost += n;
    }
    return cost;
}

void TRLEEncoder::ResetOutClear() {
    outClear_ = outClearInit_;
    if (outCount_ >= outClear_) Clear();
}

void TRLEEncoder::FromClear(int count) {
    outClear_ = maxCodes_;
    tablePixel_ = runPixel_;
    int n = 1;
    while (count > 0) {
        if (n == 1) {
            tableMax_ = 1;
            OutputPlain(runPixel_);
            --count;
        } else if (count >= n) {
            tableMax_ = n;
            OutputPlain(baseCode_ + n - 2);
            count -= n;
        } else if (count == 1) {
            ++tableMax_;
            OutputPlain(runPixel_);
            count = 0;
        } else {
            ++tableMax_;
            OutputPlain(baseCode_ + count - 2);
            count = 0;
        }
        n = outCount_ == 0 ? 1 : n + 1;
    }
    ResetOutClear();
}

void TRLEEncoder::ClearOrRepeat(int count) {
    if (1 + Cost(count, maxCodes_) < count) {
        Clear();
        FromClear(count);
    } else {
        for (; count > 0; --count) OutputPlain(runPixel_);
    }
}

void TRLEEncoder::WithTable(int count) {
    int repeats = count / tableMax_;
    int leftover = count % tableMax_;
    int extra = leftover ? 1 : 0;
    if (outCount_ + repeats + extra > maxCodes_) {
        repeats = maxCodes_ - outCount_;
        leftover = count - repeats * tableMax_;
        extra = 1 + Cost(leftover, maxCodes_);
    }
    if (1 + Cost(count, maxCodes_) < repeats + extra) {
        Clear();
        FromClear(count);
        return;
    }
    outClear_ = maxCodes_;
    for (; repeats > 0; --repeats) OutputPlain(baseCode_ + tableMax_ - 2);
    if (leftover) {
        if (clearFlag_)
            FromClear(leftover);
        else if (leftover == 1)
            OutputPlain(runPixel_);
        else
            OutputPlain(baseCode_ + leftover - 2);
    }
    ResetOutClear();
}

void TRLEEncoder::Flush(int count) {
    if (count == 1)
        OutputPlain(runPixel_);
    else if (clearFlag_)
        FromClear(count);
    else if (tableMax_ > 1 && tablePixel_ == runPixel_)
        WithTable(count);
    else
        ClearOrRepeat(count);
}

void TRLEEncoder::Compress() {
    outBumpInit_ = clearCode_ - 1;
    outClearInit_ = bits_ > 3 ? clearCode_ - 2 : 9;
    maxCodes_ = 4095 - baseCode_;
    Clear();
    runPixel_ = -1;
    tablePixel_ = -1;
    int runCount = 0;
    const int colors = colorCount_;
    ForEachRow([&](const uint8_t* row) {
        for (int x = 0; x < frameWidth_; ++x) {
            const int p = row[x];
            if (p >= colors) BadColor();
            if (runCount > 0 && p != runPixel_) {
                Flush(runCount);
                runCount = 0;
            }
            if (p == runPixel_) {
                ++runCount;
            } else {
                runPixel_ = p;
                runCount = 1;
            }
        }
    });
    if (runCount > 0) Flush(runCount);
}

} // namespace xpGif10

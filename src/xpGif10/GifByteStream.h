#pragma once
// A read-only stream over bytes that frames share after a scan: each frame
// keeps the bytes alive and decodes its image data from them when its
// pixels are first asked for, so no copy of the file is made per frame.
#include "platform/Exception.h"
#include "platform/Streams.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace xpGif10 {

class TGIFByteStream : public platform::TStream {
public:
    explicit TGIFByteStream(std::shared_ptr<const std::vector<uint8_t>> bytes, int64_t position = 0)
        : bytes_(std::move(bytes)), pos_(position) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t size = int64_t(bytes_->size());
        const int64_t n = std::max<int64_t>(0, std::min(count, size - pos_));
        if (n > 0) std::memcpy(buffer, bytes_->data() + pos_, size_t(n));
        pos_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
        const int64_t base = origin == platform::SeekOrigin::Begin     ? 0
                             : origin == platform::SeekOrigin::Current ? pos_
                                                                       : int64_t(bytes_->size());
        pos_ = std::max<int64_t>(0, base + offset);
        return pos_;
    }
    void SetSize(int64_t) override { throw platform::Exception("The scanned bytes cannot be resized"); }
    int64_t GetSize() override { return int64_t(bytes_->size()); }
    const std::shared_ptr<const std::vector<uint8_t>>& Bytes() const { return bytes_; }

private:
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    int64_t pos_;
};

} // namespace xpGif10

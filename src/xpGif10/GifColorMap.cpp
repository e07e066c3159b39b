#include "xpGif10/GifColorMap.h"
#include "xpGif10/GifImage.h"

#include <algorithm>

namespace xpGif10 {

using namespace platform;

void TGIFColorMap::Grow(int n) {
    if (n < capacity_) return;
    int cap = n <= 16 ? 16 : ((n + 31) / 32) * 32;
    if (cap > 256) cap = 256;
    capacity_ = cap;
    colors_.resize(static_cast<size_t>(cap));
}

int TGIFColorMap::Add(TColor color) {
    if (count_ >= 256) throw GIFException(msg::ColorTableOverflow);
    if (count_ >= capacity_) Grow(count_ + 1);
    colors_[static_cast<size_t>(count_)] = {GetRValue(color), GetGValue(color), GetBValue(color)};
    optimized_ = false;
    ++count_;
    Changed();
    return count_ - 1;
}

int TGIFColorMap::IndexOf(TColor color) const {
    TGIFColor c{GetRValue(color), GetGValue(color), GetBValue(color)};
    if (optimized_) {
        for (int i = 0; i < count_; ++i)
            if (colors_[static_cast<size_t>(i)] == c) return i;
    } else {
        for (int i = count_ - 1; i >= 0; --i)
            if (colors_[static_cast<size_t>(i)] == c) return i;
    }
    return -1;
}

int TGIFColorMap::AddUnique(TColor color) {
    int i = IndexOf(color);
    return i >= 0 ? i : Add(color);
}

void TGIFColorMap::Delete(int index) {
    if (index < 0 || index >= count_) throw GIFException(msg::BadColorIndex);
    colors_.erase(colors_.begin() + index);
    colors_.push_back({});
    --count_;
    optimized_ = false;
    Changed();
}

TColor TGIFColorMap::GetColor(int index) {
    if (index < 0 || index >= count_) {
        Warning(GIFWarningSeverity, msg::BadColorIndex);
        if (count_ == 0) throw GIFException(msg::EmptyColorTable);
        index = 0;
    }
    const TGIFColor& c = colors_[static_cast<size_t>(index)];
    return RGB(c.Red, c.Green, c.Blue);
}

void TGIFColorMap::SetColor(int index, TColor color) {
    if (index < 0 || index >= count_) throw GIFException(msg::BadColorIndex);
    colors_[static_cast<size_t>(index)] = {GetRValue(color), GetGValue(color), GetBValue(color)};
    Changed();
}

void TGIFColorMap::Clear() {
    colors_.clear();
    capacity_ = 0;
    count_ = 0;
    optimized_ = false;
}

void TGIFColorMap::ImportPalette(const HPALETTE& palette) {
    Clear();
    int n = PaletteSize(palette);
    if (n > 256) n = 256;
    Grow(n);
    for (int i = 0; i < n; ++i) {
        const auto& e = palette->palPalEntry[static_cast<size_t>(i)];
        colors_[static_cast<size_t>(i)] = {e.peRed, e.peGreen, e.peBlue};
    }
    count_ = n;
    Changed();
}

void TGIFColorMap::ImportDIBColors(const uint8_t* entries, int count) {
    Clear();
    if (count > 256) count = 256;
    if (count < 0) count = 0;
    Grow(count);
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = entries + 4 * i;
        colors_[static_cast<size_t>(i)] = {e[2], e[1], e[0]};
    }
    count_ = count;
    Changed();
}

HPALETTE TGIFColorMap::ExportPalette() const {
    TLogPalette log;
    log.palVersion = PaletteVersion;
    for (int i = 0; i < count_; ++i) {
        const TGIFColor& c = colors_[static_cast<size_t>(i)];
        log.palPalEntry.push_back({c.Red, c.Green, c.Blue, PC_NOCOLLAPSE});
    }
    return CreatePalette(log);
}

void TGIFColorMap::Assign(const TPersistent* source) {
    if (auto* other = dynamic_cast<const TGIFColorMap*>(source)) {
        if (other == this) return;
        colors_ = other->colors_;
        capacity_ = other->capacity_;
        count_ = other->count_;
        optimized_ = other->optimized_;
        Changed();
        return;
    }
    TPersistent::Assign(source);
}

int TGIFColorMap::BitsPerPixel() const {
    if (count_ == 0) return 0;
    int b = 1;
    while ((1 << b) < count_) ++b;
    return b;
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
    Clear();
    std::vector<uint8_t> raw(static_cast<size_t>(count) * 3);
    if (stream.Read(raw.data(), static_cast<int64_t>(raw.size())) != static_cast<int64_t>(raw.size()))
        throw GIFException(msg::PrematureEnd);
    Grow(count);
    for (int i = 0; i < count; ++i)
        colors_[static_cast<size_t>(i)] = {raw[3 * size_t(i)], raw[3 * size_t(i) + 1], raw[3 * size_t(i) + 2]};
    count_ = count;
}

void TGIFColorMap::SaveToStream(TStream& stream, int bits) const {
    if (count_ == 0) return;
    std::vector<uint8_t> raw(size_t(3) << std::max(BitsPerPixel(), bits), 0);
    for (int i = 0; i < count_; ++i) {
        const TGIFColor& c = colors_[static_cast<size_t>(i)];
        raw[3 * size_t(i)] = c.Red;
        raw[3 * size_t(i) + 1] = c.Green;
        raw[3 * size_t(i) + 2] = c.Blue;
    }
    stream.WriteBuffer(raw.data(), static_cast<int64_t>(raw.size()));
}

// ---- global and local maps --------------------------------------------------

void TGIFGlobalColorMap::Warning(int severity, const std::string& message) {
    if (header_ && header_->Image()) header_->Image()->Warning(this, severity, message);
}

void TGIFGlobalColorMap::Changed() {
    if (header_ && header_->Image()) header_->Image()->SetPalette(nullptr);
}

void TGIFLocalColorMap::Warning(int severity, const std::string& message) {
    if (frame_ && frame_->Image()) frame_->Image()->Warning(this, severity, message);
}

void TGIFLocalColorMap::Changed() {
    if (frame_) frame_->DropPalette();
}

} // namespace xpGif10

#include "xpGif10/GifSubImage.h"
#include "xpGif10/GifDecoder.h"
#include "xpGif10/GifEncoder.h"
#include "xpGif10/GifLossyEncoder.h"
#include "xpGif10/GifImage.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace xpGif10 {

using namespace platform;

int BitsOfPixels(const uint8_t* data, int64_t size) {
    if (!data || size <= 0) return 0;
    // The bits of the largest value are the bits of all values or-ed.
    uint8_t any = 0;
    for (int64_t i = 0; i < size; ++i) any |= data[i];
    return std::max(1, int(std::bit_width(any)));
}

// ---- the frame's extension list ----------------------------------------------------

TGIFExtensionList::TGIFExtensionList(TGIFSubImage* frame) : TGIFList(frame ? frame->Image() : nullptr), frame_(frame) {}

void TGIFExtensionList::LoadFromStream(TStream& stream) {
    // A zero byte between blocks is a stray block terminator: other readers
    // pass over it, and so the extensions before it stay with their image.
    auto next = [&](uint8_t& b) {
        do
            if (stream.Read(&b, 1) != 1) return false;
        while (b == 0);
        return true;
    };
    uint8_t b;
    if (!next(b)) return;
    while (b != bsImageSeparator && b != bsTrailer) {
        if (b != bsExtensionIntroducer) {
            Warning(GIFWarningSeverity, msg::BadExtensionIntroducer);
            stream.Seek(-1, SeekOrigin::Current);
            return;
        }
        uint8_t label;
        if (stream.Read(&label, 1) != 1) throw GIFException(msg::PrematureEnd);
        stream.Seek(-1, SeekOrigin::Current);
        if (!FindExtension(label)) {
            // The format lets a reader pass over any extension by its
            // sub-blocks; one this library does not know is not kept, as
            // nothing says what its content means after an edit.
            stream.Seek(1, SeekOrigin::Current);
            if (!SkipSubBlocks(stream)) throw GIFException(msg::PrematureEnd);
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", label);
            Warning(GIFWarningSeverity, std::string("Extension of unknown label ") + hex + " skipped");
        } else {
            const TGIFExtensionClass* cls = FindExtensionKind(stream);
            if (!cls) throw GIFException(msg::PrematureEnd);
            stream.Seek(-1, SeekOrigin::Current);
            std::unique_ptr<TGIFExtension> ext = cls->create(frame_);
            ext->LoadFromStream(stream);
            auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext.get());
            TGIFGraphicControlExtension* earlier = frame_ ? frame_->GraphicControlExtension() : nullptr;
            if (gce && earlier && earlier != gce) {
                // Of two graphic control extensions before one image the
                // last one holds, as other readers take it, for every field.
                Warning(GIFWarningSeverity, "Two graphic control extensions before one image: the last one is used");
                Delete(IndexOf(earlier));
                frame_->SetGraphicControlExtension(gce);
                frame_->SetTransparentFlag(gce->Transparent());
            }
            Add(std::move(ext));
        }
        if (!next(b)) return;
    }
    stream.Seek(-1, SeekOrigin::Current);
}

// ---- pixel buffers ------------------------------------------------------------------

TGIFPixels AllocatePixels(TGIFImage* image, int width, int height, uint8_t value, const TGIFSubImage* replacing,
                          bool fill, int64_t held) {
    const int64_t pixels = int64_t(width) * int64_t(height);
    const int64_t bytes = held >= 0 ? std::min(held, pixels) : pixels;
    auto size = [&] { return std::to_string(width) + " x " + std::to_string(height); };
    if (pixels > GIFMaxFramePixels)
        throw GIFException("Frame of " + size() + " pixels is too large (at most " +
                           std::to_string(GIFMaxFramePixels) + " pixels)");
    if (image) {
        int64_t total = bytes;
        for (int i = 0; i < image->Images().Count(); ++i) {
            TGIFSubImage* f = image->Images()[i];
            if (f != replacing) total += f->HeldSize();
        }
        if (total > GIFMaxImagePixels)
            throw GIFException("Frame of " + size() + " pixels makes the image too large (at most " +
                               std::to_string(GIFMaxImagePixels) + " pixels in all frames)");
    }
    TGIFPixels data = NewPixelBuffer(size_t(std::max<int64_t>(bytes, 1)));
    if (!data) throw GIFException("Out of memory for a frame of " + size() + " pixels");
    if (fill) std::memset(data.get(), value, size_t(bytes));
    return data;
}

int64_t LzwReach(int64_t dataBytes, int minCodeSize) {
    const int64_t codes = dataBytes * 8 / (minCodeSize + 1);
    constexpr int64_t longest = 4096;
    if (codes <= longest) return codes * (codes + 1) / 2;
    return longest * (longest + 1) / 2 + (codes - longest) * longest;
}

// ---- the frame ------------------------------------------------------------------------

TGIFSubImage::TGIFSubImage(TGIFImage* image) : TGIFItem(image), colorMap_(this), extensions_(this) {}

TGIFSubImage::~TGIFSubImage() {
    // Extensions go first: a graphic control extension clears its reference
    // to this frame as it is freed.
    extensions_.Clear();
}

TGIFVersion TGIFSubImage::Version() const {
    if (colorMap_.Optimized() || extensions_.Count() > 0) return gv89a;
    return gv87a;
}

TGIFColorMap& TGIFSubImage::ActiveColorMap() {
    if (colorMap_.Count() > 0 || !image_) return colorMap_;
    return image_->GlobalColorMap();
}

void TGIFSubImage::FreeBuffer() {
    data_.reset();
    dataSize_ = 0;
    held_ = 0;
    source_.reset();
}

void TGIFSubImage::NewBuffer() {
    FreeBuffer();
    if (width_ > 0 && height_ > 0) {
        data_ = AllocatePixels(image_, width_, height_, 0, this);
        dataSize_ = int64_t(width_) * height_;
        held_ = dataSize_;
    }
}

void TGIFSubImage::DecodePending() const {
    if (!source_) return;
    auto* self = const_cast<TGIFSubImage*>(this);
    std::shared_ptr<TStream> stream = std::move(self->source_);
    stream->SetPosition(int64_t(sourceAt_));
    self->DecodeFrom(*stream, reach_);
}

void TGIFSubImage::MakeWhole() {
    if (!data_ || held_ >= dataSize_) return;
    TGIFPixels whole = AllocatePixels(image_, width_, height_, prefill_, this, false);
    std::memcpy(whole.get(), data_.get(), size_t(held_));
    std::memset(whole.get() + held_, prefill_, size_t(dataSize_ - held_));
    // The values are in the order the data gave them: for an interlaced
    // frame the rows of the four passes, moved to their places now.
    if (Interlaced()) DeinterlaceRows(whole.get(), width_, height_);
    data_ = std::move(whole);
    held_ = dataSize_;
}

void TGIFSubImage::FreeBitmap() {
    bitmap_.reset();
    mask_.reset();
    needMask_ = true;
}

void TGIFSubImage::SetBounds(int left, int top, int width, int height) {
    if (width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF || left < 0 || top < 0 || left > 0xFFFF ||
        top > 0xFFFF)
        throw GIFException(msg::BadPixelCoordinates);
    bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    if (resized) {
        FreeBitmap();
        FreeBuffer();
        width_ = width;
        height_ = height;
        NewBuffer();
    }
    if (!image_) return;
    TGIFHeader& h = image_->Header();
    bool warned = false;
    if (left_ + width_ > h.Width()) {
        if (h.Width() > 0) {
            Warning(GIFWarningSeverity, msg::WidthTooSmall);
            warned = true;
        }
        h.SetWidth(left_ + width_);
    }
    if (top_ + height_ > h.Height()) {
        if (h.Height() > 0) {
            Warning(GIFWarningSeverity, msg::HeightTooSmall);
            warned = true;
        }
        h.SetHeight(top_ + height_);
    }
    if (warned) Warning(GIFWarningSeverity, msg::ExceedsScreen);
}

bool TGIFSubImage::Partial() {
    DecodePending();
    return data_ && held_ < dataSize_;
}

std::vector<uint8_t> TGIFSubImage::Region(const TRect& r) {
    if (r.left < 0 || r.top < 0 || r.right > width_ || r.bottom > height_ || r.Width() < 0 || r.Height() < 0)
        throw GIFException(msg::BadPixelCoordinates);
    std::vector<uint8_t> out(size_t(r.Width()) * size_t(r.Height()), prefill_);
    if (Empty() || out.empty()) return out;
    if (!Partial()) {
        for (int y = r.top; y < r.bottom; ++y)
            std::memcpy(&out[size_t(y - r.top) * size_t(r.Width())], Scanline(y) + r.left, size_t(r.Width()));
        return out;
    }
    // Where each row lies in the order the data gave them.
    std::vector<int> rowAt(static_cast<size_t>(height_));
    if (Interlaced()) {
        int n = 0;
        ForEachInterlacedRow(height_, [&](int row) { rowAt[size_t(row)] = n++; });
    } else {
        for (int y = 0; y < height_; ++y) rowAt[size_t(y)] = y;
    }
    for (int y = r.top; y < r.bottom; ++y) {
        const int64_t from = int64_t(rowAt[size_t(y)]) * width_ + r.left;
        const int64_t n = std::clamp<int64_t>(held_ - from, 0, r.Width());
        if (n > 0) std::memcpy(&out[size_t(y - r.top) * size_t(r.Width())], data_.get() + from, size_t(n));
    }
    return out;
}

uint8_t* TGIFSubImage::Data() {
    DecodePending();
    MakeWhole();
    if (!data_) NewBuffer();
    return data_.get();
}

uint8_t* TGIFSubImage::Scanline(int row) {
    if (row < 0 || row >= height_) throw GIFException(msg::BadPixelCoordinates);
    Data();
    if (dataSize_ == 0) throw GIFException(msg::EmptyImage);
    return data_.get() + size_t(row) * size_t(width_);
}

uint8_t TGIFSubImage::Pixel(int x, int y) {
    if (x < 0 || x >= width_) throw GIFException(msg::BadPixelCoordinates);
    return Scanline(y)[x];
}

void TGIFSubImage::SetPixel(int x, int y, uint8_t value) {
    if (x < 0 || x >= width_) throw GIFException(msg::BadPixelCoordinates);
    Scanline(y)[x] = value;
    FreeBitmap();
}

bool TGIFSubImage::Empty() const {
    return (!data_ && !source_) || dataSize_ == 0 || width_ == 0 || height_ == 0;
}

void TGIFSubImage::Clear() {
    extensions_.Clear();
    colorMap_.Clear();
    FreeBuffer();
    prefill_ = 0;
    width_ = 0;
    height_ = 0;
    transparent_ = false;
    gce_ = nullptr;
    FreeBitmap();
}

int TGIFSubImage::TransparentColorIndex() const { return gce_ ? gce_->TransparentColorIndex() : 0; }

// ---- reading and writing -----------------------------------------------------------------

void TGIFSubImage::LoadFromStream(TStream& stream) {
    Clear();
    extensions_.LoadFromStream(stream);

    uint8_t b;
    if (stream.Read(&b, 1) != 1) return;  // extensions only, at the end of the data
    stream.Seek(-1, SeekOrigin::Current);
    if (b == bsTrailer || b == 0) return;  // extensions only

    uint8_t raw[10];
    if (stream.Read(raw, 10) != 10) throw GIFException(msg::PrematureEnd);
    separator_ = raw[0];
    left_ = raw[1] | raw[2] << 8;
    top_ = raw[3] | raw[4] << 8;
    width_ = raw[5] | raw[6] << 8;
    height_ = raw[7] | raw[8] << 8;
    packed_ = raw[9];
    if (packed_ & idLocalColorTable) colorMap_.LoadFromStream(stream, ColorTableEntries(packed_ & idColorTableSize));
    LoadImageData(stream, image_ ? image_->ScanSource() : nullptr);
    if (GIFImageRenderOnLoad) Bitmap();
}

void TGIFSubImage::LoadImageData(TStream& stream, const std::shared_ptr<TStream>& source) {
    if (width_ == 0 || height_ == 0) {
        // An image of no pixels draws nothing, yet its graphic control
        // extension times the animation. Other readers refuse such an
        // image, so it becomes one transparent pixel that is left as it is.
        Warning(GIFWarningSeverity, "Image of " + std::to_string(width_) + " x " + std::to_string(height_) +
                                        " pixels: kept as one transparent pixel, which draws nothing");
        uint8_t minSize;
        if (stream.Read(&minSize, 1) == 1) SkipSubBlocks(stream);
        TGIFGraphicControlExtension& gce = ControlExtensionOf(*this);
        if (gce.Disposal() == dmBackground) gce.SetDisposal(dmNoDispose);
        left_ = top_ = 0;
        width_ = height_ = 1;
        packed_ &= idLocalColorTable | idSort | idColorTableSize;
        const uint8_t index = gce.Transparent() ? gce.TransparentColorIndex() : 0;
        gce.SetTransparentColorIndex(index);
        gce.SetTransparent(true);
        data_ = AllocatePixels(image_, 1, 1, gce.TransparentColorIndex(), this);
        dataSize_ = held_ = 1;
        return;
    }
    prefill_ = transparent_ ? static_cast<uint8_t>(TransparentColorIndex()) : 0;
    dataSize_ = int64_t(width_) * height_;
    // Walk the data sub-blocks first: what they hold bounds what can be
    // decoded, so a frame declared far larger than its data takes no more
    // memory than the data can fill.
    const int64_t at = stream.Position();
    int64_t bytes = 0;
    uint8_t minSize = 0;
    if (stream.Read(&minSize, 1) == 1) {
        if (minSize > 11)
            throw GIFException("Invalid LZW minimum code size " + std::to_string(minSize) + " (at most 11)");
        for (;;) {
            uint8_t size;
            if (stream.Read(&size, 1) != 1 || size == 0) break;
            const int64_t from = stream.Position();
            if (stream.Seek(size, SeekOrigin::Current) - from != size) break;
            bytes += size;
        }
        // A cut in the last sub-block leaves the position past the end.
        if (stream.Position() > stream.Size()) stream.SetPosition(stream.Size());
    }
    const int64_t reach = std::min(dataSize_, LzwReach(bytes, minSize));
    if (source) {
        source_ = source;
        sourceAt_ = size_t(at);
        reach_ = reach;
        return;
    }
    stream.SetPosition(at);
    DecodeFrom(stream, reach);
}

void TGIFSubImage::DecodeFrom(TStream& stream, int64_t reach) {
    // The decoder writes every pixel, the pre-fill included, so the buffer
    // need not be filled twice.
    data_ = AllocatePixels(image_, width_, height_, prefill_, this, false, reach);
    held_ = reach;
    try {
        DecodeGIFImageData(stream, data_.get(), width_, height_, Interlaced(), prefill_,
                           [this](const std::string& message) { Warning(GIFWarningSeverity, message); }, reach);
    } catch (...) {
        std::memset(data_.get(), prefill_, size_t(held_));
        throw;
    }
}

void TGIFSubImage::SaveToStream(TStream& stream) {
    extensions_.SaveToStream(stream);
    if (Empty()) return;
    DecodePending();
    // A frame whose data ended early is written whole, as readers want
    // every pixel coded; only a huge one is left as its data gave it.
    const bool partial = held_ < dataSize_ && dataSize_ > GIFWholeWriteLimit;
    if (!partial) MakeWhole();
    // Pixels beyond the colour table are written as they are, with the
    // table padded to cover them (the global one likewise, by the header).
    const int used = UsedBitsPerPixel();
    if (colorMap_.Count() > 0) {
        const int bits = std::max(colorMap_.BitsPerPixel(), used);
        // A frame with its own colours is always written non-interlaced.
        packed_ = uint8_t(idLocalColorTable | (colorMap_.Optimized() ? idSort : 0) | ((bits - 1) & idColorTableSize));
    } else {
        packed_ &= idInterlaced | idReserved;
    }
    uint8_t raw[10] = {bsImageSeparator,
                       uint8_t(left_),
                       uint8_t(left_ >> 8),
                       uint8_t(top_),
                       uint8_t(top_ >> 8),
                       uint8_t(width_),
                       uint8_t(width_ >> 8),
                       uint8_t(height_),
                       uint8_t(height_ >> 8),
                       packed_};
    stream.WriteBuffer(raw, 10);
    colorMap_.SaveToStream(stream, used);

    // Codes need only be as wide as the largest index the frame uses: a
    // frame that shows a few colours of a large table encodes shorter.
    const int codeBits = EncodingBits(used);
    // What a partial frame holds is one run of values in the data's order.
    const bool interlaced = partial ? false : Interlaced();
    const int rows = partial ? 1 : height_, columns = partial ? int(held_) : width_;
    if (image_ && image_->Compression == 1) {
        TRLEEncoder encoder;
        encoder.Encode(stream, codeBits, 1 << codeBits, data_.get(), interlaced, rows, columns);
    } else if (image_ && image_->Lossiness > 0) {
        std::vector<TRGB> colors;
        const TGIFColorMap& map = ActiveColorMap();
        for (int i = 0; i < map.Count(); ++i)
            colors.push_back({map.Data()[i].Red, map.Data()[i].Green, map.Data()[i].Blue});
        const bool seeThrough = Transparent() || (gce_ && gce_->Transparent());
        TLossyLZWEncoder encoder(std::move(colors), seeThrough ? TransparentColorIndex() : -1,
                                 LossyBound(image_->Lossiness));
        encoder.Encode(stream, codeBits, 1 << codeBits, data_.get(), interlaced, rows, columns);
    } else {
        TLZWEncoder encoder;
        encoder.Encode(stream, codeBits, 1 << codeBits, data_.get(), interlaced, rows, columns);
    }
}

int TGIFSubImage::UsedBitsPerPixel() const {
    if (Empty()) return 0;
    DecodePending();
    int bits = BitsOfPixels(data_.get(), held_);
    if (held_ < dataSize_) bits = std::max({bits, 1, int(std::bit_width(prefill_))});
    return bits;
}

// ---- palette ---------------------------------------------------------------------------------

HPALETTE TGIFSubImage::Palette() {
    if (bitmap_ && bitmap_->Palette()) return bitmap_->Palette();
    if (palette_) return palette_;
    if (image_ && image_->WebPaletteCondition()) {
        palette_ = WebPalette();
        return palette_;
    }
    if (colorMap_.Count() > 0) {
        palette_ = colorMap_.ExportPalette();
        return palette_;
    }
    return image_ ? image_->Palette() : nullptr;
}

void TGIFSubImage::SetPalette(HPALETTE palette) {
    palette_ = std::move(palette);
    if (bitmap_ && !SamePalette(bitmap_->Palette(), palette_)) {
        FreeBitmap();
        if (image_) {
            image_->SetPaletteModified(true);
            image_->Changed(image_);
        }
    }
}

// ---- the drawing and conversion side -------------------------------------------------------
// Rendering, drawing and Assign live with the drawing code (GifFrameDraw.cpp).

bool TGIFSubImage::HasMask() {
    // A bitmap made before the frame became transparent has no mask yet:
    // render it again, which builds the mask.
    if (needMask_ && transparent_) {
        bitmap_.reset();
        Bitmap();
    }
    return mask_ != nullptr;
}

TGIFGraphicControlExtension& ControlExtensionOf(TGIFSubImage& frame) {
    if (TGIFGraphicControlExtension* gce = frame.GraphicControlExtension()) return *gce;
    // The constructor makes a new extension the frame's reference.
    auto made = std::make_unique<TGIFGraphicControlExtension>(&frame);
    TGIFGraphicControlExtension& gce = *made;
    frame.Extensions().Add(std::move(made));
    return gce;
}

} // namespace xpGif10

#include "xpGif10/GifSubImage.h"
#include "xpGif10/GifDecoder.h"
#include "xpGif10/GifEncoder.h"
#include "xpGif10/GifLossyEncoder.h"
#include "xpGif10/GifImage.h"

#include <algorithm>
#include <bit>
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
        const TGIFExtensionClass* cls = FindExtensionKind(stream);
        if (!cls) throw GIFException(msg::UnknownExtension);
        stream.Seek(-1, SeekOrigin::Current);
        std::unique_ptr<TGIFExtension> ext = cls->create(frame_);
        ext->LoadFromStream(stream);
        Add(std::move(ext));
        if (!next(b)) return;
    }
    stream.Seek(-1, SeekOrigin::Current);
}

// ---- pixel buffers ------------------------------------------------------------------

TGIFPixels AllocatePixels(TGIFImage* image, int width, int height, uint8_t value, const TGIFSubImage* replacing,
                          bool fill) {
    const int64_t pixels = int64_t(width) * int64_t(height);
    auto size = [&] { return std::to_string(width) + " x " + std::to_string(height); };
    if (pixels > GIFMaxFramePixels)
        throw GIFException("Frame of " + size() + " pixels is too large (at most " +
                           std::to_string(GIFMaxFramePixels) + " pixels)");
    if (image) {
        int64_t total = pixels;
        for (int i = 0; i < image->Images().Count(); ++i) {
            TGIFSubImage* f = image->Images()[i];
            if (f != replacing) total += f->DataSize();
        }
        if (total > GIFMaxImagePixels)
            throw GIFException("Frame of " + size() + " pixels makes the image too large (at most " +
                               std::to_string(GIFMaxImagePixels) + " pixels in all frames)");
    }
    TGIFPixels data = NewPixelBuffer(size_t(pixels));
    if (!data) throw GIFException("Out of memory for a frame of " + size() + " pixels");
    if (fill) std::memset(data.get(), value, size_t(pixels));
    return data;
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
}

void TGIFSubImage::NewBuffer() {
    FreeBuffer();
    if (width_ > 0 && height_ > 0) {
        data_ = AllocatePixels(image_, width_, height_, 0, this);
        dataSize_ = int64_t(width_) * height_;
    }
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

uint8_t* TGIFSubImage::Data() {
    if (!data_) NewBuffer();
    return data_.get();
}

uint8_t* TGIFSubImage::Scanline(int row) {
    if (row < 0 || row >= height_) throw GIFException(msg::BadPixelCoordinates);
    if (!data_) NewBuffer();
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

bool TGIFSubImage::Empty() const { return !data_ || dataSize_ == 0 || width_ == 0 || height_ == 0; }

void TGIFSubImage::Clear() {
    extensions_.Clear();
    colorMap_.Clear();
    FreeBuffer();
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
    if (width_ == 0 || height_ == 0) {
        width_ = image_ ? image_->Width() : 0;
        height_ = image_ ? image_->Height() : 0;
        Warning(GIFWarningSeverity, msg::ExceedsScreen);
    }
    if (packed_ & 0x80) {
        int count = 2 << (packed_ & 7);
        if (count < 2 || count > 256) throw GIFException(msg::BadImageColors);
        colorMap_.LoadFromStream(stream, count);
    }
    uint8_t prefill = transparent_ ? static_cast<uint8_t>(TransparentColorIndex()) : 0;
    if (width_ > 0 && height_ > 0) {
        // The decoder writes every pixel, the pre-fill included, so the
        // buffer need not be filled twice.
        data_ = AllocatePixels(image_, width_, height_, prefill, this, false);
        dataSize_ = int64_t(width_) * height_;
    }
    try {
        DecodeGIFImageData(stream, data_.get(), width_, height_, Interlaced(), prefill,
                           [this](const std::string& message) { Warning(GIFWarningSeverity, message); });
    } catch (...) {
        if (data_) std::memset(data_.get(), prefill, size_t(dataSize_));
        throw;
    }
    if (GIFImageRenderOnLoad) Bitmap();
}

void TGIFSubImage::SaveToStream(TStream& stream) {
    extensions_.SaveToStream(stream);
    if (Empty()) return;
    // Pixels beyond the colour table are written as they are, with the
    // table padded to cover them (the global one likewise, by the header).
    const int used = UsedBitsPerPixel();
    if (colorMap_.Count() > 0) {
        const int bits = std::max(colorMap_.BitsPerPixel(), used);
        // A frame with its own colours is always written non-interlaced.
        packed_ = uint8_t(0x80 | (colorMap_.Optimized() ? 0x20 : 0) | ((bits - 1) & 7));
    } else {
        packed_ &= 0x58;
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
    if (image_ && image_->Compression == 1) {
        TRLEEncoder encoder;
        encoder.Encode(stream, codeBits, 1 << codeBits, data_.get(), Interlaced(), height_, width_);
    } else if (image_ && image_->Lossiness > 0) {
        std::vector<TRGB> colors;
        const TGIFColorMap& map = ActiveColorMap();
        for (int i = 0; i < map.Count(); ++i)
            colors.push_back({map.Data()[i].Red, map.Data()[i].Green, map.Data()[i].Blue});
        const bool seeThrough = Transparent() || (gce_ && gce_->Transparent());
        TLossyLZWEncoder encoder(std::move(colors), seeThrough ? TransparentColorIndex() : -1,
                                 LossyBound(image_->Lossiness));
        encoder.Encode(stream, codeBits, 1 << codeBits, data_.get(), Interlaced(), height_, width_);
    } else {
        TLZWEncoder encoder;
        encoder.Encode(stream, codeBits, 1 << codeBits, data_.get(), Interlaced(), height_, width_);
    }
}

int TGIFSubImage::UsedBitsPerPixel() const { return Empty() ? 0 : BitsOfPixels(data_.get(), dataSize_); }

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

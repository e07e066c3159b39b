// Making a frame from another frame or from any other picture: bitmaps of
// 1, 4 and 8 bits per pixel are taken over with their palettes, deeper ones
// reduced by the image's reduction settings first, and other graphics drawn
// into a bitmap. See-through parts become the frame's transparent colour.
#include "xpGif10/GifFrameAssign.h"
#include "platform/Canvas.h"
#include "xpGif10/DIBReader.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifReduce.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace xpGif10 {

using namespace platform;

namespace {

constexpr const char* Converting = "Converting...";

void Progress(TGIFImage* image, TProgressStage stage, int percent) {
    if (image) image->Progress(image, stage, percent, false, TRect{}, Converting);
}

// Pixels of the transparent colour, one byte per pixel (1 = see-through).
std::vector<uint8_t> TransparencyMask(const TBitmap& bitmap) {
    const TColor key = bitmap.TransparentColor() & 0xFFFFFF;
    std::vector<uint8_t> mask(size_t(bitmap.Width()) * size_t(bitmap.Height()), 0);
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            mask[size_t(y) * size_t(bitmap.Width()) + size_t(x)] = (bitmap.GetPixel(x, y) & 0xFFFFFF) == key;
    return mask;
}

// The 24-bit import: each distinct colour enters the local map in order of
// first appearance. A small ring of recent colours, searched from the last
// hit backwards, answers most pixels without a table search.
class ColorCache {
public:
    explicit ColorCache(TGIFColorMap& map) : map_(map) { keys_.fill(0xFFFFFFFFu); }
    uint8_t Index(TColor color) {
        for (int n = 0, i = last_; n < 8; ++n, i = (i + 7) & 7)
            if (keys_[size_t(i)] == color) {
                last_ = i;
                return values_[size_t(i)];
            }
        int index = map_.IndexOf(color);
        if (index < 0) index = map_.Add(color);   // the 257th raises "Color table overflow"
        next_ = (next_ + 1) & 7;
        keys_[size_t(next_)] = color;
        values_[size_t(next_)] = uint8_t(index);
        last_ = next_;
        return uint8_t(index);
    }

private:
    TGIFColorMap& map_;
    std::array<uint32_t, 8> keys_;
    std::array<uint8_t, 8> values_{};
    int last_ = 0, next_ = 7;
};

void ImportBitmap(TGIFSubImage& frame, TBitmap& bitmap) {
    TPixelFormat format = bitmap.PixelFormat();
    if (format != TPixelFormat::pf1bit && format != TPixelFormat::pf4bit && format != TPixelFormat::pf8bit)
        format = TPixelFormat::pf24bit;
    TDIBReader reader(bitmap, format);
    TGIFLocalColorMap& map = frame.ColorMap();
    if (format != TPixelFormat::pf24bit) {
        HPALETTE palette = bitmap.Palette() ? bitmap.Palette() : DefaultPaletteFor(format);
        map.ImportPalette(palette);
    }
    const int width = frame.Width(), height = frame.Height();
    ColorCache cache(map);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = reader.ScanLine(y);
        uint8_t* dst = frame.Scanline(y);
        switch (format) {
        case TPixelFormat::pf1bit:
            for (int x = 0; x < width; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case TPixelFormat::pf4bit:
            for (int x = 0; x < width; ++x) dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
            break;
        case TPixelFormat::pf8bit: std::memcpy(dst, src, size_t(width)); break;
        default:
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = src + 3 * x;
                dst[x] = cache.Index(RGB(p[2], p[1], p[0]));
            }
        }
        if (y % 32 == 0) Progress(frame.Image(), TProgressStage::psRunning, int(int64_t(y) * 100 / height));
    }
}

void AssignFrame(TGIFSubImage& frame, const TGIFSubImage& constSource) {
    auto& source = const_cast<TGIFSubImage&>(constSource);
    frame.Clear();
    if (!source.Empty()) {
        frame.SetBounds(source.Left(), source.Top(), source.Width(), source.Height());
        frame.SetInterlaced(source.Interlaced());
        frame.ColorMap().Assign(&source.ColorMap());
        std::memcpy(frame.Data(), source.Data(), size_t(source.DataSize()));
    }
    TMemoryStream stream;
    source.Extensions().SaveToStream(stream);
    stream.SetPosition(0);
    frame.Extensions().LoadFromStream(stream);
    frame.SetTransparentFlag(source.Transparent());
    if (!source.Empty() && source.CachedBitmap()) {
        auto copy = std::make_shared<TBitmap>();
        copy->Assign(source.CachedBitmap().get());
        frame.SetCachedBitmap(copy);
    }
}

void AssignBitmap(TGIFSubImage& frame, const TBitmap& source) {
    frame.Clear();
    if (source.Empty()) return;
    TGIFImage* image = frame.Image();
    frame.SetBounds(frame.Left(), frame.Top(), source.Width(), source.Height());
    auto work = std::make_shared<TBitmap>();
    work->Assign(&source);
    const TPixelFormat f = work->PixelFormat();
    std::shared_ptr<TBitmap> bitmap;
    if (f == TPixelFormat::pf1bit || f == TPixelFormat::pf4bit || f == TPixelFormat::pf8bit) {
        bitmap = work;
    } else {
        const int method = image ? image->ColorReduction : GIFDefaultColorReduction;
        const int dither = image ? image->DitherMode : GIFDefaultDitherMode;
        const int bits = image ? image->ReductionBits : GIFDefaultColorReductionBits;
        bitmap = std::shared_ptr<TBitmap>(ReduceColors(*work, method, dither, nullptr, bits));
    }
    Progress(image, TProgressStage::psStarting, 0);
    try {
        if (bitmap->Empty()) throw GIFException(msg::EmptyImage);
        ImportBitmap(frame, *bitmap);
        if (source.Transparent()) ApplyMask(frame, TransparencyMask(source));
    } catch (...) {
        Progress(image, TProgressStage::psEnding, 0);
        throw;
    }
    frame.SetCachedBitmap(bitmap);
    Progress(image, TProgressStage::psEnding, 100);
}

void AssignGraphic(TGIFSubImage& frame, const TGraphic& source) {
    frame.Clear();
    if (source.Empty()) return;
    TBitmap bitmap;
    try {
        bitmap.Assign(&source);
    } catch (const Exception&) {
        // Graphics that cannot copy themselves into a bitmap are drawn.
        bitmap.SetPixelFormat(TPixelFormat::pf24bit);
        bitmap.SetSize(source.Width(), source.Height());
        bitmap.Canvas().StretchDraw(TRect{0, 0, source.Width(), source.Height()}, const_cast<TGraphic&>(source));
    }
    AssignBitmap(frame, bitmap);
}

} // namespace

void ApplyMask(TGIFSubImage& frame, const std::vector<uint8_t>& mask) {
    TGIFLocalColorMap& map = frame.ColorMap();
    const size_t n = frame.Empty() ? 0 : std::min(mask.size(), size_t(frame.DataSize()));
    uint8_t* p = n ? frame.Data() : nullptr;
    bool any = false;
    std::vector<int64_t> use(256, 0);
    for (size_t i = 0; i < n; ++i) {
        if (mask[i])
            any = true;
        else
            ++use[p[i]];
    }
    if (any) {
        // See-through pixels keep no colour alive: they take the colour
        // shown most, so that sorting the map drops what only they used.
        const uint8_t common = uint8_t(std::max_element(use.begin(), use.end()) - use.begin());
        for (size_t i = 0; i < n; ++i)
            if (mask[i]) p[i] = common;
    }
    map.Optimize();
    if (!any || map.Count() == 0) return;
    int index;
    if (map.Count() < 256) {
        index = map.Add(clBlack);
    } else {
        // A full table (a 256-colour reduction palette): an entry no
        // visible pixel uses, else the least used colour gives way to its
        // nearest neighbour, becomes the transparent entry. Losing
        // transparency would show the see-through parts in whatever colour
        // they were keyed with.
        std::fill(use.begin(), use.end(), 0);
        for (size_t i = 0; i < n; ++i)
            if (!mask[i]) ++use[p[i]];
        index = int(std::min_element(use.begin(), use.end()) - use.begin());
        if (use[size_t(index)] > 0) {
            const TGIFColor c = map.Data()[index];
            int nearest = -1, best = 1 << 30;
            for (int i = 0; i < map.Count(); ++i) {
                const TGIFColor& o = map.Data()[i];
                const int d = std::abs(o.Red - c.Red) + std::abs(o.Green - c.Green) + std::abs(o.Blue - c.Blue);
                if (i != index && d < best) {
                    best = d;
                    nearest = i;
                }
            }
            for (size_t i = 0; i < n; ++i)
                if (p[i] == index) p[i] = uint8_t(nearest);
        }
        map.SetColor(index, clBlack);
    }
    for (size_t i = 0; i < n; ++i)
        if (mask[i]) p[i] = uint8_t(index);
    // The constructor makes the new extension the frame's reference when
    // the frame had none.
    auto gce = std::make_unique<TGIFGraphicControlExtension>(&frame);
    TGIFGraphicControlExtension* raw = gce.get();
    frame.Extensions().Add(std::move(gce));
    raw->SetTransparentColorIndex(index);
    raw->SetTransparent(true);
    frame.FreeBitmap();
}

void AssignToFrame(TGIFSubImage& frame, const TPersistent* source) {
    if (auto* other = dynamic_cast<const TGIFSubImage*>(source)) {
        AssignFrame(frame, *other);
    } else if (auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
        AssignBitmap(frame, *bitmap);
    } else if (auto* picture = dynamic_cast<const TPicture*>(source)) {
        if (picture->Graphic())
            AssignToFrame(frame, picture->Graphic());
        else
            frame.Clear();
    } else if (auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        AssignGraphic(frame, *graphic);
    } else {
        frame.TPersistent::Assign(source);
    }
}

} // namespace xpGif10

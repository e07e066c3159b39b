#pragma once
// One frame of a GIF image: the image descriptor as stored, the local colour
// map, the frame's extensions and its pixel buffer (one colour index per
// pixel, rows top to bottom, no padding).
#include "platform/Bitmap.h"
#include "xpGif10/GifColorMap.h"
#include "xpGif10/GifExtension.h"
#include "xpGif10/GifItem.h"
#include "xpGif10/GifPixelMemory.h"

#include <memory>

namespace xpGif10 {

class TGIFSubImage;

class TGIFExtensionList : public TGIFList {
public:
    explicit TGIFExtensionList(TGIFSubImage* frame);
    std::string ClassName() const override { return "TGIFExtensionList"; }
    TGIFExtension* Extension(int index) const { return static_cast<TGIFExtension*>(Item(index)); }
    TGIFExtension* operator[](int index) const { return Extension(index); }
    // Reads extensions up to the next image descriptor or trailer.
    void LoadFromStream(platform::TStream& stream) override;
    TGIFSubImage* SubImage() const { return frame_; }

private:
    TGIFSubImage* frame_;
};

class TGIFSubImage : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage* image);
    ~TGIFSubImage() override;
    std::string ClassName() const override { return "TGIFSubImage"; }

    TGIFVersion Version() const override;
    void SaveToStream(platform::TStream& stream) override;
    void LoadFromStream(platform::TStream& stream) override;

    // ---- the image descriptor ----
    uint8_t Separator() const { return separator_; }
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    uint8_t Packed() const { return packed_; }
    platform::TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    // Stores all four bounds; a new width or height remakes the pixel buffer
    // (zero-filled) and drops the bitmap and mask. Bounds beyond the image
    // enlarge it, with warnings when it already had a size.
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    void SetBoundsRect(const platform::TRect& r) { SetBounds(r.left, r.top, r.Width(), r.Height()); }
    bool Interlaced() const { return (packed_ & idInterlaced) != 0; }
    void SetInterlaced(bool value) { packed_ = value ? (packed_ | idInterlaced) : (packed_ & ~idInterlaced); }

    // ---- colours ----
    TGIFLocalColorMap& ColorMap() { return colorMap_; }
    // The local map when it has colours, else the global map.
    TGIFColorMap& ActiveColorMap();
    int BitsPerPixel() const { return colorMap_.BitsPerPixel(); }
    int ColorResolution() const { return colorMap_.ColorResolution(); }

    // ---- pixels ----
    // The whole frame, width x height bytes in display order. A frame read
    // by a scan is decoded here, when first asked for.
    uint8_t* Data();
    int64_t DataSize() const { return dataSize_; }
    // The bytes the frame's pixels take in memory now: none before its
    // data is decoded, and no more than its data can fill for a frame whose
    // data ends early (the pixels after it are the pre-fill value).
    int64_t HeldSize() const { return data_ ? held_ : 0; }
    // Whether the pixels are still where the scan found them, not decoded.
    bool Pending() const { return source_ != nullptr; }
    // Whether the data filled fewer pixels than the frame has (decoding it
    // first when pending); the rest then hold the pre-fill value.
    bool Partial();
    // The pixels of r (in the frame's coordinates, within it) in display
    // order, without spreading a partial frame's buffer to its whole size.
    std::vector<uint8_t> Region(const platform::TRect& r);
    // Row and pixel access; bad coordinates raise "Invalid pixel
    // coordinates", an empty buffer "Image is empty".
    uint8_t* Scanline(int row);
    uint8_t Pixel(int x, int y);
    void SetPixel(int x, int y, uint8_t value);
    bool Empty() const;
    // The bits that the largest pixel value needs (0 for an empty frame).
    int UsedBitsPerPixel() const;
    void Clear();

    // ---- extensions and transparency ----
    TGIFExtensionList& Extensions() { return extensions_; }
    TGIFGraphicControlExtension* GraphicControlExtension() const { return gce_; }
    void SetGraphicControlExtension(TGIFGraphicControlExtension* gce) { gce_ = gce; }
    bool Transparent() const { return transparent_; }
    void SetTransparentFlag(bool value) { transparent_ = value; }
    // The transparent index of the frame's graphic control extension (0 when
    // it has none).
    int TransparentColorIndex() const;

    // ---- palette and caches ----
    platform::HPALETTE Palette();
    void SetPalette(platform::HPALETTE palette);
    void DropPalette() { palette_.reset(); }
    // The rendered bitmap and its transparency mask are built by the drawing
    // code; these caches are dropped whenever the pixels change.
    std::shared_ptr<platform::TBitmap> CachedBitmap() const { return bitmap_; }
    void SetCachedBitmap(std::shared_ptr<platform::TBitmap> bitmap) { bitmap_ = std::move(bitmap); }
    std::shared_ptr<platform::TBitmap> CachedMask() const { return mask_; }
    void SetCachedMask(std::shared_ptr<platform::TBitmap> mask) { mask_ = std::move(mask); }
    bool NeedMask() const { return needMask_; }
    void SetNeedMask(bool value) { needMask_ = value; }
    void FreeBitmap();

    // Rendering, masks, drawing and conversion from other pictures.
    std::shared_ptr<platform::TBitmap> Bitmap();
    bool HasMask();
    void Draw(platform::TCanvas& canvas, const platform::TRect& rect, bool transparent, bool tile);
    // Draws onto the rectangle as it is (Draw maps the frame's own
    // rectangle into it first); with tile, copies at natural size.
    void StretchDraw(platform::TCanvas& canvas, const platform::TRect& rect, bool transparent, bool tile);
    void Assign(const platform::TPersistent* source) override;

private:
    void NewBuffer();
    void FreeBuffer();
    // Reads the image data the stream is at: decoded now, or (with source)
    // walked and left for DecodePending.
    void LoadImageData(platform::TStream& stream, const std::shared_ptr<platform::TStream>& source);
    void DecodeFrom(platform::TStream& stream, int64_t reach);
    void DecodePending() const;
    // Spreads a buffer that holds only what the data filled to the whole frame.
    void MakeWhole();

    uint8_t separator_ = bsImageSeparator;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    uint8_t packed_ = 0;
    TGIFLocalColorMap colorMap_;
    TGIFExtensionList extensions_;
    TGIFPixels data_;
    int64_t dataSize_ = 0;
    // Bytes in data_: dataSize_ for a whole frame; fewer when the data
    // ended early, and then in the order the data gives them (interlaced
    // rows not yet moved) with the rest prefill_.
    int64_t held_ = 0;
    uint8_t prefill_ = 0;
    // A scanned frame's stream and where its image data starts in it;
    // reach_ is the most pixels that data can fill.
    std::shared_ptr<platform::TStream> source_;
    size_t sourceAt_ = 0;
    int64_t reach_ = 0;
    bool transparent_ = false;
    TGIFGraphicControlExtension* gce_ = nullptr;
    std::shared_ptr<platform::TBitmap> bitmap_;
    std::shared_ptr<platform::TBitmap> mask_;
    bool needMask_ = true;
    platform::HPALETTE palette_;
};

// The frame's graphic control extension; one is added when it has none.
TGIFGraphicControlExtension& ControlExtensionOf(TGIFSubImage& frame);

// The bits per pixel a frame's data is encoded with, from the bits its
// largest index needs (UsedBitsPerPixel): at least 2, the narrowest code
// size the format has; every index below 2^bits is a colour, as the frame's
// table is written padded to cover them.
inline int EncodingBits(int usedBits) { return usedBits > 2 ? usedBits : 2; }
// The bits that the largest of size values needs (at least 1; 0 for none).
int BitsOfPixels(const uint8_t* data, int64_t size);

// Makes a buffer of width x height bytes filled with value, within the
// unit's limits; raises GIFException naming the size when it cannot. With
// held at 0 or more, only that many bytes are made (what a frame's data can
// fill), the limits still judged on the whole frame's size.
TGIFPixels AllocatePixels(TGIFImage* image, int width, int height, uint8_t value,
                                          const TGIFSubImage* replacing, bool fill = true, int64_t held = -1);

// The most pixels LZW data of this many bytes can give at this minimum code
// size: the k-th code after a clear has at most k values (and no string is
// longer than the table), and every code takes at least minimum + 1 bits.
int64_t LzwReach(int64_t dataBytes, int minCodeSize);

// A frame whose data fills less than this many pixels of a larger frame is
// written as the data gave it (its values, then the end code), not spread
// to the whole frame: the pre-fill of a huge declared frame is not worth
// the memory and time.
constexpr int64_t GIFWholeWriteLimit = int64_t(1) << 24;

} // namespace xpGif10

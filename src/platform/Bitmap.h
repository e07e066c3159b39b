#pragma once
// A raster bitmap in device-independent layout: rows top to bottom, each
// padded to a multiple of 4 bytes; 1 bit per pixel with the leftmost pixel in
// the most significant bit, 4 bits with the left pixel in the high nibble,
// 8 bits as palette indices, 24 bits as blue, green, red, and 32 bits as
// blue, green, red, reserved. Loads and saves Windows BMP files.
#include "platform/Graphics.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Bits per pixel of a format (pfDevice counts as 24).
int PixelFormatBits(TPixelFormat format);

class TBitmap : public TGraphic {
public:
    TBitmap();
    ~TBitmap() override;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;
    std::string ClassName() const override { return "TBitmap"; }

    bool Empty() const override { return width_ == 0 || height_ == 0; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetWidth(int value) override { SetSize(value, height_); }
    void SetHeight(int value) override { SetSize(width_, value); }
    // Keeps the pixels that still fit; new pixels are 0 (black or index 0).
    void SetSize(int width, int height);

    TPixelFormat PixelFormat() const { return format_; }
    // Converts the pixels to the new depth (through the palette for the
    // indexed formats; a missing palette is a default one for the depth).
    void SetPixelFormat(TPixelFormat format);
    int BitsPerPixel() const { return PixelFormatBits(format_); }
    // Bytes in one row including the padding.
    int RowBytes() const { return rowBytes_; }

    // A pointer to the row's bytes; a row outside the bitmap raises
    // EInvalidGraphicOperation "Scan line index out of range".
    uint8_t* ScanLine(int row);
    const uint8_t* ScanLine(int row) const;

    HPALETTE Palette() override { return palette_; }
    void SetPalette(HPALETTE palette) override;

    // Pixel colours through the palette; writing an indexed bitmap picks the
    // nearest palette entry. Outside the bitmap reads black and writes nothing.
    TColor GetPixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);
    // The raw value of a pixel: an index for the indexed formats, else the
    // colour.
    uint32_t GetPixelValue(int x, int y) const;
    void SetPixelValue(int x, int y, uint32_t value);

    TCanvas& Canvas();

    // Bytes in one row of a bitmap of this width and depth, padding included.
    static int RowBytesFor(int width, TPixelFormat format);
    // Takes pixels made elsewhere as the bitmap's own: rows top to bottom,
    // each RowBytesFor(width, format) long, as a load from a file would
    // leave them.
    void AdoptPixels(int width, int height, TPixelFormat format, HPALETTE palette, std::vector<uint8_t> pixels);

    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    // The clipboard's bitmap format holds a BMP without its 14-byte file header.
    void LoadFromClipboardFormat(unsigned format, const std::vector<uint8_t>& data, HPALETTE palette) override;
    void SaveToClipboardFormat(unsigned& format, std::vector<uint8_t>& data, HPALETTE& palette) override;

    void Draw(TCanvas& canvas, const TRect& rect) override;
    void Assign(const TPersistent* source) override;

    // Transparent drawing leaves the pixels of this colour out (clNone: the
    // colour of the bottom-left pixel, as usual for bitmaps).
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color) { transparentColor_ = color; }

    // The largest bitmap this program makes or loads, in pixels.
    static constexpr int64_t MaxPixels = int64_t(1) << 28;

private:
    std::vector<uint8_t> WriteDIB() const;
    // The information block, colour table and pixels of a bitmap; the
    // pixels start at pixelsAt from the stream's start, or right after the
    // table when pixelsAt is 0.
    void LoadDib(TStream& stream, int64_t start, uint32_t pixelsAt);
    void Allocate(int width, int height, TPixelFormat format, std::vector<uint8_t>& out, int& rowBytes) const;

    int width_ = 0, height_ = 0;
    TPixelFormat format_ = TPixelFormat::pf24bit;
    int rowBytes_ = 0;
    std::vector<uint8_t> pixels_;
    HPALETTE palette_;
    TColor transparentColor_ = clNone;
    std::unique_ptr<TCanvas> canvas_;
};

// The palette a depth gets when none is given: black and white for 1 bit,
// the 16 standard colours for 4 bits, the 216 web colours for 8 bits.
HPALETTE DefaultPaletteFor(TPixelFormat format);

} // namespace platform

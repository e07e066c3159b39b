#pragma once
// Row access to bitmaps in device-independent layout. A reader switches a
// bitmap to the wanted depth and hands out its rows; a writer keeps rows of
// its own, so that a failure on the way leaves the target as it was, and
// when released hands them to the target bitmap as its pixels.
#include "platform/Bitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace xpGif10 {

class TDIB {
public:
    TDIB(platform::TBitmap& bitmap, platform::TPixelFormat format) : bitmap_(bitmap), format_(format) {}
    virtual ~TDIB() = default;
    platform::TBitmap& Bitmap() const { return bitmap_; }
    platform::TPixelFormat PixelFormat() const { return format_; }

protected:
    platform::TBitmap& bitmap_;
    platform::TPixelFormat format_;
};

class TDIBReader : public TDIB {
public:
    TDIBReader(platform::TBitmap& bitmap, platform::TPixelFormat format);
    // A row outside the bitmap raises "Scan line index out of range".
    const uint8_t* ScanLine(int row) const { return bitmap_.ScanLine(row); }
};

class TDIBWriter : public TDIB {
public:
    // Only 8 and 24 bits per pixel ("Unsupported PixelFormat"); width and
    // height above 0 ("Invalid image dimensions").
    TDIBWriter(platform::TBitmap& bitmap, platform::TPixelFormat format, int width, int height,
               platform::HPALETTE palette);
    // Loads the rows into the bitmap unless Release already did or an error
    // is unwinding.
    ~TDIBWriter() override;
    TDIBWriter(const TDIBWriter&) = delete;
    TDIBWriter& operator=(const TDIBWriter&) = delete;

    // Row y counted from the top; the memory is made on first use.
    uint8_t* ScanLine(int row);
    // Gives the rows and the palette to the bitmap.
    void Release();
    int Width() const { return width_; }
    int Height() const { return height_; }
    int RowBytes() const { return rowBytes_; }

    // For tests of the allocation failure: the largest pixel memory a
    // writer may take (0 = no limit).
    static int64_t MemoryLimit;

private:
    void MakeDIB();

    int width_, height_;
    int bits_;
    int rowBytes_;
    platform::HPALETTE palette_;
    std::vector<uint8_t> pixels_;  // top to bottom, as the bitmap keeps them
    bool made_ = false;
    bool allocated_ = false;
    bool released_ = false;
};

} // namespace xpGif10

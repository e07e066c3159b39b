#include "xpGif10/DIBReader.h"
#include "xpGif10/GifTypes.h"

#include <cstring>
#include <exception>
#include <new>

namespace xpGif10 {

using namespace platform;

int64_t TDIBWriter::MemoryLimit = 0;

TDIBReader::TDIBReader(TBitmap& bitmap, TPixelFormat format) : TDIB(bitmap, format) {
    bitmap_.SetPixelFormat(format);
}

TDIBWriter::TDIBWriter(TBitmap& bitmap, TPixelFormat format, int width, int height, HPALETTE palette)
    : TDIB(bitmap, format), width_(width), height_(height), palette_(std::move(palette)) {
    if (format != TPixelFormat::pf8bit && format != TPixelFormat::pf24bit)
        throw GIFException("Unsupported PixelFormat");
    if (width <= 0 || height <= 0) throw GIFException("Invalid image dimensions");
    bits_ = PixelFormatBits(format);
    rowBytes_ = TBitmap::RowBytesFor(width, format);
}

TDIBWriter::~TDIBWriter() {
    if (made_ && !released_ && std::uncaught_exceptions() == 0) {
        try {
            Release();
        } catch (...) {
            // A destructor must not throw; the caller that cares releases
            // explicitly and sees the error there.
        }
    }
}

void TDIBWriter::MakeDIB() {
    made_ = true;
    const int64_t size = int64_t(rowBytes_) * height_;
    if ((MemoryLimit > 0 && size > MemoryLimit) || size > TBitmap::MaxPixels * 4)
        throw EOutOfMemory("Failed to allocate memory for GIF DIB");
    try {
        pixels_.assign(size_t(size), 0);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Failed to allocate memory for GIF DIB");
    }
    allocated_ = true;
}

uint8_t* TDIBWriter::ScanLine(int row) {
    if (!made_) MakeDIB();
    if (!allocated_) throw GIFException("Image has no DIB");
    if (row < 0 || row >= height_) throw EInvalidGraphicOperation("Scan line index out of range");
    return pixels_.data() + size_t(row) * size_t(rowBytes_);
}

void TDIBWriter::Release() {
    if (released_) return;
    released_ = true;
    if (!made_) MakeDIB();
    if (!allocated_) throw GIFException("Image has no DIB");
    allocated_ = false;
    // An 8-bit bitmap takes a full table of 256 entries, the colours given
    // first and black after them, and then keeps a palette of the colours
    // given alone.
    HPALETTE table;
    if (bits_ == 8) {
        TLogPalette log;
        const int count = PaletteSize(palette_);
        for (int i = 0; i < 256; ++i)
            log.palPalEntry.push_back(i < count ? palette_->palPalEntry[size_t(i)] : TPaletteEntry{0, 0, 0, 0});
        for (auto& e : log.palPalEntry) e.peFlags = 0;
        table = CreatePalette(log);
    }
    bitmap_.AdoptPixels(width_, height_, format_, table, std::move(pixels_));
    pixels_ = {};
    if (bits_ == 8 && palette_) bitmap_.SetPalette(CopyPalette(palette_));
}

} // namespace xpGif10

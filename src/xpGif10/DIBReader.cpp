#include "xpGif10/DIBReader.h"
#include "xpGif10/GifTypes.h"

#include <cstring>
#include <exception>
#include <new>

namespace xpGif10 {

using namespace platform;

int64_t TDIBWriter::MemoryLimit = 0;

namespace {
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}
void Put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
} // namespace

TDIBReader::TDIBReader(TBitmap& bitmap, TPixelFormat format) : TDIB(bitmap, format) {
    bitmap_.SetPixelFormat(format);
}

TDIBWriter::TDIBWriter(TBitmap& bitmap, TPixelFormat format, int width, int height, HPALETTE palette)
    : TDIB(bitmap, format), width_(width), height_(height), palette_(std::move(palette)) {
    if (format != TPixelFormat::pf8bit && format != TPixelFormat::pf24bit)
        throw GIFException("Unsupported PixelFormat");
    if (width <= 0 || height <= 0) throw GIFException("Invalid image dimensions");
    bits_ = PixelFormatBits(format);
    rowBytes_ = int((int64_t(width) * bits_ + 31) / 32 * 4);
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
    header_.clear();
    Put32(header_, 40);
    Put32(header_, uint32_t(width_));
    Put32(header_, uint32_t(height_));   // positive: rows bottom-up
    Put16(header_, 1);
    Put16(header_, uint16_t(bits_));
    Put32(header_, 0);                   // no compression
    Put32(header_, uint32_t(int64_t(rowBytes_) * height_));
    Put32(header_, 0);
    Put32(header_, 0);
    const int count = bits_ == 8 ? PaletteSize(palette_) : 0;
    Put32(header_, bits_ == 8 ? 256 : 0);
    Put32(header_, uint32_t(count));
    if (bits_ == 8) {
        for (int i = 0; i < 256; ++i) {
            if (i < count) {
                const TPaletteEntry& e = palette_->palPalEntry[size_t(i)];
                header_.insert(header_.end(), {e.peBlue, e.peGreen, e.peRed, 0});
            } else {
                header_.insert(header_.end(), {0, 0, 0, 0});
            }
        }
    }
    const int64_t size = int64_t(rowBytes_) * height_;
    if ((MemoryLimit > 0 && size > MemoryLimit) || size > TBitmap::MaxPixels * 4) {
        header_.clear();
        throw EOutOfMemory("Failed to allocate memory for GIF DIB");
    }
    pixels_.reset(new (std::nothrow) uint8_t[size_t(size)]);
    if (!pixels_) {
        header_.clear();
        throw EOutOfMemory("Failed to allocate memory for GIF DIB");
    }
    std::memset(pixels_.get(), 0, size_t(size));
}

uint8_t* TDIBWriter::ScanLine(int row) {
    if (!made_) MakeDIB();
    if (!pixels_) throw GIFException("Image has no DIB");
    if (row < 0 || row >= height_) throw EInvalidGraphicOperation("Scan line index out of range");
    return pixels_.get() + size_t(height_ - 1 - row) * size_t(rowBytes_);
}

void TDIBWriter::Release() {
    if (released_) return;
    released_ = true;
    if (!made_) MakeDIB();
    if (!pixels_) throw GIFException("Image has no DIB");
    const size_t pixelBytes = size_t(rowBytes_) * size_t(height_);
    std::vector<uint8_t> file;
    file.reserve(14 + header_.size() + pixelBytes);
    file.push_back('B');
    file.push_back('M');
    Put32(file, uint32_t(14 + header_.size() + pixelBytes));
    Put32(file, 0);
    Put32(file, uint32_t(14 + header_.size()));
    file.insert(file.end(), header_.begin(), header_.end());
    file.insert(file.end(), pixels_.get(), pixels_.get() + pixelBytes);
    pixels_.reset();
    TMemoryStream stream(std::move(file));
    bitmap_.LoadFromStream(stream);
    // The bitmap keeps a palette of the colours given, not the padded table.
    if (bits_ == 8 && palette_) bitmap_.SetPalette(CopyPalette(palette_));
}

} // namespace xpGif10

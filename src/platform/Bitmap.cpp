#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Bmp.h"
#include "platform/ByteOrder.h"
#include "platform/Clipboard.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace platform {

int PixelFormatBits(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf32bit: return 32;
    default: return 24;
    }
}

namespace {

bool Indexed(TPixelFormat f) {
    return f == TPixelFormat::pf1bit || f == TPixelFormat::pf4bit || f == TPixelFormat::pf8bit;
}

HPALETTE MakeDefault(TPixelFormat format) {
    TLogPalette log;
    auto add = [&](int r, int g, int b) {
        log.palPalEntry.push_back({uint8_t(r), uint8_t(g), uint8_t(b), 0});
    };
    if (format == TPixelFormat::pf1bit) {
        add(0, 0, 0);
        add(255, 255, 255);
    } else if (format == TPixelFormat::pf4bit) {
        static const uint8_t vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                           {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                           {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                           {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (auto& c : vga) add(c[0], c[1], c[2]);
    } else {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) add(r * 51, g * 51, b * 51);
    }
    return CreatePalette(log);
}

// Nearest palette entries for many colours of one operation, remembered in a
// small direct-mapped cache.
class NearestIndex {
public:
    explicit NearestIndex(HPALETTE palette) : palette_(std::move(palette)) { keys_.fill(0xFFFFFFFFu); }
    uint32_t operator()(TColor color) {
        color &= 0xFFFFFF;
        size_t slot = (color * 2654435761u) >> 20 & (keys_.size() - 1);
        if (keys_[slot] != color) {
            keys_[slot] = color;
            int idx = GetNearestPaletteIndex(palette_, color);
            values_[slot] = idx < 0 ? 0 : uint32_t(idx);
        }
        return values_[slot];
    }

private:
    HPALETTE palette_;
    std::array<uint32_t, 4096> keys_{};
    std::array<uint32_t, 4096> values_{};
};

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

// Channel value of a masked pixel scaled to 8 bits.
uint8_t FromMask(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!(mask >> shift & 1)) ++shift;
    uint32_t m = mask >> shift, v = (pixel & mask) >> shift;
    return uint8_t(uint64_t(v) * 255 / m);
}

} // namespace

HPALETTE DefaultPaletteFor(TPixelFormat format) {
    static const HPALETTE p1 = MakeDefault(TPixelFormat::pf1bit);
    static const HPALETTE p4 = MakeDefault(TPixelFormat::pf4bit);
    static const HPALETTE p8 = MakeDefault(TPixelFormat::pf8bit);
    switch (format) {
    case TPixelFormat::pf1bit: return p1;
    case TPixelFormat::pf4bit: return p4;
    case TPixelFormat::pf8bit: return p8;
    default: return nullptr;
    }
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

void TBitmap::Allocate(int width, int height, TPixelFormat format, std::vector<uint8_t>& out, int& rowBytes) const {
    if (width < 0 || height < 0) throw EInvalidGraphicOperation("Invalid bitmap size");
    if (int64_t(width) * height > MaxPixels)
        throw EInvalidGraphicOperation("Bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                                       " pixels is too large");
    int64_t rb = (int64_t(width) * PixelFormatBits(format) + 31) / 32 * 4;
    rowBytes = int(rb);
    try {
        out.assign(size_t(rb) * size_t(height), 0);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory for a bitmap of " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels");
    }
}

int TBitmap::RowBytesFor(int width, TPixelFormat format) {
    return int((int64_t(width) * PixelFormatBits(format) + 31) / 32 * 4);
}

void TBitmap::AdoptPixels(int width, int height, TPixelFormat format, HPALETTE palette, std::vector<uint8_t> pixels) {
    if (width < 0 || height < 0 || int64_t(width) * height > MaxPixels ||
        pixels.size() != size_t(RowBytesFor(width, format)) * size_t(height))
        throw EInvalidGraphicOperation("Invalid bitmap size");
    width_ = width;
    height_ = height;
    format_ = format;
    rowBytes_ = RowBytesFor(width, format);
    pixels_ = std::move(pixels);
    palette_ = std::move(palette);
    Changed(this);
}

void TBitmap::SetSize(int width, int height) {
    if (width == width_ && height == height_) return;
    std::vector<uint8_t> fresh;
    int rb = 0;
    Allocate(width, height, format_, fresh, rb);
    int rows = std::min(height, height_);
    size_t bytes = size_t((int64_t(std::min(width, width_)) * BitsPerPixel() + 7) / 8);
    for (int y = 0; y < rows; ++y) std::memcpy(&fresh[size_t(y) * rb], &pixels_[size_t(y) * rowBytes_], bytes);
    pixels_.swap(fresh);
    rowBytes_ = rb;
    width_ = width;
    height_ = height;
    Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == TPixelFormat::pfDevice || format == TPixelFormat::pfCustom) format = TPixelFormat::pf24bit;
    if (format == format_) return;
    HPALETTE target;
    if (Indexed(format)) {
        int maxColors = 1 << PixelFormatBits(format);
        target = (palette_ && PaletteSize(palette_) <= maxColors) ? palette_ : DefaultPaletteFor(format);
    }
    std::vector<uint8_t> fresh;
    int rb = 0;
    Allocate(width_, height_, format, fresh, rb);
    TBitmap converted;
    converted.width_ = width_;
    converted.height_ = height_;
    converted.format_ = format;
    converted.rowBytes_ = rb;
    converted.pixels_.swap(fresh);
    converted.palette_ = target;
    if (Indexed(format_) && Indexed(format) && target == palette_) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) converted.SetPixelValue(x, y, GetPixelValue(x, y));
    } else {
        NearestIndex nearest(target);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                TColor c = GetPixel(x, y);
                converted.SetPixelValue(x, y, Indexed(format) ? nearest(c) : c);
            }
    }
    pixels_.swap(converted.pixels_);
    rowBytes_ = rb;
    format_ = format;
    palette_ = target;
    Changed(this);
}

uint8_t* TBitmap::ScanLine(int row) {
    if (row < 0 || row >= height_) throw EInvalidGraphicOperation("Scan line index out of range");
    return &pixels_[size_t(row) * rowBytes_];
}

const uint8_t* TBitmap::ScanLine(int row) const {
    if (row < 0 || row >= height_) throw EInvalidGraphicOperation("Scan line index out of range");
    return &pixels_[size_t(row) * rowBytes_];
}

void TBitmap::SetPalette(HPALETTE palette) {
    if (SamePalette(palette, palette_)) return;
    palette_ = std::move(palette);
    SetPaletteModified(true);
    Changed(this);
}

uint32_t TBitmap::GetPixelValue(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const uint8_t* row = &pixels_[size_t(y) * rowBytes_];
    switch (format_) {
    case TPixelFormat::pf1bit: return row[x >> 3] >> (7 - (x & 7)) & 1;
    case TPixelFormat::pf4bit: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case TPixelFormat::pf8bit: return row[x];
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: {
        uint16_t v = GetLe16(row + 2 * x);
        bool six = format_ == TPixelFormat::pf16bit;
        uint8_t r = six ? FromMask(v, 0xF800) : FromMask(v, 0x7C00);
        uint8_t g = six ? FromMask(v, 0x07E0) : FromMask(v, 0x03E0);
        uint8_t b = FromMask(v, 0x001F);
        return RGB(r, g, b);
    }
    case TPixelFormat::pf32bit: {
        const uint8_t* p = row + 4 * x;
        return RGB(p[2], p[1], p[0]);
    }
    default: {
        const uint8_t* p = row + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }
    }
}

void TBitmap::SetPixelValue(int x, int y, uint32_t value) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* row = &pixels_[size_t(y) * rowBytes_];
    switch (format_) {
    case TPixelFormat::pf1bit: {
        uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = (value & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
        break;
    }
    case TPixelFormat::pf4bit:
        if (x & 1)
            row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (value & 0x0F));
        else
            row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | (value & 0x0F) << 4);
        break;
    case TPixelFormat::pf8bit: row[x] = uint8_t(value); break;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: {
        uint16_t v;
        if (format_ == TPixelFormat::pf16bit)
            v = uint16_t((GetRValue(value) >> 3) << 11 | (GetGValue(value) >> 2) << 5 | GetBValue(value) >> 3);
        else
            v = uint16_t((GetRValue(value) >> 3) << 10 | (GetGValue(value) >> 3) << 5 | GetBValue(value) >> 3);
        row[2 * x] = uint8_t(v);
        row[2 * x + 1] = uint8_t(v >> 8);
        break;
    }
    case TPixelFormat::pf32bit: {
        uint8_t* p = row + 4 * x;
        p[0] = GetBValue(value);
        p[1] = GetGValue(value);
        p[2] = GetRValue(value);
        p[3] = 0;
        break;
    }
    default: {
        uint8_t* p = row + 3 * x;
        p[0] = GetBValue(value);
        p[1] = GetGValue(value);
        p[2] = GetRValue(value);
    }
    }
}

TColor TBitmap::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return clBlack;
    uint32_t v = GetPixelValue(x, y);
    if (!Indexed(format_)) return v;
    return PaletteColor(palette_ ? palette_ : DefaultPaletteFor(format_), int(v));
}

void TBitmap::SetPixel(int x, int y, TColor color) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    if (Indexed(format_)) {
        int idx = GetNearestPaletteIndex(palette_ ? palette_ : DefaultPaletteFor(format_), color);
        SetPixelValue(x, y, uint32_t(std::max(idx, 0)));
    } else {
        SetPixelValue(x, y, color & 0xFFFFFF);
    }
}

TColor TBitmap::TransparentColor() const {
    if (transparentColor_ != clNone) return transparentColor_;
    return height_ > 0 ? GetPixel(0, height_ - 1) : clBlack;
}

TCanvas& TBitmap::Canvas() {
    if (!canvas_) {
        canvas_ = std::make_unique<TCanvas>(*this);
        canvas_->OnChange = [this](TCanvas*) { Changed(this); };
    }
    return *canvas_;
}

// ---- BMP reading ---------------------------------------------------------------

namespace {

struct DibInfo {
    int32_t width = 0, height = 0;
    bool topDown = false;
    int bits = 0;
    uint32_t compression = 0;
    uint32_t masks[3] = {0, 0, 0};
    HPALETTE palette;
    size_t rowBytes = 0;
};

// Reads the information block that follows the file header: the header, the
// colour table and any bit-field masks. Everything is checked against what
// was read, so no field can point outside it.
DibInfo ReadDibInfo(TStream& stream, size_t& consumed) {
    DibInfo d;
    uint8_t sizeBytes[4];
    if (stream.Read(sizeBytes, 4) != 4) Invalid();
    uint32_t headerSize = GetLe32(sizeBytes);
    if (headerSize != 12 && (headerSize < 40 || headerSize > 1024)) Invalid();
    std::vector<uint8_t> info(headerSize);
    std::memcpy(info.data(), sizeBytes, 4);
    if (stream.Read(info.data() + 4, headerSize - 4) != int64_t(headerSize) - 4) Invalid();
    uint32_t used = 0;
    size_t entrySize = 4;
    if (headerSize == 12) {
        d.width = GetLe16(&info[4]);
        d.height = int16_t(GetLe16(&info[6]));
        d.bits = GetLe16(&info[10]);
        entrySize = 3;
    } else {
        d.width = int32_t(GetLe32(&info[4]));
        d.height = int32_t(GetLe32(&info[8]));
        d.bits = GetLe16(&info[14]);
        d.compression = GetLe32(&info[16]);
        used = GetLe32(&info[32]);
    }
    if (d.width < 0 || d.height == INT32_MIN) Invalid();
    if (d.height < 0) {
        d.height = -d.height;
        d.topDown = true;
    }
    if (d.compression == 1 || d.compression == 2) throw EInvalidGraphic("Compressed bitmaps are not supported");
    if (d.compression != 0 && d.compression != 3) Invalid();
    if (d.bits != 1 && d.bits != 4 && d.bits != 8 && d.bits != 16 && d.bits != 24 && d.bits != 32) Invalid();
    if (d.compression == 3 && d.bits != 16 && d.bits != 32) Invalid();
    if (int64_t(d.width) * d.height > TBitmap::MaxPixels) Invalid();
    consumed = headerSize;
    if (d.bits <= 8) {
        if (used > (1u << d.bits)) Invalid();
        size_t count = used ? used : (1u << d.bits);
        std::vector<uint8_t> table(count * entrySize);
        if (stream.Read(table.data(), int64_t(table.size())) != int64_t(table.size())) Invalid();
        consumed += table.size();
        TLogPalette log;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* e = &table[i * entrySize];
            log.palPalEntry.push_back({e[2], e[1], e[0], 0});
        }
        d.palette = CreatePalette(log);
    } else if (d.compression == 3) {
        uint8_t m[12];
        if (headerSize >= 52) {
            std::memcpy(m, &info[40], 12);
        } else {
            if (stream.Read(m, 12) != 12) Invalid();
            consumed += 12;
        }
        for (int i = 0; i < 3; ++i) d.masks[i] = GetLe32(m + 4 * i);
    } else if (d.bits == 16) {
        d.masks[0] = 0x7C00, d.masks[1] = 0x03E0, d.masks[2] = 0x001F;
    }
    d.rowBytes = size_t((int64_t(d.width) * d.bits + 31) / 32 * 4);
    return d;
}

} // namespace

void TBitmap::LoadFromStream(TStream& stream) {
    int64_t start = stream.Position();
    uint8_t fileHeader[BmpFileHeaderSize];
    if (stream.Read(fileHeader, BmpFileHeaderSize) != int64_t(BmpFileHeaderSize) || fileHeader[0] != 'B' ||
        fileHeader[1] != 'M')
        Invalid();
    LoadDib(stream, start, GetLe32(fileHeader + 10));
}

void TBitmap::LoadDib(TStream& stream, int64_t start, uint32_t offBits) {
    size_t consumed = 0;
    DibInfo d = ReadDibInfo(stream, consumed);
    if (offBits > BmpFileHeaderSize + consumed) {
        int64_t want = start + offBits;
        if (stream.Seek(want, SeekOrigin::Begin) != want) Invalid();
    }
    std::vector<uint8_t> raw;
    size_t bytes = d.rowBytes * size_t(d.height);
    try {
        raw.resize(bytes);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory for a bitmap");
    }
    if (stream.Read(raw.data(), int64_t(bytes)) != int64_t(bytes)) Invalid();

    bool masked = d.bits == 16 || d.compression == 3;
    TPixelFormat format = d.bits == 1   ? TPixelFormat::pf1bit
                          : d.bits == 4 ? TPixelFormat::pf4bit
                          : d.bits == 8 ? TPixelFormat::pf8bit
                          : d.bits == 24 ? TPixelFormat::pf24bit
                                         : TPixelFormat::pf32bit;
    std::vector<uint8_t> pixels;
    int rowBytes = 0;
    Allocate(d.width, d.height, format, pixels, rowBytes);
    width_ = d.width;
    height_ = d.height;
    format_ = format;
    pixels_.swap(pixels);
    rowBytes_ = rowBytes;
    palette_ = d.palette;
    for (int y = 0; y < height_; ++y) {
        const uint8_t* src = &raw[size_t(d.topDown ? y : height_ - 1 - y) * d.rowBytes];
        if (!masked) {
            std::memcpy(&pixels_[size_t(y) * rowBytes_], src, size_t(rowBytes_));
            continue;
        }
        // Masked 16- or 32-bit data becomes plain 32-bit colour.
        for (int x = 0; x < width_; ++x) {
            uint32_t v = d.bits == 16 ? GetLe16(src + 2 * x) : GetLe32(src + 4 * x);
            SetPixelValue(x, y, RGB(FromMask(v, d.masks[0]), FromMask(v, d.masks[1]), FromMask(v, d.masks[2])));
        }
    }
    Changed(this);
}

// ---- BMP writing -----------------------------------------------------------------

std::vector<uint8_t> TBitmap::WriteDIB() const {
    int bits = BitsPerPixel();
    std::vector<uint8_t> out;
    HPALETTE pal = Indexed(format_) ? (palette_ ? palette_ : DefaultPaletteFor(format_)) : nullptr;
    size_t colors = pal ? std::min<size_t>(pal->palPalEntry.size(), size_t(1) << bits) : 0;
    bool masks = format_ == TPixelFormat::pf16bit;
    TBmpInfoHeader header;
    header.width = width_;
    header.height = height_;
    header.bits = uint16_t(bits);
    header.compression = masks ? BmpBitFields : BmpRgb;
    header.imageSize = uint32_t(size_t(rowBytes_) * height_);
    header.colorsUsed = header.colorsImportant = uint32_t(colors);
    AppendBmpInfoHeader(out, header);
    if (masks) {
        AppendLe32(out, 0xF800);
        AppendLe32(out, 0x07E0);
        AppendLe32(out, 0x001F);
    }
    for (size_t i = 0; i < colors; ++i) {
        const auto& e = pal->palPalEntry[i];
        out.push_back(e.peBlue);
        out.push_back(e.peGreen);
        out.push_back(e.peRed);
        out.push_back(0);
    }
    for (int y = height_ - 1; y >= 0; --y) {
        const uint8_t* row = &pixels_[size_t(y) * rowBytes_];
        out.insert(out.end(), row, row + rowBytes_);
    }
    return out;
}

void TBitmap::SaveToStream(TStream& stream) {
    std::vector<uint8_t> dib = WriteDIB();
    uint32_t headerAndTable = uint32_t(dib.size() - size_t(rowBytes_) * height_);
    std::vector<uint8_t> head;
    AppendBmpFileHeader(head, uint32_t(BmpFileHeaderSize + dib.size()), uint32_t(BmpFileHeaderSize + headerAndTable));
    stream.WriteBuffer(head.data(), int64_t(head.size()));
    stream.WriteBuffer(dib.data(), int64_t(dib.size()));
}

void TBitmap::LoadFromClipboardFormat(unsigned format, const std::vector<uint8_t>& data, HPALETTE) {
    if (format != CF_BITMAP && format != CF_DIB) throw EInvalidGraphic("Unsupported clipboard format");
    // The clipboard holds the bitmap without its file header: the pixels
    // follow the header and table directly.
    TMemoryStream ms(data);
    LoadDib(ms, 0, 0);
}

void TBitmap::SaveToClipboardFormat(unsigned& format, std::vector<uint8_t>& data, HPALETTE& palette) {
    format = CF_BITMAP;
    data = WriteDIB();
    palette = CopyPalette(palette_);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) {
    if (Empty()) return;
    if (!Transparent()) {
        TCopyMode saved = canvas.CopyMode;
        canvas.CopyMode = TCopyMode::cmSrcCopy;
        canvas.CopyRect(rect, Canvas(), TRect{0, 0, width_, height_});
        canvas.CopyMode = saved;
        return;
    }
    // Transparent: the pixels of the transparent colour leave the target.
    TColor key = TransparentColor() & 0xFFFFFF;
    int w = rect.Width(), h = rect.Height();
    if (w <= 0 || h <= 0) return;
    TBitmap& target = canvas.Bitmap();
    for (int y = std::max(0, rect.top); y < std::min(rect.bottom, target.Height()); ++y) {
        int sy = int(int64_t(y - rect.top) * height_ / h);
        for (int x = std::max(0, rect.left); x < std::min(rect.right, target.Width()); ++x) {
            int sx = int(int64_t(x - rect.left) * width_ / w);
            TColor c = GetPixel(sx, sy);
            if (c != key) target.SetPixel(x, y, c);
        }
    }
    canvas.Changed();
}

void TBitmap::Assign(const TPersistent* source) {
    if (source == this) return;
    if (auto* other = dynamic_cast<const TBitmap*>(source)) {
        width_ = other->width_;
        height_ = other->height_;
        format_ = other->format_;
        rowBytes_ = other->rowBytes_;
        pixels_ = other->pixels_;
        palette_ = CopyPalette(other->palette_);
        transparentColor_ = other->transparentColor_;
        SetTransparent(other->Transparent());
        Changed(this);
        return;
    }
    if (!source) {
        width_ = height_ = rowBytes_ = 0;
        pixels_.clear();
        palette_.reset();
        Changed(this);
        return;
    }
    TGraphic::Assign(source);
}

} // namespace platform

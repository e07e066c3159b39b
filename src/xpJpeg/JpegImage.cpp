#include "xpJpeg/JpegImage.h"
#include "platform/Canvas.h"

#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" {
#include <jpeglib.h>
}

namespace xpJpeg {

using namespace platform;

namespace {

// libjpeg reports errors through error_exit, which must not return. It jumps
// back to the call below; the frames between hold only plain C data, so the
// jump skips no destructor. The message is kept for the exception.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // libjpeg's defaults with our exit and a silent warning output.
    jpeg_error_mgr* Install();
};

void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->jump, 1);
}

// Warnings (corrupt data that libjpeg can step over) are not errors.
void OutputMessage(j_common_ptr) {}

jpeg_error_mgr* ErrorManager::Install() {
    jpeg_error_mgr* mgr = jpeg_std_error(&pub);
    pub.error_exit = ErrorExit;
    pub.output_message = OutputMessage;
    message[0] = 0;
    return mgr;
}

struct DecodeResult {
    int width = 0, height = 0;
    bool ok = false;
    char message[JMSG_LENGTH_MAX] = {};
};

// Decodes the data into rgb (width * height * 3, top-down, red first) or,
// with rgb null, reads only the header. A plain C-style function: nothing in
// it has a destructor, so the long jump of an error is safe.
DecodeResult DecodeJpeg(const uint8_t* data, size_t size, uint8_t* (*allocate)(void* ctx, int w, int h), void* ctx,
                        bool headerOnly) {
    DecodeResult result;
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = err.Install();
    if (setjmp(err.jump)) {
        std::memcpy(result.message, err.message, sizeof result.message);
        jpeg_destroy_decompress(&cinfo);
        return result;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    result.width = int(cinfo.image_width);
    result.height = int(cinfo.image_height);
    if (headerOnly) {
        jpeg_destroy_decompress(&cinfo);
        result.ok = true;
        return result;
    }
    // libjpeg turns only YCbCr and grey into RGB; four-channel files (CMYK,
    // and YCCK which it turns into CMYK) come out as ink amounts, which are
    // converted here.
    const bool inks = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = inks ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    uint8_t* out = allocate(ctx, int(cinfo.output_width), int(cinfo.output_height));
    if (!out) {
        std::snprintf(result.message, sizeof result.message, "JPEG image too large");
        jpeg_destroy_decompress(&cinfo);
        return result;
    }
    const size_t stride = size_t(cinfo.output_width) * 3;
    // The ink row lives in libjpeg's own pool, freed with the decompressor.
    JSAMPARRAY inkRow =
        inks ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, cinfo.output_width * 4, 1)
             : nullptr;
    // Files with Adobe's marker (nearly all CMYK files) store the inks
    // inverted: 255 is no ink.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out + stride * cinfo.output_scanline;
        if (!inks) {
            jpeg_read_scanlines(&cinfo, &row, 1);
            continue;
        }
        jpeg_read_scanlines(&cinfo, inkRow, 1);
        const uint8_t* ink = inkRow[0];
        for (JDIMENSION x = 0; x < cinfo.output_width; ++x, ink += 4) {
            unsigned c = ink[0], m = ink[1], y = ink[2], k = ink[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            row[3 * x] = uint8_t((c * k + 127) / 255);
            row[3 * x + 1] = uint8_t((m * k + 127) / 255);
            row[3 * x + 2] = uint8_t((y * k + 127) / 255);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    result.ok = true;
    return result;
}

struct EncodeResult {
    bool ok = false;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
};

EncodeResult EncodeJpeg(const uint8_t* rgb, int width, int height, int quality, bool gray) {
    EncodeResult result;
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = err.Install();
    if (setjmp(err.jump)) {
        std::memcpy(result.message, err.message, sizeof result.message);
        jpeg_destroy_compress(&cinfo);
        std::free(result.buffer);
        result.buffer = nullptr;
        return result;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &result.buffer, &result.size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (gray) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = size_t(width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(rgb + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    result.ok = true;
    return result;
}

struct RgbBuffer {
    std::vector<uint8_t> pixels;
    int width = 0, height = 0;
};

uint8_t* AllocateRgb(void* ctx, int w, int h) {
    auto* buf = static_cast<RgbBuffer*>(ctx);
    if (int64_t(w) * h > TBitmap::MaxPixels) return nullptr;
    try {
        buf->pixels.resize(size_t(w) * size_t(h) * 3);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    buf->width = w;
    buf->height = h;
    return buf->pixels.data();
}

} // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

bool TJPEGImage::Empty() const { return data_.empty() && !bitmap_; }

void TJPEGImage::ReadHeader() {
    DecodeResult r = DecodeJpeg(data_.data(), data_.size(), nullptr, nullptr, true);
    if (!r.ok) throw EJPEG(std::string("JPEG error: ") + r.message);
    width_ = r.width;
    height_ = r.height;
}

void TJPEGImage::Decode() {
    RgbBuffer rgb;
    DecodeResult r = DecodeJpeg(data_.data(), data_.size(), &AllocateRgb, &rgb, false);
    if (!r.ok) throw EJPEG(std::string("JPEG error: ") + r.message);
    auto bmp = std::make_unique<TBitmap>();
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    bmp->SetSize(rgb.width, rgb.height);
    for (int y = 0; y < rgb.height; ++y) {
        uint8_t* row = bmp->ScanLine(y);
        const uint8_t* src = rgb.pixels.data() + size_t(y) * rgb.width * 3;
        for (int x = 0; x < rgb.width; ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
    }
    bitmap_ = std::move(bmp);
    width_ = rgb.width;
    height_ = rgb.height;
}

void TJPEGImage::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> data;
    uint8_t buf[65536];
    for (;;) {
        int64_t n = stream.Read(buf, sizeof buf);
        if (n <= 0) break;
        data.insert(data.end(), buf, buf + n);
    }
    std::vector<uint8_t> old;
    old.swap(data_);
    data_.swap(data);
    try {
        ReadHeader();
    } catch (...) {
        data_.swap(old);
        throw;
    }
    bitmap_.reset();
    Changed(this);
}

void TJPEGImage::Compress() {
    if (!bitmap_) return;
    const TBitmap& bmp = *bitmap_;
    std::vector<uint8_t> rgb(size_t(bmp.Width()) * size_t(bmp.Height()) * 3);
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            TColor c = bmp.GetPixel(x, y);
            uint8_t* p = &rgb[(size_t(y) * bmp.Width() + x) * 3];
            p[0] = GetRValue(c);
            p[1] = GetGValue(c);
            p[2] = GetBValue(c);
        }
    int q = CompressionQuality < 1 ? 1 : CompressionQuality > 100 ? 100 : CompressionQuality;
    EncodeResult r = EncodeJpeg(rgb.data(), bmp.Width(), bmp.Height(), q, Grayscale);
    if (!r.ok) throw EJPEG(std::string("JPEG error: ") + r.message);
    data_.assign(r.buffer, r.buffer + r.size);
    std::free(r.buffer);
}

void TJPEGImage::SaveToStream(TStream& stream) {
    if (data_.empty()) Compress();
    stream.WriteBuffer(data_.data(), int64_t(data_.size()));
}

const TBitmap& TJPEGImage::Bitmap() {
    if (!bitmap_) {
        if (data_.empty()) {
            bitmap_ = std::make_unique<TBitmap>();
        } else {
            Decode();
        }
    }
    return *bitmap_;
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) {
    if (Empty()) return;
    Bitmap();
    bitmap_->Draw(canvas, rect);
}

void TJPEGImage::Assign(const TPersistent* source) {
    if (source == this) return;
    if (auto* other = dynamic_cast<const TJPEGImage*>(source)) {
        data_ = other->data_;
        width_ = other->width_;
        height_ = other->height_;
        bitmap_.reset();
        CompressionQuality = other->CompressionQuality;
        Grayscale = other->Grayscale;
        Changed(this);
        return;
    }
    if (auto* bmp = dynamic_cast<const TBitmap*>(source)) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(bmp);
        copy->SetPixelFormat(TPixelFormat::pf24bit);
        width_ = copy->Width();
        height_ = copy->Height();
        bitmap_ = std::move(copy);
        data_.clear();  // compressed anew when saved
        Changed(this);
        return;
    }
    TGraphic::Assign(source);
}

void TJPEGImage::AssignTo(TPersistent* dest) const {
    if (auto* bmp = dynamic_cast<TBitmap*>(dest)) {
        auto* self = const_cast<TJPEGImage*>(this);
        bmp->Assign(&self->Bitmap());
        return;
    }
    TGraphic::AssignTo(dest);
}

} // namespace xpJpeg

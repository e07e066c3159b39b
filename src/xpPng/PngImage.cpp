// PNG through libpng's simplified interface: it reads every kind of PNG
// into the one layout asked for and reports errors by return value, so no
// long jump crosses our code.
#include "xpPng/PngImage.h"
#include "platform/Canvas.h"

#include <png.h>

#include <cstring>
#include <set>

namespace xpPng {

using namespace platform;

TPNGImage::TPNGImage() = default;
TPNGImage::~TPNGImage() = default;

void TPNGImage::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    for (int64_t n; (n = stream.Read(buffer, sizeof buffer)) > 0;) data.insert(data.end(), buffer, buffer + n);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
        throw EPNG(std::string("PNG error: ") + image.message);
    if (int64_t(image.width) * image.height > TBitmap::MaxPixels) {
        png_image_free(&image);
        throw EPNG("PNG image too large: " + std::to_string(image.width) + " x " + std::to_string(image.height));
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        throw EPNG(std::string("PNG error: ") + image.message);
    SetPixels(int(image.width), int(image.height), std::move(pixels));
}

void TPNGImage::SaveToStream(TStream& stream) {
    if (Empty()) throw EPNG("PNG error: the picture is empty");
    const bool alpha = HasAlpha();
    std::vector<uint8_t> rgb;
    const uint8_t* source = pixels_.data();
    if (!alpha) {
        rgb.resize(size_t(width_) * size_t(height_) * 3);
        for (size_t i = 0, n = size_t(width_) * size_t(height_); i < n; ++i)
            std::memcpy(&rgb[3 * i], &pixels_[4 * i], 3);
        source = rgb.data();
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width_);
    image.height = png_uint_32(height_);
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, source, 0, nullptr))
        throw EPNG(std::string("PNG error: ") + image.message);
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, source, 0, nullptr))
        throw EPNG(std::string("PNG error: ") + image.message);
    stream.WriteBuffer(out.data(), int64_t(size));
}

void TPNGImage::SetPixels(int width, int height, std::vector<uint8_t> rgba) {
    pixels_ = std::move(rgba);
    width_ = width;
    height_ = height;
    bitmap_.reset();
    Changed(this);
}

bool TPNGImage::HasAlpha() const {
    for (size_t i = 3; i < pixels_.size(); i += 4)
        if (pixels_[i] != 255) return true;
    return false;
}

const TBitmap& TPNGImage::Bitmap() {
    if (bitmap_) return *bitmap_;
    auto bmp = std::make_unique<TBitmap>();
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    bmp->SetSize(width_, height_);
    std::set<TColor> used;
    bool seeThrough = false;
    for (int y = 0; y < height_; ++y) {
        uint8_t* row = bmp->ScanLine(y);
        const uint8_t* p = &pixels_[size_t(y) * size_t(width_) * 4];
        for (int x = 0; x < width_; ++x, p += 4) {
            row[3 * x] = p[2];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
            if (p[3] < 128)
                seeThrough = true;
            else
                used.insert(RGB(p[0], p[1], p[2]));
        }
    }
    if (seeThrough) {
        TColor key = RGB(254, 0, 254);
        while (used.count(key)) ++key;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (pixels_[(size_t(y) * size_t(width_) + size_t(x)) * 4 + 3] < 128) bmp->SetPixel(x, y, key);
        bmp->SetTransparentColor(key);
        bmp->SetTransparent(true);
    }
    bitmap_ = std::move(bmp);
    return *bitmap_;
}

void TPNGImage::Draw(TCanvas& canvas, const TRect& rect) {
    if (Empty()) return;
    Bitmap();
    bitmap_->Draw(canvas, rect);
}

void TPNGImage::Assign(const TPersistent* source) {
    if (source == this) return;
    if (auto* other = dynamic_cast<const TPNGImage*>(source)) {
        SetPixels(other->width_, other->height_, other->pixels_);
        return;
    }
    if (auto* bmp = dynamic_cast<const TBitmap*>(source)) {
        const int w = bmp->Width(), h = bmp->Height();
        const TColor key = bmp->TransparentColor() & 0xFFFFFF;
        std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const TColor c = bmp->GetPixel(x, y) & 0xFFFFFF;
                uint8_t* p = &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4];
                p[0] = GetRValue(c);
                p[1] = GetGValue(c);
                p[2] = GetBValue(c);
                p[3] = bmp->Transparent() && c == key ? 0 : 255;
            }
        SetPixels(w, h, std::move(rgba));
        return;
    }
    TGraphic::Assign(source);
}

void TPNGImage::AssignTo(TPersistent* dest) const {
    if (auto* bmp = dynamic_cast<TBitmap*>(dest)) {
        bmp->Assign(&const_cast<TPNGImage*>(this)->Bitmap());
        return;
    }
    TGraphic::AssignTo(dest);
}

} // namespace xpPng

#pragma once
// A PNG picture carried out by libpng: any PNG (1 to 16 bits, grey,
// palette, colour, with or without transparency) loads as 8-bit red, green,
// blue and alpha; it is saved as 24-bit colour, or 32-bit with alpha when
// any pixel is see-through.
#include "platform/Bitmap.h"
#include "platform/Graphics.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace xpPng {

// Every failure of libpng becomes this error with libpng's own message.
class EPNG : public platform::EInvalidGraphic {
    using platform::EInvalidGraphic::EInvalidGraphic;
};

class TPNGImage : public platform::TGraphic {
public:
    TPNGImage();
    ~TPNGImage() override;
    std::string ClassName() const override { return "TPNGImage"; }

    bool Empty() const override { return pixels_.empty(); }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // A PNG picture's size follows its content.
    void SetWidth(int) override {}
    void SetHeight(int) override {}

    // Reads the rest of the stream as a PNG file.
    void LoadFromStream(platform::TStream& stream) override;
    void SaveToStream(platform::TStream& stream) override;
    void Draw(platform::TCanvas& canvas, const platform::TRect& rect) override;
    // From another PNG picture or a bitmap (a transparent bitmap's
    // transparent colour becomes see-through).
    void Assign(const platform::TPersistent* source) override;

    // Red, green, blue, alpha per pixel, rows top to bottom.
    const std::vector<uint8_t>& Pixels() const { return pixels_; }
    void SetPixels(int width, int height, std::vector<uint8_t> rgba);
    // Whether any pixel is less than opaque.
    bool HasAlpha() const;
    // The picture as a 24-bit bitmap; pixels under half opaque become its
    // transparent colour, one that no other pixel shows.
    const platform::TBitmap& Bitmap();

private:
    void AssignTo(platform::TPersistent* dest) const override;

    std::vector<uint8_t> pixels_;
    int width_ = 0, height_ = 0;
    std::unique_ptr<platform::TBitmap> bitmap_;
};

} // namespace xpPng

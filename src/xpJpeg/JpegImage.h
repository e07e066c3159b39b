#pragma once
// A JPEG picture carried out by libjpeg: the compressed data is kept as it
// was loaded and decoded to a 24-bit bitmap when first needed; a picture
// assigned from a bitmap is compressed with the quality setting when saved.
#include "platform/Bitmap.h"
#include "platform/Graphics.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace xpJpeg {

// Every failure of libjpeg becomes this error with libjpeg's own message;
// the library's default handler would end the process instead.
class EJPEG : public platform::EInvalidGraphic {
    using platform::EInvalidGraphic::EInvalidGraphic;
};

class TJPEGImage : public platform::TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;
    std::string ClassName() const override { return "TJPEGImage"; }

    bool Empty() const override;
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // A JPEG picture's size follows its content.
    void SetWidth(int) override {}
    void SetHeight(int) override {}

    // Reads the rest of the stream as JPEG data; the header is checked at
    // once, so a file that is no JPEG fails here.
    void LoadFromStream(platform::TStream& stream) override;
    // Writes the loaded data as it was, or compresses the bitmap.
    void SaveToStream(platform::TStream& stream) override;
    void Draw(platform::TCanvas& canvas, const platform::TRect& rect) override;
    void Assign(const platform::TPersistent* source) override;

    // The picture as a 24-bit bitmap (decoded on first use).
    const platform::TBitmap& Bitmap();
    // 1..100; used when the picture is compressed anew.
    int CompressionQuality = 90;
    bool Grayscale = false;

    // Compresses the current bitmap now with the quality setting.
    void Compress();

    const std::vector<uint8_t>& Data() const { return data_; }

private:
    void ReadHeader();
    void Decode();
    void AssignTo(platform::TPersistent* dest) const override;

    std::vector<uint8_t> data_;
    std::unique_ptr<platform::TBitmap> bitmap_;
    int width_ = 0, height_ = 0;
};

} // namespace xpJpeg

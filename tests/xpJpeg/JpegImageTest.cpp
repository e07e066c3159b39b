#include "platform/Bitmap.h"
#include "common/Spawn.h"
#include "platform/Canvas.h"
#include "platform/Streams.h"
#include "xpJpeg/JpegImage.h"
#include "xpJpeg/JpegUnit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

extern "C" {
#include <jpeglib.h>
}

using namespace platform;
using namespace xpJpeg;

namespace {

void Gradient(TBitmap& b, int w, int h) {
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetPixel(x, y, RGB(uint8_t(x * 255 / w), uint8_t(y * 255 / h), 128));
}

int MaxDifference(const TBitmap& a, const TBitmap& b) {
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            TColor p = a.GetPixel(x, y), q = b.GetPixel(x, y);
            worst = std::max({worst, std::abs(GetRValue(p) - GetRValue(q)), std::abs(GetGValue(p) - GetGValue(q)),
                              std::abs(GetBValue(p) - GetBValue(q))});
        }
    return worst;
}

std::vector<uint8_t> Compress(const TBitmap& bmp, int quality) {
    TJPEGImage jpeg;
    jpeg.Assign(&bmp);
    jpeg.CompressionQuality = quality;
    TMemoryStream s;
    jpeg.SaveToStream(s);
    return s.Bytes();
}

} // namespace

TEST(JpegImage, BitmapSurvivesCompressionCloselyAndQualityMatters) {
    TBitmap bmp;
    Gradient(bmp, 64, 48);
    auto high = Compress(bmp, 95);
    auto low = Compress(bmp, 10);
    EXPECT_EQ(high[0], 0xFF);
    EXPECT_EQ(high[1], 0xD8);
    EXPECT_LT(low.size(), high.size());
    TJPEGImage back;
    TMemoryStream s(high);
    back.LoadFromStream(s);
    EXPECT_EQ(back.Width(), 64);
    EXPECT_EQ(back.Height(), 48);
    const TBitmap& decoded = back.Bitmap();
    EXPECT_EQ(decoded.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_LE(MaxDifference(bmp, decoded), 12);
    // Saving a loaded picture writes its data unchanged.
    TMemoryStream again;
    back.SaveToStream(again);
    EXPECT_EQ(again.Bytes(), high);
}

TEST(JpegImage, CorruptDataIsAnErrorNotAnExit) {
    TBitmap bmp;
    Gradient(bmp, 256, 256);
    auto good = Compress(bmp, 80);
    TJPEGImage jpeg;
    TMemoryStream junk(std::vector<uint8_t>{'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'});
    try {
        jpeg.LoadFromStream(junk);
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_NE(std::string(e.what()).find("JPEG"), std::string::npos);
    }
    EXPECT_TRUE(jpeg.Empty());
    // A cut file reads its header but cannot be decoded whole; libjpeg pads
    // the missing part, which only warns. A file cut inside the header fails.
    TMemoryStream cutHeader(std::vector<uint8_t>(good.begin(), good.begin() + 20));
    EXPECT_THROW(jpeg.LoadFromStream(cutHeader), EJPEG);
    TMemoryStream cut(std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() * 3 / 4)));
    jpeg.LoadFromStream(cut);
    EXPECT_EQ(jpeg.Bitmap().Width(), 256);
    // Damage inside the coded data: either decoded with libjpeg's repair or
    // refused with an error, never the end of the process.
    auto damaged = good;
    for (size_t i = good.size() / 2; i < good.size() - 2; i += 7) damaged[i] = 0xFF;
    TMemoryStream d(damaged);
    try {
        jpeg.LoadFromStream(d);
        jpeg.Bitmap();
    } catch (const EJPEG&) {
    }
}

TEST(JpegImage, ImageMagickJpegLoadsAndDraws) {
    if (!qeltest::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    auto dir = std::filesystem::temp_directory_path() / ("qeljpg-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "red.jpg").string();
    ASSERT_EQ(std::system(("convert -size 20x10 xc:red -quality 95 " + path).c_str()), 0);
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    EXPECT_EQ(jpeg.Width(), 20);
    TBitmap target;
    target.SetSize(40, 20);
    target.Canvas().StretchDraw(TRect{0, 0, 40, 20}, jpeg);
    TColor c = target.GetPixel(30, 15);
    EXPECT_GT(GetRValue(c), 240);
    EXPECT_LT(GetGValue(c), 15);
    TBitmap copy;
    copy.Assign(&jpeg);
    EXPECT_EQ(copy.Width(), 20);
    std::filesystem::remove_all(dir);
}

TEST(JpegUnitStart, RegistersBothExtensionsUntilStopped) {
    {
        JpegUnit unit;
        for (const char* ext : {"jpeg", "jpg", "JPG"}) {
            const TGraphicClass* cls = TPicture::FindFileFormat(ext);
            ASSERT_TRUE(cls) << ext;
            EXPECT_EQ(cls->name, "TJPEGImage");
        }
        int described = 0;
        for (const auto& f : TPicture::FileFormats())
            if (f.description == "JPEG Image File") ++described;
        EXPECT_EQ(described, 2);
    }
    EXPECT_FALSE(TPicture::FindFileFormat("jpg"));
    EXPECT_TRUE(TPicture::FindFileFormat("bmp"));
}

namespace {

// Writes the ink samples (inverted, as files with Adobe's marker hold
// them) as a YCCK JPEG through libjpeg.
std::vector<uint8_t> YcckJpeg(const std::vector<uint8_t>& cmyk, int w, int h) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(w) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(255 - cmyk[cinfo.next_scanline * row.size() + i]);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

} // namespace

TEST(JpegImage, CmykAndYcckFilesLoadAsImageMagickConvertsThem) {
    if (!qeltest::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    auto dir = std::filesystem::temp_directory_path() / ("qeljpg-cmyk-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string d = dir.string();
    // A colourful picture as CMYK JPEG, ImageMagick's own RGB of it, and
    // its ink samples, which libjpeg then writes again as YCCK.
    ASSERT_EQ(std::system(("convert -size 48x32 gradient:red-blue \\( -size 48x32 gradient:yellow-black -rotate 90 "
                           "-resize 48x32! \\) -compose multiply -composite -colorspace CMYK -quality 100 " + d +
                           "/cmyk.jpg && convert " + d + "/cmyk.jpg -colorspace sRGB -depth 8 rgb:" + d +
                           "/cmyk.rgb && convert " + d + "/cmyk.jpg -depth 8 cmyk:" + d + "/cmyk.raw")
                              .c_str()),
              0);
    const std::vector<uint8_t> theirs = ReadFileBytes(d + "/cmyk.rgb");
    const std::vector<uint8_t> ycck = YcckJpeg(ReadFileBytes(d + "/cmyk.raw"), 48, 32);
    TMemoryStream ycckStream(ycck);
    for (const char* which : {"cmyk", "ycck"}) {
        TJPEGImage jpeg;
        if (std::string(which) == "cmyk")
            jpeg.LoadFromFile(d + "/cmyk.jpg");
        else
            jpeg.LoadFromStream(ycckStream);
        const TBitmap& bmp = jpeg.Bitmap();
        ASSERT_EQ(bmp.Width(), 48) << which;
        int worst = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 48; ++x) {
                const TColor c = bmp.GetPixel(x, y);
                const uint8_t* t = &theirs[(size_t(y) * 48 + size_t(x)) * 3];
                worst = std::max({worst, std::abs(GetRValue(c) - t[0]), std::abs(GetGValue(c) - t[1]),
                                  std::abs(GetBValue(c) - t[2])});
            }
        // YCCK passes through one more lossy colour transform.
        EXPECT_LE(worst, std::string(which) == "cmyk" ? 1 : 6) << which;
    }
    std::filesystem::remove_all(dir);
}

#include "platform/Bitmap.h"
#include "common/Spawn.h"
#include "platform/Canvas.h"
#include "platform/Clipboard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace platform;

namespace {

void Make(TBitmap& b, TPixelFormat format, int w, int h) {
    b.SetPixelFormat(format);
    b.SetSize(w, h);
}

void Fill(TBitmap& b) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            b.SetPixel(x, y, RGB(uint8_t(x * 40), uint8_t(y * 60), uint8_t((x + y) * 20)));
}

std::vector<uint8_t> SaveBytes(TBitmap& b) {
    TMemoryStream s;
    b.SaveToStream(s);
    return s.Bytes();
}

} // namespace

TEST(BitmapLayout, RowsArePaddedToFourBytesAndPixelsPackedMostSignificantFirst) {
    TBitmap one;
    Make(one, TPixelFormat::pf1bit, 9, 2);
    EXPECT_EQ(one.RowBytes(), 4);
    one.SetPixelValue(0, 0, 1);
    one.SetPixelValue(8, 0, 1);
    EXPECT_EQ(one.ScanLine(0)[0], 0x80);
    EXPECT_EQ(one.ScanLine(0)[1], 0x80);
    TBitmap four;
    Make(four, TPixelFormat::pf4bit, 3, 1);
    four.SetPixelValue(0, 0, 0xA);
    four.SetPixelValue(1, 0, 0x5);
    EXPECT_EQ(four.ScanLine(0)[0], 0xA5);
    TBitmap rgb;
    Make(rgb, TPixelFormat::pf24bit, 3, 1);
    EXPECT_EQ(rgb.RowBytes(), 12);
    rgb.SetPixel(1, 0, RGB(1, 2, 3));
    EXPECT_EQ(rgb.ScanLine(0)[3], 3);  // blue first
    EXPECT_EQ(rgb.ScanLine(0)[5], 1);
    try {
        rgb.ScanLine(1);
        FAIL();
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_STREQ(e.what(), "Scan line index out of range");
    }
}

TEST(BitmapLayout, ResizingKeepsWhatStillFitsAndRefusesHugeSizes) {
    TBitmap b;
    Make(b, TPixelFormat::pf24bit, 4, 4);
    b.SetPixel(1, 1, RGB(9, 8, 7));
    b.SetSize(2, 3);
    EXPECT_EQ(b.GetPixel(1, 1), RGB(9, 8, 7));
    b.SetSize(5, 5);
    EXPECT_EQ(b.GetPixel(4, 4), clBlack);
    EXPECT_THROW(b.SetSize(70000, 70000), EInvalidGraphicOperation);
    EXPECT_EQ(b.Width(), 5);
}

TEST(BitmapFormats, ConversionsGoThroughThePalette) {
    TBitmap b;
    Make(b, TPixelFormat::pf24bit, 2, 1);
    b.SetPixel(0, 0, RGB(250, 250, 250));
    b.SetPixel(1, 0, RGB(10, 0, 0));
    b.SetPixelFormat(TPixelFormat::pf1bit);
    EXPECT_EQ(b.GetPixelValue(0, 0), 1u);
    EXPECT_EQ(b.GetPixelValue(1, 0), 0u);
    EXPECT_EQ(b.GetPixel(0, 0), clWhite);
    b.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_EQ(b.GetPixel(0, 0), clWhite);

    TBitmap p;
    Make(p, TPixelFormat::pf8bit, 2, 1);
    TLogPalette log;
    log.palPalEntry = {{0, 0, 0, 0}, {200, 100, 50, 0}, {1, 2, 3, 0}};
    p.SetPalette(CreatePalette(log));
    p.SetPixel(0, 0, RGB(198, 101, 50));
    EXPECT_EQ(p.GetPixelValue(0, 0), 1u);
    // Indices survive a change to a depth that can still hold the palette.
    p.SetPixelValue(1, 0, 2);
    p.SetPixelFormat(TPixelFormat::pf4bit);
    EXPECT_EQ(p.GetPixelValue(1, 0), 2u);
    EXPECT_EQ(p.GetPixel(0, 0), RGB(200, 100, 50));
}

TEST(BitmapFiles, EveryDepthSurvivesSaveAndLoad) {
    for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf16bit,
                           TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        TBitmap b;
    Make(b, f, 7, 5);
        Fill(b);
        auto bytes = SaveBytes(b);
        EXPECT_EQ(bytes[0], 'B');
        TBitmap back;
        TMemoryStream s(bytes);
        back.LoadFromStream(s);
        ASSERT_EQ(back.Width(), 7);
        ASSERT_EQ(back.Height(), 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) ASSERT_EQ(back.GetPixel(x, y), b.GetPixel(x, y)) << int(f) << " " << x << "," << y;
        EXPECT_EQ(s.Position(), int64_t(bytes.size()));
    }
}

TEST(BitmapFiles, DamagedFilesGiveAClearError) {
    TBitmap b;
    Make(b, TPixelFormat::pf8bit, 4, 4);
    auto bytes = SaveBytes(b);
    for (size_t cut : {size_t(0), size_t(10), size_t(30), bytes.size() - 1}) {
        TBitmap x;
        TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        EXPECT_THROW(x.LoadFromStream(s), EInvalidGraphic) << cut;
    }
    auto huge = bytes;
    huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x7F;  // width 2^31-1
    TMemoryStream s(huge);
    TBitmap x;
    EXPECT_THROW(x.LoadFromStream(s), EInvalidGraphic);
    auto colors = bytes;
    colors[46] = 0x01, colors[47] = 0x10;  // 4097 colours used
    TMemoryStream c(colors);
    EXPECT_THROW(x.LoadFromStream(c), EInvalidGraphic);
}

TEST(BitmapFiles, ImageMagickBitmapsLoad) {
    if (!qeltest::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    auto dir = std::filesystem::temp_directory_path() / ("qelbmp-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string d = dir.string();
    ASSERT_EQ(std::system(("convert -size 13x7 xc:red -fill blue -draw 'point 2,3' -type truecolor BMP3:" + d +
                           "/t.bmp && convert -size 13x7 xc:red -fill blue -draw 'point 2,3' -type palette BMP3:" + d +
                           "/p.bmp && convert -size 13x7 xc:red -fill blue -draw 'point 2,3' -alpha on BMP:" + d +
                           "/a.bmp")
                              .c_str()),
              0);
    for (const char* name : {"t.bmp", "p.bmp", "a.bmp"}) {
        TBitmap b;
        b.LoadFromFile(d + "/" + name);
        EXPECT_EQ(b.Width(), 13) << name;
        EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0)) << name;
        EXPECT_EQ(b.GetPixel(2, 3), RGB(0, 0, 255)) << name;
    }
    std::filesystem::remove_all(dir);
}

TEST(BitmapClipboard, BitmapFormatIsABmpWithoutItsFileHeader) {
    TBitmap b;
    Make(b, TPixelFormat::pf24bit, 3, 2);
    Fill(b);
    unsigned format = 0;
    std::vector<uint8_t> data;
    HPALETTE pal;
    b.SaveToClipboardFormat(format, data, pal);
    EXPECT_EQ(format, CF_BITMAP);
    EXPECT_EQ(data[0], 40);
    TBitmap back;
    back.LoadFromClipboardFormat(CF_BITMAP, data, nullptr);
    EXPECT_EQ(back.GetPixel(2, 1), b.GetPixel(2, 1));
    EXPECT_THROW(back.LoadFromClipboardFormat(0xC123, data, nullptr), EInvalidGraphic);
}

TEST(CanvasDrawing, FillPixelsAndCombiningCopies) {
    TBitmap target;
    Make(target, TPixelFormat::pf24bit, 4, 4);
    TCanvas& c = target.Canvas();
    int changes = 0;
    target.OnChange = [&](TGraphic*) { ++changes; };
    c.BrushColor = RGB(0xF0, 0x0F, 0x33);
    c.FillRect(TRect{1, 1, 3, 3});
    EXPECT_EQ(c.GetPixel(1, 1), RGB(0xF0, 0x0F, 0x33));
    EXPECT_EQ(c.GetPixel(0, 0), clBlack);
    EXPECT_EQ(c.GetPixel(3, 3), clBlack);
    EXPECT_GT(changes, 0);

    TBitmap src;
    Make(src, TPixelFormat::pf24bit, 2, 2);
    src.Canvas().BrushColor = RGB(0x3C, 0xFF, 0x01);
    src.Canvas().FillRect(TRect{0, 0, 2, 2});
    c.CopyMode = TCopyMode::cmSrcAnd;
    c.CopyRect(TRect{1, 1, 3, 3}, src.Canvas(), TRect{0, 0, 2, 2});
    EXPECT_EQ(c.GetPixel(2, 2), RGB(0x30, 0x0F, 0x01));
    c.CopyMode = TCopyMode::cmSrcPaint;
    c.CopyRect(TRect{1, 1, 3, 3}, src.Canvas(), TRect{0, 0, 2, 2});
    EXPECT_EQ(c.GetPixel(2, 2), RGB(0x3C, 0xFF, 0x01));
    c.CopyMode = TCopyMode::cmSrcCopy;
    // Stretch 2x2 onto the whole 4x4: each source pixel covers a 2x2 block.
    src.SetPixel(1, 1, clWhite);
    c.CopyRect(TRect{0, 0, 4, 4}, src.Canvas(), TRect{0, 0, 2, 2});
    EXPECT_EQ(c.GetPixel(3, 3), clWhite);
    EXPECT_EQ(c.GetPixel(2, 2), clWhite);
    EXPECT_EQ(c.GetPixel(1, 1), RGB(0x3C, 0xFF, 0x01));
    // Copies clip to the target.
    c.CopyRect(TRect{3, 3, 5, 5}, src.Canvas(), TRect{0, 0, 2, 2});
    EXPECT_EQ(c.GetPixel(3, 3), RGB(0x3C, 0xFF, 0x01));
}

TEST(CanvasDrawing, GraphicsDrawStretchedTiledAndTransparent) {
    TBitmap tile;
    Make(tile, TPixelFormat::pf24bit, 2, 1);
    tile.SetPixel(0, 0, RGB(255, 0, 0));
    tile.SetPixel(1, 0, RGB(0, 255, 0));
    TBitmap target;
    Make(target, TPixelFormat::pf24bit, 5, 2);
    target.Canvas().TileDraw(TRect{0, 0, 5, 2}, tile);
    EXPECT_EQ(target.GetPixel(2, 1), RGB(255, 0, 0));
    EXPECT_EQ(target.GetPixel(3, 0), RGB(0, 255, 0));
    EXPECT_EQ(target.GetPixel(4, 1), RGB(255, 0, 0));

    TBitmap big;
    Make(big, TPixelFormat::pf24bit, 4, 2);
    big.Canvas().StretchDraw(TRect{0, 0, 4, 2}, tile);
    EXPECT_EQ(big.GetPixel(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(big.GetPixel(2, 0), RGB(0, 255, 0));

    TBitmap blank;
    Make(blank, TPixelFormat::pf24bit, 2, 1);
    blank.Canvas().BrushColor = clWhite;
    blank.Canvas().FillRect(TRect{0, 0, 2, 1});
    tile.SetTransparent(true);
    tile.SetTransparentColor(RGB(0, 255, 0));
    blank.Canvas().Draw(0, 0, tile);
    EXPECT_EQ(blank.GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(blank.GetPixel(1, 0), clWhite);
}

// Colour reduction: lookups, ditherers, the octree quantizer, bitmap rows
// and the conversion of bitmaps into frames.
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "xpGif10/ColorQuantizer.h"
#include "xpGif10/DIBReader.h"
#include "xpGif10/Ditherers.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifReduce.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace platform;
using namespace xpGif10;

namespace {

std::unique_ptr<TBitmap> Bitmap24(int w, int h, const std::function<TColor(int, int)>& color) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(TPixelFormat::pf24bit);
    b->SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b->SetPixel(x, y, color(x, y));
    return b;
}

HPALETTE Palette(std::initializer_list<TColor> colors) {
    TLogPalette log;
    for (TColor c : colors) log.palPalEntry.push_back({GetRValue(c), GetGValue(c), GetBValue(c), 0});
    return CreatePalette(log);
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(ColorLookups, WebCubeAndItsRoundingRule) {
    TNetscapeColorLookup web;
    TRGB c;
    EXPECT_EQ(web.Lookup(255, 255, 255, c), 215);
    EXPECT_EQ(web.Lookup(0, 0, 0, c), 0);
    EXPECT_EQ(web.Lookup(48, 99, 150, c), 1 * 36 + 2 * 6 + 3);
    EXPECT_EQ(c, (TRGB{51, 102, 153}));
    // The step rounds with an offset of 3, not to the nearest: 47 is still 0.
    web.Lookup(47, 48, 0, c);
    EXPECT_EQ(c, (TRGB{0, 51, 0}));
}

TEST(ColorLookups, MonochromeThresholdAndGreyWeights) {
    TMonochromeLookup mono;
    TRGB c;
    EXPECT_EQ(mono.Lookup(127, 127, 127, c), 0);
    EXPECT_EQ(c, (TRGB{0, 0, 0}));
    EXPECT_EQ(mono.Lookup(128, 128, 128, c), 1);
    EXPECT_EQ(c, (TRGB{255, 255, 255}));
    TGrayScaleLookup grey;
    EXPECT_EQ(grey.Lookup(255, 0, 0, c), 76);   // 77 * 255 >> 8
    EXPECT_EQ(grey.Lookup(0, 255, 0, c), 149);
    EXPECT_EQ(grey.Lookup(0, 0, 255, c), 28);
    EXPECT_EQ(c, (TRGB{28, 28, 28}));
}

TEST(ColorLookups, FastLookupKeepsTheFirstAnswerOfACell) {
    // Entry 1 lies in the cell of (0..7, 0..7, 0..7); a colour of that cell
    // nearer to entry 0 still gets entry 1, as the cell says.
    TFastColorLookup fast(Palette({RGB(8, 8, 8), RGB(7, 7, 7), RGB(200, 0, 0), RGB(7, 7, 6)}));
    TRGB c;
    EXPECT_EQ(fast.Lookup(7, 7, 7, c), 1);
    EXPECT_EQ(fast.Lookup(0, 0, 0, c), 1);
    // An empty cell is filled with the entry nearest to the first colour
    // asked and answers every later colour of the cell alike.
    EXPECT_EQ(fast.Lookup(190, 0, 0, c), 2);
    EXPECT_EQ(fast.Lookup(184, 7, 7, c), 2);
    EXPECT_EQ(c, (TRGB{200, 0, 0}));
    // Ties go to the first entry with the smallest distance.
    TFastColorLookup tie(Palette({RGB(0, 0, 0), RGB(100, 0, 0), RGB(0, 100, 0)}));
    EXPECT_EQ(tie.Lookup(50, 50, 0, c), 0);
}

// ---- ditherers --------------------------------------------------------------------

namespace {

struct Kernel {
    int divisor;
    std::vector<TKernelWeight> weights;
};

// A plain ditherer with a whole error plane: every pixel's error goes
// straight into the plane by the kernel, mirrored on right-to-left rows.
std::vector<int> ReferenceDither(const std::vector<TRGB>& pixels, int w, int h, TColorLookup& lookup,
                                 const Kernel& k) {
    const int pad = 4;
    std::vector<std::vector<int>> err(3, std::vector<int>(size_t((h + 4) * (w + 2 * pad)), 0));
    auto at = [&](int ch, int x, int y) -> int& { return err[size_t(ch)][size_t(y * (w + 2 * pad) + x + pad)]; };
    std::vector<int> out(size_t(w * h));
    for (int y = 0; y < h; ++y) {
        int dir = (y % 2 == 0) ? 1 : -1;
        for (int n = 0, x = dir > 0 ? 0 : w - 1; n < w; ++n, x += dir) {
            const TRGB& p = pixels[size_t(y * w + x)];
            int in[3] = {p.Red, p.Green, p.Blue};
            for (int ch = 0; ch < 3; ++ch)
                in[ch] = std::clamp(in[ch] + (at(ch, x, y) + k.divisor / 2) / k.divisor, 0, 255);
            TRGB c;
            out[size_t(y * w + x)] = lookup.Lookup(uint8_t(in[0]), uint8_t(in[1]), uint8_t(in[2]), c);
            int got[3] = {c.Red, c.Green, c.Blue};
            for (int ch = 0; ch < 3; ++ch)
                for (const auto& kw : k.weights) {
                    int tx = x + kw.offset * dir;
                    if (tx < 0 || tx >= w) continue;   // out of the picture: lost
                    at(ch, tx, y + kw.row) += kw.weight * (in[ch] - got[ch]);
                }
        }
    }
    return out;
}

std::vector<int> EngineDither(const std::vector<TRGB>& pixels, int w, int h, TDitherEngine& d) {
    std::vector<int> out(size_t(w * h));
    for (int y = 0; y < h; ++y) {
        int dir = d.Direction();
        EXPECT_EQ(dir, y % 2 == 0 ? 1 : -1);
        for (int n = 0, x = dir > 0 ? 0 : w - 1; n < w; ++n, x += dir) {
            EXPECT_EQ(d.Column(), x);
            const TRGB& p = pixels[size_t(y * w + x)];
            TRGB c;
            out[size_t(y * w + x)] = d.Dither(p.Red, p.Green, p.Blue, c);
        }
        d.NextLine();
    }
    return out;
}

} // namespace

TEST(Ditherers, FloydSteinbergOnAHandCheckedGreyPatch) {
    // Grey 100 on black and white: 100, 144 -> white, 52; the second row runs
    // right to left: 109, 129 -> white, 56.
    TMonochromeLookup mono;
    TFloydSteinbergDitherer fs(3, mono);
    std::vector<TRGB> grey(6, TRGB{100, 100, 100});
    EXPECT_EQ(EngineDither(grey, 3, 2, fs), (std::vector<int>{0, 1, 0, 0, 1, 0}));
    TDitherEngine nearest(3, mono);
    EXPECT_EQ(EngineDither(grey, 3, 2, nearest), (std::vector<int>(6, 0)));
}

TEST(Ditherers, EveryKernelMatchesAWholePlaneReference) {
    const std::vector<std::pair<int, Kernel>> kernels = {
        {ditherFloydSteinberg, {16, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}}},
        {ditherStucki,
         {42, {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
               {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}}},
        {ditherSierra,
         {32, {{0, 1, 5}, {0, 2, 3}, {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},
               {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}}},
        {ditherJarvisJudiceNinke,
         {48, {{0, 1, 7}, {0, 2, 5}, {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
               {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}}},
        {ditherStevensonArce,
         {200, {{0, 2, 32}, {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16}, {2, -2, 12}, {2, 0, 26},
                {2, 2, 12}, {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}}},
        {ditherBurkes, {32, {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}}},
    };
    std::mt19937 rng(7);
    const int w = 13, h = 9;
    std::vector<TRGB> pixels(size_t(w * h));
    for (auto& p : pixels) p = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    HPALETTE pal = Palette({RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 128, 255), RGB(90, 200, 40)});
    for (const auto& [mode, kernel] : kernels) {
        int total = 0;
        for (const auto& kw : kernel.weights) total += kw.weight;
        ASSERT_EQ(total, kernel.divisor) << "mode " << mode;
        TFastColorLookup ref(pal), mine(pal);
        auto engine = MakeDitherer(mode, w, mine);
        ASSERT_TRUE(engine);
        EXPECT_EQ(EngineDither(pixels, w, h, *engine), ReferenceDither(pixels, w, h, ref, kernel)) << "mode " << mode;
        TNetscapeColorLookup webRef, webMine;
        auto webEngine = MakeDitherer(mode, w, webMine);
        EXPECT_EQ(EngineDither(pixels, w, h, *webEngine), ReferenceDither(pixels, w, h, webRef, kernel))
            << "mode " << mode;
    }
    TMonochromeLookup mono;
    EXPECT_FALSE(MakeDitherer(7, w, mono));
}

// ---- quantizer ---------------------------------------------------------------------

TEST(ColorQuantizer, ThreeColoursComeOutExactlyInTreeOrder) {
    auto b = Bitmap24(30, 10, [](int x, int) { return x < 10 ? RGB(200, 10, 10) : x < 20 ? RGB(10, 200, 10) : RGB(10, 10, 200); });
    HPALETTE p = ReductionPalette(rmQuantize, *b, nullptr, 8);
    ASSERT_EQ(PaletteSize(p), 256);
    std::set<TColor> first = {PaletteColor(p, 0), PaletteColor(p, 1), PaletteColor(p, 2)};
    EXPECT_EQ(first, (std::set<TColor>{RGB(200, 10, 10), RGB(10, 200, 10), RGB(10, 10, 200)}));
    // Depth first, children by index: blue-ish (child 1) before green-ish
    // (child 2) before red-ish (child 4) at the top level.
    EXPECT_EQ(PaletteColor(p, 0), RGB(10, 10, 200));
    EXPECT_EQ(PaletteColor(p, 2), RGB(200, 10, 10));
    for (int i = 3; i < 256; ++i) EXPECT_EQ(PaletteColor(p, i), clBlack);
}

TEST(ColorQuantizer, LeavesNeverExceedTheLimitAndMemoryStaysBounded) {
    TColorQuantizer q(16);
    std::mt19937 rng(3);
    int maxNodes = 0;
    for (int i = 0; i < 100000; ++i) {
        q.AddColor(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
        ASSERT_LE(q.LeafCount(), 16);
        maxNodes = std::max(maxNodes, q.NodeCount());
    }
    EXPECT_LT(maxNodes, 16 * 9 + 9);
    // Averages: one colour seen twice and another once in the same leaf.
    TColorQuantizer one(1);
    one.AddColor(0, 0, 0);
    one.AddColor(30, 60, 90);
    one.AddColor(30, 60, 90);
    ASSERT_EQ(one.Colors().size(), 1u);
    EXPECT_EQ(one.Colors()[0], (TRGB{20, 40, 60}));
}

TEST(ColorReduction, MethodPalettesAndSystemColours) {
    auto b = Bitmap24(40, 40, [](int x, int y) { return RGB(uint8_t(x * 6), uint8_t(y * 6), uint8_t(x * y)); });
    HPALETTE sys = SystemPalette20();
    HPALETTE p8 = ReductionPalette(rmQuantizeWithSystemColors, *b, nullptr, 8);
    ASSERT_EQ(PaletteSize(p8), 256);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(PaletteColor(p8, i), PaletteColor(sys, i));
        EXPECT_EQ(PaletteColor(p8, 246 + i), PaletteColor(sys, 10 + i));
    }
    EXPECT_EQ(PaletteSize(ReductionPalette(rmQuantize, *b, nullptr, 3)), 8);
    EXPECT_EQ(PaletteSize(SystemPalette20()), 20);
    EXPECT_EQ(PaletteSize(HalftonePalette()), 256);
    HPALETTE four = FourGrayPalette();
    ASSERT_EQ(PaletteSize(four), 4);
    EXPECT_EQ(PaletteColor(four, 1), RGB(128, 128, 128));
    EXPECT_EQ(four->palPalEntry[0].peFlags, PC_NOCOLLAPSE);
    EXPECT_EQ(four->palVersion, 0x300);
    HPALETTE custom = Palette({RGB(1, 2, 3)});
    EXPECT_TRUE(SamePalette(ReductionPalette(rmPalette, *b, custom, 8), custom));
    EXPECT_FALSE(ReductionPalette(rmQuantizeWu + 1, *b, nullptr, 8));
}

TEST(ColorReduction, ReducedBitmapsAndTheirFailures) {
    auto b = Bitmap24(600, 900, [](int x, int y) { return RGB(uint8_t(x), uint8_t(y), uint8_t(x + y)); });
    auto gray = ReduceColors(*b, rmGrayScale, ditherNearest, nullptr, 8);
    ASSERT_EQ(gray->PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(gray->Width(), 600);
    ASSERT_EQ(gray->Height(), 900);
    EXPECT_EQ(PaletteSize(gray->Palette()), 256);
    // Rows stay in order through the bottom-up writer.
    EXPECT_EQ(gray->GetPixelValue(0, 0), 0u);
    EXPECT_EQ(gray->GetPixelValue(10, 899), uint32_t((77 * 10 + 150 * (899 & 255) + 29 * ((909) & 255)) >> 8));
    auto mono = ReduceColors(*b, rmMonochrome, ditherFloydSteinberg, nullptr, 8);
    EXPECT_EQ(PaletteSize(mono->Palette()), 2);
    auto none = ReduceColors(*b, rmNone, ditherNearest, nullptr, 8);
    EXPECT_EQ(none->PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(none->GetPixel(5, 7), b->GetPixel(5, 7));
    EXPECT_TRUE(ReduceColors(*b, rmQuantizeWu + 1, ditherNearest, nullptr, 8)->Empty());
    EXPECT_TRUE(ReduceColors(*b, rmNetscape, 7, nullptr, 8)->Empty());
    EXPECT_TRUE(ReduceColors(*b, rmPalette, ditherNearest, nullptr, 8)->Empty());   // no colours
}

TEST(DIBWriter, RowsAndEveryError) {
    TBitmap target;
    EXPECT_EQ(ErrorOf([&] { TDIBWriter w(target, TPixelFormat::pf4bit, 2, 2, nullptr); }), "Unsupported PixelFormat");
    EXPECT_EQ(ErrorOf([&] { TDIBWriter w(target, TPixelFormat::pf8bit, 0, 2, nullptr); }), "Invalid image dimensions");
    {
        TDIBWriter w(target, TPixelFormat::pf24bit, 3, 2, nullptr);
        EXPECT_EQ(w.RowBytes(), 12);
        EXPECT_EQ(ErrorOf([&] { w.ScanLine(2); }), "Scan line index out of range");
        uint8_t* top = w.ScanLine(0);
        top[0] = 1, top[1] = 2, top[2] = 3;   // blue, green, red
        w.ScanLine(1)[8] = 9;
    }
    ASSERT_EQ(target.Width(), 3);
    EXPECT_EQ(target.GetPixel(0, 0), RGB(3, 2, 1));
    EXPECT_EQ(target.GetPixel(2, 1), RGB(9, 0, 0));
    TDIBWriter::MemoryLimit = 100;
    std::string error;
    try {
        TDIBWriter w(target, TPixelFormat::pf8bit, 20, 20, nullptr);
        w.ScanLine(0);
    } catch (const EOutOfMemory& e) {
        error = e.what();
    }
    TDIBWriter::MemoryLimit = 0;
    EXPECT_EQ(error, "Failed to allocate memory for GIF DIB");
}

// ---- bitmaps into frames ------------------------------------------------------------

TEST(FrameAssign, TrueColourBitmapBecomesUndiheredWebColours) {
    TGIFImage image;   // default: web palette, nearest colour
    auto b = Bitmap24(50, 20, [](int x, int y) { return RGB(uint8_t(x * 5), uint8_t(y * 12), 77); });
    image.Add(b.get());
    ASSERT_EQ(image.Images().Count(), 1);
    TGIFSubImage* f = image.Images()[0];
    EXPECT_EQ(f->Width(), 50);
    EXPECT_EQ(image.Width(), 50);
    TGIFColorMap& map = f->ColorMap();
    ASSERT_GT(map.Count(), 0);
    for (int i = 0; i < map.Count(); ++i) {
        TColor c = map.GetColor(i);
        EXPECT_EQ(GetRValue(c) % 51, 0);
        EXPECT_EQ(GetGValue(c) % 51, 0);
        EXPECT_EQ(GetBValue(c) % 51, 0);
    }
    TNetscapeColorLookup web;
    for (int y = 0; y < 20; y += 3)
        for (int x = 0; x < 50; x += 7) {
            TRGB want;
            web.Lookup(uint8_t(x * 5), uint8_t(y * 12), 77, want);
            EXPECT_EQ(map.GetColor(f->Pixel(x, y)), RGB(want.Red, want.Green, want.Blue));
        }
}

TEST(FrameAssign, IndexedBitmapsAreTakenOverAsTheyAre) {
    TGIFImage image;
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf8bit);
    b.SetPalette(Palette({RGB(1, 1, 1), RGB(2, 2, 2), RGB(3, 3, 3)}));
    b.SetSize(4, 2);
    b.SetPixelValue(0, 0, 2);
    b.SetPixelValue(3, 1, 1);
    image.Add(&b);
    TGIFSubImage* f = image.Images()[0];
    ASSERT_EQ(f->ColorMap().Count(), 3);
    EXPECT_EQ(f->ColorMap().GetColor(2), RGB(3, 3, 3));
    EXPECT_EQ(f->Pixel(0, 0), 2);
    EXPECT_EQ(f->Pixel(3, 1), 1);
    EXPECT_EQ(f->Pixel(1, 0), 0);
    // One and four bits: leftmost pixel in the high bits.
    TBitmap b1;
    b1.SetPixelFormat(TPixelFormat::pf1bit);
    b1.SetSize(9, 1);
    b1.SetPixelValue(0, 0, 1);
    b1.SetPixelValue(8, 0, 1);
    TGIFSubImage f1(&image);
    f1.Assign(&b1);
    EXPECT_EQ(f1.ColorMap().Count(), 2);
    EXPECT_EQ(f1.Pixel(0, 0), 1);
    EXPECT_EQ(f1.Pixel(1, 0), 0);
    EXPECT_EQ(f1.Pixel(8, 0), 1);
    TBitmap b4;
    b4.SetPixelFormat(TPixelFormat::pf4bit);
    b4.SetSize(3, 1);
    b4.SetPixelValue(0, 0, 12);
    b4.SetPixelValue(1, 0, 5);
    TGIFSubImage f4(&image);
    f4.Assign(&b4);
    EXPECT_EQ(f4.ColorMap().Count(), 16);
    EXPECT_EQ(f4.Pixel(0, 0), 12);
    EXPECT_EQ(f4.Pixel(1, 0), 5);
}

TEST(FrameAssign, TransparentBitmapsGetAnExtraBlackEntryOrAFreedOne) {
    TGIFImage image;
    image.ColorReduction = rmNone;
    // Three colours; the bottom-left pixel's colour is the see-through one.
    auto b = Bitmap24(3, 2, [](int x, int y) { return y == 1 && x < 2 ? RGB(9, 9, 9) : RGB(uint8_t(100 + x), 0, 0); });
    b->SetTransparent(true);
    image.Add(b.get());
    TGIFSubImage* f = image.Images()[0];
    ASSERT_TRUE(f->Transparent());
    ASSERT_TRUE(f->GraphicControlExtension());
    const int t = f->TransparentColorIndex();
    EXPECT_EQ(t, f->ColorMap().Count() - 1);
    EXPECT_EQ(f->ColorMap().GetColor(t), clBlack);
    EXPECT_EQ(f->Pixel(0, 1), t);
    EXPECT_EQ(f->Pixel(1, 1), t);
    EXPECT_NE(f->Pixel(2, 1), t);
    EXPECT_EQ(f->ColorMap().GetColor(f->Pixel(2, 0)), RGB(102, 0, 0));
    EXPECT_TRUE(f->HasMask());

    TBitmap full;
    full.SetPixelFormat(TPixelFormat::pf8bit);
    TLogPalette log;
    for (int i = 0; i < 256; ++i) log.palPalEntry.push_back({uint8_t(i), 0, 0, 0});
    full.SetPalette(CreatePalette(log));
    full.SetSize(16, 16);
    for (int i = 0; i < 256; ++i) full.SetPixelValue(i % 16, i / 16, uint32_t(i));
    full.SetTransparent(true);
    TGIFSubImage g(&image);
    g.Assign(&full);
    // A full table still gets transparency: the see-through colour (the
    // bottom-left pixel's, 240) was shown by no other pixel and gives way.
    ASSERT_TRUE(g.Transparent());
    EXPECT_EQ(g.ColorMap().Count(), 256);
    EXPECT_EQ(g.Pixel(0, 15), g.TransparentColorIndex());
    int seen = 0;
    for (int i = 0; i < 256; ++i) seen += g.Pixel(i % 16, i / 16) == g.TransparentColorIndex();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(g.ColorMap().GetColor(g.Pixel(5, 15)), RGB(245, 0, 0));
}

TEST(FrameAssign, TooManyColoursWithoutReductionOverflowTheTable) {
    TGIFImage image;
    image.ColorReduction = rmNone;
    auto b = Bitmap24(257, 1, [](int x, int) { return RGB(uint8_t(x), uint8_t(x >> 8), 0); });
    EXPECT_EQ(ErrorOf([&] { image.Add(b.get()); }), "Color table overflow");
    auto ok = Bitmap24(256, 1, [](int x, int) { return RGB(uint8_t(x), 0, 0); });
    TGIFSubImage f(&image);
    f.Assign(ok.get());
    EXPECT_EQ(f.ColorMap().Count(), 256);
    EXPECT_EQ(f.Pixel(200, 0), 200);
}

TEST(FrameAssign, FrameCopyTakesDescriptorPixelsMapAndExtensions) {
    TGIFImage image;
    auto src = std::make_unique<TGIFSubImage>(&image);
    src->SetBounds(2, 3, 4, 5);
    src->ColorMap().Add(RGB(1, 2, 3));
    src->ColorMap().Add(RGB(4, 5, 6));
    src->SetPixel(3, 4, 1);
    src->SetInterlaced(true);
    auto* gce = new TGIFGraphicControlExtension(src.get());
    src->Extensions().Add(std::unique_ptr<TGIFItem>(gce));
    gce->SetDelay(33);
    gce->SetTransparentColorIndex(1);
    gce->SetTransparent(true);
    TGIFSubImage copy(&image);
    copy.Assign(src.get());
    EXPECT_EQ(copy.BoundsRect(), src->BoundsRect());
    EXPECT_TRUE(copy.Interlaced());
    EXPECT_EQ(copy.Pixel(3, 4), 1);
    EXPECT_EQ(copy.ColorMap().Count(), 2);
    ASSERT_TRUE(copy.GraphicControlExtension());
    EXPECT_NE(copy.GraphicControlExtension(), gce);
    EXPECT_EQ(copy.GraphicControlExtension()->Delay(), 33);
    EXPECT_TRUE(copy.Transparent());
    EXPECT_EQ(copy.TransparentColorIndex(), 1);
    copy.Assign(nullptr);
    EXPECT_TRUE(copy.Empty());
    EXPECT_NE(ErrorOf([&] { copy.Assign(&image.GlobalColorMap()); }).find("Cannot assign a TGIFGlobalColorMap"),
              std::string::npos);
}

TEST(ColorMapOptimize, SortsByUseDropsUnusedAndRenumbersPixels) {
    TGIFImage image;
    auto f = std::make_unique<TGIFSubImage>(&image);
    f->SetBounds(0, 0, 4, 1);
    for (TColor c : {RGB(10, 0, 0), RGB(20, 0, 0), RGB(30, 0, 0), RGB(40, 0, 0)}) f->ColorMap().Add(c);
    f->SetPixel(0, 0, 2);
    f->SetPixel(1, 0, 2);
    f->SetPixel(2, 0, 3);
    f->SetPixel(3, 0, 2);
    auto* gce = new TGIFGraphicControlExtension(f.get());
    f->Extensions().Add(std::unique_ptr<TGIFItem>(gce));
    gce->SetTransparentColorIndex(3);
    gce->SetTransparent(true);
    TGIFSubImage* frame = f.get();
    image.Add(std::move(f));
    EXPECT_TRUE(frame->ColorMap().Optimize());
    EXPECT_TRUE(frame->ColorMap().Optimized());
    ASSERT_EQ(frame->ColorMap().Count(), 2);
    EXPECT_EQ(frame->ColorMap().GetColor(0), RGB(30, 0, 0));
    EXPECT_EQ(frame->ColorMap().GetColor(1), RGB(40, 0, 0));
    EXPECT_EQ(frame->Pixel(0, 0), 0);
    EXPECT_EQ(frame->Pixel(2, 0), 1);
    EXPECT_EQ(frame->TransparentColorIndex(), 1);
    // Already in order: nothing changes.
    EXPECT_FALSE(frame->ColorMap().Optimize());
    // In order of use with unused colours after the used ones: they go.
    for (TColor c : {RGB(50, 0, 0), RGB(60, 0, 0)}) frame->ColorMap().Add(c);
    EXPECT_TRUE(frame->ColorMap().Optimize());
    ASSERT_EQ(frame->ColorMap().Count(), 2);
    EXPECT_EQ(frame->ColorMap().GetColor(1), RGB(40, 0, 0));
    EXPECT_EQ(frame->Pixel(2, 0), 1);

    // The global map counts only frames that draw through it.
    TGIFImage g;
    g.GlobalColorMap().Add(RGB(1, 1, 1));
    g.GlobalColorMap().Add(RGB(2, 2, 2));
    auto a = std::make_unique<TGIFSubImage>(&g);
    a->SetBounds(0, 0, 2, 1);
    a->SetPixel(0, 0, 1);
    a->SetPixel(1, 0, 1);
    auto own = std::make_unique<TGIFSubImage>(&g);
    own->SetBounds(0, 0, 1, 1);
    own->ColorMap().Add(RGB(5, 5, 5));
    own->ColorMap().Add(RGB(6, 6, 6));
    g.Add(std::move(a));
    g.Add(std::move(own));
    // The background index 0 keeps its colour alive and follows it.
    EXPECT_TRUE(g.GlobalColorMap().Optimize());
    EXPECT_EQ(g.GlobalColorMap().Count(), 2);
    EXPECT_EQ(g.GlobalColorMap().GetColor(0), RGB(2, 2, 2));
    EXPECT_EQ(g.Header().BackgroundColorIndex(), 1);
    EXPECT_EQ(g.Images()[0]->Pixel(1, 0), 0);
    EXPECT_EQ(g.Images()[1]->ColorMap().Count(), 2);
}

namespace {
// A graphic that cannot copy itself into a bitmap, only draw itself.
class Checkers : public TGraphic {
public:
    bool Empty() const override { return false; }
    int Width() const override { return 4; }
    int Height() const override { return 3; }
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}
    void Draw(TCanvas& canvas, const TRect& rect) override {
        for (int y = rect.top; y < rect.bottom; ++y)
            for (int x = rect.left; x < rect.right; ++x)
                canvas.SetPixel(x, y, (x + y) % 2 ? RGB(255, 255, 255) : RGB(0, 0, 255));
    }
};
} // namespace

TEST(FrameAssign, OtherGraphicsAreDrawnIntoABitmapFirst) {
    TGIFImage image;
    Checkers checkers;
    TGIFSubImage f(&image);
    f.Assign(&checkers);
    ASSERT_EQ(f.Width(), 4);
    ASSERT_EQ(f.Height(), 3);
    EXPECT_EQ(f.ActiveColorMap().GetColor(f.Pixel(0, 0)), RGB(0, 0, 255));
    EXPECT_EQ(f.ActiveColorMap().GetColor(f.Pixel(1, 0)), RGB(255, 255, 255));
    EXPECT_EQ(f.ActiveColorMap().GetColor(f.Pixel(2, 2)), RGB(0, 0, 255));
    EXPECT_EQ(f.ActiveColorMap().GetColor(f.Pixel(3, 2)), RGB(255, 255, 255));
    // The monochrome method on a true-colour bitmap: 127 is dark, 128 light.
    TGIFImage other;
    other.ColorReduction = rmMonochrome;
    TBitmap grey;
    grey.SetSize(2, 1);
    grey.SetPixel(0, 0, RGB(127, 127, 127));
    grey.SetPixel(1, 0, RGB(128, 128, 128));
    other.Add(&grey);
    TGIFSubImage* g = other.Images()[0];
    EXPECT_EQ(g->ActiveColorMap().GetColor(g->Pixel(0, 0)), clBlack);
    EXPECT_EQ(g->ActiveColorMap().GetColor(g->Pixel(1, 0)), clWhite);
}

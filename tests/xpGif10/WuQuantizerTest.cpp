// The least-error quantizer and its exact nearest-colour lookup: against a
// brute-force nearest search, against ImageMagick's -colors on photo-like
// pictures made at test time, and on pictures with few colours.
#include "platform/Bitmap.h"
#include "platform/Streams.h"
#include "xpGif10/Ditherers.h"
#include "xpGif10/GifReduce.h"
#include "xpGif10/WuQuantizer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

using namespace platform;
using namespace xpGif10;
namespace fs = std::filesystem;

namespace {

HPALETTE PaletteOf(const std::vector<TRGB>& colors) {
    TLogPalette log;
    for (const TRGB& c : colors) log.palPalEntry.push_back({c.Red, c.Green, c.Blue, 0});
    return CreatePalette(log);
}

int Distance(const TRGB& a, int r, int g, int b) {
    return (a.Red - r) * (a.Red - r) + (a.Green - g) * (a.Green - g) + (a.Blue - b) * (a.Blue - b);
}

// A binary 8-bit PPM into a 24-bit bitmap.
void ReadPPM(const std::string& path, TBitmap& bmp) {
    const std::vector<uint8_t> b = ReadFileBytes(path);
    size_t pos = 2;
    auto number = [&] {
        while (pos < b.size() && std::isspace(b[pos])) ++pos;
        int v = 0;
        while (pos < b.size() && std::isdigit(b[pos])) v = v * 10 + (b[pos++] - '0');
        return v;
    };
    const int w = number(), h = number();
    number();
    ++pos;
    ASSERT_GE(b.size(), pos + size_t(w) * size_t(h) * 3) << path;
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, pos += 3) bmp.SetPixel(x, y, RGB(b[pos], b[pos + 1], b[pos + 2]));
}

double MeanSquaredError(const TBitmap& a, const TBitmap& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const TColor p = a.GetPixel(x, y), q = b.GetPixel(x, y);
            for (int s = 0; s < 24; s += 8) {
                const double d = double((p >> s) & 0xFF) - double((q >> s) & 0xFF);
                sum += d * d;
            }
        }
    return sum / (3.0 * a.Width() * a.Height());
}

// Every pixel of the result is one of its palette's first `colors` entries.
void ExpectPixelsInPalette(TBitmap& reduced, int colors) {
    const HPALETTE palette = reduced.Palette();
    ASSERT_TRUE(palette);
    std::set<TColor> allowed;
    for (int i = 0; i < std::min(colors, PaletteSize(palette)); ++i) {
        const auto& e = palette->palPalEntry[size_t(i)];
        allowed.insert(RGB(e.peRed, e.peGreen, e.peBlue));
    }
    EXPECT_LE(int(allowed.size()), colors);
    int outside = 0;
    for (int y = 0; y < reduced.Height(); ++y)
        for (int x = 0; x < reduced.Width(); ++x) outside += allowed.count(reduced.GetPixel(x, y) & 0xFFFFFF) == 0;
    EXPECT_EQ(outside, 0);
}

} // namespace

TEST(NearestColorLookup, AgreesWithABruteForceSearch) {
    std::mt19937 rng(77);
    for (int size : {1, 2, 17, 256}) {
        std::vector<TRGB> entries;
        for (int i = 0; i < size; ++i) {
            // A few entries repeated and a cluster in one corner, where
            // boxes hold many close candidates.
            if (i > 0 && i % 7 == 0)
                entries.push_back(entries[size_t(rng() % entries.size())]);
            else if (i % 3 == 0)
                entries.push_back({uint8_t(rng() % 24), uint8_t(rng() % 24), uint8_t(rng() % 24)});
            else
                entries.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
        }
        TNearestColorLookup lookup(PaletteOf(entries));
        for (int n = 0; n < 40000; ++n) {
            // Repeats come back from the cache; both must be exact.
            const uint32_t v = n % 4 == 3 ? uint32_t(rng() % 64) * 0x010101u : uint32_t(rng());
            const int r = v & 0xFF, g = (v >> 8) & 0xFF, b = (v >> 16) & 0xFF;
            int best = 1 << 30;
            for (const TRGB& e : entries) best = std::min(best, Distance(e, r, g, b));
            TRGB chosen;
            const int index = lookup.Lookup(uint8_t(r), uint8_t(g), uint8_t(b), chosen);
            ASSERT_TRUE(index >= 0 && index < size);
            ASSERT_EQ(chosen, entries[size_t(index)]);
            ASSERT_EQ(Distance(chosen, r, g, b), best) << "palette of " << size << ", colour " << r << "," << g << "," << b;
        }
    }
}

TEST(WuQuantizer, FewColoursComeOutExactlyWithAndWithoutDithering) {
    const TColor five[] = {RGB(0, 0, 0), RGB(250, 3, 7), RGB(1, 128, 2), RGB(128, 129, 130), RGB(255, 255, 255)};
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf24bit);
    picture.SetSize(37, 23);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) picture.SetPixel(x, y, five[(x * 3 + y * 7) % 5]);
    for (int dither : {ditherNearest, ditherFloydSteinberg, ditherStucki}) {
        TBitmap work;
        work.Assign(&picture);
        auto reduced = ReduceColors(work, rmQuantizeWu, dither, nullptr, 8);
        ASSERT_FALSE(reduced->Empty());
        EXPECT_EQ(PaletteSize(reduced->Palette()), 256);
        EXPECT_EQ(MeanSquaredError(picture, *reduced), 0.0) << "dither " << dither;
    }
    // One colour: the whole palette is that colour, not black padding.
    TWuQuantizer one(16);
    for (int i = 0; i < 100; ++i) one.AddColor(10, 200, 30);
    HPALETTE p = one.MakePalette(16);
    ASSERT_EQ(PaletteSize(p), 16);
    for (const auto& e : p->palPalEntry) EXPECT_TRUE(e.peRed == 10 && e.peGreen == 200 && e.peBlue == 30);
    EXPECT_TRUE(TWuQuantizer(8).Colors().empty());
}

// The comparison the method is there for: on photo-like pictures, less
// squared error than ImageMagick's own -colors at 256, 64 and 16 colours,
// with and without Floyd-Steinberg; every pixel within the palette; and the
// k-means passes never worse than the split they start from.
TEST(WuQuantizer, BeatsImageMagickOnPhotoLikePictures) {
    if (std::system("convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick is not installed";
    const fs::path dir = fs::temp_directory_path() / ("qel-wu-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::vector<std::pair<std::string, std::string>> pictures = {
        {"plasma", "-seed 5 -size 200x150 plasma:fractal -blur 0x1"},
        {"rose", "rose: -filter Lanczos -resize 210x150!"},
    };
    for (const auto& [name, make] : pictures) {
        const std::string in = (dir / (name + ".ppm")).string();
        ASSERT_EQ(std::system(("convert " + make + " -depth 8 " + in).c_str()), 0);
        TBitmap original;
        ReadPPM(in, original);
        for (int bits : {8, 6, 4}) {
            for (int dither : {ditherNearest, ditherFloydSteinberg}) {
                const std::string out = (dir / (name + "-im.ppm")).string();
                const std::string cmd = "convert " + in + " -dither " + (dither ? "FloydSteinberg" : "None") +
                                        " -colors " + std::to_string(1 << bits) + " -depth 8 " + out;
                ASSERT_EQ(std::system(cmd.c_str()), 0);
                TBitmap theirs;
                ReadPPM(out, theirs);
                TBitmap work;
                work.Assign(&original);
                auto ours = ReduceColors(work, rmQuantizeWu, dither, nullptr, bits);
                ExpectPixelsInPalette(*ours, 1 << bits);
                const double mine = MeanSquaredError(original, *ours), im = MeanSquaredError(original, theirs);
                EXPECT_LT(mine, (bits == 8 ? 0.95 : 1.0) * im)
                    << name << " at " << (1 << bits) << " colours, dither " << dither;
            }
            // The refinement passes against the bare split, mapped alike.
            double bare = 0, refined = 0;
            for (int passes : {0, 6}) {
                TWuQuantizer q(1 << bits, passes);
                for (int y = 0; y < original.Height(); ++y) {
                    TBitmap& o = original;
                    for (int x = 0; x < o.Width(); ++x) {
                        const TColor c = o.GetPixel(x, y);
                        q.AddColor(GetRValue(c), GetGValue(c), GetBValue(c));
                    }
                }
                TNearestColorLookup lookup(q.MakePalette(1 << bits));
                double sum = 0;
                for (int y = 0; y < original.Height(); ++y)
                    for (int x = 0; x < original.Width(); ++x) {
                        const TColor c = original.GetPixel(x, y);
                        TRGB chosen;
                        lookup.Lookup(GetRValue(c), GetGValue(c), GetBValue(c), chosen);
                        sum += Distance(chosen, GetRValue(c), GetGValue(c), GetBValue(c));
                    }
                (passes ? refined : bare) = sum;
            }
            EXPECT_LE(refined, bare) << name << " at " << (1 << bits) << " colours";
        }
    }
    fs::remove_all(dir);
}

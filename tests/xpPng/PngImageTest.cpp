// PNG files of every kind made by ImageMagick and Pillow load as those
// programs read them; what we save they read back.
#include "platform/Bitmap.h"
#include "common/Spawn.h"
#include "platform/Graphics.h"
#include "platform/Streams.h"
#include "xpPng/PngImage.h"
#include "xpPng/PngUnit.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace platform;
using namespace xpPng;
namespace fs = std::filesystem;

namespace {

using qeltest::Have;

std::string Python() {
    for (const char* p : {"/usr/bin/python3", "python3"})
        if (Have(std::string(p) + " -c 'import PIL'")) return p;
    return "";
}

class PngFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qelpng-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string P(const std::string& name) const { return (dir_ / name).string(); }
    void Run(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }
    // ImageMagick's reading: 8-bit RGBA samples.
    std::vector<uint8_t> Theirs(const std::string& png) {
        Run("convert " + png + " -depth 8 rgba:" + png + ".rgba");
        return ReadFileBytes(png + ".rgba");
    }
    fs::path dir_;
};

} // namespace

TEST_F(PngFiles, EveryDepthAndColourTypeLoadsAsImageMagickReadsIt) {
    if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
    // A picture with a gradient, a see-through corner and half-see-through
    // pixels, written in each form.
    const std::string src = P("src.png");
    Run("convert -size 37x23 gradient:'#102030-#f0e0d0' \\( -size 37x23 xc:white -fill '#00000080' -draw "
        "'rectangle 20,10 36,22' -fill black -draw 'rectangle 0,0 5,5' -negate \\) -alpha off -compose "
        "copy-opacity -composite " + src);
    struct Form {
        const char* name;
        const char* options;
    } forms[] = {
        {"grey1", "-alpha off -colorspace gray -depth 1 -define png:bit-depth=1 -define png:color-type=0"},
        {"grey2", "-alpha off -colorspace gray -define png:bit-depth=2 -define png:color-type=0"},
        {"grey4", "-alpha off -colorspace gray -define png:bit-depth=4 -define png:color-type=0"},
        {"grey8", "-alpha off -colorspace gray -define png:bit-depth=8 -define png:color-type=0"},
        {"grey16", "-alpha off -colorspace gray -depth 16 -define png:bit-depth=16 -define png:color-type=0"},
        {"greyalpha8", "-colorspace gray -define png:color-type=4 -define png:bit-depth=8"},
        {"greyalpha16", "-colorspace gray -depth 16 -define png:color-type=4 -define png:bit-depth=16"},
        {"rgb8", "-alpha off -define png:color-type=2 -define png:bit-depth=8"},
        {"rgb16", "-alpha off -depth 16 -define png:color-type=2 -define png:bit-depth=16"},
        {"rgba8", "-define png:color-type=6 -define png:bit-depth=8"},
        {"rgba16", "-depth 16 -define png:color-type=6 -define png:bit-depth=16"},
        {"palette", "-colors 50 PNG8:"},
    };
    for (const Form& f : forms) {
        const std::string png = P(std::string(f.name) + ".png");
        std::string options = f.options;
        const bool prefixed = options.size() >= 5 && options.compare(options.size() - 5, 5, "PNG8:") == 0;
        if (prefixed) options.resize(options.size() - 5);
        Run("convert " + src + " " + options + " " + (prefixed ? "PNG8:" : "") + png);
        TPNGImage image;
        image.LoadFromFile(png);
        ASSERT_EQ(image.Width(), 37) << f.name;
        ASSERT_EQ(image.Height(), 23) << f.name;
        const std::vector<uint8_t> theirs = Theirs(png);
        ASSERT_EQ(theirs.size(), image.Pixels().size()) << f.name;
        int worst = 0;
        for (size_t i = 0; i < theirs.size(); ++i) worst = std::max(worst, std::abs(theirs[i] - image.Pixels()[i]));
        // 16-bit samples may round the other way.
        EXPECT_LE(worst, 1) << f.name;
    }
}

TEST_F(PngFiles, PillowPalettesWithTransparencyAndSmallDepthsLoad) {
    const std::string python = Python();
    if (python.empty() || !Have("convert -version")) GTEST_SKIP() << "Pillow and ImageMagick are needed";
    // Palettes of 2, 4, 16 and 256 entries (Pillow picks 1, 2, 4 and 8
    // bits), one entry see-through through tRNS.
    const std::string script = P("make.py");
    std::ofstream(script) << "import sys\nfrom PIL import Image\n"
                             "for n in (2, 4, 16, 256):\n"
                             "    im = Image.new('P', (19, 7))\n"
                             "    im.putpalette([(i * 53 + c * 17) % 256 for i in range(n) for c in range(3)])\n"
                             "    im.putdata([(x * 3 + y) % n for y in range(7) for x in range(19)])\n"
                             "    im.save(sys.argv[1] + '/pal%d.png' % n, transparency=1, bits=n.bit_length() - 1)\n";
    Run(python + " " + script + " " + dir_.string());
    for (int n : {2, 4, 16, 256}) {
        const std::string png = P("pal" + std::to_string(n) + ".png");
        TPNGImage image;
        image.LoadFromFile(png);
        EXPECT_TRUE(image.HasAlpha()) << n;
        EXPECT_EQ(image.Pixels(), Theirs(png)) << n;
        // Index 1 is see-through: pixel (0, 1) has it.
        EXPECT_EQ(image.Pixels()[19 * 4 + 3], 0) << n;
    }
}

TEST_F(PngFiles, SavesTwentyFourBitsOrThirtyTwoWithAlphaAndTheRegistryKnowsPng) {
    if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
    std::vector<uint8_t> rgba;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) rgba.insert(rgba.end(), {uint8_t(x * 28), uint8_t(y * 60), 77, 255});
    TPNGImage opaque;
    opaque.SetPixels(9, 5, rgba);
    opaque.SaveToFile(P("rgb.png"));
    rgba[3] = 0;
    rgba[7] = 128;
    TPNGImage alpha;
    alpha.SetPixels(9, 5, rgba);
    alpha.SaveToFile(P("rgba.png"));
    auto type = [&](const std::string& name) {
        Run("identify -format '%[channels]' " + P(name) + " > " + P(name) + ".type");
        auto b = ReadFileBytes(P(name) + ".type");
        return std::string(b.begin(), b.end());
    };
    EXPECT_EQ(type("rgb.png"), "srgb");
    EXPECT_EQ(type("rgba.png"), "srgba");
    std::vector<uint8_t> back = Theirs(P("rgba.png"));
    EXPECT_EQ(back, rgba);

    // A transparent bitmap's transparent colour becomes see-through.
    TBitmap bmp;
    bmp.Assign(&alpha.Bitmap());
    TPNGImage fromBitmap;
    fromBitmap.Assign(&bmp);
    EXPECT_EQ(fromBitmap.Pixels()[3], 0);
    EXPECT_EQ(fromBitmap.Pixels()[7], 255);

    {
        PngUnit unit;
        bool described = false;
        for (const TFileFormat& f : TPicture::FileFormats())
            described |= f.extension == "png" && f.description == "PNG Image";
        EXPECT_TRUE(described);
        TPicture picture;
        picture.LoadFromFile(P("rgb.png"));
        ASSERT_NE(picture.Graphic(), nullptr);
        EXPECT_EQ(picture.Graphic()->ClassName(), "TPNGImage");
        EXPECT_EQ(picture.Width(), 9);
    }
    TPicture none;
    EXPECT_ANY_THROW(none.LoadFromFile(P("rgb.png")));
    EXPECT_ANY_THROW(alpha.LoadFromFile(P("rgb.png.type")));
}

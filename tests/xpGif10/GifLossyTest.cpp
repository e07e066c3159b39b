// Lossy LZW: without leeway it writes what the exact encoder writes; with
// leeway, giflib and Pillow read every file, each pixel stays within the
// bound of its colour, see-through pixels stay see-through, and files get
// smaller as the lossiness grows.
#include "GiflibView.h"
#include "platform/Streams.h"
#include "xpGif10/GifEncoder.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifLossyEncoder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

using namespace platform;
using namespace xpGif10;
using namespace giftest;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// A smooth photo-like frame: colours of a 6 x 6 x 6 cube's neighbours laid
// out as slow waves, with noise, so neighbouring pixels hold near colours.
struct Frame {
    int width, height;
    std::vector<TRGB> colors;
    Bytes pixels;
};

Frame PhotoLike(int width, int height, int bits, uint32_t seed) {
    std::mt19937 rng(seed);
    Frame f{width, height, {}, {}};
    const int n = 1 << bits;
    for (int i = 0; i < n; ++i) {
        // Colours along a path through the cube: index order is colour order.
        const double t = double(i) / n;
        f.colors.push_back({uint8_t(127 + 120 * std::sin(6.0 * t)), uint8_t(255 * t),
                            uint8_t(127 + 120 * std::cos(4.0 * t))});
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 0.5 + 0.25 * std::sin(x / 9.0 + seed) + 0.2 * std::cos(y / 13.0) + 0.05 * std::sin((x + y) / 3.0);
            int index = int(v * n) + int(rng() % 5) - 2;
            f.pixels.push_back(uint8_t(std::clamp(index, 0, n - 1)));
        }
    return f;
}

Bytes EncodeWith(TGIFEncoder& encoder, const Frame& f, int bits, bool interlaced = false) {
    TMemoryStream out;
    encoder.Encode(out, bits, 1 << bits, f.pixels.data(), interlaced, f.height, f.width);
    return out.Bytes();
}

// A one-frame file around encoded image data.
Bytes FileOf(const Frame& f, int bits, const Bytes& imageData, int transparent = -1, bool interlaced = false) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    auto word = [&](int v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    word(f.width);
    word(f.height);
    b.insert(b.end(), {uint8_t(0x80 | (bits - 1)), 0, 0});
    for (int i = 0; i < (1 << bits); ++i) b.insert(b.end(), {f.colors[size_t(i)].Red, f.colors[size_t(i)].Green, f.colors[size_t(i)].Blue});
    if (transparent >= 0) b.insert(b.end(), {0x21, 0xF9, 4, 1, 0, 0, uint8_t(transparent), 0});
    b.push_back(0x2C);
    word(0);
    word(0);
    word(f.width);
    word(f.height);
    b.push_back(interlaced ? 0x40 : 0);
    b.insert(b.end(), imageData.begin(), imageData.end());
    b.push_back(0x3B);
    return b;
}

int Distance(const TRGB& a, const TRGB& b) {
    return (a.Red - b.Red) * (a.Red - b.Red) + (a.Green - b.Green) * (a.Green - b.Green) +
           (a.Blue - b.Blue) * (a.Blue - b.Blue);
}

} // namespace

TEST(LossyLZW, WithoutLeewayWritesTheExactEncodersBytes) {
    // Every colour distinct and far from the others: the bound lets no
    // index stand for another, so the stream must be the exact one,
    // including table clears on a large frame and the code that names the
    // entry being made.
    for (int bits : {1, 2, 5, 8}) {
        for (bool interlaced : {false, true}) {
            Frame f = PhotoLike(300, 90, bits, uint32_t(bits));
            // Long runs of one index as well as noise.
            for (size_t i = 0; i < 2000; ++i) f.pixels[i] = 1;
            TLZWEncoder exact;
            TLossyLZWEncoder lossy(f.colors, -1, 0);
            EXPECT_EQ(EncodeWith(lossy, f, bits, interlaced), EncodeWith(exact, f, bits, interlaced))
                << bits << " bits" << (interlaced ? ", interlaced" : "");
        }
    }
}

TEST(LossyLZW, DecodersReadItAndEveryPixelStaysWithinTheBound) {
    const fs::path dir = fs::temp_directory_path() / ("qel-lossy-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    struct Written {
        std::string name;
        Bytes pixels;
    };
    std::vector<Written> forPillow;
    size_t previousSize = SIZE_MAX;
    for (int lossiness : {10, 40, 80, 140, 200}) {
        for (int bits : {4, 8}) {
            const int transparent = bits == 8 ? 37 : -1;
            Frame f = PhotoLike(257, 131, bits, 9);
            if (transparent >= 0)
                for (size_t i = 0; i < f.pixels.size(); i += 17) f.pixels[i] = uint8_t(transparent);
            const int bound = LossyBound(lossiness);
            TLossyLZWEncoder lossy(f.colors, transparent, bound);
            const bool interlaced = lossiness == 140;
            const Bytes data = EncodeWith(lossy, f, bits, interlaced);
            const Bytes file = FileOf(f, bits, data, transparent, interlaced);
            if (bits == 8) {
                // More leeway, never a larger file on this picture.
                EXPECT_LE(file.size(), previousSize) << "lossiness " << lossiness;
                previousSize = file.size();
            }
            std::vector<RawFrame> theirs;
            std::string why;
            ASSERT_TRUE(GiflibFrames(file, theirs, why)) << why;
            ASSERT_EQ(theirs.size(), 1u);
            TGIFImage image;
            LoadBytes(image, file);
            const std::vector<RawFrame> ours = OurFrames(image);
            ASSERT_EQ(ours.size(), 1u);
            EXPECT_TRUE(ours[0].pixels == theirs[0].pixels);
            int worst = 0, outside = 0, seeThrough = 0;
            for (size_t i = 0; i < f.pixels.size(); ++i) {
                const int want = f.pixels[i], got = theirs[0].pixels[i];
                if ((want == transparent) != (got == transparent)) ++seeThrough;
                if (got >= (1 << bits)) ++outside;
                else worst = std::max(worst, Distance(f.colors[size_t(want)], f.colors[size_t(got)]));
            }
            EXPECT_EQ(outside, 0);
            EXPECT_EQ(seeThrough, 0) << "lossiness " << lossiness;
            EXPECT_LE(worst, bound) << "lossiness " << lossiness << ", " << bits << " bits";
            const std::string name = "l" + std::to_string(lossiness) + "-" + std::to_string(bits) + ".gif";
            std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), long(file.size()));
            forPillow.push_back({name, theirs[0].pixels});
        }
    }
    // The leeway is used: at 80 the file is clearly smaller than exact LZW's.
    {
        Frame f = PhotoLike(257, 131, 8, 9);
        TLZWEncoder exact;
        TLossyLZWEncoder lossy(f.colors, -1, LossyBound(80));
        EXPECT_LT(double(EncodeWith(lossy, f, 8).size()), 0.8 * double(EncodeWith(exact, f, 8).size()));
    }
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) {
        fs::remove_all(dir);
        GTEST_SKIP() << "Pillow is not installed";
    }
    {
        std::ofstream py(dir / "dump.py");
        py << "import sys\nfrom PIL import Image\n"
              "for name in sys.argv[2:]:\n"
              "    open(sys.argv[1] + '/' + name + '.raw', 'wb').write(Image.open(sys.argv[1] + '/' + name).tobytes())\n";
    }
    std::string cmd = "/usr/bin/python3 " + (dir / "dump.py").string() + " " + dir.string();
    for (const Written& w : forPillow) cmd += " " + w.name;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const Written& w : forPillow)
        EXPECT_TRUE(ReadFileBytes((dir / (w.name + ".raw")).string()) == w.pixels) << "Pillow, " << w.name;
    fs::remove_all(dir);
}

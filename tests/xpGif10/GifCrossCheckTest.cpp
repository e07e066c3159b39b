// The decoder against giflib and Pillow on streams that this library's own
// encoder never writes: sub-blocks of any size (so codes span two or three
// of them), every minimum code size that holds the pixels, clear codes at
// random, a full table kept at 12 bits, no leading clear, codes past the
// frame's last pixel. All three must give back the pixels the file was made
// from.
#include "GifTestUtil.h"
#include "GiflibView.h"
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

using namespace platform;
using namespace xpGif10;
using namespace giftest;
namespace fs = std::filesystem;

namespace {

struct Case {
    Bytes file;
    std::vector<Bytes> truth;  // each frame's pixels in display order
    std::string what;
};

Bytes Pixels(std::mt19937& rng, int n, int bits) {
    Bytes px(size_t(n), 0);
    // Runs of random length give long strings, length 1 gives noise.
    int runs = int(rng() % 3);
    uint8_t cur = 0;
    for (auto& p : px) {
        if (runs == 0 || rng() % (runs == 1 ? 4 : 60) == 0) cur = uint8_t(rng() % (1u << bits));
        p = cur;
    }
    return px;
}

std::vector<Case> MakeCases() {
    std::mt19937 rng(20240610);
    const std::vector<BlockSizes> cuts = {{{1}}, {{2}}, {{3}}, {{7}}, {{255}}, {{}, 11}, {{1, 255, 2, 3}}};
    std::vector<Case> cases;
    for (int n = 0; n < 56; ++n) {
        const int bits = 1 + n % 8;
        const int frames = n % 4 == 3 ? 3 : 1;
        // Every eighth file is large enough to fill the table.
        const int sw = n % 8 == 5 ? 130 : 1 + int(rng() % 40), sh = n % 8 == 5 ? 100 : 1 + int(rng() % 30);
        std::vector<TestFrame> list;
        Case c;
        for (int i = 0; i < frames; ++i) {
            TestFrame f;
            f.width = frames == 1 ? sw : 1 + int(rng() % sw);
            f.height = frames == 1 ? sh : 1 + int(rng() % sh);
            f.left = sw - f.width;
            f.top = sh - f.height;
            f.interlaced = rng() % 3 == 0;
            f.localBits = rng() % 4 == 0 ? bits : 0;
            f.pixels = Pixels(rng, f.width * f.height, bits);
            c.truth.push_back(f.pixels);
            if (rng() % 5 == 0) {
                // Codes beyond the frame's last pixel.
                Bytes more = Pixels(rng, 1 + int(rng() % 300), bits);
                f.pixels.insert(f.pixels.end(), more.begin(), more.end());
            }
            const int least = std::max(2, bits);
            f.lzw.minCodeSize = least + int(rng() % (9 - least));
            f.lzw.clearChance = std::vector<double>{0, 0, 0.01, 0.3}[rng() % 4];
            f.lzw.clearWhenFull = rng() % 2;
            f.lzw.leadingClear = rng() % 4 != 0;
            f.lzw.seed = uint32_t(rng());
            f.blocks = cuts[rng() % cuts.size()];
            f.blocks.seed = uint32_t(rng());
            c.what += " [" + std::to_string(f.width) + "x" + std::to_string(f.height) + " code size " +
                      std::to_string(f.lzw.minCodeSize) + (f.interlaced ? " interlaced" : "") + " blocks " +
                      (f.blocks.cycle.empty() ? std::string("random") : std::to_string(f.blocks.cycle[0])) + "]";
            list.push_back(std::move(f));
        }
        c.file = MakeGif(sw, sh, bits, list);
        c.what = "case " + std::to_string(n) + c.what;
        cases.push_back(std::move(c));
    }
    return cases;
}

} // namespace

TEST(GifCrossCheck, StreamsOfEveryCutDecodeLikeGiflibAndPillow) {
    const std::vector<Case> cases = MakeCases();
    fs::path dir = fs::temp_directory_path() / ("qelgif-cross-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<size_t> forPillow;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        std::vector<RawFrame> theirs;
        std::string why;
        ASSERT_TRUE(GiflibFrames(c.file, theirs, why)) << c.what << ": " << why;
        TGIFImage image;
        std::vector<std::string> warnings;
        LoadBytes(image, c.file, &warnings);
        EXPECT_TRUE(warnings.empty()) << c.what << ": " << warnings[0];
        auto ours = OurFrames(image);
        ASSERT_EQ(ours.size(), c.truth.size()) << c.what;
        ASSERT_EQ(theirs.size(), c.truth.size()) << c.what;
        for (size_t f = 0; f < ours.size(); ++f) {
            EXPECT_TRUE(theirs[f].pixels == c.truth[f]) << "giflib, " << c.what << " frame " << f;
            EXPECT_TRUE(ours[f].pixels == c.truth[f]) << c.what << " frame " << f;
        }
        if (c.truth.size() == 1) {
            std::ofstream(dir / (std::to_string(i) + ".gif"), std::ios::binary)
                .write(reinterpret_cast<const char*>(c.file.data()), long(c.file.size()));
            forPillow.push_back(i);
        }
    }
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) {
        fs::remove_all(dir);
        GTEST_SKIP() << "Pillow is not installed";
    }
    {
        std::ofstream py(dir / "dump.py");
        py << "import sys, glob\nfrom PIL import Image\n"
              "for name in glob.glob(sys.argv[1] + '/*.gif'):\n"
              "    im = Image.open(name)\n"
              "    open(name + '.raw', 'wb').write(im.tobytes())\n";
    }
    ASSERT_EQ(std::system(("/usr/bin/python3 " + (dir / "dump.py").string() + " " + dir.string()).c_str()), 0);
    for (size_t i : forPillow) {
        Bytes raw = ReadFileBytes((dir / (std::to_string(i) + ".gif.raw")).string());
        EXPECT_TRUE(raw == cases[i].truth[0]) << "Pillow, " << cases[i].what;
    }
    EXPECT_GE(forPillow.size(), 30u);
    fs::remove_all(dir);
}

// Decoding agreement: GIF files made by other encoders (ImageMagick,
// gifsicle, Pillow) at test time decode to the same frames here as with
// giflib, and everything this library writes decodes the same again with
// giflib and Pillow.
#include "GifTestUtil.h"
#include "GiflibView.h"
#include "common/Spawn.h"
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace platform;
using namespace xpGif10;
using namespace giftest;
namespace fs = std::filesystem;

namespace {

class GifAgreement : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("qelgif-agree-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        std::string d = dir_.string();
        std::vector<std::string> cmds;
        if (qeltest::HaveTool("convert")) {
            int colors[] = {2, 4, 8, 16, 32, 64, 128, 256};
            int sizes[][2] = {{123, 77}, {1, 1}, {3, 200}, {257, 5}};
            int n = 0;
            for (int c : colors) {
                auto& sz = sizes[n++ % 4];
                cmds.push_back("convert -size " + std::to_string(sz[0]) + "x" + std::to_string(sz[1]) + " -seed " +
                               std::to_string(n) + " plasma:fractal -colors " + std::to_string(c) + " " + d +
                               "/im-colors" + std::to_string(c) + ".gif");
            }
            cmds.push_back("convert -size 101x67 -seed 9 plasma:fractal -colors 200 -interlace GIF " + d +
                           "/im-interlaced.gif");
            cmds.push_back("convert -size 64x48 xc:white -fill blue -draw 'circle 32,24 20,20' -transparent white " +
                           d + "/im-transparent.gif");
            cmds.push_back("convert -delay 5 -size 60x40 -seed 3 plasma:fractal -seed 4 plasma:fractal -seed 5 "
                           "plasma:fractal -colors 100 -loop 0 " + d + "/im-anim.gif");
            cmds.push_back("convert -size 640x480 -seed 6 plasma:fractal -colors 256 " + d + "/im-large.gif");
            if (qeltest::HaveTool("gifsicle")) {
                cmds.push_back("gifsicle -O3 " + d + "/im-anim.gif -o " + d + "/gs-optimized.gif");
                cmds.push_back("gifsicle --interlace --colors 32 " + d + "/im-anim.gif -o " + d + "/gs-interlaced.gif");
                cmds.push_back("gifsicle --colors 4 --crop 5,5+33x21 " + d + "/im-large.gif -o " + d + "/gs-crop.gif");
                cmds.push_back("gifsicle --change-color 0 '#ff0000' --transparent 3 " + d + "/im-colors16.gif -o " +
                               d + "/gs-transparent.gif");
            }
        }
        if (qeltest::HaveTool("/usr/bin/python3")) {
            std::ofstream py(d + "/make.py");
            py << "import sys\nfrom PIL import Image\n"
                  "d = sys.argv[1]\n"
                  "def img(w, h, bits, seed):\n"
                  "    im = Image.new('P', (w, h))\n"
                  "    n = 1 << bits\n"
                  "    im.putpalette([(i * 37 + seed * 11) % 256 for i in range(n * 3)])\n"
                  "    im.putdata([((x * 7 + y * 13 + seed) // (1 + seed % 3)) % n for y in range(h) for x in range(w)])\n"
                  "    return im\n"
                  "for bits in range(1, 9):\n"
                  "    img(17 + bits * 5, 9 + bits, bits, bits).save(d + '/pil-bits%d.gif' % bits)\n"
                  "img(31, 29, 5, 1).save(d + '/pil-interlaced.gif', interlace=True)\n"
                  "img(30, 20, 4, 2).save(d + '/pil-transparent.gif', transparency=3)\n"
                  "frames = [img(24, 18, 3 + i, i) for i in range(4)]\n"
                  "frames[0].save(d + '/pil-anim.gif', save_all=True, append_images=frames[1:], duration=70, loop=2,\n"
                  "               disposal=2, optimize=False)\n";
            py.close();
            cmds.push_back("/usr/bin/python3 " + d + "/make.py " + d);
        }
        for (const auto& c : cmds) {
            std::string quiet = c + " >/dev/null 2>&1";
            if (std::system(quiet.c_str()) != 0) std::cerr << "could not make a test file: " << c << "\n";
        }
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    static std::vector<std::string> Files() {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(dir_))
            if (e.path().extension() == ".gif" && e.path().filename().string().rfind("out-", 0) != 0)
                out.push_back(e.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    static fs::path dir_;
};

fs::path GifAgreement::dir_;

void ExpectSameFrames(const std::vector<RawFrame>& ours, const std::vector<RawFrame>& theirs, const std::string& what,
                      bool checkLayout) {
    ASSERT_EQ(ours.size(), theirs.size()) << what;
    for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].left, theirs[i].left) << what << " frame " << i;
        EXPECT_EQ(ours[i].top, theirs[i].top) << what << " frame " << i;
        ASSERT_EQ(ours[i].width, theirs[i].width) << what << " frame " << i;
        ASSERT_EQ(ours[i].height, theirs[i].height) << what << " frame " << i;
        if (checkLayout) {
            EXPECT_EQ(ours[i].interlaced, theirs[i].interlaced) << what << " frame " << i;
            EXPECT_EQ(ours[i].localColors, theirs[i].localColors) << what << " frame " << i;
        }
        EXPECT_TRUE(ours[i].pixels == theirs[i].pixels) << what << " frame " << i;
    }
}

} // namespace

// Each file as made, and with its image data cut into sub-blocks of 1, 2,
// 3 and 7 bytes and of random sizes: codes then span two or three of them.
TEST_F(GifAgreement, ThirdPartyFilesDecodeLikeGiflib) {
    auto files = Files();
    if (files.empty()) GTEST_SKIP() << "no third-party encoder installed";
    EXPECT_GE(files.size(), 20u);
    const std::vector<BlockSizes> cuts = {{{1}}, {{2}}, {{3}}, {{7}}, {{}, 5}, {{1, 254, 2}}};
    for (const auto& path : files) {
        const Bytes original = ReadFileBytes(path);
        for (size_t c = 0; c <= cuts.size(); ++c) {
            const Bytes file = c == 0 ? original : Recut(original, cuts[c - 1]);
            const std::string what = path + (c == 0 ? "" : " cut " + std::to_string(c));
            std::vector<RawFrame> theirs;
            std::string why;
            ASSERT_TRUE(GiflibFrames(file, theirs, why)) << what << ": " << why;
            TGIFImage image;
            std::vector<std::string> warnings;
            LoadBytes(image, file, &warnings);
            EXPECT_TRUE(warnings.empty()) << what << ": " << warnings[0];
            ExpectSameFrames(OurFrames(image), theirs, what, true);
        }
    }
}

TEST_F(GifAgreement, WhatThisLibraryWritesDecodesLikeGiflibAndPillow) {
    auto files = Files();
    if (files.empty()) GTEST_SKIP() << "no third-party encoder installed";
    bool pillow = qeltest::HaveTool("/usr/bin/python3") && std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
    // Files of a single full-screen frame, for Pillow, which is asked once
    // for all of them.
    struct ForPillow {
        std::string out, what;
        std::vector<uint8_t> pixels;
    };
    std::vector<ForPillow> forPillow;
    int n = 0;
    for (const auto& path : files) {
        TGIFImage image;
        TMemoryStream in;
        in.LoadFromFile(path);
        image.LoadFromStream(in);
        auto original = OurFrames(image);
        for (int compression = 0; compression < 2; ++compression) {
            image.Compression = compression;
            std::string out = (dir_ / ("out-" + std::to_string(n++) + ".gif")).string();
            TMemoryStream saved;
            image.SaveToStream(saved);
            saved.SaveToFile(out);
            std::vector<RawFrame> theirs;
            std::string why;
            ASSERT_TRUE(GiflibFrames(saved.Bytes(), theirs, why)) << out << " from " << path << ": " << why;
            ExpectSameFrames(original, theirs, path + (compression ? " (run-length)" : " (LZW)"), false);
            if (pillow && original.size() == 1 && original[0].left == 0 && original[0].top == 0 &&
                original[0].width == image.Width() && original[0].height == image.Height())
                forPillow.push_back({out, path + " compression " + std::to_string(compression), original[0].pixels});
        }
    }
    if (forPillow.empty()) return;
    std::string script = (dir_ / "dump.py").string();
    {
        // Pillow's indices of each file's frame, beside it.
        std::ofstream py(script);
        py << "import sys\nfrom PIL import Image\nfor name in sys.argv[1:]:\n"
              "    open(name + '.raw', 'wb').write(Image.open(name).tobytes())\n";
    }
    std::string cmd = "/usr/bin/python3 " + script;
    for (const auto& f : forPillow) cmd += " " + f.out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const auto& f : forPillow)
        EXPECT_TRUE(ReadFileBytes(f.out + ".raw") == f.pixels) << "Pillow differs on " << f.what;
}

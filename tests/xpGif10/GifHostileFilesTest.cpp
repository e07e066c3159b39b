// Files other writers get wrong, built by hand from the GIF89a layout: what
// the library reads from them, and whether what it writes back (copy and
// optimize) is read by giflib and Pillow and draws the same. Also the small
// files that declare huge frames, run through the tool under a 256 MiB
// address-space limit.
#include "GifTestUtil.h"
#include "GiflibView.h"
#include "platform/Streams.h"
#include "xpGif10/GifComposer.h"
#include "xpGif10/GifImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>

using namespace giftest;
using namespace platform;
using namespace xpGif10;
namespace fs = std::filesystem;

namespace {

Bytes Gce(int size, uint8_t packed, int delay, uint8_t index, const Bytes& extra = {}) {
    Bytes b = {0x21, 0xF9, uint8_t(size), packed, uint8_t(delay), uint8_t(delay >> 8), index};
    for (int i = 4; i < size; ++i) b.push_back(uint8_t(0xA0 + i));
    if (size < 4) b.resize(3 + size_t(size));
    b.insert(b.end(), extra.begin(), extra.end());
    b.push_back(0);
    return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

TestFrame Frame(int left, int top, int w, int h, uint8_t salt, Bytes before = {}, bool interlaced = false) {
    TestFrame f;
    f.left = left;
    f.top = top;
    f.width = w;
    f.height = h;
    f.interlaced = interlaced;
    f.lzw.minCodeSize = 3;
    for (int i = 0; i < w * h; ++i) f.pixels.push_back(uint8_t((i * 5 + salt) % 8));
    f.before = std::move(before);
    return f;
}

// The screen as drawn after each frame, by the library's composer.
std::vector<std::vector<uint32_t>> Composed(TGIFImage& image) {
    std::vector<std::vector<uint32_t>> states;
    TGIFComposer c(image.Width(), image.Height());
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFSubImage* f = image.Images()[i];
        if (f->Empty()) continue;
        c.Draw(*f);
        states.emplace_back(c.State(), c.State() + size_t(c.Width()) * size_t(c.Height()));
        c.Dispose();
    }
    return states;
}

struct Case {
    std::string name;
    Bytes file;
    std::vector<std::string> warnings;  // what reading it must say, in order
};

class GifHostileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("gif-hostile-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

std::vector<Case> Cases() {
    const Bytes text = {0x21, 0x01, 13, 0, 0, 0, 0, 8, 0, 8, 0, 4, 4, 1, 0, 0x77, 3, 'a', 'b', 'c', 0};
    Bytes app8 = {0x21, 0xFF, 8, 'S', 'H', 'O', 'R', 'T', 'I', 'D', '1', 2, 7, 7, 0};
    Bytes app14 = {0x21, 0xFF, 14};
    for (char ch : std::string("LONGERIDENT1.0")) app14.push_back(uint8_t(ch));
    app14.insert(app14.end(), {1, 9, 0});
    const Bytes unknown = {0x21, 0x2A, 3, 1, 2, 3, 2, 4, 5, 0};
    std::vector<Case> cases;
    cases.push_back({"graphic control of block size 6",
                     MakeGif(8, 8, 3, {Frame(0, 0, 8, 8, 1, Gce(6, 0x05, 7, 2)), Frame(1, 1, 3, 3, 2)}),
                     {"The graphic control extension's block size is 6 (4 defined): read by its size, written "
                      "as defined"}});
    cases.push_back({"graphic control of block size 3 and a stray sub-block",
                     MakeGif(8, 8, 3, {Frame(0, 0, 8, 8, 1, Gce(3, 0x04, 9, 0, {2, 1, 1}))}),
                     {"The graphic control extension's block size is 3 (4 defined): read by its size, written "
                      "as defined"}});
    cases.push_back({"plain text of block size 13", MakeGif(8, 8, 3, {Frame(0, 0, 8, 8, 1, text)}),
                     {"The plain text extension's block size is 13 (12 defined): read by its size, written as "
                      "defined"}});
    cases.push_back({"unknown label 0x2A", MakeGif(8, 8, 3, {Frame(0, 0, 8, 8, 1, unknown), Frame(0, 0, 2, 2, 4)}),
                     {"Extension of unknown label 0x2A skipped"}});
    cases.push_back({"application blocks of size 8 and 14",
                     MakeGif(8, 8, 3, {Frame(0, 0, 8, 8, 1, Concat({app8, app14}))}),
                     {"The application extension's block size is 8 (11 defined): read by its size, written as "
                      "defined",
                      "The application extension's block size is 14 (11 defined): read by its size, written as "
                      "defined"}});
    cases.push_back({"two graphic control extensions",
                     MakeGif(8, 8, 3,
                             {Frame(0, 0, 8, 8, 1, Concat({Gce(4, 0x04, 10, 0), Gce(4, 0x09, 20, 3)})),
                              Frame(0, 0, 8, 8, 6)}),
                     {"Two graphic control extensions before one image: the last one is used"}});
    // A frame of no pixels between two others, with a delay of its own.
    Bytes zero = MakeGif(8, 8, 3, {Frame(0, 0, 8, 8, 1), Frame(0, 0, 1, 1, 0, Gce(4, 0x08, 50, 0)),
                                   Frame(4, 4, 4, 4, 3)});
    {
        // The middle descriptor's width and height set to 0 (the GCE is 8
        // bytes before it).
        size_t at = zero.size();
        int seen = 0;
        for (size_t i = 13 + 24; i < zero.size(); ++i)
            if (zero[i] == 0x2C && zero[i - 8] == 0x21 && zero[i - 7] == 0xF9 && ++seen == 1) at = i;
        zero[at + 5] = zero[at + 6] = zero[at + 7] = zero[at + 8] = 0;
    }
    cases.push_back({"frame of 0 x 0 pixels", zero,
                     {"Image of 0 x 0 pixels: kept as one transparent pixel, which draws nothing"}});
    // Cut inside the second frame: in its descriptor, its colour table, its
    // data.
    const Bytes local = MakeGif(8, 8, 3, {Frame(0, 0, 8, 8, 1), [] {
                                              TestFrame f = Frame(2, 2, 4, 4, 3);
                                              f.localBits = 3;
                                              return f;
                                          }()});
    size_t desc = 0;
    for (size_t i = 13 + 24 + 10; i + 3 < local.size() && !desc; ++i)
        if (local[i] == 0x2C && local[i + 1] == 2 && local[i + 3] == 2) desc = i;
    cases.push_back({"cut in the second descriptor", Bytes(local.begin(), local.begin() + long(desc + 6)),
                     {"The file ends inside frame 2, before its image data: the 1 frames before it are kept"}});
    cases.push_back({"cut in the second colour table", Bytes(local.begin(), local.begin() + long(desc + 10 + 7)),
                     {"The file ends inside frame 2, before its image data: the 1 frames before it are kept"}});
    cases.push_back({"cut in the second frame's data", Bytes(local.begin(), local.end() - 4),
                     {"Premature end of data"}});
    return cases;
}

TEST_F(GifHostileFiles, ReadAsOtherReadersDoAndWrittenSoThatTheyReadIt) {
    std::vector<std::string> outputs;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        TGIFImage image;
        std::vector<std::string> warnings;
        ASSERT_NO_THROW(LoadBytes(image, c.file, &warnings));
        EXPECT_EQ(warnings, c.warnings);
        const auto frames = OurFrames(image);
        const auto drawn = Composed(image);

        // copy: the same frames, index by index, for giflib.
        const Bytes copy = SaveBytes(image);
        std::vector<RawFrame> theirs;
        std::string why;
        ASSERT_TRUE(GiflibFrames(copy, theirs, why)) << why;
        ASSERT_EQ(theirs.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(theirs[i].pixels, frames[i].pixels) << "frame " << i;
            EXPECT_EQ(theirs[i].control, frames[i].control) << "frame " << i;
            EXPECT_EQ(theirs[i].width * 1000 + theirs[i].height, frames[i].width * 1000 + frames[i].height);
        }

        // optimize: what is drawn stays, the screen too.
        TGIFImage optimized;
        LoadBytes(optimized, c.file);
        optimized.Optimize(GIFDefaultOptimizeOptions, 0);
        EXPECT_EQ(optimized.Width(), image.Width());
        EXPECT_EQ(optimized.Height(), image.Height());
        const Bytes small = SaveBytes(optimized);
        TGIFImage back;
        LoadBytes(back, small);
        EXPECT_EQ(Composed(back).back(), drawn.back());
        ASSERT_TRUE(GiflibFrames(small, theirs, why)) << why;

        for (const Bytes* out : {&copy, &small}) {
            outputs.push_back((dir_ / (std::to_string(outputs.size()) + ".gif")).string());
            std::ofstream(outputs.back(), std::ios::binary)
                .write(reinterpret_cast<const char*>(out->data()), long(out->size()));
        }
    }
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Pillow";
    // Pillow reads every frame of every output, with nothing left over.
    {
        std::ofstream py(dir_ / "read.py");
        py << "import sys\nfrom PIL import Image, ImageFile\nImageFile.LOAD_TRUNCATED_IMAGES = False\n"
              "for name in sys.argv[1:]:\n"
              "    im = Image.open(name)\n"
              "    for i in range(im.n_frames):\n"
              "        im.seek(i); im.load()\n";
    }
    std::string cmd = "/usr/bin/python3 " + (dir_ / "read.py").string();
    for (const auto& o : outputs) cmd += " " + o;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST_F(GifHostileFiles, LastGraphicControlHoldsAndNoPixelsDrawNothing) {
    const auto cases = Cases();
    TGIFImage two;
    LoadBytes(two, cases[5].file);
    TGIFGraphicControlExtension* gce = two.Images()[0]->GraphicControlExtension();
    ASSERT_NE(gce, nullptr);
    EXPECT_EQ(gce->Delay(), 20);
    EXPECT_EQ(gce->Disposal(), 2);
    EXPECT_TRUE(two.Images()[0]->Transparent());
    EXPECT_EQ(two.Images()[0]->TransparentColorIndex(), 3);
    int controls = 0;
    for (int e = 0; e < two.Images()[0]->Extensions().Count(); ++e)
        controls += dynamic_cast<TGIFGraphicControlExtension*>(two.Images()[0]->Extensions()[e]) != nullptr;
    EXPECT_EQ(controls, 1);

    // The empty frame keeps its 50 of delay and leaves the picture as it was.
    TGIFImage zero;
    LoadBytes(zero, cases[6].file);
    ASSERT_EQ(zero.Images().Count(), 3);
    EXPECT_EQ(zero.Images()[1]->GraphicControlExtension()->Delay(), 50);
    const auto drawn = Composed(zero);
    EXPECT_EQ(drawn[1], drawn[0]);
}

TEST_F(GifHostileFiles, OptimizeKeepsTheScreenOfAFramePastItsEdgeAndSaysWhenNothingIsLeft) {
    // A transparent frame of 10 x 10 on an 8 x 8 screen whose visible pixels
    // reach past the right edge: cropping must not grow the screen.
    TestFrame f = Frame(0, 0, 10, 10, 0, Gce(4, 0x01, 5, 0));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) f.pixels[size_t(y * 10 + x)] = (x >= 5 && y >= 2 && y < 6) ? 3 : 0;
    const Bytes file = MakeGif(8, 8, 3, {Frame(0, 0, 8, 8, 1), f});
    TGIFImage image, optimized;
    LoadBytes(image, file);
    LoadBytes(optimized, file);
    optimized.Optimize(GIFDefaultOptimizeOptions, 0);
    EXPECT_EQ(optimized.Width(), 8);
    EXPECT_EQ(optimized.Height(), 8);
    EXPECT_EQ(Composed(optimized), Composed(image));
    const Bytes saved = SaveBytes(optimized);
    EXPECT_EQ(saved[6] | saved[7] << 8, 8);

    // Only a comment: optimizing drops it and no frame is left to write.
    Bytes comment = MakeGif(8, 8, 3, {});
    comment.insert(comment.end() - 1, {0x21, 0xFE, 2, 'h', 'i', 0});
    TGIFImage empty;
    LoadBytes(empty, comment);
    empty.Optimize(GIFDefaultOptimizeOptions, 0);
    try {
        SaveBytes(empty);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "The image has no frames to save");
    }
}

// Eight frames of 16000 x 16000 in a file of a few dozen bytes each: the
// tool must neither take the memory they declare nor the time to fill it.
TEST_F(GifHostileFiles, TinyFilesDeclaringHugeFramesRunInLittleMemory) {
    for (int screen : {8, 16000}) {
        Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
        PutWord(b, screen);
        PutWord(b, screen);
        b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});
        for (int i = 0; i < 8; ++i) {
            b.insert(b.end(), {0x21, 0xF9, 4, 0, 1, 0, 0, 0, 0x2C, 0, 0, 0, 0});
            PutWord(b, 16000);
            PutWord(b, 16000);
            b.insert(b.end(), {0, 2, 1, 0x0C, 0});  // a clear code and one pixel
        }
        b.push_back(';');
        ASSERT_LE(b.size(), 200u);
        const fs::path in = dir_ / "huge.gif";
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), long(b.size()));
        auto run = [&](const std::string& args) {
            // The guard time only catches the old behaviour (tens of seconds).
            // A sanitizer build reserves its shadow memory up front, more
            // than any address-space limit lets through: there the limit
            // stays off and the time and the answers are what is checked.
#if defined(__SANITIZE_ADDRESS__)
            const std::string limit;
#else
            const std::string limit = "ulimit -v 262144; ";
#endif
            const std::string cmd = limit + "timeout 20 " + std::string(QELGIF_PATH) + " " + args +
                                    " >" + (dir_ / "out.txt").string() + " 2>&1";
            const int rc = std::system(cmd.c_str());
            std::ifstream log(dir_ / "out.txt");
            std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
            return std::make_pair(WEXITSTATUS(rc), text);
        };
        SCOPED_TRACE("screen " + std::to_string(screen));
        auto info = run("info " + in.string());
        EXPECT_EQ(info.first, 0) << info.second;
        EXPECT_NE(info.second.find("frame 7 left 0 top 0 width 16000 height 16000"), std::string::npos);
        auto copy = run("copy " + in.string() + " " + (dir_ / "copy.gif").string());
        EXPECT_EQ(copy.first, 0) << copy.second;
        auto opt = run("optimize " + in.string() + " " + (dir_ / "opt.gif").string());
        if (screen == 8) {
            // Cut to the screen first, the frames are small.
            EXPECT_EQ(opt.first, 0) << opt.second;
            std::vector<RawFrame> theirs;
            std::string why;
            EXPECT_TRUE(GiflibFrames(ReadFileBytes((dir_ / "opt.gif").string()), theirs, why)) << why;
        } else {
            EXPECT_EQ(opt.first, 1);
            EXPECT_NE(opt.second.find("Frame 1 of 16000 x 16000 pixels holds data for only a part of them"),
                      std::string::npos)
                << opt.second;
        }
    }
}

} // namespace

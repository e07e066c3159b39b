// Files as other programs write them: stray zero bytes between blocks,
// extensions this library does not know or knows only in part, pixels with
// no colour table to cover them, streams cut short. Each is read as giflib
// reads it (or as giflib reads the same file made regular), and written back
// so that giflib reads the same again.
#include "GifTestUtil.h"
#include "GiflibView.h"
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace platform;
using namespace xpGif10;
using namespace giftest;

namespace {

Bytes Control(int delay, int index) {
    return {0x21, 0xF9, 4, 0x04, uint8_t(delay), uint8_t(delay >> 8), uint8_t(index), 0};
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TestFrame Frame(int w, int h, int bits, int seed, const Bytes& before = {}) {
    TestFrame f;
    f.width = w;
    f.height = h;
    f.lzw.minCodeSize = std::max(2, bits);
    for (int i = 0; i < w * h; ++i) f.pixels.push_back(uint8_t((i * 7 + seed) % (1 << bits)));
    f.before = before;
    return f;
}

std::vector<RawFrame> Giflib(const Bytes& file) {
    std::vector<RawFrame> frames;
    std::string why;
    EXPECT_TRUE(GiflibFrames(file, frames, why)) << why;
    return frames;
}

void ExpectSame(const std::vector<RawFrame>& a, const std::vector<RawFrame>& b, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].width, b[i].width) << what << " frame " << i;
        EXPECT_EQ(a[i].control, b[i].control) << what << " frame " << i;
        EXPECT_TRUE(a[i].pixels == b[i].pixels) << what << " frame " << i;
    }
}

bool Contains(const Bytes& hay, const Bytes& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

} // namespace

// A zero byte between blocks neither ends the frames nor parts graphic
// control extensions from their images (which stops playback there).
TEST(GifRealFiles, StrayZeroBytesBetweenBlocksAreSkipped) {
    const Bytes comment = Join({{0x21, 0xFE, 3}, Text("hi!"), {0}});
    auto frames = [&](bool stray) {
        Bytes z = stray ? Bytes{0} : Bytes{};
        return std::vector<TestFrame>{Frame(6, 4, 3, 1, Join({z, Control(10, 0), z})),
                                      Frame(6, 4, 3, 2, Join({Control(20, 1), z, comment, z, z})),
                                      Frame(6, 4, 3, 3, Join({z, Control(30, 2)}))};
    };
    const Bytes regular = MakeGif(6, 4, 3, frames(false)), stray = MakeGif(6, 4, 3, frames(true));
    const auto expected = Giflib(regular);
    TGIFImage image;
    std::vector<std::string> warnings;
    LoadBytes(image, stray, &warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    EXPECT_EQ(image.Images().Count(), 3);
    ExpectSame(OurFrames(image), expected, "loaded");
    ExpectSame(Giflib(SaveBytes(image)), expected, "saved");
}

// Application extensions this library does not know are kept whatever
// their data holds; the loop extension keeps sub-blocks of other kinds;
// comment and text blocks keep their zero bytes.
TEST(GifRealFiles, ExtensionsComeBackByteForByte) {
    const std::vector<Bytes> extensions = {
        Join({{0x21, 0xFF, 11}, Text("XMP DataXMP"), {11}, Text("NETSCAPE2.0"), {3, 1, 5, 0}, {2, 0, 0}, {0}}),
        Join({{0x21, 0xFF, 11}, Text("NETSCAPE2.0"), {5, 1, 7, 0, 'x', 'y'}, {4, 3, 'a', 'b', 'c'}, {0}}),
        Join({{0x21, 0xFE, 5}, Text("ab"), {0}, Text("cd"), {1, 0}, {0}}),
        Join({{0x21, 0x01, 12, 0, 0, 0, 0, 6, 0, 4, 0, 1, 1, 1, 0}, {3, 'a', 0, 'b'}, {0}}),
    };
    Bytes before;
    for (const Bytes& e : extensions) before.insert(before.end(), e.begin(), e.end());
    const Bytes file = MakeGif(6, 4, 2, {Frame(6, 4, 2, 1, before)});
    TGIFImage image;
    std::vector<std::string> warnings;
    LoadBytes(image, file, &warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    ASSERT_EQ(image.Images().Count(), 1);
    ASSERT_EQ(image.Images()[0]->Extensions().Count(), 4);
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(image.Images()[0]->Extensions()[1]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->Loops, 7);
    const Bytes saved = SaveBytes(image);
    for (size_t i = 0; i < extensions.size(); ++i) EXPECT_TRUE(Contains(saved, extensions[i])) << "extension " << i;
    ExpectSame(Giflib(saved), Giflib(file), "saved");
}

// Whatever was loaded can be saved again: frames with no colour table at
// all, and pixels beyond the global or the local table.
TEST(GifRealFiles, PixelsBeyondTheirTableAreSavedAgain) {
    auto beyond = [](TestFrame f, int bits) {
        for (size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = uint8_t((i * 5) % (1 << bits));
        f.lzw.minCodeSize = std::max(2, bits);
        return f;
    };
    TestFrame local = beyond(Frame(5, 3, 1, 0), 3);
    local.localBits = 1;
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"no table", MakeGif(5, 3, 0, {beyond(Frame(5, 3, 1, 0), 3)})},
        {"beyond the global table", MakeGif(5, 3, 2, {beyond(Frame(5, 3, 2, 0), 7), Frame(5, 3, 2, 1)})},
        {"beyond the local table", MakeGif(5, 3, 2, {local})},
    };
    for (const auto& [what, file] : files) {
        TGIFImage image;
        LoadBytes(image, file);
        Bytes saved;
        ASSERT_NO_THROW(saved = SaveBytes(image)) << what;
        ExpectSame(Giflib(saved), Giflib(file), what);
    }
}

// A descriptor read after a stray byte (where an extension or "," was due)
// is written back starting with ",", so other readers find it.
TEST(GifRealFiles, DescriptorIsAlwaysWrittenWithItsSeparator) {
    Bytes file = MakeGif(6, 4, 3, {Frame(6, 4, 3, 1, Control(5, 0))});
    const auto expected = Giflib(file);
    auto at = std::find(file.begin() + 13 + 24 + 8, file.end(), 0x2C);
    ASSERT_NE(at, file.end());
    *at = 'X';
    TGIFImage image;
    std::vector<std::string> warnings;
    LoadBytes(image, file, &warnings);
    EXPECT_EQ(warnings, (std::vector<std::string>{"Invalid extension introducer"}));
    ExpectSame(Giflib(SaveBytes(image)), expected, "saved");
}

// A file cut anywhere in its last frame's data, or whose codes run out
// before the terminator, loads every pixel there is with one warning.
TEST(GifRealFiles, OneEarlyEndGivesOneWarning) {
    TestFrame second = Frame(40, 30, 5, 2);
    second.blocks = {{7}};
    const Bytes file = MakeGif(40, 30, 5, {Frame(40, 30, 5, 1), second});
    const auto whole = Giflib(file);
    const size_t dataStart = file.size() - 1 - CutIntoBlocks(LzwCodes(second.pixels, second.lzw), second.blocks).size();
    for (size_t cut = dataStart; cut < file.size() - 1; cut += 3) {
        TGIFImage image;
        std::vector<std::string> warnings;
        LoadBytes(image, Bytes(file.begin(), file.begin() + long(cut)), &warnings);
        ASSERT_EQ(warnings.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(warnings[0], "Premature end of data");
        auto ours = OurFrames(image);
        ASSERT_EQ(ours.size(), 2u);
        EXPECT_TRUE(ours[0].pixels == whole[0].pixels);
        // What the data holds comes first, the pre-fill after it.
        size_t same = 0;
        while (same < ours[1].pixels.size() && ours[1].pixels[same] == whole[1].pixels[same]) ++same;
        EXPECT_TRUE(std::all_of(ours[1].pixels.begin() + long(same), ours[1].pixels.end(), [](uint8_t p) {
            return p == 0;
        })) << "cut at " << cut;
    }
    // Codes that run out before the terminator.
    TestFrame shortData = Frame(40, 30, 5, 3);
    shortData.pixels.resize(500);
    shortData.lzw.endCode = false;
    TGIFImage image;
    std::vector<std::string> warnings;
    LoadBytes(image, MakeGif(40, 30, 5, {Frame(40, 30, 5, 1), shortData}), &warnings);
    EXPECT_EQ(warnings, (std::vector<std::string>{"Decoder bit buffer under-run"}));
    EXPECT_EQ(image.Images().Count(), 2);
}

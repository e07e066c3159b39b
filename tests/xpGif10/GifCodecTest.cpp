#include "GifTestUtil.h"
#include "platform/Streams.h"
#include "xpGif10/GifTypes.h"
#include "xpGif10/GifDecoder.h"
#include "xpGif10/GifEncoder.h"

#include <gtest/gtest.h>

#include <random>

using namespace platform;
using namespace xpGif10;
using giftest::CodeWriter;

namespace {

struct Decoded {
    std::vector<uint8_t> pixels;
    std::vector<std::string> warnings;
    int64_t position = 0;
    std::string error;
};

Decoded Decode(const std::vector<uint8_t>& data, int w, int h, bool interlaced = false, uint8_t prefill = 0) {
    Decoded d;
    d.pixels.assign(size_t(w) * h, prefill);
    TMemoryStream s(data);
    try {
        DecodeGIFImageData(s, d.pixels.data(), w, h, interlaced, prefill,
                           [&](const std::string& m) { d.warnings.push_back(m); });
    } catch (const GIFException& e) {
        d.error = e.what();
    }
    d.position = s.Position();
    return d;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& px, int w, int h, int bpp, int colors, bool interlaced,
                            bool rle) {
    TMemoryStream s;
    if (rle) {
        TRLEEncoder e;
        e.Encode(s, bpp, colors, px.empty() ? nullptr : px.data(), interlaced, h, w);
    } else {
        TLZWEncoder e;
        e.Encode(s, bpp, colors, px.empty() ? nullptr : px.data(), interlaced, h, w);
    }
    return s.Bytes();
}

std::vector<uint8_t> RandomPixels(std::mt19937& rng, size_t n, int colors, int runiness) {
    std::vector<uint8_t> px(n);
    std::uniform_int_distribution<int> c(0, colors - 1), r(0, runiness);
    uint8_t cur = 0;
    for (auto& p : px) {
        if (r(rng) == 0) cur = uint8_t(c(rng));
        p = cur;
    }
    return px;
}

// The decoder leaves the stream right after the frame's block terminator.
void ExpectAtEnd(const Decoded& d, const std::vector<uint8_t>& bytes) {
    EXPECT_EQ(d.position, int64_t(bytes.size()));
}

} // namespace

// ---- encoding layout -------------------------------------------------------------

TEST(GifEncoderLayout, FourByFourZerosAtOneBitIsCodeSizeTwoOneSubBlockAndTerminator) {
    std::vector<uint8_t> px(16, 0);
    auto bytes = Encode(px, 4, 4, 1, 2, false, false);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(size_t(bytes[1]) + 3, bytes.size());  // size byte, data, terminator
    EXPECT_EQ(bytes.back(), 0);
    auto d = Decode(bytes, 4, 4, false, 7);
    EXPECT_EQ(d.pixels, px);
    EXPECT_TRUE(d.warnings.empty());
    EXPECT_EQ(d.position, int64_t(bytes.size()));
}

TEST(GifEncoderLayout, FrameWithoutPixelsIsOnlyTheEndCode) {
    for (bool rle : {false, true}) {
        auto bytes = Encode({}, 0, 0, 3, 8, false, rle);
        // Code size 3, one sub-block of one byte holding end code 9 at 4 bits.
        EXPECT_EQ(bytes, (std::vector<uint8_t>{3, 1, 9, 0})) << rle;
    }
}

TEST(GifEncoderLayout, PixelOutsideTheColourCountIsRefused) {
    std::vector<uint8_t> px = {0, 1, 2, 5};
    for (bool rle : {false, true}) {
        try {
            Encode(px, 2, 2, 2, 3, false, rle);
            FAIL() << "no error";
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), "Color not in color table");
        }
    }
}

TEST(GifEncoderLayout, SubBlockWriterCutsAt255AndRefusesOtherUse) {
    TMemoryStream s;
    {
        TGIFWriter w(s);
        std::vector<uint8_t> data(600, 0xAB);
        w.Write(data.data(), 600);
        EXPECT_THROW(w.Read(data.data(), 1), Exception);
        EXPECT_THROW(w.Seek(0, SeekOrigin::Begin), Exception);
        w.Finish();
        TGIFStream plain(s);
        EXPECT_THROW(plain.Write(data.data(), 1), Exception);
    }
    const auto& b = s.Bytes();
    ASSERT_EQ(b.size(), 600u + 3);
    EXPECT_EQ(b[0], 255);
    EXPECT_EQ(b[256], 255);
    EXPECT_EQ(b[512], 90);
}

TEST(GifEncoderLayout, HashTableFindsWhatItStoredAcrossCollisions) {
    THashTable t;
    EXPECT_EQ(t.Lookup(0x12345), -1);
    // Many keys landing on few slots force long probe chains.
    std::vector<uint32_t> keys;
    for (uint32_t k = 0; k < 3000; ++k) keys.push_back((k * 8009u * 16u) & 0xFFFFF);
    int code = 0;
    for (uint32_t k : keys) t.Insert(k, (code++) & 0xFFF);
    code = 0;
    for (uint32_t k : keys) {
        int found = t.Lookup(k);
        // Equal keys keep the first code stored.
        if (found != (code & 0xFFF)) {
            auto first = std::find(keys.begin(), keys.end(), k) - keys.begin();
            EXPECT_EQ(found, int(first & 0xFFF));
        }
        ++code;
    }
    t.Clear();
    EXPECT_EQ(t.Lookup(keys[5]), -1);
}

// ---- round trips --------------------------------------------------------------------

TEST(GifCodecRoundTrip, InterlacedFramesOfEverySmallHeightKeepAllRows) {
    std::mt19937 rng(1);
    for (bool rle : {false, true})
        for (int h = 1; h <= 17; ++h) {
            int w = 5;
            auto px = RandomPixels(rng, size_t(w) * h, 16, 2);
            auto bytes = Encode(px, w, h, 4, 16, true, rle);
            auto d = Decode(bytes, w, h, true, 0);
            EXPECT_EQ(d.pixels, px) << "height " << h << " rle " << rle;
            ExpectAtEnd(d, bytes);
        }
}

TEST(GifCodecRoundTrip, RandomFramesOfEveryDepthAndBothEncoders) {
    std::mt19937 rng(2);
    for (int bpp = 1; bpp <= 8; ++bpp)
        for (bool rle : {false, true})
            for (int runiness : {0, 3, 50}) {
                int w = 37 + bpp, h = 23;
                int colors = 1 << bpp;
                auto px = RandomPixels(rng, size_t(w) * h, colors, runiness);
                auto bytes = Encode(px, w, h, bpp, colors, false, rle);
                auto d = Decode(bytes, w, h);
                ASSERT_EQ(d.pixels, px) << bpp << " " << rle << " " << runiness;
                EXPECT_TRUE(d.warnings.empty());
                ExpectAtEnd(d, bytes);
            }
}

TEST(GifCodecRoundTrip, LargeFramesFillTheTableAndClear) {
    std::mt19937 rng(3);
    int w = 640, h = 480;
    for (int runiness : {0, 4})
        for (bool rle : {false, true}) {
            auto px = RandomPixels(rng, size_t(w) * h, 256, runiness);
            auto bytes = Encode(px, w, h, 8, 256, false, rle);
            auto d = Decode(bytes, w, h);
            ASSERT_EQ(d.pixels, px);
        }
}

TEST(GifCodecRoundTrip, OneColourRunLengthFrameTakesFewCodes) {
    std::vector<uint8_t> px(200 * 100, 3);
    auto rle = Encode(px, 200, 100, 2, 4, false, true);
    auto lzw = Encode(px, 200, 100, 2, 4, false, false);
    EXPECT_LT(rle.size(), 600u);
    EXPECT_EQ(Decode(rle, 200, 100).pixels, px);
    EXPECT_EQ(Decode(lzw, 200, 100).pixels, px);
}

// ---- decoder edge cases --------------------------------------------------------------

TEST(GifDecoderEdges, EndCodeRightAfterAClearEndsTheData) {
    CodeWriter w;
    w.Put(4, 3);  // clear
    w.Put(1, 3);
    w.Put(4, 3);  // clear
    w.Put(5, 3);  // end: no pixel, however the table stands
    auto bytes = w.Finish(2);
    auto d = Decode(bytes, 3, 1, false, 7);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 7, 7}));
    EXPECT_TRUE(d.warnings.empty());
    ExpectAtEnd(d, bytes);
}

// However the data ends early, the pixels it holds are kept, the rest keep
// the pre-fill, and the frame warns once.
TEST(GifDecoderEdges, EarlyEndKeepsThePrefillAndWarnsOnce) {
    // Four 4-bit codes fill two bytes exactly; a zero-length block follows.
    CodeWriter w;
    w.Put(8, 4);
    w.Put(1, 4);
    w.Put(2, 4);
    w.Put(3, 4);
    auto bytes = w.Finish(3);
    auto d = Decode(bytes, 4, 2, false, 9);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 2, 3, 9, 9, 9, 9, 9}));
    EXPECT_EQ(d.warnings, (std::vector<std::string>{"Decoder bit buffer under-run"}));
    ExpectAtEnd(d, bytes);
    // Data for exactly the frame's pixels needs no end code.
    d = Decode(bytes, 3, 1, false, 9);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(d.warnings.empty());
    // A stream that ends inside a sub-block, or before the code size.
    for (size_t cut : {size_t(3), size_t(2), size_t(0)}) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
        d = Decode(part, 4, 2, false, 9);
        EXPECT_EQ(d.warnings, (std::vector<std::string>{"Premature end of data"})) << cut;
        EXPECT_EQ(d.pixels[7], 9);
    }
    // A sub-block that claims more than there is.
    bytes.pop_back();
    bytes[1] = 200;
    d = Decode(bytes, 4, 2, false, 9);
    EXPECT_EQ(d.warnings, (std::vector<std::string>{"Premature end of data"}));
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 2, 3, 9, 9, 9, 9, 9}));
}

TEST(GifDecoderEdges, EndCodeSkipsRemainingSubBlocksToTheTerminator) {
    CodeWriter w;
    w.Put(4, 3);
    w.Put(1, 3);
    w.Put(5, 3);
    auto bytes = w.Finish(2, false);
    std::vector<uint8_t> junk = {3, 9, 9, 9, 2, 7, 7, 0, 0x21};
    bytes.insert(bytes.end(), junk.begin(), junk.end());
    auto d = Decode(bytes, 1, 1);
    EXPECT_EQ(d.pixels[0], 1);
    EXPECT_EQ(d.position, int64_t(bytes.size()) - 1);  // before the next block's "!"
}

TEST(GifDecoderEdges, EarlyEndCodeDoesNotReadIntoTheNextBlock) {
    CodeWriter w;
    w.Put(4, 3);
    w.Put(1, 3);
    w.Put(5, 3);  // end after one pixel of four
    auto bytes = w.Finish(2);
    size_t end = bytes.size();
    bytes.insert(bytes.end(), {0x2C, 1, 2, 3});
    auto d = Decode(bytes, 2, 2, false, 6);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 6, 6, 6}));
    EXPECT_EQ(d.position, int64_t(end));
}

TEST(GifDecoderEdges, CodeBeyondTheTableEndsTheFrameWithOneWarning) {
    // After clear and pixel 0 the next free code is 6: code 7 is damage.
    CodeWriter w;
    w.Put(4, 3);
    w.Put(0, 3);
    w.Put(7, 3);
    w.Put(0, 3);
    w.Put(5, 4);
    auto bytes = w.Finish(2, true, 1);
    auto d = Decode(bytes, 4, 1, false, 3);
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{0, 3, 3, 3}));
    EXPECT_EQ(d.warnings, (std::vector<std::string>{"Invalid GIF data"}));
    ExpectAtEnd(d, bytes);
}

TEST(GifDecoderEdges, MinimumCodeSizeAboveElevenIsRefused) {
    auto d = Decode({12, 1, 0, 0}, 2, 2);
    EXPECT_NE(d.error.find("minimum code size 12"), std::string::npos) << d.error;
    d = Decode({11, 2, 0, 8, 0}, 1, 1);
    EXPECT_EQ(d.error, "");
}

// ---- damaged data ---------------------------------------------------------------------

// Bytes flipped in the codes (the sub-block sizes left intact) and pure
// noise: the decoder stays inside the frame, ends at the terminator and
// warns once at most.
TEST(GifDecoderDamage, StaysInsideTheFrameAndEndsAtTheTerminator) {
    std::mt19937 rng(4);
    for (int round = 0; round < 2000; ++round) {
        int bpp = 1 + int(rng() % 8);
        int w = 1 + int(rng() % 40), h = 1 + int(rng() % 30);
        bool interlaced = rng() % 3 == 0;
        std::vector<uint8_t> bytes;
        if (round % 4 == 0) {
            bytes = {uint8_t(2 + rng() % 10)};
            for (int i = 0; i < 50; ++i) {
                int n = 1 + int(rng() % 255);
                bytes.push_back(uint8_t(n));
                for (int j = 0; j < n; ++j) bytes.push_back(uint8_t(rng()));
            }
            bytes.push_back(0);
        } else {
            auto px = RandomPixels(rng, size_t(w) * h, 1 << bpp, int(rng() % 5));
            auto data = Encode(px, w, h, bpp, 1 << bpp, interlaced, round % 4 == 3);
            // Re-cut into random sub-blocks, then damage the codes only.
            size_t at = 1;
            auto codes = giftest::ReadBlocks(data, at);
            for (int i = 0; i < 1 + int(rng() % 4); ++i) codes[rng() % codes.size()] ^= uint8_t(1 << (rng() % 8));
            auto blocks = giftest::CutIntoBlocks(codes, {{}, uint32_t(rng())});
            bytes = {data[0]};
            bytes.insert(bytes.end(), blocks.begin(), blocks.end());
        }
        auto d = Decode(bytes, w, h, interlaced, 1);
        ASSERT_EQ(d.error, "") << round;
        EXPECT_LE(d.warnings.size(), 1u) << round;
        ASSERT_EQ(d.position, int64_t(bytes.size())) << round;
    }
}

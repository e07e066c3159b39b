#include "platform/Clipboard.h"
#include "platform/Graphics.h"
#include "xpGif10/GifEncoder.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifUnit.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace xpGif10;

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& b, std::initializer_list<int> v) {
    for (int x : v) b.push_back(uint8_t(x));
}
void Append(Bytes& b, const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }
void Word(Bytes& b, int v) { Append(b, {v & 0xFF, v >> 8}); }

// A logical screen with a global table of 2^bits grey entries (none for 0).
Bytes Header(int w, int h, int bits, const char* sig = "GIF89a") {
    Bytes b(sig, sig + 6);
    Word(b, w);
    Word(b, h);
    Append(b, {bits ? 0x80 | ((bits - 1) << 4) | (bits - 1) : 0, 0, 0});
    for (int i = 0; i < (bits ? 1 << bits : 0); ++i) Append(b, {i, i, i});
    return b;
}

Bytes ImageData(const Bytes& px, int w, int h, int bpp, bool interlaced = false) {
    TMemoryStream s;
    TLZWEncoder e;
    e.Encode(s, bpp, 1 << bpp, px.data(), interlaced, h, w);
    return s.Bytes();
}

Bytes Frame(int left, int top, int w, int h, const Bytes& px, int bpp, int localBits = 0, bool interlaced = false) {
    Bytes b{0x2C};
    Word(b, left);
    Word(b, top);
    Word(b, w);
    Word(b, h);
    Append(b, {(localBits ? 0x80 | (localBits - 1) : 0) | (interlaced ? 0x40 : 0)});
    for (int i = 0; i < (localBits ? 1 << localBits : 0); ++i) Append(b, {255 - i, i, 0});
    Append(b, ImageData(px, w, h, bpp, interlaced));
    return b;
}

Bytes Gce(int packed, int delay, int index) {
    Bytes b;
    Append(b, {0x21, 0xF9, 4, packed});
    Word(b, delay);
    Append(b, {index, 0});
    return b;
}

Bytes Comment(const std::string& text) {
    Bytes b;
    Append(b, {0x21, 0xFE, int(text.size())});
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
    return b;
}

struct Loaded {
    std::unique_ptr<TGIFImage> image = std::make_unique<TGIFImage>();
    std::vector<std::string> warnings;
    std::string error;
    int64_t position = -1;
};

Loaded Load(const Bytes& bytes, int64_t start = 0) {
    Loaded r;
    r.image->OnWarning = [&r](TGIFImage*, TPersistent*, int severity, const std::string& m) {
        EXPECT_EQ(severity, 1);
        r.warnings.push_back(m);
    };
    TMemoryStream s(bytes);
    s.SetPosition(start);
    try {
        r.image->LoadFromStream(s);
    } catch (const Exception& e) {
        r.error = e.what();
    }
    r.position = s.Position();
    return r;
}

Bytes Save(TGIFImage& image) {
    TMemoryStream s;
    image.SaveToStream(s);
    return s.Bytes();
}

std::string Text(const Bytes& b, size_t at, size_t n) { return std::string(b.begin() + long(at), b.begin() + long(at + n)); }

const Bytes Px4 = {0, 1, 2, 3};

} // namespace

// ---- signature and trailer -----------------------------------------------------------

TEST(GifReading, SignatureMayFollowFourBytesAndAnyCaseOrVersion) {
    Bytes plain = Header(2, 2, 2);
    Append(plain, Frame(0, 0, 2, 2, Px4, 2));
    plain.push_back(';');
    Bytes prefixed = {1, 2, 3, 4};
    Append(prefixed, plain);
    EXPECT_EQ(Load(prefixed).error, "");
    EXPECT_EQ(Load(prefixed).image->Images().Count(), 1);

    Bytes lower = plain;
    std::copy_n("gif90z", 6, lower.begin());
    auto l = Load(lower);
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(l.image->Images()[0]->Pixel(1, 1), 3);

    Bytes five = {1, 2, 3, 4, 5};
    Append(five, plain);
    auto bad = Load(five);
    EXPECT_EQ(bad.error, "Invalid GIF signature");
    EXPECT_EQ(bad.position, 0);

    EXPECT_EQ(Load(Bytes{'G', 'I', 'F'}).error, "Premature end of data");
}

TEST(GifReading, TrailerMayBeMissingButAStrayByteWarns) {
    Bytes b = Header(2, 2, 2);
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    auto ended = Load(b);
    EXPECT_EQ(ended.error, "");
    EXPECT_TRUE(ended.warnings.empty());
    b.push_back('X');
    auto stray = Load(b);
    EXPECT_EQ(stray.error, "");
    EXPECT_EQ(stray.image->Images().Count(), 1);
    EXPECT_EQ(stray.warnings, (std::vector<std::string>{"Unknown GIF block type", "Invalid Image trailer"}));
}

TEST(GifReading, FailedLoadPutsTheStreamBackAndKeepsWhatWasRead) {
    Bytes b = {9, 9};
    Append(b, Header(2, 2, 2));
    // Skip the prefix rule: start at 2, so the signature is right there.
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    Append(b, {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 12});  // a code size no decoder has
    auto r = Load(b, 2);
    EXPECT_EQ(r.error, "Invalid LZW minimum code size 12 (at most 11)");
    EXPECT_EQ(r.position, 2);
    EXPECT_EQ(r.image->Images().Count(), 1);
    EXPECT_EQ(r.image->Width(), 2);
}

TEST(GifReading, ProgressTellsLoadingFromStartToEnd) {
    Bytes b = Header(2, 2, 2);
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    b.push_back(';');
    TGIFImage image;
    std::vector<std::pair<TProgressStage, int>> seen;
    image.OnProgress = [&](TGraphic*, TProgressStage stage, int percent, bool, const TRect&, const std::string& m) {
        EXPECT_EQ(m, "Loading...");
        seen.push_back({stage, percent});
    };
    TMemoryStream s(b);
    image.LoadFromStream(s);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].first, TProgressStage::psStarting);
    EXPECT_EQ(seen[1].first, TProgressStage::psRunning);
    EXPECT_EQ(seen[2].second, int((b.size() - 1) * 100 / b.size()));
    EXPECT_EQ(seen[3], std::make_pair(TProgressStage::psEnding, 100));

    seen.clear();
    TMemoryStream bad(Bytes{'x', 'y', 'z', 'w', 'v', 'u', 't', 's', 'r', 'q'});
    EXPECT_THROW(image.LoadFromStream(bad), GIFException);
    EXPECT_EQ(seen.back(), std::make_pair(TProgressStage::psEnding, 0));
}

// ---- frames ---------------------------------------------------------------------------

TEST(GifReading, FrameOfZeroWidthBecomesOneTransparentPixelKeepingItsTiming) {
    Bytes b = Header(3, 2, 2);
    Bytes px(6, 1);
    Bytes f = Frame(0, 0, 3, 2, px, 2);
    f[5] = 0;  // width 0 in the descriptor
    f[6] = 0;
    Append(b, f);
    b.push_back(';');
    auto r = Load(b);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.warnings,
              (std::vector<std::string>{"Image of 0 x 2 pixels: kept as one transparent pixel, which draws nothing"}));
    TGIFSubImage* frame = r.image->Images()[0];
    EXPECT_EQ(frame->Width(), 1);
    EXPECT_EQ(frame->Height(), 1);
    ASSERT_TRUE(frame->Transparent());
    EXPECT_EQ(frame->Pixel(0, 0), frame->TransparentColorIndex());
    EXPECT_NE(frame->GraphicControlExtension()->Disposal(), 2);
}

TEST(GifReading, TransparentFrameEndingEarlyKeepsTheTransparentIndex) {
    Bytes b = Header(4, 2, 3);
    Append(b, Gce(0x01, 0, 5));
    Bytes f = Frame(0, 0, 4, 2, Bytes(8, 1), 3);
    // Replace the image data with two pixels and an end code.
    f.resize(10);
    Append(f, {3, 2});
    Bytes data;
    {
        // clear 8, 2, 2, end 9 at 4 bits
        uint32_t bits = 8 | 2 << 4 | 2 << 8 | 9 << 12;
        data = {uint8_t(bits), uint8_t(bits >> 8)};
    }
    Append(f, data);
    f.push_back(0);
    Append(b, f);
    b.push_back(';');
    auto r = Load(b);
    EXPECT_EQ(r.error, "");
    TGIFSubImage* frame = r.image->Images()[0];
    EXPECT_TRUE(frame->Transparent());
    EXPECT_EQ(Bytes(frame->Data(), frame->Data() + 8), (Bytes{2, 2, 5, 5, 5, 5, 5, 5}));
}

TEST(GifReading, CommentAfterTheLastImageStaysInPlace) {
    Bytes b = Header(2, 2, 2, "GIF89a");
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    Append(b, Comment("the end"));
    b.push_back(';');
    auto r = Load(b);
    ASSERT_EQ(r.image->Images().Count(), 2);
    EXPECT_TRUE(r.image->Images()[1]->Empty());
    Bytes saved = Save(*r.image);
    EXPECT_EQ(saved, b);
}

TEST(GifReading, UnknownBlockStopsFrameReadingWithAWarning) {
    Bytes b = Header(2, 2, 2);
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    Append(b, {'Z', 1, 2});
    auto r = Load(b);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.warnings.front(), "Unknown GIF block type");
}

TEST(GifReading, ExtensionsOfEveryKind) {
    Bytes b = Header(2, 2, 2);
    // Plain text: 13 bytes and one line.
    Append(b, {0x21, 0x01, 12, 1, 0, 2, 0, 3, 0, 4, 0, 5, 6, 7, 8, 2, 'h', 'i', 0});
    Append(b, {0x21, 0xFF, 11});
    for (char c : std::string("NETSCAPE2.0")) b.push_back(uint8_t(c));
    Append(b, {3, 1, 5, 0, 5, 2, 0x10, 0, 0, 0, 0});
    Append(b, {0x21, 0xFF, 11});
    for (char c : std::string("XMP DataXMP")) b.push_back(uint8_t(c));
    Append(b, {2, 0xAA, 0xBB, 1, 0, 0});  // a zero byte inside a block stays
    Append(b, Gce(0x09, 7, 1));
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    b.push_back(';');
    auto r = Load(b);
    ASSERT_EQ(r.error, "");
    auto& ext = r.image->Images()[0]->Extensions();
    ASSERT_EQ(ext.Count(), 4);
    auto* text = dynamic_cast<TGIFTextExtension*>(ext[0]);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->Top, 2);
    EXPECT_EQ(text->BackgroundColorIndex, 8);
    EXPECT_EQ(text->Text.Lines, (std::vector<std::string>{"hi"}));
    auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(ext[1]);
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->Loops, 5);
    EXPECT_EQ(loop->BufferSize, 16u);
    auto* raw = dynamic_cast<TGIFUnknownAppExtension*>(ext[2]);
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->Blocks.size(), 2u);
    auto* gce = r.image->Images()[0]->GraphicControlExtension();
    ASSERT_TRUE(gce);
    EXPECT_EQ(gce->Disposal(), 2);
    EXPECT_EQ(gce->Delay(), 7);
    EXPECT_TRUE(r.image->Images()[0]->Transparent());
    // Everything comes back byte for byte.
    EXPECT_EQ(Save(*r.image), b);
}

TEST(GifReading, AnimationExtensionKeepsItsOwnIdentifier) {
    Bytes b = Header(2, 2, 2);
    Append(b, {0x21, 0xFF, 11});
    for (char c : std::string("ANIMEXTS1.0")) b.push_back(uint8_t(c));
    Append(b, {3, 1, 0, 0, 0});
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    b.push_back(';');
    auto r = Load(b);
    ASSERT_TRUE(dynamic_cast<TGIFAppExtNSLoop*>(r.image->Images()[0]->Extensions()[0]));
    EXPECT_EQ(Save(*r.image), b);
}

TEST(GifReading, ApplicationBlockSizeTenIsWrittenAsEleven) {
    Bytes b = Header(2, 2, 2);
    Append(b, {0x21, 0xFF, 10});
    for (char c : std::string("ABCDEFGHIJ")) b.push_back(uint8_t(c));
    Append(b, {1, 0x42, 0});
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    b.push_back(';');
    auto r = Load(b);
    ASSERT_EQ(r.error, "");
    Bytes saved = Save(*r.image);
    size_t at = Header(2, 2, 2).size();
    EXPECT_EQ(saved[at + 2], 11);
    EXPECT_EQ(Text(saved, at + 3, 10), "ABCDEFGHIJ");
    EXPECT_EQ(saved[at + 13], 0);
    EXPECT_EQ(saved[at + 14], 1);
    EXPECT_EQ(saved[at + 15], 0x42);
}

TEST(GifReading, BadLoopExtensionsAreErrorsOtherApplicationSizesAreRead) {
    Bytes b = Header(2, 2, 2);
    Append(b, {0x21, 0xFF, 11});
    for (char c : std::string("NETSCAPE2.0")) b.push_back(uint8_t(c));
    Append(b, {2, 1, 5, 0});  // loop sub-block too short
    EXPECT_EQ(Load(b).error, "Invalid GIF data");

    Bytes small = Header(2, 2, 2);
    Append(small, {0x21, 0xFF, 12});
    for (int i = 0; i < 12; ++i) small.push_back('a');
    Append(small, {0});
    auto odd = Load(small);
    EXPECT_EQ(odd.error, "");
    EXPECT_EQ(odd.warnings, (std::vector<std::string>{"The application extension's block size is 12 (11 defined): "
                                                      "read by its size, written as defined"}));

    Bytes cut = Header(2, 2, 2);
    Append(cut, {0x21, 0x01, 12, 1, 2});
    EXPECT_EQ(Load(cut).error, "Premature end of data");
}

// ---- writing -------------------------------------------------------------------------

TEST(GifWriting, VersionFollowsTheContent) {
    Bytes b = Header(2, 2, 2, "GIF89a");
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    b.push_back(';');
    auto r = Load(b);
    EXPECT_EQ(Text(Save(*r.image), 0, 6), "GIF87a");
    auto gce = std::make_unique<TGIFGraphicControlExtension>(r.image->Images()[0]);
    r.image->Images()[0]->Extensions().Add(std::move(gce));
    EXPECT_EQ(Text(Save(*r.image), 0, 6), "GIF89a");
    TGIFImage empty;
    try {
        Save(empty);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "The image has no frames to save");
    }
}

TEST(GifWriting, SmallGlobalTableBesideAFullLocalTable) {
    Bytes b = Header(2, 2, 4);
    Append(b, Frame(0, 0, 2, 2, Px4, 8, 8));
    b.push_back(';');
    auto r = Load(b);
    ASSERT_EQ(r.image->Images()[0]->ColorMap().Count(), 256);
    Bytes saved = Save(*r.image);
    EXPECT_EQ(saved[10] & 0x87, 0x83);          // global table of 16 entries
    EXPECT_EQ((saved[10] >> 4) & 7, 7);          // resolution from the local table
    EXPECT_EQ(saved[13 + 16 * 3], 0x2C);         // exactly 16 triplets follow
    EXPECT_EQ(saved[13 + 48 + 9] & 0x87, 0x87);  // local table of 256
    auto again = Load(saved);
    EXPECT_EQ(again.image->Images()[0]->Pixel(1, 1), 3);
}

TEST(GifWriting, InterlaceKeptOnlyWithoutALocalTable) {
    Bytes px(12);
    for (int i = 0; i < 12; ++i) px[size_t(i)] = uint8_t(i % 4);
    Bytes b = Header(3, 4, 2);
    Append(b, Frame(0, 0, 3, 4, px, 2, 0, true));
    Append(b, Frame(0, 0, 3, 4, px, 2, 2, true));
    b.push_back(';');
    auto r = Load(b);
    ASSERT_EQ(r.error, "");
    Bytes saved = Save(*r.image);
    auto again = Load(saved);
    EXPECT_TRUE(again.image->Images()[0]->Interlaced());
    EXPECT_FALSE(again.image->Images()[1]->Interlaced());
    for (int f = 0; f < 2; ++f)
        EXPECT_EQ(Bytes(again.image->Images()[f]->Data(), again.image->Images()[f]->Data() + 12), px);
}

TEST(GifWriting, PackedBytesKeepEachFieldInItsBits) {
    // Reserved bits of the graphic control block and of an image descriptor
    // without a local table are written back as read, and do not leak into
    // the disposal, user input or transparency read from them.
    Bytes b = Header(2, 2, 2);
    Append(b, Gce(0xE0 | 0x08 | 0x02, 0, 0));
    Bytes first = Frame(0, 0, 2, 2, Px4, 2);
    first[9] |= 0x18;
    Append(b, first);
    Append(b, Frame(0, 0, 2, 2, Px4, 2, 2));
    b.push_back(';');
    auto r = Load(b);
    ASSERT_EQ(r.error, "");
    TGIFGraphicControlExtension* gce = r.image->Images()[0]->GraphicControlExtension();
    ASSERT_TRUE(gce);
    EXPECT_EQ(gce->Disposal(), dmBackground);
    EXPECT_TRUE(gce->UserInput());
    EXPECT_FALSE(gce->Transparent());
    EXPECT_FALSE(r.image->Images()[0]->Interlaced());
    // Screen 13 bytes and 4 triplets, the control block's 8, the first
    // descriptor's 10 and its data, then the second descriptor.
    const size_t firstAt = 13 + 12 + 8, secondAt = firstAt + 10 + ImageData(Px4, 2, 2, 2).size();
    Bytes saved = Save(*r.image);
    ASSERT_EQ(saved[firstAt], 0x2C);
    ASSERT_EQ(saved[secondAt], 0x2C);
    EXPECT_EQ(saved[10], 0x91);
    EXPECT_EQ(saved[firstAt - 5], 0xEA);
    EXPECT_EQ(saved[firstAt + 9], 0x18);
    EXPECT_EQ(saved[secondAt + 9], 0x81);
    // Sorted maps say so, each in its own descriptor's sort bit.
    r.image->Optimize(ooColorMap, 0);
    saved = Save(*r.image);
    ASSERT_EQ(saved[secondAt], 0x2C);
    EXPECT_EQ(saved[10], 0x99);
    EXPECT_EQ(saved[firstAt + 9], 0x18);
    EXPECT_EQ(saved[secondAt + 9], 0xA1);
}

TEST(GifWriting, CommentLinesAreCutAt255AndEmptyLinesVanish) {
    Bytes b = Header(2, 2, 2);
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    b.push_back(';');
    auto r = Load(b);
    auto c = std::make_unique<TGIFCommentExtension>(r.image->Images()[0]);
    c->Text.Lines = {std::string(300, 'x'), "", "y"};
    r.image->Images()[0]->Extensions().Add(std::move(c));
    auto again = Load(Save(*r.image));
    auto* back = dynamic_cast<TGIFCommentExtension*>(again.image->Images()[0]->Extensions()[0]);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Text.Lines, (std::vector<std::string>{std::string(255, 'x'), std::string(45, 'x'), "y"}));
}

TEST(GifWriting, RunLengthCompressionWhenAsked) {
    Bytes px(40 * 30, 2);
    Bytes b = Header(40, 30, 2);
    Append(b, Frame(0, 0, 40, 30, px, 2));
    b.push_back(';');
    auto r = Load(b);
    r.image->Compression = 1;
    auto again = Load(Save(*r.image));
    EXPECT_EQ(Bytes(again.image->Images()[0]->Data(), again.image->Images()[0]->Data() + px.size()), px);
}

TEST(GifWriting, ProgressTellsSavingPerFrame) {
    Bytes b = Header(2, 2, 2);
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    Append(b, Frame(0, 0, 2, 2, Px4, 2));
    auto r = Load(b);
    std::vector<int> percents;
    r.image->OnProgress = [&](TGraphic*, TProgressStage, int p, bool, const TRect&, const std::string& m) {
        EXPECT_EQ(m, "Saving...");
        percents.push_back(p);
    };
    Save(*r.image);
    EXPECT_EQ(percents, (std::vector<int>{0, 50, 100, 100}));
}

// ---- colour maps, frames, graphic control -----------------------------------------------

TEST(GifColorMapOps, LimitsAndLookups) {
    TGIFImage image;
    std::vector<std::string> warnings;
    image.OnWarning = [&](TGIFImage*, TPersistent*, int, const std::string& m) { warnings.push_back(m); };
    TGIFColorMap& map = image.GlobalColorMap();
    EXPECT_THROW(map.GetColor(0), GIFException);
    map.Add(RGB(1, 2, 3));
    EXPECT_EQ(map.Capacity(), 16);
    for (int i = 1; i < 256; ++i) map.Add(RGB(uint8_t(i), 0, 0));
    EXPECT_EQ(map.Capacity(), 256);
    try {
        map.Add(0);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Color table overflow");
    }
    warnings.clear();
    EXPECT_EQ(map.GetColor(300), RGB(1, 2, 3));
    EXPECT_EQ(warnings, (std::vector<std::string>{"Invalid color index"}));
    EXPECT_THROW(map.Delete(256), GIFException);
    map.Delete(0);
    EXPECT_EQ(map.Count(), 255);
    EXPECT_EQ(map.BitsPerPixel(), 8);
    map.Clear();
    EXPECT_EQ(map.BitsPerPixel(), 0);
    // Duplicates: the last one unless the map is optimized.
    map.Add(RGB(9, 9, 9));
    map.Add(RGB(9, 9, 9));
    EXPECT_EQ(map.IndexOf(RGB(9, 9, 9)), 1);
    map.SetOptimized(true);
    EXPECT_EQ(map.IndexOf(RGB(9, 9, 9)), 0);
    EXPECT_EQ(map.AddUnique(RGB(9, 9, 9)), 0);
    EXPECT_EQ(map.Count(), 2);
    map.Grow(33);
    EXPECT_EQ(map.Capacity(), 64);
    auto pal = map.ExportPalette();
    ASSERT_EQ(PaletteSize(pal), 2);
    EXPECT_EQ(pal->palVersion, 0x300);
    EXPECT_EQ(pal->palPalEntry[0].peFlags, PC_NOCOLLAPSE);
}

TEST(GifFrameOps, BoundsRemakeTheBufferAndGrowTheImage) {
    TGIFImage image;
    std::vector<std::string> warnings;
    image.OnWarning = [&](TGIFImage*, TPersistent*, int, const std::string& m) { warnings.push_back(m); };
    auto frame = std::make_unique<TGIFSubImage>(&image);
    TGIFSubImage* f = frame.get();
    image.Add(std::move(frame));
    f->SetBounds(0, 0, 4, 3);
    EXPECT_EQ(image.Width(), 4);
    EXPECT_TRUE(warnings.empty());
    f->SetPixel(3, 2, 7);
    f->SetWidth(5);
    EXPECT_EQ(f->Pixel(3, 2), 0);  // a new, zero-filled buffer
    EXPECT_EQ(warnings, (std::vector<std::string>{"Image width too small for contained frames",
                                                  "Image exceeds Logical Screen size"}));
    EXPECT_EQ(image.Width(), 5);
    try {
        f->Scanline(3);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid pixel coordinates");
    }
    EXPECT_THROW(f->Pixel(5, 0), GIFException);
    try {
        image.SetWidth(4);
        FAIL();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "Image width too small for contained frames");
    }
    EXPECT_EQ(image.Width(), 5);
}

TEST(GifFrameOps, GraphicControlTransparencyFollowsTheFrame) {
    TGIFImage image;
    std::vector<std::string> warnings;
    image.OnWarning = [&](TGIFImage*, TPersistent*, int, const std::string& m) { warnings.push_back(m); };
    auto frame = std::make_unique<TGIFSubImage>(&image);
    TGIFSubImage* f = frame.get();
    image.Add(std::move(frame));
    f->ColorMap().Add(RGB(0, 0, 0));
    f->ColorMap().Add(RGB(255, 255, 255));
    auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
    TGIFGraphicControlExtension* g = gce.get();
    f->Extensions().Add(std::move(gce));
    EXPECT_EQ(f->GraphicControlExtension(), g);
    g->SetTransparent(true);
    EXPECT_TRUE(f->Transparent());
    g->SetTransparentColorIndex(1);
    EXPECT_EQ(g->TransparentColorIndex(), 1);
    g->SetTransparentColorIndex(2);
    EXPECT_EQ(g->TransparentColorIndex(), 0);
    EXPECT_EQ(warnings, (std::vector<std::string>{"Invalid color index"}));
    g->SetDisposal(3);
    g->SetUserInput(true);
    EXPECT_EQ(g->Disposal(), 3);
    EXPECT_EQ(g->Packed(), 0x0F);
    f->Extensions().Delete(0);
    EXPECT_FALSE(f->Transparent());
    EXPECT_EQ(f->GraphicControlExtension(), nullptr);
}

// ---- limits ---------------------------------------------------------------------------

TEST(GifLimits, HugeFramesAreRefusedWithTheirSize) {
    Bytes b = Header(2, 2, 2);
    Bytes f = Frame(0, 0, 2, 2, Px4, 2);
    f[5] = 0xFF, f[6] = 0xFF, f[7] = 0xFF, f[8] = 0xFF;  // 65535 x 65535
    Append(b, f);
    auto r = Load(b);
    EXPECT_NE(r.error.find("65535 x 65535"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("268435456"), std::string::npos) << r.error;

    int64_t saved = GIFMaxImagePixels;
    GIFMaxImagePixels = 6;
    Bytes two = Header(2, 2, 2);
    Append(two, Frame(0, 0, 2, 2, Px4, 2));
    Append(two, Frame(0, 0, 2, 2, Px4, 2));
    auto t = Load(two);
    GIFMaxImagePixels = saved;
    EXPECT_NE(t.error.find("in all frames"), std::string::npos) << t.error;
    EXPECT_EQ(t.image->Images().Count(), 1);
}

// ---- the unit and the registry ------------------------------------------------------------

TEST(GifUnitStart, RegistersTheFormatAndTheClipboardFormat) {
    auto clipboard = std::make_shared<MemoryClipboard>();
    auto oldClipboard = SetClipboardService(clipboard);
    {
        GifUnit unit;
        const TGraphicClass* cls = TPicture::FindFileFormat("GIF");
        ASSERT_TRUE(cls);
        EXPECT_EQ(cls->name, "TGIFImage");
        bool described = false;
        for (const auto& f : TPicture::FileFormats())
            if (f.extension == "gif") described = f.description == "GIF Image";
        EXPECT_TRUE(described);
        EXPECT_NE(CF_GIF, 0u);
        EXPECT_EQ(CF_GIF, clipboard->RegisterFormat("GIF Image"));
        EXPECT_TRUE(TPicture::SupportsClipboardFormat(CF_GIF));

        // A picture loads GIF data from the clipboard format.
        Bytes b = Header(2, 2, 2);
        Append(b, Frame(0, 0, 2, 2, Px4, 2));
        TPicture picture;
        picture.LoadFromClipboardFormat(CF_GIF, b, nullptr);
        EXPECT_EQ(picture.Width(), 2);
        EXPECT_EQ(picture.Graphic()->ClassName(), "TGIFImage");
        {
            GifUnit nested;
        }
        EXPECT_TRUE(TPicture::FindFileFormat("gif"));
    }
    EXPECT_FALSE(TPicture::FindFileFormat("gif"));
    SetClipboardService(oldClipboard);
}

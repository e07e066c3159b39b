// Editing a GIF picture: clipboard, copying, size and palette, adding
// frames, and the optimize operation.
#include "GifAnimTestUtil.h"
#include "platform/Clipboard.h"
#include "xpGif10/Ditherers.h"
#include "xpGif10/GifReduce.h"
#include "xpGif10/GifUnit.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace xpGif10;
using namespace giftest;

namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

class RefusingClipboard : public MemoryClipboard {
public:
    void SetData(unsigned format, const std::vector<uint8_t>& bytes) override {
        if (format >= 0xC000) throw Exception("clipboard refuses");
        MemoryClipboard::SetData(format, bytes);
    }
};

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMainThread();
        previous_ = SetClipboardService(clipboard_);
        unit_ = std::make_unique<GifUnit>();
    }
    void TearDown() override {
        unit_.reset();
        SetClipboardService(previous_);
    }
    std::shared_ptr<MemoryClipboard> clipboard_ = std::make_shared<MemoryClipboard>();
    std::shared_ptr<IClipboardService> previous_;
    std::unique_ptr<GifUnit> unit_;
};

std::vector<uint8_t> Pixels(TGIFSubImage* f) { return std::vector<uint8_t>(f->Data(), f->Data() + f->DataSize()); }

} // namespace

TEST_F(ClipboardTest, GifAndBitmapRoundTripsAndOtherFormatsAreRefused) {
    auto image = Animation(3, 2, {{{0, 0, 3, 2}, 1, 5}, {{1, 0, 2, 1}, 2, 5}}, 2);
    unsigned format = 0;
    std::vector<uint8_t> data;
    HPALETTE palette;
    image->SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, CF_BITMAP);
    clipboard_->SetData(format, data);
    ASSERT_TRUE(clipboard_->HasFormat(CF_GIF));

    TGIFImage pasted;
    pasted.LoadFromClipboardFormat(CF_GIF, {}, nullptr);
    ASSERT_EQ(pasted.Images().Count(), 2);
    EXPECT_EQ(pasted.Width(), 3);
    EXPECT_EQ(Pixels(pasted.Images()[1]), Pixels(image->Images()[1]));
    EXPECT_EQ(pasted.Images()[1]->BoundsRect(), (TRect{1, 0, 2, 1}));

    TGIFImage fromBitmap;
    fromBitmap.LoadFromClipboardFormat(CF_BITMAP, {}, nullptr);
    ASSERT_EQ(fromBitmap.Images().Count(), 1);
    TGIFSubImage* f = fromBitmap.Images()[0];
    EXPECT_EQ(f->Width(), 3);
    EXPECT_EQ(f->ActiveColorMap().GetColor(f->Pixel(2, 1)), Colours[1]);

    EXPECT_EQ(ErrorOf([&] { fromBitmap.LoadFromClipboardFormat(0xC0FF, {1, 2, 3}, nullptr); }),
              "Unsupported clipboard format");
    clipboard_->Clear();
    EXPECT_EQ(ErrorOf([&] { fromBitmap.LoadFromClipboardFormat(CF_GIF, {}, nullptr); }),
              "Unsupported clipboard format");
    EXPECT_EQ(fromBitmap.Images().Count(), 1);

    // An empty image puts nothing on the clipboard.
    TGIFImage empty;
    unsigned untouched = 77;
    empty.SaveToClipboardFormat(untouched, data, palette);
    EXPECT_EQ(untouched, 77u);
    EXPECT_FALSE(clipboard_->HasFormat(CF_GIF));
}

TEST_F(ClipboardTest, RefusedGifDataIsAnError) {
    SetClipboardService(std::make_shared<RefusingClipboard>());
    auto image = Animation(1, 1, {{{0, 0, 1, 1}, 1}});
    unsigned format;
    std::vector<uint8_t> data;
    HPALETTE palette;
    EXPECT_EQ(ErrorOf([&] { image->SaveToClipboardFormat(format, data, palette); }),
              "Failed to store GIF on clipboard");
}

TEST(GifEditing, SizeSettersCheckTheFrames) {
    auto image = Animation(6, 5, {{{2, 1, 4, 3}, 1}});
    EXPECT_EQ(ErrorOf([&] { image->SetWidth(3); }), "Image width too small for contained frames");
    EXPECT_EQ(image->Width(), 6);
    EXPECT_EQ(ErrorOf([&] { image->SetHeight(2); }), "Image height too small for contained frames");
    EXPECT_EQ(image->Height(), 5);
    auto composite = image->Bitmap();
    image->SetWidth(4);
    EXPECT_EQ(image->Width(), 4);
    EXPECT_NE(image->Bitmap(), composite);
    EXPECT_EQ(image->Bitmap()->Width(), 4);
}

TEST(GifEditing, CopyTakesFramesAndDrawingSettingsButNotTheEncodingOnes) {
    auto src = Animation(4, 3, {{{0, 0, 4, 3}, 1, 7}, {{1, 1, 3, 2}, 2, 9, 2, 0}}, 4);
    src->DrawOptions = 0x0123;
    src->ColorReduction = rmGrayScale;
    src->DitherMode = ditherBurkes;
    src->ReductionBits = 3;
    src->Compression = 1;
    src->AnimationSpeed = 50;
    src->ThreadPriority = 5;
    src->DrawBackgroundColor = RGB(1, 2, 3);
    src->Header().SetBackgroundColorIndex(4);
    std::vector<std::string> progress;
    src->OnProgress = [&](TGraphic*, TProgressStage, int, bool, const TRect&, const std::string& m) {
        progress.push_back(m);
    };
    src->OnWarning = [](TGIFImage*, TPersistent*, int, const std::string&) {};

    TGIFImage copy;
    copy.ReductionBits = 6;
    copy.Compression = 0;
    copy.AnimationSpeed = 100;
    copy.Assign(src.get());
    ASSERT_EQ(copy.Images().Count(), 2);
    EXPECT_EQ(copy.Width(), 4);
    EXPECT_EQ(copy.Height(), 3);
    EXPECT_EQ(copy.GlobalColorMap().Count(), src->GlobalColorMap().Count());
    EXPECT_EQ(copy.Header().BackgroundColorIndex(), 4);
    EXPECT_EQ(copy.Images()[1]->BoundsRect(), src->Images()[1]->BoundsRect());
    EXPECT_EQ(Pixels(copy.Images()[1]), Pixels(src->Images()[1]));
    EXPECT_EQ(copy.Images()[1]->GraphicControlExtension()->Delay(), 9);
    EXPECT_TRUE(copy.Images()[1]->Transparent());
    EXPECT_EQ(copy.DrawOptions, 0x0123);
    EXPECT_EQ(copy.ColorReduction, rmGrayScale);
    EXPECT_EQ(copy.DitherMode, ditherBurkes);
    EXPECT_EQ(copy.ThreadPriority, 5);
    EXPECT_EQ(copy.DrawBackgroundColor, RGB(1, 2, 3));
    EXPECT_EQ(copy.ReductionBits, 6);
    EXPECT_EQ(copy.Compression, 0);
    EXPECT_EQ(copy.AnimationSpeed, 100);
    EXPECT_FALSE(copy.OnProgress);
    EXPECT_FALSE(copy.OnWarning);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), "Copying...");
    // The copy is a copy: changing it leaves the source alone.
    copy.Images()[1]->SetPixel(0, 0, 5);
    EXPECT_EQ(src->Images()[1]->Pixel(0, 0), 2);
}

TEST(GifEditing, AssignFromAndToOtherPictures) {
    auto image = Animation(3, 2, {{{0, 0, 3, 2}, 3}});
    TBitmap b;
    b.Assign(image.get());
    ASSERT_EQ(b.Width(), 3);
    EXPECT_EQ(b.GetPixel(2, 1), Colours[3]);

    TGIFImage other;
    other.Assign(&b);
    ASSERT_EQ(other.Images().Count(), 1);
    EXPECT_EQ(other.Images()[0]->ActiveColorMap().GetColor(other.Images()[0]->Pixel(0, 0)), Colours[3]);
    EXPECT_NE(ErrorOf([&] { other.Assign(&image->GlobalColorMap()); }).find("Cannot assign a TGIFGlobalColorMap"),
              std::string::npos);
    EXPECT_TRUE(other.Empty());
    other.Assign(nullptr);
    EXPECT_TRUE(other.Empty());

    // A picture holding a GIF hands over its graphic.
    GifUnit unit;
    TPicture picture;
    picture.SetGraphic(image.get());
    TGIFImage viaPicture;
    viaPicture.Assign(&picture);
    EXPECT_EQ(viaPicture.Images().Count(), 1);

    EXPECT_EQ(ErrorOf([&] { image->Add(&image->GlobalColorMap()); }), "Object type not supported for operation");
    EXPECT_EQ(image->Add(&b), 1);
    EXPECT_EQ(image->Images().Count(), 2);
}

TEST(GifEditing, PaletteGetAndSet) {
    auto image = Animation(2, 1, {{{0, 0, 2, 1}, 1}});
    image->DrawOptions = goAnimate;   // no web palette
    HPALETTE p = image->Palette();
    ASSERT_EQ(PaletteSize(p), 8);
    EXPECT_EQ(PaletteColor(p, 2), Colours[2]);
    image->DrawOptions = goDither;
    image->SetPalette(nullptr);
    EXPECT_EQ(PaletteSize(image->Palette()), 216);

    HPALETTE grey = GrayScalePalette();
    auto composite = image->Bitmap();
    image->SetPalette(grey);
    EXPECT_TRUE(image->PaletteModified());
    EXPECT_NE(image->Bitmap(), composite);

    TGIFSubImage* f = image->Images()[0];
    image->DrawOptions = 0;
    f->ColorMap().Add(RGB(9, 9, 9));
    f->SetPalette(nullptr);
    EXPECT_EQ(PaletteColor(f->Palette(), 0), RGB(9, 9, 9));
    f->SetPalette(grey);
    EXPECT_TRUE(SamePalette(f->Palette(), grey));
}

// ---- optimize --------------------------------------------------------------------------

TEST(GifOptimize, CropsTransparentFramesAndDropsEmptyOnes) {
    // 4x4 frame, transparent index 0, visible pixels at (1,1) and (2,2).
    std::vector<uint8_t> px(16, 0);
    px[5] = 1;
    px[10] = 2;
    auto image = Animation(4, 4,
                           {{{0, 0, 4, 4}, 1, 10, 1, 7},
                            {{0, 0, 4, 4}, 0, 20, 1, 0, true, px},
                            {{0, 0, 4, 4}, 0, 30, 1, 0}});
    image->Optimize(ooCrop, 0);
    ASSERT_EQ(image->Images().Count(), 2);
    TGIFSubImage* f = image->Images()[1];
    EXPECT_EQ(f->BoundsRect(), (TRect{1, 1, 3, 3}));
    EXPECT_EQ(f->Pixel(0, 0), 1);
    EXPECT_EQ(f->Pixel(1, 1), 2);
    EXPECT_EQ(f->Pixel(1, 0), 0);
    // The empty last frame went; its delay joined the transparent one before.
    EXPECT_EQ(f->GraphicControlExtension()->Delay(), 50);
    // The first frame uses index 1 everywhere, never its transparent 7.
    EXPECT_EQ(image->Images()[0]->BoundsRect(), (TRect{0, 0, 4, 4}));
}

TEST(GifOptimize, MergesRepeatedPixelsIntoTransparency) {
    std::vector<uint8_t> second = {1, 1, 2, 2};
    auto image = Animation(4, 1, {{{0, 0, 4, 1}, 1, 10, 1}, {{0, 0, 4, 1}, 0, 10, 1, -1, true, second}});
    image->Optimize(ooMerge, 0);
    TGIFSubImage* f = image->Images()[1];
    ASSERT_TRUE(f->Transparent());
    const int t = f->TransparentColorIndex();
    EXPECT_EQ(f->Pixel(0, 0), t);
    EXPECT_EQ(f->Pixel(1, 0), t);
    EXPECT_EQ(f->Pixel(2, 0), 2);
    // No other frame lends an index here: a black entry was added.
    EXPECT_EQ(image->GlobalColorMap().GetColor(t), clBlack);
    EXPECT_EQ(t, 8);
    // The picture drawn stays the same.
    auto target = Canvas24(4, 1, clWhite);
    image->Paint(target->Canvas(), TRect{0, 0, 4, 1}, goAnimate | goTransparent);
    EXPECT_EQ(target->GetPixel(0, 0), Colours[1]);
    EXPECT_EQ(target->GetPixel(3, 0), Colours[2]);

    // After a frame with disposal 2 nothing is merged.
    auto restored = Animation(4, 1, {{{0, 0, 4, 1}, 1, 10, 2}, {{0, 0, 4, 1}, 1, 10, 1}});
    restored->Optimize(ooMerge, 0);
    EXPECT_FALSE(restored->Images()[1]->Transparent());
}

TEST(GifOptimize, MergeNeverLendsAnIndexTheFrameShows) {
    // Frame 2 is transparent with index 2; frame 1 shows colour 2 itself, so
    // its new transparent index must be another one.
    auto image = Animation(2, 1,
                           {{{0, 0, 2, 1}, 1, 10, 1},
                            {{0, 0, 2, 1}, 0, 10, 1, -1, true, {1, 2}},
                            {{0, 0, 2, 1}, 3, 10, 1, 2}});
    image->Optimize(ooMerge, 0);
    TGIFSubImage* f = image->Images()[1];
    ASSERT_TRUE(f->Transparent());
    EXPECT_NE(f->TransparentColorIndex(), 2);
    EXPECT_EQ(f->Pixel(1, 0), 2);
    EXPECT_EQ(f->Pixel(0, 0), f->TransparentColorIndex());
}

TEST(GifOptimize, CleansExtensionsAndEmptyFrames) {
    auto image = Animation(2, 2, {{{0, 0, 2, 2}, 1, 0, 0}, {{0, 0, 2, 2}, 2, 5, 1, 6}}, 0);
    TGIFSubImage* first = image->Images()[0];
    auto comment = std::make_unique<TGIFCommentExtension>(first);
    comment->Text.Lines = {"made by hand"};
    first->Extensions().Add(std::move(comment));
    // The second frame's transparent index 6 is never used.
    image->Optimize(ooCleanup, 0);
    ASSERT_EQ(image->Images().Count(), 2);
    first = image->Images()[0];
    // Comment and the empty graphic control extension are gone; the loop
    // stays on the first frame.
    ASSERT_EQ(first->Extensions().Count(), 1);
    EXPECT_TRUE(dynamic_cast<TGIFAppExtNSLoop*>(first->Extensions()[0]));
    TGIFSubImage* second = image->Images()[1];
    EXPECT_FALSE(second->Transparent());
    ASSERT_TRUE(second->GraphicControlExtension());
    EXPECT_EQ(second->GraphicControlExtension()->Delay(), 5);

    // Disposal 2 before an opaque frame that covers it becomes 0; before a
    // smaller frame it stays, or the frame's pixels would show through.
    auto d = Animation(4, 4, {{{1, 1, 3, 3}, 1, 5, 2}, {{0, 0, 4, 4}, 2, 5, 1}, {{1, 1, 2, 2}, 3, 5, 2}});
    d->Optimize(ooCleanup, 0);
    EXPECT_EQ(d->Images()[0]->GraphicControlExtension()->Disposal(), 0);
    auto inside = Animation(4, 4, {{{0, 0, 4, 4}, 1, 5, 2}, {{1, 1, 3, 3}, 2, 5, 1}});
    inside->Optimize(ooCleanup, 0);
    EXPECT_EQ(inside->Images()[0]->GraphicControlExtension()->Disposal(), 2);
    // Nor before a frame that restores to the picture before itself.
    auto previous = Animation(4, 4, {{{1, 1, 3, 3}, 1, 5, 2}, {{0, 0, 4, 4}, 2, 5, 3}});
    previous->Optimize(ooCleanup, 0);
    EXPECT_EQ(previous->Images()[0]->GraphicControlExtension()->Disposal(), 2);

    EXPECT_EQ(ErrorOf([&] { d->Optimize(ooReduceColors, rmPalette); }), "Invalid reduction method");
    EXPECT_EQ(ErrorOf([&] { d->Optimize(ooCleanup | ooReduceColors, rmPalette); }), "");
}

TEST(GifOptimize, SortsEveryColourMap) {
    auto image = Animation(2, 1, {{{0, 0, 2, 1}, 5, 5, 1}});
    image->Optimize(ooColorMap, 0);
    // The shown colour first; the background colour (index 0) stays.
    EXPECT_EQ(image->GlobalColorMap().Count(), 2);
    EXPECT_EQ(image->GlobalColorMap().GetColor(0), Colours[5]);
    EXPECT_EQ(image->Images()[0]->Pixel(1, 0), 0);
    TGIFImage empty;
    empty.Optimize(0x1F, 0);
    EXPECT_TRUE(empty.Empty());
}

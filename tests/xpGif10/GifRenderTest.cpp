// Frames into bitmaps and onto canvases: the rendered bitmap and its mask,
// web-palette rendering, drawing through the mask, proportional placement,
// tiling and the composite bitmap.
#include "GifAnimTestUtil.h"
#include "xpGif10/GifRender.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace xpGif10;
using namespace giftest;

TEST(GifRender, MulDivRoundsToNearest) {
    EXPECT_EQ(MulDiv(1, 3, 2), 2);
    EXPECT_EQ(MulDiv(5, 10, 4), 13);
    EXPECT_EQ(MulDiv(-1, 3, 2), -2);
    EXPECT_EQ(MulDiv(7, 1, 3), 2);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST(GifRender, BitmapAndMaskAreRenderedOnceWithTheTransparentPixels) {
    // 3 x 2, transparent index 7 at (1,0) and (2,1).
    auto image = Animation(3, 2, {{{0, 0, 3, 2}, 0, 0, 0, 7, true, {1, 7, 2, 3, 4, 7}}});
    image->DrawOptions = 0;
    std::vector<std::string> progress;
    image->OnProgress = [&](TGraphic*, TProgressStage, int, bool, const TRect&, const std::string& m) {
        progress.push_back(m);
    };
    TGIFSubImage* f = image->Images()[0];
    auto bitmap = f->Bitmap();
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bitmap->GetPixelValue(2, 0), 2u);
    EXPECT_EQ(bitmap->GetPixel(0, 1), Colours[3]);
    EXPECT_EQ(f->Bitmap(), bitmap);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), "Rendering...");
    ASSERT_TRUE(f->HasMask());
    auto mask = f->CachedMask();
    EXPECT_EQ(mask->PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(mask->GetPixelValue(1, 0), 1u);
    EXPECT_EQ(mask->GetPixelValue(2, 1), 1u);
    EXPECT_EQ(mask->GetPixelValue(0, 0), 0u);
    EXPECT_FALSE(f->NeedMask());

    // Opaque frames get no mask; a transparent index nobody uses neither.
    auto opaque = Animation(2, 1, {{{0, 0, 2, 1}, 1, 0, 0, 6}});
    EXPECT_FALSE(opaque->Images()[0]->HasMask());
    // Changing a pixel drops the caches.
    f->SetPixel(0, 0, 7);
    EXPECT_FALSE(f->CachedBitmap());
    ASSERT_TRUE(f->HasMask());
    EXPECT_EQ(f->CachedMask()->GetPixelValue(0, 0), 1u);
}

TEST(GifRender, WebPaletteRenderingDithersOpaquePixelsOnly) {
    std::vector<uint8_t> px;
    for (int i = 0; i < 40; ++i) px.push_back(uint8_t(i % 7 == 3 ? 7 : 6));
    auto image = Animation(8, 5, {{{0, 0, 8, 5}, 0, 0, 0, 7, true, px}});
    image->GlobalColorMap().SetColor(6, RGB(100, 100, 100));   // between web steps
    image->DrawOptions = goDither;                               // on any device
    ASSERT_TRUE(image->WebPaletteCondition());
    TGIFSubImage* f = image->Images()[0];
    auto bitmap = f->Bitmap();
    ASSERT_EQ(PaletteSize(bitmap->Palette()), 216);
    std::set<TColor> seen;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x)
            if (px[size_t(y * 8 + x)] != 7) seen.insert(bitmap->GetPixel(x, y));
    // Grey 100 lies between 51 and 102: dithering mixes the two steps.
    EXPECT_EQ(seen, (std::set<TColor>{RGB(102, 102, 102), RGB(51, 51, 51)}));
    ASSERT_TRUE(f->HasMask());
    EXPECT_EQ(f->CachedMask()->GetPixelValue(3, 0), 1u);

    image->DrawOptions = goDither | goAutoDither;
    PaletteDevice = false;
    EXPECT_FALSE(image->WebPaletteCondition());
}

TEST(GifRender, FramesArePlacedInProportionStretchedTiledAndMasked) {
    // A 4 x 2 image whose frame covers its right half; index 7 see-through.
    auto image = Animation(4, 2, {{{2, 0, 4, 2}, 0, 0, 0, 7, true, {1, 7, 2, 2}}});
    TGIFSubImage* f = image->Images()[0];
    auto target = Canvas24(8, 4, Colours[4]);
    // Twice the size: the frame lands on x 4..7, each pixel 2 x 2.
    f->Draw(target->Canvas(), TRect{0, 0, 8, 4}, true, false);
    EXPECT_EQ(target->GetPixel(4, 0), Colours[1]);
    EXPECT_EQ(target->GetPixel(5, 1), Colours[1]);
    EXPECT_EQ(target->GetPixel(6, 0), Colours[4]);   // see-through keeps white
    EXPECT_EQ(target->GetPixel(7, 3), Colours[2]);
    EXPECT_EQ(target->GetPixel(3, 0), Colours[4]);   // left half untouched
    // Without transparency the transparent index shows its colour.
    f->Draw(target->Canvas(), TRect{0, 0, 8, 4}, false, false);
    EXPECT_EQ(target->GetPixel(6, 0), Colours[7]);

    // Tiling: copies at natural size every image width from the frame's place.
    auto tiles = Canvas24(9, 2, clBlack);
    f->Draw(tiles->Canvas(), TRect{0, 0, 9, 2}, true, true);
    EXPECT_EQ(tiles->GetPixel(2, 0), Colours[1]);
    EXPECT_EQ(tiles->GetPixel(6, 0), Colours[1]);
    EXPECT_EQ(tiles->GetPixel(3, 0), clBlack);
    EXPECT_EQ(tiles->GetPixel(1, 0), clBlack);
    EXPECT_EQ(tiles->GetPixel(7, 1), Colours[2]);

    // Through a mask onto an 8-bit target as well.
    TBitmap indexed;
    indexed.SetPixelFormat(TPixelFormat::pf8bit);
    indexed.SetSize(4, 2);
    f->Draw(indexed.Canvas(), TRect{0, 0, 4, 2}, true, false);
    EXPECT_EQ(indexed.GetPixel(2, 0), RGB(255, 0, 0));
    EXPECT_EQ(indexed.GetPixel(3, 0), RGB(0, 0, 0));
}

TEST(GifRender, StillImagesDrawTheFirstFrameAndTheCompositeHoldsIt) {
    auto image = Animation(4, 2, {{{1, 0, 3, 2}, 3}, {{0, 0, 4, 2}, 2}});
    image->DrawOptions = goTransparent;   // not animated
    auto target = Canvas24(4, 2, clWhite);
    image->Draw(target->Canvas(), TRect{0, 0, 4, 2});
    EXPECT_EQ(target->GetPixel(1, 0), Colours[3]);
    EXPECT_EQ(target->GetPixel(0, 0), clWhite);
    // The composite of a first frame smaller than the image: drawn onto a
    // bitmap of the image's size.
    auto composite = image->Bitmap();
    ASSERT_TRUE(composite);
    EXPECT_EQ(composite->Width(), 4);
    EXPECT_EQ(composite->GetPixel(2, 1), Colours[3]);
    EXPECT_EQ(image->Bitmap(), composite);
    int changes = 0;
    image->OnChange = [&](TGraphic*) { ++changes; };
    composite->Canvas().SetPixel(0, 0, clBlack);
    EXPECT_EQ(changes, 1);
    // Frames join: the composite goes.
    image->Add(image->Images()[0]);
    EXPECT_NE(image->Bitmap(), composite);
}

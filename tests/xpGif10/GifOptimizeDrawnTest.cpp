// Optimize never changes what is drawn: many generated animations are
// played through the painter before and after each optimize option (and
// after a save and load of the result), and the pictures shown with how
// long each shows must be the same. Consecutive equal pictures count as one
// showing for the sum of their waits, so frames may merge or vanish.
#include "GifAnimTestUtil.h"
#include "xpGif10/GifClock.h"
#include "xpGif10/GifFrameAssign.h"
#include "xpGif10/GifPainter.h"
#include "xpGif10/GifReduce.h"

#include <gtest/gtest.h>

#include <random>

using namespace platform;
using namespace xpGif10;
using namespace giftest;

namespace {

struct Showing {
    std::vector<TColor> pixels;
    int64_t ms;
};

// Two passes of the animation (the second pass shows what the last frame's
// disposal and wait do), on a virtual clock, drawn over a colour that no
// frame uses so that see-through parts count too.
std::vector<Showing> Drawn(TGIFImage& image) {
    auto clock = std::make_shared<TVirtualClock>();
    auto previous = SetGIFClock(clock);
    auto target = Canvas24(image.Width(), image.Height(), RGB(1, 2, 3));
    std::vector<Showing> shown;
    int64_t wait = 0, pending = 0;
    int last = -1, wraps = 0;
    image.OnPaint = [&](TPersistent* sender) { wait = static_cast<TGIFPainter*>(sender)->LastWait(); };
    image.OnAfterPaint = [&](TPersistent* sender) {
        auto* painter = static_cast<TGIFPainter*>(sender);
        std::vector<TColor> px;
        for (int y = 0; y < image.Height(); ++y)
            for (int x = 0; x < image.Width(); ++x) px.push_back(target->GetPixel(x, y));
        if (!shown.empty() && shown.back().pixels == px) {
            pending += wait;
        } else {
            if (!shown.empty()) shown.back().ms += pending + wait;
            shown.push_back({std::move(px), 0});
            pending = 0;
        }
        if (painter->ActiveImage() <= last && ++wraps == 2) painter->Stop();
        last = painter->ActiveImage();
    };
    image.Paint(target->Canvas(), TRect{0, 0, image.Width(), image.Height()},
                goAnimate | goTransparent | goLoop | goLoopContinously);
    SetGIFClock(previous);
    image.OnPaint = nullptr;
    image.OnAfterPaint = nullptr;
    return shown;
}

std::unique_ptr<TGIFImage> Copy(TGIFImage& image) {
    TMemoryStream s;
    image.SaveToStream(s);
    s.SetPosition(0);
    auto copy = std::make_unique<TGIFImage>();
    copy->LoadFromStream(s);
    return copy;
}

// A random animation: frames of random places, disposals, delays and
// transparency, pixels in runs and often repeating the frame before, now
// and then a local colour table, a comment, a loop, a see-through frame.
std::unique_ptr<TGIFImage> Random(std::mt19937& rng) {
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const int w = 4 + pick(9), h = 3 + pick(8), n = 1 + pick(6);
    std::vector<FrameSpec> specs;
    std::vector<uint8_t> last(size_t(w) * size_t(h), 0);
    for (int i = 0; i < n; ++i) {
        FrameSpec s;
        const int l = pick(3) ? 0 : pick(w), t = pick(3) ? 0 : pick(h);
        s.rect = {l, t, l + 1 + pick(w - l), t + 1 + pick(h - t)};
        const int delays[] = {0, 1, 2, 5, 40, 700};
        s.delay = delays[pick(6)];
        s.disposal = pick(5) == 0 ? 4 + pick(4) : pick(4);
        s.gce = pick(8) != 0;
        if (s.gce && pick(2)) s.transparent = pick(8);
        const bool invisible = s.transparent >= 0 && pick(5) == 0;
        int colour = pick(8);
        for (int y = s.rect.top; y < s.rect.bottom; ++y)
            for (int x = s.rect.left; x < s.rect.right; ++x) {
                if (pick(3) == 0) colour = pick(8);
                uint8_t v = pick(2) ? last[size_t(y) * size_t(w) + size_t(x)] : uint8_t(colour);
                if (invisible) v = uint8_t(s.transparent);
                s.pixels.push_back(v);
                last[size_t(y) * size_t(w) + size_t(x)] = v;
            }
        specs.push_back(s);
    }
    auto image = Animation(w, h, specs, pick(2) ? pick(3) : -1);
    image->Header().SetBackgroundColorIndex(uint8_t(pick(8)));
    for (int i = 0; i < image->Images().Count(); ++i) {
        TGIFSubImage* f = image->Images()[i];
        if (pick(4) == 0)   // a local table: the global colours in another order
            for (int c = 0; c < 8; ++c) f->ColorMap().Add(Colours[(c + 3) % 8]);
        if (pick(6) == 0) {
            auto comment = std::make_unique<TGIFCommentExtension>(f);
            comment->Text.Lines = {"frame " + std::to_string(i)};
            f->Extensions().Add(std::move(comment));
        }
    }
    return image;
}

void ExpectSameDrawing(TGIFImage& image, const std::string& what) {
    const std::vector<Showing> before = Drawn(image);
    for (int options : {0x01, 0x02, 0x04, 0x08, 0x20, 0x1F, 0x3F, 0x21, 0x23}) {
        auto copy = Copy(image);
        copy->Optimize(options, 0);
        auto saved = Copy(*copy);
        const std::vector<Showing> after = Drawn(*saved);
        ASSERT_EQ(before.size(), after.size()) << what << " options " << options;
        for (size_t i = 0; i < before.size(); ++i) {
            ASSERT_EQ(before[i].pixels, after[i].pixels) << what << " options " << options << " showing " << i;
            // The last showing lasts until the painter was stopped.
            if (i + 1 < before.size()) {
                ASSERT_EQ(before[i].ms, after[i].ms) << what << " options " << options << " showing " << i;
            }
        }
    }
}

} // namespace

TEST(GifOptimizeDrawn, KnownCasesDrawTheSame) {
    // A transparent frame cleared after it: cut to its visible pixel, it
    // would clear less of the red below.
    std::vector<uint8_t> dot(16, 0);
    dot[5] = 2;
    ExpectSameDrawing(*Animation(4, 4, {{{0, 0, 4, 4}, 1, 10, 1}, {{0, 0, 4, 4}, 0, 10, 2, 0, true, dot},
                                        {{3, 3, 4, 4}, 3, 10, 1}}),
                      "cleared transparent frame");
    // A see-through first frame with the loop, and a see-through frame
    // after a cleared one, with their delays and clearing.
    ExpectSameDrawing(*Animation(3, 2, {{{0, 0, 3, 2}, 0, 30, 2, 0}, {{0, 0, 3, 2}, 1, 20, 2},
                                        {{0, 0, 3, 2}, 0, 0, 1, 0}, {{1, 0, 2, 1}, 3, 5, 1}},
                                 2),
                      "see-through frames");
    // Delays that only add up as played (0 plays as 10 units) and one too
    // long to join.
    ExpectSameDrawing(*Animation(2, 2, {{{0, 0, 2, 2}, 1, 2, 1}, {{0, 0, 2, 2}, 0, 0, 1, 0},
                                        {{0, 0, 2, 2}, 2, 900, 1}, {{0, 0, 2, 2}, 0, 200, 1, 0}}),
                      "delays");
}

TEST(GifOptimizeDrawn, GeneratedAnimationsDrawTheSameUnderEveryOption) {
    std::mt19937 rng(20240610);
    for (int i = 0; i < 150; ++i) ExpectSameDrawing(*Random(rng), "animation " + std::to_string(i));
}

TEST(GifOptimizeDrawn, SortingTheGlobalMapKeepsTheBackgroundColour) {
    auto image = Animation(2, 1, {{{0, 0, 2, 1}, 5, 5, 1}});
    image->Header().SetBackgroundColorIndex(6);
    const TColor background = image->BackgroundColor();
    image->Optimize(ooColorMap, 0);
    EXPECT_EQ(image->BackgroundColor(), background);
    EXPECT_EQ(image->GlobalColorMap().Count(), 2);
}

// Painters on a virtual clock: every wait to the millisecond, loop counts,
// disposal, threaded painters handing their drawing to the main thread, and
// stopping them.
#include "GifAnimTestUtil.h"
#include "xpGif10/GifClock.h"
#include "xpGif10/GifPainter.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace xpGif10;
using namespace giftest;

namespace {

class PainterTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMainThread();
        clock_ = std::make_shared<TVirtualClock>();
        previous_ = SetGIFClock(clock_);
    }
    void TearDown() override { SetGIFClock(previous_); }

    // Plays the image with a painter and answers the times of its frames'
    // paint events, counted from the start of the play.
    std::vector<int64_t> Play(TGIFImage& image, uint16_t options, int stopAfter = 0) {
        std::vector<int64_t> times;
        const int64_t start = clock_->Now();
        image.OnPaint = [&](TPersistent* sender) {
            times.push_back(clock_->Now() - start);
            if (stopAfter && int(times.size()) >= stopAfter) static_cast<TGIFPainter*>(sender)->Stop();
        };
        auto target = Canvas24(image.Width(), image.Height(), clBlack);
        TGIFPainter* ref = nullptr;
        TGIFPainter* p = image.Paint(target->Canvas(), TRect{0, 0, image.Width(), image.Height()}, options, &ref);
        if (p) {
            EXPECT_EQ(ref, p);
            p->Start();
            EXPECT_TRUE(DispatchUntil([&] { return ref == nullptr; }));
        }
        EXPECT_EQ(image.Painters().Count(), 0);
        image.OnPaint = nullptr;
        return times;
    }

    static std::vector<int64_t> Gaps(const std::vector<int64_t>& times) {
        std::vector<int64_t> gaps;
        int64_t last = 0;
        for (int64_t t : times) {
            gaps.push_back(t - last);
            last = t;
        }
        return gaps;
    }

    std::shared_ptr<TVirtualClock> clock_;
    std::shared_ptr<TGIFClock> previous_;
};

std::unique_ptr<TGIFImage> DelayAnimation() {
    // Delays 0, 1, 2, 2000 and 0 units.
    return Animation(2, 1, {{{0, 0, 2, 1}, 1, 0}, {{0, 0, 2, 1}, 2, 1}, {{0, 0, 2, 1}, 3, 2},
                            {{0, 0, 2, 1}, 4, 2000}, {{0, 0, 2, 1}, 5, 0}});
}

constexpr uint16_t Play1 = goAnimate;
constexpr uint16_t PlayThreaded = goAnimate | goAsync;

} // namespace

TEST_F(PainterTest, WaitsAtNormalSpeedWithAndWithoutThread) {
    auto image = DelayAnimation();
    // Unthreaded: 1 unit before the first frame; 2000 units are cut to 1000.
    EXPECT_EQ(Gaps(Play(*image, Play1)), (std::vector<int64_t>{12, 120, 36, 36, 12000}));
    EXPECT_EQ(Gaps(Play(*image, PlayThreaded)), (std::vector<int64_t>{0, 120, 36, 36, 24000}));
    // Default delays for frames without a graphic control extension.
    auto plain = Animation(1, 1, {{{0, 0, 1, 1}, 1, 0, 0, -1, false}, {{0, 0, 1, 1}, 2, 0, 0, -1, false}});
    EXPECT_EQ(Gaps(Play(*plain, Play1)), (std::vector<int64_t>{12, 120}));
}

TEST_F(PainterTest, SpeedScalesStopsOrSkipsTheWaits) {
    auto image = DelayAnimation();
    image->AnimationSpeed = 200;
    EXPECT_EQ(Gaps(Play(*image, Play1)), (std::vector<int64_t>{6, 60, 18, 18, 6000}));
    image->AnimationSpeed = 0;
    EXPECT_EQ(Gaps(Play(*image, Play1)), (std::vector<int64_t>{12000, 12000, 12000, 12000, 12000}));
    image->AnimationSpeed = -1;
    EXPECT_EQ(Gaps(Play(*image, Play1)), (std::vector<int64_t>{12000, 12000, 12000, 12000, 12000}));
    // Threaded at a negative speed: no waits at all.
    const size_t before = clock_->Waits().size();
    EXPECT_EQ(Play(*image, PlayThreaded), (std::vector<int64_t>(5, 0)));
    EXPECT_EQ(clock_->Waits().size(), before);
}

TEST_F(PainterTest, SpeedZeroPausesAThreadedPainterUntilStopped) {
    auto image = DelayAnimation();
    image->AnimationSpeed = 0;
    int paints = 0;
    image->OnPaint = [&](TPersistent*) { ++paints; };
    auto target = Canvas24(2, 1, clBlack);
    TGIFPainter* ref = nullptr;
    TGIFPainter* p = image->Paint(target->Canvas(), TRect{0, 0, 2, 1}, PlayThreaded, &ref);
    ASSERT_TRUE(p);
    p->Start();
    ASSERT_TRUE(DispatchUntil([&] { return clock_->Blocked() == 1; }));
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(target->GetPixel(0, 0), Colours[1]);
    EXPECT_EQ(clock_->Waits().back(), -1);
    image->StopDraw();
    EXPECT_EQ(ref, nullptr);
    EXPECT_EQ(paints, 1);
}

TEST_F(PainterTest, LoopCountsThreadedAndUnthreaded) {
    const std::vector<FrameSpec> two = {{{0, 0, 1, 1}, 1, 5}, {{0, 0, 1, 1}, 2, 5}};
    const uint16_t loop = goAnimate | goLoop;
    EXPECT_EQ(Play(*Animation(1, 1, two, 3), loop).size(), 6u);
    EXPECT_EQ(Play(*Animation(1, 1, two, 3), loop | goAsync).size(), 6u);
    // Without dfLoop a single pass, whatever the extension says.
    EXPECT_EQ(Play(*Animation(1, 1, two, 3), goAnimate).size(), 2u);
    // Count 0: once without a thread, until stopped with one.
    EXPECT_EQ(Play(*Animation(1, 1, two, 0), loop).size(), 2u);
    EXPECT_EQ(Play(*Animation(1, 1, two, 0), loop | goAsync, 9).size(), 9u);
    EXPECT_EQ(Play(*Animation(1, 1, two, 0), loop | goLoopContinously, 7).size(), 7u);
    // No loop extension: once unless looping forever.
    EXPECT_EQ(Play(*Animation(1, 1, two), loop | goAsync).size(), 2u);
    EXPECT_EQ(Play(*Animation(1, 1, two), loop | goAsync | goLoopContinously, 5).size(), 5u);
    // Without dfAnimate only the first frame.
    EXPECT_EQ(Play(*Animation(1, 1, two, 3), goLoop).size(), 1u);
}

TEST_F(PainterTest, DisposalTwoRestoresEarlierContentsOrBackground) {
    for (bool transparent : {true, false}) {
        auto image = Animation(4, 1, {{{0, 0, 2, 1}, 1, 1, 2}, {{2, 0, 4, 1}, 2, 1, 1}});
        image->DrawBackgroundColor = Colours[5];
        auto target = Canvas24(4, 1, Colours[3]);
        std::vector<std::vector<TColor>> states;
        image->OnAfterPaint = [&](TPersistent*) {
            std::vector<TColor> row;
            for (int x = 0; x < 4; ++x) row.push_back(target->GetPixel(x, 0));
            states.push_back(row);
        };
        image->Paint(target->Canvas(), TRect{0, 0, 4, 1}, goAnimate | (transparent ? goTransparent : 0));
        ASSERT_EQ(states.size(), 2u);
        const TColor blue = Colours[3], red = Colours[1], green = Colours[2];
        EXPECT_EQ(states[0], (std::vector<TColor>{red, red, blue, blue}));
        const TColor restored = transparent ? blue : Colours[5];
        EXPECT_EQ(states[1], (std::vector<TColor>{restored, restored, green, green})) << transparent;
    }
}

TEST_F(PainterTest, DisposalThreeRestoresThePreviousPictureAndTransparencyShowsThrough) {
    // Red over everything, then green on the left with disposal 3, then a
    // frame whose left half is transparent.
    auto image = Animation(4, 1,
                           {{{0, 0, 4, 1}, 1, 1, 1},
                            {{0, 0, 2, 1}, 2, 1, 3},
                            {{0, 0, 4, 1}, 0, 1, 1, 7, true, {7, 7, 4, 4}}});
    auto target = Canvas24(4, 1, clBlack);
    std::vector<TColor> last;
    image->OnAfterPaint = [&](TPersistent*) {
        last.clear();
        for (int x = 0; x < 4; ++x) last.push_back(target->GetPixel(x, 0));
    };
    image->Paint(target->Canvas(), TRect{0, 0, 4, 1}, goAnimate | goTransparent);
    EXPECT_EQ(last, (std::vector<TColor>{Colours[1], Colours[1], Colours[4], Colours[4]}));
}

TEST_F(PainterTest, SingleFrameIsNeverThreadedAndErrorsStopThePainter) {
    auto image = Animation(2, 2, {{{0, 0, 2, 2}, 2}});
    auto target = Canvas24(2, 2, clBlack);
    EXPECT_EQ(image->Paint(target->Canvas(), TRect{0, 0, 2, 2}, goAsync | goAnimate), nullptr);
    EXPECT_EQ(target->GetPixel(1, 1), Colours[2]);
    EXPECT_EQ(image->Paint(target->Canvas(), TRect{0, 0, 0, 2}, goAsync), nullptr);

    auto anim = DelayAnimation();
    anim->OnPaint = [](TPersistent*) { throw GIFException("boom"); };
    int ends = 0;
    anim->OnEndPaint = [&](TPersistent*) { ++ends; };
    EXPECT_THROW(anim->Paint(target->Canvas(), TRect{0, 0, 2, 1}, Play1), GIFException);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(anim->Painters().Count(), 0);
}

TEST_F(PainterTest, OnePainterPerCanvasAndRectangle) {
    clock_->BlockTimedWaits = true;
    auto image = DelayAnimation();
    image->DrawOptions = uint16_t(GIFDefaultDrawOptions | goDirectDraw);
    auto target = Canvas24(8, 8, clBlack);
    const TRect a{0, 0, 2, 1}, b{2, 2, 6, 4};
    image->Draw(target->Canvas(), a);
    TGIFPainter* first = image->DrawPainter();
    ASSERT_TRUE(first);
    image->Draw(target->Canvas(), a);
    EXPECT_EQ(image->DrawPainter(), first);
    EXPECT_EQ(image->Painters().Count(), 1);
    ASSERT_TRUE(DispatchUntil([&] { return clock_->Blocked() == 1; }));
    image->Draw(target->Canvas(), b);
    ASSERT_TRUE(image->DrawPainter());
    EXPECT_EQ(image->DrawPainter()->Rect(), b);
    ASSERT_TRUE(DispatchUntil([&] { return image->Painters().Count() == 1 && clock_->Blocked() == 1; }));
    EXPECT_EQ(target->GetPixel(5, 3), Colours[1]);
    image.reset();
}

TEST_F(PainterTest, DestroyingTheImageEndsAPainterInALongDelay) {
    clock_->BlockTimedWaits = true;
    auto image = Animation(1, 1, {{{0, 0, 1, 1}, 1, 2000}, {{0, 0, 1, 1}, 2, 10}}, 0);
    auto target = Canvas24(1, 1, clBlack);
    // The default options: threaded, into the animation bitmap.
    image->Draw(target->Canvas(), TRect{0, 0, 1, 1});
    EXPECT_EQ(target->GetPixel(0, 0), Colours[1]);
    ASSERT_TRUE(image->Bitmap());
    ASSERT_TRUE(DispatchUntil([&] { return clock_->Blocked() == 1; }));
    EXPECT_EQ(clock_->Waits().back(), 24000);
    // Drawing again uses the composite bitmap and keeps the painter.
    auto other = Canvas24(2, 2, clBlack);
    image->Draw(other->Canvas(), TRect{0, 0, 2, 2});
    EXPECT_EQ(other->GetPixel(1, 1), Colours[1]);
    EXPECT_EQ(image->Painters().Count(), 1);
    image.reset();
    EXPECT_EQ(clock_->Blocked(), 0);
}

TEST_F(PainterTest, AnyErrorOnAPainterThreadReachesTheMainThreadAsThePaintersError) {
    auto anim = DelayAnimation();
    anim->OnPaint = [](TPersistent*) { throw std::bad_alloc(); };
    auto target = Canvas24(2, 1, clBlack);
    TGIFPainter* ref = nullptr;
    TGIFPainter* p = anim->Paint(target->Canvas(), TRect{0, 0, 2, 1}, PlayThreaded, &ref);
    ASSERT_TRUE(p);
    p->Start();
    std::string message;
    EXPECT_TRUE(DispatchUntil([&] {
        try {
            CheckSynchronize();
        } catch (const GIFException& e) {
            message = e.what();
        }
        return !message.empty();
    }));
    EXPECT_NE(message.find("bad_alloc"), std::string::npos) << message;
    EXPECT_TRUE(DispatchUntil([&] { return ref == nullptr; }));
}

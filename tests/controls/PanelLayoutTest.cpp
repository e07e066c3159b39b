#include "controls/PanelLayout.h"

#include <gtest/gtest.h>

using controls::CaptionExtent;
using controls::FourFifths;
using controls::PanelClientRect;
using controls::PanelMargins;
using platform::TRect;

namespace {
// A measure that records whether it was asked.
struct Measure {
    CaptionExtent extent;
    int calls = 0;
    std::function<CaptionExtent()> Fn() {
        return [this] {
            ++calls;
            return extent;
        };
    }
};

const TRect kInner{2, 2, 202, 102};  // 200 x 100 inside a 1-pixel bevel and border
} // namespace

TEST(PanelLayout, LeftCaptionStripReplacesLeftMargin) {
    Measure m{{30, 12}};
    PanelMargins mg{1, 10, 3, 5, 7};
    TRect r = PanelClientRect(kInner, mg, false, m.Fn());
    EXPECT_EQ(r.left, kInner.left + 34);  // caption 30 + 4; MrgLeft ignored
    EXPECT_EQ(r.top, kInner.top + 3);
    EXPECT_EQ(r.right, kInner.right - 5);
    EXPECT_EQ(r.bottom, kInner.bottom - 7);
    EXPECT_EQ(m.calls, 1);
}

TEST(PanelLayout, EachCaptionSideTakesOnlyItsOwnEdge) {
    PanelMargins base{0, 10, 20, 30, 40};
    struct Case {
        int side;
        TRect expect;
    } cases[] = {
        {1, {2 + 34, 2 + 20, 202 - 30, 102 - 40}},
        {2, {2 + 10, 2 + 16, 202 - 30, 102 - 40}},
        {3, {2 + 10, 2 + 20, 202 - 34, 102 - 40}},
        {4, {2 + 10, 2 + 20, 202 - 30, 102 - 16}},
    };
    for (const Case& c : cases) {
        Measure m{{30, 12}};
        PanelMargins mg = base;
        mg[0] = static_cast<int16_t>(c.side);
        EXPECT_EQ(PanelClientRect(kInner, mg, false, m.Fn()), c.expect) << "side " << c.side;
    }
}

TEST(PanelLayout, CaptionStripCappedAtFourFifths) {
    PanelMargins mg{3, 0, 0, 0, 0};
    Measure wide{{500, 12}};
    EXPECT_EQ(PanelClientRect(kInner, mg, false, wide.Fn()).right, 202 - 160);
    // Exactly 80 per cent (156 + 4 = 160 of 200) keeps the measured width ...
    Measure exact{{156, 12}};
    EXPECT_EQ(PanelClientRect(kInner, mg, false, exact.Fn()).right, 202 - 160);
    // ... one pixel more is capped to the same 160.
    Measure over{{157, 12}};
    EXPECT_EQ(PanelClientRect(kInner, mg, false, over.Fn()).right, 202 - 160);
    // Width 203: 80 per cent is 162.4, capped to 162; width 201: 160.8 to 161.
    TRect odd{0, 0, 203, 100};
    EXPECT_EQ(PanelClientRect(odd, mg, false, wide.Fn()).right, 203 - 162);
    TRect odd2{0, 0, 201, 100};
    EXPECT_EQ(PanelClientRect(odd2, mg, false, wide.Fn()).right, 201 - 161);
    // The height cap for a bottom strip: 0.8 x 100 = 80.
    PanelMargins bottom{4, 0, 0, 0, 0};
    Measure tall{{10, 300}};
    EXPECT_EQ(PanelClientRect(kInner, bottom, false, tall.Fn()).bottom, 102 - 80);
}

TEST(PanelLayout, FourFifthsRoundsToNearestExactly) {
    EXPECT_EQ(FourFifths(0), 0);
    EXPECT_EQ(FourFifths(200), 160);
    EXPECT_EQ(FourFifths(201), 161);  // 160.8
    EXPECT_EQ(FourFifths(202), 162);  // 161.6
    EXPECT_EQ(FourFifths(203), 162);  // 162.4
    EXPECT_EQ(FourFifths(1), 1);      // 0.8
    EXPECT_EQ(FourFifths(-3), -2);    // -2.4: a panel squeezed below its bevels
    EXPECT_EQ(FourFifths(-2), -2);    // -1.6
    // 0.8 x n is never an exact half for whole n; values where a floating
    // 0.8 drifts still come out right.
    for (int n = 0; n < 5000; ++n) {
        int q = FourFifths(n);
        EXPECT_LE(std::abs(5 * q - 4 * n), 2) << n;
    }
}

TEST(PanelLayout, NoStripWithoutCaptionOrWithOtherSide) {
    PanelMargins mg{1, 10, 20, 30, 40};
    const TRect all{2 + 10, 2 + 20, 202 - 30, 102 - 40};
    Measure m{{30, 12}};
    EXPECT_EQ(PanelClientRect(kInner, mg, true, m.Fn()), all);
    EXPECT_EQ(m.calls, 0) << "an empty caption is not measured";
    for (int16_t side : {0, 5, 7, -1}) {
        mg[0] = side;
        EXPECT_EQ(PanelClientRect(kInner, mg, false, m.Fn()), all) << "side " << side;
    }
    EXPECT_EQ(m.calls, 0);
}

TEST(PanelLayout, NegativeMarginsEnlargeTheArea) {
    PanelMargins mg{0, -4, -6, -8, -10};
    TRect r = PanelClientRect(kInner, mg, true, nullptr);
    EXPECT_EQ(r, (TRect{2 - 4, 2 - 6, 202 + 8, 102 + 10}));
    EXPECT_LT(r.top, kInner.top);
}

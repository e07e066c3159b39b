#include "controls/PanelLayout.h"

#include <cstdlib>

namespace controls {

namespace {
// The nearest integer to num / den (den > 0), halves to the even neighbour.
int64_t RoundDiv(int64_t num, int64_t den) {
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) {  // floor division for negative values
        q -= 1;
        r += den;
    }
    int64_t twice = 2 * r;
    if (twice > den || (twice == den && (q & 1) != 0)) ++q;
    return q;
}
} // namespace

int FourFifths(int n) { return static_cast<int>(RoundDiv(4 * static_cast<int64_t>(n), 5)); }

platform::TRect PanelClientRect(const platform::TRect& inner, const PanelMargins& margins, bool captionEmpty,
                                const std::function<CaptionExtent()>& measure) {
    platform::TRect r = inner;
    int w = inner.Width();
    int h = inner.Height();
    int side = 0;
    int tw = 0, th = 0;
    if (margins[0] >= 1 && margins[0] <= 4 && !captionEmpty && measure) {
        CaptionExtent e = measure();
        tw = e.width + 4;
        // tw > 0.8 w, without rounding 0.8: 5 tw > 4 w.
        if (5 * static_cast<int64_t>(tw) > 4 * static_cast<int64_t>(w)) tw = FourFifths(w);
        th = e.height + 4;
        if (5 * static_cast<int64_t>(th) > 4 * static_cast<int64_t>(h)) th = FourFifths(h);
        side = margins[0];
    }
    r.left += side == 1 ? tw : margins[1];
    r.top += side == 2 ? th : margins[2];
    r.right -= side == 3 ? tw : margins[3];
    r.bottom -= side == 4 ? th : margins[4];
    return r;
}

} // namespace controls

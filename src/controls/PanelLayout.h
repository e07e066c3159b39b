#pragma once
// The rule that gives a margin panel the rectangle its children are laid
// out in. Kept apart from the widget so that it can be checked without a
// display.
#include "platform/Placement.h"

#include <array>
#include <cstdint>
#include <functional>

namespace controls {

// Index 0 is the caption side (1 left, 2 top, 3 right, 4 bottom, anything
// else none); 1 to 4 are the fixed margins left, top, right, bottom.
using PanelMargins = std::array<int16_t, 5>;

struct CaptionExtent {
    int width = 0;
    int height = 0;
};

// The nearest integer to 4/5 of n, an exact half going to the even
// neighbour. Integer arithmetic: 0.8 has no exact binary value, and the cap
// must not depend on how it rounds.
int FourFifths(int n);

// From the panel's inner rectangle (inside bevels and border): when the
// caption side is 1 to 4 and the caption is not empty, a caption strip of
// the measured caption plus 4 (capped at 80 per cent of the rectangle)
// replaces that side's margin; the other sides move in by their margins
// (negative ones move out). measure is only asked when a strip is wanted.
platform::TRect PanelClientRect(const platform::TRect& inner, const PanelMargins& margins, bool captionEmpty,
                                const std::function<CaptionExtent()>& measure);

} // namespace controls

#pragma once
// Turning frames into bitmaps and drawing them: the rendered bitmap with its
// transparency mask, drawing through the mask, and the proportional mapping
// of a frame into a target rectangle.
#include "platform/Bitmap.h"
#include "platform/Canvas.h"

#include <memory>

namespace xpGif10 {

class TGIFSubImage;

// The runtime's multiply-then-divide: a × b / c rounded to the nearest
// integer (halves away from zero); -1 when c is 0.
int MulDiv(int a, int b, int c);

// Renders the frame's bitmap (and its mask when the frame is transparent)
// into the frame's caches: through the web palette with Floyd-Steinberg
// dithering when the image asks for it, else directly with the frame's
// palette.
void RenderFrame(TGIFSubImage& frame);

// Draws the bitmap stretched onto the rectangle; where the mask (1 bit per
// pixel, set = see-through) has a bit set, the target keeps its pixels.
void DrawThroughMask(platform::TCanvas& canvas, const platform::TRect& rect, platform::TBitmap& bitmap,
                     platform::TBitmap& mask);

} // namespace xpGif10

#pragma once
// Changing an animation's colours in place: fewer colours, transparency and
// the background index. Frames keep their bounds, extensions and timing.
#include "platform/Palette.h"

namespace xpGif10 {

class TGIFImage;

// Reduces the colours to at most `colors` (2 to 256, a see-through index
// among them when a frame is transparent): one global palette for all
// frames, or with perFrame one table for each frame. The palettes are
// quantized (octree) from the pixels the frames draw, which are then mapped
// onto them through the dither mode (0..6). Pixels keep their see-through
// index.
void ReduceImageColors(TGIFImage& image, int colors, int ditherMode, bool perFrame);

// Makes index the transparent index of every frame; a frame whose table is
// smaller raises an error naming it.
void SetTransparentIndex(TGIFImage& image, int index);
// Makes the colour transparent in every frame whose table holds it; frames
// without it keep what they had. Answers the number of frames changed.
int SetTransparentColour(TGIFImage& image, platform::TColor colour);
// No frame has a transparent index any more.
void DropTransparency(TGIFImage& image);

// Sets the logical screen's background index, which must lie in the global
// table.
void SetBackgroundIndex(TGIFImage& image, int index);

} // namespace xpGif10

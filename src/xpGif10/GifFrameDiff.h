#pragma once
// Frame differencing for the image's optimize: each frame keeps only what it
// changes in the picture drawn before it.
namespace xpGif10 {

class TGIFImage;

// For every frame: pixels that show what is already drawn become
// transparent, and the frame is cut to the box where it changes anything
// (for a frame cleared after it, the box it has to clear), whichever of
// these forms encodes smallest. The animation as drawn stays the same.
void DifferenceFrames(TGIFImage& image);

// Frames whose local colours all stand in the global table draw through
// the global table instead, when that encodes smaller (the local table is
// no longer written).
void ShareGlobalColors(TGIFImage& image);

} // namespace xpGif10

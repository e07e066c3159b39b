#pragma once
// Conversion of other pictures into a frame (the frame's Assign does the
// dispatch on the source's kind).
#include "platform/Graphics.h"

#include <cstdint>
#include <vector>

namespace xpGif10 {

class TGIFSubImage;

// Copies a frame, converts a bitmap, picture or graphic into the frame;
// anything else raises the generic "Cannot assign" error.
void AssignToFrame(TGIFSubImage& frame, const platform::TPersistent* source);

// Makes the pixels whose mask byte is not 0 transparent: the local map is
// optimized and, when it has room, gets a black entry that those pixels take
// and a graphic control extension marks transparent. A full map gets no
// transparency.
void ApplyMask(TGIFSubImage& frame, const std::vector<uint8_t>& mask);

} // namespace xpGif10

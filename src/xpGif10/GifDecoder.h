#pragma once
// The LZW decoder of one frame's image data: reads the minimum code size byte
// and the data sub-blocks and fills the frame's pixel buffer, in normal or
// interlaced row order.
//
// Decoding writes each code's whole string forwards, copying it from where
// the string last appeared in the output, instead of producing one pixel at a
// time from a stack. Codes whose table entries are not plain extensions of
// earlier output (damaged data) take a slower path that walks the table, so
// every file decodes to the same pixels, warnings and stream position as the
// pixel-at-a-time decoder would give.
#include "platform/Streams.h"

#include <cstdint>
#include <functional>
#include <string>

namespace xpGif10 {

// Where the decoder's warnings go (the frame's warning operation).
using GIFWarningSink = std::function<void(const std::string& message)>;

// Fills pixels (width x height bytes) from the stream. Every pixel is
// written: those that the data does not reach get the pre-fill value; the
// stream is left after the frame's block terminator when the data ends with an
// end code. Raises GIFException for a minimum code size above 11 and for a
// table entry that refers back to itself.
void DecodeGIFImageData(platform::TStream& stream, uint8_t* pixels, int width, int height, bool interlaced,
                        uint8_t prefill, const GIFWarningSink& warn);

// Rows in the published four-pass interlace order for a frame of this height.
template <class Fn>
void ForEachInterlacedRow(int height, Fn&& fn) {
    static const int start[4] = {0, 4, 2, 1};
    static const int step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int row = start[pass]; row < height; row += step[pass]) fn(row);
}

} // namespace xpGif10

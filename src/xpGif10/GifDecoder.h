#pragma once
// The LZW decoder of one frame's image data: reads the minimum code size byte
// and the data sub-blocks and fills the frame's pixel buffer, in normal or
// interlaced row order.
//
// The sub-blocks, whatever their sizes, are gathered into a bounded buffer
// that is refilled as the codes use it, so codes that span two or three of
// them need no care; what the codes leave is read up to the terminator, so
// the stream is left at the next block however the codes end. Each code's
// whole string is written at once: up to 8 values from the table entry
// itself, longer strings copied from where they were written before.
#include "platform/Streams.h"

#include <cstdint>
#include <functional>
#include <string>

namespace xpGif10 {

// Where the decoder's warnings go (the frame's warning operation).
using GIFWarningSink = std::function<void(const std::string& message)>;

// Fills pixels (width x height bytes) from the stream and leaves the stream
// after the frame's block terminator. Pixels that the data does not reach
// get the pre-fill value; codes past the last pixel are passed over. Data
// cut short or damaged (a code the table does not have yet) keeps what was
// decoded before and sends one warning. Raises GIFException for a minimum
// code size above 11. With capacity below width x height, pixels holds only
// that many values, in the order the data gives them (interlaced rows are
// left in pass order): for data that cannot fill the frame.
void DecodeGIFImageData(platform::TStream& stream, uint8_t* pixels, int width, int height, bool interlaced,
                        uint8_t prefill, const GIFWarningSink& warn, int64_t capacity = -1);

// Moves the rows of a frame decoded in the four-pass order to their places.
void DeinterlaceRows(uint8_t* pixels, int width, int height);

// Rows in the published four-pass interlace order for a frame of this height.
template <class Fn>
void ForEachInterlacedRow(int height, Fn&& fn) {
    static const int start[4] = {0, 4, 2, 1};
    static const int step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int row = start[pass]; row < height; row += step[pass]) fn(row);
}

} // namespace xpGif10

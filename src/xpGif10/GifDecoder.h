#pragma once
// The LZW decoder of one frame's image data: reads the minimum code size byte
// and the data sub-blocks and fills the frame's pixel buffer, in normal or
// interlaced row order.
//
// What the reader accepts although the format says otherwise, and where it
// is handled. Where nothing else is said, it reads on without a warning.
// The file as a whole:
//  - 4 bytes in front of the signature (TGIFHeader::LoadFromStream).
//  - the signature's "GIF" in any case, and any three version letters
//    (TGIFHeader::LoadFromStream, IsGIF).
//  - zero bytes between blocks, as stray block terminators
//    (TGIFImageList::LoadFromStream before a frame,
//    TGIFExtensionList::LoadFromStream between extensions).
//  - a byte of no known block where a frame should start: a warning, and
//    reading ends there with the frames before it
//    (TGIFImageList::LoadFromStream); the trailer check then warns about
//    that byte (TGIFTrailer::LoadFromStream).
//  - no trailer at the end of the data, and anything after it
//    (TGIFTrailer::LoadFromStream, TGIFImage::LoadFromStream).
//  - a file cut short in a frame's extensions, image descriptor or colour
//    table after at least one frame: a warning, and the frames before it
//    are kept (TGIFImageList::LoadFromStream).
//  - extensions after the last image: a frame of extensions only
//    (TGIFSubImage::LoadFromStream).
// Extensions:
//  - a byte other than the introducer among a frame's extensions: a
//    warning, and that byte starts the image descriptor, whatever it is
//    (TGIFExtensionList::LoadFromStream, TGIFSubImage::LoadFromStream).
//  - extensions of unknown label: skipped by their sub-blocks, with a
//    warning (TGIFExtensionList::LoadFromStream).
//  - two graphic control extensions before one image: the last one holds,
//    with a warning (TGIFExtensionList::LoadFromStream).
//  - graphic control and plain text blocks of another size than defined:
//    read by their size, with a warning, and written as defined; a graphic
//    control extension cut short only warns
//    (TGIFGraphicControlExtension::LoadFromStream,
//    TGIFTextExtension::LoadFromStream).
//  - application identifier blocks of any size: the first 11 bytes are the
//    identifier, a shorter one padded with zeros, the rest passed over,
//    with a warning for sizes other than 10 and 11; a block too short to
//    name a kind is kept as raw sub-blocks
//    (TGIFApplicationExtension::LoadFromStream, AppExtensionKind).
//  - the loop extension under either of its two identifiers, with data
//    sub-blocks of other kinds kept as read (TheRegistries,
//    TGIFAppExtNSLoop::LoadData).
//  - comment, plain text and unknown application data whose terminator is
//    missing at the end of the data (TGIFTextLines::Read,
//    TGIFUnknownAppExtension::LoadData).
// Frames:
//  - frames of no width or height: one transparent pixel that is never
//    cleared, with a warning (TGIFSubImage::LoadImageData).
//  - frames reaching past the logical screen: kept as they are
//    (TGIFSubImage::LoadFromStream).
//  - pixel values beyond the colour table: kept, and the table is written
//    padded to cover them (TGIFSubImage::SaveToStream,
//    TGIFHeader::SaveToStream); a transparent index beyond it is kept as
//    read (TGIFGraphicControlExtension::LoadFromStream).
//  - minimum code sizes from 0 to 11 (DecodeGIFImageData); only a larger
//    one is an error.
// Image data (DecodeGIFImageData and Decode, below):
//  - data sub-blocks of any sizes, codes spanning them.
//  - data cut short: what was decoded is kept, the rest gets the pre-fill
//    value (the transparent index or 0), with one warning.
//  - a code the table does not have yet, or the data running out before
//    the last pixel without an end code: as data cut short.
//  - an end code before the last pixel: the rest is pre-filled, silently.
//  - codes after the last pixel, a missing end code after it, and data
//    sub-blocks the codes leave: passed over.
//  - a frame declared far larger than its data: only what the data can
//    fill is held (TGIFSubImage::LoadImageData, LzwReach).
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

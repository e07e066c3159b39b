#pragma once
// The headers of the Windows bitmap format, in one place: the 14-byte file
// header, the 40-byte information header that starts a device-independent
// bitmap (the clipboard's bitmap format), and the step between the two
// forms. Pixel data is the caller's business.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

constexpr size_t BmpFileHeaderSize = 14;
constexpr size_t BmpInfoHeaderSize = 40;
// Compression values of the information header.
constexpr uint32_t BmpRgb = 0, BmpRle8 = 1, BmpRle4 = 2, BmpBitFields = 3, BmpAlphaBitFields = 6;

// The fields of a 40-byte information header that this program writes.
struct TBmpInfoHeader {
    int32_t width = 0;
    int32_t height = 0;  // positive: rows bottom-up
    uint16_t bits = 0;
    uint32_t compression = BmpRgb;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    uint32_t colorsImportant = 0;
};

void AppendBmpFileHeader(std::vector<uint8_t>& out, uint32_t fileSize, uint32_t pixelOffset);
void AppendBmpInfoHeader(std::vector<uint8_t>& out, const TBmpInfoHeader& header);

// Where the pixels of a device-independent bitmap start: its header, any
// colour masks and its colour table. False when the header cannot be one.
bool DibPixelOffset(const std::vector<uint8_t>& dib, uint64_t& offset);

// A device-independent bitmap with a file header before it, and back; empty
// when the input is no such bitmap.
std::vector<uint8_t> DibToBmpFile(const std::vector<uint8_t>& dib);
std::vector<uint8_t> BmpFileToDib(const std::vector<uint8_t>& bmp);

} // namespace platform

#include "platform/Bmp.h"

#include "platform/ByteOrder.h"

namespace platform {

void AppendBmpFileHeader(std::vector<uint8_t>& out, uint32_t fileSize, uint32_t pixelOffset) {
    out.push_back('B');
    out.push_back('M');
    AppendLe32(out, fileSize);
    AppendLe32(out, 0);  // two reserved words
    AppendLe32(out, pixelOffset);
}

void AppendBmpInfoHeader(std::vector<uint8_t>& out, const TBmpInfoHeader& h) {
    AppendLe32(out, uint32_t(BmpInfoHeaderSize));
    AppendLe32(out, uint32_t(h.width));
    AppendLe32(out, uint32_t(h.height));
    AppendLe16(out, 1);  // planes
    AppendLe16(out, h.bits);
    AppendLe32(out, h.compression);
    AppendLe32(out, h.imageSize);
    AppendLe32(out, 0);  // resolution: none given
    AppendLe32(out, 0);
    AppendLe32(out, h.colorsUsed);
    AppendLe32(out, h.colorsImportant);
}

bool DibPixelOffset(const std::vector<uint8_t>& dib, uint64_t& offset) {
    if (dib.size() < 12) return false;
    const uint32_t headerSize = GetLe32(dib.data());
    if (headerSize < 12 || headerSize > dib.size()) return false;
    uint32_t bitCount = 0, colours = 0, entrySize = 4, masks = 0;
    if (headerSize == 12) {  // the old core header: 3-byte palette entries
        bitCount = GetLe16(&dib[10]);
        entrySize = 3;
    } else {
        if (headerSize < BmpInfoHeaderSize) return false;
        bitCount = GetLe16(&dib[14]);
        const uint32_t compression = GetLe32(&dib[16]);
        colours = GetLe32(&dib[32]);
        // Colour masks follow a plain 40-byte header for bit-field pictures.
        if (headerSize == BmpInfoHeaderSize && (compression == BmpBitFields || compression == BmpAlphaBitFields))
            masks = compression == BmpBitFields ? 12 : 16;
    }
    if (colours == 0 && bitCount >= 1 && bitCount <= 8) colours = 1u << bitCount;
    offset = uint64_t(headerSize) + masks + uint64_t(colours) * entrySize;
    return offset <= dib.size();
}

std::vector<uint8_t> DibToBmpFile(const std::vector<uint8_t>& dib) {
    uint64_t offset = 0;
    if (!DibPixelOffset(dib, offset)) return {};
    const uint64_t total = BmpFileHeaderSize + dib.size();
    if (total > 0xFFFFFFFFull) return {};
    std::vector<uint8_t> out;
    out.reserve(size_t(total));
    AppendBmpFileHeader(out, uint32_t(total), uint32_t(BmpFileHeaderSize + offset));
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

std::vector<uint8_t> BmpFileToDib(const std::vector<uint8_t>& bmp) {
    if (bmp.size() < BmpFileHeaderSize + 12 || bmp[0] != 'B' || bmp[1] != 'M') return {};
    const uint32_t headerSize = GetLe32(&bmp[BmpFileHeaderSize]);
    if (headerSize < 12 || BmpFileHeaderSize + uint64_t(headerSize) > bmp.size()) return {};
    return std::vector<uint8_t>(bmp.begin() + BmpFileHeaderSize, bmp.end());
}

} // namespace platform

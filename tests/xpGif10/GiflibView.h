#pragma once
// giflib's reading of a file, the yardstick the GIF tests compare this
// library's frames with (test binaries only; the program never links it).
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace giftest {

struct RawFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int localColors = 0;
    // The graphic control extension's four data bytes, empty when none.
    std::vector<uint8_t> control;
    std::vector<uint8_t> pixels;
};

// Every image descriptor of the file with the graphic control extension
// before it, rows in display order. False (and why) when giflib refuses it.
inline bool GiflibFrames(const std::vector<uint8_t>& file, std::vector<RawFrame>& out, std::string& why) {
    struct Reader {
        const std::vector<uint8_t>* data;
        size_t pos;
    } reader{&file, 0};
    auto read = [](GifFileType* gif, GifByteType* buf, int len) -> int {
        auto* r = static_cast<Reader*>(gif->UserData);
        size_t n = std::min(size_t(len), r->data->size() - r->pos);
        std::memcpy(buf, r->data->data() + r->pos, n);
        r->pos += n;
        return int(n);
    };
    int err = 0;
    GifFileType* gif = DGifOpen(&reader, read, &err);
    if (!gif) {
        why = GifErrorString(err);
        return false;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        why = GifErrorString(gif->Error);
        DGifCloseFile(gif, &err);
        return false;
    }
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& s = gif->SavedImages[i];
        RawFrame f;
        f.left = s.ImageDesc.Left;
        f.top = s.ImageDesc.Top;
        f.width = s.ImageDesc.Width;
        f.height = s.ImageDesc.Height;
        f.interlaced = s.ImageDesc.Interlace;
        f.localColors = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap->ColorCount : 0;
        for (int e = 0; e < s.ExtensionBlockCount; ++e)
            if (s.ExtensionBlocks[e].Function == GRAPHICS_EXT_FUNC_CODE)
                f.control.assign(s.ExtensionBlocks[e].Bytes, s.ExtensionBlocks[e].Bytes + s.ExtensionBlocks[e].ByteCount);
        f.pixels.assign(s.RasterBits, s.RasterBits + size_t(f.width) * f.height);
        out.push_back(std::move(f));
    }
    DGifCloseFile(gif, &err);
    return true;
}

// This library's view of the same: every frame with pixels.
inline std::vector<RawFrame> OurFrames(xpGif10::TGIFImage& image) {
    std::vector<RawFrame> out;
    for (int i = 0; i < image.Images().Count(); ++i) {
        xpGif10::TGIFSubImage* s = image.Images()[i];
        if (s->Empty()) continue;
        RawFrame f;
        f.left = s->Left();
        f.top = s->Top();
        f.width = s->Width();
        f.height = s->Height();
        f.interlaced = s->Interlaced();
        f.localColors = s->ColorMap().Count();
        if (auto* g = s->GraphicControlExtension()) {
            uint16_t delay = g->Delay();
            f.control = {g->Packed(), uint8_t(delay), uint8_t(delay >> 8), g->TransparentColorIndex()};
        }
        f.pixels.assign(s->Data(), s->Data() + s->DataSize());
        out.push_back(std::move(f));
    }
    return out;
}

// Loads bytes; warnings are collected, errors are left to the caller.
inline void LoadBytes(xpGif10::TGIFImage& image, const std::vector<uint8_t>& bytes,
                      std::vector<std::string>* warnings = nullptr) {
    if (warnings)
        image.OnWarning = [warnings](xpGif10::TGIFImage*, platform::TPersistent*, int, const std::string& m) {
            warnings->push_back(m);
        };
    platform::TMemoryStream s(bytes);
    image.LoadFromStream(s);
}

inline std::vector<uint8_t> SaveBytes(xpGif10::TGIFImage& image) {
    platform::TMemoryStream s;
    image.SaveToStream(s);
    return s.Bytes();
}

} // namespace giftest

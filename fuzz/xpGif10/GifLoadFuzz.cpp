// Loads arbitrary bytes as a GIF image. Whatever loads is saved again and the
// saved stream must load back to the same frames: a save that fails or a
// frame that decodes differently after a round trip is a fault, not just a
// crash.
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

using namespace xpGif10;

namespace {
struct Frame {
    int w, h;
    std::vector<uint8_t> pixels;
};

std::vector<Frame> Frames(TGIFImage& image) {
    std::vector<Frame> out;
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFSubImage* f = image.Images()[i];
        if (f->Empty()) continue;
        out.push_back({f->Width(), f->Height(), std::vector<uint8_t>(f->Data(), f->Data() + f->DataSize())});
    }
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Small limits keep each run fast; the checks are the same at any limit.
    GIFMaxFramePixels = 1 << 18;
    GIFMaxImagePixels = 1 << 20;
    TGIFImage image;
    platform::TMemoryStream in(std::vector<uint8_t>(data, data + size));
    try {
        image.LoadFromStream(in);
    } catch (const platform::Exception&) {
        return 0;
    }
    {
        // A scan that decodes each frame when asked gives the same frames.
        TGIFImage scanned;
        scanned.Scan(std::make_shared<const std::vector<uint8_t>>(data, data + size));  // must not fail
        auto a = Frames(image), b = Frames(scanned);
        if (a.size() != b.size()) __builtin_trap();
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].w != b[i].w || a[i].h != b[i].h || a[i].pixels != b[i].pixels) __builtin_trap();
    }
    for (int compression = 0; compression < 2; ++compression) {
        image.Compression = compression;
        platform::TMemoryStream out;
        try {
            image.SaveToStream(out);
        } catch (const platform::Exception&) {
            // Whatever loads can be written again; only an image without
            // frames has no version to write.
            if (image.Images().Count() > 0) __builtin_trap();
            return 0;
        }
        TGIFImage again;
        out.SetPosition(0);
        again.LoadFromStream(out);  // must not fail
        auto a = Frames(image), b = Frames(again);
        if (a.size() != b.size()) __builtin_trap();
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].w != b[i].w || a[i].h != b[i].h || a[i].pixels != b[i].pixels) __builtin_trap();
    }
    return 0;
}

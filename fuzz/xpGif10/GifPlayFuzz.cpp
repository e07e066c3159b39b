// Plays arbitrary GIF data: whatever loads is drawn with a painter on a
// virtual clock (with flags taken from the data), rendered through the web
// palette, copied, optimized, and saved and loaded again. Crashes, hangs and
// sanitizer reports are the faults looked for; the optimized image must
// still save and load.
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Streams.h"
#include "xpGif10/GifClock.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifPainter.h"

#include <cstdint>
#include <vector>

using namespace platform;
using namespace xpGif10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // Drawing works per pixel: small limits keep each run fast.
    GIFMaxFramePixels = 1 << 14;
    GIFMaxImagePixels = 1 << 16;
    static std::shared_ptr<TVirtualClock> clock = [] {
        auto c = std::make_shared<TVirtualClock>();
        SetGIFClock(c);
        return c;
    }();
    const uint16_t flags = uint16_t(data[0] | data[1] << 8) & uint16_t(~(goAsync | goLoop | goLoopContinously));
    TGIFImage image;
    TMemoryStream in(std::vector<uint8_t>(data + 2, data + size));
    try {
        image.LoadFromStream(in);
    } catch (const Exception&) {
        return 0;
    }
    if (image.Empty() || image.Width() <= 0 || image.Height() <= 0 ||
        int64_t(image.Width()) * image.Height() > (1 << 16))
        return 0;
    try {
        TBitmap target;
        target.SetPixelFormat(TPixelFormat::pf24bit);
        target.SetSize(image.Width(), image.Height());
        image.Paint(target.Canvas(), TRect{0, 0, image.Width(), image.Height()}, flags);
        // Stretched to another size and through the composite bitmap.
        TBitmap small;
        small.SetSize(7, 5);
        image.DrawOptions = flags;
        image.Draw(small.Canvas(), TRect{0, 0, 7, 5});
        image.DrawOptions = uint16_t(goDither);
        for (int i = 0; i < image.Images().Count(); ++i) {
            image.Images()[i]->FreeBitmap();
            image.Images()[i]->HasMask();
        }
        TGIFImage copy;
        copy.Assign(&image);
        copy.Optimize(0x1F, 0);
        if (copy.Empty()) return 0;
        TMemoryStream out;
        copy.SaveToStream(out);
        out.SetPosition(0);
        TGIFImage again;
        again.LoadFromStream(out);
    } catch (const Exception&) {
        // Hostile data may fail anywhere with a clear error.
    }
    return 0;
}

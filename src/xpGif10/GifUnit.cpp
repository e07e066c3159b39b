#include "xpGif10/GifUnit.h"
#include "platform/Clipboard.h"
#include "platform/Graphics.h"
#include "platform/Screen.h"
#include "platform/Sync.h"
#include "xpGif10/GifExtension.h"
#include "xpGif10/GifImage.h"

#include <mutex>

namespace xpGif10 {

using namespace platform;

unsigned CF_GIF = 0;

namespace {
std::mutex unitLock;
int unitCount = 0;

TGraphicClass GifClass() {
    return {"TGIFImage", [] { return std::unique_ptr<TGraphic>(new TGIFImage); }};
}
} // namespace

void InitializeGifUnit() {
    std::lock_guard<std::mutex> guard(unitLock);
    if (unitCount++ > 0) return;
    TPicture::RegisterFileFormat("gif", msg::FormatDescription, GifClass());
    CF_GIF = ClipboardService().RegisterFormat(msg::FormatDescription);
    TPicture::RegisterClipboardFormat(CF_GIF, GifClass());
    // A screen of 8 bits per pixel or fewer draws through a palette.
    PaletteDevice = ScreenService().BitsPerPixel() < 9;
    // Painter threads hand their drawing to the main thread through the
    // platform's synchronisation queue, which always exists; marking the
    // starting thread as the main one is all it needs from us.
    if (!IsMainThread()) SetMainThread();
}

void FinalizeGifUnit() {
    std::lock_guard<std::mutex> guard(unitLock);
    if (unitCount == 0 || --unitCount > 0) return;
    TPicture::UnregisterGraphicClass("TGIFImage");
    FreeExtensionRegistries();
}

} // namespace xpGif10

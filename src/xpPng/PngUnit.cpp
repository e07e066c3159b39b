#include "xpPng/PngUnit.h"
#include "platform/Graphics.h"
#include "xpPng/PngImage.h"

#include <mutex>

namespace xpPng {

using namespace platform;

namespace {
std::mutex unitLock;
int unitCount = 0;
} // namespace

void InitializePngUnit() {
    std::lock_guard<std::mutex> guard(unitLock);
    if (unitCount++ > 0) return;
    TGraphicClass cls{"TPNGImage", [] { return std::unique_ptr<TGraphic>(new TPNGImage); }};
    TPicture::RegisterFileFormat("png", "PNG Image", cls);
}

void FinalizePngUnit() {
    std::lock_guard<std::mutex> guard(unitLock);
    if (unitCount == 0 || --unitCount > 0) return;
    TPicture::UnregisterGraphicClass("TPNGImage");
}

} // namespace xpPng

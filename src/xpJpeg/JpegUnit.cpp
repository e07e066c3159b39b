#include "xpJpeg/JpegUnit.h"
#include "platform/Graphics.h"
#include "xpJpeg/JpegImage.h"

#include <mutex>

namespace xpJpeg {

using namespace platform;

namespace {
std::mutex unitLock;
int unitCount = 0;
} // namespace

void InitializeJpegUnit() {
    std::lock_guard<std::mutex> guard(unitLock);
    if (unitCount++ > 0) return;
    TGraphicClass cls{"TJPEGImage", [] { return std::unique_ptr<TGraphic>(new TJPEGImage); }};
    TPicture::RegisterFileFormat("jpeg", "JPEG Image File", cls);
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", cls);
}

void FinalizeJpegUnit() {
    std::lock_guard<std::mutex> guard(unitLock);
    if (unitCount == 0 || --unitCount > 0) return;
    TPicture::UnregisterGraphicClass("TJPEGImage");
}

} // namespace xpJpeg

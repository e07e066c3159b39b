#pragma once
// Animations built through the model for the drawing and editing tests, and
// a main-thread wait that dispatches the synchronisation queue.
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Sync.h"
#include "xpGif10/GifImage.h"

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace giftest {

// Global colours by index.
inline const platform::TColor Colours[] = {platform::RGB(0, 0, 0),     platform::RGB(255, 0, 0),
                                           platform::RGB(0, 255, 0),   platform::RGB(0, 0, 255),
                                           platform::RGB(255, 255, 255), platform::RGB(255, 255, 0),
                                           platform::RGB(0, 255, 255), platform::RGB(255, 0, 255)};

struct FrameSpec {
    platform::TRect rect;
    uint8_t colour = 1;
    int delay = 0;
    int disposal = 0;
    int transparent = -1;   // transparent index, -1 for none
    bool gce = true;
    // Pixels given one by one (row by row) instead of the single colour.
    std::vector<uint8_t> pixels = {};
};

inline std::unique_ptr<xpGif10::TGIFImage> Animation(int width, int height, const std::vector<FrameSpec>& frames,
                                                     int loops = -1) {
    auto image = std::make_unique<xpGif10::TGIFImage>();
    image->Header().SetWidth(width);
    image->Header().SetHeight(height);
    for (platform::TColor c : Colours) image->GlobalColorMap().Add(c);
    for (const FrameSpec& s : frames) {
        auto f = std::make_unique<xpGif10::TGIFSubImage>(image.get());
        f->SetBounds(s.rect.left, s.rect.top, s.rect.Width(), s.rect.Height());
        uint8_t* p = f->Data();
        for (int64_t i = 0; i < f->DataSize(); ++i) p[i] = s.pixels.empty() ? s.colour : s.pixels[size_t(i)];
        if (s.gce) {
            auto gce = std::make_unique<xpGif10::TGIFGraphicControlExtension>(f.get());
            gce->SetDelay(uint16_t(s.delay));
            gce->SetDisposal(s.disposal);
            if (s.transparent >= 0) {
                gce->SetTransparentColorIndex(s.transparent);
                gce->SetTransparent(true);
            }
            f->Extensions().Add(std::move(gce));
        }
        image->Add(std::move(f));
    }
    if (loops >= 0) {
        auto loop = std::make_unique<xpGif10::TGIFAppExtNSLoop>(image->Images()[0]);
        loop->Loops = uint16_t(loops);
        image->Images()[0]->Extensions().Insert(0, std::move(loop));
    }
    return image;
}

inline std::unique_ptr<platform::TBitmap> Canvas24(int w, int h, platform::TColor fill) {
    auto b = std::make_unique<platform::TBitmap>();
    b->SetPixelFormat(platform::TPixelFormat::pf24bit);
    b->SetSize(w, h);
    b->Canvas().BrushColor = fill;
    b->Canvas().FillRect(platform::TRect{0, 0, w, h});
    return b;
}

// Dispatches the main thread's queue until done() holds; answers false when
// it does not within a generous guard time (a hang, not a timing check).
inline bool DispatchUntil(const std::function<bool()>& done) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        platform::CheckSynchronize();
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace giftest

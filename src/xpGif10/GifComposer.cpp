// Laying frames on a screen of colours, as the painter draws them with
// transparency on.
#include "xpGif10/GifComposer.h"
#include "xpGif10/GifSubImage.h"

#include <algorithm>

namespace xpGif10 {

TGIFComposer::TGIFComposer(int width, int height)
    : width_(std::max(0, width)), height_(std::max(0, height)),
      state_(size_t(width_) * size_t(height_), SeeThrough) {}

uint32_t TGIFComposer::ColourOf(TGIFSubImage& frame, uint8_t index) {
    if (frame.Transparent() && index == frame.TransparentColorIndex()) return SeeThrough;
    TGIFColorMap& map = frame.ActiveColorMap();
    if (index >= map.Count()) return Unknown;
    const TGIFColor& c = map.Data()[index];
    return uint32_t(c.Red) | uint32_t(c.Green) << 8 | uint32_t(c.Blue) << 16;
}

void TGIFComposer::Draw(TGIFSubImage& frame) {
    TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
    disposal_ = gce ? gce->Disposal() : dmNone;
    left_ = std::clamp(frame.Left(), 0, width_);
    top_ = std::clamp(frame.Top(), 0, height_);
    right_ = std::clamp(frame.Left() + frame.Width(), left_, width_);
    bottom_ = std::clamp(frame.Top() + frame.Height(), top_, height_);
    if (frame.Empty()) {
        right_ = left_;
        bottom_ = top_;
        return;
    }
    if (disposal_ == dmPrevious) saved_ = state_;
    // One table look-up per index rather than per pixel.
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = ColourOf(frame, uint8_t(i));
    for (int y = top_; y < bottom_; ++y) {
        const uint8_t* row = frame.Scanline(y - frame.Top());
        uint32_t* out = &state_[size_t(y) * size_t(width_)];
        for (int x = left_; x < right_; ++x) {
            const uint32_t c = colours[row[x - frame.Left()]];
            if (c != SeeThrough) out[x] = c;
        }
    }
}

void TGIFComposer::Dispose() {
    if (disposal_ != dmBackground && disposal_ != dmPrevious) return;
    for (int y = top_; y < bottom_; ++y) {
        uint32_t* out = &state_[size_t(y) * size_t(width_)];
        if (disposal_ == dmBackground)
            std::fill(out + left_, out + right_, SeeThrough);
        else
            std::copy(saved_.begin() + (out - state_.data()) + left_, saved_.begin() + (out - state_.data()) + right_,
                      out + left_);
    }
    disposal_ = dmNone;
}

} // namespace xpGif10

// The frame's drawing side: its rendered bitmap and mask on demand, drawing
// in proportion to the image, stretched or tiled, through the mask when
// asked for transparency, and the frame's Assign.
#include "xpGif10/GifFrameAssign.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifRender.h"

#include <mutex>

namespace xpGif10 {

using namespace platform;

std::shared_ptr<TBitmap> TGIFSubImage::Bitmap() {
    // Painter threads render the next frame while the main thread draws;
    // two painters of one image may ask for the same frame at once.
    static std::recursive_mutex renderLock;
    std::lock_guard<std::recursive_mutex> guard(renderLock);
    if (!bitmap_ && !Empty()) RenderFrame(*this);
    return bitmap_;
}

void TGIFSubImage::Draw(TCanvas& canvas, const TRect& rect, bool transparent, bool tile) {
    if (tile) {
        StretchDraw(canvas, rect, transparent, tile);
        return;
    }
    int iw = image_ && image_->Width() > 0 ? image_->Width() : width_;
    int ih = image_ && image_->Height() > 0 ? image_->Height() : height_;
    if (iw <= 0 || ih <= 0) return;
    const int rw = rect.Width(), rh = rect.Height();
    TRect target{rect.left + MulDiv(left_, rw, iw), rect.top + MulDiv(top_, rh, ih),
                 rect.left + MulDiv(left_ + width_, rw, iw), rect.top + MulDiv(top_ + height_, rh, ih)};
    StretchDraw(canvas, target, transparent, tile);
}

void TGIFSubImage::StretchDraw(TCanvas& canvas, const TRect& rect, bool transparent, bool tile) {
    if (!Bitmap()) return;
    const bool masked = transparent && transparent_ && HasMask();
    std::shared_ptr<TBitmap> bitmap = bitmap_;
    std::shared_ptr<TBitmap> mask = mask_;
    if (!bitmap) return;
    auto drawOne = [&](const TRect& r) {
        if (masked && mask)
            DrawThroughMask(canvas, r, *bitmap, *mask);
        else
            canvas.StretchDraw(r, *bitmap);
    };
    if (!tile) {
        drawOne(rect);
        return;
    }
    const int iw = image_ && image_->Width() > 0 ? image_->Width() : width_;
    const int ih = image_ && image_->Height() > 0 ? image_->Height() : height_;
    if (iw <= 0 || ih <= 0) return;
    for (int y = rect.top + top_; y < rect.bottom; y += ih)
        for (int x = rect.left + left_; x < rect.right; x += iw) drawOne(TRect{x, y, x + width_, y + height_});
}

void TGIFSubImage::Assign(const TPersistent* source) {
    if (source == this) return;
    if (!source) {
        Clear();
        return;
    }
    AssignToFrame(*this, source);
}

} // namespace xpGif10

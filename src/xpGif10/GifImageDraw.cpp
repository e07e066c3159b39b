// The image's drawing side: still pictures, the composite bitmap, painters
// for animations and stopping them. Waits on the main thread run the
// synchronisation queue instead of blocking, so threaded painters that are
// handing a drawing step to the main thread can finish.
#include "platform/Sync.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifPainter.h"

#include <thread>

namespace xpGif10 {

using namespace platform;

namespace {

// Runs the queued main-thread work once and gives up the time slice. An
// error raised by queued work is held and queued again after the wait, so
// the waits themselves never throw (they run in destructors too).
class MainThreadWait {
public:
    ~MainThreadWait() {
        for (auto& e : errors_) Queue([e] { std::rethrow_exception(e); });
    }
    void Step() {
        if (IsMainThread()) {
            try {
                CheckSynchronize();
            } catch (...) {
                errors_.push_back(std::current_exception());
            }
        }
        std::this_thread::yield();
    }

private:
    std::vector<std::exception_ptr> errors_;
};

} // namespace

std::shared_ptr<TBitmap> TGIFImage::NewBitmap() {
    auto b = std::make_shared<TBitmap>();
    b->SetPixelFormat(TPixelFormat::pf24bit);
    b->SetPalette(CopyPalette(Palette()));
    b->SetSize(Width(), Height());
    b->OnChange = [this](TGraphic*) { Changed(this); };
    return b;
}

std::shared_ptr<TBitmap> TGIFImage::Bitmap() {
    if (bitmap_ || Empty()) return bitmap_;
    TGIFSubImage* first = images_[0];
    auto b = std::make_shared<TBitmap>();
    if (first->Width() == Width() && first->Height() == Height() && first->Bitmap()) {
        b->Assign(first->Bitmap().get());
    } else {
        b->SetPixelFormat(TPixelFormat::pf24bit);
        b->SetPalette(CopyPalette(Palette()));
        b->SetSize(Width(), Height());
        first->Draw(b->Canvas(), TRect{0, 0, Width(), Height()}, false, false);
    }
    b->OnChange = [this](TGraphic*) { Changed(this); };
    bitmap_ = b;
    return bitmap_;
}

void TGIFImage::FreeBitmap() { bitmap_.reset(); }

TGIFPainter* TGIFImage::Paint(TCanvas& canvas, const TRect& rect, uint16_t options, TGIFPainter** reference) {
    if (Empty() || rect.Width() <= 0 || rect.Height() <= 0) {
        if (reference) *reference = nullptr;
        return nullptr;
    }
    // A single frame is never animated and never gets a thread.
    if (images_.Count() == 1) options &= uint16_t(~(goAsync | goAnimate));
    auto* painter = new TGIFPainter(this, canvas, rect, options, reference);
    {
        std::lock_guard<std::recursive_mutex> guard(painters_.Mutex());
        if (reference) *reference = painter;
        painters_.Add(painter);
    }
    painter->OnStartPaint = OnStartPaint;
    painter->OnPaint = OnPaint;
    painter->OnAfterPaint = OnAfterPaint;
    painter->OnLoop = OnLoop;
    painter->OnEndPaint = OnEndPaint;
    if (options & goAsync) return painter;
    std::exception_ptr error;
    try {
        painter->Execute();
    } catch (...) {
        error = std::current_exception();
    }
    if (!error) error = painter->Error();
    painter->Cleanup();
    delete painter;
    if (error) std::rethrow_exception(error);
    return nullptr;
}

void TGIFImage::PaintStop() {
    MainThreadWait wait;
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> guard(painters_.Mutex());
            if (!drawPainter_) break;
            drawPainter_->Stop();
            if (!drawPainter_->Threaded()) break;
        }
        wait.Step();
    }
    {
        std::lock_guard<std::recursive_mutex> guard(painters_.Mutex());
        if (drawPainter_) drawPainter_->Stop();
    }
    FreeBitmap();
}

void TGIFImage::StopDraw() {
    MainThreadWait wait;
    for (;;) {
        int threaded = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(painters_.Mutex());
            std::vector<TGIFPainter*> items = painters_.Items();
            if (items.empty()) break;
            for (TGIFPainter* p : items) {
                p->Stop();
                if (p->Threaded()) ++threaded;
            }
        }
        if (threaded == 0) break;
        wait.Step();
    }
    PaintStop();
}

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect) {
    if (drawing_ || Empty()) return;
    drawing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{drawing_};

    const bool tile = (DrawOptions & goTile) != 0;
    if (images_.Count() == 1 || !(DrawOptions & goAnimate)) {
        images_[0]->Draw(canvas, rect, (DrawOptions & goTransparent) != 0, tile);
        return;
    }
    auto drawComposite = [&] {
        std::shared_ptr<TBitmap> b = bitmap_;
        if (!b) return;
        if (tile)
            canvas.TileDraw(rect, *b);
        else
            canvas.StretchDraw(rect, *b);
    };
    const bool direct = (DrawOptions & goDirectDraw) != 0;
    if (bitmap_ && !direct) {
        drawComposite();
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(painters_.Mutex());
    if (drawPainter_ && drawPainter_->Canvas() == &canvas && drawPainter_->Rect() == rect) return;
    PaintStop();
    TGIFPainter* painter;
    if (direct) {
        painter = Paint(canvas, rect, DrawOptions, &drawPainter_);
    } else {
        std::shared_ptr<TBitmap> animation = NewBitmap();
        const TRect whole{0, 0, Width(), Height()};
        // See-through parts show what was there.
        animation->Canvas().CopyRect(whole, canvas, rect);
        bitmap_ = animation;
        painter = Paint(animation->Canvas(), whole, DrawOptions, &drawPainter_);
    }
    if (!painter) return;
    painter->Start();
    if (direct) return;
    // The painter's cleanup runs on this thread and clears drawPainter_, so
    // the painter is alive for as long as drawPainter_ points to it.
    MainThreadWait wait;
    while (drawPainter_ == painter && !painter->Started()) wait.Step();
    drawComposite();
}

} // namespace xpGif10

#include "xpGif10/GifPainter.h"
#include "platform/Sync.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifRender.h"

#include <set>
#include <thread>

namespace xpGif10 {

using namespace platform;

int GIFDelayExp = 12;
int GIFDefaultDelay = 10;
int GIFMinimumDelay = 3;
int GIFMaximumDelay = 1000;

namespace {
std::unique_ptr<TBitmap> Buffer(int w, int h, TColor brush) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(TPixelFormat::pf24bit);
    b->SetSize(w, h);
    b->Canvas().BrushColor = brush;
    return b;
}
} // namespace

TGIFPainter::TGIFPainter(TGIFImage* image, TCanvas& canvas, const TRect& rect, uint16_t options,
                         TGIFPainter** reference)
    : image_(image), canvas_(&canvas), rect_(rect), options_(options), reference_(reference), clock_(GIFClock()),
      speed_(image->AnimationSpeed) {
    std::set<int> disposals;
    for (int i = 0; i < image_->Images().Count(); ++i)
        if (auto* gce = image_->Images()[i]->GraphicControlExtension()) disposals.insert(gce->Disposal());
    if (options_ & goClearOnLoop) disposals.insert(dmBackground);
    if (image_->DrawBackgroundColor != clNone)
        background_ = image_->DrawBackgroundColor & 0xFFFFFF;
    else if (image_->GlobalColorMap().Count() == 0)
        background_ = clWhite;   // the system's window colour
    else
        background_ = image_->BackgroundColor() & 0xFFFFFF;
    const int w = rect_.Width(), h = rect_.Height();
    const TRect area{0, 0, w, h};
    const bool restores = disposals.count(dmBackground) != 0;
    if (restores && (options_ & goTransparent)) {
        background_bitmap_ = Buffer(w, h, background_);
        background_bitmap_->Canvas().CopyRect(area, *canvas_, rect_);
    }
    if (restores || disposals.count(dmPrevious)) {
        backup_ = Buffer(w, h, background_);
        backup_->Canvas().CopyRect(area, *canvas_, rect_);
        frameBuffer_ = Buffer(w, h, background_);
    }
    if (Threaded() && (options_ & goAnimate) && image_->Images().Count() > 1 && speed_ >= 0)
        event_ = std::make_unique<TGIFEvent>();
}

TGIFPainter::~TGIFPainter() = default;

bool TGIFPainter::Threaded() const { return (options_ & goAsync) != 0; }

void TGIFPainter::Start() {
    if (!Threaded() || running_.exchange(true)) return;
    std::thread(&TGIFPainter::ThreadMain, this).detach();
}

void TGIFPainter::Stop() {
    terminated_ = true;
    if (!Threaded()) return;
    if (event_) event_->Set();
    // A painter still suspended is started so that it ends by itself.
    Start();
}

void TGIFPainter::ThreadMain() {
    Execute();
    // The cleanup touches the image's painter list, which the main thread
    // may hold while it dispatches: it runs there.
    try {
        Synchronize([this] { Cleanup(); });
    } catch (...) {
    }
    if (error_) {
        std::exception_ptr error = error_;
        Queue([error] { std::rethrow_exception(error); });
    }
    delete this;
}

void TGIFPainter::Cleanup() {
    if (!image_) return;
    TGIFPainterList& list = image_->Painters();
    list.Lock();
    if (reference_ && *reference_ == this) *reference_ = nullptr;
    list.Unlock();
    list.Remove(this);
    image_ = nullptr;
    backup_.reset();
    frameBuffer_.reset();
    background_bitmap_.reset();
}

void TGIFPainter::Run(const std::function<void()>& call) {
    if (Threaded())
        Synchronize(call);
    else
        call();
}

void TGIFPainter::DoEvent(const Event& event) {
    if (!event || terminated_) return;
    Run([&] { event(this); });
}

void TGIFPainter::WaitFrame(int units) {
    if (units < 1) {
        lastWaitMs_ = 0;
        clock_->Yield();
        return;
    }
    // Rendering the frame now lets the wait absorb the time it takes.
    const int index = activeImage_;
    if (index >= 0 && index < image_->Images().Count()) image_->Images()[index]->Bitmap();
    const int64_t now = clock_->Now();
    int64_t ms;
    if (speed_ < 1) {
        if (!Threaded())
            ms = int64_t(GIFMaximumDelay) * GIFDelayExp;
        else
            ms = speed_ == 0 ? -1 : 0;
    } else {
        // Half of the last overrun is taken off this wait.
        const int64_t overrun = now - lastTime_ - lastWait_;
        ms = (int64_t(units) * GIFDelayExp - overrun / 2) * 100 / speed_;
        if (ms > int64_t(INT32_MAX) || ms < int64_t(INT32_MIN)) ms = int64_t(GIFMaximumDelay) * GIFDelayExp;
    }
    lastTime_ = now;
    lastWait_ = ms < 0 ? 0 : ms;
    if (Threaded()) {
        lastWaitMs_ = ms;
        if (ms > 0 || speed_ == 0) {
            bool woken = event_ ? clock_->WaitFor(*event_, ms) : (clock_->Sleep(ms), false);
            if (woken) {
                // Woken early: the timing starts again from here.
                lastTime_ = clock_->Now();
                lastWait_ = 0;
            }
        }
        return;
    }
    if (ms < 1) ms = 1;
    lastWaitMs_ = ms;
    int64_t remaining = ms;
    while (remaining > 0 && !terminated_) {
        const int64_t slice = remaining < 100 ? remaining : 100;
        const int64_t start = clock_->Now();
        clock_->Sleep(slice);
        int64_t passed = clock_->Now() - start;
        remaining -= passed > 0 ? passed : slice;
        // Keep the main thread's queued work moving while this painter
        // holds it.
        if (IsMainThread()) CheckSynchronize();
    }
}

void TGIFPainter::Execute() {
    try {
        activeImage_ = 0;
        DoEvent(OnStartPaint);
        started_ = false;
        int remaining = 1;
        int loopStart = 0;
        bool loopSeen = false;
        int units = Threaded() ? 0 : 1;
        int previous = dmNoDispose;
        lastTime_ = clock_->Now();
        lastWait_ = 0;
        const bool animate = (options_ & goAnimate) != 0;
        while ((remaining != 0 || (options_ & goLoopContinously)) && !terminated_) {
            activeImage_ = loopStart;
            if (started_) DoEvent(OnLoop);
            do {
                const int index = activeImage_;
                if (index < 0 || index >= image_->Images().Count() || terminated_) break;
                TGIFSubImage* frame = image_->Images()[index];
                if (frame->Empty()) break;
                WaitFrame(units);
                if (terminated_) break;
                DoEvent(OnPaint);
                if (terminated_) break;
                int disposal = dmNoDispose;
                for (int e = 0; e < frame->Extensions().Count(); ++e) {
                    TGIFExtension* ext = frame->Extensions()[e];
                    if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(ext)) {
                        if (!loopSeen) {
                            loopSeen = true;
                            const bool endless = (loop->Loops == 0 || (options_ & goLoopContinously)) && Threaded();
                            remaining = endless ? -1 : loop->Loops;
                            loopStart = index;
                        }
                    } else if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext)) {
                        disposal = gce->Disposal();
                    }
                }
                Run([&] {
                    if (terminated_) return;
                    if (backup_)
                        BufferedDraw(disposal, previous);
                    else
                        SimpleDraw();
                });
                previous = disposal;
                if (terminated_) break;
                units = GIFDefaultDelay;
                if (auto* gce = frame->GraphicControlExtension(); gce && gce->Delay() != 0) {
                    units = gce->Delay() < GIFMinimumDelay ? GIFMinimumDelay : gce->Delay();
                    if (units > GIFMaximumDelay && !Threaded()) units = GIFMaximumDelay;
                }
                DoEvent(OnAfterPaint);
                if (terminated_) break;
                if (activeImage_ == index) activeImage_ = index + 1;
            } while (animate);
            if (remaining > 0) --remaining;
            if (!(animate && (options_ & goLoop))) break;
        }
        activeImage_ = -1;
        DoEvent(OnEndPaint);
    } catch (const Exception&) {
        terminated_ = true;
        error_ = std::current_exception();
    } catch (const std::exception& e) {
        // Anything else (memory running out, say) would end the process on
        // this thread: it becomes the painter's error like the library's own.
        terminated_ = true;
        error_ = std::make_exception_ptr(GIFException(std::string("The animation stopped: ") + e.what()));
    } catch (...) {
        terminated_ = true;
        error_ = std::make_exception_ptr(GIFException("The animation stopped on an unknown error"));
    }
    finished_ = true;
}

TRect TGIFPainter::FrameRect(int index) const {
    TGIFSubImage* f = image_->Images()[index];
    const int iw = image_->Width() > 0 ? image_->Width() : f->Width();
    const int ih = image_->Height() > 0 ? image_->Height() : f->Height();
    const int w = rect_.Width(), h = rect_.Height();
    return TRect{MulDiv(f->Left(), w, iw), MulDiv(f->Top(), h, ih), MulDiv(f->Left() + f->Width(), w, iw),
                 MulDiv(f->Top() + f->Height(), h, ih)};
}

void TGIFPainter::SimpleDraw() {
    image_->Images()[activeImage_]->Draw(*canvas_, rect_, (options_ & goTransparent) != 0, (options_ & goTile) != 0);
    started_ = true;
}

void TGIFPainter::BufferedDraw(int disposal, int previous) {
    // Disposal methods 4 to 7 have no meaning of their own: they draw as
    // no disposal.
    if (disposal > dmPrevious) disposal = dmNoDispose;
    if (previous > dmPrevious) previous = dmNoDispose;
    const TRect area{0, 0, rect_.Width(), rect_.Height()};
    const bool clearFirst = (options_ & goClearOnLoop) && activeImage_ == 0;
    TCanvas* target;
    TRect targetRect;
    TBitmap* copyFrom = nullptr;
    if (disposal < dmPrevious) {
        if (clearFirst) RestoreBackground(*backup_);
        target = &backup_->Canvas();
        targetRect = area;
        copyFrom = backup_.get();
    } else if (previous < dmBackground) {
        // Straight onto the target: the backup keeps the picture from
        // before this frame, which the next frame starts from.
        if (clearFirst) RestoreBackground(*backup_);
        target = canvas_;
        targetRect = rect_;
    } else {
        if (clearFirst) RestoreBackground(*backup_);
        frameBuffer_->Canvas().CopyRect(area, backup_->Canvas(), area);
        target = &frameBuffer_->Canvas();
        targetRect = area;
        copyFrom = frameBuffer_.get();
    }
    image_->Images()[activeImage_]->Draw(*target, targetRect, (options_ & goTransparent) != 0,
                                         (options_ & goTile) != 0);
    if (copyFrom) {
        const TCopyMode saved = canvas_->CopyMode;
        canvas_->CopyMode = TCopyMode::cmSrcCopy;
        canvas_->CopyRect(rect_, copyFrom->Canvas(), area);
        canvas_->CopyMode = saved;
    }
    if (disposal == dmBackground) RestoreBackground(*backup_);
    started_ = true;
}

void TGIFPainter::RestoreBackground(TBitmap& buffer) {
    TGIFSubImage* f = image_->Images()[activeImage_];
    const int iw = image_->Width(), ih = image_->Height();
    const bool tile = (options_ & goTile) != 0 && iw > 0 && ih > 0;
    std::vector<TRect> places;
    if (tile) {
        for (int y = f->Top(); y < rect_.Height(); y += ih)
            for (int x = f->Left(); x < rect_.Width(); x += iw) places.push_back({x, y, x + f->Width(), y + f->Height()});
    } else {
        places.push_back(FrameRect(activeImage_));
    }
    TCanvas& canvas = buffer.Canvas();
    if ((options_ & goTransparent) && background_bitmap_) {
        for (const TRect& r : places) canvas.CopyRect(r, background_bitmap_->Canvas(), r);
        return;
    }
    const TColor saved = canvas.BrushColor;
    if (tile && f->Width() < iw && f->Height() < ih) {
        canvas.BrushColor = image_->DrawBackgroundColor != clNone ? image_->DrawBackgroundColor : background_;
        for (const TRect& r : places) canvas.FillRect(r);
    } else {
        canvas.BrushColor = background_;
        canvas.FillRect(FrameRect(activeImage_));
    }
    canvas.BrushColor = saved;
}

} // namespace xpGif10

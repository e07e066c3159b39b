#pragma once
// A painter plays a GIF image onto a canvas: frame after frame with the
// frames' delays, disposal methods and the loop count, either inside the
// call that made it or on a thread of its own. A threaded painter never
// touches a canvas itself: every drawing step and every event handler runs
// on the main thread through platform::Synchronize.
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "xpGif10/GifClock.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace xpGif10 {

class TGIFImage;

// One delay unit of a graphic control extension in milliseconds, the delay
// of a frame without one (or with 0), the shortest delay, and the longest
// delay of a painter without a thread, in units.
extern int GIFDelayExp;             // 12
extern int GIFDefaultDelay;         // 10
extern int GIFMinimumDelay;         // 3
extern int GIFMaximumDelay;         // 1000

class TGIFPainter : public platform::TPersistent {
public:
    using Event = std::function<void(platform::TPersistent* sender)>;

    // Made suspended. reference, when given, is where the creator keeps its
    // pointer to the painter; it is cleared when the painter ends.
    TGIFPainter(TGIFImage* image, platform::TCanvas& canvas, const platform::TRect& rect, uint16_t options,
                TGIFPainter** reference);
    ~TGIFPainter() override;
    TGIFPainter(const TGIFPainter&) = delete;
    TGIFPainter& operator=(const TGIFPainter&) = delete;
    std::string ClassName() const override { return "TGIFPainter"; }

    // Starts a threaded painter's thread (once); the painter frees itself
    // when its thread ends.
    void Start();
    // Marks the painter stopped and wakes it, so that it ends promptly.
    void Stop();
    // The painter body: plays the frames.
    void Execute();
    // Unhooks the painter from its image and frees its buffers.
    void Cleanup();

    bool Threaded() const;
    bool Terminated() const { return terminated_; }
    // A frame has been drawn.
    bool Started() const { return started_; }
    // The body has run to its end.
    bool Finished() const { return finished_; }
    // The error that stopped the painter, if any.
    std::exception_ptr Error() const { return error_; }

    // The frame being played (-1 before and after); an after-paint handler
    // may set the next one.
    int ActiveImage() const { return activeImage_; }
    void SetActiveImage(int index) { activeImage_ = index; }
    // The wait in milliseconds before the frame being played (below 0:
    // without limit).
    int64_t LastWait() const { return lastWaitMs_; }

    TGIFImage* Image() const { return image_; }
    platform::TCanvas* Canvas() const { return canvas_; }
    const platform::TRect& Rect() const { return rect_; }
    uint16_t DrawOptions() const { return options_; }
    platform::TColor BackgroundColor() const { return background_; }

    Event OnStartPaint, OnPaint, OnAfterPaint, OnLoop, OnEndPaint;

private:
    void ThreadMain();
    void DoEvent(const Event& event);
    void Run(const std::function<void()>& call);
    void WaitFrame(int units);
    void DrawFrame(int disposal, int previous);
    void SimpleDraw();
    void BufferedDraw(int disposal, int previous);
    void RestoreBackground(platform::TBitmap& buffer);
    platform::TRect FrameRect(int index) const;

    TGIFImage* image_;
    platform::TCanvas* canvas_;
    platform::TRect rect_;
    uint16_t options_;
    TGIFPainter** reference_;
    std::shared_ptr<TGIFClock> clock_;
    int speed_;
    platform::TColor background_ = platform::clWhite;
    std::unique_ptr<platform::TBitmap> backup_, frameBuffer_, background_bitmap_;
    std::unique_ptr<TGIFEvent> event_;
    std::atomic<int> activeImage_{-1};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> running_{false};
    std::exception_ptr error_;
    int64_t lastTime_ = 0;
    int64_t lastWait_ = 0;
    std::atomic<int64_t> lastWaitMs_{0};
};

} // namespace xpGif10

// Shrinking an image: sorting colour maps, merging each frame with the
// picture before it, cropping transparent frames and dropping extensions
// and frames that carry nothing.
#include "xpGif10/GifFrameDiff.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifPainter.h"
#include "xpGif10/GifReduce.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace xpGif10 {

using namespace platform;

namespace {

constexpr const char* Optimizing = "Optimizing...";

int DisposalOf(TGIFSubImage* f) {
    TGIFGraphicControlExtension* gce = f->GraphicControlExtension();
    return gce ? gce->Disposal() : dmNone;
}

bool Overlap(const TRect& a, const TRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Inside(const TRect& inner, const TRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool UsesIndex(TGIFSubImage* f, int index) {
    if (f->Empty()) return false;
    const uint8_t* p = f->Data();
    return std::find(p, p + f->DataSize(), uint8_t(index)) != p + f->DataSize();
}

// Makes the pixels of frame that repeat the earlier frame's visible pixel
// transparent.
void Merge(TGIFImage& image, TGIFSubImage* frame, TGIFSubImage* earlier) {
    const TRect a = frame->BoundsRect(), b = earlier->BoundsRect();
    const int l = std::max(a.left, b.left), t = std::max(a.top, b.top);
    const int r = std::min(a.right, b.right), bt = std::min(a.bottom, b.bottom);
    TGIFColorMap& map = frame->ActiveColorMap();
    TGIFColorMap& earlierMap = earlier->ActiveColorMap();
    const int earlierTransparent = earlier->Transparent() ? earlier->TransparentColorIndex() : -1;
    int transparent = frame->Transparent() ? frame->TransparentColorIndex() : -1;
    bool changed = false;
    for (int y = t; y < bt; ++y) {
        uint8_t* row = frame->Scanline(y - a.top);
        const uint8_t* other = earlier->Scanline(y - b.top);
        for (int x = l; x < r; ++x) {
            uint8_t& px = row[x - a.left];
            const uint8_t ep = other[x - b.left];
            if (px == transparent || ep == earlierTransparent) continue;
            if (px >= map.Count() || ep >= earlierMap.Count()) continue;
            const TGIFColor& c = map.Data()[px];
            const TGIFColor& e = earlierMap.Data()[ep];
            if (!(c == e)) continue;
            if (transparent < 0) {
                // Another frame's transparent index serves when this frame
                // draws through the same global map and never shows that
                // index; otherwise a black entry is added.
                if (frame->ColorMap().Count() == 0)
                    for (int i = 0; i < image.Images().Count() && transparent < 0; ++i) {
                        TGIFSubImage* o = image.Images()[i];
                        if (o != frame && o->Transparent() && o->ColorMap().Count() == 0 &&
                            !UsesIndex(frame, o->TransparentColorIndex()))
                            transparent = o->TransparentColorIndex();
                    }
                if (transparent < 0) transparent = map.Add(clBlack);
                TGIFGraphicControlExtension* gce = &ControlExtensionOf(*frame);
                gce->SetTransparentColorIndex(transparent);
                gce->SetTransparent(true);
            }
            px = uint8_t(transparent);
            changed = true;
        }
    }
    if (changed) frame->FreeBitmap();
}

// Crops a transparent frame to its visible pixels; answers false when none
// is left.
bool Crop(TGIFSubImage* f) {
    const int t = f->TransparentColorIndex();
    int minX = f->Width(), minY = f->Height(), maxX = -1, maxY = -1;
    for (int y = 0; y < f->Height(); ++y) {
        const uint8_t* row = f->Scanline(y);
        for (int x = 0; x < f->Width(); ++x)
            if (row[x] != t) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    }
    if (maxX < 0) return false;
    const int w = maxX - minX + 1, h = maxY - minY + 1;
    if (w == f->Width() && h == f->Height()) return true;
    std::vector<uint8_t> kept(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) std::memcpy(&kept[size_t(y) * size_t(w)], f->Scanline(minY + y) + minX, size_t(w));
    f->SetBounds(f->Left() + minX, f->Top() + minY, w, h);
    std::memcpy(f->Data(), kept.data(), kept.size());
    f->FreeBitmap();
    return true;
}

// The wait a frame's delay is played as, in delay units.
int PlayedDelay(TGIFSubImage* f) {
    TGIFGraphicControlExtension* gce = f->GraphicControlExtension();
    if (!gce || gce->Delay() == 0) return GIFDefaultDelay;
    return std::max<int>(gce->Delay(), GIFMinimumDelay);
}

// Deletes frame i, which draws nothing, when the animation plays the same
// without it: the frame before keeps showing for both waits. Not the first
// frame (the state before anything is drawn would lose its wait), not after
// a frame that is cleared or put back (what shows during this frame's wait
// is that cleared picture), and not a frame that carries more than its
// graphic control extension.
bool DropInvisible(TGIFImageList& frames, int i) {
    if (i == 0) return false;
    TGIFSubImage* f = frames[i];
    TGIFSubImage* prev = frames[i - 1];
    const int pd = DisposalOf(prev);
    if (pd == dmBackground || pd == dmPrevious || prev->Empty()) return false;
    TGIFGraphicControlExtension* gce = f->GraphicControlExtension();
    if (f->Extensions().Count() != (gce ? 1 : 0) || (gce && gce->UserInput())) return false;
    const int total = PlayedDelay(prev) + PlayedDelay(f);
    // Above the longest wait the painter would cut it short.
    if (total > GIFMaximumDelay) return false;
    TGIFGraphicControlExtension* pg = &ControlExtensionOf(*prev);
    frames.Delete(i);
    pg->SetDelay(uint16_t(total));
    return true;
}

// A frame that draws nothing but must stay: one transparent pixel.
void KeepOnePixel(TGIFSubImage* f) {
    const uint8_t t = uint8_t(f->TransparentColorIndex());
    f->SetBounds(f->Left(), f->Top(), 1, 1);
    f->Data()[0] = t;
    f->FreeBitmap();
}

// Cuts a frame to the logical screen: what lies past its edges is never
// drawn, and a frame kept whole there would have cropping grow the screen.
// A frame wholly outside draws nothing and becomes one transparent pixel.
void ClipToScreen(TGIFImage& image, TGIFSubImage* f) {
    const int sw = image.Width(), sh = image.Height();
    if (sw <= 0 || sh <= 0 || f->Empty()) return;
    const TRect b = f->BoundsRect();
    const TRect kept{std::min(b.left, sw), std::min(b.top, sh), std::min(b.right, sw), std::min(b.bottom, sh)};
    if (kept.right == b.right && kept.bottom == b.bottom) return;
    if (kept.Width() <= 0 || kept.Height() <= 0) {
        TGIFGraphicControlExtension& gce = ControlExtensionOf(*f);
        if (!gce.Transparent()) {
            gce.SetTransparentColorIndex(0);
            gce.SetTransparent(true);
        }
        if (gce.Disposal() == dmBackground) gce.SetDisposal(dmNoDispose);
        const uint8_t t = uint8_t(gce.TransparentColorIndex());
        f->SetBounds(0, 0, 1, 1);
        f->Data()[0] = t;
        f->FreeBitmap();
        return;
    }
    std::vector<uint8_t> pixels = f->Region(TRect{0, 0, kept.Width(), kept.Height()});
    f->SetBounds(kept.left, kept.top, kept.Width(), kept.Height());
    std::memcpy(f->Data(), pixels.data(), pixels.size());
    f->FreeBitmap();
}

} // namespace

void TGIFImage::Optimize(int options, int reductionMethod) {
    if (Empty()) return;
    StopDraw();
    std::lock_guard<std::recursive_mutex> guard(painters_.Mutex());
    Progress(this, TProgressStage::psStarting, 0, false, TRect{}, Optimizing);
    int step = 0;
    const std::function<void()> tick = [&] {
        const int total = std::max(1, images_.Count() * 6);
        Progress(this, TProgressStage::psRunning, std::min(100, ++step * 100 / total), false, TRect{}, Optimizing);
    };
    try {
        ClipFramesToScreen();
        if (options & ooColorMap) SortColorMaps(tick, (options & ooDifference) != 0);
        if (options & ooCleanup) DropNeedlessTransparencyAndDisposal(tick);
        if (options & ooMerge) MergeWithEarlierFrames(tick);
        if (options & ooDifference) KeepOnlyChanges((options & ooColorMap) != 0);
        if (options & ooCrop) CropTransparentFrames(tick);
        if (options & ooCleanup)
            DropNeedlessExtensions(tick);
        else if ((options & ooReduceColors) && reductionMethod == rmPalette)
            throw GIFException("Invalid reduction method");
    } catch (...) {
        Progress(this, TProgressStage::psEnding, 0, false, TRect{}, Optimizing);
        throw;
    }
    Progress(this, TProgressStage::psEnding, 100, false, TRect{}, Optimizing);
    FreeBitmap();
    Changed(this);
}

void TGIFImage::ClipFramesToScreen() {
    for (int i = 0; i < images_.Count(); ++i) {
        TGIFSubImage* f = images_[i];
        ClipToScreen(*this, f);
        // Every step after this works on whole frames: a huge frame whose
        // data fills only a sliver of it would take the memory of its
        // declared size for nothing.
        if (f->Partial() && f->DataSize() > GIFWholeWriteLimit)
            throw GIFException("Frame " + std::to_string(i + 1) + " of " + std::to_string(f->Width()) + " x " +
                               std::to_string(f->Height()) +
                               " pixels holds data for only a part of them: too damaged to optimize");
    }
}

void TGIFImage::SortColorMaps(const std::function<void()>& tick, bool share) {
    if (GlobalColorMap().Count() > 0) GlobalColorMap().Optimize();
    for (int i = 0; i < images_.Count(); ++i) {
        if (images_[i]->ColorMap().Count() > 0) images_[i]->ColorMap().Optimize();
        tick();
    }
    if (share) ShareGlobalColors(*this);
}

void TGIFImage::DropNeedlessTransparencyAndDisposal(const std::function<void()>& tick) {
    for (int i = 0; i < images_.Count(); ++i) {
        TGIFSubImage* f = images_[i];
        if (f->Transparent() && f->GraphicControlExtension() && !UsesIndex(f, f->TransparentColorIndex()))
            f->GraphicControlExtension()->SetTransparent(false);
    }
    // Restoring after a frame is needless when the next frame is opaque,
    // covers it entirely and is not itself restored to the picture before
    // it (which would then differ).
    for (int i = 0; i + 1 < images_.Count(); ++i) {
        TGIFSubImage* f = images_[i];
        TGIFSubImage* next = images_[i + 1];
        const int d = DisposalOf(f);
        if ((d == dmBackground || d == dmPrevious) && !next->Transparent() && !next->Empty() &&
            DisposalOf(next) != dmPrevious && Inside(f->BoundsRect(), next->BoundsRect()))
            f->GraphicControlExtension()->SetDisposal(dmNone);
        tick();
    }
}

void TGIFImage::MergeWithEarlierFrames(const std::function<void()>& tick) {
    for (int i = images_.Count() - 1; i >= 1; --i) {
        TGIFSubImage* f = images_[i];
        // A frame put back afterwards leaves the picture before it.
        int p = i - 1;
        while (p >= 0 && DisposalOf(images_[p]) == dmPrevious) --p;
        tick();
        if (p < 0) continue;
        TGIFSubImage* earlier = images_[p];
        const int d = DisposalOf(earlier);
        if (f->Empty() || earlier->Empty() || d == dmBackground || d == dmPrevious) continue;
        if (!Overlap(f->BoundsRect(), earlier->BoundsRect())) continue;
        if (!f->Transparent() && f->ActiveColorMap().Count() >= 256) continue;
        Merge(*this, f, earlier);
    }
}

void TGIFImage::KeepOnlyChanges(bool sortColorMaps) {
    DifferenceFrames(*this);
    // Differencing leaves colours unused and frames small enough to draw
    // through the global table.
    if (!sortColorMaps) return;
    for (int i = 0; i < images_.Count(); ++i)
        if (images_[i]->ColorMap().Count() > 0) images_[i]->ColorMap().Optimize();
    ShareGlobalColors(*this);
}

void TGIFImage::CropTransparentFrames(const std::function<void()>& tick) {
    for (int i = images_.Count() - 1; i >= 0; --i) {
        TGIFSubImage* f = images_[i];
        tick();
        // A frame cleared after it clears its whole rectangle: cut, it
        // would clear less.
        if (!f->Transparent() || f->Empty() || DisposalOf(f) == dmBackground) continue;
        if (Crop(f)) continue;
        if (!DropInvisible(images_, i)) KeepOnePixel(f);
    }
}

void TGIFImage::DropNeedlessExtensions(const std::function<void()>& tick) {
    const bool several = images_.Count() > 1;
    TGIFExtension* firstLoop = nullptr;
    for (int i = 0; i < images_.Count() && !firstLoop; ++i)
        for (int e = 0; e < images_[i]->Extensions().Count() && !firstLoop; ++e)
            if (dynamic_cast<TGIFAppExtNSLoop*>(images_[i]->Extensions()[e])) firstLoop = images_[i]->Extensions()[e];
    for (int i = images_.Count() - 1; i >= 0; --i) {
        TGIFSubImage* f = images_[i];
        for (int e = f->Extensions().Count() - 1; e >= 0; --e) {
            TGIFExtension* ext = f->Extensions()[e];
            bool drop = false;
            if (dynamic_cast<TGIFCommentExtension*>(ext) || dynamic_cast<TGIFTextExtension*>(ext)) {
                drop = true;
            } else if (dynamic_cast<TGIFAppExtNSLoop*>(ext)) {
                // The painter heeds the first loop extension it meets,
                // wherever it stands.
                drop = !(several && ext == firstLoop);
            } else if (dynamic_cast<TGIFApplicationExtension*>(ext)) {
                drop = true;
            } else if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext)) {
                drop = (gce->Delay() == 0 || !several) && !gce->Transparent() && !gce->UserInput() &&
                       (gce->Disposal() < dmBackground || !several);
            }
            if (drop) f->Extensions().Delete(e);
        }
        if (f->Empty() && f->Extensions().Count() == 0) images_.Delete(i);
        tick();
    }
}

} // namespace xpGif10

#include "platform/Canvas.h"
#include "platform/Bitmap.h"

#include <algorithm>
#include <cstring>

namespace platform {

TRect TCanvas::ClipRect() const { return TRect{0, 0, bitmap_.Width(), bitmap_.Height()}; }

void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}

void TCanvas::FillRect(const TRect& rect) {
    int l = std::max(rect.left, 0), t = std::max(rect.top, 0);
    int r = std::min(rect.right, bitmap_.Width()), b = std::min(rect.bottom, bitmap_.Height());
    if (l >= r || t >= b) return;
    // One pixel is written through the palette; the rest copy its raw value.
    bitmap_.SetPixel(l, t, BrushColor);
    uint32_t value = bitmap_.GetPixelValue(l, t);
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) bitmap_.SetPixelValue(x, y, value);
    Changed();
}

TColor TCanvas::GetPixel(int x, int y) const { return bitmap_.GetPixel(x, y); }

void TCanvas::SetPixel(int x, int y, TColor color) {
    bitmap_.SetPixel(x, y, color);
    Changed();
}

namespace {
bool ByteRows(TPixelFormat f) {
    return f == TPixelFormat::pf8bit || f == TPixelFormat::pf24bit || f == TPixelFormat::pf32bit;
}
} // namespace

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect) {
    int dw = dest.Width(), dh = dest.Height();
    int sw = sourceRect.Width(), sh = sourceRect.Height();
    if (dw <= 0 || dh <= 0) return;
    TBitmap& src = source.bitmap_;
    // A copy from a bitmap onto itself reads a snapshot, so overlapping
    // rectangles come out as if copied at once.
    TBitmap snapshot;
    const TBitmap* from = &src;
    if (&src == &bitmap_) {
        snapshot.Assign(&src);
        from = &snapshot;
    }
    int l = std::max(dest.left, 0), t = std::max(dest.top, 0);
    int r = std::min(dest.right, bitmap_.Width()), b = std::min(dest.bottom, bitmap_.Height());
    bool sameLayout = CopyMode == TCopyMode::cmSrcCopy && dw == sw && dh == sh &&
                      from->PixelFormat() == bitmap_.PixelFormat() && ByteRows(bitmap_.PixelFormat()) &&
                      (bitmap_.PixelFormat() != TPixelFormat::pf8bit ||
                       SamePalette(const_cast<TBitmap*>(from)->Palette(), bitmap_.Palette()));
    if (sameLayout) {
        int bpp = bitmap_.BitsPerPixel() / 8;
        for (int y = t; y < b; ++y) {
            int sy = sourceRect.top + (y - dest.top);
            if (sy < 0 || sy >= from->Height()) continue;
            int x0 = l, x1 = r;
            int sx0 = sourceRect.left + (x0 - dest.left);
            if (sx0 < 0) { x0 -= sx0; sx0 = 0; }
            x1 = std::min(x1, x0 + (from->Width() - sx0));
            if (x0 >= x1) continue;
            std::memcpy(bitmap_.ScanLine(y) + size_t(x0) * bpp, from->ScanLine(sy) + size_t(sx0) * bpp,
                        size_t(x1 - x0) * bpp);
        }
        Changed();
        return;
    }
    for (int y = t; y < b; ++y) {
        int sy = sourceRect.top + int(int64_t(y - dest.top) * sh / dh);
        for (int x = l; x < r; ++x) {
            int sx = sourceRect.left + int(int64_t(x - dest.left) * sw / dw);
            TColor s = from->GetPixel(sx, sy);
            TColor d = bitmap_.GetPixel(x, y);
            TColor out;
            switch (CopyMode) {
            case TCopyMode::cmSrcAnd: out = s & d; break;
            case TCopyMode::cmSrcPaint: out = s | d; break;
            case TCopyMode::cmSrcInvert: out = s ^ d; break;
            case TCopyMode::cmBlackness: out = clBlack; break;
            case TCopyMode::cmWhiteness: out = clWhite; break;
            default: out = s;
            }
            bitmap_.SetPixel(x, y, out & 0xFFFFFF);
        }
    }
    Changed();
}

void TCanvas::Draw(int x, int y, TGraphic& graphic) {
    if (graphic.Empty()) return;
    graphic.Draw(*this, TRect{x, y, x + graphic.Width(), y + graphic.Height()});
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic& graphic) {
    if (graphic.Empty()) return;
    graphic.Draw(*this, rect);
}

void TCanvas::TileDraw(const TRect& rect, TGraphic& graphic) {
    int w = graphic.Width(), h = graphic.Height();
    if (graphic.Empty() || w <= 0 || h <= 0 || rect.Width() <= 0 || rect.Height() <= 0) return;
    // Draw into a scratch bitmap of the rectangle's size first so the tiles
    // are clipped to the rectangle, then copy it in place.
    TBitmap scratch;
    scratch.SetPixelFormat(TPixelFormat::pf24bit);
    scratch.SetSize(rect.Width(), rect.Height());
    TCanvas& sc = scratch.Canvas();
    sc.CopyRect(TRect{0, 0, rect.Width(), rect.Height()}, *this, rect);
    for (int y = 0; y < rect.Height(); y += h)
        for (int x = 0; x < rect.Width(); x += w) graphic.Draw(sc, TRect{x, y, x + w, y + h});
    TCopyMode saved = CopyMode;
    CopyMode = TCopyMode::cmSrcCopy;
    CopyRect(rect, sc, TRect{0, 0, rect.Width(), rect.Height()});
    CopyMode = saved;
}

} // namespace platform

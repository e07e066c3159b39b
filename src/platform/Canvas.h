#pragma once
// A drawing surface on a bitmap: fills, pixels, rectangle copies with source
// copy, AND and OR combination, and drawing of graphics stretched or tiled.
// Colours are combined as 24-bit values; an indexed bitmap stores the nearest
// entry of its palette.
#include "platform/Palette.h"
#include "platform/Placement.h"

#include <functional>

namespace platform {

class TBitmap;
class TGraphic;

enum class TCopyMode { cmSrcCopy, cmSrcAnd, cmSrcPaint, cmSrcInvert, cmBlackness, cmWhiteness };

class TCanvas {
public:
    explicit TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}

    TBitmap& Bitmap() const { return bitmap_; }
    TColor BrushColor = clWhite;
    TColor FontColor = clBlack;   // the text colour of masked transfers
    TCopyMode CopyMode = TCopyMode::cmSrcCopy;
    std::function<void(TCanvas*)> OnChange;

    TRect ClipRect() const;
    void FillRect(const TRect& rect);
    TColor GetPixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);

    // Copies the source rectangle onto the destination rectangle, stretched
    // (nearest pixel) when the sizes differ, combined by CopyMode.
    void CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect);
    // The graphic at its natural size with its top-left corner at (x, y).
    void Draw(int x, int y, TGraphic& graphic);
    void StretchDraw(const TRect& rect, TGraphic& graphic);
    // Copies of the graphic at natural size side by side over the rectangle,
    // clipped to it.
    void TileDraw(const TRect& rect, TGraphic& graphic);

    void Changed();

private:
    TBitmap& bitmap_;
};

} // namespace platform

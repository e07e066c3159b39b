#include "xpGif10/GifRender.h"
#include "xpGif10/ColorLookup.h"
#include "xpGif10/Ditherers.h"
#include "xpGif10/GifImage.h"

#include <cstdlib>
#include <cstring>

namespace xpGif10 {

using namespace platform;

namespace {
constexpr const char* Rendering = "Rendering...";
} // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    int64_t p = int64_t(a) * b;
    int64_t half = std::llabs(int64_t(c)) / 2;
    bool negative = (p < 0) != (c < 0);
    int64_t q = (std::llabs(p) + half) / std::llabs(int64_t(c));
    return int(negative ? -q : q);
}

void RenderFrame(TGIFSubImage& frame) {
    if (frame.CachedBitmap() || frame.Empty()) return;
    TGIFImage* image = frame.Image();
    auto progress = [&](TProgressStage stage, int percent, bool redraw) {
        if (image) image->Progress(image, stage, percent, redraw, TRect{}, Rendering);
    };
    progress(TProgressStage::psStarting, 0, false);
    const int width = frame.Width(), height = frame.Height();
    const bool web = image && image->WebPaletteCondition();
    const bool wantMask = frame.Transparent() && !frame.CachedMask();
    const int transparentIndex = frame.Transparent() ? frame.TransparentColorIndex() : -1;
    try {
        auto bitmap = std::make_shared<TBitmap>();
        // Setting the depth before the size keeps a large frame from
        // passing through a full-size bitmap of another depth.
        bitmap->SetPixelFormat(TPixelFormat::pf8bit);
        bitmap->SetPalette(web ? WebPalette() : CopyPalette(frame.Palette()));
        bitmap->SetSize(width, height);
        std::shared_ptr<TBitmap> mask;
        bool anyTransparent = false;
        if (wantMask) {
            mask = std::make_shared<TBitmap>();
            mask->SetPixelFormat(TPixelFormat::pf1bit);
            mask->SetSize(width, height);
        }
        TColorLookup* lookup = nullptr;
        TNetscapeColorLookup webLookup;
        std::unique_ptr<TDitherEngine> ditherer;
        std::vector<TGIFColor> colors;
        if (web) {
            lookup = &webLookup;
            ditherer = MakeDitherer(ditherFloydSteinberg, width, *lookup);
            TGIFColorMap& map = frame.ActiveColorMap();
            colors.assign(map.Data(), map.Data() + map.Count());
            colors.resize(256);
        }
        for (int y = 0; y < height; ++y) {
            const uint8_t* src = frame.Scanline(y);
            uint8_t* dst = bitmap->ScanLine(y);
            if (!web) {
                std::memcpy(dst, src, size_t(width));
            } else {
                const int dir = ditherer->Direction();
                int x = dir > 0 ? 0 : width - 1;
                TRGB chosen;
                for (int n = 0; n < width; ++n, x += dir) {
                    const TGIFColor& c = colors[src[x]];
                    if (src[x] == transparentIndex) {
                        // Hidden by the mask; kept out of the error spread.
                        dst[x] = uint8_t(webLookup.Lookup(c.Red, c.Green, c.Blue, chosen));
                        ditherer->Skip();
                    } else {
                        dst[x] = uint8_t(ditherer->Dither(c.Red, c.Green, c.Blue, chosen));
                    }
                }
                ditherer->NextLine();
            }
            if (mask) {
                uint8_t* m = mask->ScanLine(y);
                for (int x = 0; x < width; ++x)
                    if (src[x] == transparentIndex) {
                        m[x >> 3] |= uint8_t(0x80 >> (x & 7));
                        anyTransparent = true;
                    }
            }
            if (y % 32 == 0) progress(TProgressStage::psRunning, int(int64_t(y) * 100 / height), false);
        }
        frame.SetCachedBitmap(bitmap);
        if (mask && anyTransparent) frame.SetCachedMask(mask);
        frame.SetNeedMask(false);
    } catch (...) {
        progress(TProgressStage::psEnding, 0, false);
        throw;
    }
    const bool redraw = image && image->PaletteModified();
    progress(TProgressStage::psEnding, 100, redraw);
    if (redraw) image->Changed(image);
}

void DrawThroughMask(TCanvas& canvas, const TRect& rect, TBitmap& bitmap, TBitmap& mask) {
    const int w = rect.Width(), h = rect.Height();
    if (w <= 0 || h <= 0 || bitmap.Empty()) return;
    TBitmap& target = canvas.Bitmap();
    const int bw = bitmap.Width(), bh = bitmap.Height();
    const int l = std::max(rect.left, 0), t = std::max(rect.top, 0);
    const int r = std::min(rect.right, target.Width()), b = std::min(rect.bottom, target.Height());
    const TColor savedFont = canvas.FontColor, savedBrush = canvas.BrushColor;
    canvas.FontColor = clBlack;
    canvas.BrushColor = clWhite;
    // Colours of an indexed source once per entry rather than per pixel.
    const bool indexed = bitmap.PixelFormat() == TPixelFormat::pf8bit;
    TColor table[256];
    if (indexed)
        for (int i = 0; i < 256; ++i) table[i] = PaletteColor(bitmap.Palette(), i);
    const bool direct24 = target.PixelFormat() == TPixelFormat::pf24bit;
    for (int y = t; y < b; ++y) {
        const int sy = int(int64_t(y - rect.top) * bh / h);
        const uint8_t* m = mask.ScanLine(std::min(sy, mask.Height() - 1));
        const uint8_t* s = indexed ? bitmap.ScanLine(sy) : nullptr;
        uint8_t* d = direct24 ? target.ScanLine(y) : nullptr;
        for (int x = l; x < r; ++x) {
            const int sx = int(int64_t(x - rect.left) * bw / w);
            if (sx < mask.Width() && (m[sx >> 3] & (0x80 >> (sx & 7)))) continue;
            const TColor c = indexed ? table[s[sx]] : bitmap.GetPixel(sx, sy);
            if (d) {
                d[3 * x] = GetBValue(c);
                d[3 * x + 1] = GetGValue(c);
                d[3 * x + 2] = GetRValue(c);
            } else {
                target.SetPixel(x, y, c);
            }
        }
    }
    canvas.FontColor = savedFont;
    canvas.BrushColor = savedBrush;
    canvas.Changed();
}

} // namespace xpGif10

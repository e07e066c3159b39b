#include "xpGif10/GifReduce.h"
#include "xpGif10/ColorQuantizer.h"
#include "xpGif10/DIBReader.h"
#include "xpGif10/Ditherers.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/WuQuantizer.h"

#include <algorithm>

namespace xpGif10 {

using namespace platform;

namespace {

const uint8_t SystemColors[20][3] = {
    {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
    {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

HPALETTE Grays(std::initializer_list<int> levels) {
    TLogPalette log;
    for (int v : levels) log.palPalEntry.push_back({uint8_t(v), uint8_t(v), uint8_t(v), PC_NOCOLLAPSE});
    return CreatePalette(log);
}

} // namespace

HPALETTE SystemPalette20() {
    TLogPalette log;
    for (auto& c : SystemColors) log.palPalEntry.push_back({c[0], c[1], c[2], 0});
    return CreatePalette(log);
}

HPALETTE HalftonePalette() {
    TLogPalette log;
    for (int i = 0; i < 10; ++i)
        log.palPalEntry.push_back({SystemColors[i][0], SystemColors[i][1], SystemColors[i][2], 0});
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) log.palPalEntry.push_back({uint8_t(51 * r), uint8_t(51 * g), uint8_t(51 * b), 0});
    // Greys between the cube's steps fill the rest.
    for (int i = 1; i <= 20; ++i) {
        uint8_t v = uint8_t(i * 255 / 21);
        log.palPalEntry.push_back({v, v, v, 0});
    }
    for (int i = 10; i < 20; ++i)
        log.palPalEntry.push_back({SystemColors[i][0], SystemColors[i][1], SystemColors[i][2], 0});
    return CreatePalette(log);
}

HPALETTE FourGrayPalette() { return Grays({0, 128, 192, 255}); }
HPALETTE MonochromePalette() { return Grays({0, 255}); }

HPALETTE GrayScalePalette() {
    TLogPalette log;
    for (int v = 0; v < 256; ++v) log.palPalEntry.push_back({uint8_t(v), uint8_t(v), uint8_t(v), PC_NOCOLLAPSE});
    return CreatePalette(log);
}

namespace {

HPALETTE Quantized(TBitmap& source24, int colors, int size, bool systemColors) {
    TColorQuantizer quantizer(colors, 8);
    for (int y = 0; y < source24.Height(); ++y) quantizer.AddRowBGR(source24.ScanLine(y), source24.Width());
    if (!systemColors) return quantizer.MakePalette(size);
    HPALETTE middle = quantizer.MakePalette(236);
    TLogPalette log;
    for (int i = 0; i < 10; ++i)
        log.palPalEntry.push_back({SystemColors[i][0], SystemColors[i][1], SystemColors[i][2], 0});
    log.palPalEntry.insert(log.palPalEntry.end(), middle->palPalEntry.begin(), middle->palPalEntry.end());
    for (int i = 10; i < 20; ++i)
        log.palPalEntry.push_back({SystemColors[i][0], SystemColors[i][1], SystemColors[i][2], 0});
    return CreatePalette(log);
}

} // namespace

HPALETTE ReductionPalette(int method, TBitmap& source24, const HPALETTE& custom, int reductionBits) {
    switch (method) {
    case rmWindows20: return SystemPalette20();
    case rmHalftone: return HalftonePalette();
    case rmGrayScale4: return FourGrayPalette();
    case rmMonochrome: return MonochromePalette();
    case rmGrayScale: return GrayScalePalette();
    case rmNetscape: return WebPalette();
    case rmQuantize: {
        int bits = reductionBits < 1 ? 1 : (reductionBits > 8 ? 8 : reductionBits);
        return Quantized(source24, 1 << bits, 1 << bits, false);
    }
    case rmQuantizeWithSystemColors: return Quantized(source24, 236, 256, true);
    case rmQuantizeWu: {
        const int bits = std::clamp(reductionBits, 1, 8);
        TWuQuantizer quantizer(1 << bits);
        for (int y = 0; y < source24.Height(); ++y) quantizer.AddRowBGR(source24.ScanLine(y), source24.Width());
        return quantizer.MakePalette(1 << bits);
    }
    case rmPalette: return CopyPalette(custom);
    default: return nullptr;
    }
}

std::unique_ptr<TColorLookup> ReductionLookup(int method, const HPALETTE& palette) {
    switch (method) {
    case rmMonochrome: return std::make_unique<TMonochromeLookup>();
    case rmGrayScale: return std::make_unique<TGrayScaleLookup>();
    case rmNetscape: return std::make_unique<TNetscapeColorLookup>();
    case rmQuantizeWu:
        if (PaletteSize(palette) == 0) return nullptr;
        return std::make_unique<TNearestColorLookup>(palette);
    case rmWindows20:
    case rmHalftone:
    case rmGrayScale4:
    case rmQuantize:
    case rmQuantizeWithSystemColors:
    case rmPalette:
        if (PaletteSize(palette) == 0) return nullptr;
        return std::make_unique<TFastColorLookup>(palette);
    default: return nullptr;
    }
}

std::unique_ptr<TBitmap> ReduceColors(TBitmap& bitmap, int method, int ditherMode, const HPALETTE& customPalette,
                                      int reductionBits, const std::function<void(int)>& progress) {
    auto result = std::make_unique<TBitmap>();
    if (method == rmNone) {
        result->Assign(&bitmap);
        result->SetPixelFormat(TPixelFormat::pf24bit);
        return result;
    }
    // Sizing a large result at 1 bit first keeps the intermediate small.
    if (int64_t(bitmap.Width()) * bitmap.Height() > 500000) result->SetPixelFormat(TPixelFormat::pf1bit);
    TDIBReader reader(bitmap, TPixelFormat::pf24bit);
    if (method < 0 || method > rmQuantizeWu || ditherMode < 0 || ditherMode > ditherBurkes) return result;
    HPALETTE palette = ReductionPalette(method, bitmap, customPalette, reductionBits);
    std::unique_ptr<TColorLookup> lookup = ReductionLookup(method, palette);
    if (!lookup || lookup->Colors() == 0 || bitmap.Empty()) return result;

    const int width = bitmap.Width(), height = bitmap.Height();
    std::unique_ptr<TDitherEngine> ditherer = MakeDitherer(ditherMode, width, *lookup);
    // Every palette this reduction hands out carries the colours the
    // lookups answer with.
    HPALETTE outPalette = palette;
    if (method == rmMonochrome) outPalette = MonochromePalette();
    TDIBWriter writer(*result, TPixelFormat::pf8bit, width, height, outPalette);
    TRGB chosen;
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = reader.ScanLine(y);
        uint8_t* dst = writer.ScanLine(y);
        const int dir = ditherer->Direction();
        int x = dir > 0 ? 0 : width - 1;
        for (int n = 0; n < width; ++n, x += dir) {
            const uint8_t* p = src + 3 * x;
            dst[x] = uint8_t(ditherer->Dither(p[2], p[1], p[0], chosen));
        }
        ditherer->NextLine();
        if (progress && (y % 32) == 0) progress(int(int64_t(y) * 100 / height));
    }
    writer.Release();
    return result;
}

} // namespace xpGif10

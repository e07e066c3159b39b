#pragma once
// Colour reduction: the reduction methods with their palettes and lookups,
// and the reduction of a bitmap to 8 bits per pixel through a ditherer.
#include "platform/Bitmap.h"
#include "xpGif10/ColorLookup.h"

#include <functional>
#include <memory>

namespace xpGif10 {

enum TColorReduction {
    rmNone = 0,                       // only converted to 24 bits per pixel
    rmWindows20 = 1,                  // the default system palette of 20 colours
    rmHalftone = 2,                   // the halftone palette, 256 colours
    rmGrayScale4 = 3,                 // four greys
    rmMonochrome = 4,
    rmGrayScale = 5,                  // 256 greys
    rmNetscape = 6,                   // the 216-colour web palette
    rmQuantize = 7,                   // octree to 2^bits colours
    rmQuantizeWithSystemColors = 8,   // octree to 236 colours plus the 20 system colours
    rmPalette = 9,                    // a palette supplied by the caller
    rmQuantizeWu = 10,                // variance-minimising split to 2^bits colours, refined
};

// The names the program's settings use for the same values.
constexpr int redNone = rmNone, redSystemPalette = rmWindows20, redHalftone = rmHalftone,
              redFourGrays = rmGrayScale4, redMonochrome = rmMonochrome, redGrayScale = rmGrayScale,
              redWebPalette = rmNetscape, redQuantize = rmQuantize,
              redQuantizeWithSystemColors = rmQuantizeWithSystemColors, redCustomPalette = rmPalette,
              redQuantizeWu = rmQuantizeWu;

// The system's default palette: 20 colours, the first ten and the last ten
// of a 256-colour system palette.
platform::HPALETTE SystemPalette20();
// The halftone palette: 256 colours (the 20 system colours at both ends, the
// web cube and greys between).
platform::HPALETTE HalftonePalette();
platform::HPALETTE FourGrayPalette();
platform::HPALETTE MonochromePalette();
platform::HPALETTE GrayScalePalette();

// The palette of a method for this bitmap (read at 24 bits per pixel for the
// quantizing methods); none for method 0 and unknown methods.
platform::HPALETTE ReductionPalette(int method, platform::TBitmap& source24, const platform::HPALETTE& custom,
                                    int reductionBits);
// The lookup of a method over its palette; none for method 0 and unknown
// methods.
std::unique_ptr<TColorLookup> ReductionLookup(int method, const platform::HPALETTE& palette);

// Reduces the bitmap's colours by the method and dither mode into a new
// bitmap (8 bits per pixel; 24 for method 0). A method above 10, a lookup
// without colours or a dither mode above 6 give an empty bitmap. The source
// is switched to 24 bits per pixel. progress, when given, is called every 32
// rows with the percentage done.
std::unique_ptr<platform::TBitmap> ReduceColors(platform::TBitmap& bitmap, int method, int ditherMode,
                                                const platform::HPALETTE& customPalette, int reductionBits,
                                                const std::function<void(int)>& progress = {});

} // namespace xpGif10

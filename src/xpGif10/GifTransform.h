#pragma once
// Changing an animation's geometry: resizing, cropping, rotating, flipping,
// and making every frame a whole picture. Every picture frame stays a frame
// with its delay, disposal, extensions and comments; the loop count stays.
//
// Nearest-neighbour resizing, cropping, rotating and flipping move each
// frame's pixels on their own (colours, tables and transparency stay as
// they were, and what is drawn is exactly the drawn picture transformed).
// The filtered resizes compose the frames first, filter the composed
// pictures and quantize them to one shared palette.
#include <string>

namespace xpGif10 {

class TGIFImage;

enum class TResizeMethod {
    Nearest,    // each pixel from the source pixel under its centre
    Box,        // the average of the source area each pixel covers
    Lanczos,    // three-lobed Lanczos window
    Mitchell,   // Mitchell-Netravali cubic (B = C = 1/3)
};

// The method of a name (nearest, box, lanczos, mitchell); false for another
// name.
bool ResizeMethodOf(const std::string& name, TResizeMethod& method);

// Resizes the logical screen and every frame to width x height (both 1 to
// 65535). ditherMode is the filtered methods' re-quantization dither.
void ResizeImage(TGIFImage& image, int width, int height, TResizeMethod method, int ditherMode = 0);

// Keeps the rectangle of the screen at left, top of width x height; the
// rectangle must lie within the screen. Frames are cut to it; a frame
// wholly outside keeps its place in time as one see-through pixel.
void CropImage(TGIFImage& image, int left, int top, int width, int height);

// Rotates clockwise by 90, 180 or 270 degrees.
void RotateImage(TGIFImage& image, int degrees);

// Mirrors left to right (horizontal) or top to bottom.
void FlipImage(TGIFImage& image, bool horizontal);

// Makes every frame a whole picture of the screen: what the animation
// shows at that frame. Colours stay exact (one global table when all fit,
// else a table per frame; a frame of more than 256 colours is quantized).
void UnoptimizeImage(TGIFImage& image);

} // namespace xpGif10

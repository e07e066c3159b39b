#pragma once
// The qelgif commands that convert, shrink, play and show pictures; main.cpp
// lists them in its command table.
#include "platform/Streams.h"

#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

namespace xpGif10 {
class TGIFImage;
}

namespace qelgif {

using Args = std::vector<std::string>;

// A wrong command line; main prints the usage after the message.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads a number option's value (args[i + 1], decimal or 0x hex) within
// lo..hi; anything else is a usage error naming the option.
int Number(const Args& args, size_t& i, const std::string& name, int lo, int hi);
// Loads a GIF from a file or "-", warnings on stderr, progress on a
// terminal; a 0x0 logical screen takes the frames' extent.
void LoadGif(xpGif10::TGIFImage& image, const std::string& path);
// The same from bytes already read; warnings, when given, counts them.
void LoadGif(xpGif10::TGIFImage& image, const std::vector<uint8_t>& bytes, int* warnings = nullptr);
// The same without decoding pixels: frames decode when first asked for.
void ScanGif(xpGif10::TGIFImage& image, std::shared_ptr<platform::TStream> stream);
// Saves through the safe save, or to standard output for "-".
void SaveGif(xpGif10::TGIFImage& image, const std::string& path);
// Writes rows of 8-bit samples (3 per pixel, or 4 with alpha) as PNG when
// the name ends in .png, else as PAM.
void WritePicture(const std::string& path, int width, int height, int depth, const std::vector<uint8_t>& samples);

int Encode(const Args& args);
int Optimize(const Args& args);
int Frames(const Args& args);
// Shows the file in a window (needs the GTK build).
int View(const Args& args);
// Edits without re-encoding what is not touched: delays, loop, comments;
// frames apart and together.
int Edit(const Args& args);
int Explode(const Args& args);
int Merge(const Args& args);
// Geometry, colours, transparency and background (TransformCommands.cpp).
int Resize(const Args& args);
int Crop(const Args& args);
int Rotate(const Args& args);
int Flip(const Args& args);
int Colors(const Args& args);
int Unoptimize(const Args& args);
int Transparent(const Args& args);
int Background(const Args& args);

} // namespace qelgif

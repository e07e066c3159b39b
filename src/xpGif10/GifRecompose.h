#pragma once
// Frames as whole pictures and back: the animation composed state by state
// into colours, and composed states written back into the frames with
// colour tables that hold them (exact when the colours fit, else through a
// palette quantized from all states), keeping every frame's extensions.
#include "xpGif10/ColorLookup.h"

#include <cstdint>
#include <vector>

namespace xpGif10 {

class TGIFImage;
class TGIFSubImage;

// One composed state per picture frame: width x height colours in the
// composer's form (red in the low byte; TGIFComposer::SeeThrough where
// nothing shows). Pixels drawn through an index outside their table show
// black.
struct TComposedFrames {
    int Width = 0, Height = 0;
    std::vector<TGIFSubImage*> Frames;
    std::vector<std::vector<uint32_t>> States;
};

// The frames that hold pixels (not a trailing block of extensions).
std::vector<TGIFSubImage*> PictureFrames(TGIFImage& image);

TComposedFrames ComposeFrames(TGIFImage& image);

struct TRecomposeOptions {
    // Quantize to one shared palette even when the colours would fit
    // exactly.
    bool Quantize = false;
    // After the first, a frame covers only where it differs from the state
    // before (the earlier frames are then kept, not disposed).
    bool CropToChanges = false;
    // Dither mode (0..6) for colours that are not in the palette.
    int DitherMode = 0;
};

// Writes the states back into their frames and sets the logical screen to
// their size. Every frame stays a frame with its extensions; disposals
// become what drawing the states one after another needs.
void RecomposeFrames(TGIFImage& image, const TComposedFrames& composed, const TRecomposeOptions& options);

// The palette entry nearest to a colour by squared distance. Entries are
// kept in order of red, and the search walks out from the colour's red both
// ways until the red difference alone is farther than the best found.
class TNearestColour {
public:
    explicit TNearestColour(const std::vector<TRGB>& entries);
    // The index in the palette as given.
    int Find(int red, int green, int blue) const;

private:
    std::vector<TRGB> sorted_;
    std::vector<int> index_;
};

// Nearest colour of a palette by squared distance, exact, remembering the
// colours already asked for (in a table of 2^cacheBits colours).
class TExactColorLookup : public TColorLookup {
public:
    explicit TExactColorLookup(std::vector<TRGB> entries, int cacheBits = 16);
    int Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) override;

private:
    std::vector<TRGB> entries_;
    TNearestColour nearest_;
    int shift_;
    std::vector<uint32_t> keys_;   // colour + 1, 0 for a free slot
    std::vector<uint8_t> answers_;
    size_t used_ = 0;
};

// Maps rows of composer colours onto the lookup's palette through the
// ditherer of the mode; see-through pixels get transparentIndex and take no
// part in the error spread.
void MapColours(const uint32_t* colours, int width, int height, TColorLookup& lookup, int ditherMode,
                int transparentIndex, uint8_t* out);

// A palette of at most maxColors colours for the opaque pixels of the given
// colour runs (octree).
std::vector<TRGB> QuantizedPalette(const std::vector<std::pair<const uint32_t*, size_t>>& runs, int maxColors);

} // namespace xpGif10

#pragma once
// Start and stop of the GIF unit. The program's main makes one GifUnit guard
// in start-up order (after the volume configuration); it registers the "GIF"
// file format and the "GIF Image" clipboard format with the picture registry
// and reads the palette-device flag from the screen service. Destroying the
// guard unregisters the format and frees the extension registries. Start and
// stop are counted, so nested guards (tests, tools) run them once.
namespace xpGif10 {

// The clipboard format number registered for "GIF Image" (0 before start).
extern unsigned CF_GIF;

void InitializeGifUnit();
void FinalizeGifUnit();

class GifUnit {
public:
    GifUnit() { InitializeGifUnit(); }
    ~GifUnit() { FinalizeGifUnit(); }
    GifUnit(const GifUnit&) = delete;
    GifUnit& operator=(const GifUnit&) = delete;
};

} // namespace xpGif10

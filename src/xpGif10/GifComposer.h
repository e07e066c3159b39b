#pragma once
// The animation as drawn, kept as one colour per screen pixel: frames are
// laid on in order and disposed of as the painter does (dmBackground clears
// the frame's area to what showed before the animation, dmPrevious puts back
// the picture from before the frame, every other value keeps it). The optimizer uses it to
// know what each frame is drawn over.
#include "xpGif10/GifTypes.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace xpGif10 {

class TGIFSubImage;

class TGIFComposer {
public:
    // A pixel nothing has been drawn on (or that was cleared).
    static constexpr uint32_t SeeThrough = 0x01000000u;
    // A pixel drawn through an index outside its colour table: it shows
    // something, but never compares equal to anything.
    static constexpr uint32_t Unknown = 0x02000000u;

    TGIFComposer(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // What shows now: red in the low byte, blue in the third, or one of the
    // marks above.
    const uint32_t* State() const { return state_.data(); }
    uint32_t At(int x, int y) const { return state_[size_t(y) * size_t(width_) + size_t(x)]; }

    // The colour the frame's pixel draws, or SeeThrough for its transparent
    // index (Unknown outside its table).
    static uint32_t ColourOf(TGIFSubImage& frame, uint8_t index);
    // Lays the frame on and remembers what its disposal needs.
    void Draw(TGIFSubImage& frame);
    // Applies the disposal of the frame last drawn.
    void Dispose();

    static bool Same(uint32_t a, uint32_t b) { return a == b && !(a & Unknown); }

private:
    int width_, height_;
    std::vector<uint32_t> state_;
    std::vector<uint32_t> saved_;
    int disposal_ = dmNone;
    int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

} // namespace xpGif10

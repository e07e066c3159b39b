#pragma once
// Lossy LZW: the codes are those of a plain LZW stream, so every decoder
// reads the result, but for each code the encoder may take a longer string
// of its table whose colours differ from the pixels by no more than a bound.
// Longer strings mean fewer codes; the pixels that come out of the decoder
// are the strings' colours. The see-through index is never traded for
// another one, nor another for it, and indices past the frame's colour
// table (which have no colour of their own) stay as they are.
#include "xpGif10/ColorLookup.h"
#include "xpGif10/GifEncoder.h"

#include <vector>

namespace xpGif10 {

// The largest squared distance in RGB between a pixel's colour and the
// colour written for it at a lossiness of 0 to 200 (0 for none).
int LossyBound(int lossiness);

class TLossyLZWEncoder : public TGIFEncoder {
public:
    // colors are the frame's table in index order; transparent is the
    // see-through index or -1; bound the largest squared distance allowed.
    TLossyLZWEncoder(std::vector<TRGB> colors, int transparent, int bound);

protected:
    void Compress() override;
    void OutputEnd() override { Output(endCode_); }

private:
    struct Match {
        int code = -1, length = 0;
        int64_t error = 0;
    };
    void Output(int code);
    void Clear();
    void BuildNear();
    // The longest string of the table that stands for the pixels from pos
    // (least error among equally long ones), searched depth first with the
    // exact colour tried first and a bounded effort.
    Match Search(size_t pos) const;
    // Whether the string of code followed by its own first colour, the
    // entry a decoder makes from the next code when that code is the entry
    // itself, stands for the pixels from pos; its error when so, else -1.
    int64_t PendingError(int code, size_t pos) const;
    void Add(int parent, int colour);
    // Whether a string of this length and error is the better choice: each
    // pixel more is worth weight_ (half the bound) of squared error. Taking
    // the longest string whatever its error costs more quality than it
    // saves bytes; the strings made from such choices also match worse
    // later.
    bool Better(int length, int64_t error, const Match& than) const {
        const int64_t a = weight_ * length - error, b = weight_ * than.length - than.error;
        return a > b || (a == b && length > than.length);
    }

    std::vector<TRGB> colors_;
    int transparent_;
    int bound_;
    int64_t weight_;
    // near_[a * 256 + b]: index b may be written for a pixel of index a;
    // distance_ the squared distance of the two.
    std::vector<uint8_t> near_;
    std::vector<int32_t> distance_;
    std::vector<uint8_t> pixels_;   // in the order they are encoded
    // The string table as a tree: each code's parent, last colour, first
    // colour, length, first child and next sibling (-1 for none).
    std::vector<int16_t> parent_, colour_, first_, firstChild_, nextSibling_;
    std::vector<int32_t> length_;
    int nextFree_ = 0;
    struct Step {
        int code, length;
        int64_t error;
    };
    mutable std::vector<Step> stack_;
};

} // namespace xpGif10

#pragma once
// Ditherers map one pixel at a time onto a lookup's palette and carry the
// difference between the wanted and the chosen colour on to the pixels not
// yet mapped. Rows run in alternating directions (left to right first); on a
// right-to-left row every kernel is mirrored.
//
// Use: for each row, start at column 0 when Direction() is +1, else at the
// last column; call Dither for each pixel and step by Direction(); call
// NextLine at the end of the row.
#include "xpGif10/ColorLookup.h"

#include <array>
#include <memory>
#include <vector>

namespace xpGif10 {

enum TDitherMode {
    ditherNearest = 0,
    ditherFloydSteinberg = 1,
    ditherStucki = 2,
    ditherSierra = 3,
    ditherJarvisJudiceNinke = 4,
    ditherStevensonArce = 5,
    ditherBurkes = 6,
};

// The plain engine: nearest colour, no error spread.
class TDitherEngine {
public:
    TDitherEngine(int width, TColorLookup& lookup) : lookup_(lookup), width_(width) {}
    virtual ~TDitherEngine() = default;
    virtual int Dither(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen);
    virtual void NextLine();
    // Passes over a pixel that is not mapped (a see-through one); no error
    // reaches it or comes from it.
    virtual void Skip() { column_ += direction_; }
    int Direction() const { return direction_; }
    int Column() const { return column_; }
    int Width() const { return width_; }

protected:
    TColorLookup& lookup_;
    int width_;
    int direction_ = 1;
    int column_ = 0;
};

class TFloydSteinbergDitherer : public TDitherEngine {
public:
    TFloydSteinbergDitherer(int width, TColorLookup& lookup);
    int Dither(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) override;
    void NextLine() override;
    void Skip() override;

private:
    // Per channel: the error row (one slot either side of the picture) and
    // the running registers: the error carried to the next pixel, the
    // pending sums for the positions below-behind and below.
    std::array<std::vector<int>, 3> errors_;
    std::array<int, 3> current_{}, belowPrev_{}, belowNext_{};
};

// One weight of a kernel: row below (0 = this row), column offset in the
// direction of travel.
struct TKernelWeight {
    int row, offset, weight;
};

// The body of the wide kernels: several error rows per channel, each padded
// on both sides, the row in use cleared and moved to the end at every line.
class T5by3Ditherer : public TDitherEngine {
public:
    T5by3Ditherer(int width, TColorLookup& lookup, int rows, int pad, int divisor,
                  std::vector<TKernelWeight> kernel);
    int Dither(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) override;
    void NextLine() override;

protected:
    // Adds a channel's error to the rows by the kernel.
    virtual void Spread(int channel, int error);

    int divisor_;
    int pad_;
    std::vector<TKernelWeight> kernel_;
    // errors_[channel][row] with width + 2 * pad entries
    std::array<std::vector<std::vector<int>>, 3> errors_;
};

class TStuckiDitherer : public T5by3Ditherer {
public:
    TStuckiDitherer(int width, TColorLookup& lookup);
};
class TSierraDitherer : public T5by3Ditherer {
public:
    TSierraDitherer(int width, TColorLookup& lookup);
};
class TJaJuNiDitherer : public T5by3Ditherer {
public:
    TJaJuNiDitherer(int width, TColorLookup& lookup);
};
class TSteveArcheDitherer : public T5by3Ditherer {
public:
    TSteveArcheDitherer(int width, TColorLookup& lookup);
};
class TBurkesDitherer : public T5by3Ditherer {
public:
    TBurkesDitherer(int width, TColorLookup& lookup);
};

// The ditherer of a mode (0..6); none for another mode.
std::unique_ptr<TDitherEngine> MakeDitherer(int mode, int width, TColorLookup& lookup);

} // namespace xpGif10

#include "xpGif10/Ditherers.h"

#include <algorithm>

namespace xpGif10 {

namespace {
inline int Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline uint8_t Channel(const TRGB& c, int ch) { return ch == 0 ? c.Red : (ch == 1 ? c.Green : c.Blue); }
} // namespace

int TDitherEngine::Dither(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    int index = lookup_.Lookup(red, green, blue, chosen);
    column_ += direction_;
    return index;
}

void TDitherEngine::NextLine() {
    direction_ = -direction_;
    column_ = direction_ > 0 ? 0 : width_ - 1;
}

// ---- Floyd-Steinberg -------------------------------------------------------------

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup) : TDitherEngine(width, lookup) {
    for (auto& row : errors_) row.assign(size_t(width) + 2, 0);
}

int TFloydSteinbergDitherer::Dither(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    const int slot = column_ + 1;
    const uint8_t in[3] = {red, green, blue};
    int wanted[3];
    for (int ch = 0; ch < 3; ++ch)
        wanted[ch] = Clamp(in[ch] + (errors_[size_t(ch)][size_t(slot)] + current_[size_t(ch)] + 8) / 16);
    int index = lookup_.Lookup(uint8_t(wanted[0]), uint8_t(wanted[1]), uint8_t(wanted[2]), chosen);
    for (int ch = 0; ch < 3; ++ch) {
        const size_t c = size_t(ch);
        int d = wanted[ch] - Channel(chosen, ch);
        // The position below-behind is complete now: 1 part from two pixels
        // back, 5 from the previous pixel, 3 from this one.
        errors_[c][size_t(slot - direction_)] = belowPrev_[c] + 3 * d;
        belowPrev_[c] = belowNext_[c] + 5 * d;
        belowNext_[c] = d;
        current_[c] = 7 * d;
    }
    column_ += direction_;
    return index;
}

void TFloydSteinbergDitherer::Skip() {
    const int slot = column_ + 1;
    for (size_t c = 0; c < 3; ++c) {
        errors_[c][size_t(slot - direction_)] = belowPrev_[c];
        belowPrev_[c] = belowNext_[c];
        belowNext_[c] = 0;
        current_[c] = 0;
    }
    column_ += direction_;
}

void TFloydSteinbergDitherer::NextLine() {
    // The last pixel's own position below still waits for its sum.
    const int last = column_ - direction_ + 1;
    for (size_t c = 0; c < 3; ++c) {
        errors_[c][size_t(last)] = belowPrev_[c];
        current_[c] = belowPrev_[c] = belowNext_[c] = 0;
    }
    TDitherEngine::NextLine();
}

// ---- the wide kernels ----------------------------------------------------------------

T5by3Ditherer::T5by3Ditherer(int width, TColorLookup& lookup, int rows, int pad, int divisor,
                             std::vector<TKernelWeight> kernel)
    : TDitherEngine(width, lookup), divisor_(divisor), pad_(pad), kernel_(std::move(kernel)) {
    for (auto& channel : errors_) channel.assign(size_t(rows), std::vector<int>(size_t(width) + 2 * size_t(pad), 0));
}

int T5by3Ditherer::Dither(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    const size_t slot = size_t(column_ + pad_);
    const uint8_t in[3] = {red, green, blue};
    int wanted[3];
    for (int ch = 0; ch < 3; ++ch)
        wanted[ch] = Clamp(in[ch] + (errors_[size_t(ch)][0][slot] + divisor_ / 2) / divisor_);
    int index = lookup_.Lookup(uint8_t(wanted[0]), uint8_t(wanted[1]), uint8_t(wanted[2]), chosen);
    for (int ch = 0; ch < 3; ++ch) Spread(ch, wanted[ch] - Channel(chosen, ch));
    column_ += direction_;
    return index;
}

void T5by3Ditherer::Spread(int channel, int error) {
    if (error == 0) return;
    auto& rows = errors_[size_t(channel)];
    for (const TKernelWeight& k : kernel_)
        rows[size_t(k.row)][size_t(column_ + pad_ + k.offset * direction_)] += k.weight * error;
}

void T5by3Ditherer::NextLine() {
    for (auto& rows : errors_) {
        std::fill(rows[0].begin(), rows[0].end(), 0);
        std::rotate(rows.begin(), rows.begin() + 1, rows.end());
    }
    TDitherEngine::NextLine();
}

TStuckiDitherer::TStuckiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 3, 2, 42,
                    {{0, 1, 8}, {0, 2, 4},                                           //
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},        //
                     {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}) {}

TSierraDitherer::TSierraDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 3, 2, 32,
                    {{0, 1, 5}, {0, 2, 3},                                           //
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},        //
                     {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}) {}

TJaJuNiDitherer::TJaJuNiDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 3, 2, 48,
                    {{0, 1, 7}, {0, 2, 5},                                           //
                     {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},        //
                     {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}) {}

TSteveArcheDitherer::TSteveArcheDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 4, 3, 200,
                    {{0, 2, 32},                                                      //
                     {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},                //
                     {2, -2, 12}, {2, 0, 26}, {2, 2, 12},                             //
                     {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}) {}

TBurkesDitherer::TBurkesDitherer(int width, TColorLookup& lookup)
    : T5by3Ditherer(width, lookup, 2, 2, 32,
                    {{0, 1, 8}, {0, 2, 4},                                           //
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}) {}

std::unique_ptr<TDitherEngine> MakeDitherer(int mode, int width, TColorLookup& lookup) {
    switch (mode) {
    case ditherNearest: return std::make_unique<TDitherEngine>(width, lookup);
    case ditherFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
    case ditherStucki: return std::make_unique<TStuckiDitherer>(width, lookup);
    case ditherSierra: return std::make_unique<TSierraDitherer>(width, lookup);
    case ditherJarvisJudiceNinke: return std::make_unique<TJaJuNiDitherer>(width, lookup);
    case ditherStevensonArce: return std::make_unique<TSteveArcheDitherer>(width, lookup);
    case ditherBurkes: return std::make_unique<TBurkesDitherer>(width, lookup);
    default: return nullptr;
    }
}

} // namespace xpGif10

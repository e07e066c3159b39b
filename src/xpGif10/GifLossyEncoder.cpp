#include "xpGif10/GifLossyEncoder.h"
#include "xpGif10/GifDecoder.h"

#include <algorithm>
#include <cmath>

namespace xpGif10 {

namespace {

constexpr int TableSize = 4096;
// Tree nodes a search may look at for one code: enough to follow several
// near strings to their ends, few enough that a table full of near colours
// does not turn every code into a long walk.
constexpr int SearchEffort = 500;

} // namespace

// A distance of 0.345 N: at 80, about a step of 28 in one channel, or 16 in
// each of the three.
int LossyBound(int lossiness) {
    if (lossiness <= 0) return 0;
    const double d = 0.345 * std::min(lossiness, 200);
    return int(d * d);
}

TLossyLZWEncoder::TLossyLZWEncoder(std::vector<TRGB> colors, int transparent, int bound)
    : colors_(std::move(colors)), transparent_(transparent), bound_(std::max(0, bound)),
      weight_(std::max<int64_t>(1, std::max(0, bound) / 2)), parent_(TableSize),
      colour_(TableSize), first_(TableSize), firstChild_(TableSize), nextSibling_(TableSize), length_(TableSize) {}

void TLossyLZWEncoder::BuildNear() {
    const int n = 1 << bits_;
    near_.assign(size_t(n) * 256, 0);
    distance_.assign(size_t(n) * 256, 0);
    const int known = std::min(int(colors_.size()), n);
    for (int a = 0; a < n; ++a) {
        near_[size_t(a) * 256 + size_t(a)] = 1;
        if (a >= known || a == transparent_) continue;
        for (int b = 0; b < known; ++b) {
            if (b == transparent_ || b == a) continue;
            const TRGB& p = colors_[size_t(a)];
            const TRGB& q = colors_[size_t(b)];
            const int d = (p.Red - q.Red) * (p.Red - q.Red) + (p.Green - q.Green) * (p.Green - q.Green) +
                          (p.Blue - q.Blue) * (p.Blue - q.Blue);
            distance_[size_t(a) * 256 + size_t(b)] = d;
            near_[size_t(a) * 256 + size_t(b)] = d <= bound_;
        }
    }
}

void TLossyLZWEncoder::Output(int code) {
    PutBits(code);
    if (clearFlag_) {
        width_ = initWidth_;
        largest_ = (1 << width_) - 1;
        clearFlag_ = false;
    } else if (nextFree_ > largest_) {
        ++width_;
        largest_ = width_ == 12 ? 4096 : (1 << width_) - 1;
    }
}

void TLossyLZWEncoder::Clear() {
    clearFlag_ = true;
    Output(clearCode_);
    for (int c = 0; c < clearCode_; ++c) {
        parent_[size_t(c)] = -1;
        colour_[size_t(c)] = first_[size_t(c)] = int16_t(c);
        length_[size_t(c)] = 1;
        firstChild_[size_t(c)] = nextSibling_[size_t(c)] = -1;
    }
    nextFree_ = clearCode_ + 2;
}

// A decoder makes the entry whatever it holds; a string the tree has
// already is not linked twice, so searches never look at it twice.
void TLossyLZWEncoder::Add(int parent, int colour) {
    const int code = nextFree_++;
    parent_[size_t(code)] = int16_t(parent);
    colour_[size_t(code)] = int16_t(colour);
    first_[size_t(code)] = first_[size_t(parent)];
    length_[size_t(code)] = length_[size_t(parent)] + 1;
    firstChild_[size_t(code)] = nextSibling_[size_t(code)] = -1;
    for (int c = firstChild_[size_t(parent)]; c >= 0; c = nextSibling_[size_t(c)])
        if (colour_[size_t(c)] == colour) return;
    nextSibling_[size_t(code)] = firstChild_[size_t(parent)];
    firstChild_[size_t(parent)] = int16_t(code);
}

TLossyLZWEncoder::Match TLossyLZWEncoder::Search(size_t pos) const {
    const size_t remaining = pixels_.size() - pos;
    const uint8_t* px = pixels_.data() + pos;
    Match best;
    stack_.clear();
    auto push = [&](int code, int length, int64_t error) { stack_.push_back({code, length, error}); };
    // Roots: every colour near the first pixel, its own colour last so that
    // it is taken first.
    const size_t row0 = size_t(px[0]) * 256;
    for (int c = 0; c < clearCode_; ++c)
        if (c != px[0] && near_[row0 + size_t(c)]) push(c, 1, distance_[row0 + size_t(c)]);
    push(px[0], 1, 0);
    int effort = SearchEffort;
    while (!stack_.empty()) {
        const Step s = stack_.back();
        stack_.pop_back();
        if (Better(s.length, s.error, best)) best = {s.code, s.length, s.error};
        if (size_t(s.length) >= remaining || effort <= 0) continue;
        const int want = px[s.length];
        const size_t row = size_t(want) * 256;
        int exact = -1;
        for (int c = firstChild_[size_t(s.code)]; c >= 0; c = nextSibling_[size_t(c)]) {
            --effort;
            const int colour = colour_[size_t(c)];
            if (colour == want)
                exact = c;
            else if (near_[row + size_t(colour)])
                push(c, s.length + 1, s.error + distance_[row + size_t(colour)]);
        }
        if (exact >= 0) push(exact, s.length + 1, s.error);
    }
    return best;
}

int64_t TLossyLZWEncoder::PendingError(int code, size_t pos) const {
    const int length = length_[size_t(code)];
    if (pixels_.size() - pos < size_t(length) + 1) return -1;
    const uint8_t* px = pixels_.data() + pos;
    int64_t error = 0;
    auto take = [&](int at, int colour) {
        const size_t i = size_t(px[at]) * 256 + size_t(colour);
        if (!near_[i]) return false;
        error += distance_[i];
        return true;
    };
    if (!take(length, first_[size_t(code)])) return -1;
    for (int c = code, at = length - 1; c >= 0; c = parent_[size_t(c)], --at)
        if (!take(at, colour_[size_t(c)])) return -1;
    return error;
}

void TLossyLZWEncoder::Compress() {
    const size_t total = size_t(frameWidth_) * size_t(frameHeight_);
    pixels_.resize(total);
    if (interlaced_) {
        size_t at = 0;
        ForEachInterlacedRow(frameHeight_, [&](int row) {
            std::copy_n(data_ + size_t(row) * size_t(frameWidth_), frameWidth_, pixels_.begin() + ptrdiff_t(at));
            at += size_t(frameWidth_);
        });
    } else {
        std::copy_n(data_, total, pixels_.begin());
    }
    for (uint8_t p : pixels_)
        if (p >= colorCount_) BadColor();
    BuildNear();

    Clear();
    size_t pos = 0;
    Match current = Search(pos);
    pos += size_t(current.length);
    while (pos < total) {
        // The table is full after this code: the next string is looked for
        // in the cleared table.
        const bool clearing = nextFree_ > 4094;
        Match next;
        if (!clearing) {
            next = Search(pos);
            const int length = length_[size_t(current.code)] + 1;
            if (length > next.length) {
                const int64_t error = PendingError(current.code, pos);
                if (error >= 0 && Better(length, error, next)) next = {nextFree_, length, error};
            }
        }
        Output(current.code);
        if (clearing) {
            Clear();
            next = Search(pos);
        } else {
            const int firstColour = next.code == nextFree_ ? first_[size_t(current.code)] : first_[size_t(next.code)];
            Add(current.code, firstColour);
        }
        current = next;
        pos += size_t(current.length);
    }
    Output(current.code);
}

} // namespace xpGif10

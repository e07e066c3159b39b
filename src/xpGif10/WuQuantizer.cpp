#include "xpGif10/WuQuantizer.h"

#include <algorithm>
#include <cmath>

namespace xpGif10 {

using namespace platform;

namespace {

// ---- the variance-minimising split --------------------------------------------------

// Cumulative moments over 33 x 33 x 33 entries: entry (r, g, b) holds the
// sums over all 5-bit cells up to and including (r - 1, g - 1, b - 1), so a
// box's sum is eight entries away.
constexpr int Side = 33;
constexpr int Index(int r, int g, int b) { return (r * Side + g) * Side + b; }

struct Moments {
    std::vector<double> w, r, g, b, sq;
    Moments() : w(Side * Side * Side), r(w.size()), g(w.size()), b(w.size()), sq(w.size()) {}
};

// A box of the 5-bit cube, lower bounds exclusive, upper inclusive.
struct Box {
    int r0 = 0, r1 = 0, g0 = 0, g1 = 0, b0 = 0, b1 = 0;
};

enum Axis { Red, Green, Blue };

double Volume(const Box& c, const std::vector<double>& m) {
    return m[Index(c.r1, c.g1, c.b1)] - m[Index(c.r1, c.g1, c.b0)] - m[Index(c.r1, c.g0, c.b1)] +
           m[Index(c.r1, c.g0, c.b0)] - m[Index(c.r0, c.g1, c.b1)] + m[Index(c.r0, c.g1, c.b0)] +
           m[Index(c.r0, c.g0, c.b1)] - m[Index(c.r0, c.g0, c.b0)];
}

// The part of Volume that depends on the box's lower bound along the axis.
double Bottom(const Box& c, Axis axis, const std::vector<double>& m) {
    switch (axis) {
    case Red:
        return -m[Index(c.r0, c.g1, c.b1)] + m[Index(c.r0, c.g1, c.b0)] + m[Index(c.r0, c.g0, c.b1)] -
               m[Index(c.r0, c.g0, c.b0)];
    case Green:
        return -m[Index(c.r1, c.g0, c.b1)] + m[Index(c.r1, c.g0, c.b0)] + m[Index(c.r0, c.g0, c.b1)] -
               m[Index(c.r0, c.g0, c.b0)];
    default:
        return -m[Index(c.r1, c.g1, c.b0)] + m[Index(c.r1, c.g0, c.b0)] + m[Index(c.r0, c.g1, c.b0)] -
               m[Index(c.r0, c.g0, c.b0)];
    }
}

// The rest of the volume of the box cut at pos along the axis.
double Top(const Box& c, Axis axis, int pos, const std::vector<double>& m) {
    switch (axis) {
    case Red:
        return m[Index(pos, c.g1, c.b1)] - m[Index(pos, c.g1, c.b0)] - m[Index(pos, c.g0, c.b1)] +
               m[Index(pos, c.g0, c.b0)];
    case Green:
        return m[Index(c.r1, pos, c.b1)] - m[Index(c.r1, pos, c.b0)] - m[Index(c.r0, pos, c.b1)] +
               m[Index(c.r0, pos, c.b0)];
    default:
        return m[Index(c.r1, c.g1, pos)] - m[Index(c.r1, c.g0, pos)] - m[Index(c.r0, c.g1, pos)] +
               m[Index(c.r0, c.g0, pos)];
    }
}

double Variance(const Box& c, const Moments& m) {
    const double w = Volume(c, m.w);
    if (w <= 0) return 0;
    const double r = Volume(c, m.r), g = Volume(c, m.g), b = Volume(c, m.b);
    return Volume(c, m.sq) - (r * r + g * g + b * b) / w;
}

struct Whole {
    double r, g, b, w;
};

// The best cut along one axis: the position that leaves the two halves with
// the largest sum of squared means times weights (the least variance), or
// -1 when no cut leaves both halves with pixels.
double BestCut(const Box& c, Axis axis, int first, int last, const Moments& m, const Whole& whole, int& cut) {
    const double baseR = Bottom(c, axis, m.r), baseG = Bottom(c, axis, m.g), baseB = Bottom(c, axis, m.b),
                 baseW = Bottom(c, axis, m.w);
    double best = 0;
    cut = -1;
    for (int i = first; i < last; ++i) {
        const double hw = baseW + Top(c, axis, i, m.w);
        if (hw <= 0) continue;
        const double otherW = whole.w - hw;
        if (otherW <= 0) continue;
        const double hr = baseR + Top(c, axis, i, m.r), hg = baseG + Top(c, axis, i, m.g),
                     hb = baseB + Top(c, axis, i, m.b);
        const double or_ = whole.r - hr, og = whole.g - hg, ob = whole.b - hb;
        const double score = (hr * hr + hg * hg + hb * hb) / hw + (or_ * or_ + og * og + ob * ob) / otherW;
        if (score > best) {
            best = score;
            cut = i;
        }
    }
    return best;
}

bool CutBox(Box& a, Box& b, const Moments& m) {
    const Whole whole{Volume(a, m.r), Volume(a, m.g), Volume(a, m.b), Volume(a, m.w)};
    int cutR, cutG, cutB;
    const double maxR = BestCut(a, Red, a.r0 + 1, a.r1, m, whole, cutR);
    const double maxG = BestCut(a, Green, a.g0 + 1, a.g1, m, whole, cutG);
    const double maxB = BestCut(a, Blue, a.b0 + 1, a.b1, m, whole, cutB);
    b = a;
    if (maxR >= maxG && maxR >= maxB) {
        if (cutR < 0) return false;
        a.r1 = b.r0 = cutR;
    } else if (maxG >= maxB) {
        if (cutG < 0) return false;
        a.g1 = b.g0 = cutG;
    } else {
        if (cutB < 0) return false;
        a.b1 = b.b0 = cutB;
    }
    return true;
}

uint8_t Channel(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

} // namespace

TWuQuantizer::TWuQuantizer(int maxColors, int refinePasses)
    : maxColors_(std::clamp(maxColors, 1, 256)), passes_(std::max(0, refinePasses)), cells_(size_t(1) << 18) {}

void TWuQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue) {
    Cell& c = cells_[size_t(red >> 2) << 12 | size_t(green >> 2) << 6 | size_t(blue >> 2)];
    ++c.Count;
    c.Red += red;
    c.Green += green;
    c.Blue += blue;
    done_ = false;
}

void TWuQuantizer::AddRowBGR(const uint8_t* row, int count) {
    for (int x = 0; x < count; ++x, row += 3) AddColor(row[2], row[1], row[0]);
}

std::vector<TRGB> TWuQuantizer::Split() {
    Moments m;
    for (size_t i = 0; i < cells_.size(); ++i) {
        const Cell& c = cells_[i];
        if (c.Count == 0) continue;
        // A 6-bit cell lies in 5-bit cell (index / 2) + 1 on every axis.
        const int at = Index(int(i >> 13) + 1, int((i >> 7) & 31) + 1, int((i >> 1) & 31) + 1);
        const double r = double(c.Red), g = double(c.Green), b = double(c.Blue), w = double(c.Count);
        m.w[at] += w;
        m.r[at] += r;
        m.g[at] += g;
        m.b[at] += b;
        m.sq[at] += (r * r + g * g + b * b) / w;
    }
    // Running sums along blue, then green (area), then red.
    for (std::vector<double>* t : {&m.w, &m.r, &m.g, &m.b, &m.sq}) {
        std::vector<double>& v = *t;
        for (int r = 1; r < Side; ++r) {
            double area[Side] = {};
            for (int g = 1; g < Side; ++g) {
                double line = 0;
                for (int b = 1; b < Side; ++b) {
                    line += v[Index(r, g, b)];
                    area[b] += line;
                    v[Index(r, g, b)] = v[Index(r - 1, g, b)] + area[b];
                }
            }
        }
    }
    std::vector<Box> boxes(static_cast<size_t>(maxColors_));
    std::vector<double> variance(size_t(maxColors_), 0);
    boxes[0] = {0, Side - 1, 0, Side - 1, 0, Side - 1};
    int count = 1, next = 0;
    while (count < maxColors_) {
        if (CutBox(boxes[size_t(next)], boxes[size_t(count)], m)) {
            variance[size_t(next)] = Variance(boxes[size_t(next)], m);
            variance[size_t(count)] = Variance(boxes[size_t(count)], m);
            ++count;
        } else {
            variance[size_t(next)] = 0;   // cannot be split any further
        }
        next = int(std::max_element(variance.begin(), variance.begin() + count) - variance.begin());
        if (variance[size_t(next)] <= 0) break;
    }
    std::vector<TRGB> colors;
    for (int i = 0; i < count; ++i) {
        const Box& c = boxes[size_t(i)];
        const double w = Volume(c, m.w);
        if (w <= 0) continue;
        colors.push_back({Channel(Volume(c, m.r) / w), Channel(Volume(c, m.g) / w), Channel(Volume(c, m.b) / w)});
    }
    return colors;
}

// Lloyd's passes over the histogram's cells, each standing at its mean with
// its pixel count as weight. Centres are kept unrounded between passes; a
// centre that loses all its cells stays where it was. The cells are grouped
// by boxes of 4 bits per channel, and each box searches only the centres
// that can be nearest to some point inside it, which is what keeps a pass
// short at 256 colours.
void TWuQuantizer::Refine(std::vector<TRGB>& colors) {
    const size_t k = colors.size();
    if (k < 2 || passes_ == 0) return;
    struct Point {
        float r, g, b, w;
    };
    std::vector<int32_t> boxStart(4097, 0);
    for (size_t i = 0; i < cells_.size(); ++i)
        if (cells_[i].Count) ++boxStart[size_t((i >> 14) << 8 | ((i >> 8) & 15) << 4 | ((i >> 2) & 15)) + 1];
    for (size_t b = 1; b < boxStart.size(); ++b) boxStart[b] += boxStart[b - 1];
    std::vector<Point> points(static_cast<size_t>(boxStart[4096]));
    {
        std::vector<int32_t> fill(boxStart.begin(), boxStart.end() - 1);
        for (size_t i = 0; i < cells_.size(); ++i) {
            const Cell& c = cells_[i];
            if (c.Count == 0) continue;
            const float w = float(c.Count);
            const size_t box = (i >> 14) << 8 | ((i >> 8) & 15) << 4 | ((i >> 2) & 15);
            points[size_t(fill[box]++)] = {float(double(c.Red) / w), float(double(c.Green) / w),
                                          float(double(c.Blue) / w), w};
        }
    }
    std::vector<float> cr(k), cg(k), cb(k), least(k);
    for (size_t j = 0; j < k; ++j) {
        cr[j] = colors[j].Red;
        cg[j] = colors[j].Green;
        cb[j] = colors[j].Blue;
    }
    std::vector<double> sr(k), sg(k), sb(k), sw(k);
    std::vector<int> candidates;
    candidates.reserve(k);
    auto gap = [](float c, float lo, float hi) { return c < lo ? lo - c : (c > hi ? c - hi : 0.0f); };
    for (int pass = 0; pass < passes_; ++pass) {
        std::fill(sr.begin(), sr.end(), 0.0);
        std::fill(sg.begin(), sg.end(), 0.0);
        std::fill(sb.begin(), sb.end(), 0.0);
        std::fill(sw.begin(), sw.end(), 0.0);
        for (int box = 0; box < 4096; ++box) {
            const int first = boxStart[size_t(box)], last = boxStart[size_t(box) + 1];
            if (first == last) continue;
            const float lr = float((box >> 8) << 4), lg = float(((box >> 4) & 15) << 4), lb = float((box & 15) << 4);
            const float hr = lr + 15, hg = lg + 15, hb = lb + 15;
            float bound = 1e30f;
            for (size_t j = 0; j < k; ++j) {
                const float dr = gap(cr[j], lr, hr), dg = gap(cg[j], lg, hg), db = gap(cb[j], lb, hb);
                least[j] = dr * dr + dg * dg + db * db;
                const float fr = std::max(cr[j] - lr, hr - cr[j]), fg = std::max(cg[j] - lg, hg - cg[j]),
                            fb = std::max(cb[j] - lb, hb - cb[j]);
                bound = std::min(bound, fr * fr + fg * fg + fb * fb);
            }
            candidates.clear();
            for (size_t j = 0; j < k; ++j)
                if (least[j] <= bound) candidates.push_back(int(j));
            for (int i = first; i < last; ++i) {
                const Point& p = points[size_t(i)];
                int best = candidates[0];
                float bestDist = 1e30f;
                for (int j : candidates) {
                    const float dr = cr[size_t(j)] - p.r, dg = cg[size_t(j)] - p.g, db = cb[size_t(j)] - p.b;
                    const float d = dr * dr + dg * dg + db * db;
                    if (d < bestDist) {
                        bestDist = d;
                        best = j;
                    }
                }
                sr[size_t(best)] += double(p.w) * p.r;
                sg[size_t(best)] += double(p.w) * p.g;
                sb[size_t(best)] += double(p.w) * p.b;
                sw[size_t(best)] += p.w;
            }
        }
        for (size_t j = 0; j < k; ++j) {
            if (sw[j] <= 0) continue;
            cr[j] = float(sr[j] / sw[j]);
            cg[j] = float(sg[j] / sw[j]);
            cb[j] = float(sb[j] / sw[j]);
        }
    }
    for (size_t j = 0; j < k; ++j) colors[j] = {Channel(cr[j]), Channel(cg[j]), Channel(cb[j])};
}

std::vector<TRGB> TWuQuantizer::Colors() {
    if (!done_) {
        colors_ = Split();
        Refine(colors_);
        done_ = true;
    }
    return colors_;
}

HPALETTE TWuQuantizer::MakePalette(int size) {
    const std::vector<TRGB> colors = Colors();
    TLogPalette log;
    for (int i = 0; i < size; ++i) {
        // Repeating the last colour rather than adding black keeps the
        // padding from being chosen for a colour the picture never had.
        TRGB c = size_t(i) < colors.size() ? colors[size_t(i)] : (colors.empty() ? TRGB{} : colors.back());
        log.palPalEntry.push_back({c.Red, c.Green, c.Blue, 0});
    }
    return CreatePalette(log);
}

// ---- nearest colour ---------------------------------------------------------------------

TNearestColorLookup::TNearestColorLookup(const HPALETTE& palette)
    : TColorLookup(std::min(PaletteSize(palette), 256)), boxStart_(32768, -1), boxCount_(32768, 0),
      cacheKey_(CacheSize, 0), cacheIndex_(CacheSize, 0) {
    for (int i = 0; i < colors_; ++i) {
        const auto& e = palette->palPalEntry[size_t(i)];
        entries_.push_back({e.peRed, e.peGreen, e.peBlue});
    }
}

// An entry can be the nearest to some colour of the box only when its least
// distance to the box is no more than the smallest greatest distance of any
// entry to the box. The candidates are kept nearest-first by that least
// distance, so a search stops at the first one that cannot beat its best.
void TNearestColorLookup::FillBox(int box) {
    const int lo[3] = {(box >> 10) << 3, ((box >> 5) & 31) << 3, (box & 31) << 3};
    std::vector<std::pair<int, int>> least;
    least.reserve(entries_.size());
    int bound = 1 << 30;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const int c[3] = {entries_[i].Red, entries_[i].Green, entries_[i].Blue};
        int dmin = 0, dmax = 0;
        for (int a = 0; a < 3; ++a) {
            const int l = lo[a], h = lo[a] + 7;
            const int below = c[a] < l ? l - c[a] : (c[a] > h ? c[a] - h : 0);
            const int far = std::max(c[a] - l, h - c[a]);
            dmin += below * below;
            dmax += far * far;
        }
        least.push_back({dmin, int(i)});
        bound = std::min(bound, dmax);
    }
    std::erase_if(least, [bound](const std::pair<int, int>& e) { return e.first > bound; });
    std::sort(least.begin(), least.end());
    boxStart_[size_t(box)] = int32_t(candidates_.size());
    for (const auto& [dmin, i] : least) candidates_.push_back({uint8_t(i), dmin});
    boxCount_[size_t(box)] = int32_t(least.size());
}

int TNearestColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    const uint32_t key = (uint32_t(red) << 16 | uint32_t(green) << 8 | blue) + 1;
    const size_t slot = (key * 2654435761u) >> (32 - 14);
    if (cacheKey_[slot] == key) {
        chosen = entries_[cacheIndex_[slot]];
        return cacheIndex_[slot];
    }
    const int box = (red >> 3) << 10 | (green >> 3) << 5 | (blue >> 3);
    if (boxStart_[size_t(box)] < 0) FillBox(box);
    const Candidate* c = candidates_.data() + boxStart_[size_t(box)];
    int best = c[0].Index, bestDist = 1 << 30;
    for (int n = boxCount_[size_t(box)]; n > 0 && c->Least < bestDist; --n, ++c) {
        const TRGB& e = entries_[c->Index];
        const int dr = e.Red - red, dg = e.Green - green, db = e.Blue - blue;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = c->Index;
        }
    }
    cacheKey_[slot] = key;
    cacheIndex_[slot] = uint8_t(best);
    chosen = entries_[size_t(best)];
    return best;
}

} // namespace xpGif10

// Geometry of the whole animation: every frame's pixels moved by one map of
// the screen, or the composed pictures filtered and quantized again.
#include "xpGif10/GifTransform.h"
#include "xpGif10/GifComposer.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifRecompose.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace xpGif10 {

namespace {

int64_t CeilDiv(int64_t a, int64_t b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); }

// How one axis of the new screen takes its pixels from an axis of the old
// one.
struct AxisMap {
    enum Kind { Shift, Mirror, Sample } kind = Shift;
    int64_t oldSize = 0, newSize = 0, offset = 0;

    // The old coordinate a new one shows.
    int Source(int n) const {
        switch (kind) {
        case Shift: return int(n + offset);
        case Mirror: return int(oldSize - 1 - n);
        // The centre of the new pixel, a hair to the left of it, so that a
        // centre on a boundary takes the pixel before (as other samplers do).
        case Sample: return int(((2 * int64_t(n) + 1) * oldSize - 1) / (2 * newSize));
        }
        return n;
    }
    // The new coordinates [first, second) whose sources lie in [a, b).
    std::pair<int, int> Range(int a, int b) const {
        int64_t lo = 0, hi = 0;
        switch (kind) {
        case Shift: lo = a - offset, hi = b - offset; break;
        case Mirror: lo = oldSize - b, hi = oldSize - a; break;
        case Sample:
            lo = CeilDiv(2 * a * newSize + 1 - oldSize, 2 * oldSize);
            hi = CeilDiv(2 * b * newSize + 1 - oldSize, 2 * oldSize);
            break;
        }
        lo = std::clamp<int64_t>(lo, 0, newSize);
        hi = std::clamp<int64_t>(hi, lo, newSize);
        return {int(lo), int(hi)};
    }
};

// A frame that shows nothing within the new screen still holds its delay:
// one see-through pixel that disposes of nothing.
void MakePlaceholder(TGIFSubImage& frame) {
    frame.SetBounds(0, 0, 1, 1);
    TGIFGraphicControlExtension& gce = ControlExtensionOf(frame);
    if (!frame.Transparent()) {
        gce.SetTransparentColorIndex(0);
        gce.SetTransparent(true);
    }
    frame.Data()[0] = uint8_t(frame.TransparentColorIndex());
    if (gce.Disposal() == dmBackground) gce.SetDisposal(dmNoDispose);
    frame.FreeBitmap();
}

// Moves every frame's pixels to the new screen of width x height: new x
// comes from mx (along the old y axis when swap), new y from my. The part
// of a frame outside the old screen is never drawn, so it is dropped.
void Remap(TGIFImage& image, int width, int height, bool swap, const AxisMap& mx, const AxisMap& my) {
    const int oldWidth = image.Width(), oldHeight = image.Height();
    std::vector<TGIFSubImage*> frames = PictureFrames(image);
    image.Header().SetWidth(width);
    image.Header().SetHeight(height);
    std::vector<uint8_t> old;
    std::vector<int64_t> across, down;
    for (TGIFSubImage* f : frames) {
        const int l = f->Left(), t = f->Top(), w = f->Width();
        const int x0 = std::min(l, oldWidth), x1 = std::min(l + w, oldWidth);
        const int y0 = std::min(t, oldHeight), y1 = std::min(t + f->Height(), oldHeight);
        const auto [nx0, nx1] = swap ? mx.Range(y0, y1) : mx.Range(x0, x1);
        const auto [ny0, ny1] = swap ? my.Range(x0, x1) : my.Range(y0, y1);
        if (nx1 <= nx0 || ny1 <= ny0) {
            MakePlaceholder(*f);
            continue;
        }
        const uint8_t* pixels = f->Data();  // before DataSize(): asking for the pixels makes them
        old.assign(pixels, pixels + f->DataSize());
        // The source index of new pixel (i, j) is across[i] + down[j].
        across.resize(size_t(nx1 - nx0));
        down.resize(size_t(ny1 - ny0));
        for (int i = nx0; i < nx1; ++i)
            across[size_t(i - nx0)] = swap ? int64_t(mx.Source(i) - t) * w : mx.Source(i) - l;
        for (int j = ny0; j < ny1; ++j)
            down[size_t(j - ny0)] = swap ? my.Source(j) - l : int64_t(my.Source(j) - t) * w;
        f->SetBounds(nx0, ny0, nx1 - nx0, ny1 - ny0);
        uint8_t* out = f->Data();
        const size_t nw = across.size();
        for (size_t j = 0; j < down.size(); ++j) {
            const uint8_t* from = old.data() + down[j];
            uint8_t* row = out + j * nw;
            for (size_t i = 0; i < nw; ++i) row[i] = from[across[i]];
        }
        f->FreeBitmap();
    }
    image.FreeBitmap();
}

void CheckScreen(TGIFImage& image) {
    if (image.Empty() || image.Width() <= 0 || image.Height() <= 0) throw GIFException("The image has no frames");
}

// ---- filtered resampling of composed pictures ----------------------------

double Sinc(double x) {
    if (x == 0) return 1;
    x *= M_PI;
    return std::sin(x) / x;
}

double Filter(TResizeMethod method, double x) {
    x = std::fabs(x);
    switch (method) {
    case TResizeMethod::Box: return x < 0.5 ? 1 : x == 0.5 ? 0.5 : 0;
    case TResizeMethod::Lanczos: return x < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    case TResizeMethod::Mitchell: {
        constexpr double B = 1.0 / 3, C = 1.0 / 3;
        if (x < 1) return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x + (6 - 2 * B)) / 6;
        if (x < 2)
            return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x + (8 * B + 24 * C)) /
                   6;
        return 0;
    }
    case TResizeMethod::Nearest: break;
    }
    return x < 0.5 ? 1 : 0;
}

double Support(TResizeMethod method) {
    switch (method) {
    case TResizeMethod::Lanczos: return 3;
    case TResizeMethod::Mitchell: return 2;
    default: return 0.5;
    }
}

// The weights each new coordinate takes from the old ones; a shrinking
// filter widens by the factor so that it covers every source pixel.
struct Taps {
    std::vector<int> first, count;
    std::vector<float> weights;   // count[n] of them per n, in order
};

Taps MakeTaps(TResizeMethod method, int oldSize, int newSize) {
    Taps taps;
    const double scale = double(newSize) / oldSize;
    const double widen = std::max(1.0, 1 / scale);
    const double support = Support(method) * widen;
    for (int n = 0; n < newSize; ++n) {
        const double centre = (n + 0.5) / scale;
        int start = std::max(0, int(std::floor(centre - support + 0.5)));
        int stop = std::min(oldSize, int(std::floor(centre + support + 0.5)));
        if (stop <= start) stop = std::min(oldSize, start + 1), start = stop - 1;
        std::vector<double> w;
        double sum = 0;
        for (int j = start; j < stop; ++j) {
            w.push_back(Filter(method, (j + 0.5 - centre) / widen));
            sum += w.back();
        }
        if (sum == 0) {
            // Between the filter's zeros: the nearest source pixel alone.
            std::fill(w.begin(), w.end(), 0);
            w[size_t(std::clamp(int(centre) - start, 0, int(w.size()) - 1))] = 1;
            sum = 1;
        }
        taps.first.push_back(start);
        taps.count.push_back(int(w.size()));
        for (double v : w) taps.weights.push_back(float(v / sum));
    }
    return taps;
}

// One composed picture resampled: premultiplied by its opacity so that
// see-through pixels lend no colour; what ends up less than half opaque is
// see-through.
std::vector<uint32_t> Resample(const std::vector<uint32_t>& state, int oldWidth, int oldHeight, int width, int height,
                               const Taps& across, const Taps& down) {
    // Horizontal pass into four floats per pixel.
    std::vector<float> middle(size_t(width) * size_t(oldHeight) * 4);
    std::vector<float> source(size_t(oldWidth) * 4);
    for (int y = 0; y < oldHeight; ++y) {
        const uint32_t* row = &state[size_t(y) * size_t(oldWidth)];
        for (int x = 0; x < oldWidth; ++x) {
            float* p = &source[size_t(x) * 4];
            if (row[x] == TGIFComposer::SeeThrough) {
                p[0] = p[1] = p[2] = p[3] = 0;
            } else {
                p[0] = float(row[x] & 0xFF), p[1] = float(row[x] >> 8 & 0xFF), p[2] = float(row[x] >> 16 & 0xFF);
                p[3] = 1;
            }
        }
        const float* w = across.weights.data();
        float* out = &middle[size_t(y) * size_t(width) * 4];
        for (int n = 0; n < width; ++n, out += 4) {
            float r = 0, g = 0, b = 0, a = 0;
            const float* p = &source[size_t(across.first[size_t(n)]) * 4];
            for (int k = 0; k < across.count[size_t(n)]; ++k, p += 4) {
                const float v = *w++;
                r += v * p[0] * p[3], g += v * p[1] * p[3], b += v * p[2] * p[3], a += v * p[3];
            }
            out[0] = r, out[1] = g, out[2] = b, out[3] = a;
        }
    }
    std::vector<uint32_t> result(size_t(width) * size_t(height));
    std::vector<float> sum(size_t(width) * 4);
    const float* w = down.weights.data();
    for (int n = 0; n < height; ++n) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int k = 0; k < down.count[size_t(n)]; ++k) {
            const float v = *w++;
            const float* p = &middle[size_t(down.first[size_t(n)] + k) * size_t(width) * 4];
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += v * p[i];
        }
        uint32_t* out = &result[size_t(n) * size_t(width)];
        for (int x = 0; x < width; ++x) {
            const float* s = &sum[size_t(x) * 4];
            if (s[3] < 0.5f) {
                out[x] = TGIFComposer::SeeThrough;
                continue;
            }
            auto channel = [&](float v) { return uint32_t(std::clamp(std::lround(v / s[3]), 0L, 255L)); };
            out[x] = channel(s[0]) | channel(s[1]) << 8 | channel(s[2]) << 16;
        }
    }
    return result;
}

} // namespace

bool ResizeMethodOf(const std::string& name, TResizeMethod& method) {
    if (name == "nearest" || name == "sample")
        method = TResizeMethod::Nearest;
    else if (name == "box")
        method = TResizeMethod::Box;
    else if (name == "lanczos")
        method = TResizeMethod::Lanczos;
    else if (name == "mitchell")
        method = TResizeMethod::Mitchell;
    else
        return false;
    return true;
}

void ResizeImage(TGIFImage& image, int width, int height, TResizeMethod method, int ditherMode) {
    CheckScreen(image);
    if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF)
        throw GIFException("Bad size " + std::to_string(width) + "x" + std::to_string(height));
    const int oldWidth = image.Width(), oldHeight = image.Height();
    if (method == TResizeMethod::Nearest) {
        Remap(image, width, height, false, {AxisMap::Sample, oldWidth, width, 0},
              {AxisMap::Sample, oldHeight, height, 0});
        return;
    }
    TComposedFrames composed = ComposeFrames(image);
    const Taps across = MakeTaps(method, oldWidth, width), down = MakeTaps(method, oldHeight, height);
    for (auto& state : composed.States) state = Resample(state, oldWidth, oldHeight, width, height, across, down);
    composed.Width = width;
    composed.Height = height;
    TRecomposeOptions options;
    options.Quantize = true;
    options.CropToChanges = true;
    options.DitherMode = ditherMode;
    RecomposeFrames(image, composed, options);
    image.FreeBitmap();
}

void CropImage(TGIFImage& image, int left, int top, int width, int height) {
    CheckScreen(image);
    if (left < 0 || top < 0 || width < 1 || height < 1 || int64_t(left) + width > image.Width() ||
        int64_t(top) + height > image.Height())
        throw GIFException("The rectangle " + std::to_string(left) + "," + std::to_string(top) + "," +
                           std::to_string(width) + "x" + std::to_string(height) + " is not within the " +
                           std::to_string(image.Width()) + "x" + std::to_string(image.Height()) + " screen");
    Remap(image, width, height, false, {AxisMap::Shift, image.Width(), width, left},
          {AxisMap::Shift, image.Height(), height, top});
}

void RotateImage(TGIFImage& image, int degrees) {
    CheckScreen(image);
    const int w = image.Width(), h = image.Height();
    switch (degrees) {
    case 90: Remap(image, h, w, true, {AxisMap::Mirror, h, h, 0}, {AxisMap::Shift, w, w, 0}); break;
    case 180: Remap(image, w, h, false, {AxisMap::Mirror, w, w, 0}, {AxisMap::Mirror, h, h, 0}); break;
    case 270: Remap(image, h, w, true, {AxisMap::Shift, h, h, 0}, {AxisMap::Mirror, w, w, 0}); break;
    default: throw GIFException("Rotation by " + std::to_string(degrees) + " degrees (90, 180 or 270 expected)");
    }
}

void FlipImage(TGIFImage& image, bool horizontal) {
    CheckScreen(image);
    const int w = image.Width(), h = image.Height();
    if (horizontal)
        Remap(image, w, h, false, {AxisMap::Mirror, w, w, 0}, {AxisMap::Shift, h, h, 0});
    else
        Remap(image, w, h, false, {AxisMap::Shift, w, w, 0}, {AxisMap::Mirror, h, h, 0});
}

void UnoptimizeImage(TGIFImage& image) {
    CheckScreen(image);
    TComposedFrames composed = ComposeFrames(image);
    RecomposeFrames(image, composed, TRecomposeOptions{});
    image.FreeBitmap();
}

} // namespace xpGif10

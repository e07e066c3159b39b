// Frame differencing: what a frame draws is compared with the picture it is
// drawn over, pixel by pixel, and the frame is rewritten in the smallest of
// a few forms that draw the same.
#include "xpGif10/GifFrameDiff.h"
#include "platform/Streams.h"
#include "xpGif10/GifComposer.h"
#include "xpGif10/GifEncoder.h"
#include "xpGif10/GifImage.h"

#include <algorithm>
#include <cstring>

namespace xpGif10 {

using namespace platform;

namespace {

struct Box {
    int left, top, right, bottom;   // right and bottom exclusive
    bool Empty() const { return right <= left || bottom <= top; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    void Add(int x, int y) {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x + 1);
        bottom = std::max(bottom, y + 1);
    }
};

constexpr Box NoBox{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};

// The size of the frame's image data when encoded as the frame would be.
int64_t EncodedSize(TGIFSubImage& frame, const std::vector<uint8_t>& pixels, int width,
                    int height) {
    const int bits = EncodingBits(BitsOfPixels(pixels.data(), int64_t(pixels.size())));
    TMemoryStream out;
    TLZWEncoder encoder;
    encoder.Encode(out, bits, 1 << bits, pixels.data(), frame.Interlaced(), height, width);
    return out.Size();
}

// A colour index the frame may use as its transparent one: its own, else an
// entry of its table that no pixel in the box that stays visible uses.
int FreeIndex(TGIFSubImage& frame, const std::vector<uint8_t>& pixels, const std::vector<uint8_t>& keep) {
    if (frame.Transparent()) return frame.TransparentColorIndex();
    bool used[256] = {};
    for (size_t i = 0; i < pixels.size(); ++i)
        if (keep[i]) used[pixels[i]] = true;
    TGIFColorMap& map = frame.ActiveColorMap();
    const int count = map.Count();
    // The lowest free entry: codes need only be as wide as the largest
    // index a frame uses.
    for (int i = 0; i < count; ++i)
        if (!used[i]) return i;
    // A local table is written padded to a power of two: an entry added
    // below that costs nothing.
    if (&map == &frame.ColorMap() && count < (1 << map.BitsPerPixel())) return map.Add(clBlack);
    return -1;
}

void Rewrite(TGIFSubImage& frame, const Box& box, std::vector<uint8_t>& pixels, int transparent) {
    frame.SetBounds(box.left, box.top, box.Width(), box.Height());
    std::memcpy(frame.Data(), pixels.data(), pixels.size());
    if (transparent >= 0 && !frame.Transparent()) {
        TGIFGraphicControlExtension& gce = ControlExtensionOf(frame);
        gce.SetTransparentColorIndex(transparent);
        gce.SetTransparent(true);
    }
    frame.FreeBitmap();
}

// Differences one frame against the picture under it in the first pass and,
// for frames played again when the animation loops, in the passes after it
// (drawn over what the first pass left).
void Difference(TGIFSubImage& frame, const TGIFComposer& under, const TGIFComposer* again) {
    const int fl = frame.Left(), ft = frame.Top(), fw = frame.Width(), fh = frame.Height();
    // A frame reaching past the screen is drawn clipped; leave it as it is.
    if (fl + fw > under.Width() || ft + fh > under.Height()) return;
    TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
    const int disposal = gce ? gce->Disposal() : dmNone;
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = TGIFComposer::ColourOf(frame, uint8_t(i));
    // changed: drawn and different from what shows; the box covers those,
    // and for a frame cleared afterwards every pixel the clearing changes.
    std::vector<uint8_t> changed(size_t(fw) * size_t(fh));
    Box box = NoBox;
    for (int y = 0; y < fh; ++y) {
        const uint8_t* row = frame.Scanline(y);
        for (int x = 0; x < fw; ++x) {
            const uint32_t c = colours[row[x]];
            const uint32_t u = under.At(fl + x, ft + y);
            const uint32_t v = again ? again->At(fl + x, ft + y) : u;
            const bool change = c != TGIFComposer::SeeThrough && (!TGIFComposer::Same(c, u) || !TGIFComposer::Same(c, v));
            changed[size_t(y) * size_t(fw) + size_t(x)] = change;
            if (change || (disposal == dmBackground && (c != TGIFComposer::SeeThrough || u != TGIFComposer::SeeThrough ||
                                             v != TGIFComposer::SeeThrough)))
                box.Add(x, y);
        }
    }
    // Nothing changes: one pixel that shows what is there keeps the frame
    // (its delay and extensions) without drawing anything new.
    if (box.Empty()) box = {0, 0, 1, 1};
    const int bw = box.Width(), bh = box.Height();
    std::vector<uint8_t> cut(size_t(bw) * size_t(bh)), keep(cut.size());
    for (int y = 0; y < bh; ++y) {
        std::memcpy(&cut[size_t(y) * size_t(bw)], frame.Scanline(box.top + y) + box.left, size_t(bw));
        std::memcpy(&keep[size_t(y) * size_t(bw)], &changed[size_t(box.top + y) * size_t(fw) + size_t(box.left)],
                    size_t(bw));
    }
    const int64_t original = EncodedSize(frame, std::vector<uint8_t>(frame.Data(), frame.Data() + frame.DataSize()),
                                         fw, fh);
    int64_t best = original;
    std::vector<uint8_t>* choice = nullptr;
    int transparent = -1;
    if (bw != fw || bh != fh) {
        best = EncodedSize(frame, cut, bw, bh);
        choice = &cut;
    }
    const int free = FreeIndex(frame, cut, keep);
    std::vector<uint8_t> holes;
    if (free >= 0) {
        holes = cut;
        for (size_t i = 0; i < holes.size(); ++i)
            if (!keep[i]) holes[i] = uint8_t(free);
        const int64_t size = EncodedSize(frame, holes, bw, bh);
        if (size < best) {
            best = size;
            choice = &holes;
            transparent = free;
        }
    }
    if (!choice || best >= original) return;
    Rewrite(frame, {fl + box.left, ft + box.top, fl + box.right, ft + box.bottom}, *choice,
            choice == &holes ? transparent : -1);
}

} // namespace

void DifferenceFrames(TGIFImage& image) {
    TGIFImageList& frames = image.Images();
    // The painter stops a pass at a frame without pixels, and loops from
    // the frame holding the first loop extension.
    int end = 0, loopStart = -1;
    for (; end < frames.Count() && !frames[end]->Empty(); ++end)
        for (int e = 0; e < frames[end]->Extensions().Count() && loopStart < 0; ++e)
            if (dynamic_cast<TGIFAppExtNSLoop*>(frames[end]->Extensions()[e])) loopStart = end;
    if (loopStart < 0) loopStart = 0;
    // What the first pass leaves is what every later pass starts from (a
    // pixel ends a pass either as the pass made it or as it was before).
    TGIFComposer first(image.Width(), image.Height());
    for (int i = 0; i < end; ++i) {
        first.Draw(*frames[i]);
        first.Dispose();
    }
    TGIFComposer composer(image.Width(), image.Height());
    TGIFComposer& again = first;
    for (int i = 0; i < end; ++i) {
        TGIFSubImage* frame = frames[i];
        Difference(*frame, composer, i >= loopStart ? &again : nullptr);
        // The rewritten frame draws (and clears) exactly what the frame
        // drew, over either picture: it carries both on.
        composer.Draw(*frame);
        composer.Dispose();
        if (i >= loopStart) {
            again.Draw(*frame);
            again.Dispose();
        }
    }
}

void ShareGlobalColors(TGIFImage& image) {
    TGIFGlobalColorMap& global = image.GlobalColorMap();
    if (global.Count() == 0) return;
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFSubImage& frame = *image.Images()[i];
        TGIFLocalColorMap& local = frame.ColorMap();
        if (frame.Empty() || local.Count() == 0) continue;
        // Each local entry's place in the global table; the transparent
        // entry needs a global one no visible pixel uses.
        const int transparent = frame.Transparent() ? frame.TransparentColorIndex() : -1;
        const uint8_t* p = frame.Data();
        const int64_t n = frame.DataSize();
        bool used[256] = {};
        for (int64_t k = 0; k < n; ++k) used[p[k]] = true;
        std::vector<int> to(256, -1);
        bool fits = true;
        bool taken[256] = {};
        for (int c = 0; c < 256 && fits; ++c) {
            if (!used[c] || c == transparent) continue;
            if (c >= local.Count()) {
                fits = false;
                break;
            }
            const TGIFColor& colour = local.Data()[c];
            for (int g = 0; g < global.Count() && to[size_t(c)] < 0; ++g)
                if (global.Data()[g] == colour) to[size_t(c)] = g;
            fits = to[size_t(c)] >= 0;
            if (fits) taken[to[size_t(c)]] = true;
        }
        if (!fits) continue;
        // Even an unused transparent index must not land on a shown one.
        if (transparent >= 0) {
            for (int g = 0; g < global.Count() && to[size_t(transparent)] < 0; ++g)
                if (!taken[g]) to[size_t(transparent)] = g;
            if (to[size_t(transparent)] < 0) continue;
        }
        std::vector<uint8_t> pixels(p, p + n);
        for (uint8_t& v : pixels)
            if (to[v] >= 0) v = uint8_t(to[v]);
        const int64_t now = EncodedSize(frame, std::vector<uint8_t>(p, p + n), frame.Width(), frame.Height()) +
                            3 * (int64_t(1) << local.BitsPerPixel());
        // Measured as the frame will be written: through the global table,
        // at the widest code size of the maps that stay.
        TGIFLocalColorMap saved(nullptr);
        saved.Assign(&local);
        local.Clear();
        const int64_t shared = EncodedSize(frame, pixels, frame.Width(), frame.Height());
        if (shared >= now) {
            local.Assign(&saved);
            continue;
        }
        std::memcpy(frame.Data(), pixels.data(), pixels.size());
        if (transparent >= 0 && to[size_t(transparent)] >= 0)
            frame.GraphicControlExtension()->SetTransparentColorIndex(to[size_t(transparent)]);
        frame.FreeBitmap();
    }
}

} // namespace xpGif10

// Colours of the frames as they are stored: reduction onto quantized
// palettes, transparency and the background.
#include "xpGif10/GifRecolor.h"
#include "xpGif10/GifComposer.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifRecompose.h"

#include <algorithm>
#include <unordered_set>

namespace xpGif10 {

namespace {

using Runs = std::vector<std::pair<const uint32_t*, size_t>>;

// The colours a frame's pixels draw, SeeThrough for its transparent index;
// an index outside its table draws black.
std::vector<uint32_t> FrameColours(TGIFSubImage& frame) {
    uint32_t table[256];
    for (int i = 0; i < 256; ++i) {
        table[i] = TGIFComposer::ColourOf(frame, uint8_t(i));
        if (table[i] == TGIFComposer::Unknown) table[i] = 0;
    }
    const uint8_t* p = frame.Data();  // before DataSize(): asking for the pixels makes them
    std::vector<uint32_t> out(size_t(frame.DataSize()));
    for (size_t i = 0; i < out.size(); ++i) out[i] = table[p[i]];
    return out;
}

// The palette for runs: their own colours when at most room of them, else
// quantized.
std::vector<TRGB> PaletteFor(const Runs& runs, size_t room) {
    std::unordered_set<uint32_t> seen;
    std::vector<TRGB> colours;
    for (auto [data, size] : runs)
        for (size_t i = 0; i < size && colours.size() <= room; ++i)
            if (data[i] != TGIFComposer::SeeThrough && seen.insert(data[i]).second)
                colours.push_back({uint8_t(data[i]), uint8_t(data[i] >> 8), uint8_t(data[i] >> 16)});
    if (colours.size() <= room) return colours;
    return QuantizedPalette(runs, int(room));
}

void FillMap(TGIFColorMap& map, const std::vector<TRGB>& colours, bool transparentSlot) {
    map.Clear();
    for (TRGB c : colours) map.Add(platform::RGB(c.Red, c.Green, c.Blue));
    if (transparentSlot || colours.empty()) map.Add(platform::clBlack);
}

// Writes the colours back as indices of the frame's (new) active table.
void MapFrame(TGIFSubImage& frame, const std::vector<uint32_t>& colours, const std::vector<TRGB>& palette,
              int ditherMode, bool transparent) {
    const int transparentIndex = int(palette.size());
    if (palette.empty()) {
        std::fill(frame.Data(), frame.Data() + frame.DataSize(), uint8_t(0));
    } else {
        TExactColorLookup lookup(palette);
        MapColours(colours.data(), frame.Width(), frame.Height(), lookup, ditherMode, transparentIndex, frame.Data());
    }
    if (transparent) frame.GraphicControlExtension()->SetTransparentColorIndex(transparentIndex);
    frame.FreeBitmap();
    frame.DropPalette();
}

std::vector<TGIFSubImage*> FramesOf(TGIFImage& image) {
    std::vector<TGIFSubImage*> frames = PictureFrames(image);
    if (frames.empty()) throw GIFException("The image has no frames");
    return frames;
}

} // namespace

void ReduceImageColors(TGIFImage& image, int colors, int ditherMode, bool perFrame) {
    if (colors < 2 || colors > 256) throw GIFException("Colour count " + std::to_string(colors) + " (2 to 256)");
    std::vector<TGIFSubImage*> frames = FramesOf(image);
    std::vector<std::vector<uint32_t>> drawn;
    bool anyTransparent = false;
    for (TGIFSubImage* f : frames) {
        drawn.push_back(FrameColours(*f));
        anyTransparent |= f->Transparent();
    }
    if (perFrame) {
        for (size_t i = 0; i < frames.size(); ++i) {
            TGIFSubImage& f = *frames[i];
            const bool transparent = f.Transparent();
            std::vector<TRGB> palette = PaletteFor({{drawn[i].data(), drawn[i].size()}}, size_t(colors - transparent));
            FillMap(f.ColorMap(), palette, transparent);
            MapFrame(f, drawn[i], palette, ditherMode, transparent);
        }
        image.FreeBitmap();
        return;
    }
    Runs all;
    for (const auto& d : drawn) all.push_back({d.data(), d.size()});
    std::vector<TRGB> palette = PaletteFor(all, size_t(colors - anyTransparent));
    // The background keeps the colour nearest to the one it had.
    TGIFHeader& header = image.Header();
    TGIFColorMap& global = image.GlobalColorMap();
    int background = 0;
    if (header.BackgroundColorIndex() < global.Count() && !palette.empty()) {
        const TGIFColor old = global.Data()[header.BackgroundColorIndex()];
        TExactColorLookup lookup(palette);
        TRGB chosen;
        background = lookup.Lookup(old.Red, old.Green, old.Blue, chosen);
    }
    FillMap(global, palette, anyTransparent);
    header.SetBackgroundColorIndex(uint8_t(background));
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i]->ColorMap().Clear();
        MapFrame(*frames[i], drawn[i], palette, ditherMode, frames[i]->Transparent());
    }
    image.FreeBitmap();
}

void SetTransparentIndex(TGIFImage& image, int index) {
    std::vector<TGIFSubImage*> frames = FramesOf(image);
    for (size_t i = 0; i < frames.size(); ++i) {
        const int count = frames[i]->ActiveColorMap().Count();
        if (index < 0 || index >= count)
            throw GIFException("Index " + std::to_string(index) + " is outside the colour table of frame " +
                               std::to_string(i) + " (" + std::to_string(count) + " colours)");
    }
    for (TGIFSubImage* f : frames) {
        TGIFGraphicControlExtension& gce = ControlExtensionOf(*f);
        gce.SetTransparentColorIndex(index);
        gce.SetTransparent(true);
        f->FreeBitmap();
    }
    image.FreeBitmap();
}

int SetTransparentColour(TGIFImage& image, platform::TColor colour) {
    int changed = 0;
    for (TGIFSubImage* f : FramesOf(image)) {
        const int index = f->ActiveColorMap().IndexOf(colour);
        if (index < 0) continue;
        TGIFGraphicControlExtension& gce = ControlExtensionOf(*f);
        gce.SetTransparentColorIndex(index);
        gce.SetTransparent(true);
        f->FreeBitmap();
        ++changed;
    }
    image.FreeBitmap();
    return changed;
}

void DropTransparency(TGIFImage& image) {
    for (TGIFSubImage* f : FramesOf(image))
        if (TGIFGraphicControlExtension* gce = f->GraphicControlExtension(); gce && gce->Transparent()) {
            gce->SetTransparent(false);
            f->FreeBitmap();
        }
    image.FreeBitmap();
}

void SetBackgroundIndex(TGIFImage& image, int index) {
    const int count = image.GlobalColorMap().Count();
    if (count == 0) throw GIFException("The image has no global colour table for a background index");
    if (index < 0 || index >= count)
        throw GIFException("Background index " + std::to_string(index) + " is outside the global colour table (" +
                           std::to_string(count) + " colours)");
    image.Header().SetBackgroundColorIndex(uint8_t(index));
}

} // namespace xpGif10

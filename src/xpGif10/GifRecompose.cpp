// Composing the animation into whole states and writing states back into
// frames.
#include "xpGif10/GifRecompose.h"
#include "xpGif10/ColorQuantizer.h"
#include "xpGif10/Ditherers.h"
#include "xpGif10/GifComposer.h"
#include "xpGif10/GifImage.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace xpGif10 {

namespace {

constexpr uint32_t SeeThrough = TGIFComposer::SeeThrough;

TRGB Rgb(uint32_t c) { return {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)}; }
uint32_t Packed(TRGB c) { return uint32_t(c.Red) | uint32_t(c.Green) << 8 | uint32_t(c.Blue) << 16; }

bool HasSeeThrough(const std::vector<uint32_t>& state) {
    return std::find(state.begin(), state.end(), SeeThrough) != state.end();
}

// The distinct opaque colours of the runs in order of first appearance,
// after the seed colours; empty when there are more than limit.
std::vector<TRGB> ExactColours(const std::vector<std::pair<const uint32_t*, size_t>>& runs, size_t limit,
                               const std::vector<TRGB>& seed = {}) {
    std::vector<TRGB> colours;
    std::unordered_set<uint32_t> seen;
    for (TRGB c : seed)
        if (seen.insert(Packed(c)).second) colours.push_back(c);
    uint32_t last = SeeThrough;
    for (auto [data, size] : runs)
        for (size_t i = 0; i < size; ++i) {
            const uint32_t c = data[i];
            if (c == SeeThrough || c == last) continue;
            last = c;
            if (seen.insert(c).second) {
                colours.push_back(Rgb(c));
                if (colours.size() > limit) return {};
            }
        }
    return colours;
}

// A rectangle of the screen.
struct Area {
    int left = 0, top = 0, width = 0, height = 0;
};

// Where two states differ (empty when they are equal).
Area Changes(const std::vector<uint32_t>& before, const std::vector<uint32_t>& now, int width, int height) {
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        const uint32_t* a = &before[size_t(y) * size_t(width)];
        const uint32_t* b = &now[size_t(y) * size_t(width)];
        if (std::memcmp(a, b, size_t(width) * sizeof(uint32_t)) == 0) continue;
        top = std::min(top, y);
        bottom = y;
        int x0 = 0, x1 = width - 1;
        while (a[x0] == b[x0]) ++x0;
        while (a[x1] == b[x1]) --x1;
        left = std::min(left, x0);
        right = std::max(right, x1);
    }
    if (bottom < 0) return {};
    return {left, top, right - left + 1, bottom - top + 1};
}

void FillMap(TGIFColorMap& map, const std::vector<TRGB>& colours, bool transparentSlot) {
    map.Clear();
    for (TRGB c : colours) map.Add(platform::RGB(c.Red, c.Green, c.Blue));
    // The see-through pixels' own entry; black, as nothing draws it.
    if (transparentSlot || colours.empty()) map.Add(platform::clBlack);
}

} // namespace

std::vector<TGIFSubImage*> PictureFrames(TGIFImage& image) {
    std::vector<TGIFSubImage*> frames;
    for (int i = 0; i < image.Images().Count(); ++i)
        if (!image.Images()[i]->Empty()) frames.push_back(image.Images()[i]);
    return frames;
}

TComposedFrames ComposeFrames(TGIFImage& image) {
    TComposedFrames out;
    out.Width = image.Width();
    out.Height = image.Height();
    out.Frames = PictureFrames(image);
    TGIFComposer composer(out.Width, out.Height);
    for (TGIFSubImage* frame : out.Frames) {
        composer.Draw(*frame);
        const uint32_t* s = composer.State();
        std::vector<uint32_t> state(s, s + size_t(out.Width) * size_t(out.Height));
        for (uint32_t& c : state)
            if (c == TGIFComposer::Unknown) c = 0;
        out.States.push_back(std::move(state));
        composer.Dispose();
    }
    return out;
}

TNearestColour::TNearestColour(const std::vector<TRGB>& entries) {
    for (size_t i = 0; i < entries.size(); ++i) index_.push_back(int(i));
    std::stable_sort(index_.begin(), index_.end(),
                     [&](int a, int b) { return entries[size_t(a)].Red < entries[size_t(b)].Red; });
    for (int i : index_) sorted_.push_back(entries[size_t(i)]);
}

int TNearestColour::Find(int red, int green, int blue) const {
    const int n = int(sorted_.size());
    int up = int(std::lower_bound(sorted_.begin(), sorted_.end(), red,
                                  [](const TRGB& e, int r) { return e.Red < r; }) -
                 sorted_.begin());
    int down = up - 1;
    int best = 0, bestDistance = INT_MAX;
    auto consider = [&](int k) {
        const TRGB& e = sorted_[size_t(k)];
        const int dr = e.Red - red, dg = e.Green - green, db = e.Blue - blue;
        const int d = dr * dr + dg * dg + db * db;
        // Equal distances go to the entry first in the palette.
        if (d < bestDistance || (d == bestDistance && index_[size_t(k)] < index_[size_t(best)])) {
            bestDistance = d;
            best = k;
        }
    };
    while (up < n || down >= 0) {
        if (up < n) {
            const int dr = sorted_[size_t(up)].Red - red;
            if (dr * dr > bestDistance)
                up = n;
            else
                consider(up++);
        }
        if (down >= 0) {
            const int dr = red - sorted_[size_t(down)].Red;
            if (dr * dr > bestDistance)
                down = -1;
            else
                consider(down--);
        }
    }
    return n == 0 ? 0 : index_[size_t(best)];
}

TExactColorLookup::TExactColorLookup(std::vector<TRGB> entries, int cacheBits)
    : TColorLookup(int(entries.size())), entries_(std::move(entries)), nearest_(entries_), shift_(32 - cacheBits),
      keys_(size_t(1) << cacheBits, 0), answers_(size_t(1) << cacheBits, 0) {}

int TExactColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, TRGB& chosen) {
    const uint32_t key = (uint32_t(red) | uint32_t(green) << 8 | uint32_t(blue) << 16) + 1;
    const size_t mask = keys_.size() - 1;
    size_t slot = (key * 2654435761u) >> shift_ & mask;
    while (keys_[slot] != 0 && keys_[slot] != key) slot = (slot + 1) & mask;
    if (keys_[slot] == key) {
        chosen = entries_[answers_[slot]];
        return answers_[slot];
    }
    const int best = nearest_.Find(red, green, blue);
    // A full table starts again rather than probing long chains.
    if (used_ * 4 >= keys_.size() * 3) {
        std::fill(keys_.begin(), keys_.end(), 0);
        used_ = 0;
        slot = (key * 2654435761u) >> shift_ & mask;
    }
    keys_[slot] = key;
    answers_[slot] = uint8_t(best);
    ++used_;
    chosen = entries_[size_t(best)];
    return best;
}

void MapColours(const uint32_t* colours, int width, int height, TColorLookup& lookup, int ditherMode,
                int transparentIndex, uint8_t* out) {
    std::unique_ptr<TDitherEngine> ditherer = MakeDitherer(ditherMode, width, lookup);
    if (!ditherer) throw GIFException("Unknown dither mode " + std::to_string(ditherMode));
    TRGB chosen;
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = colours + size_t(y) * size_t(width);
        uint8_t* to = out + size_t(y) * size_t(width);
        const int dir = ditherer->Direction();
        int x = dir > 0 ? 0 : width - 1;
        for (int n = 0; n < width; ++n, x += dir) {
            const uint32_t c = row[x];
            if (c == SeeThrough) {
                to[x] = uint8_t(transparentIndex);
                ditherer->Skip();
            } else {
                to[x] = uint8_t(ditherer->Dither(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), chosen));
            }
        }
        ditherer->NextLine();
    }
}

std::vector<TRGB> QuantizedPalette(const std::vector<std::pair<const uint32_t*, size_t>>& runs, int maxColors) {
    TColorQuantizer quantizer(std::max(1, maxColors), 8);
    // The colours gathered in cells of 6 bits per channel, each with the
    // sums of what fell in it: the refinement below works on the cells'
    // means, of which there are far fewer than colours in a filtered
    // picture.
    struct Cell {
        uint64_t count = 0, red = 0, green = 0, blue = 0;
    };
    std::vector<Cell> cells(size_t(1) << 18);
    bool any = false;
    for (auto [data, size] : runs)
        for (size_t i = 0; i < size; ++i) {
            const uint32_t c = data[i];
            if (c == SeeThrough) continue;
            const uint32_t r = c & 0xFF, g = c >> 8 & 0xFF, b = c >> 16 & 0xFF;
            quantizer.AddColor(uint8_t(r), uint8_t(g), uint8_t(b));
            Cell& cell = cells[(r >> 2) << 12 | (g >> 2) << 6 | b >> 2];
            ++cell.count, cell.red += r, cell.green += g, cell.blue += b;
            any = true;
        }
    if (!any) return {};
    std::vector<TRGB> palette = quantizer.Colors();
    // The octree cuts space at fixed bounds; a few rounds of moving each
    // entry to the mean of the colours nearest to it take the error well
    // down. Pictures of many colours get fewer rounds, so that the work
    // stays bounded.
    struct Mean {
        int red, green, blue;   // the cell's mean, for finding its entry
        const Cell* sums;
    };
    std::vector<Mean> colours;
    for (const Cell& cell : cells)
        if (cell.count)
            colours.push_back({int((cell.red + cell.count / 2) / cell.count),
                               int((cell.green + cell.count / 2) / cell.count),
                               int((cell.blue + cell.count / 2) / cell.count), &cell});
    const size_t work = colours.size() * palette.size();
    const int rounds = int(std::clamp<size_t>(200'000'000 / std::max<size_t>(work, 1), 1, 8));
    std::vector<std::array<double, 4>> sums(palette.size());
    for (int round = 0; round < rounds; ++round) {
        std::fill(sums.begin(), sums.end(), std::array<double, 4>{});
        const TNearestColour nearest(palette);
        for (const Mean& m : colours) {
            const size_t best = size_t(nearest.Find(m.red, m.green, m.blue));
            sums[best][0] += double(m.sums->red), sums[best][1] += double(m.sums->green);
            sums[best][2] += double(m.sums->blue), sums[best][3] += double(m.sums->count);
        }
        bool moved = false;
        for (size_t k = 0; k < palette.size(); ++k) {
            if (sums[k][3] == 0) continue;
            const TRGB mean{uint8_t(std::lround(sums[k][0] / sums[k][3])),
                            uint8_t(std::lround(sums[k][1] / sums[k][3])),
                            uint8_t(std::lround(sums[k][2] / sums[k][3]))};
            moved |= !(mean == palette[k]);
            palette[k] = mean;
        }
        if (!moved) break;
    }
    return palette;
}

void RecomposeFrames(TGIFImage& image, const TComposedFrames& composed, const TRecomposeOptions& options) {
    const int width = composed.Width, height = composed.Height;
    const size_t count = composed.Frames.size();
    std::vector<bool> seeThrough(count);
    bool anySeeThrough = false;
    for (size_t i = 0; i < count; ++i) anySeeThrough |= seeThrough[i] = HasSeeThrough(composed.States[i]);

    // One global palette when every colour fits (or when asked to
    // quantize), else a table per frame.
    std::vector<std::pair<const uint32_t*, size_t>> all;
    for (const auto& s : composed.States) all.push_back({s.data(), s.size()});
    TGIFColorMap& global = image.GlobalColorMap();
    std::vector<TRGB> oldGlobal;
    for (int i = 0; i < global.Count(); ++i) oldGlobal.push_back({global.Data()[i].Red, global.Data()[i].Green,
                                                                  global.Data()[i].Blue});
    // Frames cut to their changes also leave unchanged pixels see-through,
    // which compress to little.
    const bool transparentSlot = anySeeThrough || options.CropToChanges;
    const size_t room = transparentSlot ? 255 : 256;
    // A state with no opaque pixel has no colours to look up.
    bool anyOpaque = false;
    for (const auto& s : composed.States)
        if (std::any_of(s.begin(), s.end(), [](uint32_t c) { return c != SeeThrough; })) anyOpaque = true;
    std::vector<TRGB> shared;
    bool useShared = true;
    if (options.Quantize) {
        shared = QuantizedPalette(all, int(room));
    } else {
        // The old global colours first, so that their indices (the
        // background's among them) stay when they are still in use.
        if (oldGlobal.size() <= room) shared = ExactColours(all, room, oldGlobal);
        if (shared.empty()) shared = ExactColours(all, room);
        useShared = !shared.empty() || !anyOpaque;
    }
    const int sharedTransparent = int(shared.size());
    std::unique_ptr<TExactColorLookup> sharedLookup;
    if (useShared) {
        const uint8_t background = image.Header().BackgroundColorIndex();
        const bool hadBackground = background < oldGlobal.size();
        FillMap(global, shared, transparentSlot);
        // Filtered pictures ask for many colours: a larger memory of them.
        if (!shared.empty()) sharedLookup = std::make_unique<TExactColorLookup>(shared, options.Quantize ? 20 : 16);
        if (hadBackground && sharedLookup) {
            TRGB chosen;
            const TRGB b = oldGlobal[background];
            image.Header().SetBackgroundColorIndex(uint8_t(sharedLookup->Lookup(b.Red, b.Green, b.Blue, chosen)));
        } else if (background >= global.Count()) {
            image.Header().SetBackgroundColorIndex(0);
        }
    }

    image.Header().SetWidth(width);
    image.Header().SetHeight(height);
    std::vector<uint32_t> region;
    for (size_t i = 0; i < count; ++i) {
        TGIFSubImage& frame = *composed.Frames[i];
        const std::vector<uint32_t>& state = composed.States[i];
        // Whole states one after another: a state that shows less than the
        // one before needs the one before cleared first; else it is kept
        // and the next frame may cover only what changes.
        Area area{0, 0, width, height};
        // The last frame leads on to the first when the animation loops.
        const bool nextClears = i + 1 < count ? seeThrough[i + 1] : count > 1 && seeThrough[0];
        // Clearing for the next state must clear the whole screen.
        const bool whole = !options.CropToChanges || i == 0 || seeThrough[i] || nextClears;
        if (!whole) {
            area = Changes(composed.States[i - 1], state, width, height);
            if (area.width == 0) area = {0, 0, 1, 1};
        }
        if (nextClears)
            ControlExtensionOf(frame).SetDisposal(dmBackground);
        else if (TGIFGraphicControlExtension* gce = frame.GraphicControlExtension();
                 gce && gce->Disposal() > dmNoDispose && i + 1 < count)
            gce->SetDisposal(dmNoDispose);
        region.resize(size_t(area.width) * size_t(area.height));
        for (int y = 0; y < area.height; ++y)
            std::memcpy(&region[size_t(y) * size_t(area.width)],
                        &state[size_t(area.top + y) * size_t(width) + size_t(area.left)],
                        size_t(area.width) * sizeof(uint32_t));
        if (!whole) {
            // Only where most of the area stays: a few scattered see-through
            // pixels in a changing picture cost more than they save.
            const std::vector<uint32_t>& before = composed.States[i - 1];
            auto was = [&](int y) { return &before[size_t(area.top + y) * size_t(width) + size_t(area.left)]; };
            size_t same = 0;
            for (int y = 0; y < area.height; ++y)
                for (int x = 0; x < area.width; ++x)
                    same += region[size_t(y) * size_t(area.width) + size_t(x)] == was(y)[x];
            if (same * 2 > region.size())
                for (int y = 0; y < area.height; ++y) {
                    uint32_t* now = &region[size_t(y) * size_t(area.width)];
                    for (int x = 0; x < area.width; ++x)
                        if (now[x] == was(y)[x]) now[x] = SeeThrough;
                }
        }
        const bool regionSeeThrough = std::find(region.begin(), region.end(), SeeThrough) != region.end();

        frame.SetBounds(area.left, area.top, area.width, area.height);
        TColorLookup* lookup = sharedLookup.get();
        int transparent = sharedTransparent;
        std::unique_ptr<TExactColorLookup> own;
        if (useShared) {
            frame.ColorMap().Clear();
        } else {
            const std::vector<std::pair<const uint32_t*, size_t>> one{{region.data(), region.size()}};
            const size_t frameRoom = regionSeeThrough ? 255 : 256;
            std::vector<TRGB> colours = ExactColours(one, frameRoom);
            if (colours.empty()) colours = QuantizedPalette(one, int(frameRoom));
            FillMap(frame.ColorMap(), colours, regionSeeThrough);
            transparent = int(colours.size());
            if (!colours.empty()) own = std::make_unique<TExactColorLookup>(colours);
            lookup = own.get();
        }
        if (lookup) {
            MapColours(region.data(), area.width, area.height, *lookup, options.DitherMode, transparent, frame.Data());
        } else {
            std::memset(frame.Data(), transparent, region.size());
        }
        frame.FreeBitmap();
        if (regionSeeThrough) {
            TGIFGraphicControlExtension& gce = ControlExtensionOf(frame);
            gce.SetTransparentColorIndex(transparent);
            gce.SetTransparent(true);
        } else if (TGIFGraphicControlExtension* gce = frame.GraphicControlExtension()) {
            gce->SetTransparent(false);
        }
    }
}

} // namespace xpGif10

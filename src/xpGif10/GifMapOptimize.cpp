// Sorting a colour map by use: the most used colour first, unused colours
// dropped, and the pixels that draw through the map renumbered to match.
#include "xpGif10/GifColorMap.h"
#include "xpGif10/GifImage.h"

#include <algorithm>
#include <numeric>

namespace xpGif10 {

using namespace platform;

namespace {

// The frames that draw through the map: its own frame for a local map, the
// frames without local colours for the global one.
template <class Visit>
void ForFramesOf(TGIFColorMap& map, TGIFImage* image, TGIFSubImage* local, Visit visit) {
    if (local) {
        visit(*local);
        return;
    }
    if (!image) return;
    for (int i = 0; i < image->Images().Count(); ++i) {
        TGIFSubImage* f = image->Images()[i];
        if (&f->ActiveColorMap() == &map) visit(*f);
    }
}

void Histogram(TGIFColorMap& map, TGIFImage* image, TGIFSubImage* local, std::vector<int>& histogram) {
    histogram.assign(size_t(map.Count()), 0);
    ForFramesOf(map, image, local, [&](TGIFSubImage& f) {
        if (f.Empty()) return;
        const uint8_t* p = f.Data();
        const int64_t n = f.DataSize();
        for (int64_t i = 0; i < n; ++i)
            if (p[i] < map.Count()) ++histogram[p[i]];
    });
}

void Remap(TGIFColorMap& map, TGIFImage* image, TGIFSubImage* local, const std::vector<int>& order) {
    ForFramesOf(map, image, local, [&](TGIFSubImage& f) {
        if (!f.Empty()) {
            uint8_t* p = f.Data();
            const int64_t n = f.DataSize();
            for (int64_t i = 0; i < n; ++i)
                if (p[i] < int(order.size())) p[i] = uint8_t(order[p[i]]);
        }
        if (f.Transparent() && f.GraphicControlExtension()) {
            int t = f.TransparentColorIndex();
            if (t < int(order.size())) f.GraphicControlExtension()->SetTransparentColorIndex(order[size_t(t)]);
        }
        f.FreeBitmap();
    });
}

// Sorts by decreasing use; answers whether anything changed. background,
// when given, is an index into the map that others refer to: its colour
// counts as used and the index follows it.
bool OptimizeMap(TGIFColorMap& map, TGIFHeader* background = nullptr) {
    if (map.Count() < 2) return false;
    map.SetOptimized(true);
    std::vector<int> histogram;
    map.BuildHistogram(histogram);
    const int bg = background ? background->BackgroundColorIndex() : -1;
    if (bg >= 0 && bg < int(histogram.size())) ++histogram[size_t(bg)];
    std::vector<int> sorted(histogram.size());
    std::iota(sorted.begin(), sorted.end(), 0);
    std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) { return histogram[size_t(a)] > histogram[size_t(b)]; });
    bool identity = true;
    for (size_t i = 0; i < sorted.size(); ++i) identity &= sorted[i] == int(i);
    if (identity) {
        // Already in order of use: the unused colours are the tail, and
        // dropping them is all there is to do.
        const int used = int(std::count_if(histogram.begin(), histogram.end(), [](int n) { return n > 0; }));
        if (used == 0 || used == map.Count()) return false;
        std::vector<TColor> colors;
        for (int i = 0; i < used; ++i) colors.push_back(map.GetColor(i));
        map.Clear();
        for (TColor c : colors) map.Add(c);
        map.SetOptimized(true);
        map.Changed();
        return true;
    }
    // order[old index] = new index
    std::vector<int> order(sorted.size());
    for (size_t i = 0; i < sorted.size(); ++i) order[size_t(sorted[i])] = int(i);
    map.MapImages(order);
    if (bg >= 0 && bg < int(order.size())) background->SetBackgroundColorIndex(uint8_t(order[size_t(bg)]));
    std::vector<TColor> colors;
    for (int i : sorted)
        if (histogram[size_t(i)] > 0) colors.push_back(map.GetColor(i));
    map.Clear();
    for (TColor c : colors) map.Add(c);
    map.SetOptimized(true);
    map.Changed();
    return true;
}

} // namespace

void TGIFGlobalColorMap::BuildHistogram(std::vector<int>& histogram) {
    Histogram(*this, header_ ? header_->Image() : nullptr, nullptr, histogram);
}

void TGIFGlobalColorMap::MapImages(const std::vector<int>& map) {
    Remap(*this, header_ ? header_->Image() : nullptr, nullptr, map);
}

bool TGIFGlobalColorMap::Optimize() { return OptimizeMap(*this, header_); }

void TGIFLocalColorMap::BuildHistogram(std::vector<int>& histogram) {
    Histogram(*this, nullptr, frame_, histogram);
}

void TGIFLocalColorMap::MapImages(const std::vector<int>& map) { Remap(*this, nullptr, frame_, map); }

bool TGIFLocalColorMap::Optimize() { return OptimizeMap(*this); }

} // namespace xpGif10

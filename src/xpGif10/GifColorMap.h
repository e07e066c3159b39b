#pragma once
// A GIF colour table: up to 256 red, green, blue triplets in file order, and
// the optimized flag (sorted by decreasing use, written as the sort flag).
// The global table belongs to the header, a local one to its frame.
#include "platform/Graphics.h"
#include "platform/Palette.h"
#include "platform/Streams.h"
#include "xpGif10/GifTypes.h"

#include <cstdint>
#include <vector>

namespace xpGif10 {

class TGIFImage;
class TGIFHeader;
class TGIFSubImage;

struct TGIFColor {
    uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const TGIFColor&) const = default;
};

class TGIFColorMap : public platform::TPersistent {
public:
    TGIFColorMap() = default;
    std::string ClassName() const override { return "TGIFColorMap"; }

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    bool Optimized() const { return optimized_; }
    void SetOptimized(bool value) { optimized_ = value; }
    const TGIFColor* Data() const { return colors_.data(); }

    // Makes room for n entries (never shrinks; at most 256).
    void Grow(int n);
    // Appends; a 257th colour raises "Color table overflow".
    int Add(platform::TColor color);
    // The first (optimized map) or last matching entry, or -1.
    int IndexOf(platform::TColor color) const;
    int AddUnique(platform::TColor color);
    void Delete(int index);
    // A bad index warns "Invalid color index" and answers entry 0; an empty
    // table then raises "Color table is empty".
    platform::TColor GetColor(int index);
    void SetColor(int index, platform::TColor color);
    void Clear();

    void ImportPalette(const platform::HPALETTE& palette);
    // Entries stored blue, green, red, reserved.
    void ImportDIBColors(const uint8_t* entries, int count);
    platform::HPALETTE ExportPalette() const;
    void Assign(const platform::TPersistent* source) override;

    // Bits per pixel: the smallest b >= 1 with 2^b >= count (0 when empty).
    int BitsPerPixel() const;
    int ColorResolution() const { return BitsPerPixel() - 1; }

    // Reads count triplets; a short read raises "Premature end of data".
    void LoadFromStream(platform::TStream& stream, int count);
    // Writes the colours and pads with black up to 2^BitsPerPixel entries,
    // or up to 2^bits when that is more.
    void SaveToStream(platform::TStream& stream, int bits = 0) const;

    // ---- operations of the owner's kind ----
    virtual void Warning(int severity, const std::string& message) = 0;
    // Counts the use of every entry by the pixels that draw through it.
    virtual void BuildHistogram(std::vector<int>& histogram) = 0;
    // Replaces every pixel that draws through this map by map[pixel].
    virtual void MapImages(const std::vector<int>& map) = 0;
    // Sorts the entries by decreasing use and drops unused ones.
    virtual bool Optimize() = 0;
    virtual void Changed() = 0;

private:
    std::vector<TGIFColor> colors_;
    int capacity_ = 0;
    int count_ = 0;
    bool optimized_ = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader* header) : header_(header) {}
    std::string ClassName() const override { return "TGIFGlobalColorMap"; }
    void Warning(int severity, const std::string& message) override;
    void BuildHistogram(std::vector<int>& histogram) override;
    void MapImages(const std::vector<int>& map) override;
    bool Optimize() override;
    void Changed() override;
    TGIFHeader* Header() const { return header_; }

private:
    TGIFHeader* header_;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage* frame) : frame_(frame) {}
    std::string ClassName() const override { return "TGIFLocalColorMap"; }
    void Warning(int severity, const std::string& message) override;
    void BuildHistogram(std::vector<int>& histogram) override;
    void MapImages(const std::vector<int>& map) override;
    bool Optimize() override;
    void Changed() override;
    TGIFSubImage* SubImage() const { return frame_; }

private:
    TGIFSubImage* frame_;
};

} // namespace xpGif10

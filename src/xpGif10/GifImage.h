#pragma once
// The GIF picture: a logical screen (header with the global colour map) and
// a list of frames, read and written in the published GIF layout. The image
// owns its header and frames; each frame owns its extensions, local colour
// map and pixels.
#include "platform/Graphics.h"
#include "xpGif10/GifColorMap.h"
#include "xpGif10/GifItem.h"
#include "xpGif10/GifPainterList.h"
#include "xpGif10/GifSubImage.h"

#include <functional>
#include <memory>

namespace xpGif10 {

class TGIFPainter;

class TGIFHeader : public TGIFItem {
public:
    explicit TGIFHeader(TGIFImage* image) : TGIFItem(image), colorMap_(this) {}
    std::string ClassName() const override { return "TGIFHeader"; }
    void SaveToStream(platform::TStream& stream) override;
    void LoadFromStream(platform::TStream& stream) override;
    // Recomputes the packed byte of the screen descriptor from the maps.
    void Prepare();
    void Clear();

    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetWidth(int v) { width_ = v; }
    void SetHeight(int v) { height_ = v; }
    uint8_t Packed() const { return packed_; }
    uint8_t BackgroundColorIndex() const { return background_; }
    void SetBackgroundColorIndex(uint8_t v) { background_ = v; }
    uint8_t AspectRatio() const { return aspect_; }
    void SetAspectRatio(uint8_t v) { aspect_ = v; }
    platform::TColor BackgroundColor() { return colorMap_.GetColor(background_); }
    TGIFGlobalColorMap& ColorMap() { return colorMap_; }

private:
    int width_ = 0, height_ = 0;
    uint8_t packed_ = 0;
    uint8_t background_ = 0;
    uint8_t aspect_ = 0;
    TGIFGlobalColorMap colorMap_;
};

// The one-byte trailer; it exists only while an image is read or written.
class TGIFTrailer : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    std::string ClassName() const override { return "TGIFTrailer"; }
    void SaveToStream(platform::TStream& stream) override;
    void LoadFromStream(platform::TStream& stream) override;
};

class TGIFImageList : public TGIFList {
public:
    using TGIFList::TGIFList;
    std::string ClassName() const override { return "TGIFImageList"; }
    TGIFSubImage* SubImage(int index) const { return static_cast<TGIFSubImage*>(Item(index)); }
    TGIFSubImage* operator[](int index) const { return SubImage(index); }
    // Reads frames up to the trailer.
    void LoadFromStream(platform::TStream& stream) override;
    void SaveToStream(platform::TStream& stream) override;
};

// The steps TGIFImage::Optimize takes, one bit each.
enum TGIFOptimizeOption {
    ooCrop = 0x01,           // crop transparent frames to what they show
    ooMerge = 0x02,          // pixels that repeat the frame before become transparent
    ooCleanup = 0x04,        // drop needless transparency, disposals, extensions and frames
    ooColorMap = 0x08,       // sort colour maps by use, dropping unused colours; with
                             // ooDifference, frames move to the global table where it has their colours
    ooReduceColors = 0x10,   // reduce colours: left to the colour tools, only checked
    ooDifference = 0x20,     // keep of each frame only what it changes
};
// The options to optimize with when none are given: every step but merge.
constexpr int GIFDefaultOptimizeOptions = ooCrop | ooCleanup | ooColorMap | ooReduceColors | ooDifference;

class TGIFImage : public platform::TGraphic {
public:
    using WarningHandler = std::function<void(TGIFImage* image, platform::TPersistent* sender, int severity,
                                              const std::string& message)>;
    using PainterEvent = std::function<void(platform::TPersistent* sender)>;

    TGIFImage();
    ~TGIFImage() override;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;
    std::string ClassName() const override { return "TGIFImage"; }

    // ---- picture interface ----
    bool Empty() const override { return images_.Count() == 0; }
    int Width() const override { return header_->Width(); }
    int Height() const override { return header_->Height(); }
    // A frame reaching past the new size raises "Image width (height) too
    // small for contained frames" and leaves the size alone.
    void SetWidth(int value) override;
    void SetHeight(int value) override;
    platform::HPALETTE Palette() override;
    void SetPalette(platform::HPALETTE palette) override;
    void LoadFromStream(platform::TStream& stream) override;
    // Reads the file's blocks as LoadFromStream does but decodes no pixels:
    // each frame notes where its image data lies in the stream, which it
    // keeps, and decodes it when its pixels are first asked for (decoding
    // warnings come then). Errors in the block structure are raised here.
    // The stream is shared by the frames: nothing else may read it while
    // frames are pending.
    void Scan(std::shared_ptr<platform::TStream> stream);
    void Scan(std::shared_ptr<const std::vector<uint8_t>> bytes);
    // The stream a scan is reading, while it does.
    const std::shared_ptr<platform::TStream>& ScanSource() const { return scanning_; }
    void SaveToStream(platform::TStream& stream) override;
    void LoadFromClipboardFormat(unsigned format, const std::vector<uint8_t>& data,
                                 platform::HPALETTE palette) override;
    void SaveToClipboardFormat(unsigned& format, std::vector<uint8_t>& data, platform::HPALETTE& palette) override;
    void Draw(platform::TCanvas& canvas, const platform::TRect& rect) override;
    void Assign(const platform::TPersistent* source) override;

    // ---- drawing and animation ----
    // Makes a painter for the canvas and rectangle and registers it. A
    // threaded one is answered for its creator to start; an unthreaded one
    // plays at once and none is answered. reference, when given, receives
    // the painter and is cleared when it ends.
    TGIFPainter* Paint(platform::TCanvas& canvas, const platform::TRect& rect, uint16_t options,
                       TGIFPainter** reference = nullptr);
    // Stops the painter that Draw uses, waits for it and frees the composite
    // bitmap.
    void PaintStop();
    TGIFPainter* DrawPainter() const { return drawPainter_; }
    TGIFPainterList& Painters() { return painters_; }
    // The image as one bitmap (the animation bitmap while a painter draws
    // into it); none for an empty image.
    std::shared_ptr<platform::TBitmap> Bitmap();
    // A new bitmap of the image's size with the image's palette whose
    // changes signal the image's change.
    std::shared_ptr<platform::TBitmap> NewBitmap();
    void FreeBitmap();

    // ---- editing ----
    // Shrinks the image by the TGIFOptimizeOption bits in options; what is
    // drawn stays the same. Frames are first cut to the logical screen,
    // then the options run in this order: colour maps, the transparency and
    // disposal half of cleanup, merge, differencing, crop, and the
    // extension half of cleanup. Without cleanup, ooReduceColors with
    // reduction method rmPalette raises "Invalid reduction method".
    void Optimize(int options, int reductionMethod);

    // ---- the model ----
    TGIFHeader& Header() { return *header_; }
    TGIFImageList& Images() { return images_; }
    TGIFGlobalColorMap& GlobalColorMap() { return header_->ColorMap(); }
    platform::TColor BackgroundColor() { return header_->BackgroundColor(); }
    // The lowest version that holds every frame; gvUnknown without frames.
    TGIFVersion Version() const;
    void Clear();
    // Adds a frame as it is (the image takes it over) and answers its index.
    int Add(std::unique_ptr<TGIFSubImage> frame);
    // Adds a frame made from another object: a frame is copied, a graphic
    // converted; anything else raises "Object type not supported for
    // operation".
    int Add(const platform::TPersistent* source);
    // The highest bits per pixel among the global and all local maps.
    int MaxBitsPerPixel();
    // The highest colour resolution among the global and all local maps
    // (-1 when every map is empty).
    int MaxColorResolution();

    // Sends a warning to the handler; without one it is dropped.
    virtual void Warning(platform::TPersistent* sender, int severity, const std::string& message);
    // Whether frames are rendered through the web palette (the draw flag
    // and, when asked, only on a palette device).
    bool WebPaletteCondition() const;

    // Stops every painter (waiting for the threaded ones), then the drawing
    // painter, and frees the composite bitmap.
    virtual void StopDraw();

    // ---- settings, copied from the process defaults at creation ----
    uint16_t DrawOptions;
    int ColorReduction;
    int ReductionBits;
    int DitherMode;
    int Compression;          // 0 LZW, 1 run-length
    // With LZW, how far written colours may stray from the pixels' to
    // shorten the codes: 0 (exact) to 200, see LossyBound.
    int Lossiness = 0;
    int ThreadPriority;
    int AnimationSpeed;
    platform::TColor DrawBackgroundColor = platform::clNone;

    WarningHandler OnWarning;
    PainterEvent OnStartPaint, OnPaint, OnAfterPaint, OnLoop, OnEndPaint;

private:
    // The steps of Optimize; tick advances its progress.
    void ClipFramesToScreen();
    void SortColorMaps(const std::function<void()>& tick, bool share);
    void DropNeedlessTransparencyAndDisposal(const std::function<void()>& tick);
    void MergeWithEarlierFrames(const std::function<void()>& tick);
    void KeepOnlyChanges(bool sortColorMaps);
    void CropTransparentFrames(const std::function<void()>& tick);
    void DropNeedlessExtensions(const std::function<void()>& tick);

    std::unique_ptr<TGIFHeader> header_;
    TGIFImageList images_;
    platform::HPALETTE globalPalette_;
    bool paletteBusy_ = false;
    std::shared_ptr<platform::TStream> scanning_;

    // Drawing state (GifImageDraw.cpp).
    TGIFPainterList painters_;
    TGIFPainter* drawPainter_ = nullptr;
    std::shared_ptr<platform::TBitmap> bitmap_;
    bool drawing_ = false;

protected:
    void AssignTo(platform::TPersistent* dest) const override;
};

// The 216-colour web palette: entry 36r + 6g + b = (51r, 51g, 51b).
platform::HPALETTE WebPalette();

} // namespace xpGif10

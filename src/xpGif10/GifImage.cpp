#include "xpGif10/GifImage.h"
#include "xpGif10/GifByteStream.h"
#include "xpGif10/GifUnit.h"
#include "platform/Clipboard.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace xpGif10 {

using namespace platform;

uint16_t GIFDefaultDrawOptions = 0x060F;
int GIFDefaultColorReduction = 6;
int GIFDefaultColorReductionBits = 8;
int GIFDefaultDitherMode = 0;
int GIFDefaultCompression = 0;
int GIFDefaultThreadPriority = 3;
int GIFDefaultAnimationSpeed = 100;
bool GIFImageRenderOnLoad = false;
bool PaletteDevice = false;
int64_t GIFMaxFramePixels = int64_t(1) << 28;
int64_t GIFMaxImagePixels = int64_t(1) << 31;

HPALETTE WebPalette() {
    TLogPalette log;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                log.palPalEntry.push_back({uint8_t(51 * r), uint8_t(51 * g), uint8_t(51 * b), PC_NOCOLLAPSE});
    return CreatePalette(log);
}

// ---- header -------------------------------------------------------------------------

namespace {

bool IsGIF(const uint8_t* sig) {
    return std::toupper(sig[0]) == 'G' && std::toupper(sig[1]) == 'I' && std::toupper(sig[2]) == 'F';
}

} // namespace

void TGIFHeader::Clear() {
    colorMap_.Clear();
    width_ = 0;
    height_ = 0;
    Prepare();
}

void TGIFHeader::LoadFromStream(TStream& stream) {
    int64_t start = stream.Position();
    uint8_t sig[6];
    if (stream.Read(sig, 6) != 6) throw GIFException(msg::PrematureEnd);
    if (!IsGIF(sig)) {
        // Some files carry 4 bytes in front of the signature.
        stream.SetPosition(start + 4);
        if (stream.Read(sig, 6) != 6) throw GIFException(msg::PrematureEnd);
        if (!IsGIF(sig)) throw GIFException(msg::BadSignature);
    }
    uint8_t raw[7];
    if (stream.Read(raw, 7) != 7) throw GIFException(msg::PrematureEnd);
    width_ = raw[0] | raw[1] << 8;
    height_ = raw[2] | raw[3] << 8;
    packed_ = raw[4];
    background_ = raw[5];
    aspect_ = raw[6];
    if (packed_ & sdGlobalColorTable) {
        colorMap_.LoadFromStream(stream, ColorTableEntries(packed_ & sdColorTableSize));
    } else {
        colorMap_.Clear();
    }
}

void TGIFHeader::Prepare() {
    uint8_t packed = 0;
    if (colorMap_.Count() > 0) {
        packed |= sdGlobalColorTable;
        if (colorMap_.Optimized()) packed |= sdSort;
    }
    int res = image_ ? image_->MaxColorResolution() : colorMap_.ColorResolution();
    packed |= uint8_t((unsigned(res) << sdColorResolutionShift) & sdColorResolution);
    int b = colorMap_.Count() > 0 ? colorMap_.BitsPerPixel() : (image_ ? image_->MaxBitsPerPixel() : 0);
    packed |= uint8_t((b - 1) & sdColorTableSize);
    packed_ = packed;
}

void TGIFHeader::SaveToStream(TStream& stream) {
    TGIFVersion v = image_ ? image_->Version() : gvUnknown;
    if (v == gvUnknown)
        throw GIFException(image_ && image_->Images().Count() == 0 ? "The image has no frames to save"
                                                                    : msg::UnsupportedVersion);
    uint8_t sig[6] = {'G', 'I', 'F', 0, 0, 0};
    std::memcpy(sig + 3, GIFVersions[v], 3);
    stream.WriteBuffer(sig, 6);
    Prepare();
    // The table is padded to cover every pixel value of the frames that
    // draw through it, so whatever was loaded can be written again.
    int bits = colorMap_.BitsPerPixel();
    if (bits > 0 && image_) {
        for (int i = 0; i < image_->Images().Count(); ++i) {
            TGIFSubImage* f = image_->Images()[i];
            if (f->ColorMap().Count() == 0) bits = std::max(bits, f->UsedBitsPerPixel());
        }
        packed_ = uint8_t((packed_ & ~sdColorTableSize) | ((bits - 1) & sdColorTableSize));
    }
    uint8_t raw[7] = {uint8_t(width_), uint8_t(width_ >> 8), uint8_t(height_), uint8_t(height_ >> 8),
                      packed_,         background_,          aspect_};
    stream.WriteBuffer(raw, 7);
    if (packed_ & sdGlobalColorTable) colorMap_.SaveToStream(stream, bits);
}

// ---- trailer ----------------------------------------------------------------------------

void TGIFTrailer::LoadFromStream(TStream& stream) {
    uint8_t b;
    if (stream.Read(&b, 1) == 1 && b != bsTrailer) Warning(GIFWarningSeverity, msg::BadTrailer);
}

void TGIFTrailer::SaveToStream(TStream& stream) { stream.WriteByte(bsTrailer); }

// ---- frame list ---------------------------------------------------------------------------

void TGIFImageList::LoadFromStream(TStream& stream) {
    for (;;) {
        uint8_t b;
        do {
            if (stream.Read(&b, 1) != 1) return;
        } while (b == 0);
        if (b == bsTrailer) {
            stream.Seek(-1, SeekOrigin::Current);
            return;
        }
        if (b != bsExtensionIntroducer && b != bsImageSeparator) {
            Warning(GIFWarningSeverity, msg::UnknownBlock);
            // The trailer check then looks at the unknown byte itself.
            stream.Seek(-1, SeekOrigin::Current);
            return;
        }
        stream.Seek(-1, SeekOrigin::Current);
        auto frame = std::make_unique<TGIFSubImage>(image_);
        try {
            frame->LoadFromStream(stream);
        } catch (const GIFException& e) {
            // A file cut short in a frame's extensions, descriptor or
            // colour table keeps the frames before it, as other readers do.
            if (Count() == 0 || std::string(e.what()) != msg::PrematureEnd) throw;
            Warning(GIFWarningSeverity, "The file ends inside frame " + std::to_string(Count() + 1) +
                                            ", before its image data: the " + std::to_string(Count()) +
                                            " frames before it are kept");
            stream.Seek(0, SeekOrigin::End);
            return;
        }
        Add(std::move(frame));
        if (image_) {
            int64_t size = stream.Size();
            int percent = size > 0 ? int(stream.Position() * 100 / size) : 100;
            image_->Progress(image_, TProgressStage::psRunning, percent, GIFImageRenderOnLoad, TRect{},
                             msg::Loading);
        }
    }
}

void TGIFImageList::SaveToStream(TStream& stream) {
    for (int i = 0; i < Count(); ++i) {
        SubImage(i)->SaveToStream(stream);
        if (image_)
            image_->Progress(image_, TProgressStage::psRunning, (i + 1) * 100 / Count(), false, TRect{},
                             msg::Saving);
    }
}

// ---- image ----------------------------------------------------------------------------------

TGIFImage::TGIFImage()
    : DrawOptions(GIFDefaultDrawOptions),
      ColorReduction(GIFDefaultColorReduction),
      ReductionBits(GIFDefaultColorReductionBits),
      DitherMode(GIFDefaultDitherMode),
      Compression(GIFDefaultCompression),
      ThreadPriority(GIFDefaultThreadPriority),
      AnimationSpeed(GIFDefaultAnimationSpeed),
      header_(std::make_unique<TGIFHeader>(this)),
      images_(this) {}

TGIFImage::~TGIFImage() {
    StopDraw();
    images_.Clear();
}

void TGIFImage::Warning(TPersistent* sender, int severity, const std::string& message) {
    if (OnWarning) OnWarning(this, sender, severity, message);
}

bool TGIFImage::WebPaletteCondition() const {
    return (DrawOptions & goDither) && (!(DrawOptions & goAutoDither) || PaletteDevice);
}

TGIFVersion TGIFImage::Version() const {
    TGIFVersion v = gvUnknown;
    for (int i = 0; i < images_.Count(); ++i) {
        TGIFVersion f = images_[i]->Version();
        if (f > v) v = f;
        if (v == gv89a) break;
    }
    return v;
}

int TGIFImage::MaxBitsPerPixel() {
    int b = header_->ColorMap().BitsPerPixel();
    for (int i = 0; i < images_.Count(); ++i) b = std::max(b, images_[i]->ColorMap().BitsPerPixel());
    return b;
}

int TGIFImage::MaxColorResolution() {
    int r = header_->ColorMap().ColorResolution();
    for (int i = 0; i < images_.Count(); ++i) r = std::max(r, images_[i]->ColorMap().ColorResolution());
    return r;
}

void TGIFImage::Clear() {
    StopDraw();
    images_.Clear();
    header_->Clear();
    SetPalette(nullptr);
}

int TGIFImage::Add(std::unique_ptr<TGIFSubImage> frame) {
    int index = images_.Add(std::move(frame));
    FreeBitmap();
    Changed(this);
    return index;
}

int TGIFImage::Add(const TPersistent* source) {
    if (dynamic_cast<const TGIFSubImage*>(source) || dynamic_cast<const TGraphic*>(source)) {
        auto frame = std::make_unique<TGIFSubImage>(this);
        frame->Assign(source);
        return Add(std::move(frame));
    }
    throw GIFException("Object type not supported for operation");
}

void TGIFImage::SetWidth(int value) {
    for (int i = 0; i < images_.Count(); ++i)
        if (images_[i]->Left() + images_[i]->Width() > value) throw GIFException(msg::WidthTooSmall);
    if (value != header_->Width()) {
        header_->SetWidth(value);
        StopDraw();
        Changed(this);
    }
}

void TGIFImage::SetHeight(int value) {
    for (int i = 0; i < images_.Count(); ++i)
        if (images_[i]->Top() + images_[i]->Height() > value) throw GIFException(msg::HeightTooSmall);
    if (value != header_->Height()) {
        header_->SetHeight(value);
        StopDraw();
        Changed(this);
    }
}

HPALETTE TGIFImage::Palette() {
    if (paletteBusy_) throw GIFException("No global or local color table defined");
    if (bitmap_ && bitmap_->Palette()) return bitmap_->Palette();
    if (globalPalette_) return globalPalette_;
    paletteBusy_ = true;
    try {
        if (WebPaletteCondition())
            globalPalette_ = WebPalette();
        else if (header_->ColorMap().Count() > 0)
            globalPalette_ = header_->ColorMap().ExportPalette();
        else if (images_.Count() > 0)
            globalPalette_ = images_[0]->Palette();
    } catch (...) {
        paletteBusy_ = false;
        throw;
    }
    paletteBusy_ = false;
    return globalPalette_;
}

void TGIFImage::SetPalette(HPALETTE palette) {
    globalPalette_ = std::move(palette);
    if (bitmap_ && !SamePalette(bitmap_->Palette(), globalPalette_)) {
        FreeBitmap();
        SetPaletteModified(true);
        Changed(this);
    }
}

void TGIFImage::LoadFromStream(TStream& stream) {
    Progress(this, TProgressStage::psStarting, 0, false, TRect{}, msg::Loading);
    Clear();
    const int64_t start = stream.Position();
    try {
        header_->LoadFromStream(stream);
        images_.LoadFromStream(stream);
        TGIFTrailer trailer(this);
        trailer.LoadFromStream(stream);
    } catch (...) {
        stream.SetPosition(start);
        Progress(this, TProgressStage::psEnding, 0, false, TRect{}, msg::Loading);
        throw;
    }
    Progress(this, TProgressStage::psEnding, 100, false, TRect{}, msg::Loading);
    Changed(this);
}

void TGIFImage::Scan(std::shared_ptr<TStream> stream) {
    scanning_ = stream;
    try {
        LoadFromStream(*stream);
    } catch (...) {
        scanning_.reset();
        throw;
    }
    scanning_.reset();
}

void TGIFImage::Scan(std::shared_ptr<const std::vector<uint8_t>> bytes) {
    Scan(std::make_shared<TGIFByteStream>(std::move(bytes)));
}

void TGIFImage::SaveToStream(TStream& stream) {
    Progress(this, TProgressStage::psStarting, 0, false, TRect{}, msg::Saving);
    try {
        header_->SaveToStream(stream);
        images_.SaveToStream(stream);
        TGIFTrailer trailer(this);
        trailer.SaveToStream(stream);
    } catch (...) {
        Progress(this, TProgressStage::psEnding, 0, false, TRect{}, msg::Saving);
        throw;
    }
    Progress(this, TProgressStage::psEnding, 100, false, TRect{}, msg::Saving);
}

// Clipboard, Draw and Assign live with the editing and drawing code
// (GifEdit.cpp, GifImageDraw.cpp).

} // namespace xpGif10

// Editing a GIF picture as the picture framework asks for it: copying from
// and to other pictures and the clipboard.
#include "platform/Bitmap.h"
#include "platform/Clipboard.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifUnit.h"

namespace xpGif10 {

using namespace platform;

namespace {
constexpr const char* Copying = "Copying...";
} // namespace

void TGIFImage::LoadFromClipboardFormat(unsigned format, const std::vector<uint8_t>& data, HPALETTE palette) {
    std::vector<uint8_t> fetched;
    const std::vector<uint8_t>* bytes = &data;
    if (data.empty() && format != 0) {
        ClipboardService().GetData(format, fetched);
        bytes = &fetched;
    }
    if (!bytes->empty() && format != 0 && format == CF_GIF) {
        TMemoryStream stream(*bytes);
        LoadFromStream(stream);
        return;
    }
    if (!bytes->empty() && format == CF_BITMAP) {
        TBitmap bitmap;
        bitmap.LoadFromClipboardFormat(format, *bytes, palette);
        Assign(&bitmap);
        return;
    }
    throw EInvalidGraphic("Unsupported clipboard format");
}

void TGIFImage::SaveToClipboardFormat(unsigned& format, std::vector<uint8_t>& data, HPALETTE& palette) {
    if (Empty()) return;
    std::shared_ptr<TBitmap> composite = Bitmap();
    composite->SaveToClipboardFormat(format, data, palette);
    TMemoryStream stream;
    SaveToStream(stream);
    try {
        ClipboardService().SetData(CF_GIF, stream.Bytes());
    } catch (const std::exception&) {
        throw GIFException("Failed to store GIF on clipboard");
    }
}

void TGIFImage::AssignTo(TPersistent* dest) const {
    if (auto* bitmap = dynamic_cast<TBitmap*>(dest)) {
        std::shared_ptr<TBitmap> composite = const_cast<TGIFImage*>(this)->Bitmap();
        bitmap->Assign(composite.get());
        return;
    }
    TGraphic::AssignTo(dest);
}

void TGIFImage::Assign(const TPersistent* source) {
    if (source == this) return;
    if (!source) {
        Clear();
        return;
    }
    if (auto* other = dynamic_cast<const TGIFImage*>(source)) {
        auto& src = const_cast<TGIFImage&>(*other);
        Clear();
        // The copy reports through the source's handlers while it runs.
        OnProgress = src.OnProgress;
        OnWarning = src.OnWarning;
        try {
            Progress(this, TProgressStage::psStarting, 0, false, TRect{}, Copying);
            TGIFHeader& h = src.Header();
            header_->ColorMap().Assign(&h.ColorMap());
            header_->SetWidth(h.Width());
            header_->SetHeight(h.Height());
            header_->SetBackgroundColorIndex(h.BackgroundColorIndex());
            header_->SetAspectRatio(h.AspectRatio());
            header_->Prepare();
            ThreadPriority = src.ThreadPriority;
            DrawBackgroundColor = src.DrawBackgroundColor;
            DrawOptions = src.DrawOptions;
            ColorReduction = src.ColorReduction;
            DitherMode = src.DitherMode;
            const int count = src.Images().Count();
            for (int i = 0; i < count; ++i) {
                auto frame = std::make_unique<TGIFSubImage>(this);
                frame->Assign(src.Images()[i]);
                images_.Add(std::move(frame));
                Progress(this, TProgressStage::psRunning, (i + 1) * 100 / count, false, TRect{}, Copying);
            }
            Progress(this, TProgressStage::psEnding, 100, false, TRect{}, Copying);
        } catch (...) {
            Progress(this, TProgressStage::psEnding, 0, false, TRect{}, Copying);
            OnProgress = nullptr;
            OnWarning = nullptr;
            throw;
        }
        OnProgress = nullptr;
        OnWarning = nullptr;
        FreeBitmap();
        Changed(this);
        return;
    }
    Clear();
    auto frame = std::make_unique<TGIFSubImage>(this);
    try {
        frame->Assign(source);
    } catch (const EConvertError&) {
        frame.reset();
        TGraphic::Assign(source);
        return;
    }
    Add(std::move(frame));
}

} // namespace xpGif10

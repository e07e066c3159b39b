#include "platform/Graphics.h"
#include "platform/Bitmap.h"
#include "platform/Clipboard.h"
#include "platform/SafeSave.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <mutex>

namespace platform {

// ---- TPersistent -------------------------------------------------------------

void TPersistent::Assign(const TPersistent* source) {
    if (source) {
        source->AssignTo(this);
        return;
    }
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
    std::string from = source ? source->ClassName() : "nil";
    throw EConvertError("Cannot assign a " + from + " to a " + ClassName());
}

// ---- TGraphic ----------------------------------------------------------------

HPALETTE TGraphic::Palette() { return nullptr; }
void TGraphic::SetPalette(HPALETTE) {}

void TGraphic::SetTransparent(bool value) {
    if (value != transparent_) {
        transparent_ = value;
        Changed(this);
    }
}

void TGraphic::LoadFromFile(const std::string& path) {
    TFileStream stream(path, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& path) {
    TSaveFileStream stream(path);
    SaveToStream(stream);
    stream.Commit();
}

void TGraphic::LoadFromClipboardFormat(unsigned, const std::vector<uint8_t>&, HPALETTE) {
    throw EInvalidGraphic("Unsupported clipboard format");
}

void TGraphic::SaveToClipboardFormat(unsigned&, std::vector<uint8_t>&, HPALETTE&) {
    throw EInvalidGraphic("Unsupported clipboard format");
}

void TGraphic::SetModified(bool value) {
    if (value)
        Changed(this);
    else
        modified_ = false;
}

void TGraphic::Changed(TPersistent*) {
    modified_ = true;
    if (OnChange) OnChange(this);
}

void TGraphic::Progress(TPersistent*, TProgressStage stage, int percentDone, bool redrawNow, const TRect& rect,
                        const std::string& msg) {
    if (OnProgress) OnProgress(this, stage, percentDone, redrawNow, rect, msg);
}

// ---- the registry --------------------------------------------------------------

namespace {

struct ClipboardEntry {
    unsigned format;
    TGraphicClass graphicClass;
};

struct Registry {
    std::mutex lock;
    std::vector<TFileFormat> files;       // oldest first; searched from the end
    std::vector<ClipboardEntry> clipboard;
};

Registry& TheRegistry() {
    // Made on first use with the built-in bitmap format, so no unit depends
    // on another's static initialisation.
    static Registry* registry = [] {
        auto* r = new Registry;
        r->files.push_back({"bmp", "Bitmaps",
                            {"TBitmap", [] { return std::unique_ptr<TGraphic>(new TBitmap); }}});
        r->clipboard.push_back({CF_BITMAP, {"TBitmap", [] { return std::unique_ptr<TGraphic>(new TBitmap); }}});
        return r;
    }();
    return *registry;
}

} // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const TGraphicClass& graphicClass) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.files.push_back({LowerCase(extension), description, graphicClass});
}

void TPicture::RegisterClipboardFormat(unsigned format, const TGraphicClass& graphicClass) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.clipboard.push_back({format, graphicClass});
}

void TPicture::UnregisterGraphicClass(const std::string& className) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    std::erase_if(r.files, [&](const TFileFormat& f) { return f.graphicClass.name == className; });
    std::erase_if(r.clipboard, [&](const ClipboardEntry& c) { return c.graphicClass.name == className; });
}

bool TPicture::SupportsClipboardFormat(unsigned format) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return std::any_of(r.clipboard.begin(), r.clipboard.end(),
                       [&](const ClipboardEntry& c) { return c.format == format; });
}

std::vector<TFileFormat> TPicture::FileFormats() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return std::vector<TFileFormat>(r.files.rbegin(), r.files.rend());
}

const TGraphicClass* TPicture::FindFileFormat(const std::string& extension) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    std::string ext = LowerCase(extension);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    for (auto it = r.files.rbegin(); it != r.files.rend(); ++it)
        if (it->extension == ext) return &it->graphicClass;
    return nullptr;
}

std::string TPicture::GraphicFilter() {
    auto formats = FileFormats();
    std::string all, each;
    for (const auto& f : formats) {
        if (!all.empty()) all += ';';
        all += "*." + f.extension;
        each += "|" + f.description + " (*." + f.extension + ")|*." + f.extension;
    }
    return "All (" + all + ")|" + all + each;
}

// ---- TPicture ------------------------------------------------------------------

TPicture::~TPicture() = default;

namespace {
std::string ExtensionOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot + 1);
}

std::unique_ptr<TGraphic> MakeLike(const TGraphic& graphic) {
    for (const auto& f : TPicture::FileFormats())
        if (f.graphicClass.name == graphic.ClassName()) return f.graphicClass.create();
    if (graphic.ClassName() == "TBitmap") return std::make_unique<TBitmap>();
    throw EInvalidGraphic("Unknown picture class " + graphic.ClassName());
}
} // namespace

void TPicture::Adopt(std::unique_ptr<TGraphic> graphic) {
    graphic_ = std::move(graphic);
    if (graphic_) {
        graphic_->OnChange = [this](TGraphic*) {
            if (OnChange) OnChange(this);
        };
        graphic_->OnProgress = [this](TGraphic* sender, TProgressStage stage, int percent, bool redraw,
                                      const TRect& rect, const std::string& msg) {
            if (OnProgress) OnProgress(sender, stage, percent, redraw, rect, msg);
        };
    }
    if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(const TGraphic* graphic) {
    if (!graphic) {
        Adopt(nullptr);
        return;
    }
    auto copy = MakeLike(*graphic);
    copy->Assign(graphic);
    Adopt(std::move(copy));
}

TBitmap& TPicture::Bitmap() {
    if (!graphic_ || graphic_->ClassName() != "TBitmap") Adopt(std::make_unique<TBitmap>());
    return static_cast<TBitmap&>(*graphic_);
}

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::LoadFromFile(const std::string& path) {
    std::string ext = ExtensionOf(path);
    const TGraphicClass* cls = FindFileFormat(ext);
    if (!cls) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
    auto graphic = cls->create();
    graphic->OnProgress = [this](TGraphic* sender, TProgressStage stage, int percent, bool redraw,
                                 const TRect& rect, const std::string& msg) {
        if (OnProgress) OnProgress(sender, stage, percent, redraw, rect, msg);
    };
    graphic->LoadFromFile(path);
    Adopt(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& path) {
    if (graphic_) graphic_->SaveToFile(path);
}

void TPicture::LoadFromClipboardFormat(unsigned format, const std::vector<uint8_t>& data, HPALETTE palette) {
    std::function<std::unique_ptr<TGraphic>()> create;
    {
        Registry& r = TheRegistry();
        std::lock_guard<std::mutex> guard(r.lock);
        for (auto it = r.clipboard.rbegin(); it != r.clipboard.rend(); ++it)
            if (it->format == format) {
                create = it->graphicClass.create;
                break;
            }
    }
    if (!create) throw EInvalidGraphic("Unsupported clipboard format");
    auto graphic = create();
    graphic->LoadFromClipboardFormat(format, data, palette);
    Adopt(std::move(graphic));
}

void TPicture::SaveToClipboardFormat(unsigned& format, std::vector<uint8_t>& data, HPALETTE& palette) {
    if (graphic_) graphic_->SaveToClipboardFormat(format, data, palette);
}

void TPicture::Assign(const TPersistent* source) {
    if (!source) {
        Adopt(nullptr);
    } else if (auto* picture = dynamic_cast<const TPicture*>(source)) {
        SetGraphic(picture->Graphic());
    } else if (auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        SetGraphic(graphic);
    } else {
        TPersistent::Assign(source);
    }
}

} // namespace platform

#pragma once
// The picture base class and the picture-format registry. A graphic loads and
// saves itself from streams and files, knows its size and palette, draws
// itself onto a canvas and tells its owner about changes and progress. The
// registry maps file extensions and clipboard format numbers to graphic
// classes, so a picture can load any registered format without naming it.
#include "platform/Exception.h"
#include "platform/Palette.h"
#include "platform/Placement.h"
#include "platform/Streams.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class TCanvas;
class TBitmap;

// A graphic operation that cannot be done (wrong format, bad data).
class EInvalidGraphic : public Exception { using Exception::Exception; };
class EInvalidGraphicOperation : public Exception { using Exception::Exception; };

// The base of objects that copy themselves from one another.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    // Copies the source into this object; the default asks the source to
    // assign itself to this object and fails when it cannot.
    virtual void Assign(const TPersistent* source);
    virtual std::string ClassName() const { return "TPersistent"; }

protected:
    virtual void AssignTo(TPersistent* dest) const;
    // "Cannot assign a SOURCE to a DEST", the error of an impossible copy.
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

class TGraphic : public TPersistent {
public:
    using ChangeHandler = std::function<void(TGraphic* sender)>;
    using ProgressHandler = std::function<void(TGraphic* sender, TProgressStage stage, int percentDone,
                                               bool redrawNow, const TRect& rect, const std::string& msg)>;

    std::string ClassName() const override { return "TGraphic"; }

    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int value) = 0;
    virtual void SetHeight(int value) = 0;
    // The palette the graphic draws through; none by default.
    virtual HPALETTE Palette();
    virtual void SetPalette(HPALETTE palette);
    virtual bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value);

    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // A file is read through a stream that denies others write access.
    virtual void LoadFromFile(const std::string& path);
    virtual void SaveToFile(const std::string& path);
    // Clipboard data of one format (the bytes as the clipboard holds them).
    // The default supports none.
    virtual void LoadFromClipboardFormat(unsigned format, const std::vector<uint8_t>& data, HPALETTE palette);
    virtual void SaveToClipboardFormat(unsigned& format, std::vector<uint8_t>& data, HPALETTE& palette);

    // Draws the graphic stretched onto the rectangle of the canvas.
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;

    bool Modified() const { return modified_; }
    void SetModified(bool value);
    bool PaletteModified() const { return paletteModified_; }
    void SetPaletteModified(bool value) { paletteModified_ = value; }

    ChangeHandler OnChange;
    ProgressHandler OnProgress;

    // Signals a change to the owner (sets Modified).
    virtual void Changed(TPersistent* sender = nullptr);
    virtual void Progress(TPersistent* sender, TProgressStage stage, int percentDone, bool redrawNow,
                          const TRect& rect, const std::string& msg);

private:
    bool modified_ = false;
    bool paletteModified_ = false;
    bool transparent_ = false;
};

// A graphic class as the registry knows it: its name and how to make one.
struct TGraphicClass {
    std::string name;
    std::function<std::unique_ptr<TGraphic>()> create;
};

struct TFileFormat {
    std::string extension;    // without the dot, as registered
    std::string description;
    TGraphicClass graphicClass;
};

// A picture holds one graphic of any registered kind.
class TPicture : public TPersistent {
public:
    TPicture() = default;
    ~TPicture() override;
    std::string ClassName() const override { return "TPicture"; }

    // ---- the registry (process-wide; "bmp" is built in) ----
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   const TGraphicClass& graphicClass);
    static void RegisterClipboardFormat(unsigned format, const TGraphicClass& graphicClass);
    // Removes every file and clipboard format of the class.
    static void UnregisterGraphicClass(const std::string& className);
    static bool SupportsClipboardFormat(unsigned format);
    // The registered formats, most recently registered first.
    static std::vector<TFileFormat> FileFormats();
    // The class for a file extension (without the dot, any case), or null.
    static const TGraphicClass* FindFileFormat(const std::string& extension);
    // Filter text for file dialogs: "All (*.a;*.b)|*.a;*.b|Desc (*.a)|*.a|...".
    static std::string GraphicFilter();

    TGraphic* Graphic() const { return graphic_.get(); }
    // Takes a copy of the graphic (through its class and Assign); none clears.
    void SetGraphic(const TGraphic* graphic);
    // The picture's graphic as a bitmap: a bitmap held is answered as it is,
    // otherwise the picture is replaced by a new empty bitmap.
    TBitmap& Bitmap();

    int Width() const;
    int Height() const;

    // Loads by the file's extension; an unknown one raises EInvalidGraphic.
    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path);
    void LoadFromClipboardFormat(unsigned format, const std::vector<uint8_t>& data, HPALETTE palette);
    void SaveToClipboardFormat(unsigned& format, std::vector<uint8_t>& data, HPALETTE& palette);

    void Assign(const TPersistent* source) override;

    std::function<void(TPicture*)> OnChange;
    TGraphic::ProgressHandler OnProgress;

private:
    void Adopt(std::unique_ptr<TGraphic> graphic);
    std::unique_ptr<TGraphic> graphic_;
};

} // namespace platform

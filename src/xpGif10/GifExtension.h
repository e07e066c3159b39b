#pragma once
// GIF extensions: graphic control, plain text, comment and application
// extensions (the loop extension and any other application kept as raw
// blocks), and the two registries that map a label or an application
// identifier to the class that reads it.
#include "xpGif10/GifItem.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xpGif10 {

class TGIFSubImage;
class TGIFExtension;

constexpr uint8_t bsExtensionIntroducer = 0x21;  // "!"
constexpr uint8_t bsImageSeparator = 0x2C;       // ","
constexpr uint8_t bsTrailer = 0x3B;              // ";"

constexpr uint8_t bsPlainTextExtension = 0x01;
constexpr uint8_t bsGraphicControlExtension = 0xF9;
constexpr uint8_t bsCommentExtension = 0xFE;
constexpr uint8_t bsApplicationExtension = 0xFF;

using TGIFAppIdentifier = std::array<uint8_t, 11>;
TGIFAppIdentifier MakeAppIdentifier(const char* text);

// What the registries know of an extension class: its name, how to make one
// for a frame, and its sub-kind question (asked with the stream just after
// the label; null means no kind can read it).
struct TGIFExtensionClass {
    const char* name;
    std::unique_ptr<TGIFExtension> (*create)(TGIFSubImage* frame);
    const TGIFExtensionClass* (*findSubKind)(const TGIFExtensionClass& self, platform::TStream& stream);
};

// The base answer of the sub-kind question: the class itself.
const TGIFExtensionClass* SameKind(const TGIFExtensionClass& self, platform::TStream& stream);

// ---- registries (made on first use, freed at unit end) ----
// Searched from the most recently registered entry backwards.
void RegisterExtension(uint8_t label, const TGIFExtensionClass& cls);
void RegisterAppExtension(const TGIFAppIdentifier& identifier, const TGIFExtensionClass& cls);
const TGIFExtensionClass* FindExtension(uint8_t label);
const TGIFExtensionClass* FindAppExtension(const TGIFAppIdentifier& identifier);
void FreeExtensionRegistries();
// Looks up the kind of the extension whose "!" was just read: the label's
// class, asked for its sub-kind until it answers itself. The stream is put
// back where it was. Null when no kind reads it.
const TGIFExtensionClass* FindExtensionKind(platform::TStream& stream);

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage* frame);
    std::string ClassName() const override { return "TGIFExtension"; }
    TGIFVersion Version() const override { return gv89a; }
    virtual uint8_t ExtensionType() const = 0;
    TGIFSubImage* SubImage() const { return frame_; }

protected:
    // Introducer and label, both checked.
    void ReadIntro(platform::TStream& stream);
    void WriteIntro(platform::TStream& stream);
    TGIFSubImage* frame_;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    explicit TGIFGraphicControlExtension(TGIFSubImage* frame);
    ~TGIFGraphicControlExtension() override;
    std::string ClassName() const override { return "TGIFGraphicControlExtension"; }
    static const TGIFExtensionClass Class;
    uint8_t ExtensionType() const override { return bsGraphicControlExtension; }
    void SaveToStream(platform::TStream& stream) override;
    void LoadFromStream(platform::TStream& stream) override;

    bool Transparent() const { return (packed_ & gcTransparent) != 0; }
    void SetTransparent(bool value);
    uint8_t TransparentColorIndex() const { return transparentIndex_; }
    // An index outside the frame's colour map (when it has colours) warns
    // "Invalid color index" and stores 0.
    void SetTransparentColorIndex(int index);
    uint16_t Delay() const { return delay_; }
    void SetDelay(uint16_t value) { delay_ = value; }
    bool UserInput() const { return (packed_ & gcUserInput) != 0; }
    void SetUserInput(bool value) { packed_ = value ? (packed_ | gcUserInput) : (packed_ & ~gcUserInput); }
    // One of TGIFDisposal, or 4 to 7 as read.
    int Disposal() const { return (packed_ & gcDisposal) >> gcDisposalShift; }
    void SetDisposal(int value) {
        packed_ = uint8_t((packed_ & ~gcDisposal) | ((value << gcDisposalShift) & gcDisposal));
    }
    // Always the defined size: whatever size was read, the block is written so.
    uint8_t BlockSize() const { return 4; }
    uint8_t Packed() const { return packed_; }

private:
    uint8_t packed_ = 0;
    uint16_t delay_ = 0;
    uint8_t transparentIndex_ = 0;
};

// Lines of text carried in data sub-blocks (comment and plain text).
class TGIFTextLines {
public:
    std::vector<std::string> Lines;
    void Read(platform::TStream& stream);
    void Write(platform::TStream& stream) const;
};

class TGIFTextExtension : public TGIFExtension {
public:
    explicit TGIFTextExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
    std::string ClassName() const override { return "TGIFTextExtension"; }
    static const TGIFExtensionClass Class;
    uint8_t ExtensionType() const override { return bsPlainTextExtension; }
    void SaveToStream(platform::TStream& stream) override;
    void LoadFromStream(platform::TStream& stream) override;

    uint8_t BlockSize = 12;
    uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
    uint8_t CellWidth = 0, CellHeight = 0;
    uint8_t ForegroundColorIndex = 0, BackgroundColorIndex = 0;
    TGIFTextLines Text;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    explicit TGIFCommentExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}
    std::string ClassName() const override { return "TGIFCommentExtension"; }
    static const TGIFExtensionClass Class;
    uint8_t ExtensionType() const override { return bsCommentExtension; }
    void SaveToStream(platform::TStream& stream) override;
    void LoadFromStream(platform::TStream& stream) override;
    TGIFTextLines Text;
};

class TGIFApplicationExtension : public TGIFExtension {
public:
    explicit TGIFApplicationExtension(TGIFSubImage* frame) : TGIFExtension(frame) { identifier_.fill(0); }
    std::string ClassName() const override { return "TGIFApplicationExtension"; }
    static const TGIFExtensionClass Class;
    uint8_t ExtensionType() const override { return bsApplicationExtension; }
    void SaveToStream(platform::TStream& stream) override;
    void LoadFromStream(platform::TStream& stream) override;

    const TGIFAppIdentifier& Identifier() const { return identifier_; }
    void SetIdentifier(const TGIFAppIdentifier& id) { identifier_ = id; }

protected:
    // The sub-kind's data sub-blocks. The base kind has none it can read.
    virtual void SaveData(platform::TStream& stream);
    virtual void LoadData(platform::TStream& stream);
    TGIFAppIdentifier identifier_;
};

// The answer of the application kinds: by block size and identifier.
const TGIFExtensionClass* AppExtensionKind(const TGIFExtensionClass& self, platform::TStream& stream);

// One raw data sub-block.
struct TGIFBlock {
    explicit TGIFBlock(uint8_t size) : Data(size, 0) {}
    std::vector<uint8_t> Data;
};

// Reads data sub-blocks up to and with their terminator; false when the
// stream ends first.
bool SkipSubBlocks(platform::TStream& stream);

// Writes each block (size byte, then its bytes) and the terminator.
void WriteBlocks(platform::TStream& stream, const std::vector<TGIFBlock>& blocks);

class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    explicit TGIFAppExtNSLoop(TGIFSubImage* frame);
    std::string ClassName() const override { return "TGIFAppExtNSLoop"; }
    static const TGIFExtensionClass Class;
    uint16_t Loops = 0;        // 0 = forever
    uint32_t BufferSize = 0;   // 0 = none
    // The data sub-blocks as read, other kinds than loop count and buffer
    // size included; written back with the two values of now.
    std::vector<TGIFBlock> Blocks;

protected:
    void SaveData(platform::TStream& stream) override;
    void LoadData(platform::TStream& stream) override;
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    explicit TGIFUnknownAppExtension(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {}
    std::string ClassName() const override { return "TGIFUnknownAppExtension"; }
    static const TGIFExtensionClass Class;
    std::vector<TGIFBlock> Blocks;

protected:
    void SaveData(platform::TStream& stream) override;
    void LoadData(platform::TStream& stream) override;
};

} // namespace xpGif10

#include "xpGif10/GifExtension.h"
#include "xpGif10/GifImage.h"

#include <cstring>
#include <mutex>

namespace xpGif10 {

using namespace platform;

namespace {

[[noreturn]] void Premature() { throw GIFException(msg::PrematureEnd); }

void ReadExact(TStream& stream, void* buffer, int64_t count) {
    if (count > 0 && stream.Read(buffer, count) != count) Premature();
}

uint8_t ReadExactByte(TStream& stream) {
    uint8_t b;
    ReadExact(stream, &b, 1);
    return b;
}

void Skip(TStream& stream, int64_t count) {
    if (count > 0) stream.Seek(count, SeekOrigin::Current);
}

// The kinds of the loop extension's data sub-blocks, in the low bits of
// their first byte.
constexpr uint8_t nsBlockKind = 0x07;
constexpr uint8_t nsLoopCount = 1;
constexpr uint8_t nsBufferSize = 2;

std::string BlockSizeWarning(const char* kind, int size, int defined) {
    return std::string("The ") + kind + " extension's block size is " + std::to_string(size) + " (" +
           std::to_string(defined) + " defined): read by its size, written as defined";
}

// ---- registries ----

struct Registries {
    std::vector<std::pair<uint8_t, const TGIFExtensionClass*>> extensions;
    std::vector<std::pair<TGIFAppIdentifier, const TGIFExtensionClass*>> applications;
};

std::mutex registryLock;
Registries* registries = nullptr;

Registries& TheRegistries() {
    if (!registries) {
        registries = new Registries;
        registries->extensions = {{bsPlainTextExtension, &TGIFTextExtension::Class},
                                  {bsGraphicControlExtension, &TGIFGraphicControlExtension::Class},
                                  {bsCommentExtension, &TGIFCommentExtension::Class},
                                  {bsApplicationExtension, &TGIFApplicationExtension::Class}};
        registries->applications = {{MakeAppIdentifier("NETSCAPE2.0"), &TGIFAppExtNSLoop::Class},
                                    {MakeAppIdentifier("ANIMEXTS1.0"), &TGIFAppExtNSLoop::Class}};
    }
    return *registries;
}

template <class T>
std::unique_ptr<TGIFExtension> Make(TGIFSubImage* frame) {
    return std::make_unique<T>(frame);
}

} // namespace

TGIFAppIdentifier MakeAppIdentifier(const char* text) {
    TGIFAppIdentifier id{};
    for (size_t i = 0; i < id.size() && text[i]; ++i) id[i] = static_cast<uint8_t>(text[i]);
    return id;
}

const TGIFExtensionClass* SameKind(const TGIFExtensionClass& self, TStream&) { return &self; }

void RegisterExtension(uint8_t label, const TGIFExtensionClass& cls) {
    std::lock_guard<std::mutex> guard(registryLock);
    TheRegistries().extensions.push_back({label, &cls});
}

void RegisterAppExtension(const TGIFAppIdentifier& identifier, const TGIFExtensionClass& cls) {
    std::lock_guard<std::mutex> guard(registryLock);
    TheRegistries().applications.push_back({identifier, &cls});
}

const TGIFExtensionClass* FindExtension(uint8_t label) {
    std::lock_guard<std::mutex> guard(registryLock);
    auto& list = TheRegistries().extensions;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->first == label) return it->second;
    return nullptr;
}

const TGIFExtensionClass* FindAppExtension(const TGIFAppIdentifier& identifier) {
    std::lock_guard<std::mutex> guard(registryLock);
    auto& list = TheRegistries().applications;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->first == identifier) return it->second;
    return nullptr;
}

void FreeExtensionRegistries() {
    std::lock_guard<std::mutex> guard(registryLock);
    delete registries;
    registries = nullptr;
}

const TGIFExtensionClass* FindExtensionKind(TStream& stream) {
    int64_t start = stream.Position();
    const TGIFExtensionClass* result = nullptr;
    uint8_t label;
    if (stream.Read(&label, 1) == 1) {
        const TGIFExtensionClass* cls = FindExtension(label);
        // A kind may hand over to a more specific one; the question is asked
        // again of each answer until a kind answers itself. Each step reads
        // on, so the number of steps is bounded by the stream.
        while (cls) {
            const TGIFExtensionClass* next = cls->findSubKind(*cls, stream);
            if (next == cls) break;
            cls = next;
        }
        result = cls;
    }
    stream.SetPosition(start);
    return result;
}

// ---- the base --------------------------------------------------------------------

TGIFExtension::TGIFExtension(TGIFSubImage* frame) : TGIFItem(frame ? frame->Image() : nullptr), frame_(frame) {}

void TGIFExtension::ReadIntro(TStream& stream) {
    uint8_t intro[2];
    ReadExact(stream, intro, 2);
    if (intro[0] != bsExtensionIntroducer) throw GIFException(msg::BadExtensionIntroducer);
    if (intro[1] != ExtensionType()) throw GIFException(msg::ExtensionLabelMismatch);
}

void TGIFExtension::WriteIntro(TStream& stream) {
    uint8_t intro[2] = {bsExtensionIntroducer, ExtensionType()};
    stream.WriteBuffer(intro, 2);
}

// ---- graphic control --------------------------------------------------------------

const TGIFExtensionClass TGIFGraphicControlExtension::Class = {"TGIFGraphicControlExtension",
                                                               &Make<TGIFGraphicControlExtension>, &SameKind};

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* frame) : TGIFExtension(frame) {
    if (frame_ && !frame_->GraphicControlExtension()) frame_->SetGraphicControlExtension(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
    if (!frame_) return;
    if (Transparent()) frame_->SetTransparentFlag(false);
    if (frame_->GraphicControlExtension() == this) frame_->SetGraphicControlExtension(nullptr);
}

void TGIFGraphicControlExtension::SetTransparent(bool value) {
    packed_ = value ? (packed_ | gcTransparent) : (packed_ & ~gcTransparent);
    if (frame_) frame_->SetTransparentFlag(value);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index) {
    if (frame_) {
        TGIFColorMap& map = frame_->ActiveColorMap();
        if (map.Count() > 0 && index >= map.Count()) {
            Warning(GIFWarningSeverity, msg::BadColorIndex);
            index = 0;
        }
    }
    transparentIndex_ = static_cast<uint8_t>(index);
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& stream) {
    ReadIntro(stream);
    // The block is read by the size it declares and whatever follows it up
    // to the terminator is passed over, so an odd size neither shifts the
    // fields nor leaves stray bytes for the next block; it is always written
    // back in its defined form.
    uint8_t size = 0;
    if (stream.Read(&size, 1) != 1) {
        Warning(GIFWarningSeverity, msg::PrematureEnd);
        return;
    }
    uint8_t raw[255] = {};
    const int64_t got = stream.Read(raw, size);
    packed_ = raw[0];
    delay_ = uint16_t(raw[1] | raw[2] << 8);
    transparentIndex_ = raw[3];
    if (got != size || !SkipSubBlocks(stream)) {
        Warning(GIFWarningSeverity, msg::PrematureEnd);
        return;
    }
    if (size != 4) Warning(GIFWarningSeverity, BlockSizeWarning("graphic control", size, 4));
    if (Transparent() && frame_) frame_->SetTransparentFlag(true);
}

void TGIFGraphicControlExtension::SaveToStream(TStream& stream) {
    WriteIntro(stream);
    uint8_t raw[6] = {4, packed_, uint8_t(delay_), uint8_t(delay_ >> 8), transparentIndex_, 0};
    stream.WriteBuffer(raw, 6);
}

// ---- lines of text ------------------------------------------------------------------

void TGIFTextLines::Read(TStream& stream) {
    Lines.clear();
    uint8_t buf[255];
    for (;;) {
        uint8_t size;
        if (stream.Read(&size, 1) != 1 || size == 0) return;
        ReadExact(stream, buf, size);
        // Zero bytes are text like any other: what was read is written back.
        Lines.emplace_back(reinterpret_cast<const char*>(buf), size);
    }
}

void TGIFTextLines::Write(TStream& stream) const {
    for (const std::string& line : Lines) {
        size_t done = 0;
        while (done < line.size()) {
            size_t n = std::min<size_t>(255, line.size() - done);
            stream.WriteByte(static_cast<uint8_t>(n));
            stream.WriteBuffer(line.data() + done, static_cast<int64_t>(n));
            done += n;
        }
    }
    stream.WriteByte(0);
}

// ---- plain text and comment -----------------------------------------------------------

const TGIFExtensionClass TGIFTextExtension::Class = {"TGIFTextExtension", &Make<TGIFTextExtension>, &SameKind};

void TGIFTextExtension::LoadFromStream(TStream& stream) {
    ReadIntro(stream);
    // Read by its declared size, as the graphic control block; the fields a
    // short block lacks are zero.
    const uint8_t size = ReadExactByte(stream);
    uint8_t raw[255] = {};
    ReadExact(stream, raw, size);
    if (size != 12) Warning(GIFWarningSeverity, BlockSizeWarning("plain text", size, 12));
    BlockSize = 12;
    Left = uint16_t(raw[0] | raw[1] << 8);
    Top = uint16_t(raw[2] | raw[3] << 8);
    Width = uint16_t(raw[4] | raw[5] << 8);
    Height = uint16_t(raw[6] | raw[7] << 8);
    CellWidth = raw[8];
    CellHeight = raw[9];
    ForegroundColorIndex = raw[10];
    BackgroundColorIndex = raw[11];
    Text.Read(stream);
}

void TGIFTextExtension::SaveToStream(TStream& stream) {
    WriteIntro(stream);
    uint8_t raw[13] = {12,
                       uint8_t(Left),
                       uint8_t(Left >> 8),
                       uint8_t(Top),
                       uint8_t(Top >> 8),
                       uint8_t(Width),
                       uint8_t(Width >> 8),
                       uint8_t(Height),
                       uint8_t(Height >> 8),
                       CellWidth,
                       CellHeight,
                       ForegroundColorIndex,
                       BackgroundColorIndex};
    stream.WriteBuffer(raw, 13);
    Text.Write(stream);
}

const TGIFExtensionClass TGIFCommentExtension::Class = {"TGIFCommentExtension", &Make<TGIFCommentExtension>,
                                                        &SameKind};

void TGIFCommentExtension::LoadFromStream(TStream& stream) {
    ReadIntro(stream);
    Text.Read(stream);
}

void TGIFCommentExtension::SaveToStream(TStream& stream) {
    WriteIntro(stream);
    Text.Write(stream);
}

// ---- application extensions --------------------------------------------------------------

const TGIFExtensionClass TGIFApplicationExtension::Class = {"TGIFApplicationExtension",
                                                            &Make<TGIFApplicationExtension>, &AppExtensionKind};

const TGIFExtensionClass* AppExtensionKind(const TGIFExtensionClass& self, TStream& stream) {
    uint8_t size;
    if (stream.Read(&size, 1) != 1) return nullptr;
    // Only a full 11-byte identifier can name a kind this library reads;
    // any other block is kept as raw sub-blocks.
    if (size < 11) return &TGIFUnknownAppExtension::Class;
    TGIFAppIdentifier id;
    if (stream.Read(id.data(), 11) != 11) return &self;
    const TGIFExtensionClass* cls = FindAppExtension(id);
    return cls ? cls : &TGIFUnknownAppExtension::Class;
}

void TGIFApplicationExtension::LoadFromStream(TStream& stream) {
    ReadIntro(stream);
    // The identifier block may have any size: the first 11 bytes are the
    // identifier (a shorter one is padded with zeros), the rest is passed
    // over, and it is written back with the defined 11.
    uint8_t size = ReadExactByte(stream);
    identifier_.fill(0);
    if (size <= 11) {
        ReadExact(stream, identifier_.data(), size);
    } else {
        ReadExact(stream, identifier_.data(), 11);
        Skip(stream, size - 11);
    }
    if (size != 11 && size != 10)
        Warning(GIFWarningSeverity, "The application extension's block size is " + std::to_string(size) +
                                        " (11 defined): read by its size, written as defined");
    LoadData(stream);
}

void TGIFApplicationExtension::SaveToStream(TStream& stream) {
    WriteIntro(stream);
    stream.WriteByte(11);
    stream.WriteBuffer(identifier_.data(), 11);
    SaveData(stream);
}

// The plain application kind is only met for block sizes no reader knows.
void TGIFApplicationExtension::LoadData(TStream&) { throw GIFException(msg::BadAppExtensionSize); }
void TGIFApplicationExtension::SaveData(TStream& stream) { stream.WriteByte(0); }

// The identifier has decided these kinds: what follows it is their data,
// never another block size and identifier to look at.
const TGIFExtensionClass TGIFAppExtNSLoop::Class = {"TGIFAppExtNSLoop", &Make<TGIFAppExtNSLoop>, &SameKind};

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {
    identifier_ = MakeAppIdentifier("NETSCAPE2.0");
}

void TGIFAppExtNSLoop::LoadData(TStream& stream) {
    Blocks.clear();
    for (;;) {
        uint8_t size = ReadExactByte(stream);
        if (size == 0) return;
        TGIFBlock block(size);
        ReadExact(stream, block.Data.data(), size);
        const uint8_t* d = block.Data.data();
        if ((d[0] & nsBlockKind) == nsLoopCount) {
            if (size < 3) throw GIFException(msg::BadData);
            Loops = uint16_t(d[1] | d[2] << 8);
        } else if ((d[0] & nsBlockKind) == nsBufferSize) {
            if (size < 5) throw GIFException(msg::BadData);
            BufferSize = uint32_t(d[1]) | uint32_t(d[2]) << 8 | uint32_t(d[3]) << 16 | uint32_t(d[4]) << 24;
        }
        Blocks.push_back(std::move(block));
    }
}

void TGIFAppExtNSLoop::SaveData(TStream& stream) {
    // The sub-blocks read are written back as they were, with the loop
    // count and buffer size of now; those missing are added.
    bool loop = false, buffer = false;
    for (TGIFBlock& block : Blocks) {
        uint8_t* d = block.Data.data();
        if ((d[0] & nsBlockKind) == nsLoopCount) {
            d[1] = uint8_t(Loops);
            d[2] = uint8_t(Loops >> 8);
            loop = true;
        } else if ((d[0] & nsBlockKind) == nsBufferSize) {
            for (int i = 0; i < 4; ++i) d[1 + i] = uint8_t(BufferSize >> (8 * i));
            buffer = true;
        }
    }
    if (!loop) {
        uint8_t raw[4] = {3, nsLoopCount, uint8_t(Loops), uint8_t(Loops >> 8)};
        stream.WriteBuffer(raw, 4);
    }
    if (!buffer && BufferSize != 0) {
        uint8_t raw[6] = {5, nsBufferSize, uint8_t(BufferSize), uint8_t(BufferSize >> 8), uint8_t(BufferSize >> 16),
                          uint8_t(BufferSize >> 24)};
        stream.WriteBuffer(raw, 6);
    }
    WriteBlocks(stream, Blocks);
}

const TGIFExtensionClass TGIFUnknownAppExtension::Class = {"TGIFUnknownAppExtension",
                                                           &Make<TGIFUnknownAppExtension>, &SameKind};

void TGIFUnknownAppExtension::LoadData(TStream& stream) {
    Blocks.clear();
    for (;;) {
        uint8_t size;
        if (stream.Read(&size, 1) != 1 || size == 0) return;
        TGIFBlock block(size);
        ReadExact(stream, block.Data.data(), size);
        Blocks.push_back(std::move(block));
    }
}

void TGIFUnknownAppExtension::SaveData(TStream& stream) { WriteBlocks(stream, Blocks); }

bool SkipSubBlocks(TStream& stream) {
    uint8_t skip[255];
    for (;;) {
        uint8_t size;
        if (stream.Read(&size, 1) != 1) return false;
        if (size == 0) return true;
        if (stream.Read(skip, size) != size) return false;
    }
}

void WriteBlocks(TStream& stream, const std::vector<TGIFBlock>& blocks) {
    for (const TGIFBlock& block : blocks) {
        stream.WriteByte(static_cast<uint8_t>(block.Data.size()));
        stream.WriteBuffer(block.Data.data(), static_cast<int64_t>(block.Data.size()));
    }
    stream.WriteByte(0);
}

} // namespace xpGif10

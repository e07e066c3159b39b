// THdStrings: construction, the element operations and the storage model.
#include "xoStr31/HdStrings.h"

#include "xoStr31/EditJournal.h"

#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/FileSystem.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace xoStr31 {

using platform::TMemoryStream;
using platform::TStream;

namespace {

const char* const SetStorageCaption = "HdStrings - SetStorage";
const char* const SetStorageText =
    "Auch. Your request is too big for internal buffers. You can\r\n"
    "- change / add / delete data in smaller pieces.\r\n"
    "- quit other programs for releasing more memory for buffers.\r\n"
    "- increase maximum buffer size ( if the setting has been made available for you )";

uint32_t ObjectToRecord(platform::StringObject obj) {
    if (obj < INT32_MIN || obj > INT32_MAX)
        throw platform::EStringListError("Object value does not fit an entry record (" + std::to_string(obj) + ")");
    return static_cast<uint32_t>(static_cast<int32_t>(obj));
}

} // namespace

THdStrings::THdStrings() {
    FSeparator = "\r\n";
    FSeparatorLength = static_cast<uint8_t>(FSeparator.size());
    FTempFolder = platform::TempDirectory();
    Clear();
}

THdStrings::~THdStrings() {
    if (FReadBuffer) settings::FreePages(FReadBuffer, 0);
    try {
        ReleaseStream();
    } catch (...) {
    }
    if (FStorageMode == 1) DeleteTempFile();
}

// ---- helpers ---------------------------------------------------------------

void THdStrings::EnsureHeld(int needed, int grow) {
    if (FHeld <= needed) FHeld = needed + grow;
}

TEntry THdStrings::Entry(int index) const {
    TEntry e;
    e.End = FEnds[size_t(index)];  // 64-bit; a classic table keeps the low half
    e.Flags = IsOpenEnd(index) ? efNoSeparator : 0;
    e.Object = ObjectAt(index);
    return e;
}

void THdStrings::SetObjectAt(int index, uint32_t object) {
    if (FObjects.empty()) {
        if (object == 0) return;
        FObjects.assign(FEnds.size(), 0);
    }
    FObjects[size_t(index)] = object;
}

// Inserts a record; LastIndex already counts it.
void THdStrings::InsertEntryRecord(int index, int64_t end, uint32_t object) {
    FEnds.insert(size_t(index), end);
    if (!FObjects.empty()) {
        FObjects.insert(FObjects.begin() + index, object);
    } else if (object != 0) {
        FObjects.assign(FEnds.size(), 0);
        FObjects[size_t(index)] = object;
    }
}

void THdStrings::RemoveEntryRecord(int index) {
    FEnds.erase(size_t(index));
    if (!FObjects.empty()) FObjects.erase(FObjects.begin() + index);
    --FLastIndex;
}

bool THdStrings::ReadAt(int64_t pos, void* buffer, int64_t count) {
    if (count <= 0) return true;
    if (FStream->Seek(pos, platform::SeekOrigin::Begin) != pos) return false;
    return FStream->Read(buffer, count) == count;
}

// Seeks even for no bytes: a separator written next goes to pos.
bool THdStrings::WriteAt(int64_t pos, const void* buffer, int64_t count) {
    if (FStream->Seek(pos, platform::SeekOrigin::Begin) != pos) return false;
    if (count <= 0) return true;
    return FStream->Write(buffer, count) == count;
}

// Frees the stream; a data file first loses its growth slack, so that no
// zero bytes are left behind its entries.
void THdStrings::ReleaseStream() {
    if (!FStream) return;
    try {
        Truncate();
    } catch (...) {
    }
    FStream.reset();
    FFile = nullptr;
}

void THdStrings::DeleteTempFile() {
    if (!FTempFileName.empty()) platform::DeleteFile(FTempFileName);
}

// A free name in the temporary folder ("xoStr31.Txt", else "xoStr31_1.Txt",
// ...), created new and held as the stream. The name is taken exclusively:
// a file or link that someone placed there is never opened.
std::unique_ptr<TStream> THdStrings::MakeTempStream() {
    std::string folder = platform::IncludeTrailingPathDelimiter(FTempFolder.empty() ? platform::TempDirectory()
                                                                                    : FTempFolder);
    for (int n = 0; n < 10000; ++n) {
        std::string name = folder + (n == 0 ? std::string("xoStr31.Txt") : "xoStr31_" + std::to_string(n) + ".Txt");
        struct stat st{};
        if (::lstat(name.c_str(), &st) == 0) continue;
        try {
            auto stream = TDataFile::CreateNew(name, 0600);
            FTempFileName = name;
            return stream;
        } catch (const EDataFileError&) {
            struct stat again{};
            if (::lstat(name.c_str(), &again) == 0) continue;  // taken meanwhile
            return nullptr;
        }
    }
    return nullptr;
}

std::unique_ptr<TStream> THdStrings::MakeStream(int mode) {
    switch (mode) {
    case 0:
        return std::make_unique<TMemoryStream>();
    case 1:
        return MakeTempStream();
    case 2: {
        if (FFileName.empty()) return nullptr;
        try {
            // Only a missing file is created: one that exists but cannot be
            // opened (held by another program) is never emptied.
            return TDataFile::Open(FFileName, true, true);
        } catch (const EDataFileError& e) {
            SetFault(e.Fault(), e.what());
            return nullptr;
        }
    }
    default:
        return nullptr;
    }
}

// ---- element operations ----------------------------------------------------

std::string THdStrings::Get(int index) {
    if (index < 0 || index > FLastIndex || !FStream) return {};
    int64_t start = EntryStart(index);
    int64_t length = FEnds[size_t(index)] - start - (IsOpenEnd(index) ? 0 : FSeparatorLength);
    if (length < 1) return {};
    if (length + 1 > FReadBufferSize) {
        if (FReadBuffer) settings::FreePages(FReadBuffer, 0);
        FReadBufferSize = 0;
        FReadBuffer = settings::AllocPages(0, length + 1);
        if (!FReadBuffer) {
            settings::MsgBox("Memory Allocation failure with entry " + std::to_string(index));
            return {};
        }
        FReadBufferSize = settings::PagesSize(FReadBuffer);
    }
    // A read that fails answers no text and says so in IoError: an empty
    // answer alone would pass for an empty entry.
    if (FStream->Seek(start, platform::SeekOrigin::Begin) != start || FStream->Read(FReadBuffer, length) != length) {
        FIoError = true;
        return {};
    }
    int64_t got = length;
    const char* p = static_cast<const char*>(FReadBuffer);
    const void* zero = std::memchr(p, 0, static_cast<size_t>(got));
    size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : static_cast<size_t>(got);
    return std::string(p, n);
}

int THdStrings::GetCapacity() { return FHeld - 1; }

platform::StringObject THdStrings::GetObject(int index) {
    if (index < 0 || index > FLastIndex) return 0;
    return static_cast<int32_t>(ObjectAt(index));
}

void THdStrings::PutObject(int index, StringObject obj) {
    if (index < 0 || index > FLastIndex) return;
    SetObjectAt(index, ObjectToRecord(obj));
    FIndexDirty = true;
}

void THdStrings::SetCapacity(int) {}

void THdStrings::SetUpdateState(bool updating) {
    if (updating)
        UpdateBegins();
    else
        UpdateEnds();
}

int THdStrings::Add(const std::string& s) { return InsertItem(-1, s, 0); }
int THdStrings::AddObject(const std::string& s, StringObject obj) { return InsertItem(-1, s, obj); }
void THdStrings::Insert(int index, const std::string& s) { InsertItem(index, s, 0); }
void THdStrings::InsertObject(int index, const std::string& s, StringObject obj) { InsertItem(index, s, obj); }

void THdStrings::Clear() {
    if (FOwnsObjects) {
        for (auto& object : FObjects) {
            if (object != 0) {
                if (OnReleaseObject) OnReleaseObject(object);
                object = 0;
            }
        }
    }
    FMoveBuffer.clear();
    FMoveBuffer.shrink_to_fit();
    // The data file's list keeps its entries: clearing it would lose the file.
    if (FStorageMode != 2) {
        FLastIndex = -1;
        FEnds.clear();
        FObjects.clear();
        FOpenEnd = false;
        FUsedSize = 0;
        FIoError = false;
        FIndexDirty = true;
        if (FStream) {
            try {
                FStream->SetSize(0);
            } catch (const platform::Exception&) {
            }
        }
    }
}

void THdStrings::RefuseLineEnds(const std::string& s) const {
    if (s.find_first_of("\r\n") != std::string::npos)
        throw platform::EStringListError("The text holds a line end (CR or LF); an entry is one line");
}

bool THdStrings::SetFault(TFileFault fault, const std::string& text) {
    FLastFault = fault;
    FLastError = text;
    return false;
}

void THdStrings::ReportProgress(TProgressKind kind, int64_t done, int64_t total) {
    if (!OnProgress) return;
    FProgressKind = kind;
    FProgress = static_cast<uint8_t>(total > 0 ? std::min<int64_t>(done * 100 / total, 100) : 100);
    OnProgress(this);
}

int THdStrings::InsertItem(int index, const std::string& s, StringObject obj) {
    RefuseLineEnds(s);
    uint32_t object = ObjectToRecord(obj);
    FIoError = false;
    if (!FStream) SetStorageMode(FStorageMode);
    const int count = FLastIndex + 1;
    if (index < 0 || index > count) index = count;
    const bool append = index == count;
    // The open end belonged to the entry that was last before this one.
    const bool afterOpenEnd = append && count > 0 && FOpenEnd;
    std::string bytes = (afterOpenEnd ? FSeparator : std::string()) + s + FSeparator;
    const int64_t at = EntryStart(index);
    // Without a stream, or past what the list can hold, the text cannot be
    // stored: nothing changes and the caller is told.
    if (!FStream || FUsedSize + int64_t(bytes.size()) > MaxDataSize || count >= MaxEntries ||
        !ReplaceBytes(at, 0, bytes.data(), int64_t(bytes.size()))) {
        FIoError = true;
        return -1;
    }
    if (afterOpenEnd) FEnds.AddFrom(size_t(count - 1), FSeparatorLength);
    FOpenEnd = FOpenEnd && !append;
    FEnds.AddFrom(size_t(index), int64_t(bytes.size()));
    ++FLastIndex;
    EnsureHeld(FLastIndex, 50);
    InsertEntryRecord(index, at + int64_t(bytes.size()), object);
    FIndexDirty = true;
    return index;
}

void THdStrings::Put(int index, const std::string& s) {
    if (index < 0 || index > FLastIndex) return;
    RefuseLineEnds(s);
    if (!FStream) SetStorageMode(FStorageMode);
    if (!FStream) {
        FIoError = true;
        return;
    }
    const int64_t start = EntryStart(index);
    const int64_t oldSize = FEnds[size_t(index)] - start;
    const std::string bytes = s + FSeparator;
    if (FUsedSize + int64_t(bytes.size()) - oldSize > MaxDataSize ||
        !ReplaceBytes(start, oldSize, bytes.data(), int64_t(bytes.size()))) {
        FIoError = true;
        return;
    }
    FEnds.AddFrom(size_t(index), int64_t(bytes.size()) - oldSize);
    if (index == FLastIndex) FOpenEnd = false;
    FIndexDirty = true;
}

void THdStrings::Delete(int index) {
    if (index < 0 || index > FLastIndex || !FStream) return;
    const int64_t start = EntryStart(index);
    const int64_t size = FEnds[size_t(index)] - start;
    if (!ReplaceBytes(start, size, nullptr, 0)) {
        FIoError = true;
        return;
    }
    if (index == FLastIndex) FOpenEnd = false;  // the new last entry has its separator
    RemoveEntryRecord(index);
    FEnds.AddFrom(size_t(index), -size);
    FIndexDirty = true;
}

bool THdStrings::DeleteRange(int first, int count) { return ReplaceRange(first, count, {}); }

bool THdStrings::ReplaceRange(int first, int count, const std::vector<std::string>& texts) {
    if (count <= 0 && texts.empty()) return true;
    if (first < 0 || count < 1 || first > FLastIndex || !FStream) return false;
    for (const auto& t : texts) RefuseLineEnds(t);
    count = std::min(count, FLastIndex + 1 - first);
    const int64_t start = EntryStart(first);
    const int64_t size = FEnds[size_t(first + count - 1)] - start;
    std::string bytes;
    for (const auto& t : texts) bytes += t + FSeparator;
    if (FUsedSize - size + int64_t(bytes.size()) > MaxDataSize ||
        FLastIndex + 1 - count + int64_t(texts.size()) > MaxEntries) {
        FIoError = true;
        return false;
    }
    // One move of the tail for the whole run, instead of one per entry.
    if (!ReplaceBytes(start, size, bytes.data(), int64_t(bytes.size()))) {
        FIoError = true;
        return false;
    }
    const bool lastReplaced = first + count - 1 == FLastIndex;
    const int64_t delta = int64_t(bytes.size()) - size;
    TEntryEnds ends;
    const int newCount = FLastIndex + 1 - count + int(texts.size());
    ends.reserve(size_t(newCount));
    for (int i = 0; i < first; ++i) ends.push_back(FEnds[size_t(i)]);
    int64_t end = start;
    for (const auto& t : texts) ends.push_back(end += int64_t(t.size()) + FSeparatorLength);
    for (int i = first + count; i <= FLastIndex; ++i) ends.push_back(FEnds[size_t(i)] + delta);
    FEnds = std::move(ends);
    if (!FObjects.empty()) {
        FObjects.erase(FObjects.begin() + first, FObjects.begin() + first + count);
        FObjects.insert(FObjects.begin() + first, texts.size(), 0);
    }
    if (lastReplaced) FOpenEnd = false;  // every new entry has its separator
    FLastIndex = newCount - 1;
    EnsureHeld(FLastIndex, 50);
    FIndexDirty = true;
    return true;
}

// ---- storage -----------------------------------------------------------------

bool THdStrings::ReplaceBytes(int64_t at, int64_t oldLength, const void* bytes, int64_t length) {
    if (FFile) return JournaledEdit(at, oldLength, bytes, length);
    const int64_t from = at + oldLength;
    const int64_t tail = FUsedSize - from;
    const int64_t delta = length - oldLength;
    try {
        if (tail > 0 && delta != 0) {
            if (!SizeMoveBuffer(tail, delta < 0 ? -delta : delta)) return false;
            int64_t streamSize = FStream->Size();
            if (streamSize < FUsedSize + delta) Grow(FUsedSize + delta + FGrowStep - streamSize);
            if (!MoveTail(from, tail, delta)) return false;
        }
        if (!WriteAt(at, bytes, length)) {
            // Close the gap again when the device lets us: the entries after
            // it must be where the table says.
            if (tail > 0 && delta != 0) MoveTail(from + delta, tail, -delta);
            return false;
        }
    } catch (const platform::Exception&) {
        return false;
    }
    FUsedSize += delta;
    return true;
}

bool THdStrings::JournaledEdit(int64_t at, int64_t oldLength, const void* bytes, int64_t length) {
    if (!FFile->Writing())
        return SetFault(TFileFault::ReadOnly, "\"" + FFile->Path() + "\" is open for reading only");
    StaleIndexBeforeChange();
    std::string error;
    auto progress = [this](int64_t done, int64_t total) { ReportProgress(TProgressKind::Move, done, total); };
    auto outcome = TEditJournal::Replace(*FFile, at, oldLength, bytes, length, FMoveLimit, FMoveBuffer,
                                         OnProgress ? TEditJournal::TProgress(progress) : TEditJournal::TProgress(),
                                         error);
    if (outcome == TEditJournal::TOutcome::Done) {
        FUsedSize += length - oldLength;
        if (!error.empty()) FWarning = error + "; it was voided, the change is made";
        return true;
    }
    if (outcome == TEditJournal::TOutcome::Pending) {
        // The file is between its two contents until its next open finishes
        // the edit: the list lets go of it rather than show either.
        ReleaseStream();
        FLastIndex = -1;
        FEnds.clear();
        FObjects.clear();
        FOpenEnd = false;
        FUsedSize = 0;
        return SetFault(TFileFault::Other, error + "; the edit is finished when the file is opened again");
    }
    return SetFault(TFileFault::Other, error);
}

bool THdStrings::SizeMoveBuffer(int64_t tail, int64_t change) {
    // The buffer covers the size change and as much of the tail as the
    // move limit allows (a longer tail moves in pieces), within the share
    // of free memory it may take.
    int64_t want = std::max(std::min(tail, FMoveLimit), change);
    if (static_cast<int64_t>(FMoveBuffer.size()) - 1 < want) {
        int64_t budget = settings::MemoryBudget(FMemoryPercent);
        int64_t size = std::min(budget, want) + 1;
        if (size > static_cast<int64_t>(FMoveBuffer.size())) {
            try {
                FMoveBuffer.assign(static_cast<size_t>(size), 0);
            } catch (const std::bad_alloc&) {
                FMoveBuffer.clear();
            }
        }
    }
    if (static_cast<int64_t>(FMoveBuffer.size()) - 1 < change) {
        settings::MsgBox(SetStorageText, SetStorageCaption, platform::MB_OK);
        return false;
    }
    return true;
}

bool THdStrings::SetStorage(int index, int64_t delta) {
    if (delta == 0) return true;
    if (index < 0 || index > FLastIndex) return false;
    if (index > FUsedSize) {
        if (FReserve > 0 && FStream && FStream->Size() < index) FStream->SetSize(int64_t(FReserve) + index);
        return true;
    }
    if (!FStream) return false;
    if (FUsedSize + delta > MaxDataSize || FUsedSize + delta < 0) {
        FIoError = true;
        return false;
    }
    const int64_t from = FEnds[size_t(index)];
    bool moved;
    if (delta > 0) {
        // The gap holds zero bytes (in memory, what the move left there).
        std::string gap(size_t(delta), '\0');
        if (!FFile) {
            const int64_t tail = FUsedSize - from;
            if (!SizeMoveBuffer(tail, delta)) return false;
            if (FStream->Size() < FUsedSize + delta) Grow(FUsedSize + delta + FGrowStep - FStream->Size());
            moved = MoveTail(from, tail, delta);
            if (moved) FUsedSize += delta;
        } else {
            moved = ReplaceBytes(from, 0, gap.data(), delta);
        }
    } else {
        moved = from + delta >= 0 && ReplaceBytes(from + delta, -delta, nullptr, 0);
    }
    if (!moved) return false;
    FEnds.AddFrom(size_t(index), delta);
    FIndexDirty = true;
    return true;
}

// Moves tail bytes at from to from + delta through the move buffer; the
// pieces go in the order that never overwrites bytes still to be read.
bool THdStrings::MoveTail(int64_t from, int64_t tail, int64_t delta) {
    if (tail <= 0) return true;
    const int64_t capacity = static_cast<int64_t>(FMoveBuffer.size()) - 1;
    uint8_t* buf = FMoveBuffer.data();
    auto piece = [&](int64_t offset, int64_t n) {
        return ReadAt(from + offset, buf, n) && WriteAt(from + offset + delta, buf, n);
    };
    if (capacity >= tail) return piece(0, tail);
    if (delta < 0) {
        for (int64_t off = 0; off < tail; off += capacity)
            if (!piece(off, std::min(capacity, tail - off))) return false;
        return true;
    }
    for (int64_t off = tail; off > 0;) {
        int64_t n = std::min(capacity, off);
        off -= n;
        if (!piece(off, n)) return false;
    }
    return true;
}

// A data file never grows ahead of its content: room is reserved by each
// edit, so that no run of zero bytes is ever seen behind the entries.
void THdStrings::Grow(int64_t bytes) {
    if (!FStream || FFile) return;
    int64_t size = FStream->Size();
    if (size > FUsedSize + bytes + 16) return;
    FStream->SetSize(size + std::max<int64_t>(bytes, FGrowStep));
}

// A data file holds exactly its content after every edit: nothing to cut,
// and bytes another program added behind it are not ours to cut.
bool THdStrings::Truncate() {
    if (!FStream || FFile || dynamic_cast<TMemoryStream*>(FStream.get())) return true;
    if (FStream->Size() == FUsedSize) return true;
    try {
        FStream->SetSize(FUsedSize);
    } catch (const platform::Exception&) {
        return false;
    }
    return true;
}

void THdStrings::TrimStorage() {
    if (!FStream || FFile) return;
    try {
        if (FStream->Size() > FUsedSize) FStream->SetSize(FUsedSize);
    } catch (const platform::Exception&) {
    }
}

int THdStrings::AppendData(const void* buffer, int64_t length) {
    if (!buffer || length < 1) return -1;
    if (!FStream) SetStorageMode(FStorageMode);
    if (!FStream || FUsedSize + length > MaxDataSize) {
        FIoError = true;
        return -1;
    }
    try {
        if (FFile) {
            if (!ReplaceBytes(FUsedSize, 0, buffer, length)) {
                FIoError = true;
                return -1;
            }
        } else {
            if (FStream->Size() < FUsedSize + length + 16) Grow(length);
            if (FStream->Seek(FUsedSize, platform::SeekOrigin::Begin) != FUsedSize) {
                FIoError = true;
                return -1;
            }
            int64_t written = FStream->Write(buffer, length);
            if (written != length) FIoError = true;
            if (written > 0) FUsedSize += written;
        }
        BuildIndex(FLastIndex);
    } catch (...) {
        FIoError = true;
    }
    return -1;
}

void THdStrings::SetRawText(const std::string& text) {
    Clear();
    if (!text.empty()) AppendData(text.data(), static_cast<int64_t>(text.size()));
}

void THdStrings::SetLineEnd(TLineEnd kind) {
    std::string separator = kind == TLineEnd::Lf ? "\n" : "\r\n";
    FNewSeparator = separator;
    if (separator == FSeparator) return;
    FSeparator = separator;
    FSeparatorLength = static_cast<uint8_t>(FSeparator.size());
    if (FStream && FUsedSize > 0) BuildIndex(-1);
}

void THdStrings::UseLineEndOfContent() {
    const std::string before = FSeparator;
    DetectLineEnd();
    if (FSeparator != before && FStream && FUsedSize > 0) BuildIndex(-1);
}

namespace {

// Appends the (low halves of the) ends of every separator that starts at or
// before limit: the byte a alone (single), or a followed by b. Answers where
// the scan stopped (just past the last separator found, or past limit).
// Sixteen bytes at a time where the machine has the instructions.
template <bool Single>
const char* ScanSeparators(const char* p, const char* limit, char a, char b, int64_t base,
                           std::vector<uint32_t>& ends) {
    const char* at = p;
    const char* lastEnd = p;
    const int sep = Single ? 1 : 2;
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi8(a);
    while (at + 16 <= limit + 1) {
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), wanted)));
        while (mask) {
            const char* hit = at + __builtin_ctz(mask);
            if (Single || hit[1] == b) {
                lastEnd = hit + sep;
                ends.push_back(static_cast<uint32_t>(base + (lastEnd - p)));
            }
            mask &= mask - 1;
        }
        at += 16;
    }
#endif
    for (; at <= limit; ++at)
        if (*at == a && (Single || at[1] == b)) {
            lastEnd = at + sep;
            ends.push_back(static_cast<uint32_t>(base + (lastEnd - p)));
            at += sep - 1;
        }
    return std::max(at, lastEnd);
}

} // namespace

bool THdStrings::BuildIndex(int from) {
    if (!FStream) return false;
    if (from > FLastIndex) from = -1;
    // An entry without separator may go on in the bytes that follow.
    if (from >= 0 && IsOpenEnd(from)) --from;
    int64_t pos = from >= 0 ? FEnds[size_t(from)] : 0;
    FLastIndex = from;
    FEnds.resize(size_t(from + 1));
    if (!FObjects.empty()) FObjects.resize(size_t(from + 1));
    FOpenEnd = false;
    FIndexDirty = true;

    const int sep = FSeparatorLength;
    const char first = FSeparator[0];
    const char second = sep > 1 ? FSeparator[1] : 0;
    std::vector<uint32_t>& lows = FEnds.Lows();
    int64_t remaining = FUsedSize - pos;
    bool complete = true;
    if (remaining > 0) {
        // Bounded chunks keep memory small and the data in the caches.
        int64_t chunk = std::min(FScanChunk, settings::MemoryBudget(20));
        chunk = std::max<int64_t>(chunk, sep + 1);
        chunk = std::min(chunk, FUsedSize);
        int64_t streamSize = FStream->Size();
        int64_t passes = std::max<int64_t>(1, (streamSize - pos) / chunk);
        std::vector<char> buffer(static_cast<size_t>(chunk));
        bool reserved = false;
        for (int64_t pass = 0;; ++pass) {
            if (OnProgress) {
                FProgressKind = TProgressKind::Index;
                FProgress = static_cast<uint8_t>(std::min<int64_t>(pass * 100 / passes, 255));
                OnProgress(this);
            }
            int64_t n = std::min(chunk, FUsedSize - pos);
            const bool last = pos + n >= FUsedSize;
            if (!ReadAt(pos, buffer.data(), n)) {
                settings::MsgBox("I/O fault whilst creating index, cancelling");
                complete = false;
                break;
            }
            const size_t before = lows.size();
            const char* p = buffer.data();
            const char* const limit = p + (n - sep);  // last start of a whole separator
            const char* at = sep == 1 ? ScanSeparators<true>(p, limit, first, 0, pos, lows)
                                      : ScanSeparators<false>(p, limit, first, second, pos, lows);
            FEnds.Appended(before, pos, pos + n);
            if (int64_t(lows.size()) > MaxEntries) {
                settings::MsgBox("I/O fault whilst creating index, cancelling");
                lows.resize(before);
                complete = false;
                break;
            }
            if (!reserved && !last) {
                // One guess from the first chunk spares most regrowth of the
                // table on a big file. No large pages for it: with the file
                // in the page cache the system compacts memory to find them,
                // which cost more than the faults they spare (a 6 GiB file
                // indexed in 2.0 s with ordinary pages, 2.7 s with large).
                reserved = true;
                double perByte = double(lows.size() - before) / double(n);
                FEnds.reserve(lows.size() + size_t(perByte * double(FUsedSize - pos) * 1.05) + 16);
            }
            if (last) break;
            // A separator cut by the chunk's end is found in the next chunk.
            pos += std::max<int64_t>(at - p, n - sep + 1);
        }
    }
    FLastIndex = static_cast<int32_t>(FEnds.size()) - 1;
    if (!FObjects.empty()) FObjects.resize(FEnds.size(), 0);  // new entries carry no object
    if (!complete) {
        FHeld = std::max(FHeld, FLastIndex + 1);
        return false;
    }
    int64_t lastEnd = FLastIndex >= 0 ? FEnds[size_t(FLastIndex)] : 0;
    if (FUsedSize > lastEnd) {
        FEnds.push_back(FUsedSize);
        if (!FObjects.empty()) FObjects.push_back(0);
        ++FLastIndex;
        FOpenEnd = true;
    }
    FHeld = FLastIndex + 100;
    return true;
}

bool THdStrings::SetStorageMode(int mode) {
    if (FStream && mode == FStorageMode) return true;
    if (mode < 0 || mode > 2) return false;
    std::unique_ptr<TStream> old;
    if (FStream) {
        if (FUsedSize > 0)
            old = std::move(FStream);
        else
            ReleaseStream();
        FFile = nullptr;
    }
    const bool hadContent = old != nullptr;
    const int previous = FStorageMode;
    std::string previousTemp = FTempFileName;
    std::unique_ptr<TStream> made = MakeStream(mode);
    TDataFile* madeFile = mode == 2 ? static_cast<TDataFile*>(made.get()) : nullptr;
    if (old) {
        bool copied = false;
        if (made) {
            try {
                std::vector<uint8_t> bytes(static_cast<size_t>(FUsedSize));
                old->SetPosition(0);
                old->ReadBuffer(bytes.data(), FUsedSize);
                if (madeFile) {
                    // The data file takes the list's content as one edit.
                    std::string error;
                    FFile = madeFile;
                    copied = TEditJournal::Replace(*madeFile, 0, madeFile->GetSize(), bytes.data(), FUsedSize,
                                                   FMoveLimit, FMoveBuffer, {}, error) ==
                             TEditJournal::TOutcome::Done;
                    FFile = nullptr;
                    if (!copied) SetFault(TFileFault::Other, error);
                } else {
                    made->SetPosition(0);
                    made->WriteBuffer(bytes.data(), FUsedSize);
                    if (made->Size() > FUsedSize) made->SetSize(FUsedSize);
                    copied = true;
                }
            } catch (...) {
                copied = false;
            }
        }
        if (!copied) {
            // The entries stay where they are rather than be lost.
            if (mode == 1 && made) {
                made.reset();
                DeleteTempFile();
                FTempFileName = previousTemp;
            }
            FStream = std::move(old);
            FFile = previous == 2 ? static_cast<TDataFile*>(FStream.get()) : nullptr;
            FIoError = true;
            return false;
        }
        FStream = std::move(old);
        FFile = previous == 2 ? static_cast<TDataFile*>(FStream.get()) : nullptr;
        ReleaseStream();
    }
    FStream = std::move(made);
    FFile = madeFile;
    if (madeFile && !hadContent) {
        // An empty list takes the data file's content as it is, rather than
        // leave it behind its (empty) entries.
        FUsedSize = madeFile->GetSize();
        DetectLineEnd();
        BuildIndex(-1);
    }
    if (previous == 1 && mode != 1 && !previousTemp.empty()) {
        platform::DeleteFile(previousTemp);
        if (FTempFileName == previousTemp) FTempFileName.clear();
    }
    FStorageMode = mode;
    return true;
}

// ---- options -------------------------------------------------------------------

namespace {
uint32_t FlagBit(int kind) {
    switch (kind) {
    case 10: return cfIgnoreCase;
    case 11: return cfIgnoreNonSpace;
    case 12: return cfIgnoreSymbols;
    case 13: return cfIgnoreKanaType;
    case 14: return cfIgnoreWidth;
    default: return 0;
    }
}
} // namespace

bool THdStrings::GetFlag(int kind) {
    if (kind == 0) return FOption0;
    if (kind == 1) return FOption1;
    uint32_t bit = FlagBit(kind);
    return bit != 0 && (FCompareFlags & bit) != 0;
}

void THdStrings::SetFlag(int kind, bool value) {
    if (kind == 0) {
        FOption0 = value;
        return;
    }
    if (kind == 1) {
        FOption1 = value;
        return;
    }
    uint32_t bit = FlagBit(kind);
    if (value)
        FCompareFlags |= bit;
    else
        FCompareFlags &= ~bit;
}

void THdStrings::SetParam(int kind, int value) {
    if (kind == 0) {
        if (value != FStorageMode) SetStorageMode(value);
    } else if (kind == 1) {
        FReserve = value;
    }
}

std::string THdStrings::GetPath(int kind) {
    switch (kind) {
    case 0: return FFileName;
    case 1: return FTempFolder;
    case 2: return FTempFileName;
    default: return {};
    }
}

void THdStrings::SetPath(int kind, const std::string& path) {
    switch (kind) {
    case 0: FFileName = path; break;
    case 1: FTempFolder = path; break;
    case 2: FTempFileName = path; break;
    default: break;
    }
}

} // namespace xoStr31

// THdStrings: construction, the element operations and the storage model.
#include "xoStr31/HdStrings.h"

#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/FileSystem.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace xoStr31 {

using platform::TFileStream;
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
    e.End = FEnds[size_t(index)];
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
    FEnds.insert(FEnds.begin() + index, static_cast<int32_t>(end));
    if (!FObjects.empty()) {
        FObjects.insert(FObjects.begin() + index, object);
    } else if (object != 0) {
        FObjects.assign(FEnds.size(), 0);
        FObjects[size_t(index)] = object;
    }
}

void THdStrings::RemoveEntryRecord(int index) {
    FEnds.erase(FEnds.begin() + index);
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
}

void THdStrings::DeleteTempFile() {
    if (!FTempFileName.empty()) platform::DeleteFile(FTempFileName);
}

// A free name in the temporary folder ("xoStr31.Txt", else "xoStr31_1.Txt",
// ...), created empty and held as the stream.
std::unique_ptr<TStream> THdStrings::MakeTempStream() {
    std::string folder = platform::IncludeTrailingPathDelimiter(FTempFolder.empty() ? platform::TempDirectory()
                                                                                    : FTempFolder);
    for (int n = 0; n < 10000; ++n) {
        std::string name = folder + (n == 0 ? std::string("xoStr31.Txt") : "xoStr31_" + std::to_string(n) + ".Txt");
        if (platform::FileExists(name) || platform::DirectoryExists(name)) continue;
        try {
            { TFileStream create(name, platform::fmCreate); }
            auto stream = std::make_unique<TFileStream>(name, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
            FTempFileName = name;
            return stream;
        } catch (const platform::Exception&) {
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
    case 2:
        if (FFileName.empty()) return nullptr;
        try {
            if (settings::FileFound(FFileName, 0))
                return std::make_unique<TFileStream>(FFileName, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
            // Only a missing file is created: one that exists but cannot be
            // opened (held by another program) must not be emptied.
            if (platform::FileExists(FFileName) || platform::DirectoryExists(FFileName)) return nullptr;
            { TFileStream create(FFileName, platform::fmCreate); }
            return std::make_unique<TFileStream>(FFileName, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
        } catch (const platform::Exception&) {
            return nullptr;
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
    if (FStream->Seek(start, platform::SeekOrigin::Begin) != start) return {};
    int64_t got = FStream->Read(FReadBuffer, length);
    if (got <= 0) return {};
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

int THdStrings::InsertItem(int index, const std::string& s, StringObject obj) {
    uint32_t object = ObjectToRecord(obj);
    ++FLastIndex;
    EnsureHeld(FLastIndex, 50);
    if (index < 0 || index > FLastIndex) index = FLastIndex;
    int64_t start = EntryStart(index);
    InsertEntryRecord(index, start, object);
    FIndexDirty = true;

    FIoError = false;
    if (!FStream) SetStorageMode(FStorageMode);
    const bool append = index == FLastIndex;
    const int64_t length = static_cast<int64_t>(s.size());
    // The open end belonged to the entry that was last before this one.
    const bool afterOpenEnd = append && FLastIndex > 0 && FOpenEnd;
    const int64_t grows = length + FSeparatorLength + (afterOpenEnd ? FSeparatorLength : 0);
    // Without a stream, or past the size that entry ends can express, the
    // text cannot be stored: the entry goes again and the caller is told.
    if (!FStream || FUsedSize + grows > MaxDataSize) {
        RemoveEntryRecord(index);
        FIoError = true;
        return -1;
    }

    if (!append) {
        bool moved = false;
        try {
            moved = SetStorage(index, length + FSeparatorLength);
        } catch (...) {
            moved = false;
        }
        if (!moved) {
            // The tail stayed where it was: nothing may be written into it.
            RemoveEntryRecord(index);
            FIoError = true;
            return -1;
        }
        bool written = false;
        try {
            written = WriteAt(start, s.data(), length) &&
                      FStream->Write(FSeparator.data(), FSeparatorLength) == FSeparatorLength;
        } catch (...) {
            written = false;
        }
        if (!written) {
            FIoError = true;
            // Close the gap again when the device lets us; else the entry
            // stays, holding whatever the gap holds.
            try {
                if (SetStorage(index, -(length + FSeparatorLength))) {
                    RemoveEntryRecord(index);
                    return -1;
                }
            } catch (...) {
            }
        }
        return index;
    }

    bool written = false;
    try {
        int64_t pos = start;
        written = true;
        if (afterOpenEnd) {
            written = WriteAt(pos, FSeparator.data(), FSeparatorLength);
            pos += FSeparatorLength;
        }
        written = written && WriteAt(pos, s.data(), length);
        written = written && WriteAt(pos + length, FSeparator.data(), FSeparatorLength);
    } catch (...) {
        written = false;
    }
    if (!written) {
        // Nothing before UsedSize was touched: the bytes written lie in the
        // slack behind it.
        RemoveEntryRecord(index);
        FIoError = true;
        return -1;
    }
    if (afterOpenEnd) FEnds[size_t(FLastIndex) - 1] += FSeparatorLength;
    FOpenEnd = false;
    FUsedSize += grows;
    FEnds[size_t(FLastIndex)] = static_cast<int32_t>(FUsedSize);
    return index;
}

void THdStrings::Put(int index, const std::string& s) {
    if (index < 0 || index > FLastIndex) return;
    if (!FStream) SetStorageMode(FStorageMode);
    if (!FStream) {
        FIoError = true;
        return;
    }
    int64_t start = EntryStart(index);
    int64_t oldSize = (index < FLastIndex ? FEnds[size_t(index)] : FUsedSize) - start;
    int64_t length = static_cast<int64_t>(s.size());
    int64_t delta = length + FSeparatorLength - oldSize;
    bool moved = false;
    try {
        moved = SetStorage(index, delta);
    } catch (...) {
        moved = false;
    }
    if (!moved) return;
    try {
        if (!WriteAt(start, s.data(), length) || FStream->Write(FSeparator.data(), FSeparatorLength) != FSeparatorLength)
            FIoError = true;
    } catch (...) {
        FIoError = true;
    }
    if (index == FLastIndex) FOpenEnd = false;
    FIndexDirty = true;
}

void THdStrings::Delete(int index) {
    if (index < 0 || index > FLastIndex) return;
    int64_t size = FEnds[size_t(index)] - EntryStart(index);
    bool moved = false;
    try {
        moved = SetStorage(index, -size);
    } catch (...) {
        moved = false;
    }
    if (!moved) return;
    if (index == FLastIndex) FOpenEnd = false;  // the new last entry has its separator
    RemoveEntryRecord(index);
    FIndexDirty = true;
}

// ---- storage -----------------------------------------------------------------

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
    const int64_t tail = FUsedSize - from;
    const int64_t change = delta < 0 ? -delta : delta;

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
    int64_t capacity = static_cast<int64_t>(FMoveBuffer.size()) - 1;
    if (capacity < change) {
        settings::MsgBox(SetStorageText, SetStorageCaption, platform::MB_OK);
        return false;
    }

    int64_t streamSize = FStream->Size();
    if (streamSize < FUsedSize + delta) Grow(FUsedSize + delta + FGrowStep - streamSize);
    if (!MoveTail(from, tail, delta)) return false;

    FUsedSize += delta;
    for (int i = index; i <= FLastIndex; ++i) FEnds[size_t(i)] = static_cast<int32_t>(FEnds[size_t(i)] + delta);
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

void THdStrings::Grow(int64_t bytes) {
    if (!FStream) return;
    int64_t size = FStream->Size();
    if (size > FUsedSize + bytes + 16) return;
    FStream->SetSize(size + std::max<int64_t>(bytes, FGrowStep));
}

bool THdStrings::Truncate() {
    if (!FStream || dynamic_cast<TMemoryStream*>(FStream.get())) return true;
    if (FStream->Size() == FUsedSize) return true;
    try {
        FStream->SetSize(FUsedSize);
    } catch (const platform::Exception&) {
        return false;
    }
    return true;
}

void THdStrings::TrimStorage() {
    if (!FStream) return;
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
        if (FStream->Size() < FUsedSize + length + 16) Grow(length);
        if (FStream->Seek(FUsedSize, platform::SeekOrigin::Begin) != FUsedSize) {
            FIoError = true;
            return -1;
        }
        int64_t written = FStream->Write(buffer, length);
        if (written != length) FIoError = true;
        if (written > 0) FUsedSize += written;
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

namespace {

// A table of many megabytes is filled once from front to back: large pages
// spare most of the page faults, which cost more than the scan itself.
void AdviseHugePages(void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t huge = uintptr_t(2) << 20;
    if (bytes < 4 * huge) return;
    uintptr_t from = (reinterpret_cast<uintptr_t>(data) + huge - 1) & ~(huge - 1);
    uintptr_t to = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(huge - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Appends the end of every pair (a, b) that starts at or before limit;
// answers where the scan stopped (just past the last pair found, or past
// limit). Sixteen bytes at a time where the machine has the instructions.
const char* ScanPairs(const char* p, const char* limit, char a, char b, int64_t base, std::vector<int32_t>& ends) {
    const char* at = p;
    const char* lastEnd = p;
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi8(a);
    while (at + 16 <= limit + 1) {
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), wanted)));
        while (mask) {
            const char* hit = at + __builtin_ctz(mask);
            if (hit[1] == b) {
                lastEnd = hit + 2;
                ends.push_back(static_cast<int32_t>(base + (lastEnd - p)));
            }
            mask &= mask - 1;
        }
        at += 16;
    }
#endif
    for (; at <= limit; ++at)
        if (*at == a && at[1] == b) {
            lastEnd = at + 2;
            ends.push_back(static_cast<int32_t>(base + (lastEnd - p)));
            ++at;
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
            const size_t before = FEnds.size();
            const char* p = buffer.data();
            const char* const limit = p + (n - sep);  // last start of a whole separator
            const char* at = p;
            if (sep == 2 && first != second) {
                // Two different bytes cannot overlap themselves: every first
                // byte followed by the second one is a separator.
                at = ScanPairs(p, limit, first, second, pos, FEnds);
            }
            while (at <= limit) {
                const char* hit = static_cast<const char*>(std::memchr(at, first, static_cast<size_t>(limit - at + 1)));
                if (!hit) break;
                bool whole = sep == 1 || (hit[1] == second && (sep == 2 || std::memcmp(hit, FSeparator.data(), size_t(sep)) == 0));
                if (whole) {
                    at = hit + sep;
                    FEnds.push_back(static_cast<int32_t>(pos + (at - p)));
                } else {
                    at = hit + 1;
                }
            }
            if (!reserved && !last) {
                // One guess from the first chunk spares most regrowth of the
                // table on a big file.
                reserved = true;
                double perByte = double(FEnds.size() - before) / double(n);
                FEnds.reserve(FEnds.size() + size_t(perByte * double(FUsedSize - pos) * 1.05) + 16);
                AdviseHugePages(FEnds.data(), FEnds.capacity() * sizeof(int32_t));
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
        FEnds.push_back(static_cast<int32_t>(FUsedSize));
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
    }
    const int previous = FStorageMode;
    std::string previousTemp = FTempFileName;
    std::unique_ptr<TStream> made = MakeStream(mode);
    if (old) {
        bool copied = false;
        if (made) {
            try {
                made->SetPosition(0);
                old->SetPosition(0);
                made->CopyFrom(*old, FUsedSize);
                if (made->Size() > FUsedSize) made->SetSize(FUsedSize);
                copied = true;
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
            FIoError = true;
            return false;
        }
        FStream = std::move(old);
        ReleaseStream();
    }
    FStream = std::move(made);
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

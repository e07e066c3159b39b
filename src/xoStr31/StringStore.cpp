// TStringStore: the entry table, the byte moves behind each change, and the
// storage modes.
#include "xoStr31/StringStore.h"

#include "xoStr31/EditJournal.h"

#include "platform/Exception.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace xoStr31 {

using platform::TMemoryStream;
using platform::TStream;

TStringStore::TStringStore() { FTempFolder = platform::TempDirectory(); }

TStringStore::~TStringStore() {
    try {
        ReleaseStream();
    } catch (...) {
    }
    if (FStorageMode == 1) DeleteTempFile();
}

// ---- the entry table -----------------------------------------------------------

void TStringStore::EnsureHeld(int needed, int grow) {
    if (FHeld <= needed) FHeld = needed + grow;
}

TEntry TStringStore::Entry(int index) const {
    TEntry e;
    e.End = FEnds[size_t(index)];  // 64-bit; a classic table keeps the low half
    e.Flags = IsOpenEnd(index) ? efNoSeparator : 0;
    e.Object = ObjectAt(index);
    return e;
}

int64_t TStringStore::TextLength(int index) const {
    return std::max<int64_t>(0, FEnds[size_t(index)] - EntryStart(index) - (IsOpenEnd(index) ? 0 : FSeparatorLength));
}

void TStringStore::SetObjectAt(int index, uint32_t object) {
    if (FObjects.empty()) {
        if (object == 0) return;
        FObjects.assign(FEnds.size(), 0);
    }
    FObjects[size_t(index)] = object;
}

// Inserts a record; LastIndex already counts it.
void TStringStore::InsertEntryRecord(int index, int64_t end, uint32_t object) {
    FEnds.insert(size_t(index), end);
    if (!FObjects.empty()) {
        FObjects.insert(FObjects.begin() + index, object);
    } else if (object != 0) {
        FObjects.assign(FEnds.size(), 0);
        FObjects[size_t(index)] = object;
    }
}

void TStringStore::RemoveEntryRecord(int index) {
    FEnds.erase(size_t(index));
    if (!FObjects.empty()) FObjects.erase(FObjects.begin() + index);
    --FLastIndex;
}

void TStringStore::AdoptEntries(TEntryEnds ends, std::vector<uint32_t> objects, bool openEnd) {
    FEnds = std::move(ends);
    FObjects = std::move(objects);
    FOpenEnd = openEnd;
    FLastIndex = static_cast<int32_t>(FEnds.size()) - 1;
    FHeld = FLastIndex + 1;
    FIndexDirty = false;
}

void TStringStore::ClearEntries() {
    FMoveBuffer.clear();
    FMoveBuffer.shrink_to_fit();
    // The data file's list keeps its entries: clearing it would lose the file.
    if (FStorageMode == 2) return;
    FLastIndex = -1;
    FEnds.clear();
    FObjects.clear();
    FOpenEnd = false;
    FUsedSize = 0;
    FIndexDirty = true;
    if (FStream) {
        try {
            FStream->SetSize(0);
        } catch (const platform::Exception&) {
        }
    }
}

void TStringStore::DropContent() {
    ReleaseStream();
    FEnds.clear();
    FObjects.clear();
    FLastIndex = -1;
    FUsedSize = 0;
    FOpenEnd = false;
}

// ---- entry changes -------------------------------------------------------------

// The first change that needs the stream makes it; a data file that could
// not be opened is named in the result.
TStoreResult TStringStore::EnsureStream() {
    if (FStream) return TStoreResult::Ok();
    TStoreResult result = ChangeStorageMode(FStorageMode);
    if (!FStream && result.Done()) result.Fault = result.FileFault != TFileFault::None ? TStoreFault::File : TStoreFault::NoStream;
    return result;
}

TStoreResult TStringStore::InsertEntry(int& index, const std::string& s, uint32_t object) {
    TStoreResult made = EnsureStream();
    const int count = FLastIndex + 1;
    if (index < 0 || index > count) index = count;
    const bool append = index == count;
    // The open end belonged to the entry that was last before this one.
    const bool afterOpenEnd = append && count > 0 && FOpenEnd;
    std::string bytes = (afterOpenEnd ? FSeparator : std::string()) + s + FSeparator;
    const int64_t at = EntryStart(index);
    // Without a stream, or past what the list can hold, the text cannot be
    // stored: nothing changes.
    if (!made.Done()) return made;
    if (FUsedSize + int64_t(bytes.size()) > MaxDataSize || count >= MaxEntries)
        return TStoreResult::Failed(TStoreFault::TooLarge);
    TStoreResult result = ReplaceBytes(at, 0, bytes.data(), int64_t(bytes.size()));
    if (!result.Done()) return result;
    if (afterOpenEnd) FEnds.AddFrom(size_t(count - 1), FSeparatorLength);
    FOpenEnd = FOpenEnd && !append;
    FEnds.AddFrom(size_t(index), int64_t(bytes.size()));
    ++FLastIndex;
    EnsureHeld(FLastIndex, 50);
    InsertEntryRecord(index, at + int64_t(bytes.size()), object);
    FIndexDirty = true;
    return result;
}

TStoreResult TStringStore::ReplaceEntry(int index, const std::string& s) {
    if (index < 0 || index > FLastIndex) return TStoreResult::Failed(TStoreFault::Refused);
    TStoreResult made = EnsureStream();
    if (!made.Done()) return made;
    const int64_t start = EntryStart(index);
    const int64_t oldSize = FEnds[size_t(index)] - start;
    const std::string bytes = s + FSeparator;
    if (FUsedSize + int64_t(bytes.size()) - oldSize > MaxDataSize) return TStoreResult::Failed(TStoreFault::TooLarge);
    TStoreResult result = ReplaceBytes(start, oldSize, bytes.data(), int64_t(bytes.size()));
    if (!result.Done()) return result;
    FEnds.AddFrom(size_t(index), int64_t(bytes.size()) - oldSize);
    if (index == FLastIndex) FOpenEnd = false;
    FIndexDirty = true;
    return result;
}

TStoreResult TStringStore::DeleteEntry(int index) {
    if (index < 0 || index > FLastIndex) return TStoreResult::Failed(TStoreFault::Refused);
    if (!FStream) return TStoreResult::Failed(TStoreFault::NoStream);
    const int64_t start = EntryStart(index);
    const int64_t size = FEnds[size_t(index)] - start;
    TStoreResult result = ReplaceBytes(start, size, nullptr, 0);
    if (!result.Done()) return result;
    if (index == FLastIndex) FOpenEnd = false;  // the new last entry has its separator
    RemoveEntryRecord(index);
    FEnds.AddFrom(size_t(index), -size);
    FIndexDirty = true;
    return result;
}

TStoreResult TStringStore::ReplaceEntries(int first, int count, const std::vector<std::string>& texts) {
    if (count <= 0 && texts.empty()) return TStoreResult::Ok();
    if (first < 0 || count < 1 || first > FLastIndex || !FStream) return TStoreResult::Failed(TStoreFault::Refused);
    count = std::min(count, FLastIndex + 1 - first);
    const int64_t start = EntryStart(first);
    const int64_t size = FEnds[size_t(first + count - 1)] - start;
    std::string bytes;
    for (const auto& t : texts) bytes += t + FSeparator;
    if (FUsedSize - size + int64_t(bytes.size()) > MaxDataSize ||
        FLastIndex + 1 - count + int64_t(texts.size()) > MaxEntries)
        return TStoreResult::Failed(TStoreFault::TooLarge);
    // One move of the tail for the whole run, instead of one per entry.
    TStoreResult result = ReplaceBytes(start, size, bytes.data(), int64_t(bytes.size()));
    if (!result.Done()) return result;
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
    return result;
}

TStoreResult TStringStore::AppendBytes(const void* buffer, int64_t length) {
    if (!buffer || length < 1) return TStoreResult::Failed(TStoreFault::Refused);
    TStoreResult made = EnsureStream();
    if (!made.Done()) return made;
    if (FUsedSize + length > MaxDataSize) return TStoreResult::Failed(TStoreFault::TooLarge);
    TStoreResult result;
    try {
        if (FFile) {
            result = ReplaceBytes(FUsedSize, 0, buffer, length);
            if (!result.Done()) return result;
        } else {
            if (FStream->Size() < FUsedSize + length + 16) Grow(length);
            if (FStream->Seek(FUsedSize, platform::SeekOrigin::Begin) != FUsedSize)
                return TStoreResult::Failed(TStoreFault::Io);
            int64_t written = FStream->Write(buffer, length);
            if (written != length) result = TStoreResult::Failed(TStoreFault::Io);
            if (written > 0) FUsedSize += written;
        }
        // What was written is indexed, also after a short write.
        TStoreResult scan = ScanEntries(FLastIndex);
        if (result.Done() && !scan.Done()) result = scan;
    } catch (...) {
        result = TStoreResult::Failed(TStoreFault::Io);
    }
    return result;
}

TStoreResult TStringStore::ResizeEntry(int index, int64_t delta) {
    try {
        return MoveAfterEntry(index, delta);
    } catch (const platform::Exception&) {
        return TStoreResult::Failed(TStoreFault::Io);  // the stream could not be sized
    }
}

TStoreResult TStringStore::MoveAfterEntry(int index, int64_t delta) {
    if (delta == 0) return TStoreResult::Ok();
    if (index < 0 || index > FLastIndex) return TStoreResult::Failed(TStoreFault::Refused);
    if (index > FUsedSize) {
        if (FReserve > 0 && FStream && FStream->Size() < index) FStream->SetSize(int64_t(FReserve) + index);
        return TStoreResult::Ok();
    }
    if (!FStream) return TStoreResult::Failed(TStoreFault::NoStream);
    if (FUsedSize + delta > MaxDataSize || FUsedSize + delta < 0) return TStoreResult::Failed(TStoreFault::TooLarge);
    const int64_t from = FEnds[size_t(index)];
    TStoreResult result;
    if (delta > 0) {
        if (!FFile) {
            // The gap holds what the move left there.
            const int64_t tail = FUsedSize - from;
            if (!SizeMoveBuffer(tail, delta)) return TStoreResult::Failed(TStoreFault::MoveBuffer);
            if (FStream->Size() < FUsedSize + delta) Grow(FUsedSize + delta + FGrowStep - FStream->Size());
            if (!MoveTail(from, tail, delta)) return TStoreResult::Failed(TStoreFault::Io);
            FUsedSize += delta;
        } else {
            // In the data file the gap holds zero bytes.
            std::string gap(size_t(delta), '\0');
            result = ReplaceBytes(from, 0, gap.data(), delta);
        }
    } else {
        result = from + delta >= 0 ? ReplaceBytes(from + delta, -delta, nullptr, 0)
                                   : TStoreResult::Failed(TStoreFault::Refused);
    }
    if (!result.Done()) return result;
    FEnds.AddFrom(size_t(index), delta);
    FIndexDirty = true;
    return result;
}

// ---- byte moves ----------------------------------------------------------------

bool TStringStore::ReadAt(int64_t pos, void* buffer, int64_t count) {
    if (count <= 0) return true;
    if (FStream->Seek(pos, platform::SeekOrigin::Begin) != pos) return false;
    return FStream->Read(buffer, count) == count;
}

// Seeks even for no bytes: a separator written next goes to pos.
bool TStringStore::WriteAt(int64_t pos, const void* buffer, int64_t count) {
    if (FStream->Seek(pos, platform::SeekOrigin::Begin) != pos) return false;
    if (count <= 0) return true;
    return FStream->Write(buffer, count) == count;
}

TStoreResult TStringStore::ReplaceBytes(int64_t at, int64_t oldLength, const void* bytes, int64_t length) {
    if (FFile) return JournaledEdit(at, oldLength, bytes, length);
    const int64_t from = at + oldLength;
    const int64_t tail = FUsedSize - from;
    const int64_t delta = length - oldLength;
    try {
        if (tail > 0 && delta != 0) {
            if (!SizeMoveBuffer(tail, delta < 0 ? -delta : delta)) return TStoreResult::Failed(TStoreFault::MoveBuffer);
            int64_t streamSize = FStream->Size();
            if (streamSize < FUsedSize + delta) Grow(FUsedSize + delta + FGrowStep - streamSize);
            if (!MoveTail(from, tail, delta)) return TStoreResult::Failed(TStoreFault::Io);
        }
        if (!WriteAt(at, bytes, length)) {
            // Close the gap again when the device lets us: the entries after
            // it must be where the table says.
            if (tail > 0 && delta != 0) MoveTail(from + delta, tail, -delta);
            return TStoreResult::Failed(TStoreFault::Io);
        }
    } catch (const platform::Exception&) {
        return TStoreResult::Failed(TStoreFault::Io);
    }
    FUsedSize += delta;
    return TStoreResult::Ok();
}

TStoreResult TStringStore::JournaledEdit(int64_t at, int64_t oldLength, const void* bytes, int64_t length) {
    if (!FFile->Writing())
        return TStoreResult::OfFile(TFileFault::ReadOnly, "\"" + FFile->Path() + "\" is open for reading only");
    BeforeFileChange();
    std::string error;
    TEditJournal::TProgress progress;
    if (HearsProgress())
        progress = [this](int64_t done, int64_t total) { StoreProgress(TProgressKind::Move, done, total); };
    auto outcome = TEditJournal::Replace(*FFile, at, oldLength, bytes, length, FMoveLimit, FMoveBuffer, progress, error);
    if (outcome == TEditJournal::TOutcome::Done) {
        FUsedSize += length - oldLength;
        if (!error.empty()) return TStoreResult::Warned(error + "; it was voided, the change is made");
        return TStoreResult::Ok();
    }
    if (outcome == TEditJournal::TOutcome::Pending) {
        // The file is between its two contents until its next open finishes
        // the edit: the store lets go of it rather than show either.
        DropContent();
        return TStoreResult::OfFile(TFileFault::Other, error + "; the edit is finished when the file is opened again");
    }
    return TStoreResult::OfFile(TFileFault::Other, error);
}

bool TStringStore::SizeMoveBuffer(int64_t tail, int64_t change) {
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
    return static_cast<int64_t>(FMoveBuffer.size()) - 1 >= change;
}

// Moves tail bytes at from to from + delta through the move buffer; the
// pieces go in the order that never overwrites bytes still to be read.
bool TStringStore::MoveTail(int64_t from, int64_t tail, int64_t delta) {
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
void TStringStore::Grow(int64_t bytes) {
    if (!FStream || FFile) return;
    int64_t size = FStream->Size();
    if (size > FUsedSize + bytes + 16) return;
    FStream->SetSize(size + std::max<int64_t>(bytes, FGrowStep));
}

// A data file holds exactly its content after every edit: nothing to cut,
// and bytes another program added behind it are not ours to cut.
TStoreResult TStringStore::CutToContent() {
    if (!FStream || FFile || dynamic_cast<TMemoryStream*>(FStream.get())) return TStoreResult::Ok();
    try {
        if (FStream->Size() != FUsedSize) FStream->SetSize(FUsedSize);
    } catch (const platform::Exception&) {
        return TStoreResult::Failed(TStoreFault::Io);
    }
    return TStoreResult::Ok();
}

void TStringStore::TrimStorage() {
    if (!FStream || FFile) return;
    try {
        if (FStream->Size() > FUsedSize) FStream->SetSize(FUsedSize);
    } catch (const platform::Exception&) {
    }
}

// ---- storage modes -------------------------------------------------------------

// Frees the stream; a data file first loses its growth slack, so that no
// zero bytes are left behind its entries.
void TStringStore::ReleaseStream() {
    if (!FStream) return;
    try {
        CutToContent();  // a stream that cannot be cut still is let go of
    } catch (...) {
    }
    FStream.reset();
    FFile = nullptr;
}

void TStringStore::DeleteTempFile() {
    if (!FTempFileName.empty()) platform::DeleteFile(FTempFileName);
}

// A free name in the temporary folder ("xoStr31.Txt", else "xoStr31_1.Txt",
// ...), created new and held as the stream. The name is taken exclusively:
// a file or link that someone placed there is never opened.
std::unique_ptr<TStream> TStringStore::MakeTempStream() {
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

// A stream for the mode; with the data file's fault when it cannot be
// opened (the mode then works without a stream).
TStoreResult TStringStore::MakeStream(int mode, std::unique_ptr<TStream>& made) {
    switch (mode) {
    case 0:
        made = std::make_unique<TMemoryStream>();
        break;
    case 1:
        made = MakeTempStream();
        break;
    case 2:
        if (FFileName.empty()) break;
        try {
            // Only a missing file is created: one that exists but cannot be
            // opened (held by another program) is never emptied.
            made = TDataFile::Open(FFileName, true, true);
        } catch (const EDataFileError& e) {
            return {TStoreFault::None, e.Fault(), e.what()};
        }
        break;
    default:
        break;
    }
    return TStoreResult::Ok();
}

TStoreResult TStringStore::ChangeStorageMode(int mode) {
    if (FStream && mode == FStorageMode) return TStoreResult::Ok();
    if (mode < 0 || mode > 2) return TStoreResult::Failed(TStoreFault::Refused);
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
    std::unique_ptr<TStream> made;
    TStoreResult result = MakeStream(mode, made);
    TDataFile* madeFile = mode == 2 ? static_cast<TDataFile*>(made.get()) : nullptr;
    if (old) {
        TStoreResult copied = TStoreResult::Failed(TStoreFault::NoStream);
        if (made) {
            try {
                std::vector<uint8_t> bytes(static_cast<size_t>(FUsedSize));
                old->SetPosition(0);
                old->ReadBuffer(bytes.data(), FUsedSize);
                if (madeFile) {
                    // The data file takes the list's content as one edit.
                    std::string error;
                    if (TEditJournal::Replace(*madeFile, 0, madeFile->GetSize(), bytes.data(), FUsedSize, FMoveLimit,
                                              FMoveBuffer, {}, error) == TEditJournal::TOutcome::Done)
                        copied = TStoreResult::Ok();
                    else
                        copied = TStoreResult::OfFile(TFileFault::Other, error);
                } else {
                    made->SetPosition(0);
                    made->WriteBuffer(bytes.data(), FUsedSize);
                    if (made->Size() > FUsedSize) made->SetSize(FUsedSize);
                    copied = TStoreResult::Ok();
                }
            } catch (...) {
                copied = TStoreResult::Failed(TStoreFault::Io);
            }
        } else if (result.FileFault != TFileFault::None) {
            copied = TStoreResult::OfFile(result.FileFault, result.Text);
        }
        if (!copied.Done()) {
            // The entries stay where they are rather than be lost.
            if (mode == 1 && made) {
                made.reset();
                DeleteTempFile();
                FTempFileName = previousTemp;
            }
            FStream = std::move(old);
            FFile = previous == 2 ? static_cast<TDataFile*>(FStream.get()) : nullptr;
            return copied;
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
        TStoreResult scan = ScanEntries(-1);
        if (!scan.Done()) result = scan;
    }
    if (previous == 1 && mode != 1 && !previousTemp.empty()) {
        platform::DeleteFile(previousTemp);
        if (FTempFileName == previousTemp) FTempFileName.clear();
    }
    FStorageMode = mode;
    return result;
}

TStoreResult TStringStore::SetLineEndOfNewEntries(TLineEnd kind) {
    std::string separator = kind == TLineEnd::Lf ? "\n" : "\r\n";
    FNewSeparator = separator;
    if (separator == FSeparator) return TStoreResult::Ok();
    FSeparator = separator;
    FSeparatorLength = static_cast<uint8_t>(FSeparator.size());
    if (FStream && FUsedSize > 0) return ScanEntries(-1);
    return TStoreResult::Ok();
}

// The first line end decides: a lone LF makes an LF file; CR LF, or no line
// end at all, keeps the list's kind for new entries.
TStoreResult TStringStore::DetectLineEnd() {
    std::string separator = FNewSeparator;
    std::vector<char> block(65536);
    char previous = 0;
    for (int64_t pos = 0; pos < FUsedSize;) {
        int64_t n = std::min<int64_t>(int64_t(block.size()), FUsedSize - pos);
        if (!ReadAt(pos, block.data(), n)) return TStoreResult::Failed(TStoreFault::Io);
        const char* lf = static_cast<const char*>(std::memchr(block.data(), '\n', size_t(n)));
        if (lf) {
            char before = lf > block.data() ? lf[-1] : previous;
            separator = before == '\r' ? "\r\n" : "\n";
            break;
        }
        previous = block[size_t(n) - 1];
        pos += n;
    }
    FSeparator = separator;
    FSeparatorLength = static_cast<uint8_t>(separator.size());
    return TStoreResult::Ok();
}

} // namespace xoStr31

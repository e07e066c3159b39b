#pragma once
// TStringStore: the bytes of a large string list and the table of where
// each entry ends. Entries lie back to back in one stream (memory, a
// temporary file, or the data file itself), each followed by a line end;
// changing an entry moves the bytes after it, through a move buffer, or in
// a data file as one journaled edit (TEditJournal).
//
// Every operation that can fail answers a TStoreResult and touches no
// sticky state: the list built on it decides what a fault means to its
// callers (a flag, a message, an exception), in one place.
#include "platform/FileSystem.h"
#include "platform/Streams.h"
#include "xoStr31/DataFile.h"
#include "xoStr31/EntryEnds.h"
#include "xoStr31/EntryRecord.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xoStr31 {

// The most bytes a list holds (files of any size a disk holds), and the most
// entries (indexes are signed 32-bit).
constexpr int64_t MaxDataSize = int64_t(1) << 46;
constexpr int64_t MaxEntries = INT32_MAX - 1000;

enum class TLineEnd { CrLf, Lf };

// Where the list keeps its bytes; the numbers are those SetParam takes.
enum class TStorageMode : int { Memory = 0, TempFile = 1, File = 2 };

// Which work a progress report is about.
enum class TProgressKind { Index, Move, Sort };

// Why a store operation did not do what it was asked.
enum class TStoreFault {
    None,
    Refused,     // an argument out of range: nothing was tried
    NoStream,    // no stream could be made for the storage mode
    TooLarge,    // past MaxDataSize or MaxEntries
    MoveBuffer,  // the move buffer cannot hold the change
    Io,          // a read or write of the stream failed
    IndexScan,   // the index build could not read the bytes
    File         // the data file or its journal: FileFault and Text tell
};

// The outcome of a store operation. Done with a FileFault: made, but the
// file named could not serve (the list goes on without a stream); Done
// with Text only: made, with a warning beside it (a journal that could not
// be removed).
struct TStoreResult {
    TStoreFault Fault = TStoreFault::None;
    TFileFault FileFault = TFileFault::None;
    std::string Text;

    bool Done() const { return Fault == TStoreFault::None; }
    static TStoreResult Ok() { return {}; }
    static TStoreResult Warned(std::string text) { return {TStoreFault::None, TFileFault::None, std::move(text)}; }
    static TStoreResult Failed(TStoreFault fault) { return {fault, TFileFault::None, {}}; }
    static TStoreResult OfFile(TFileFault fault, std::string text) {
        return {TStoreFault::File, fault, std::move(text)};
    }
};

class TStringStore {
public:
    TStringStore(const TStringStore&) = delete;
    TStringStore& operator=(const TStringStore&) = delete;

    platform::TStream* Stream() const { return FStream.get(); }
    int64_t EntryEnd(int index) const { return FEnds[size_t(index)]; }
    // The entry's record as an entry table stores it.
    TEntry Entry(int index) const;
    int LastIndex() const { return FLastIndex; }
    int64_t UsedSize() const { return FUsedSize; }
    int StorageMode() const { return FStorageMode; }
    TStorageMode Storage() const { return static_cast<TStorageMode>(FStorageMode); }
    const std::string& FileName() const { return FFileName; }
    int32_t Reserve() const { return FReserve; }
    int32_t GrowStep() const { return FGrowStep; }
    void SetGrowStep(int32_t step) { FGrowStep = step > 0 ? step : 1; }
    const std::string& Separator() const { return FSeparator; }
    int64_t MoveBufferSize() const { return static_cast<int64_t>(FMoveBuffer.size()); }
    // The data file is open for reading only (storage mode 2).
    bool ReadOnly() const { return FStorageMode == 2 && FFile && !FFile->Writing(); }
    // Line ends of new entries; a data file's own kind replaces it on Open.
    TLineEnd LineEnd() const { return FSeparatorLength == 1 ? TLineEnd::Lf : TLineEnd::CrLf; }

    // Tuning, for tests and benchmarks: bytes read per scan chunk (bounded
    // further by a fifth of the free memory) and the most tail bytes the
    // move buffer holds at once (longer tails move in pieces).
    void SetScanChunk(int64_t bytes) { FScanChunk = bytes; }
    void SetMoveLimit(int64_t bytes) { FMoveLimit = bytes > 0 ? bytes : 1; }

protected:
    TStringStore();
    virtual ~TStringStore();

    // What the store tells the list while it works: progress (asked for
    // only when someone hears it) and that the data file is about to change.
    virtual bool HearsProgress() const { return false; }
    virtual void StoreProgress(TProgressKind, int64_t /*done*/, int64_t /*total*/) {}
    virtual void BeforeFileChange() {}

    // ---- entries: each keeps the table in step with the bytes ----
    // Inserts s (one line) before index (at the end when out of range).
    TStoreResult InsertEntry(int& index, const std::string& s, uint32_t object);
    TStoreResult ReplaceEntry(int index, const std::string& s);
    TStoreResult DeleteEntry(int index);
    // Replaces count entries from first on with texts, in one move.
    TStoreResult ReplaceEntries(int first, int count, const std::vector<std::string>& texts);
    // Raw bytes after the content, indexed from the last entry on.
    TStoreResult AppendBytes(const void* buffer, int64_t length);
    // Moves what follows entry index by delta bytes (zero bytes fill a gap).
    TStoreResult ResizeEntry(int index, int64_t delta);
    // Forgets the entries (the bytes too, but for the data file's).
    void ClearEntries();

    // ---- storage ----
    TStoreResult ChangeStorageMode(int mode);
    // Line ends of new entries; content held is indexed anew by them.
    TStoreResult SetLineEndOfNewEntries(TLineEnd kind);
    // Takes the line end of the content held (first line end a lone LF:
    // LF); Io when the content cannot be read (the line end stays).
    TStoreResult DetectLineEnd();
    // Scans the bytes from entry from's end on for line ends; -1: all.
    TStoreResult ScanEntries(int from);
    // Takes a table of ends read from elsewhere (an entry-table file).
    void AdoptEntries(TEntryEnds ends, std::vector<uint32_t> objects, bool openEnd);
    void Grow(int64_t bytes);
    // Cuts a temporary file's growth slack (a data file has none).
    TStoreResult CutToContent();
    void TrimStorage();

    // ---- opening a data file, in its two steps ----
    // Reaches the file named: refuses what is no text file to work on,
    // finishes an edit a stopped process left, and opens it as this
    // storage mode wants. file stays empty for a missing file that is not
    // made (the result then is the NotFound fault).
    TStoreResult ReachDataFile(const std::string& fileName, bool readOnly, bool createMissing, bool anyDevice,
                               std::unique_ptr<TDataFile>& file, platform::FindData& data, std::string& warning);
    // Drops the entries and the stream held and takes the file's bytes as
    // the storage mode keeps them. False result: nothing taken.
    TStoreResult TakeContent(std::unique_ptr<TDataFile> file, const std::string& fileName, bool& taken);
    // Lets go of every entry and the stream after a failed open.
    void DropContent();
    // The find data of the file named exactly so: no trimming, no wildcards.
    static bool StatExact(const std::string& path, platform::FindData& out);
    // Two names of one file (also through links): same device and inode.
    static bool SameFile(const std::string& a, const std::string& b);

    // ---- bytes ----
    bool ReadAt(int64_t pos, void* buffer, int64_t count);
    int64_t EntryStart(int index) const { return index > 0 ? FEnds[size_t(index) - 1] : 0; }
    bool IsOpenEnd(int index) const { return FOpenEnd && index == FLastIndex; }
    // An entry's text length, its line end left out.
    int64_t TextLength(int index) const;
    uint32_t ObjectAt(int index) const { return FObjects.empty() ? 0 : FObjects[size_t(index)]; }
    void SetObjectAt(int index, uint32_t object);
    void ReleaseStream();
    void DeleteTempFile();
    std::unique_ptr<platform::TStream> MakeTempStream();

    std::unique_ptr<platform::TStream> FStream;
    TDataFile* FFile = nullptr;  // FStream when it is the data file
    std::string FFileName;
    std::string FTempFolder;
    std::string FTempFileName;
    int32_t FStorageMode = 0;
    int32_t FReserve = 0;
    std::string FSeparator = "\r\n";
    uint8_t FSeparatorLength = 2;
    std::string FNewSeparator = "\r\n";  // for files without a line end yet
    // The entry table, one end per entry 0 to LastIndex (4 bytes each, so a
    // big file's table stays small); only the last entry can lack its
    // separator; objects are held only once one is set.
    TEntryEnds FEnds;
    bool FOpenEnd = false;
    std::vector<uint32_t> FObjects;
    int FHeld = 0;  // entry records the table counts as held
    int32_t FLastIndex = -1;
    int64_t FUsedSize = 0;
    bool FIndexDirty = false;  // entries changed since the entry table was read or written

private:
    void InsertEntryRecord(int index, int64_t end, uint32_t object);
    void RemoveEntryRecord(int index);
    void EnsureHeld(int needed, int grow);
    bool WriteAt(int64_t pos, const void* buffer, int64_t count);
    bool MoveTail(int64_t from, int64_t tail, int64_t delta);
    // Replaces the stored bytes [at, at + oldLength) with bytes, moving the
    // rest: journaled in a data file, through the move buffer elsewhere.
    // Once done UsedSize follows; the caller updates the entry ends.
    TStoreResult ReplaceBytes(int64_t at, int64_t oldLength, const void* bytes, int64_t length);
    TStoreResult JournaledEdit(int64_t at, int64_t oldLength, const void* bytes, int64_t length);
    // Sizes the move buffer for a tail and a size change; false when it
    // cannot hold the change.
    bool SizeMoveBuffer(int64_t tail, int64_t change);
    TStoreResult MakeStream(int mode, std::unique_ptr<platform::TStream>& made);
    TStoreResult EnsureStream();
    TStoreResult MoveAfterEntry(int index, int64_t delta);

    int32_t FGrowStep = 1048576;
    uint8_t FMemoryPercent = 15;
    std::vector<uint8_t> FMoveBuffer;
    int64_t FScanChunk = 4 << 20;
    int64_t FMoveLimit = 4 << 20;
};

} // namespace xoStr31

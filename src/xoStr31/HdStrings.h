#pragma once
// THdStrings: a string list whose entries live back to back in one byte
// stream (memory, a temporary file, or the data file itself), each followed
// by a line end, with a table of entry ends in memory. Reading an entry seeks
// and reads its bytes; inserting, replacing or deleting moves the bytes after
// it. A big text file can so be worked on in place with only 4 bytes per
// entry in memory, and an entry-table file (".Rni") beside it spares the scan
// when the file has not changed.
//
// Line ends: entries end with CR LF, except in a data file whose first line
// end is a lone LF (an ordinary Linux text file), where they end with LF. A
// file without any line end yet takes the list's own kind (CR LF unless set).
//
// In storage mode 2 every change of the data file is one journaled edit
// (TEditJournal): whole or not at all, whatever stops it; an edit a stopped
// process left unfinished is brought to an end by the next Open.
#include "platform/FileSystem.h"
#include "platform/Strings.h"
#include "platform/Variant.h"
#include "xoStr31/DataFile.h"
#include "xoStr31/EntryEnds.h"
#include "xoStr31/EntryRecord.h"
#include "xoStr31/SortOrder.h"
#include "xoStr31/TextOrder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xoStr31 {

class TTextMatcher;

// The most bytes a list holds (files of any size a disk holds), and the most
// entries (indexes are signed 32-bit).
constexpr int64_t MaxDataSize = int64_t(1) << 46;
constexpr int64_t MaxEntries = INT32_MAX - 1000;

enum class TLineEnd { CrLf, Lf };

// Which work an OnProgress event reports.
enum class TProgressKind { Index, Move, Sort };

// Comparison flag bits of CompareFlags (GetFlag/SetFlag kinds 10 to 14).
constexpr uint32_t cfIgnoreCase = 0x00001;
constexpr uint32_t cfIgnoreNonSpace = 0x00002;
constexpr uint32_t cfIgnoreSymbols = 0x00004;
constexpr uint32_t cfIgnoreKanaType = 0x10000;
constexpr uint32_t cfIgnoreWidth = 0x20000;
// CompareEntries flag: bytes compare exactly, without letter case folding.
constexpr unsigned ceExact = 32;

class THdStrings : public platform::TStrings {
public:
    using StringObject = platform::StringObject;

    THdStrings();
    ~THdStrings() override;
    THdStrings(const THdStrings&) = delete;
    THdStrings& operator=(const THdStrings&) = delete;

    // ---- string list element operations ----
    std::string Get(int index) override;
    int GetCapacity() override;
    int GetCount() override { return FLastIndex + 1; }
    StringObject GetObject(int index) override;
    void Put(int index, const std::string& s) override;
    // Objects are 32-bit values, as the entry record keeps them: a value
    // outside the signed 32-bit range raises EStringListError.
    void PutObject(int index, StringObject obj) override;
    void SetCapacity(int capacity) override;
    void SetUpdateState(bool updating) override;
    // Add, AddObject, Insert and InsertObject answer the index used, or -1
    // when the text could not be stored (IoError tells, nothing is lost).
    // Insert and Put refuse a text holding a line end (CR or LF) with
    // EStringListError: it would split the entry in the file.
    int Add(const std::string& s) override;
    int AddObject(const std::string& s, StringObject obj) override;
    void Clear() override;
    void Delete(int index) override;
    // Deletes count entries from first on in one edit (one move of what
    // follows them); false, with nothing changed, when it could not.
    bool DeleteRange(int first, int count);
    // Replaces the count entries from first on (at least one) with texts,
    // in one edit; false, with nothing changed, when it could not.
    bool ReplaceRange(int first, int count, const std::vector<std::string>& texts);
    void Insert(int index, const std::string& s) override;
    void InsertObject(int index, const std::string& s, StringObject obj) override;
    void LoadFromFile(const std::string& path) override;
    void LoadFromStream(platform::TStream& stream) override;
    void SaveToFile(const std::string& path) override;
    void SaveToStream(platform::TStream& stream) override;

    // ---- own operations, in their slot order ----
    virtual void Hook1() {}
    virtual void SetRawText(const std::string& text);
    virtual bool GetFlag(int kind);
    virtual void SetFlag(int kind, bool value);
    virtual void Hook2() {}
    // Kind 0: storage mode (0 memory, 1 temporary file, 2 the data file);
    // kind 1: Reserve.
    virtual void SetParam(int kind, int value);
    // Kind 0 FileName, 1 TempFolder, 2 TempFileName.
    virtual std::string GetPath(int kind);
    virtual void SetPath(int kind, const std::string& path);
    virtual void UpdateEnds() {}
    virtual void UpdateBegins() {}
    virtual int InsertItem(int index, const std::string& s, StringObject obj);
    virtual void TrimStorage();
    virtual bool LoadIndex(const std::string& fileName);
    virtual bool SaveIndex(bool onlyIfPresent);
    virtual void Sort();
    // The sort key text ("sS" when empty) and the two integers select
    // nothing yet; they are kept for callers that pass them.
    virtual void BuildSortIndex(const std::string& spec, int param1, int param2);
    virtual int IndexOfRange(const std::string& s, int first, int last);
    // Index of the first entry that the locale comparison (with flags)
    // finds equal to a text value (variant kinds 8, 72 and 256), or -1.
    // first <= last searches upward from first to last; first > last
    // searches downward from first to 0.
    virtual int FindValue(const platform::TVariant& value, unsigned flags, int first, int last);
    // Appends raw bytes and indexes them; always answers -1.
    virtual int AppendData(const void* buffer, int64_t length);
    virtual void Hook3() {}
    virtual void Hook4() {}

    // ---- files ----
    // Names are used exactly as given. A missing file is created (storage
    // modes 1 and 2) without ever emptying one that exists.
    bool Open(const std::string& fileName, bool readOnly);
    bool Save(const std::string& fileName);
    // The entry-table file that belongs to a data file: its name with the
    // extension changed to ".Rni", or with ".Rni" added when the data file's
    // own extension is ".Rni" (in any case), so that the table never is the
    // data file.
    std::string IndexFileName(const std::string& dataFile) const;
    // Answers about a data file without opening it as a list: the count
    // from a fresh entry table's header or from a count of its line ends,
    // an entry's text from the two table records around it. False when
    // they cannot answer for sure (Open then answers and names any fault).
    bool CountFromTable(const std::string& fileName, int64_t& count);
    bool CountByScan(const std::string& fileName, int64_t& count);
    bool GetFromTable(const std::string& fileName, int index, std::string& text);
    // Why the last Open failed, or why the last change was not made: the
    // cause and a sentence naming the file. TFileFault::None when it worked.
    TFileFault LastFault() const { return FLastFault; }
    const std::string& LastError() const { return FLastError; }
    // What went wrong beside a change or an open that was made all the same
    // (a journal that could not be removed), empty when nothing did.
    const std::string& Warning() const { return FWarning; }
    // Whether Open makes a missing file in storage modes 1 and 2 (it does
    // unless told otherwise); when it does not, a missing file is NotFound.
    void SetCreateMissing(bool create) { FCreateMissing = create; }
    // Whether Open finishes an unfinished edit of a file whose device is
    // numbered anew (the user says it is the same disk); off unless set.
    void SetRecoverAnyDevice(bool any) { FRecoverAnyDevice = any; }
    // The data file is open for reading only (storage mode 2).
    bool ReadOnly() const { return FStorageMode == 2 && FFile && !FFile->Writing(); }

    // Line ends of new entries; a data file's own kind replaces it on Open.
    TLineEnd LineEnd() const { return FSeparatorLength == 1 ? TLineEnd::Lf : TLineEnd::CrLf; }
    void SetLineEnd(TLineEnd kind);
    // Takes the line ends of the content held (first line end a lone LF:
    // LF), as Open does for a file, and indexes it again when they change.
    void UseLineEndOfContent();

    // -1 (a before b), 0 or 1, byte by byte with the list's letter rules.
    static int CompareEntries(std::string_view a, std::string_view b, unsigned flags);

    // ---- whole lines: an entry is every byte up to its line end, zero
    // bytes included (Get and IndexOfRange stop at the first zero byte) ----
    // Raise EStringListError for an index out of range and EReadError when
    // the bytes cannot be read.
    std::string GetLine(int index);
    // The first entry from first to last (last below 0: the last entry)
    // whose line equals text, by bytes or by the locale comparison bits in
    // flags (case 1, non-spacing marks 2, symbols 4); an empty text finds
    // an empty line. -1 when none does.
    int FindLine(const std::string& text, unsigned flags, int first, int last);
    // Every entry's index, the entries in the given total order, equal
    // lines by index; OnProgress hears it as sorting.
    std::vector<int32_t> SortLines(TTextOrder order);

    // ---- internal operations (public for the tools and tests) ----
    bool SetStorageMode(int mode);
    bool SetStorage(int index, int64_t delta);
    bool BuildIndex(int from);
    void Grow(int64_t bytes);
    bool Truncate();

    // ---- state ----
    platform::TStream* Stream() const { return FStream.get(); }
    int64_t EntryEnd(int index) const { return FEnds[size_t(index)]; }
    // The entry's record as an entry table stores it.
    TEntry Entry(int index) const;
    int LastIndex() const { return FLastIndex; }
    int64_t UsedSize() const { return FUsedSize; }
    bool IoError() const { return FIoError; }
    int StorageMode() const { return FStorageMode; }
    uint32_t CompareFlags() const { return FCompareFlags; }
    void SetCompareFlags(uint32_t flags) { FCompareFlags = flags; }
    const std::string& FileName() const { return FFileName; }
    const std::string& IndexFolder() const { return FIndexFolder; }
    void SetIndexFolder(const std::string& folder) { FIndexFolder = folder; }
    int32_t Reserve() const { return FReserve; }
    int32_t GrowStep() const { return FGrowStep; }
    void SetGrowStep(int32_t step) { FGrowStep = step > 0 ? step : 1; }
    bool OwnsObjects() const { return FOwnsObjects; }
    void SetOwnsObjects(bool owns) { FOwnsObjects = owns; }
    const std::string& Separator() const { return FSeparator; }
    uint8_t Progress() const { return FProgress; }
    TProgressKind ProgressKind() const { return FProgressKind; }
    const platform::FindData& FileData() const { return FFileData; }
    const std::vector<TSortRecord>& SortIndex() const { return FSortIndex; }
    platform::TStringList* Samples() const { return FSamples.get(); }
    int64_t MoveBufferSize() const { return static_cast<int64_t>(FMoveBuffer.size()); }

    // Raised once per chunk while BuildIndex scans, and once per piece while
    // an edit moves the bytes of a data file (ProgressKind tells which).
    std::function<void(THdStrings*)> OnProgress;
    // Releases an attached object when Clear runs with OwnsObjects set.
    std::function<void(uint32_t)> OnReleaseObject;

    // Tuning, for tests and benchmarks: bytes read per scan chunk (bounded
    // further by a fifth of the free memory) and the most tail bytes the
    // move buffer holds at once (longer tails move in pieces).
    void SetScanChunk(int64_t bytes) { FScanChunk = bytes; }
    void SetMoveLimit(int64_t bytes) { FMoveLimit = bytes > 0 ? bytes : 1; }

protected:
    void ReportProgress(TProgressKind kind, int64_t done, int64_t total);

private:
    int64_t EntryStart(int index) const { return index > 0 ? FEnds[size_t(index) - 1] : 0; }
    bool IsOpenEnd(int index) const { return FOpenEnd && index == FLastIndex; }
    uint32_t ObjectAt(int index) const { return FObjects.empty() ? 0 : FObjects[size_t(index)]; }
    void SetObjectAt(int index, uint32_t object);
    void InsertEntryRecord(int index, int64_t end, uint32_t object);
    void EnsureHeld(int needed, int grow);
    void RemoveEntryRecord(int index);
    bool ReadAt(int64_t pos, void* buffer, int64_t count);
    bool WriteAt(int64_t pos, const void* buffer, int64_t count);
    bool MoveTail(int64_t from, int64_t tail, int64_t delta);
    // Replaces the stored bytes [at, at + oldLength) with bytes, moving the
    // rest: journaled in a data file, through the move buffer elsewhere.
    // On success UsedSize follows; the caller updates the entry ends.
    bool ReplaceBytes(int64_t at, int64_t oldLength, const void* bytes, int64_t length);
    bool JournaledEdit(int64_t at, int64_t oldLength, const void* bytes, int64_t length);
    // Sizes the move buffer for a tail and a size change; false (after the
    // message) when it cannot hold the change.
    bool SizeMoveBuffer(int64_t tail, int64_t change);
    void RefuseLineEnds(const std::string& s) const;
    bool SetFault(TFileFault fault, const std::string& text);
    // Makes the entry table on disk stale before the data file changes, so
    // that a stop between the change and a new table never leaves a table
    // that looks valid.
    void StaleIndexBeforeChange();
    // False when the file cannot be read: the line end is then unknown.
    bool DetectLineEnd();
    // The kind byte of this list's entry table.
    uint8_t IndexKind() const;
    static bool IsEntryTable(const std::string& path);
    void ReleaseStream();
    std::unique_ptr<platform::TStream> MakeStream(int mode);
    std::unique_ptr<platform::TStream> MakeTempStream();
    void DeleteTempFile();
    bool ValidEntryTable(const TEntryEnds& ends, bool openEnd);
    // The first entry from from to to (either way) the matcher takes, or
    // -1; entries that cannot be read are passed over and set readFailed.
    int FindMatch(const TTextMatcher& matcher, int from, int to, bool* readFailed = nullptr);
    // Every entry's text as Get answers it, read in one sweep.
    bool ReadAllTexts(TSortTexts& texts, int& failedAt);

    std::unique_ptr<platform::TStream> FStream;
    TDataFile* FFile = nullptr;  // FStream when it is the data file
    int32_t FGrowStep = 1048576;
    bool FIoError = false;
    std::string FFileName;
    std::string FIndexFolder;
    std::string FTempFolder;
    std::string FTempFileName;
    int32_t FReserve = 0;
    int32_t FStorageMode = 0;
    uint8_t FSeparatorLength = 2;
    bool FOwnsObjects = false;
    bool FOption0 = false;
    bool FOption1 = false;
    uint32_t FCompareFlags = 0;
    void* FReadBuffer = nullptr;
    int64_t FReadBufferSize = 0;
    uint8_t FMemoryPercent = 15;
    std::vector<uint8_t> FMoveBuffer;
    uint8_t FProgress = 0;
    std::vector<TSortRecord> FSortIndex;
    std::unique_ptr<platform::TStringList> FSamples;
    // The entry table, one end per entry 0 to LastIndex (4 bytes each, so a
    // big file's table stays small); only the last entry can lack its
    // separator; objects are held only once one is set.
    TEntryEnds FEnds;
    bool FOpenEnd = false;
    std::vector<uint32_t> FObjects;
    int FHeld = 0;                 // entry records the table counts as held
    platform::FindData FFileData;
    std::string FSeparator;
    std::string FNewSeparator = "\r\n";  // for files without a line end yet
    int32_t FLastIndex = -1;
    int64_t FUsedSize = 0;

    int64_t FScanChunk = 4 << 20;
    int64_t FMoveLimit = 4 << 20;
    TProgressKind FProgressKind = TProgressKind::Index;
    TFileFault FLastFault = TFileFault::None;
    std::string FLastError;
    std::string FWarning;
    bool FIndexFresh = false;
    bool FRecoverAnyDevice = false;
    bool FCreateMissing = true;  // the table on disk matches the data file as it is
    bool FIndexDirty = false;  // entries changed since the entry table was read or written
};

} // namespace xoStr31

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
//
// The bytes and the entry table are the store's (TStringStore); this class
// is the string-list surface over it, with the files, search and sort, and
// turns each store result into IoError, LastFault/LastError, Warning or a
// message in one place (Report). The whole-line reads raise instead, since
// a line that could not be read is no answer.
#include "platform/FileSystem.h"
#include "platform/Strings.h"
#include "platform/Variant.h"
#include "xoStr31/DataFile.h"
#include "xoStr31/EntryEnds.h"
#include "xoStr31/EntryRecord.h"
#include "xoStr31/SortOrder.h"
#include "xoStr31/StringStore.h"
#include "xoStr31/TextOrder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xoStr31 {

class TTextMatcher;

// The kinds SetParam takes.
enum class TParam : int { StorageMode = 0, Reserve = 1 };

// The kinds GetFlag and SetFlag take: two stored options that nothing in
// the list consults (kept for callers that keep state in them), and the
// comparison bits of CompareFlags.
enum class TFlag : int {
    StoredOption0 = 0,
    StoredOption1 = 1,
    IgnoreCase = 10,
    IgnoreNonSpace = 11,
    IgnoreSymbols = 12,
    IgnoreKanaType = 13,
    IgnoreWidth = 14,
};

// The kinds GetPath and SetPath take.
enum class TPathKind : int { FileName = 0, TempFolder = 1, TempFileName = 2 };

// Comparison flag bits of CompareFlags (GetFlag/SetFlag kinds 10 to 14).
constexpr uint32_t cfIgnoreCase = 0x00001;
constexpr uint32_t cfIgnoreNonSpace = 0x00002;
constexpr uint32_t cfIgnoreSymbols = 0x00004;
constexpr uint32_t cfIgnoreKanaType = 0x10000;
constexpr uint32_t cfIgnoreWidth = 0x20000;
// CompareEntries flag: bytes compare exactly, without letter case folding.
constexpr unsigned ceExact = 32;

class THdStrings : public platform::TStrings, protected TStringStore {
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
    // The same by name, for callers that should not spell the numbers.
    bool GetFlag(TFlag kind) { return GetFlag(static_cast<int>(kind)); }
    void SetFlag(TFlag kind, bool value) { SetFlag(static_cast<int>(kind), value); }
    void SetParam(TParam kind, int value) { SetParam(static_cast<int>(kind), value); }
    void SetParam(TParam kind, TStorageMode mode) { SetParam(static_cast<int>(kind), static_cast<int>(mode)); }
    std::string GetPath(TPathKind kind) { return GetPath(static_cast<int>(kind)); }
    void SetPath(TPathKind kind, const std::string& path) { SetPath(static_cast<int>(kind), path); }
    virtual void UpdateEnds() {}
    virtual void UpdateBegins() {}
    virtual int InsertItem(int index, const std::string& s, StringObject obj);
    virtual void TrimStorage();
    virtual bool LoadIndex(const std::string& fileName);
    virtual bool SaveIndex(bool onlyIfPresent);
    virtual void Sort();
    // The sort key text and the two integers select nothing: this slot
    // keeps them for callers that pass them, and sorts as BuildSortIndex().
    virtual void BuildSortIndex(const std::string& spec, int param1, int param2);
    void BuildSortIndex();
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
    // Whether the last change (insert, put, delete, a range, an append)
    // was made: the one answer for callers of the operations that answer
    // nothing themselves.
    bool LastChangeMade() const { return FLastChangeMade; }

    using TStringStore::ReadOnly;
    using TStringStore::LineEnd;
    // Line ends of new entries; a data file's own kind replaces it on Open.
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
    using TStringStore::Grow;
    bool Truncate();

    // ---- state ----
    using TStringStore::Stream;
    using TStringStore::EntryEnd;
    using TStringStore::Entry;
    using TStringStore::LastIndex;
    using TStringStore::UsedSize;
    using TStringStore::StorageMode;
    using TStringStore::Storage;
    using TStringStore::FileName;
    using TStringStore::Reserve;
    using TStringStore::GrowStep;
    using TStringStore::SetGrowStep;
    using TStringStore::Separator;
    using TStringStore::MoveBufferSize;
    using TStringStore::SetScanChunk;
    using TStringStore::SetMoveLimit;
    bool IoError() const { return FIoError; }
    uint32_t CompareFlags() const { return FCompareFlags; }
    void SetCompareFlags(uint32_t flags) { FCompareFlags = flags; }
    const std::string& IndexFolder() const { return FIndexFolder; }
    void SetIndexFolder(const std::string& folder) { FIndexFolder = folder; }
    bool OwnsObjects() const { return FOwnsObjects; }
    void SetOwnsObjects(bool owns) { FOwnsObjects = owns; }
    uint8_t Progress() const { return FProgress; }
    TProgressKind ProgressKind() const { return FProgressKind; }
    const platform::FindData& FileData() const { return FFileData; }
    const std::vector<TSortRecord>& SortIndex() const { return FSortIndex; }
    platform::TStringList* Samples() const { return FSamples.get(); }

    // Raised once per chunk while BuildIndex scans, and once per piece while
    // an edit moves the bytes of a data file (ProgressKind tells which).
    std::function<void(THdStrings*)> OnProgress;
    // Releases an attached object when Clear runs with OwnsObjects set.
    std::function<void(uint32_t)> OnReleaseObject;

protected:
    void ReportProgress(TProgressKind kind, int64_t done, int64_t total);
    bool HearsProgress() const override { return static_cast<bool>(OnProgress); }
    void StoreProgress(TProgressKind kind, int64_t done, int64_t total) override { ReportProgress(kind, done, total); }
    // Makes the entry table on disk stale before the data file changes, so
    // that a stop between the change and a new table never leaves a table
    // that looks valid.
    void BeforeFileChange() override;

private:
    // The one place a store result becomes what callers see: a failed
    // change sets IoError (change false: an open, which answers false
    // instead), a file's fault goes to LastFault/LastError, a warning to
    // Warning, and a full move buffer or a failed scan is shown as before.
    bool Report(const TStoreResult& result, bool change = true);
    void RefuseLineEnds(const std::string& s) const;
    bool SetFault(TFileFault fault, const std::string& text);
    // The three jobs of Open: reach the file (and finish an edit a stopped
    // process left), take its bytes in place of the entries held, and
    // find its entries (from a fresh entry table, else by a scan).
    bool ReachForOpen(const std::string& fileName, bool readOnly, std::unique_ptr<TDataFile>& file,
                      platform::FindData& data);
    bool TakeForOpen(std::unique_ptr<TDataFile> file, const std::string& fileName, bool& taken);
    bool IndexOpened(const std::string& fileName);
    // The kind byte of this list's entry table.
    uint8_t IndexKind() const;
    static bool IsEntryTable(const std::string& path);
    bool ValidEntryTable(const TEntryEnds& ends, bool openEnd);
    // The first entry from from to to (either way) the matcher takes, or
    // -1; entries that cannot be read are passed over and set readFailed.
    int FindMatch(const TTextMatcher& matcher, int from, int to, bool* readFailed = nullptr);
    // Every entry's text as Get answers it, read in one sweep.
    bool ReadAllTexts(TSortTexts& texts, int& failedAt);

    bool FIoError = false;
    bool FLastChangeMade = false;
    std::string FIndexFolder;
    bool FOwnsObjects = false;
    bool FStoredOptions[2] = {false, false};  // GetFlag/SetFlag kinds 0 and 1
    uint32_t FCompareFlags = 0;
    void* FReadBuffer = nullptr;
    int64_t FReadBufferSize = 0;
    uint8_t FProgress = 0;
    std::vector<TSortRecord> FSortIndex;
    std::unique_ptr<platform::TStringList> FSamples;
    platform::FindData FFileData;
    TProgressKind FProgressKind = TProgressKind::Index;
    TFileFault FLastFault = TFileFault::None;
    std::string FLastError;
    std::string FWarning;
    bool FIndexFresh = false;  // the table on disk matches the data file as it is
    bool FRecoverAnyDevice = false;
    bool FCreateMissing = true;
};

} // namespace xoStr31

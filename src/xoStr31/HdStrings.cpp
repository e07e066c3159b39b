// THdStrings: construction, the element operations, and the one place
// where store results become what the list's callers see.
#include "xoStr31/HdStrings.h"

#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <cstring>

namespace xoStr31 {

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

THdStrings::THdStrings() { Clear(); }

THdStrings::~THdStrings() {
    if (FReadBuffer) settings::FreePages(FReadBuffer, 0);
}

// ---- results -------------------------------------------------------------------

bool THdStrings::Report(const TStoreResult& result, bool change) {
    if (change) FLastChangeMade = result.Done();
    if (result.FileFault != TFileFault::None) {
        SetFault(result.FileFault, result.Text);
    } else if (result.Done() && !result.Text.empty()) {
        FWarning = result.Text;
    }
    if (result.Done()) return true;
    if (result.Fault == TStoreFault::MoveBuffer) settings::MsgBox(SetStorageText, SetStorageCaption, platform::MB_OK);
    if (result.Fault == TStoreFault::IndexScan) settings::MsgBox("I/O fault whilst creating index, cancelling");
    // An argument out of range changed nothing and is no fault of the
    // storage.
    if (change && result.Fault != TStoreFault::Refused) FIoError = true;
    return false;
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

void THdStrings::RefuseLineEnds(const std::string& s) const {
    if (s.find_first_of("\r\n") != std::string::npos)
        throw platform::EStringListError("The text holds a line end (CR or LF); an entry is one line");
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
    if (!ReadAt(start, FReadBuffer, length)) {
        FIoError = true;
        return {};
    }
    const char* p = static_cast<const char*>(FReadBuffer);
    const void* zero = std::memchr(p, 0, static_cast<size_t>(length));
    size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - p) : static_cast<size_t>(length);
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
    ClearEntries();
    if (FStorageMode != 2) FIoError = false;
}

int THdStrings::InsertItem(int index, const std::string& s, StringObject obj) {
    RefuseLineEnds(s);
    uint32_t object = ObjectToRecord(obj);
    FIoError = false;
    return Report(InsertEntry(index, s, object)) ? index : -1;
}

void THdStrings::Put(int index, const std::string& s) {
    if (index < 0 || index > FLastIndex) return;
    RefuseLineEnds(s);
    Report(ReplaceEntry(index, s));
}

void THdStrings::Delete(int index) {
    if (index < 0 || index > FLastIndex) return;
    Report(DeleteEntry(index));
}

bool THdStrings::DeleteRange(int first, int count) { return ReplaceRange(first, count, {}); }

bool THdStrings::ReplaceRange(int first, int count, const std::vector<std::string>& texts) {
    for (const auto& t : texts) RefuseLineEnds(t);
    return Report(ReplaceEntries(first, count, texts));
}

int THdStrings::AppendData(const void* buffer, int64_t length) {
    if (!buffer || length < 1) return -1;
    Report(AppendBytes(buffer, length));
    return -1;
}

void THdStrings::SetRawText(const std::string& text) {
    Clear();
    if (!text.empty()) AppendData(text.data(), static_cast<int64_t>(text.size()));
}

void THdStrings::TrimStorage() { TStringStore::TrimStorage(); }

// ---- storage -------------------------------------------------------------------

bool THdStrings::SetStorageMode(int mode) { return Report(ChangeStorageMode(mode)); }

bool THdStrings::SetStorage(int index, int64_t delta) { return Report(ResizeEntry(index, delta)); }

bool THdStrings::BuildIndex(int from) { return Report(ScanEntries(from)); }

// Cutting the slack is tidying, not a change of the entries: a failure
// answers false and leaves IoError alone.
bool THdStrings::Truncate() { return Report(CutToContent(), false); }

void THdStrings::SetLineEnd(TLineEnd kind) { Report(SetLineEndOfNewEntries(kind)); }

void THdStrings::UseLineEndOfContent() {
    const std::string before = FSeparator;
    DetectLineEnd();
    if (FSeparator != before && FStream && FUsedSize > 0) BuildIndex(-1);
}

// ---- options -------------------------------------------------------------------

namespace {
uint32_t FlagBit(int kind) {
    switch (static_cast<TFlag>(kind)) {
    case TFlag::IgnoreCase: return cfIgnoreCase;
    case TFlag::IgnoreNonSpace: return cfIgnoreNonSpace;
    case TFlag::IgnoreSymbols: return cfIgnoreSymbols;
    case TFlag::IgnoreKanaType: return cfIgnoreKanaType;
    case TFlag::IgnoreWidth: return cfIgnoreWidth;
    default: return 0;
    }
}
} // namespace

bool THdStrings::GetFlag(int kind) {
    if (kind == int(TFlag::StoredOption0) || kind == int(TFlag::StoredOption1)) return FStoredOptions[kind];
    uint32_t bit = FlagBit(kind);
    return bit != 0 && (FCompareFlags & bit) != 0;
}

void THdStrings::SetFlag(int kind, bool value) {
    if (kind == int(TFlag::StoredOption0) || kind == int(TFlag::StoredOption1)) {
        FStoredOptions[kind] = value;
        return;
    }
    uint32_t bit = FlagBit(kind);
    if (value)
        FCompareFlags |= bit;
    else
        FCompareFlags &= ~bit;
}

void THdStrings::SetParam(int kind, int value) {
    if (kind == int(TParam::StorageMode)) {
        if (value != FStorageMode) SetStorageMode(value);
    } else if (kind == int(TParam::Reserve)) {
        FReserve = value;
    }
}

std::string THdStrings::GetPath(int kind) {
    switch (static_cast<TPathKind>(kind)) {
    case TPathKind::FileName: return FFileName;
    case TPathKind::TempFolder: return FTempFolder;
    case TPathKind::TempFileName: return FTempFileName;
    default: return {};
    }
}

void THdStrings::SetPath(int kind, const std::string& path) {
    switch (static_cast<TPathKind>(kind)) {
    case TPathKind::FileName: FFileName = path; break;
    case TPathKind::TempFolder: FTempFolder = path; break;
    case TPathKind::TempFileName: FTempFileName = path; break;
    default: break;
    }
}

} // namespace xoStr31

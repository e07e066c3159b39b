// THdStrings: opening and saving data files, streams, and the entry-table
// file (".Rni") that lets an unchanged file open without a scan.
#include "xoStr31/HdStrings.h"

#include "xoStr31/EditJournal.h"
#include "xoStr31/EntryTableFile.h"

#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/SafeSave.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xoStr31 {

using platform::FindData;
using platform::TMemoryStream;
using platform::TStream;

namespace {

const char Signature[5] = {'V', 's', 'I', 'n', 'd'};
constexpr int HeaderSize = 10;
// The sixth signature byte tells the table's kind: 0 for the classic tables
// (CR LF entries, 4-byte ends); bit 0 an LF file, bit 1 8-byte ends (a file
// of 2 GiB or more). Readers of classic tables take the others as
// foreign, and each kind is stale for a file of another.
constexpr uint8_t tkLf = 1;
constexpr uint8_t tkWide = 2;
// Entry records read or written per block.
constexpr size_t RecordsPerBlock = 65536;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string ChangeExtension(const std::string& path, const std::string& ext) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
    return path.substr(0, dot) + ext;
}

} // namespace

std::string THdStrings::IndexFileName(const std::string& dataFile) const {
    std::string name = ChangeExtension(dataFile, ".Rni");
    // A data file named *.Rni (or *.rni, the same file on a folder that
    // ignores case) keeps its name whole and gets ".Rni" added.
    if (SameNameIgnoringCase(name, dataFile)) name = dataFile + ".Rni";
    if (FIndexFolder.empty()) return name;
    return platform::IncludeTrailingPathDelimiter(FIndexFolder) + platform::ExtractFileName(name);
}

bool THdStrings::Open(const std::string& fileName, bool readOnly) {
    FLastFault = TFileFault::None;
    FLastError.clear();
    FWarning.clear();
    std::unique_ptr<TDataFile> file;
    FindData data;
    if (!ReachForOpen(fileName, readOnly, file, data)) return false;
    Clear();
    bool taken = false;
    if (!TakeForOpen(std::move(file), fileName, taken) || !taken) return false;
    FFileData = data;
    return IndexOpened(fileName);
}

// True also for a missing file in storage mode 0, whose open still empties
// the list (and answers false, NotFound).
bool THdStrings::ReachForOpen(const std::string& fileName, bool readOnly, std::unique_ptr<TDataFile>& file,
                              FindData& data) {
    std::string warning;
    TStoreResult reached = ReachDataFile(fileName, readOnly, FCreateMissing, FRecoverAnyDevice, file, data, warning);
    if (!warning.empty()) FWarning = warning;
    Report(reached, false);
    return reached.Done() || (reached.FileFault == TFileFault::NotFound && FStorageMode == 0);
}

bool THdStrings::TakeForOpen(std::unique_ptr<TDataFile> file, const std::string& fileName, bool& taken) {
    FIndexFresh = false;
    FIoError = false;
    return Report(TakeContent(std::move(file), fileName, taken), false);
}

bool THdStrings::IndexOpened(const std::string& fileName) {
    // A writer of the file clears what killed runs left of its table.
    if (FFile && FFile->Writing()) TTableWriter::RemoveLeftovers(IndexFileName(fileName));
    // A read that fails must not leave a guess: the CR LF default would
    // make an LF file one entry, and the next edit would replace it all.
    if (DetectLineEnd().Done() && (LoadIndex(fileName) || Report(ScanEntries(-1), false))) return true;
    int err = errno;
    DropContent();
    return SetFault(TFileFault::Unreadable,
                    "\"" + fileName + "\": cannot be read (" + ErrorText(err ? err : EIO) + "); nothing was changed");
}

bool THdStrings::Save(const std::string& fileName) {
    if (!FStream) return false;
    std::string name = fileName;
    if (name.empty()) {
        if (FStorageMode == 2) return true;
        name = FFileName;
    }
    FindData data;
    bool exists = StatExact(name, data);
    if (exists && (data.Attributes & platform::faReadOnly)) {
        settings::MsgBox("File [" + name + "] is write protected, can't save.", "HdStrings - Save", platform::MB_OK);
        return false;
    }
    if (exists) {
        bool own = SameFile(name, FFileName);
        if (!own) {
            if (settings::MsgBox("File [" + name + "] exists, overwrite ?", "HdStrings - Save As", 49) ==
                platform::IDCANCEL)
                return false;
        } else if (FStorageMode == 2) {
            return true;
        }
    }

    // The whole content replaces the file in one safe save: a stop leaves
    // the old file or the new one, and links, mode and owner stay.
    try {
        platform::TSaveFileStream target(name);
        std::vector<uint8_t> block(size_t(std::min<int64_t>(FUsedSize, 4 << 20)));
        for (int64_t pos = 0; pos < FUsedSize;) {
            int64_t n = std::min<int64_t>(int64_t(block.size()), FUsedSize - pos);
            if (!ReadAt(pos, block.data(), n)) throw platform::EReadError("short read");
            target.WriteBuffer(block.data(), n);
            pos += n;
        }
        target.Commit();
    } catch (const platform::EFCreateError&) {
        settings::MsgBox("Failed to open file " + name, "HdStrings - Save", platform::MB_OK);
        return false;
    } catch (...) {
        settings::MsgBox("Copy to" + name + "failed", "HdStrings - Save", platform::MB_OK);
        return false;
    }
    FFileName = name;
    if (FStorageMode == 2) {
        // The list goes on in the new file; the old one keeps its bytes.
        try {
            auto file = TDataFile::Open(name, true, false);
            ReleaseStream();
            FFile = file.get();
            FStream = std::move(file);
        } catch (const EDataFileError& e) {
            SetFault(e.Fault(), e.what());
        }
    }
    StatExact(name, FFileData);
    SaveIndex(true);
    return true;
}

void THdStrings::LoadFromFile(const std::string& path) { Open(path.empty() ? FFileName : path, false); }

void THdStrings::SaveToFile(const std::string& path) { Save(path); }

void THdStrings::SaveToStream(TStream& stream) {
    if (!FStream || FUsedSize <= 0) return;
    FStream->SetPosition(0);
    stream.CopyFrom(*FStream, FUsedSize);
}

void THdStrings::LoadFromStream(TStream& stream) {
    int64_t size = -1;
    int64_t pos = 0;
    try {
        size = stream.Size();
        pos = stream.Position();
    } catch (...) {
        return;
    }
    if (size <= 0 || pos >= size) return;
    std::vector<uint8_t> copy;
    const void* data = nullptr;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
        data = memory->Memory();
    } else {
        try {
            copy.resize(static_cast<size_t>(size));
            stream.SetPosition(0);
            size = stream.Read(copy.data(), size);
        } catch (...) {
            return;
        }
        data = copy.data();
    }
    if (size <= 0) return;
    Clear();
    AppendData(data, size);
}

// An entry table read from a file must describe the bytes the list holds:
// ends ascending within the used size, the last one at its end, and only
// the last entry without separator. A cheap look at the last separator
// catches most tables whose data file changed within one time-stamp tick.
bool THdStrings::ValidEntryTable(const TEntryEnds& ends, bool openEnd) {
    int64_t previous = 0;
    const size_t n = ends.size();
    for (size_t i = 0; i < n; ++i) {
        bool open = openEnd && i + 1 == n;
        int64_t end = ends[i];
        if (end - previous < (open ? 1 : FSeparatorLength)) return false;
        previous = end;
    }
    if (previous != FUsedSize) return false;
    if (n == 0 || !FStream) return true;
    if (FUsedSize < FSeparatorLength) return openEnd;
    std::string tail(FSeparatorLength, '\0');
    if (!ReadAt(FUsedSize - FSeparatorLength, tail.data(), FSeparatorLength)) return false;
    bool endsWithSeparator = tail == FSeparator;
    return openEnd != endsWithSeparator;
}

uint8_t THdStrings::IndexKind() const {
    return uint8_t((FSeparatorLength == 1 ? tkLf : 0) | (FUsedSize > INT32_MAX ? tkWide : 0));
}

bool THdStrings::LoadIndex(const std::string& fileName) {
    std::string name = fileName.empty() ? FFileName : fileName;
    struct stat st{};
    if (name.empty() || ::stat(name.c_str(), &st) != 0) return false;
    std::string indexName = IndexFileName(name);
    if (SameFile(indexName, name)) return false;
    try {
        // The table must name this very file in this very state, hold the
        // kind of its line ends, and its records their checksum.
        TTableView table;
        if (!table.Open(indexName, TTableOwner::Of(st), st.st_mtim, true)) return false;
        if (table.Kind() != IndexKind() || table.Count() > MaxEntries || !table.RecordsMatch()) return false;
        const int64_t count = table.Count();
        const bool wide = table.RecordSize() == WideEntryRecordSize;
        TEntryEnds ends;
        std::vector<uint32_t> objects;
        bool openEnd = false;
        ends.reserve(static_cast<size_t>(count));
        for (int64_t i = 0; i < count; ++i) {
            const uint8_t* record = table.Record(i);
            TEntry e = wide ? DecodeWideEntry(record) : DecodeEntry(record);
            if (e.End < (ends.empty() ? 0 : ends.back())) return false;
            ends.push_back(e.End);
            // Only the last entry may lack its separator.
            if (e.Flags & efNoSeparator) {
                if (i + 1 != count) return false;
                openEnd = true;
            }
            if (e.Object != 0 && objects.empty()) objects.assign(static_cast<size_t>(count), 0);
            if (e.Object != 0) objects[size_t(i)] = e.Object;
        }
        if (!ValidEntryTable(ends, openEnd)) return false;
        AdoptEntries(std::move(ends), std::move(objects), openEnd);
        FIndexFresh = true;
        return true;
    } catch (...) {
        return false;
    }
}

bool THdStrings::SaveIndex(bool onlyIfPresent) {
    FindData data, index;
    struct stat st{};
    if (FFileName.empty() || !StatExact(FFileName, data) || ::stat(FFileName.c_str(), &st) != 0) return false;
    std::string indexName = IndexFileName(FFileName);
    if (SameFile(indexName, FFileName)) return false;
    bool present = StatExact(indexName, index);
    if (onlyIfPresent && !present) return true;
    // Equal times alone would miss a change made within one time-stamp
    // tick of the file system, so a table changed since it was last read or
    // written is written again.
    if (present && SameTime(index.LastWriteTime, data.LastWriteTime) && !FIndexDirty) return true;
    if (present && !IsEntryTable(indexName)) return false;  // someone's own file: never written over
    struct stat tableStat{};
    if (present && ::stat(indexName.c_str(), &tableStat) == 0 && (tableStat.st_mode & 0222) == 0) {
        // Made read-only by its owner: left as it is, also by root.
        FWarning = "the entry table \"" + indexName + "\" is read-only: left as it was (it no longer fits)";
        return false;
    }
    TTableWriter::RemoveLeftovers(indexName);
    TTableWriter file(indexName);
    TTableSum sum;
    auto put = [&](const uint8_t* bytes, size_t n) {
        sum.Add(bytes, n);
        return file.Write(bytes, n);
    };
    const uint8_t kind = IndexKind();
    const int recordSize = (kind & tkWide) ? WideEntryRecordSize : EntryRecordSize;
    uint8_t header[HeaderSize];
    std::memcpy(header, Signature, 5);
    header[5] = kind;
    uint32_t last = static_cast<uint32_t>(FLastIndex);
    header[6] = uint8_t(last);
    header[7] = uint8_t(last >> 8);
    header[8] = uint8_t(last >> 16);
    header[9] = uint8_t(last >> 24);
    bool ok = put(header, HeaderSize);
    const size_t count = size_t(FLastIndex + 1);
    std::vector<uint8_t> block(std::min(RecordsPerBlock, count) * size_t(recordSize));
    for (size_t done = 0; ok && done < count;) {
        size_t n = std::min(RecordsPerBlock, count - done);
        for (size_t k = 0; k < n; ++k) {
            uint8_t* out = block.data() + k * size_t(recordSize);
            if (recordSize == EntryRecordSize)
                EncodeEntry(Entry(int(done + k)), out);
            else
                EncodeWideEntry(Entry(int(done + k)), out);
        }
        ok = put(block.data(), n * size_t(recordSize));
        done += n;
    }
    uint8_t trailer[TableTrailerSize];
    EncodeTrailer(TTableOwner::Of(st), TableMadeTime(st.st_mtim), sum.Value(), trailer);
    if (!ok || !file.Write(trailer, TableTrailerSize) || !file.Commit()) {
        FWarning = (file.Error().empty() ? "cannot write the entry table \"" + indexName + "\"" : file.Error()) +
                   "; " + (present ? "the old table is left as it was" : "no table was made");
        return false;
    }
    FIndexDirty = false;
    FIndexFresh = true;
    if (!platform::SetFileTimes(indexName, data.LastAccessTime, data.LastWriteTime)) settings::ShowSystemError(-1);
    return true;
}

// An entry table, or an empty file (a table cut short while being made).
bool THdStrings::IsEntryTable(const std::string& path) {
    try {
        auto file = TDataFile::Open(path, false, false);
        uint8_t head[5];
        return file->GetSize() == 0 || (file->ReadAt(0, head, 5) && std::memcmp(head, Signature, 5) == 0);
    } catch (const EDataFileError&) {
        return false;
    }
}

void THdStrings::BeforeFileChange() {
    if (!FIndexFresh || FFileName.empty()) return;
    FIndexFresh = false;
    const std::string name = IndexFileName(FFileName);
    struct stat st{};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // A time no data file has: the table cannot pass for valid even if the
    // change lands within one time-stamp tick; its bytes stay as they are
    // (a read-only table is never emptied, not even by root).
    const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
    ::utimensat(AT_FDCWD, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace xoStr31

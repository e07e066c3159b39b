// THdStrings: opening and saving data files, streams, and the entry-table
// file (".Rni") that lets an unchanged file open without a scan.
#include "xoStr31/HdStrings.h"

#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/SafeSave.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace xoStr31 {

using platform::FindData;
using platform::TFileStream;
using platform::TMemoryStream;
using platform::TStream;

namespace {

const char Signature[6] = {'V', 's', 'I', 'n', 'd', '\0'};
constexpr int HeaderSize = 10;
// Entry records read or written per block.
constexpr size_t RecordsPerBlock = 65536;

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Two names of one file (also through links): same device and inode.
bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    struct stat sa{}, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return a == b;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
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
    if (FIndexFolder.empty()) return name;
    return platform::IncludeTrailingPathDelimiter(FIndexFolder) + platform::ExtractFileName(name);
}

bool THdStrings::Open(const std::string& fileName, bool readOnly) {
    FindData data;
    bool existed = settings::FindEntry(fileName, data, 0);
    if (existed && !(data.Attributes & platform::faDirectory) && data.Size() > MaxDataSize) {
        settings::MsgBox("File [" + fileName + "] is 2 GiB or larger, can't open.", "HdStrings - Open",
                         platform::MB_OK);
        return false;
    }
    if (!existed && FStorageMode != 0) {
        try {
            TFileStream create(fileName, platform::fmCreate);
        } catch (const platform::Exception&) {
            return false;
        }
        existed = settings::FindEntry(fileName, data, 0);
        if (!existed) return false;
    }
    // Opening its own data file again: the list lets go of it first, or
    // its own write lock would refuse the open.
    if (FStream && FStorageMode == 2 && SameFile(fileName, FFileName)) ReleaseStream();
    std::unique_ptr<TFileStream> file;
    if (existed) {
        try {
            if (readOnly || (data.Attributes & platform::faReadOnly))
                file = std::make_unique<TFileStream>(fileName, platform::fmOpenRead);
            else
                file = std::make_unique<TFileStream>(fileName, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
        } catch (const platform::Exception&) {
            return false;
        }
    }

    Clear();
    ReleaseStream();
    if (FStorageMode == 1) {
        DeleteTempFile();
        FTempFileName.clear();
    }
    FUsedSize = 0;
    FLastIndex = -1;
    FEnds.clear();
    FObjects.clear();
    FOpenEnd = false;
    FIndexDirty = true;
    FIoError = false;

    bool answer = false;
    switch (FStorageMode) {
    case 0: {
        auto memory = std::make_unique<TMemoryStream>();
        if (file) {
            try {
                int64_t size = file->Size();
                memory->SetSize(size);
                file->SetPosition(0);
                int64_t got = size > 0 ? file->Read(memory->Memory(), size) : 0;
                if (got != size) throw platform::EReadError("short read");
                FUsedSize = got;
                answer = true;
            } catch (...) {
                memory->SetSize(0);
                FUsedSize = 0;
                answer = false;
            }
        }
        FStream = std::move(memory);
        break;
    }
    case 1:
        // The temporary file holds the list's bytes; the named file is not
        // loaded in this mode.
        FStream = MakeTempStream();
        break;
    default:
        FUsedSize = file->Size();
        FStream = std::move(file);
        answer = true;
        break;
    }
    file.reset();

    if (answer) {
        FFileName = fileName;
        settings::FindEntry(fileName, FFileData, 0);
        if (!LoadIndex(fileName)) BuildIndex(-1);
    }
    return answer;
}

bool THdStrings::Save(const std::string& fileName) {
    if (!FStream) return false;
    std::string name = fileName;
    if (name.empty()) {
        if (FStorageMode == 2) return true;
        name = FFileName;
    }
    FindData data;
    bool exists = settings::FindEntry(name, data, 0);
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

    std::unique_ptr<TFileStream> target;
    try {
        if (!exists) TFileStream create(name, platform::fmCreate);
        target = std::make_unique<TFileStream>(name, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
    } catch (const platform::Exception&) {
        settings::MsgBox("Failed to open file " + name, "HdStrings - Save", platform::MB_OK);
        return false;
    }

    bool copied = false;
    try {
        target->SetPosition(0);
        if (FUsedSize > 0) {
            FStream->SetPosition(0);
            target->CopyFrom(*FStream, FUsedSize);
        }
        if (target->Size() > FUsedSize) target->SetSize(FUsedSize);
        copied = true;
    } catch (...) {
        copied = false;
    }
    if (!copied) {
        settings::MsgBox("Copy to" + name + "failed", "HdStrings - Save", platform::MB_OK);
        return false;
    }

    FFileName = name;
    if (FStorageMode == 2) {
        // The list goes on in the new file; the old one keeps its bytes.
        ReleaseStream();
        FStream = std::move(target);
    } else {
        target.reset();
    }
    settings::FindEntry(name, FFileData, 0);
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
bool THdStrings::ValidEntryTable(const std::vector<int32_t>& ends, bool openEnd) {
    int64_t previous = 0;
    const size_t n = ends.size();
    for (size_t i = 0; i < n; ++i) {
        bool open = openEnd && i + 1 == n;
        int64_t length = int64_t(ends[i]) - previous;
        if (length < (open ? 1 : FSeparatorLength)) return false;
        previous = ends[i];
    }
    if (previous != FUsedSize) return false;
    if (n == 0 || !FStream) return true;
    if (FUsedSize < FSeparatorLength) return openEnd;
    std::string tail(FSeparatorLength, '\0');
    if (!ReadAt(FUsedSize - FSeparatorLength, tail.data(), FSeparatorLength)) return false;
    bool endsWithSeparator = tail == FSeparator;
    return openEnd != endsWithSeparator;
}

bool THdStrings::LoadIndex(const std::string& fileName) {
    std::string name = fileName.empty() ? FFileName : fileName;
    FindData data, index;
    if (!settings::FindEntry(name, data, 0)) return false;
    std::string indexName = IndexFileName(name);
    if (!settings::FindEntry(indexName, index, 0)) return false;
    if (!SameTime(data.LastWriteTime, index.LastWriteTime)) return false;
    try {
        TFileStream file(indexName, platform::fmOpenRead);
        uint8_t header[HeaderSize];
        if (file.Read(header, HeaderSize) != HeaderSize) return false;
        size_t sigLength = strnlen(reinterpret_cast<const char*>(header), 6);
        if (std::string(reinterpret_cast<const char*>(header), sigLength) != "VsInd") return false;
        int32_t last = static_cast<int32_t>(ReadLE32(header + 6));
        if (last < -1) return false;
        const int64_t count = int64_t(last) + 1;
        // A count the file cannot hold is refused before any memory is taken.
        if (file.Size() < HeaderSize + count * EntryRecordSize) return false;
        std::vector<int32_t> ends;
        std::vector<uint32_t> objects;
        bool openEnd = false;
        ends.reserve(static_cast<size_t>(count));
        std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(RecordsPerBlock, count)) * EntryRecordSize);
        for (int64_t done = 0; done < count;) {
            size_t n = static_cast<size_t>(std::min<int64_t>(RecordsPerBlock, count - done));
            int64_t bytes = int64_t(n) * EntryRecordSize;
            if (file.Read(block.data(), bytes) != bytes) return false;
            for (size_t k = 0; k < n; ++k) {
                const uint8_t* record = block.data() + k * EntryRecordSize;
                ends.push_back(static_cast<int32_t>(ReadLE32(record)));
                // Only the last entry may lack its separator.
                if (record[4] & efNoSeparator) {
                    if (done + int64_t(k) + 1 != count) return false;
                    openEnd = true;
                }
                uint32_t object = ReadLE32(record + 10);
                if (object != 0 && objects.empty()) objects.assign(static_cast<size_t>(count), 0);
                if (object != 0) objects[ends.size() - 1] = object;
            }
            done += int64_t(n);
        }
        if (!ValidEntryTable(ends, openEnd)) return false;
        FEnds = std::move(ends);
        FObjects = std::move(objects);
        FOpenEnd = openEnd;
        FLastIndex = last;
        FHeld = static_cast<int>(count);
        FIndexDirty = false;
        return true;
    } catch (...) {
        return false;
    }
}

bool THdStrings::SaveIndex(bool onlyIfPresent) {
    // The table describes the used bytes: a data file must not keep growth
    // slack behind them, or it would be stale (and longer) at once.
    if (FStorageMode == 2) TrimStorage();
    FindData data, index;
    if (FFileName.empty() || !settings::FindEntry(FFileName, data, 0)) return false;
    std::string indexName = IndexFileName(FFileName);
    bool present = settings::FindEntry(indexName, index, 0);
    if (onlyIfPresent && !present) return true;
    // Equal times alone would miss a change made within one time-stamp
    // tick of the file system, so a table changed since it was last read or
    // written is written again.
    if (present && SameTime(index.LastWriteTime, data.LastWriteTime) && !FIndexDirty) return true;
    bool answer = false;
    try {
        platform::TSaveFileStream file(indexName);
        uint8_t header[HeaderSize];
        std::memcpy(header, Signature, 6);
        uint32_t last = static_cast<uint32_t>(FLastIndex);
        header[6] = uint8_t(last);
        header[7] = uint8_t(last >> 8);
        header[8] = uint8_t(last >> 16);
        header[9] = uint8_t(last >> 24);
        file.WriteBuffer(header, HeaderSize);
        const size_t count = size_t(FLastIndex + 1);
        std::vector<uint8_t> block(std::min(RecordsPerBlock, count) * EntryRecordSize);
        for (size_t done = 0; done < count;) {
            size_t n = std::min(RecordsPerBlock, count - done);
            for (size_t k = 0; k < n; ++k) EncodeEntry(Entry(int(done + k)), block.data() + k * EntryRecordSize);
            file.WriteBuffer(block.data(), int64_t(n) * EntryRecordSize);
            done += n;
        }
        file.Commit();
        answer = true;
    } catch (...) {
        answer = false;
    }
    if (answer) {
        FIndexDirty = false;
        if (!platform::SetFileTimes(indexName, data.LastAccessTime, data.LastWriteTime)) settings::ShowSystemError(-1);
    }
    return answer;
}

} // namespace xoStr31

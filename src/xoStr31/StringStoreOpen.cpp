// TStringStore: reaching a data file, taking its bytes as the storage mode
// keeps them, and the scan that finds its entries.
#include "xoStr31/StringStore.h"

#include "xoStr31/EditJournal.h"

#include "platform/Exception.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace xoStr31 {

using platform::FindData;
using platform::TMemoryStream;

bool TStringStore::StatExact(const std::string& path, FindData& out) {
    struct stat st{};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    out = FindData{};
    out.Attributes = S_ISDIR(st.st_mode) ? platform::faDirectory : 0;
    if (::access(path.c_str(), W_OK) != 0) out.Attributes |= platform::faReadOnly;
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
    out.SizeHigh = uint32_t(size >> 32);
    out.SizeLow = uint32_t(size);
    out.CreationTime = st.st_ctim;
    out.LastAccessTime = st.st_atim;
    out.LastWriteTime = st.st_mtim;
    out.FileName = platform::ExtractFileName(path);
    return true;
}

bool TStringStore::SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    struct stat sa{}, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return a == b;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

TStoreResult TStringStore::ReachDataFile(const std::string& fileName, bool readOnly, bool createMissing,
                                         bool anyDevice, std::unique_ptr<TDataFile>& file, FindData& data,
                                         std::string& warning) {
    bool existed = StatExact(fileName, data);
    if (existed && (data.Attributes & platform::faDirectory))
        return TStoreResult::OfFile(TFileFault::NotRegular, "\"" + fileName + "\": not a regular file");
    if (existed && data.Size() > MaxDataSize)
        return TStoreResult::OfFile(TFileFault::TooLarge, "\"" + fileName + "\": too large");
    if (!existed && (FStorageMode == 0 || !createMissing))
        return TStoreResult::OfFile(TFileFault::NotFound, "\"" + fileName + "\": not found");
    // Opening its own data file again: the store lets go of it first, or
    // its own lock would refuse the open.
    if (FFile && SameFile(fileName, FFileName)) ReleaseStream();
    const bool writing = FStorageMode == 2 && !readOnly;
    try {
        if (existed && TEditJournal::Exists(fileName)) {
            // An edit a stopped process left: finished before anything
            // reads the file, under the lock that keeps other writers out.
            std::unique_ptr<TDataFile> writer;
            std::string why;
            try {
                writer = TDataFile::Open(fileName, true, false);
            } catch (const EDataFileError& e) {
                if (e.Fault() == TFileFault::InUse) return TStoreResult::OfFile(e.Fault(), e.what());
                why = e.what();
            }
            std::string error;
            auto outcome = writer ? TEditJournal::Recover(*writer, error, anyDevice) : TEditJournal::TRecovery::Failed;
            if (outcome == TEditJournal::TRecovery::Kept) return TStoreResult::OfFile(TFileFault::Journal, error);
            if (outcome == TEditJournal::TRecovery::Clean) {
                if (!error.empty()) warning = error;
                if (writing) file = std::move(writer);
            } else {
                // Someone else's edit, which this user may not finish: a
                // reader still sees the old content while nothing moved.
                if (why.empty()) why = error;
                error.clear();
                writer.reset();
                if (writing)
                    return TStoreResult::OfFile(TFileFault::Other, why + "; an unfinished edit cannot be finished");
                auto reader = TDataFile::Open(fileName, false, false);
                if (!TEditJournal::Untouched(*reader, error))
                    return TStoreResult::OfFile(TFileFault::Journal, why + "; " + error);
                warning = "an unfinished edit of \"" + fileName + "\" waits in \"" + TEditJournal::NameFor(fileName) +
                          "\" (" + why + "); the file is read as it was";
                file = std::move(reader);
            }
            StatExact(fileName, data);
        }
        if (!file) {
            bool write = writing && !(existed && (data.Attributes & platform::faReadOnly));
            file = TDataFile::Open(fileName, write, FStorageMode != 0 && createMissing);
        }
    } catch (const EDataFileError& e) {
        return TStoreResult::OfFile(e.Fault(), e.what());
    }
    if (!existed) StatExact(fileName, data);
    return TStoreResult::Ok();
}

TStoreResult TStringStore::TakeContent(std::unique_ptr<TDataFile> file, const std::string& fileName, bool& taken) {
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
    taken = false;
    switch (FStorageMode) {
    case 0: {
        auto memory = std::make_unique<TMemoryStream>();
        if (file) {
            try {
                int64_t size = file->GetSize();
                memory->SetSize(size);
                if (size > 0 && !file->ReadAt(0, memory->Memory(), size)) throw platform::EReadError("short read");
                FUsedSize = size;
                taken = true;
            } catch (...) {
                memory->SetSize(0);
                FUsedSize = 0;
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
        FUsedSize = file->GetSize();
        if (FUsedSize == 0) {
            // Files of the system (/proc, /sys) report no size but have
            // content: taken as empty they would count 0 entries, and an
            // edit would write over them.
            char byte;
            if (file->ReadAt(0, &byte, 1))
                return TStoreResult::OfFile(TFileFault::SizeUnknown,
                                            "\"" + fileName +
                                                "\": the system reports no size for its content "
                                                "(not a text file on disk); nothing was read");
        }
        FFile = file.get();
        FStream = std::move(file);
        taken = true;
        break;
    }
    if (taken) FFileName = fileName;
    return TStoreResult::Ok();
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

TStoreResult TStringStore::ScanEntries(int from) {
    if (!FStream) return TStoreResult::Failed(TStoreFault::NoStream);
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
        const bool hears = HearsProgress();
        for (int64_t pass = 0;; ++pass) {
            if (hears) StoreProgress(TProgressKind::Index, pass, passes);
            int64_t n = std::min(chunk, FUsedSize - pos);
            const bool last = pos + n >= FUsedSize;
            if (!ReadAt(pos, buffer.data(), n)) {
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
        return TStoreResult::Failed(TStoreFault::IndexScan);
    }
    int64_t lastEnd = FLastIndex >= 0 ? FEnds[size_t(FLastIndex)] : 0;
    if (FUsedSize > lastEnd) {
        FEnds.push_back(FUsedSize);
        if (!FObjects.empty()) FObjects.push_back(0);
        ++FLastIndex;
        FOpenEnd = true;
    }
    FHeld = FLastIndex + 100;
    return TStoreResult::Ok();
}

} // namespace xoStr31

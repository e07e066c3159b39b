// THdStrings: answers for one question about a data file that spare opening
// it as a list: the entry count from a fresh entry table's header (and the
// file's first line end, which decides what an entry is), or from a count
// of line ends; one entry's text from the two records around it in the
// mapped table. Each answers false whenever it cannot be sure (no table, a
// table that does not fit, a journal waiting, a read that failed), and the
// caller then opens the file as usual, which also reports what went wrong.
#include "xoStr31/HdStrings.h"

#include "xoStr31/EditJournal.h"
#include "xoStr31/EntryTableFile.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define XOSTR31_WIDE_COUNT 1
#endif

namespace xoStr31 {

namespace {

constexpr uint8_t tkLf = 1;

// The data file for one read, when nothing stands in the way of reading it
// as it is: a regular file with a size, and no unfinished edit.
std::unique_ptr<TDataFile> OpenForAnswer(const std::string& fileName, struct stat& st) {
    if (TEditJournal::Exists(fileName)) return nullptr;
    try {
        auto file = TDataFile::Open(fileName, false, false);
        if (::fstat(file->Descriptor(), &st) != 0 || st.st_size <= 0 || st.st_size > MaxDataSize) return nullptr;
        return file;
    } catch (const EDataFileError&) {
        return nullptr;
    }
}

// Line ends in a block: LF bytes, or for CR LF those with a CR before them
// (previous is the byte before the block). Where the processor has them,
// 32 bytes at a time.
#ifdef XOSTR31_WIDE_COUNT
__attribute__((target("avx2"))) int64_t CountEndsWide(const char* p, size_t n, bool lf, size_t& i) {
    const __m256i nl = _mm256_set1_epi8('\n'), cr = _mm256_set1_epi8('\r');
    int64_t count = 0;
    for (; i + 32 <= n; i += 32) {
        __m256i here = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)), nl);
        if (!lf)
            here = _mm256_and_si256(
                here, _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i - 1)), cr));
        count += __builtin_popcount(unsigned(_mm256_movemask_epi8(here)));
    }
    return count;
}
#endif

int64_t CountEnds(const char* p, size_t n, bool lf, char previous) {
    int64_t count = 0;
    size_t i = 0;
    if (!lf && n > 0) {
        // The first byte pairs with the byte before the block.
        if (p[0] == '\n' && previous == '\r') ++count;
        i = 1;
    }
#ifdef XOSTR31_WIDE_COUNT
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) count += CountEndsWide(p, n, lf, i);
#endif
    for (; i < n; ++i) count += p[i] == '\n' && (lf || p[i - 1] == '\r');
    return count;
}

// The kind bit of the file's line ends, from its first line end (as Open
// decides it): editing can change which line end comes first, and with it
// the entries. -1 when none lies in the first block.
int LineEndKind(TDataFile& file, int64_t size) {
    char head[65536];
    const int64_t n = std::min<int64_t>(size, sizeof head);
    if (!file.ReadAt(0, head, n)) return -1;
    const char* lf = static_cast<const char*>(std::memchr(head, '\n', size_t(n)));
    if (!lf) return -1;
    return lf > head && lf[-1] == '\r' ? 0 : tkLf;
}

} // namespace

bool THdStrings::CountFromTable(const std::string& fileName, int64_t& count) {
    struct stat st{};
    auto file = OpenForAnswer(fileName, st);
    if (!file || IndexFileName(fileName) == fileName) return false;
    TTableView table;
    if (!table.Open(IndexFileName(fileName), TTableOwner::Of(st), st.st_mtim)) return false;
    if (LineEndKind(*file, st.st_size) != (table.Kind() & tkLf)) return false;
    count = table.Count();
    return true;
}

bool THdStrings::CountByScan(const std::string& fileName, int64_t& count) {
    struct stat st{};
    auto file = OpenForAnswer(fileName, st);
    if (!file) return false;
    const int64_t size = st.st_size;
    // A block that stays in the cache between the copy and the count.
    std::vector<char> block(size_t(std::min<int64_t>(size, 256 << 10)));
    int kind = -1;  // -1 not known yet, 1 LF, 0 CR LF
    char previous = 0;
    int64_t ends = 0;
    for (int64_t pos = 0; pos < size;) {
        const int64_t n = std::min<int64_t>(int64_t(block.size()), size - pos);
        if (!file->ReadAt(pos, block.data(), n)) return false;
        size_t from = 0;
        if (kind < 0) {
            // The first line end decides, as when the file is opened.
            const char* lf = static_cast<const char*>(std::memchr(block.data(), '\n', size_t(n)));
            if (lf) {
                const char before = lf > block.data() ? lf[-1] : previous;
                kind = before == '\r' ? 0 : 1;
                ends = 1;
                from = size_t(lf - block.data()) + 1;
            }
        }
        if (kind >= 0 && from < size_t(n))
            ends += CountEnds(block.data() + from, size_t(n) - from, kind == 1, from > 0 ? block[from - 1] : previous);
        previous = block[size_t(n) - 1];
        pos += n;
    }
    // Bytes after the last line end are one more entry.
    char last[2] = {};
    const int separator = kind == 0 ? 2 : 1;
    const bool open = kind < 0 || size < separator || !file->ReadAt(size - separator, last, separator) ||
                      last[separator - 1] != '\n' || (kind == 0 && last[0] != '\r');
    count = ends + (open ? 1 : 0);
    return count <= MaxEntries;
}

bool THdStrings::GetFromTable(const std::string& fileName, int index, std::string& text) {
    struct stat st{};
    auto file = OpenForAnswer(fileName, st);
    if (!file || index < 0 || IndexFileName(fileName) == fileName) return false;
    TTableView table;
    if (!table.Open(IndexFileName(fileName), TTableOwner::Of(st), st.st_mtim) || index >= table.Count() ||
        LineEndKind(*file, st.st_size) != (table.Kind() & tkLf))
        return false;
    const bool wide = table.RecordSize() == WideEntryRecordSize;
    auto entry = [&](int64_t i) { return wide ? DecodeWideEntry(table.Record(i)) : DecodeEntry(table.Record(i)); };
    const int separator = (table.Kind() & tkLf) ? 1 : 2;
    const TEntry e = entry(index);
    const int64_t start = index > 0 ? entry(index - 1).End : 0;
    const bool open = e.Flags & efNoSeparator;
    if ((open && index + 1 != table.Count()) || start < 0 || e.End > st.st_size ||
        e.End - start < (open ? 1 : separator))
        return false;
    // The entry with the separator before it: both ends must be line ends
    // and none may lie inside, or the records are not this file's.
    const int64_t from = std::max<int64_t>(0, start - separator);
    std::string bytes(size_t(e.End - from), '\0');
    if (!file->ReadAt(from, bytes.data(), int64_t(bytes.size()))) return false;
    const std::string sep = separator == 1 ? "\n" : "\r\n";
    if (start > 0 && bytes.compare(0, size_t(separator), sep) != 0) return false;
    const size_t textFrom = size_t(start - from);
    const size_t textLength = bytes.size() - textFrom - (open ? 0 : size_t(separator));
    if (!open && bytes.compare(bytes.size() - size_t(separator), size_t(separator), sep) != 0) return false;
    if (open && e.End != st.st_size) return false;
    text.assign(bytes, textFrom, textLength);
    return text.find(sep) == std::string::npos;
}

} // namespace xoStr31

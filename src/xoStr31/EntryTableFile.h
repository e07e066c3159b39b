#pragma once
// The entry-table file (".Rni") on disk: the header ("VsInd", the kind byte,
// LastIndex), the entry records, then a trailer that names the one data
// file the table was made from and the state it was in:
//   0   8  "xoStrTb1"
//   8   8  device of the data file
//   16  8  its inode
//   24  8  its size
//   32  8  its last-write time, seconds
//   40  8  and nanoseconds
//   48  8  when the table was made (the system's clock for file times),
//   56  8  seconds and nanoseconds: past the data file's last-write time
//   64  8  checksum of the header and the records
//   72  8  checksum of bytes 0 to 71 of the trailer
// Readers of the plain layout read the header and the records and never
// reach the trailer. A table without one (an older one) is stale.
//
// A table made within the time-stamp tick of the file's last write could
// not tell a second write in that tick (same size, same time); it is made
// only once the tick has passed, and one that says otherwise is stale.
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace xoStr31 {

constexpr int TableHeaderSize = 10;
constexpr int TableTrailerSize = 80;

// Who a table belongs to: a data file in one state.
struct TTableOwner {
    uint64_t Device = 0, Inode = 0;
    int64_t Size = 0;
    int64_t Seconds = 0, Nanoseconds = 0;
    static TTableOwner Of(const struct stat& st);
    bool operator==(const TTableOwner&) const = default;
};

// The checksum the trailer keeps over the header and records, built a
// block at a time.
class TTableSum {
public:
    void Add(const uint8_t* data, size_t n);
    uint64_t Value() const;

private:
    uint64_t a_ = 0x243F6A8885A308D3ull, b_ = 0x13198A2E03707344ull;
    uint64_t tail_ = 0;  // bytes not yet a whole word, lowest first
    int tailBytes_ = 0;
    uint64_t length_ = 0;
};

void EncodeTrailer(const TTableOwner& owner, const timespec& made, uint64_t sum, uint8_t* out);
// False when the bytes are no trailer (or a torn one).
bool DecodeTrailer(const uint8_t* in, TTableOwner& owner, timespec& made, uint64_t& sum);
// Waits (a few milliseconds at most) until the clock of file times has
// left the tick of a file's last write; answers the time then.
timespec TableMadeTime(const timespec& dataWriteTime);

// A read-only view of a table file, mapped: a look at its header and trailer,
// and single records, read without loading the table.
class TTableView {
public:
    TTableView() = default;
    ~TTableView();
    TTableView(const TTableView&) = delete;
    TTableView& operator=(const TTableView&) = delete;

    // Maps the file (whole: all of it read ahead, for a reader of every
    // record); false when it cannot be opened, is no regular file, or is no
    // table of the present layout made from owner.
    bool Open(const std::string& path, const TTableOwner& owner, const timespec& dataWriteTime, bool whole = false);
    uint8_t Kind() const { return kind_; }
    int64_t Count() const { return count_; }
    int RecordSize() const { return recordSize_; }
    const uint8_t* Record(int64_t i) const { return bytes_ + TableHeaderSize + i * recordSize_; }
    // The records' checksum against the trailer's (reads the whole table).
    bool RecordsMatch() const;

private:
    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    uint8_t kind_ = 0;
    int64_t count_ = 0;
    int recordSize_ = 0;
    uint64_t sum_ = 0;
};

// Writes a whole table file next to its final name and renames it over
// the old one, so that a stop or a failed write leaves the old table as it
// was. The temporary's name is derived from the table's (shortened when the
// table's own name is long); ones left by killed runs are removed by the
// next table written under that name.
class TTableWriter {
public:
    explicit TTableWriter(std::string path);
    ~TTableWriter();
    TTableWriter(const TTableWriter&) = delete;
    TTableWriter& operator=(const TTableWriter&) = delete;

    bool Write(const void* data, size_t n);
    // Renames it into place; false (with Error) when anything failed.
    bool Commit();
    const std::string& Error() const { return error_; }

    // Removes temporaries of the table path left by killed runs (those no
    // running writer holds).
    static void RemoveLeftovers(const std::string& path);

private:
    bool Failed(const std::string& what);
    bool Flush();
    std::string path_, temp_, error_;
    int fd_ = -1;
    std::vector<uint8_t> pending_;
};

} // namespace xoStr31

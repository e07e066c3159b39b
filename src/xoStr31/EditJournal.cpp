#include "xoStr31/EditJournal.h"
#include "platform/ByteOrder.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xoStr31 {

namespace {

// Journal layout, little-endian, each field written on its own:
//   0   8  signature "xoStrJn2" ("xoStrJn0" once voided: nothing to do)
//   8   8  old size of the data file
//   16  8  new size
//   24  8  At
//   32  8  OldLength
//   40  8  length of the new bytes
//   48  8  most tail bytes per piece
//   56  4  flags (bit 0: an append, whose new bytes go straight to the end)
//   60  4  0
//   64  8  inode of the data file
//   72  8  its device
//   80  8  checksum of the bytes before At that the edit never changes (the
//          first and the last Window of them)
//   88  8  checksum of the old bytes from At on (the first and the last
//          Window of them): they hold until the first piece moves
//   96  8  checksum of bytes 0 to 95 and the new bytes
//   104 .  the new bytes
// then four record slots a block each, then four payload slots. A record:
//   0 8 sequence (1 the edit is prepared, k + 1 piece k is on its way)
//   8 8 piece number, 16 8 where its bytes go, 24 8 how many
//   32 8 checksum of bytes 0 to 31, the header's checksum and the payload
//
// The identity and the two checksums tie a journal to one edit of one file:
// one that another program changed since (an appended line, bytes written in
// place, the file replaced) is not applied over those changes.
const char Signature[8] = {'x', 'o', 'S', 't', 'r', 'J', 'n', '2'};
const char VoidSignature[8] = {'x', 'o', 'S', 't', 'r', 'J', 'n', '0'};
constexpr int64_t HeaderBytes = 104;
constexpr int64_t RecordBytes = 40;
constexpr int64_t Block = 4096;
constexpr int64_t Window = 65536;
constexpr uint32_t flAppend = 1;
// Records in turn: a piece's payload stays in the journal until three more
// pieces were recorded, so the file needs syncing only every third piece.
constexpr int64_t Slots = 4;


// A checksum that tells a torn or half-synced write from a whole one; four
// lanes keep it near the speed of memory.
uint64_t Mix(uint64_t h, uint64_t v) {
    h ^= v * 0x9E3779B97F4A7C15ull;
    h = (h << 31 | h >> 33) * 0xC2B2AE3D27D4EB4Full;
    return h;
}
// Eight bytes as a little-endian number, in one load.
uint64_t Word(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}
uint64_t Hash(const void* data, size_t n, uint64_t seed) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint64_t a = seed, b = seed + 1, c = seed + 2, d = seed + 3;
    for (; n >= 32; p += 32, n -= 32) {
        a = Mix(a, Word(p));
        b = Mix(b, Word(p + 8));
        c = Mix(c, Word(p + 16));
        d = Mix(d, Word(p + 24));
    }
    uint64_t h = Mix(Mix(Mix(Mix(n, a), b), c), d);
    for (; n > 0; ++p, --n) h = Mix(h, *p);
    return h;
}

int64_t Align(int64_t n) { return (n + Block - 1) / Block * Block; }

struct THeader {
    int64_t OldSize = 0, NewSize = 0, At = 0, OldLength = 0, NewLength = 0, Capacity = 1;
    uint32_t Flags = 0;
    uint64_t Inode = 0, Device = 0;
    uint64_t HeadSum = 0, RegionSum = 0;
    uint64_t Check = 0;
    std::string Text;  // the new bytes

    bool Append() const { return Flags & flAppend; }
    int64_t TailStart() const { return At + OldLength; }
    int64_t Tail() const { return OldSize - TailStart(); }
    int64_t Delta() const { return NewLength - OldLength; }
    int64_t Stored() const { return NewLength; }
    int64_t Pieces() const {
        if (Append()) return 0;
        if (Delta() == 0 || Tail() == 0) return 1;
        return (Tail() + Capacity - 1) / Capacity;
    }
    int64_t RecordAt(int64_t seq) const { return Align(HeaderBytes + Stored()) + (seq % Slots) * Block; }
    int64_t PayloadAt(int64_t seq) const {
        return Align(HeaderBytes + Stored()) + Slots * Block + (seq % Slots) * (Capacity + Stored());
    }

    void Encode(uint8_t* out) const {
        std::memcpy(out, Signature, 8);
        platform::SetLe64(out + 8, uint64_t(OldSize));
        platform::SetLe64(out + 16, uint64_t(NewSize));
        platform::SetLe64(out + 24, uint64_t(At));
        platform::SetLe64(out + 32, uint64_t(OldLength));
        platform::SetLe64(out + 40, uint64_t(NewLength));
        platform::SetLe64(out + 48, uint64_t(Capacity));
        platform::SetLe64(out + 56, Flags);
        platform::SetLe64(out + 64, Inode);
        platform::SetLe64(out + 72, Device);
        platform::SetLe64(out + 80, HeadSum);
        platform::SetLe64(out + 88, RegionSum);
    }
    uint64_t Sum() const {
        uint8_t b[HeaderBytes];
        Encode(b);
        return Hash(Text.data(), Text.size(), Hash(b, 96, 0));
    }
};

// The checksum of the first and the last Window bytes of [from, to) of the
// file (all of them when that is shorter); false when they cannot be read.
bool WindowSum(TDataFile& file, int64_t from, int64_t to, uint64_t seed, uint64_t& sum) {
    std::vector<uint8_t> bytes;
    auto take = [&](int64_t a, int64_t b) {
        if (b <= a) return true;
        size_t at = bytes.size();
        bytes.resize(at + size_t(b - a));
        return file.ReadAt(a, bytes.data() + at, b - a);
    };
    const int64_t firstEnd = std::min(to, from + Window);
    if (!take(from, firstEnd) || !take(std::max(firstEnd, to - Window), to)) return false;
    sum = Hash(bytes.data(), bytes.size(), seed ^ uint64_t(to - from));
    return true;
}

// Where the journal of a data file lies: beside the file itself, links
// resolved, so that every name of the file finds the one journal. A name
// too long for "-journal" gets a shorter one derived from it.
struct TPlace {
    std::string Folder, Base;
    std::string Full() const { return Folder == "/" ? "/" + Base : Folder + "/" + Base; }
};

TPlace PlaceOf(const std::string& dataFile) {
    TPlace place;
    std::string real = dataFile;
    if (char* r = ::realpath(dataFile.c_str(), nullptr)) {
        real = r;
        std::free(r);
    }
    size_t slash = real.rfind('/');
    place.Folder = slash == std::string::npos ? "." : slash == 0 ? "/" : real.substr(0, slash);
    std::string base = slash == std::string::npos ? real : real.substr(slash + 1);
    if (slash == std::string::npos || place.Folder != "/") {
        if (char* r = ::realpath(place.Folder.c_str(), nullptr)) {
            place.Folder = r;
            std::free(r);
        }
    }
    const std::string suffix = "-journal";
    if (base.size() + suffix.size() <= NAME_MAX) {
        place.Base = base + suffix;
    } else {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Hash(base.data(), base.size(), 7)));
        place.Base = base.substr(0, NAME_MAX - suffix.size() - 17) + "~" + hex + suffix;
    }
    return place;
}

// The folder of a journal, to make, open and remove it by its short name
// even where the whole path would pass PATH_MAX.
int OpenFolder(const TPlace& place) {
    return ::open(place.Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Piece k (from 1) of the tail: its bytes [From, To), where they go, and
// whether the new bytes go in front of them. A tail moving up goes from its
// back, one moving down from its front, so no piece is written over bytes
// still to be read; the new bytes join the piece next to them.
struct TPiece {
    int64_t From = 0, To = 0, Dest = 0;
    bool WithText = false;
    int64_t Length(const THeader& h) const { return To - From + (WithText ? h.NewLength : 0); }
};

TPiece PieceOf(const THeader& h, int64_t k) {
    TPiece p;
    const int64_t d = h.Delta();
    if (d == 0 || h.Tail() == 0) {
        p.From = p.To = h.TailStart();
        p.WithText = true;
    } else if (d > 0) {
        p.To = h.OldSize - (k - 1) * h.Capacity;
        p.From = std::max(h.TailStart(), p.To - h.Capacity);
        p.WithText = k == h.Pieces();
    } else {
        p.From = h.TailStart() + (k - 1) * h.Capacity;
        p.To = std::min(h.OldSize, p.From + h.Capacity);
        p.WithText = k == 1;
    }
    p.Dest = p.WithText ? h.At : p.From + d;
    return p;
}

// One edit under way, started here or found in a journal.
class TRun {
public:
    TRun(TDataFile& file, std::vector<uint8_t>& buffer, std::string& error)
        : file_(file), place_(PlaceOf(file.Path())), name_(place_.Full()), buffer_(buffer), error_(error) {}
    ~TRun() {
        if (fd_ >= 0) ::close(fd_);
        if (folder_ >= 0) ::close(folder_);
    }

    THeader h;
    TEditJournal::TProgress progress;

    bool Create() {
        if (!OpenPlace()) return Failed("cannot create the journal \"" + name_ + "\"");
        fd_ = ::openat(folder_, place_.Base.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       file_.Mode() & 0666);
        if (fd_ < 0) return Failed("cannot create the journal \"" + name_ + "\"");
        owned_ = true;
        h.Check = h.Sum();
        std::vector<uint8_t> head(size_t(HeaderBytes + h.Stored()));
        h.Encode(head.data());
        platform::SetLe64(head.data() + 96, h.Check);
        std::memcpy(head.data() + HeaderBytes, h.Text.data(), h.Text.size());
        if (!WriteJournal(0, head.data(), int64_t(head.size())) || !WriteRecord(1, 0, 0, 0) || !SyncJournal())
            return false;
        if (!SyncFolder()) return Failed("cannot sync the folder of \"" + name_ + "\"");
        return true;
    }

    // Opens the journal that lies beside the file; -1 with errno when none.
    int OpenExisting(int flags) {
        if (!OpenPlace()) return -1;
        return ::openat(folder_, place_.Base.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    }

    // The identity and checksums the header was made with, of the file as
    // it is: false (with why) when another program changed it since.
    // newest is the last whole record: 1 or less, no byte below the old
    // size has changed yet.
    bool Fits(int64_t newest, std::string& why, bool anyDevice = false) {
        struct stat st{};
        if (::fstat(file_.Descriptor(), &st) != 0) return Failed("cannot read \"" + file_.Path() + "\"");
        if (uint64_t(st.st_ino) != h.Inode || (uint64_t(st.st_dev) != h.Device && !anyDevice)) {
            why = "it belongs to an edit of another file of that name";
            return false;
        }
        const int64_t size = st.st_size;
        const int64_t low = std::min(h.OldSize, h.NewSize), high = std::max(h.OldSize, h.NewSize);
        // Before the tail moves, growth may be on its way (reserved zeros or,
        // for an append, the new bytes); after, the file has one size or the other.
        const bool sizeFits = newest <= 1 ? size >= h.OldSize && size <= std::max(h.OldSize, h.NewSize)
                                          : size == low || size == high;
        if (!sizeFits) {
            why = "its size changed since (" + std::to_string(size) + " bytes, the edit expects " +
                  std::to_string(h.OldSize) + (h.NewSize != h.OldSize ? " or " + std::to_string(h.NewSize) : "") + ")";
            return false;
        }
        uint64_t sum = 0;
        if (!WindowSum(file_, 0, h.At, 1, sum)) return Failed("cannot read \"" + file_.Path() + "\"");
        if (sum != h.HeadSum) {
            why = "its bytes before the edit changed since";
            return false;
        }
        if (newest > 1) return true;
        if (!WindowSum(file_, h.At, h.OldSize, 2, sum)) return Failed("cannot read \"" + file_.Path() + "\"");
        if (sum != h.RegionSum) {
            why = "its bytes at the edit changed since";
            return false;
        }
        // What lies past the old end is the edit's own: reserved zeros, and
        // for an append the appended bytes written over them.
        std::vector<uint8_t> past(size_t(size - h.OldSize));
        if (!past.empty() && !file_.ReadAt(h.OldSize, past.data(), int64_t(past.size())))
            return Failed("cannot read \"" + file_.Path() + "\"");
        for (size_t i = 0; i < past.size(); ++i) {
            if (past[i] != 0 && !(h.Append() && past[i] == uint8_t(h.Text[i]))) {
                why = "bytes were added to it since";
                return false;
            }
        }
        return true;
    }

    // Reads the header; answers false with known_ cleared when the file is
    // no journal of this program (it is then left alone), and with voided
    // set when it is one voided after its edit was through.
    bool ReadHeader(bool& known, bool& voided) {
        known = true;
        voided = false;
        uint8_t b[HeaderBytes];
        ssize_t n = ::pread(fd_, b, HeaderBytes, 0);
        if (n >= 8 && std::memcmp(b, VoidSignature, 8) == 0) voided = true;
        if (n >= 8 && std::memcmp(b, Signature, 8) != 0 && !voided) known = false;
        if (n != HeaderBytes || !known || voided) return false;
        h.OldSize = int64_t(platform::GetLe64(b + 8));
        h.NewSize = int64_t(platform::GetLe64(b + 16));
        h.At = int64_t(platform::GetLe64(b + 24));
        h.OldLength = int64_t(platform::GetLe64(b + 32));
        h.NewLength = int64_t(platform::GetLe64(b + 40));
        h.Capacity = int64_t(platform::GetLe64(b + 48));
        h.Flags = uint32_t(platform::GetLe64(b + 56));
        h.Inode = platform::GetLe64(b + 64);
        h.Device = platform::GetLe64(b + 72);
        h.HeadSum = platform::GetLe64(b + 80);
        h.RegionSum = platform::GetLe64(b + 88);
        h.Check = platform::GetLe64(b + 96);
        if (h.OldSize < 0 || h.At < 0 || h.OldLength < 0 || h.NewLength < 0 || h.Capacity < 1 ||
            h.Capacity > std::min<int64_t>(std::max<int64_t>(1, h.OldSize), int64_t(1) << 30) ||
            h.TailStart() > h.OldSize || h.NewSize != h.OldSize + h.Delta() || h.Stored() > (int64_t(1) << 30))
            return false;
        h.Text.resize(size_t(h.Stored()));
        if (!h.Text.empty() && ::pread(fd_, h.Text.data(), h.Text.size(), HeaderBytes) != ssize_t(h.Text.size()))
            return false;
        return h.Sum() == h.Check;
    }

    // The whole records in the slots, by sequence: the newest and the
    // pieces it may still depend on (up to three before it, whose data may
    // not have reached the disk). Answers the newest sequence, 0 for none.
    int64_t LastRecords(std::vector<int64_t>& redo) {
        uint8_t r[Slots][RecordBytes] = {};
        int64_t newest = 0;
        bool whole[Slots] = {};
        for (int slot = 0; slot < Slots; ++slot) {
            if (::pread(fd_, r[slot], RecordBytes, h.RecordAt(slot)) != RecordBytes) continue;
            const int64_t seq = int64_t(platform::GetLe64(r[slot]));
            if (seq < 1 || seq % Slots != slot || seq > h.Pieces() + 1) continue;
            int64_t n = 0;
            if (seq > 1) {
                TPiece p = PieceOf(h, seq - 1);
                n = p.Length(h);
                if (int64_t(platform::GetLe64(r[slot] + 8)) != seq - 1 || int64_t(platform::GetLe64(r[slot] + 16)) != p.Dest ||
                    int64_t(platform::GetLe64(r[slot] + 24)) != n)
                    continue;
                if (int64_t(buffer_.size()) < n) buffer_.resize(size_t(n));
                if (::pread(fd_, buffer_.data(), size_t(n), h.PayloadAt(seq)) != ssize_t(n)) continue;
            }
            if (Hash(buffer_.data(), size_t(n), Hash(r[slot], 32, h.Check)) != platform::GetLe64(r[slot] + 32)) continue;
            whole[slot] = true;
            newest = std::max(newest, seq);
        }
        redo.clear();
        for (int64_t seq = std::max<int64_t>(2, newest - (Slots - 1)); seq <= newest; ++seq)
            if (whole[seq % Slots] && int64_t(platform::GetLe64(r[seq % Slots])) == seq) redo.push_back(seq);
        return newest;
    }

    // Writes a recorded piece again from the journal.
    bool Redo(int64_t seq) {
        TPiece p = PieceOf(h, seq - 1);
        const int64_t n = p.Length(h);
        if (int64_t(buffer_.size()) < n) buffer_.resize(size_t(n));
        if (n > 0 && ::pread(fd_, buffer_.data(), size_t(n), h.PayloadAt(seq)) != ssize_t(n))
            return Failed("cannot read the journal \"" + name_ + "\"");
        if (!file_.WriteAt(p.Dest, buffer_.data(), n)) return Failed("cannot write \"" + file_.Path() + "\"");
        written_ = std::max(written_, seq);
        return true;
    }

    // Piece k: its bytes to the journal, synced, then to their place, synced.
    bool Piece(int64_t k, bool& recorded) {
        recorded = false;
        TPiece p = PieceOf(h, k);
        int64_t n = p.Length(h);
        if (int64_t(buffer_.size()) < n) buffer_.resize(size_t(n));
        uint8_t* at = buffer_.data();
        if (p.WithText && !h.Text.empty()) {
            std::memcpy(at, h.Text.data(), h.Text.size());
            at += h.Text.size();
        }
        if (!file_.ReadAt(p.From, at, p.To - p.From)) return Failed("cannot read \"" + file_.Path() + "\"");
        const int64_t seq = k + 1;
        // The slot's last piece must be on the disk before its copy goes.
        if (seq - Slots > synced_ && !SyncFile()) return false;
        if (!WriteJournal(h.PayloadAt(seq), buffer_.data(), n) || !WriteRecord(seq, k, p.Dest, n) || !SyncJournal())
            return false;
        recorded = true;
        if (!file_.WriteAt(p.Dest, buffer_.data(), n)) return Failed("cannot write \"" + file_.Path() + "\"");
        written_ = seq;
        return true;
    }

    // Everything written so far on the disk.
    bool SyncFile() {
        if (!file_.Sync()) return Failed("cannot sync \"" + file_.Path() + "\"");
        synced_ = written_;
        return true;
    }

    // Pieces from k on, then the file cut to its new size.
    bool Finish(int64_t k) {
        const int64_t pieces = h.Pieces();
        int64_t done = std::min(h.Tail(), (k - 1) * h.Capacity), total = h.Tail();
        for (; k <= pieces; ++k) {
            bool recorded = false;
            if (!Piece(k, recorded)) return false;
            TPiece p = PieceOf(h, k);
            done += p.To - p.From;
            if (progress) progress(done, total);
        }
        if (file_.GetSize() != h.NewSize && !file_.Resize(h.NewSize))
            return Failed("cannot change the size of \"" + file_.Path() + "\"");
        return SyncFile();
    }

    // The old content again: only while no byte below the old size changed.
    bool Undo() {
        int err = errno;
        if (file_.GetSize() != h.OldSize && (!file_.Resize(h.OldSize) || !file_.Sync())) return false;
        Remove();
        errno = err;
        return true;
    }

    // The journal goes; when it cannot (a folder that lost its write bit),
    // it is voided whole, so that the next open leaves the file as it is.
    // False when it is left behind (voided, or not even that).
    bool Remove() {
        if (!owned_) return true;
        bool removed = OpenPlace() && ::unlinkat(folder_, place_.Base.c_str(), 0) == 0;
        if (!removed) {
            int err = errno;
            if (fd_ >= 0) Void();
            if (error_.empty()) error_ = "cannot remove the journal \"" + name_ + "\" (" + ErrorText(err) + ")";
        }
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (removed) SyncFolder();
        return removed;
    }

    // Every slot and the header's signature overwritten: a journal that
    // says there is nothing to do.
    bool Void() {
        std::vector<uint8_t> zeros(size_t(Block), 0);
        bool ok = ::pwrite(fd_, VoidSignature, 8, 0) == 8;
        for (int slot = 0; slot < Slots && ok; ++slot)
            ok = ::pwrite(fd_, zeros.data(), RecordBytes, h.RecordAt(slot)) == RecordBytes;
        return ok && ::fdatasync(fd_) == 0;
    }

    void Adopt(int fd) {
        fd_ = fd;
        owned_ = true;
    }
    void CloseJournal() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    const std::string& Name() const { return name_; }
    bool Owned() const { return owned_; }

    bool Failed(const std::string& what) {
        int err = errno;
        if (error_.empty()) error_ = what + ": " + ErrorText(err);
        errno = err;
        return false;
    }

private:
    bool OpenPlace() {
        if (folder_ < 0) folder_ = OpenFolder(place_);
        return folder_ >= 0;
    }
    bool SyncFolder() {
        if (!OpenPlace()) return false;
        return ::fsync(folder_) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
    }
    bool WriteJournal(int64_t pos, const void* data, int64_t n) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        while (n > 0) {
            ssize_t w = ::pwrite(fd_, p, size_t(std::min<int64_t>(n, 1 << 30)), pos);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                if (w == 0) errno = ENOSPC;
                return Failed("cannot write the journal \"" + name_ + "\"");
            }
            p += w;
            pos += w;
            n -= w;
        }
        return true;
    }
    bool SyncJournal() {
        while (::fdatasync(fd_) != 0)
            if (errno != EINTR) return Failed("cannot sync the journal \"" + name_ + "\"");
        return true;
    }
    bool WriteRecord(int64_t seq, int64_t k, int64_t dest, int64_t n) {
        uint8_t r[RecordBytes] = {};
        platform::SetLe64(r, uint64_t(seq));
        platform::SetLe64(r + 8, uint64_t(k));
        platform::SetLe64(r + 16, uint64_t(dest));
        platform::SetLe64(r + 24, uint64_t(n));
        platform::SetLe64(r + 32, Hash(buffer_.data(), size_t(seq > 1 ? n : 0), Hash(r, 32, h.Check)));
        return WriteJournal(h.RecordAt(seq), r, RecordBytes);
    }
    TDataFile& file_;
    TPlace place_;
    std::string name_;
    int folder_ = -1;
    std::vector<uint8_t>& buffer_;
    std::string& error_;
    int fd_ = -1;
    int64_t written_ = 0, synced_ = 0;  // sequences of the last piece written, and on the disk
    bool owned_ = false;  // made or adopted here: ours to remove
};

} // namespace

std::string TEditJournal::NameFor(const std::string& dataFile) { return PlaceOf(dataFile).Full(); }

bool TEditJournal::Exists(const std::string& dataFile) {
    TPlace place = PlaceOf(dataFile);
    int folder = OpenFolder(place);
    if (folder < 0) return false;
    struct stat st{};
    bool found = ::fstatat(folder, place.Base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(folder);
    return found;
}

TEditJournal::TOutcome TEditJournal::Replace(TDataFile& file, int64_t at, int64_t oldLength, const void* bytes,
                                             int64_t length, int64_t pieceLimit, std::vector<uint8_t>& buffer,
                                             const TProgress& progress, std::string& error) {
    error.clear();
    if (oldLength == 0 && length == 0) return TOutcome::Done;
    TRun run(file, buffer, error);
    THeader& h = run.h;
    h.OldSize = file.GetSize();
    if (h.OldSize < 0 || at < 0 || oldLength < 0 || at + oldLength > h.OldSize) {
        error = "the edit lies outside \"" + file.Path() + "\"";
        return TOutcome::Unchanged;
    }
    h.At = at;
    h.OldLength = oldLength;
    h.NewLength = length;
    h.NewSize = h.OldSize + length - oldLength;
    h.Capacity = std::max<int64_t>(1, std::min(pieceLimit, h.Tail()));
    h.Flags = h.Tail() == 0 && oldLength == 0 ? flAppend : 0;
    h.Text.assign(static_cast<const char*>(bytes), size_t(length));
    h.Inode = file.Inode();
    h.Device = file.Device();
    if (!WindowSum(file, 0, at, 1, h.HeadSum) || !WindowSum(file, at, h.OldSize, 2, h.RegionSum)) {
        run.Failed("cannot read \"" + file.Path() + "\"");
        return TOutcome::Unchanged;
    }
    run.progress = progress;

    if (!run.Create()) {
        run.Remove();
        return TOutcome::Unchanged;
    }
    // Done with its journal left behind: the edit is through, and says so.
    auto done = [&] {
        error.clear();
        run.Remove();
        return TOutcome::Done;
    };
    if (h.NewSize > h.OldSize && !file.Reserve(h.NewSize)) {
        run.Failed("cannot make room in \"" + file.Path() + "\"");
        return run.Undo() ? TOutcome::Unchanged : TOutcome::Pending;
    }
    if (h.Append()) {
        if (!file.WriteAt(h.OldSize, bytes, length) || !file.Sync()) {
            run.Failed("cannot write \"" + file.Path() + "\"");
            return run.Undo() ? TOutcome::Unchanged : TOutcome::Pending;
        }
        return done();
    }
    bool recorded = false;
    if (run.Piece(1, recorded)) {
        if (progress) {
            TPiece p = PieceOf(h, 1);
            progress(p.To - p.From, h.Tail());
        }
        if (run.Finish(2)) return done();
    } else if (!recorded) {
        return run.Undo() ? TOutcome::Unchanged : TOutcome::Pending;
    }
    // A write failed with the tail on its way: once more from the journal,
    // as the next open would.
    run.CloseJournal();
    std::string first = error;
    error.clear();
    if (Recover(file, error) == TRecovery::Clean) return TOutcome::Done;
    error = first + "; " + error;
    return TOutcome::Pending;
}

namespace {

std::string Decide(const std::string& file) {
    return "nothing was changed; \"hdstrings recover " + file + "\" applies it once the file is as the edit left it, "
           "\"hdstrings recover --discard " + file + "\" drops it";
}

} // namespace

TEditJournal::TRecovery TEditJournal::Recover(TDataFile& file, std::string& error, bool anyDevice) {
    std::vector<uint8_t> buffer;
    TRun run(file, buffer, error);
    const std::string& name = run.Name();
    int fd = run.OpenExisting(O_RDWR);
    if (fd < 0) {
        if (errno == ENOENT) return TRecovery::Clean;
        error = "cannot open the journal \"" + name + "\" of an unfinished edit of \"" + file.Path() +
                "\": " + ErrorText(errno);
        return TRecovery::Failed;
    }
    run.Adopt(fd);
    bool known = true, voided = false;
    if (!run.ReadHeader(known, voided)) {
        if (!known) {
            error = "\"" + name + "\" is in the way: it is no journal of an edit of this file";
            return TRecovery::Failed;
        }
        // Voided after its edit was through, or torn before it was synced:
        // the file is as it should be.
        run.Remove();
        error.clear();
        return TRecovery::Clean;
    }
    std::vector<int64_t> redo;
    const int64_t seq = run.LastRecords(redo);
    if (seq == 0) {
        run.Remove();
        error.clear();
        return TRecovery::Clean;
    }
    std::string why;
    if (!run.Fits(seq, why, anyDevice)) {
        run.CloseJournal();
        if (!error.empty()) return TRecovery::Failed;
        error = "the journal \"" + name + "\" of an unfinished edit does not fit \"" + file.Path() + "\" (" + why +
                "); " + Decide(file.Path());
        return TRecovery::Kept;
    }
    if (seq == 1) {
        if (!run.Undo()) {
            run.Failed("cannot restore \"" + file.Path() + "\"");
            return TRecovery::Failed;
        }
        error.clear();
        return TRecovery::Clean;
    }
    for (int64_t s : redo)
        if (!run.Redo(s)) return TRecovery::Failed;
    if (!run.Finish(seq)) return TRecovery::Failed;
    run.Remove();
    error.clear();
    return TRecovery::Clean;
}

bool TEditJournal::Untouched(TDataFile& file, std::string& error) {
    std::vector<uint8_t> buffer;
    TRun run(file, buffer, error);
    int fd = run.OpenExisting(O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        run.Failed("cannot read the journal \"" + run.Name() + "\" of an unfinished edit of \"" + file.Path() + "\"");
        return false;
    }
    run.Adopt(fd);
    bool known = true, voided = false;
    if (!run.ReadHeader(known, voided)) {
        run.CloseJournal();
        if (known) return true;
        error = "\"" + run.Name() + "\" is in the way: it is no journal of an edit of this file";
        return false;
    }
    std::vector<int64_t> redo;
    const int64_t seq = run.LastRecords(redo);
    std::string why;
    // Nothing moved yet and the file at its old size: it reads as it was.
    bool old = seq == 0 || (seq == 1 && file.GetSize() == run.h.OldSize && run.Fits(seq, why));
    run.CloseJournal();
    if (!old && error.empty())
        error = "\"" + file.Path() + "\" is halfway through an edit that its journal \"" + run.Name() +
                "\" finishes when the file is opened by a user who may write it";
    return old;
}

bool TEditJournal::Discard(const std::string& dataFile, std::string& error) {
    TPlace place = PlaceOf(dataFile);
    int folder = OpenFolder(place);
    bool ok = folder >= 0 && (::unlinkat(folder, place.Base.c_str(), 0) == 0 || errno == ENOENT);
    if (!ok) error = "cannot remove the journal \"" + place.Full() + "\": " + ErrorText(errno);
    if (folder >= 0) {
        if (ok) ::fsync(folder);
        ::close(folder);
    }
    return ok;
}

} // namespace xoStr31

#include "xoStr31/EntryTableFile.h"
#include "platform/ByteOrder.h"

#include "xoStr31/DataFile.h"
#include "xoStr31/EntryRecord.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

namespace xoStr31 {

namespace {

const char TrailerMagic[8] = {'x', 'o', 'S', 't', 'r', 'T', 'b', '1'};
const char Signature[5] = {'V', 's', 'I', 'n', 'd'};
constexpr uint8_t tkWide = 2;


uint64_t Mix(uint64_t h, uint64_t v) {
    h ^= v * 0x9E3779B97F4A7C15ull;
    return (h << 29 | h >> 35) * 0xBF58476D1CE4E5B9ull;
}

uint64_t Final(uint64_t h) {
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    return h ^ (h >> 29);
}

// The folder and the name part of a path.
std::pair<std::string, std::string> Split(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Temporaries are "." NAME "." and eight letters; a name too long for that
// keeps its front and a checksum of the whole.
std::string TempPrefix(const std::string& base) {
    constexpr size_t random = 8;
    if (1 + base.size() + 1 + random <= NAME_MAX) return "." + base + ".";
    TTableSum sum;
    sum.Add(reinterpret_cast<const uint8_t*>(base.data()), base.size());
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(sum.Value()));
    return "." + base.substr(0, NAME_MAX - 1 - 17 - 1 - random) + "~" + hex + ".";
}

bool Lock(int fd) {
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

} // namespace

TTableOwner TTableOwner::Of(const struct stat& st) {
    TTableOwner o;
    o.Device = uint64_t(st.st_dev);
    o.Inode = uint64_t(st.st_ino);
    o.Size = int64_t(st.st_size);
    o.Seconds = int64_t(st.st_mtim.tv_sec);
    o.Nanoseconds = int64_t(st.st_mtim.tv_nsec);
    return o;
}

void TTableSum::Add(const uint8_t* data, size_t n) {
    length_ += n;
    // Finish a word begun by the last block, then whole words two lanes at
    // a time.
    while (n > 0 && tailBytes_ > 0) {
        tail_ |= uint64_t(*data++) << (8 * tailBytes_);
        --n;
        if (++tailBytes_ == 8) {
            a_ = Mix(a_, tail_);
            std::swap(a_, b_);
            tail_ = 0;
            tailBytes_ = 0;
        }
    }
    for (; n >= 16; data += 16, n -= 16) {
        a_ = Mix(a_, platform::GetLe64(data));
        b_ = Mix(b_, platform::GetLe64(data + 8));
    }
    for (; n > 0; --n) {
        tail_ |= uint64_t(*data++) << (8 * tailBytes_);
        if (++tailBytes_ == 8) {
            a_ = Mix(a_, tail_);
            std::swap(a_, b_);
            tail_ = 0;
            tailBytes_ = 0;
        }
    }
}

uint64_t TTableSum::Value() const { return Final(Mix(Mix(Mix(a_, b_), tail_ ^ uint64_t(tailBytes_)), length_)); }

void EncodeTrailer(const TTableOwner& owner, const timespec& made, uint64_t sum, uint8_t* out) {
    std::memcpy(out, TrailerMagic, 8);
    platform::SetLe64(out + 8, owner.Device);
    platform::SetLe64(out + 16, owner.Inode);
    platform::SetLe64(out + 24, uint64_t(owner.Size));
    platform::SetLe64(out + 32, uint64_t(owner.Seconds));
    platform::SetLe64(out + 40, uint64_t(owner.Nanoseconds));
    platform::SetLe64(out + 48, uint64_t(made.tv_sec));
    platform::SetLe64(out + 56, uint64_t(made.tv_nsec));
    platform::SetLe64(out + 64, sum);
    TTableSum check;
    check.Add(out, 72);
    platform::SetLe64(out + 72, check.Value());
}

bool DecodeTrailer(const uint8_t* in, TTableOwner& owner, timespec& made, uint64_t& sum) {
    if (std::memcmp(in, TrailerMagic, 8) != 0) return false;
    TTableSum check;
    check.Add(in, 72);
    if (check.Value() != platform::GetLe64(in + 72)) return false;
    owner.Device = platform::GetLe64(in + 8);
    owner.Inode = platform::GetLe64(in + 16);
    owner.Size = int64_t(platform::GetLe64(in + 24));
    owner.Seconds = int64_t(platform::GetLe64(in + 32));
    owner.Nanoseconds = int64_t(platform::GetLe64(in + 40));
    made.tv_sec = time_t(platform::GetLe64(in + 48));
    made.tv_nsec = long(platform::GetLe64(in + 56));
    sum = platform::GetLe64(in + 64);
    return true;
}

namespace {

bool Later(const timespec& a, const timespec& b) {
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

} // namespace

timespec TableMadeTime(const timespec& dataWriteTime) {
    // File times come from the coarse clock; its tick is a few milliseconds.
    timespec now{};
    for (int i = 0; i < 50; ++i) {
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (Later(now, dataWriteTime)) break;
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
    return now;
}

TTableView::~TTableView() {
    if (bytes_) ::munmap(const_cast<uint8_t*>(bytes_), size_);
}

bool TTableView::Open(const std::string& path, const TTableOwner& owner, const timespec& dataWriteTime, bool whole) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st{};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= TableHeaderSize + TableTrailerSize &&
              st.st_mtim.tv_sec == dataWriteTime.tv_sec && st.st_mtim.tv_nsec == dataWriteTime.tv_nsec;
    if (ok) {
        void* map = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED | (whole ? MAP_POPULATE : 0), fd, 0);
        if (map != MAP_FAILED) {
            bytes_ = static_cast<const uint8_t*>(map);
            size_ = size_t(st.st_size);
        }
    }
    ::close(fd);
    if (!bytes_) return false;
    // A mapped table that another program shortens meanwhile would fault
    // on access; the checks below read the header and trailer only, and a
    // caller reads records only within the size seen here.
    if (std::memcmp(bytes_, Signature, 5) != 0) return false;
    kind_ = bytes_[5];
    recordSize_ = (kind_ & tkWide) ? WideEntryRecordSize : EntryRecordSize;
    const int32_t last = static_cast<int32_t>(ReadLE32(bytes_ + 6));
    if (last < -1) return false;
    count_ = int64_t(last) + 1;
    if (int64_t(size_) != TableHeaderSize + count_ * recordSize_ + TableTrailerSize) return false;
    TTableOwner from;
    timespec made{};
    if (!DecodeTrailer(bytes_ + size_ - TableTrailerSize, from, made, sum_)) return false;
    return from == owner && Later(made, dataWriteTime);
}

bool TTableView::RecordsMatch() const {
    TTableSum sum;
    sum.Add(bytes_, size_ - TableTrailerSize);
    return sum.Value() == sum_;
}

TTableWriter::TTableWriter(std::string path) : path_(std::move(path)) {
    auto [folder, base] = Split(path_);
    const std::string prefix = TempPrefix(base);
    struct stat old{};
    const bool hadOld = ::stat(path_.c_str(), &old) == 0;
    std::random_device seed;
    std::mt19937 rng(seed());
    const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 8; ++i) name += letters[rng() % (sizeof letters - 1)];
        temp_ = (folder == "/" ? "" : folder) + "/" + name;
        fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        Failed("cannot create a temporary file for \"" + path_ + "\"");
        temp_.clear();
        return;
    }
    // Held while it is written, so that no other run takes it for a leftover.
    Lock(fd_);
    if (hadOld) {
        // The table keeps its owner and mode (a table made as root for a
        // user stays that user's).
        if (::geteuid() == 0) (void)!::fchown(fd_, old.st_uid, old.st_gid);
        ::fchmod(fd_, old.st_mode & 07777);
    }
    pending_.reserve(1 << 20);
}

TTableWriter::~TTableWriter() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool TTableWriter::Failed(const std::string& what) {
    if (error_.empty()) error_ = what + ": " + ErrorText(errno);
    return false;
}

bool TTableWriter::Write(const void* data, size_t n) {
    if (fd_ < 0) return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    pending_.insert(pending_.end(), p, p + n);
    return pending_.size() < (1u << 20) || Flush();
}

bool TTableWriter::Flush() {
    const uint8_t* q = pending_.data();
    size_t left = pending_.size();
    while (left > 0) {
        ssize_t w = ::write(fd_, q, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            return Failed("cannot write \"" + temp_ + "\"");
        }
        q += w;
        left -= size_t(w);
    }
    pending_.clear();
    return true;
}

bool TTableWriter::Commit() {
    if (fd_ < 0 || !error_.empty() || !Flush()) return false;
    if (::fdatasync(fd_) != 0) return Failed("cannot sync \"" + temp_ + "\"");
    if (::rename(temp_.c_str(), path_.c_str()) != 0) return Failed("cannot replace \"" + path_ + "\"");
    temp_.clear();
    ::close(fd_);
    fd_ = -1;
    SyncFolderOf(path_);
    return true;
}

void TTableWriter::RemoveLeftovers(const std::string& path) {
    auto [folder, base] = Split(path);
    const std::string prefix = TempPrefix(base);
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0) continue;
        int fd = ::openat(dirFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st{};
        // A writer still at work holds its lock; a table is never in
        // the way (a temporary begins with its header).
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Lock(fd)) ::unlinkat(dirFd, name.c_str(), 0);
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace xoStr31

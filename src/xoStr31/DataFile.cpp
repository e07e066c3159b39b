#include "xoStr31/DataFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace xoStr31 {

std::string ErrorText(int code) {
    switch (code) {
    case ENOSPC: return "no space left on the disk";
    case EDQUOT: return "disk quota exceeded";
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "read-only file system";
    case ENOENT: return "not found";
    case EIO: return "input/output error";
    default: return std::strerror(code);
    }
}

namespace {

[[noreturn]] void Fail(TFileFault fault, const std::string& path, const std::string& why) {
    throw EDataFileError(fault, "\"" + path + "\": " + why);
}

TFileFault FaultOf(int err) {
    switch (err) {
    case ENOENT: return TFileFault::NotFound;
    case EACCES:
    case EPERM:
    case EROFS: return TFileFault::ReadOnly;
    case EISDIR:
    case ENXIO:
    case ENODEV: return TFileFault::NotRegular;
    default: return TFileFault::Other;
    }
}

std::string FaultText(TFileFault fault, int err) {
    switch (fault) {
    case TFileFault::NotFound: return "not found";
    case TFileFault::ReadOnly: return "read-only (" + ErrorText(err) + ")";
    case TFileFault::NotRegular: return "not a regular file";
    case TFileFault::InUse: return "in use by another program";
    case TFileFault::Denied: return "permission denied";
    default: return ErrorText(err);
    }
}

} // namespace

TDataFile::TDataFile(std::string path, int fd, bool writing) : path_(std::move(path)), fd_(fd), writing_(writing) {
    struct stat st{};
    if (::fstat(fd_, &st) == 0) {
        inode_ = st.st_ino;
        device_ = st.st_dev;
        mode_ = st.st_mode & 07777;
    }
}

TDataFile::~TDataFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<TDataFile> TDataFile::Open(const std::string& path, bool writing, bool create) {
    if (path.empty()) Fail(TFileFault::NotFound, path, "no file name");
    // Not blocking: opening a FIFO for reading would wait for a writer.
    const int flags = (writing ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(path.c_str(), flags);
    if (fd < 0 && errno == ENOENT && create) {
        fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), flags);  // made by someone else meanwhile
    }
    if (fd < 0) {
        int err = errno;
        // A folder opened for writing answers EISDIR; for reading it opens.
        TFileFault fault = FaultOf(err);
        // Refused reading is no read-only file: it cannot be read at all.
        if (!writing && (err == EACCES || err == EPERM)) fault = TFileFault::Denied;
        Fail(fault, path, FaultText(fault, err));
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(TFileFault::NotRegular, path, "not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (writing) {
        // An open-file-description lock belongs to this handle alone: no
        // other descriptor of the file closed elsewhere can drop it.
        struct flock fl{};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        if (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
            int err = errno;
            ::close(fd);
            if (err == EAGAIN || err == EACCES) Fail(TFileFault::InUse, path, "in use by another program");
            Fail(TFileFault::Other, path, ErrorText(err));
        }
    }
    return std::unique_ptr<TDataFile>(new TDataFile(path, fd, writing));
}

std::unique_ptr<TDataFile> TDataFile::CreateNew(const std::string& path, unsigned mode) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        int err = errno;
        Fail(err == EEXIST ? TFileFault::Other : FaultOf(err), path, ErrorText(err));
    }
    return std::unique_ptr<TDataFile>(new TDataFile(path, fd, true));
}

bool TDataFile::ReadAt(int64_t pos, void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        ssize_t n = ::pread(fd_, p, size_t(std::min<int64_t>(count, 1 << 30)), pos);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;  // the file ended early
            return false;
        }
        p += n;
        pos += n;
        count -= n;
    }
    return true;
}

bool TDataFile::WriteAt(int64_t pos, const void* buffer, int64_t count) {
    auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        ssize_t n = ::pwrite(fd_, p, size_t(std::min<int64_t>(count, 1 << 30)), pos);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        p += n;
        pos += n;
        count -= n;
    }
    return true;
}

int64_t TDataFile::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t size = GetSize();
    int64_t n = std::min(count, std::max<int64_t>(0, size - pos_));
    if (n > 0 && !ReadAt(pos_, buffer, n)) return 0;
    pos_ += n;
    return n;
}

int64_t TDataFile::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (!WriteAt(pos_, buffer, count)) return 0;
    pos_ += count;
    return count;
}

int64_t TDataFile::Seek(int64_t offset, platform::SeekOrigin origin) {
    int64_t base = origin == platform::SeekOrigin::Begin ? 0 : origin == platform::SeekOrigin::Current ? pos_ : GetSize();
    if (base + offset < 0) return -1;
    pos_ = base + offset;
    return pos_;
}

void TDataFile::SetSize(int64_t size) {
    if (!Resize(size)) throw platform::EWriteError("Cannot change the size of \"" + path_ + "\": " + ErrorText(errno));
}

int64_t TDataFile::GetSize() {
    struct stat st{};
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool TDataFile::Sync() {
    while (::fdatasync(fd_) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool TDataFile::Reserve(int64_t size) {
    int64_t now = GetSize();
    if (now < 0) return false;
    if (size <= now) return true;
    if (::fallocate(fd_, 0, now, size - now) == 0) return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
    // A file system without reservations: writing the zeros takes the
    // blocks just the same.
    std::vector<uint8_t> zeros(size_t(std::min<int64_t>(size - now, 1 << 20)), 0);
    for (int64_t at = now; at < size;) {
        int64_t n = std::min<int64_t>(int64_t(zeros.size()), size - at);
        if (!WriteAt(at, zeros.data(), n)) return false;
        at += n;
    }
    return true;
}

bool TDataFile::Resize(int64_t size) {
    while (::ftruncate(fd_, size) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool SyncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
    ::close(fd);
    return ok;
}

} // namespace xoStr31

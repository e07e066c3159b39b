#include "platform/SafeSave.h"

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/SaveLeftovers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool WriteAll(int fd, const uint8_t* p, size_t n, int64_t offset) {
    while (n > 0) {
        ssize_t w = ::pwrite(fd, p, std::min<size_t>(n, 1 << 30), offset);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
        offset += w;
    }
    return true;
}

// Copies the whole content of one descriptor over the start of another and
// cuts the target to that length.
bool CopyContent(int from, int to) {
    std::vector<uint8_t> buf(1 << 20);
    int64_t pos = 0;
    for (;;) {
        ssize_t n = ::pread(from, buf.data(), buf.size(), pos);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (!WriteAll(to, buf.data(), static_cast<size_t>(n), pos)) return false;
        pos += n;
    }
    return ::ftruncate(to, pos) == 0;
}

// Extended attributes (access lists, security labels) go with the content.
// False when one of them cannot be carried over.
bool CopyAttributes(int from, int to) {
    ssize_t len = ::flistxattr(from, nullptr, 0);
    if (len < 0) return errno == ENOTSUP;
    if (len == 0) return true;
    std::vector<char> names(static_cast<size_t>(len));
    len = ::flistxattr(from, names.data(), names.size());
    if (len < 0) return false;
    for (const char* name = names.data(); name < names.data() + len; name += std::strlen(name) + 1) {
        ssize_t vlen = ::fgetxattr(from, name, nullptr, 0);
        if (vlen < 0) return false;
        std::vector<char> value(static_cast<size_t>(vlen));
        vlen = ::fgetxattr(from, name, value.data(), value.size());
        if (vlen < 0 || ::fsetxattr(to, name, value.data(), static_cast<size_t>(vlen), 0) != 0) return false;
    }
    return true;
}

void SyncFolder(int dirFd) {
    int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Extended attributes the new file got that the old one does not have: an
// access list from the folder's default list, above all.
bool DropForeignAttributes(int from, int to) {
    ssize_t len = ::flistxattr(to, nullptr, 0);
    if (len <= 0) return len == 0 || errno == ENOTSUP;
    std::vector<char> names(static_cast<size_t>(len));
    len = ::flistxattr(to, names.data(), names.size());
    if (len < 0) return false;
    for (const char* name = names.data(); name < names.data() + len; name += std::strlen(name) + 1) {
        if (::fgetxattr(from, name, nullptr, 0) >= 0) continue;
        if (::fremovexattr(to, name) != 0 && std::strncmp(name, "system.", 7) == 0) return false;
    }
    return true;
}

std::string TempFolderNamed() { return "the temporary folder " + Quoted(TempDirectory()) + " ($TMPDIR)"; }

// A file of its own in the temporary folder that vanishes with its descriptor.
int AnonymousTempFile() {
    std::string dir = TempDirectory();
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string name = dir + "qel-save-XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(buf.data());
    return fd;
}

std::string RandomSuffix() {
    static thread_local std::mt19937_64 rng{std::random_device{}() ^ static_cast<uint64_t>(::getpid())};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(8, 'x');
    for (char& c : s) c = digits[rng() % (sizeof digits - 1)];
    return s;
}

} // namespace

std::string ResolveSaveTarget(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st{};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::vector<char> buf(PATH_MAX + 1);
        ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size() - 1);
        if (n <= 0) return p;
        std::string link(buf.data(), static_cast<size_t>(n));
        p = link.front() == '/' ? link : ExtractFilePath(p) + link;
    }
    throw EFCreateError("Cannot save " + Quoted(path) + ": too many levels of symbolic links");
}

TSaveFileStream::TSaveFileStream(const std::string& path) : path_(path) {
    if (path.empty()) throw EFCreateError("Cannot save a file without a name");
    target_ = ResolveSaveTarget(path);
    struct stat st{};
    if (::stat(target_.c_str(), &st) == 0) {
        existed_ = true;
        if (S_ISDIR(st.st_mode)) throw EFCreateError("Cannot save " + Quoted(path) + ": it is a folder");
        if (!S_ISREG(st.st_mode))
            throw EFCreateError("Cannot save " + Quoted(path) +
                                ": it is not a regular file (a pipe, a device or a socket)");
        if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
            if (errno == EROFS) throw EFCreateError("Cannot save " + Quoted(path) + ": it lies on a read-only file system");
            throw EFCreateError("Cannot save " + Quoted(path) + ": the file is read-only");
        }
        // Root may write anything; a file without a single write bit is still
        // one its owner marked read-only.
        if ((st.st_mode & 0222) == 0) throw EFCreateError("Cannot save " + Quoted(path) + ": the file is read-only");
        oldMode_ = st.st_mode & 07777;
        oldUid_ = st.st_uid;
        oldGid_ = st.st_gid;
        // Renaming a new file over one of several hard links would part it
        // from the others.
        inPlace_ = st.st_nlink > 1;
    } else if (errno == ENOENT) {
        std::string folder = ExtractFilePath(target_);
        if (!folder.empty() && !DirectoryExists(folder))
            throw EFCreateError("Cannot save " + Quoted(path) + ": the folder " + Quoted(folder) + " does not exist");
    } else {
        throw EFCreateError("Cannot save " + Quoted(path) + ": " + std::strerror(errno));
    }
    OpenFolder();
    if (!inPlace_) OpenTemporary();
    if (inPlace_) {
        fd_ = AnonymousTempFile();
        if (fd_ < 0) {
            int err = errno;
            ::close(dirFd_);
            errno = err;
            throw EFCreateError("Cannot save " + Quoted(path) + ": no temporary file for the new content in " +
                                TempFolderNamed() + ": " + std::strerror(errno) + ". The file was left as it was");
        }
    }
    content_ = std::make_unique<TFileStream>(fd_, path_);
}

// Names are taken relative to the folder, so that a path near the
// system's limit still leaves room for the temporary name beside it.
void TSaveFileStream::OpenFolder() {
    std::string folder = ExtractFilePath(target_);
    name_ = ExtractFileName(target_);
    dirFd_ = ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0)
        throw EFCreateError("Cannot save " + Quoted(path_) + ": the folder " + Quoted(folder) + ": " +
                            std::strerror(errno));
    RemoveLeftoverTemporaries(dirFd_, name_, existed_ ? oldUid_ : ::geteuid());
    if (existed_) ReviewLeftoverBackups(target_, path_);
}

void TSaveFileStream::OpenTemporary() {
    const std::string base = TempPrefix(name_);
    int err = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = base + RandomSuffix();
        // 0666 less the umask (and a folder's default access list) for a new
        // file, as any program creating it would get.
        fd_ = ::openat(dirFd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temp_ = name;
            // Held while the file lives: a later save tells it from a
            // leftover of a killed one by this lock.
            ::flock(fd_, LOCK_EX | LOCK_NB);
            break;
        }
        err = errno;
        if (err != EEXIST) break;
    }
    if (fd_ < 0) {
        if (existed_ && (err == EACCES || err == EPERM || err == EROFS || err == ENOSPC || err == EDQUOT)) {
            inPlace_ = true;  // the folder cannot take a second file: write the file itself
            return;
        }
        throw EFCreateError("Cannot save " + Quoted(path_) + ": " + std::strerror(err));
    }
    if (!existed_) return;
    if (!MatchOldFile()) {
        ::close(fd_);
        fd_ = -1;
        ::unlinkat(dirFd_, temp_.c_str(), 0);
        temp_.clear();
        inPlace_ = true;
    }
}

// The new file must look exactly like the old one, or the old one is written
// in place. Owner and group first, as changing them may clear the mode's
// special bits; then the attributes, so that the access list is the old
// file's and not the folder's default; the mode last, as setting an access
// list sets the group bits.
bool TSaveFileStream::MatchOldFile() {
    struct stat mine{};
    if (::fstat(fd_, &mine) != 0 ||
        (mine.st_uid != oldUid_ && ::fchown(fd_, oldUid_, static_cast<gid_t>(-1)) != 0) ||
        (mine.st_gid != oldGid_ && ::fchown(fd_, static_cast<uid_t>(-1), oldGid_) != 0))
        return false;
    int old = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    bool same = old >= 0 && DropForeignAttributes(old, fd_) && CopyAttributes(old, fd_);
    if (old >= 0) ::close(old);
    return same && ::fchmod(fd_, oldMode_) == 0 && ::fstat(fd_, &mine) == 0 && (mine.st_mode & 07777) == oldMode_;
}

TSaveFileStream::~TSaveFileStream() {
    if (!temp_.empty()) ::unlinkat(dirFd_, temp_.c_str(), 0);
    if (dirFd_ >= 0) ::close(dirFd_);
}

void TSaveFileStream::CloseContent() {
    content_.reset();
    fd_ = -1;
}

int64_t TSaveFileStream::Read(void* buffer, int64_t count) { return content_->Read(buffer, count); }

int64_t TSaveFileStream::Write(const void* buffer, int64_t count) {
    errno = 0;
    if (content_->Write(buffer, count) != count) {
        int err = errno ? errno : ENOSPC;
        // In place, the new content waits in the temporary folder: that is
        // what is full, not the file's own disk.
        if (inPlace_)
            throw EWriteError("Cannot save " + Quoted(path_) + ": the new content could not be written to " +
                              TempFolderNamed() + ": " + std::strerror(err) + ". The file was left as it was");
        throw EWriteError("Cannot save " + Quoted(path_) + ": " + std::strerror(err));
    }
    return count;
}

int64_t TSaveFileStream::Seek(int64_t offset, SeekOrigin origin) { return content_->Seek(offset, origin); }
void TSaveFileStream::SetSize(int64_t size) { content_->SetSize(size); }
int64_t TSaveFileStream::GetSize() { return content_->GetSize(); }

void TSaveFileStream::Fail(const std::string& what, int err) {
    CloseContent();
    if (!temp_.empty()) ::unlinkat(dirFd_, temp_.c_str(), 0);
    temp_.clear();
    throw EWriteError(what + ": " + std::strerror(err) + ". The file was left as it was");
}

void TSaveFileStream::Commit() {
    if (committed_) return;
    if (inPlace_)
        CommitInPlace();
    else
        CommitByRename();
    committed_ = true;
}

void TSaveFileStream::CommitByRename() {
    if (::fsync(fd_) != 0) Fail("Cannot save " + Quoted(path_), errno);
    if (::renameat(dirFd_, temp_.c_str(), dirFd_, name_.c_str()) != 0) {
        int err = errno;
        // A folder that only lets owners replace their files (the sticky
        // bit) still lets the file be written where it is.
        if (existed_ && (err == EPERM || err == EACCES || err == EBUSY)) {
            ::unlinkat(dirFd_, temp_.c_str(), 0);
            temp_.clear();
            inPlace_ = true;
            CommitInPlace();
            return;
        }
        Fail("Cannot save " + Quoted(path_), err);
    }
    temp_.clear();
    CloseContent();
    SyncFolder(dirFd_);
}

void TSaveFileStream::CommitInPlace() {
    const std::string what = "Cannot save " + Quoted(path_);
    int target = ::open(target_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (target < 0) Fail(what, errno);
    struct stat st{};
    if (::fstat(target, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(target);
        Fail(what, err);
    }
    int64_t newSize = GetSize();

    // The whole old content goes to a backup first: a failure halfway puts
    // it back, and a crash halfway leaves it where the user can find it.
    std::string backup = TempDirectory() + BackupPrefix(name_) + "XXXXXX";
    std::vector<char> name(backup.begin(), backup.end());
    name.push_back('\0');
    int saved = ::mkostemp(name.data(), O_CLOEXEC);
    if (saved < 0) {
        int err = errno;
        ::close(target);
        Fail(what + ": no backup copy of it could be made in " + TempFolderNamed(), err);
    }
    backup = name.data();
    ::flock(saved, LOCK_EX | LOCK_NB);  // in use while this save runs
    if (!CopyContent(target, saved) || ::fsync(saved) != 0) {
        int err = errno;
        ::close(saved);
        ::unlink(backup.c_str());
        ::close(target);
        Fail(what + ": no backup copy of it could be made in " + TempFolderNamed(), err);
    }
    TagBackup(saved, target, fd_);
    // Real blocks for the growth before any byte changes, so that a full
    // disk shows now and not halfway.
    if (newSize > st.st_size && ::fallocate(target, FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        int err = errno;
        ::close(saved);
        ::unlink(backup.c_str());
        ::close(target);
        Fail(what, err);
    }
    if (CopyContent(fd_, target) && ::fsync(target) == 0) {
        ::close(saved);
        ::unlink(backup.c_str());
        ::close(target);
        CloseContent();
        return;
    }
    int err = errno;
    bool restored = CopyContent(saved, target) && ::fsync(target) == 0;
    ::close(saved);
    ::close(target);
    if (restored) {
        ::unlink(backup.c_str());
        Fail(what, err);
    }
    CloseContent();
    throw EWriteError(what + ": " + std::strerror(err) + ". The old content is kept in " + Quoted(backup));
}

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
    TSaveFileStream out(path);
    out.Write(data, static_cast<int64_t>(size));
    out.Commit();
}

} // namespace platform

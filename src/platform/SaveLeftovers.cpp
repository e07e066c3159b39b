#include "platform/SaveLeftovers.h"

#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr size_t kBackupSuffixLength = 6;  // mkstemp's XXXXXX
const char* const kTargetTag = "user.qel.backup-of";
const char* const kNewTag = "user.qel.backup-new";

std::string Cut(const std::string& name, size_t room) { return name.size() > room ? name.substr(0, room) : name; }

bool SuffixOk(const char* s, size_t length, bool lowerOnly) {
    if (std::strlen(s) != length) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = s[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (!lowerOnly && c >= 'A' && c <= 'Z');
        if (!ok) return false;
    }
    return true;
}

// Content checksum (FNV-1a, 64 bits) and size of what a descriptor holds,
// up to limit bytes.
bool Fingerprint(int fd, uint64_t& hash, int64_t& size, int64_t limit = INT64_MAX) {
    hash = 1469598103934665603ull;
    size = 0;
    std::vector<unsigned char> buf(1 << 16);
    while (size < limit) {
        ssize_t n = ::pread(fd, buf.data(), static_cast<size_t>(std::min<int64_t>(int64_t(buf.size()), limit - size)), size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        for (ssize_t i = 0; i < n; ++i) hash = (hash ^ buf[static_cast<size_t>(i)]) * 1099511628211ull;
        size += n;
    }
    return true;
}

std::string FingerprintText(int fd, int64_t limit = INT64_MAX) {
    uint64_t hash;
    int64_t size;
    if (!Fingerprint(fd, hash, size, limit)) return {};
    return std::to_string(size) + ":" + std::to_string(hash);
}

// The bytes of two descriptors from offset on are the same.
bool SameTail(int a, int b, int64_t offset) {
    std::vector<char> x(1 << 16), y(1 << 16);
    for (;;) {
        ssize_t n = ::pread(a, x.data(), x.size(), offset), m = ::pread(b, y.data(), y.size(), offset);
        if (n < 0 || m < 0 || n != m) return false;
        if (n == 0) return true;
        if (std::memcmp(x.data(), y.data(), static_cast<size_t>(n)) != 0) return false;
        offset += n;
    }
}

// A save killed after it wrote the new, shorter content over the start of
// the file and before it cut the file to that length leaves the new content
// followed by the old content's tail. Such a file is finished as that save
// would have: cut to the new length. True when it was.
bool FinishCut(int file, int backup, const std::string& fresh, const std::string& path) {
    size_t colon = fresh.find(':');
    if (colon == std::string::npos) return false;
    int64_t newSize = std::atoll(fresh.substr(0, colon).c_str());
    struct stat f{}, b{};
    if (::fstat(file, &f) != 0 || ::fstat(backup, &b) != 0 || f.st_size != b.st_size || newSize >= f.st_size)
        return false;
    if (FingerprintText(file, newSize) != fresh || !SameTail(file, backup, newSize)) return false;
    int w = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (w < 0) return false;
    struct stat wst{};
    bool done = ::fstat(w, &wst) == 0 && wst.st_ino == f.st_ino && wst.st_dev == f.st_dev &&
                ::ftruncate(w, newSize) == 0 && ::fsync(w) == 0;
    ::close(w);
    return done;
}

std::string Identity(int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string Tag(int fd, const char* name) {
    char buf[128];
    ssize_t n = ::fgetxattr(fd, name, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// A leftover of this user that nothing has touched for a while and no live
// save holds; on success fd keeps the lock until it is closed.
int ClaimLeftover(int dirFd, const char* name, uid_t owner) {
    int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st{}, again{};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_uid == ::geteuid() || st.st_uid == owner) &&
              std::time(nullptr) - st.st_mtime >= kLeftoverAge && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
              ::fstatat(dirFd, name, &again, AT_SYMLINK_NOFOLLOW) == 0 && again.st_dev == st.st_dev &&
              again.st_ino == st.st_ino;
    if (!ok) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SameContent(int a, int b) {
    uint64_t ha, hb;
    int64_t sa, sb;
    return Fingerprint(a, ha, sa) && Fingerprint(b, hb, sb) && ha == hb && sa == sb;
}

} // namespace

std::string TempPrefix(const std::string& name) {
    return "." + Cut(name, NAME_MAX - 2 - kTempSuffixLength) + ".";
}

std::string BackupPrefix(const std::string& name) {
    return "qel-backup-" + Cut(name, NAME_MAX - 12 - kBackupSuffixLength) + "-";
}

void RemoveLeftoverTemporaries(int dirFd, const std::string& name, uid_t owner) {
    int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return;
    DIR* d = ::fdopendir(listFd);
    if (!d) {
        ::close(listFd);
        return;
    }
    const std::string prefix = TempPrefix(name);
    std::vector<std::string> found;
    while (dirent* e = ::readdir(d)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0 &&
            SuffixOk(e->d_name + prefix.size(), kTempSuffixLength, true))
            found.emplace_back(e->d_name);
    }
    ::closedir(d);
    for (const auto& n : found) {
        int fd = ClaimLeftover(dirFd, n.c_str(), owner);
        if (fd < 0) continue;
        ::unlinkat(dirFd, n.c_str(), 0);
        ::close(fd);
    }
}

void TagBackup(int backupFd, int targetFd, int newContentFd) {
    // Where the temporary folder keeps no attributes the backup is untagged
    // and a later review can only compare it with the file.
    std::string id = Identity(targetFd), fresh = FingerprintText(newContentFd);
    if (!id.empty()) ::fsetxattr(backupFd, kTargetTag, id.data(), id.size(), 0);
    if (!fresh.empty()) ::fsetxattr(backupFd, kNewTag, fresh.data(), fresh.size(), 0);
}

void ReviewLeftoverBackups(const std::string& target, const std::string& path) {
    std::string folder = TempDirectory();
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return;
    int file = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    DIR* d = file >= 0 ? ::fdopendir(::dup(dirFd)) : nullptr;
    if (!d) {
        if (file >= 0) ::close(file);
        ::close(dirFd);
        return;
    }
    const std::string prefix = BackupPrefix(ExtractFileName(target));
    std::vector<std::string> found;
    while (dirent* e = ::readdir(d)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0 &&
            SuffixOk(e->d_name + prefix.size(), kBackupSuffixLength, false))
            found.emplace_back(e->d_name);
    }
    ::closedir(d);
    const std::string id = Identity(file);
    for (const auto& n : found) {
        int fd = ClaimLeftover(dirFd, n.c_str(), ::geteuid());
        if (fd < 0) continue;
        std::string of = Tag(fd, kTargetTag);
        if (!of.empty() && of != id) {  // a backup of another file of that name
            ::close(fd);
            continue;
        }
        std::string fresh = Tag(fd, kNewTag);
        if (SameContent(fd, file) || (!fresh.empty() && fresh == FingerprintText(file)) ||
            (!fresh.empty() && FinishCut(file, fd, fresh, target))) {
            ::unlinkat(dirFd, n.c_str(), 0);  // the save it guarded was whole, undone or is finished now
        } else {
            MessageBoxService().Show(
                "An earlier save of \"" + path + "\" was interrupted while it wrote the file in place. " +
                    (of.empty() ? "The copy \"" + folder + n + "\" may hold that file's content from before it"
                                : "Its content from before that save is kept in \"" + folder + n + "\"") +
                    ": compare the two, keep what you need and delete the copy.",
                "Save", MB_OK | MB_ICONEXCLAMATION);
        }
        ::close(fd);
    }
    ::close(file);
    ::close(dirFd);
}

} // namespace platform

#include "platform/FileUpdateLock.h"

#include "platform/SafeSave.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Any descriptor of the file will do for flock, whatever the user may do
// with it: read, write, or (for a folder or a file without access) only
// name it.
int OpenForLock(const std::string& path) {
    for (int flags : {O_RDONLY, O_WRONLY}) {
        int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd >= 0 || errno != EACCES) return fd;
    }
    // flock does not take O_PATH descriptors; nothing more to try.
    return -1;
}

bool SameFile(int fd, const std::string& path) {
    struct stat mine{}, named{};
    return ::fstat(fd, &mine) == 0 && ::stat(path.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
           mine.st_ino == named.st_ino;
}

} // namespace

TFileUpdateLock::TFileUpdateLock(const std::string& path) {
    const std::string target = ResolveSaveTarget(path);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        int fd = OpenForLock(target);
        bool created = false;
        if (fd < 0 && errno == ENOENT) {
            // O_EXCL: a file made by another writer meanwhile is opened as is.
            fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd < 0 && errno == EEXIST) continue;
            created = fd >= 0;
        }
        if (fd < 0) return;
        int r;
        while ((r = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (r == 0 && SameFile(fd, target)) {
            fd_ = fd;
            target_ = target;
            created_ = created;
            return;
        }
        ::close(fd);
        if (r != 0) return;  // a file system without locks
    }
}

TFileUpdateLock::~TFileUpdateLock() {
    if (fd_ < 0) return;
    // The empty file made only to be locked goes again when no save came.
    struct stat st{};
    if (created_ && SameFile(fd_, target_) && ::fstat(fd_, &st) == 0 && st.st_size == 0)
        ::unlink(target_.c_str());
    ::close(fd_);
}

} // namespace platform

#pragma once
// Keeps writers of one file from interleaving their load, change and save:
// every writer of a settings file takes this lock before it loads the file
// and holds it until its save is through.
#include <string>

namespace platform {

// The lock is an exclusive flock on the file itself, so that it holds
// whatever name leads to the file (hard links in two folders, symlinks)
// and in folders that can be written but not listed. A save replaces the
// file by renaming a new one over it, so after the wait the lock checks
// that the name still leads to the locked file and starts again on the new
// one when it does not.
//
// A file that does not exist yet is created empty to have something to
// lock: an empty settings file reads exactly as a missing one, and the save
// that follows gives it its content (when no save comes, the empty file is
// removed again as the lock ends). Where it cannot be created either (a
// folder that is missing or cannot be written), there is nothing another
// writer could lock on either and the save will say why; the lock is then
// not held (Held() is false).
class TFileUpdateLock {
public:
    explicit TFileUpdateLock(const std::string& path);  // waits for the lock
    ~TFileUpdateLock();
    TFileUpdateLock(const TFileUpdateLock&) = delete;
    TFileUpdateLock& operator=(const TFileUpdateLock&) = delete;

    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    std::string target_;
    bool created_ = false;
};

} // namespace platform

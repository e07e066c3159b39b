#pragma once
// Whole-file saves that keep what the user set up. Every unit and tool that
// replaces a file's whole content goes through here:
// - a symlink is followed and its target written; the link stays a link;
// - a file the user may not write (or one without any write bit, even for
//   root) is refused with a clear error and left as it is;
// - anything that is not a regular file (folder, pipe, device, socket) is
//   refused instead of being replaced or hung on;
// - where the folder can be written, the new content goes to a hidden
//   temporary file beside the target that takes over mode, owner, group and
//   extended attributes, is synced and renamed over the target: a crash
//   leaves the old file or the new one, never a mix;
// - where renaming would lose something (the folder cannot be written, the
//   file has other hard links, or its owner or group cannot be kept), the
//   file is written in place after a full copy of it went to a backup in the
//   temporary folder; a failure puts the old bytes back, and the backup is
//   removed once the save is through.
#include "platform/Streams.h"

#include <memory>
#include <string>

namespace platform {

// The file a save of the path writes: the path with every symlink of its
// last element followed (a dangling link names the file to create).
std::string ResolveSaveTarget(const std::string& path);

// A write-only stream whose bytes replace the file's content at Commit.
// Construction checks the target and raises EFCreateError with the reason
// when it cannot be saved; Commit raises EWriteError and leaves the old
// content when anything fails. Destroyed without Commit, nothing changes.
class TSaveFileStream : public TStream {
public:
    explicit TSaveFileStream(const std::string& path);
    ~TSaveFileStream() override;
    TSaveFileStream(const TSaveFileStream&) = delete;
    TSaveFileStream& operator=(const TSaveFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t GetSize() override;

    void Commit();
    // The path as given and the file it writes.
    const std::string& FileName() const { return path_; }
    const std::string& Target() const { return target_; }
    // True when the save writes the file in place rather than renaming.
    bool InPlace() const { return inPlace_; }

private:
    void OpenTemporary();
    void CommitByRename();
    void CommitInPlace();
    [[noreturn]] void Fail(const std::string& what, int err);
    void CloseContent();

    std::string path_;
    std::string target_;
    std::string temp_;       // beside the target; empty when unlinked or in place
    std::unique_ptr<TFileStream> content_;  // the new content
    int fd_ = -1;                           // its descriptor
    bool existed_ = false;
    bool inPlace_ = false;
    bool committed_ = false;
    unsigned oldMode_ = 0;
    unsigned oldUid_ = 0;
    unsigned oldGid_ = 0;
};

// Writes the whole file through TSaveFileStream.
void WriteWholeFile(const std::string& path, const void* data, size_t size);

// Keeps processes of this program from interleaving their load, change and
// save of one file: taken before the load and held until the save is
// through. It locks the folder that holds the file, since every save
// replaces the file itself and a file to be created has nothing to lock
// yet. Where the folder cannot be opened, there is no lock to take.
class TFileUpdateLock {
public:
    explicit TFileUpdateLock(const std::string& path);  // waits for the lock
    ~TFileUpdateLock();
    TFileUpdateLock(const TFileUpdateLock&) = delete;
    TFileUpdateLock& operator=(const TFileUpdateLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace platform

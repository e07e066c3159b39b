#pragma once
// Whole-file saves that keep what the user set up. Every unit and tool that
// replaces a file's whole content goes through here:
// - a symlink is followed and its target written; the link stays a link;
// - a file the user may not write (or one without any write bit, even for
//   root) is refused with a clear error and left as it is;
// - anything that is not a regular file (folder, pipe, device, socket) is
//   refused instead of being replaced or hung on;
// - where the folder can be written, the new content goes to a hidden
//   temporary file beside the target (".NAME.xxxxxxxx", the name cut short
//   where the whole would not fit) that takes over exactly the mode, owner,
//   group, access list and other extended attributes of the old file, not
//   what the folder would give a new one, is synced and renamed over the
//   target: a crash leaves the old file or the new one, never a mix;
// - where renaming would lose something (the folder cannot be written, the
//   file has other hard links, or its owner or group cannot be kept), the
//   file is written in place after a full copy of it went to a backup in the
//   temporary folder; a failure puts the old bytes back, and the backup is
//   removed once the save is through;
// - what a killed save left is cleared by the next save of the same file:
//   its temporary files when no process holds them any more, its backup
//   when the file holds the old or the new content; any other backup is
//   kept and named in a message, as it may hold the only good copy.
#include "platform/FileUpdateLock.h"
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
    void OpenFolder();
    void OpenTemporary();
    bool MatchOldFile();
    void CommitByRename();
    void CommitInPlace();
    [[noreturn]] void Fail(const std::string& what, int err);
    void CloseContent();

    std::string path_;
    std::string target_;
    std::string temp_;       // its name in the folder; empty when unlinked or in place
    int dirFd_ = -1;         // the target's folder: names in it stay short
    std::string name_;       // the target's name in it
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

} // namespace platform

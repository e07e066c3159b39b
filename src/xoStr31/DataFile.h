#pragma once
// TDataFile: a user's text file that a large string list works on in place.
// Opened by its name exactly as given; anything but a regular file is
// refused before a byte is read (a FIFO would hang, a device is no text).
// For writing it takes an exclusive advisory lock, so that a second writer
// is told "in use by another program" instead of moving bytes under ours.
// Reads and writes go by offset; errors keep errno for the caller's message.
#include "platform/Exception.h"
#include "platform/Streams.h"

#include <cstdint>
#include <memory>
#include <string>

namespace xoStr31 {

// Why a data file could not be opened, for messages that name the cause.
enum class TFileFault { None, NotFound, InUse, ReadOnly, NotRegular, TooLarge, Other,
    Denied,       // not even readable by this user
    Unreadable,   // reading the content failed (a bad block, a lost device)
    SizeUnknown,  // the system reports no size for a file that has content (/proc)
    Journal       // an unfinished edit's journal that does not fit the file waits for the user
};

class EDataFileError : public platform::EStreamError {
public:
    EDataFileError(TFileFault fault, const std::string& message) : EStreamError(message), fault_(fault) {}
    TFileFault Fault() const { return fault_; }

private:
    TFileFault fault_;
};

class TDataFile : public platform::TStream {
public:
    // Opens the file; with writing, locks it against other writers. create
    // makes a missing file (exclusively: an existing one is never emptied).
    // Raises EDataFileError.
    static std::unique_ptr<TDataFile> Open(const std::string& path, bool writing, bool create);
    // A new file that did not exist, for writing (never through a link that
    // someone planted under the name). Raises EDataFileError.
    static std::unique_ptr<TDataFile> CreateNew(const std::string& path, unsigned mode);
    ~TDataFile() override;
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, platform::SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t GetSize() override;

    // All or nothing; false with errno set on failure.
    bool ReadAt(int64_t pos, void* buffer, int64_t count);
    bool WriteAt(int64_t pos, const void* buffer, int64_t count);
    // Data on the disk before the next step (file size included).
    bool Sync();
    // Grows the file to size with blocks really taken from the disk, so
    // that a full disk shows here and not halfway through a move.
    bool Reserve(int64_t size);
    bool Resize(int64_t size);

    const std::string& Path() const { return path_; }
    bool Writing() const { return writing_; }
    uint64_t Inode() const { return inode_; }
    uint64_t Device() const { return device_; }
    int Descriptor() const { return fd_; }
    unsigned Mode() const { return mode_; }

private:
    TDataFile(std::string path, int fd, bool writing);
    std::string path_;
    int fd_ = -1;
    bool writing_ = false;
    int64_t pos_ = 0;
    uint64_t inode_ = 0;
    uint64_t device_ = 0;
    unsigned mode_ = 0644;
};

// Syncs the folder that holds path, so that a file just made or removed
// there stays made or removed after a power cut.
bool SyncFolderOf(const std::string& path);

// The text of errno for messages, in the program's language.
std::string ErrorText(int code);

} // namespace xoStr31

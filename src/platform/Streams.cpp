#include "platform/Streams.h"
#include "platform/Exception.h"
#include "platform/SafeSave.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int64_t TStream::GetSize() {
    int64_t pos = Seek(0, SeekOrigin::Current);
    int64_t size = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Begin);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
    int64_t done = 0;
    while (done < count) {
        int64_t n = std::min<int64_t>(count - done, static_cast<int64_t>(buf.size()));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        done += n;
    }
    return done;
}

uint8_t TStream::ReadByte() { uint8_t b; ReadBuffer(&b, 1); return b; }
uint16_t TStream::ReadWord() {
    uint8_t b[2];
    ReadBuffer(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
uint32_t TStream::ReadDWord() {
    uint8_t b[4];
    ReadBuffer(b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
void TStream::WriteWord(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    WriteBuffer(b, 2);
}
void TStream::WriteDWord(uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    WriteBuffer(b, 4);
}

// ---- TMemoryStream ---------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    int64_t size = GetSize();
    if (count <= 0 || pos_ >= size) return 0;
    int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t end = pos_ + count;
    if (end > GetSize()) data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? pos_ : GetSize();
    pos_ = std::max<int64_t>(0, base + offset);
    return pos_;
}

void TMemoryStream::SetSize(int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    try {
        data_.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory while resizing a memory stream to " + std::to_string(size) + " bytes");
    }
    if (pos_ > size) pos_ = size;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    int64_t size = source.Size();
    SetSize(size);
    pos_ = 0;
    source.ReadBuffer(data_.data(), size);
}

void TMemoryStream::LoadFromFile(const std::string& path) {
    data_ = ReadFileBytes(path);
    pos_ = 0;
}

void TMemoryStream::SaveToStream(TStream& target) { target.WriteBuffer(data_.data(), GetSize()); }

void TMemoryStream::SaveToFile(const std::string& path) { WriteWholeFile(path, data_.data(), data_.size()); }

// ---- TFileStream -----------------------------------------------------------

TFileStream::TFileStream(const std::string& path, unsigned mode) : path_(path) {
    if (mode == fmCreate) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file \"" + path + "\". " +
                                (errno == EEXIST ? std::string("It exists already") : std::string(std::strerror(errno))));
        return;
    }
    int flags = (mode & 3) == fmOpenReadWrite ? O_RDWR : (mode & 3) == fmOpenWrite ? O_WRONLY : O_RDONLY;
    // Without O_NONBLOCK, opening a FIFO would wait for its other end.
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0)
        throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    struct stat st{};
    if (::fstat(fd_, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw EFOpenError("Cannot open file \"" + path + "\". " +
                          (S_ISDIR(st.st_mode) ? "It is a directory" : "It is not a regular file"));
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    if ((mode & fmShareDenyWrite) && (flags != O_RDONLY)) {
        // An open-file-description lock: it belongs to this stream alone and
        // is not dropped when some other descriptor of the file is closed.
        struct flock fl{};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        if (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
            int err = errno;
            ::close(fd_);
            fd_ = -1;
            throw EFOpenError("Cannot open file \"" + path + "\". " +
                              (err == EAGAIN || err == EACCES ? std::string("It is in use by another program")
                                                              : std::string(std::strerror(err))));
        }
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::write(fd_, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(fd_, offset, whence);
    return r < 0 ? -1 : r;
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(fd_, size) != 0)
        throw EWriteError("Cannot change the size of \"" + path_ + "\". " + std::strerror(errno));
    if (Position() > size) Seek(size, SeekOrigin::Begin);
}

int64_t TFileStream::GetSize() {
    struct stat st{};
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    TFileStream f(path, fmOpenRead);
    return ReadDescriptor(f.Handle(), path);
}

std::vector<uint8_t> ReadAllBytes(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw EFOpenError("Cannot open file \"" + path + "\". It is a directory");
    }
    try {
        auto bytes = ReadDescriptor(fd, path);
        ::close(fd);
        return bytes;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

std::vector<uint8_t> ReadDescriptor(int fd, const std::string& name) {
    // The size on record is only a first guess: a file may grow while it is
    // read, and pipes report none.
    struct stat st{};
    size_t guess = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
    std::vector<uint8_t> bytes(std::max<size_t>(guess + 1, 64 << 10));
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) bytes.resize(bytes.size() * 2);
        ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EReadError("Cannot read \"" + name + "\". " + std::strerror(errno));
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

} // namespace platform

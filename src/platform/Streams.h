#pragma once
// Byte streams: an abstract stream, one in memory and one on a file.
// Read and Write report how many bytes they moved; a short count is not an
// exception. ReadBuffer and WriteBuffer are the all-or-nothing forms.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class SeekOrigin { Begin, Current, End };

class TStream {
public:
    virtual ~TStream() = default;
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    // Changing the size may fail (a full disk): it raises EStreamError then.
    virtual void SetSize(int64_t size) = 0;
    virtual int64_t GetSize();

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t pos) { Seek(pos, SeekOrigin::Begin); }
    int64_t Size() { return GetSize(); }

    void ReadBuffer(void* buffer, int64_t count);         // EReadError when short
    void WriteBuffer(const void* buffer, int64_t count);  // EWriteError when short
    // Copies count bytes from source (its whole content from 0 when count is 0).
    int64_t CopyFrom(TStream& source, int64_t count);

    // Little-endian helpers for byte layouts read and written field by field.
    uint8_t ReadByte();
    uint16_t ReadWord();
    uint32_t ReadDWord();
    void WriteByte(uint8_t v) { WriteBuffer(&v, 1); }
    void WriteWord(uint16_t v);
    void WriteDWord(uint32_t v);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }

    void Clear() { data_.clear(); pos_ = 0; }
    uint8_t* Memory() { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    void LoadFromStream(TStream& source);
    void LoadFromFile(const std::string& path);
    void SaveToStream(TStream& target);
    void SaveToFile(const std::string& path);

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

// Open modes, combined with |.
enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareDenyWrite = 0x0020,  // an advisory write lock while the stream lives
    fmCreate = 0xFF00,          // a new file, read and write; an existing one is never truncated
};

class TFileStream : public TStream {
public:
    // Raises EFOpenError or EFCreateError with the path and the system's text.
    // fmCreate makes a new file only: when the name exists it raises
    // EFCreateError rather than truncate what is there (whole-file saves go
    // through TSaveFileStream). Opening a pipe or device never waits: it is
    // refused as not a regular file.
    TFileStream(const std::string& path, unsigned mode);
    // Takes over a descriptor that is open already; the name is for messages.
    TFileStream(int fd, std::string name) : path_(std::move(name)), fd_(fd) {}
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int64_t GetSize() override;

    const std::string& FileName() const { return path_; }
    int Handle() const { return fd_; }

private:
    std::string path_;
    int fd_ = -1;
};

// Reads a whole regular file; raises EFOpenError or EReadError.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
// Reads a file, pipe or FIFO to its end (waiting for a FIFO's writer);
// folders are refused with EFOpenError.
std::vector<uint8_t> ReadAllBytes(const std::string& path);
// Reads a descriptor to its end.
std::vector<uint8_t> ReadDescriptor(int fd, const std::string& name);

} // namespace platform

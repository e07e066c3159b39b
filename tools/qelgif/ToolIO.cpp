// qelgif's file access: standard streams, pipes, the safe save and the
// output limit.
#include "ToolIO.h"
#include "platform/Exception.h"
#include "common/ProgressBar.h"
#include "common/ToolFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <strings.h>

namespace qelgif {

namespace {

bool force = false;

// Reads a file through a window of 64 KiB: a walk over the file's blocks
// touches little memory, and passing over a block inside the window costs
// no system call.
class BufferedFile : public platform::TStream {
public:
    BufferedFile(int fd, int64_t size) : fd_(fd), size_(size), window_(64 << 10) {}
    ~BufferedFile() override { ::close(fd_); }
    int64_t Read(void* buffer, int64_t count) override {
        auto* out = static_cast<uint8_t*>(buffer);
        int64_t done = 0;
        while (done < count && pos_ < size_) {
            if (pos_ < start_ || pos_ >= start_ + filled_) {
                const ssize_t got = ::pread(fd_, window_.data(), window_.size(), pos_);
                if (got <= 0) break;
                start_ = pos_;
                filled_ = got;
            }
            const int64_t n = std::min(count - done, start_ + filled_ - pos_);
            std::memcpy(out + done, window_.data() + (pos_ - start_), size_t(n));
            done += n;
            pos_ += n;
        }
        return done;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
        const int64_t base = origin == platform::SeekOrigin::Begin ? 0 : origin == platform::SeekOrigin::Current ? pos_ : size_;
        pos_ = std::max<int64_t>(0, base + offset);
        return pos_;
    }
    void SetSize(int64_t) override { throw platform::Exception("The input cannot be resized"); }
    int64_t GetSize() override { return size_; }

private:
    int fd_;
    int64_t size_;
    std::vector<uint8_t> window_;
    int64_t start_ = 0, filled_ = 0, pos_ = 0;
};

} // namespace

std::shared_ptr<platform::TStream> OpenInput(const std::string& path) {
    // Opening a FIFO would take its writer's data or wait for one: only
    // what is a regular file by its name is opened here.
    struct stat st {};
    if (path != "-" && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            return std::make_shared<BufferedFile>(fd, st.st_size);
        if (fd >= 0) ::close(fd);
    }
    return std::make_shared<platform::TMemoryStream>(ReadInput(path));
}

void SetForce(bool value) { force = value; }

std::vector<uint8_t> ReadInput(const std::string& path) {
    if (path != "-") {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            throw platform::Exception("Cannot read " + path + ": it is a folder");
    }
    std::vector<uint8_t> data = tools::ReadInput(path);
    CheckSize(data.size(), path == "-" ? "standard input" : path);
    return data;
}

void WriteOutput(const std::string& path, const void* data, size_t size) {
    CheckSize(size, path == "-" ? "standard output" : path);
    struct stat st {};
    if (path != "-" && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw platform::Exception("Cannot write " + path + ": " +
                                  (S_ISDIR(st.st_mode) ? "it is a folder"
                                                       : "it is not a regular file (a pipe or device); use - for "
                                                         "standard output"));
    tools::WriteOutput(path, data, size);
}

void CheckSize(uint64_t bytes, const std::string& what) {
    if (bytes > OutputLimit && !force)
        throw platform::Exception(what + " would take " + std::to_string(bytes) +
                                  " bytes, more than the 1 GiB limit (use --force to go on)");
}

void ShowProgress(platform::TGraphic& graphic) {
    // The bar draws only on a terminal and only for work that lasts.
    auto bar = std::make_shared<std::unique_ptr<tools::TProgressBar>>();
    graphic.OnProgress = [bar](platform::TGraphic*, platform::TProgressStage stage, int percent, bool,
                               const platform::TRect&, const std::string& message) {
        if (stage == platform::TProgressStage::psStarting) *bar = std::make_unique<tools::TProgressBar>(message);
        if (!*bar) return;
        if (stage == platform::TProgressStage::psEnding)
            bar->reset();
        else
            (*bar)->Update(percent / 100.0);
    };
}

bool HasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size()) return false;
    return strcasecmp(path.c_str() + path.size() - extension.size(), extension.c_str()) == 0;
}

} // namespace qelgif

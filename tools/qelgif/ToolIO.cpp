// qelgif's file access: standard streams, pipes, the safe save and the
// output limit.
#include "ToolIO.h"
#include "platform/Exception.h"
#include "platform/SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qelgif {

namespace {

bool force = false;

std::string Reason() { return std::strerror(errno); }

// Reads a descriptor to its end: a pipe or FIFO gives its data in pieces.
std::vector<uint8_t> ReadAll(int fd, const std::string& name) {
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw platform::Exception("Cannot read " + name + ": " + Reason());
        }
        data.insert(data.end(), buffer, buffer + n);
        if (data.size() > OutputLimit && !force)
            throw platform::Exception(name + " is larger than the 1 GiB limit (use --force to read it all)");
    }
    return data;
}

void WriteAll(int fd, const uint8_t* p, size_t size, const std::string& name) {
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw platform::Exception("Cannot write " + name + ": " + Reason());
        }
        p += n;
        size -= size_t(n);
    }
}

} // namespace

void SetForce(bool value) { force = value; }

std::vector<uint8_t> ReadInput(const std::string& path) {
    if (path == "-") return ReadAll(STDIN_FILENO, "standard input");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw platform::Exception("Cannot open " + path + ": " + Reason());
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw platform::Exception("Cannot read " + path + ": it is a folder");
    }
    try {
        std::vector<uint8_t> data = ReadAll(fd, path);
        ::close(fd);
        return data;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

void WriteOutput(const std::string& path, const void* data, size_t size) {
    CheckSize(size, path);
    if (path == "-") {
        WriteAll(STDOUT_FILENO, static_cast<const uint8_t*>(data), size, "standard output");
        return;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw platform::Exception("Cannot write " + path + ": " +
                                  (S_ISDIR(st.st_mode) ? "it is a folder"
                                                       : "it is not a regular file (a pipe or device); use - for "
                                                         "standard output"));
    platform::WriteWholeFile(path, data, size);
}

void CheckSize(uint64_t bytes, const std::string& what) {
    if (bytes > OutputLimit && !force)
        throw platform::Exception(what + " would take " + std::to_string(bytes) +
                                  " bytes, more than the 1 GiB limit (use --force to go on)");
}

void ShowProgress(platform::TGraphic& graphic) {
    if (!::isatty(STDERR_FILENO)) return;
    graphic.OnProgress = [](platform::TGraphic*, platform::TProgressStage stage, int percent, bool,
                            const platform::TRect&, const std::string& message) {
        constexpr int Width = 30;
        const int filled = std::max(0, std::min(Width, percent * Width / 100));
        if (stage == platform::TProgressStage::psEnding) {
            std::fprintf(stderr, "\r%*s\r", Width + 24, "");
        } else {
            std::fprintf(stderr, "\r%-14s [%s%s] %3d%%", message.c_str(), std::string(size_t(filled), '#').c_str(),
                         std::string(size_t(Width - filled), ' ').c_str(), percent);
        }
        std::fflush(stderr);
    };
}

bool HasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size()) return false;
    return strcasecmp(path.c_str() + path.size() - extension.size(), extension.c_str()) == 0;
}

} // namespace qelgif

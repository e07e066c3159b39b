#pragma once
// A fresh folder for one test, removed with everything in it at the end,
// and the two file helpers every test folder wants.
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace qeltest {

class TempFolder {
public:
    enum class Place {
        Tmp,     // under /tmp
        Memory,  // in /dev/shm where it can be written (files that sync a lot), else the temporary directory
    };

    // The folder's name is the prefix and six random letters. A folder that
    // cannot be made stops the test here rather than somewhere on "/".
    explicit TempFolder(const std::string& prefix = "qel-test", Place place = Place::Memory) {
        std::string base = "/tmp/";
        if (place == Place::Memory) base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : platform::TempDirectory();
        std::string tmpl = base + prefix + "-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data()))
            throw std::runtime_error("cannot make a temporary folder " + tmpl + ": " + std::strerror(errno));
        path_ = std::string(buf.data()) + "/";
    }
    ~TempFolder() { Remove(); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // With a trailing "/".
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

    // Removes the folder now; a test that made it unwritable or unreadable
    // is undone first.
    void Remove() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The whole file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

} // namespace qeltest

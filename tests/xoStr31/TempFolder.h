#pragma once
// A fresh folder, removed with its files: in memory (/dev/shm) where there
// is one, since every edit of a data file syncs and a disk makes that slow;
// else under the temporary directory.
#include "platform/FileSystem.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace hdtest {

class TempFolder {
public:
    TempFolder() {
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : platform::TempDirectory();
        std::string tmpl = base + "hdtest_XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        path_ = std::string(::mkdtemp(buf.data())) + "/";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

} // namespace hdtest

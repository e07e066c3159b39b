#pragma once
// Small helpers shared by the settings tests: temporary folders, files,
// environment variables set for one test, and lists made from lines.
#include "platform/Strings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>

namespace settings_test {

struct TempDir {
    std::string path;  // with a trailing "/"
    TempDir() {
        char tmpl[] = "/tmp/qel-settings-XXXXXX";
        path = std::string(::mkdtemp(tmpl)) + "/";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + name; }
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Sets (or with nullopt unsets) an environment variable until the scope ends.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

inline void Fill(platform::TStrings& list, std::initializer_list<const char*> lines) {
    list.Clear();
    for (const char* l : lines) list.Add(l);
}

inline std::string Joined(platform::TStrings& list) {
    std::string out;
    for (int i = 0; i < list.Count(); ++i) out += list[i] + "|";
    return out;
}

} // namespace settings_test

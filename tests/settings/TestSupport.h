#pragma once
// Small helpers shared by the settings tests: temporary folders, files,
// environment variables set for one test, and lists made from lines.
#include "common/TempFolder.h"
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

struct TempDir : qeltest::TempFolder {
    TempDir() : TempFolder("qel-settings", Place::Tmp) {}
    const std::string path = Path();  // with a trailing "/"
};

using qeltest::ReadFile;
using qeltest::WriteFile;

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

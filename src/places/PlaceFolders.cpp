#include "places/PlaceFolders.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace places {

namespace {

// $NAME when it holds an absolute path (the XDG rule), else the fallback
// below the home folder.
std::string XdgFolder(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    std::string base = value && value[0] == '/' ? std::string(value) : platform::HomeDirectory() + fallback;
    if (base.empty() || base.back() != '/') base += '/';
    return base + "QelBrowser/";
}

} // namespace

std::string DataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }
std::string ConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }
std::string HistoryFileName() { return DataFolder() + "history.txt"; }
std::string BookmarksFileName() { return ConfigFolder() + "Bookmarks.Ini"; }

bool EnsureFolder(const std::string& folder) {
    std::string path;
    for (size_t i = 0; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') continue;
        path = folder.substr(0, i);
        if (path.empty()) continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st{};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace places

#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {
void FillFindData(const std::string& path, const struct stat& st, FindData& out) {
    out = FindData{};
    out.Attributes = S_ISDIR(st.st_mode) ? faDirectory : 0;
    if (::access(path.c_str(), W_OK) != 0) out.Attributes |= faReadOnly;
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    out.SizeHigh = static_cast<uint32_t>(size >> 32);
    out.SizeLow = static_cast<uint32_t>(size);
    out.CreationTime = st.st_ctim;
    out.LastAccessTime = st.st_atim;
    out.LastWriteTime = st.st_mtim;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    out.FileName = ExtractFileName(p);
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// "*" any run of bytes, "?" any one byte; everything else, "[" included,
// stands for itself.
bool WildcardMatch(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

bool FindWildcard(const std::string& path, FindData& out) {
    std::string folder = ExtractFilePath(path);
    std::string pattern = ExtractFileName(path);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return false;
    bool found = false;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (!WildcardMatch(pattern.c_str(), e->d_name)) continue;
        std::string match = folder + e->d_name;
        struct stat st{};
        if (::stat(match.c_str(), &st) == 0) {
            FillFindData(match, st, out);
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Repeated separators read as one.
std::string CollapseSeparators(std::string p) {
    p.erase(std::unique(p.begin(), p.end(), [](char a, char b) { return a == '/' && b == '/'; }), p.end());
    return p;
}
} // namespace

bool FindFirstFile(const std::string& path, FindData& out) {
    if (path.empty()) return false;
    // A search does not look inside a path that ends with a separator: like
    // the classic file search, "folder/" finds nothing and the caller retries
    // without the "/".
    if (path.size() > 1 && path.back() == '/') return false;
    // The name as given comes first: a file may well be called "a*b" or
    // "list[1].txt". Only a name that does not exist is a pattern.
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) {
        FillFindData(path, st, out);
        return true;
    }
    return HasWildcard(ExtractFileName(path)) && FindWildcard(path, out);
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    if (!path.empty() && path.back() == '/') return path;
    return path + "/";
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return CollapseSeparators(IncludeTrailingPathDelimiter(home));
    // No usable $HOME (a service, a cleared environment): the account's own.
    std::vector<char> buf(16384);
    struct passwd pw{};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return CollapseSeparators(IncludeTrailingPathDelimiter(found->pw_dir));
    return {};
}

std::string WindowsDirectory() {
    // A relative $XDG_CONFIG_HOME is invalid and ignored, as the base
    // directory rules say: it would move with the current folder.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return CollapseSeparators(IncludeTrailingPathDelimiter(xdg));
    std::string home = HomeDirectory();
    return home.empty() ? std::string() : home + ".config/";
}

std::string SystemDirectory() { return "/etc/"; }

std::string TempDirectory() {
    const char* t = std::getenv("TMPDIR");
    if (t && *t) return IncludeTrailingPathDelimiter(t);
    return "/tmp/";
}

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return {};
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::string SearchPath(const std::string& fileName) {
    std::vector<std::string> dirs;
    dirs.push_back(ExtractFilePath(ExecutablePath()));
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) dirs.push_back(IncludeTrailingPathDelimiter(cwd));
    dirs.push_back(WindowsDirectory());
    dirs.push_back(SystemDirectory());
    if (const char* p = std::getenv("PATH")) {
        std::string all(p);
        size_t start = 0;
        while (start <= all.size()) {
            size_t end = all.find(':', start);
            if (end == std::string::npos) end = all.size();
            if (end > start) dirs.push_back(IncludeTrailingPathDelimiter(all.substr(start, end - start)));
            start = end + 1;
        }
    }
    for (const auto& d : dirs) {
        if (d.empty()) continue;
        std::string candidate = d + fileName;
        struct stat st{};
        if (::stat(candidate.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            char real[PATH_MAX];
            if (::realpath(candidate.c_str(), real)) return real;
            return candidate;
        }
    }
    return {};
}

int GetDriveType(const std::string& path) {
    std::string p = path.empty() ? std::string("/") : path;  // "/" less its separator
    struct stat st{};
    if (::stat(p.c_str(), &st) != 0) return DRIVE_NO_ROOT_DIR;
    struct statvfs vfs{};
    if (::statvfs(p.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY)) return DRIVE_CDROM;
    if (S_ISDIR(st.st_mode) && ::access(p.c_str(), W_OK) != 0) return DRIVE_CDROM;
    return DRIVE_FIXED;
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (DirectoryExists(p)) return true;
    std::string parent = ExtractFilePath(p);
    if (!parent.empty() && parent != p && parent != "/") ForceDirectories(parent);
    return ::mkdir(p.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string ExtractFilePath(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool GetFileTimes(const std::string& path, timespec& access, timespec& modification) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
    access = st.st_atim;
    modification = st.st_mtim;
    return true;
}

bool SetFileTimes(const std::string& path, const timespec& access, const timespec& modification) {
    timespec times[2] = {access, modification};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

} // namespace platform

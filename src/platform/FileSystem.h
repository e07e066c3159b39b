#pragma once
// File and directory queries, mapped from the program's classic file
// services onto POSIX: "/" separates paths, a trailing "/" marks a folder.
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faVolumeId = 0x08;
constexpr uint32_t faDirectory = 0x10;

// One found directory entry (the find data of a directory search).
struct FindData {
    uint32_t Attributes = 0;     // faDirectory, faReadOnly (the user may not write it)
    uint32_t SizeHigh = 0;
    uint32_t SizeLow = 0;
    timespec CreationTime{};     // Linux keeps none: the status change time
    timespec LastAccessTime{};
    timespec LastWriteTime{};
    std::string FileName;        // the entry's own name, without folder
    int64_t Size() const { return (int64_t(SizeHigh) << 32) | SizeLow; }
};

// Looks the path up exactly as given (never trimmed). Only when nothing has
// that name and its last element holds "*" or "?" do these wildcards find
// the first match ("[" is an ordinary character). True when found.
bool FindFirstFile(const std::string& path, FindData& out);

// The user's home folder ($HOME when absolute, else the account's home in
// the password database), with one trailing "/", or empty text.
std::string HomeDirectory();
// The user's configuration folder ($XDG_CONFIG_HOME when absolute, else the
// home folder's .config), with a trailing "/" and no doubled "/": what the
// program calls its Windows directory.
std::string WindowsDirectory();
// "/etc/": the system directory.
std::string SystemDirectory();
// $TMPDIR, else "/tmp/", with a trailing "/".
std::string TempDirectory();
// The running executable's full path.
std::string ExecutablePath();
// Looks for a file name in the executable's folder, the current folder, the
// configuration folder, the system folder, then every $PATH entry. Answers
// the full path of the first regular file found, or empty text.
std::string SearchPath(const std::string& fileName);

// Drive types as the program knows them: 1 no such place, 3 a fixed place
// that can be written, 5 a place that cannot be written (a read-only file
// system or no write permission), as a CD-ROM drive was.
constexpr int DRIVE_NO_ROOT_DIR = 1;
constexpr int DRIVE_FIXED = 3;
constexpr int DRIVE_CDROM = 5;
int GetDriveType(const std::string& path);

bool FileExists(const std::string& path);       // a regular file (or other non-folder)
bool DirectoryExists(const std::string& path);
bool DeleteFile(const std::string& path);
bool ForceDirectories(const std::string& path);
std::string ExtractFilePath(const std::string& path);  // up to and including the last "/"
std::string ExtractFileName(const std::string& path);
std::string IncludeTrailingPathDelimiter(const std::string& path);

// File times (access and modification; Linux has no settable creation time).
bool GetFileTimes(const std::string& path, timespec& access, timespec& modification);
bool SetFileTimes(const std::string& path, const timespec& access, const timespec& modification);

} // namespace platform

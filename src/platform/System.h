#pragma once
// System queries: memory, committed pages, the operating system's version,
// user and computer names, error texts and locale comparison.
#include <cstdint>
#include <string>

namespace platform {

// Memory status, 64-bit throughout.
struct MemoryStatus {
    uint64_t TotalPhys = 0;
    uint64_t AvailPhys = 0;   // MemAvailable of /proc/meminfo, else free RAM
    uint64_t TotalSwap = 0;
    uint64_t AvailSwap = 0;
};
MemoryStatus GlobalMemoryStatus();

// Memory and swap that a new block can take now, within the process's
// control group limit.
uint64_t CommittableMemory();
// Committed, zeroed pages; nullptr with ENOMEM when they cannot be held now.
void* VirtualAlloc(uint64_t size);
// The size of the mapping made by VirtualAlloc that holds the address,
// counted from the page of the address to its end; 0 for none.
uint64_t VirtualQuery(const void* address);
// Unmaps size bytes from the address (the whole mapping when size is 0).
bool VirtualFree(void* address, uint64_t size);

// The operating system's version in the classic form: the NT family (2)
// with the name " Linux", the kernel's major and minor, its third number as
// the build, and PRETTY_NAME of /etc/os-release as the service-pack text.
struct OSVersionInfo {
    int PlatformId = 2;
    std::string Name = " Linux";
    int Major = 0;
    int Minor = 0;
    int Build = 0;
    std::string CSDVersion;
};
OSVersionInfo GetVersionEx();

// The name of the user the process runs as, asked with a buffer of
// bufferSize characters: false (errno ERANGE) when the buffer is too small.
bool GetUserName(size_t bufferSize, std::string& out);
// The user name of the process's user id, from the password database or the
// number itself.
std::string ProcessUserName();
bool GetComputerName(std::string& out);

// The calling thread's last error code (errno).
int GetLastError();
// The text of an error code in Czech when such a locale is installed;
// false when there is none (the caller shows "Unknown error").
bool SystemErrorText(int code, std::string& out);

// Locale comparison in the user's locale (strcoll) with the classic flags.
constexpr unsigned NORM_IGNORECASE = 0x0001;
constexpr unsigned NORM_IGNORENONSPACE = 0x0002;
constexpr unsigned NORM_IGNORESYMBOLS = 0x0004;
// Answers 1 (less), 2 (equal) or 3 (greater), as the classic call did.
int CompareString(unsigned flags, const std::string& a, const std::string& b);

} // namespace platform

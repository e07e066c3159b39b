#include "platform/System.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <locale.h>
#include <map>
#include <mutex>
#include <pwd.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace platform {

MemoryStatus GlobalMemoryStatus() {
    MemoryStatus ms;
    struct sysinfo si{};
    if (::sysinfo(&si) == 0) {
        ms.TotalPhys = uint64_t(si.totalram) * si.mem_unit;
        ms.AvailPhys = uint64_t(si.freeram) * si.mem_unit;
        ms.TotalSwap = uint64_t(si.totalswap) * si.mem_unit;
        ms.AvailSwap = uint64_t(si.freeswap) * si.mem_unit;
    }
    std::ifstream f("/proc/meminfo");
    std::string key;
    uint64_t kb;
    std::string unit;
    while (f >> key >> kb) {
        std::getline(f, unit);
        if (key == "MemAvailable:") {
            ms.AvailPhys = kb * 1024;
            break;
        }
    }
    return ms;
}

namespace {
std::mutex g_pagesMutex;
std::map<uintptr_t, uint64_t> g_pages;  // start -> length of our mappings
uint64_t PageSize() { return static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)); }
} // namespace

uint64_t CommittableMemory() {
    MemoryStatus ms = GlobalMemoryStatus();
    uint64_t room = ms.AvailPhys + ms.AvailSwap;
    // A control group's limit (a container, a user slice) ends the process
    // long before the machine runs out.
    std::ifstream cg("/proc/self/cgroup");
    std::string line;
    while (std::getline(cg, line)) {
        if (line.rfind("0::", 0) != 0) continue;
        std::string dir = "/sys/fs/cgroup" + line.substr(3);
        uint64_t max = 0, current = 0;
        std::ifstream fmax(dir + "/memory.max"), fcur(dir + "/memory.current");
        if ((fmax >> max) && (fcur >> current)) room = std::min(room, max > current ? max - current : 0);
    }
    return room;
}

void* VirtualAlloc(uint64_t size) {
    if (size == 0) {
        errno = EINVAL;
        return nullptr;
    }
    // Linux hands out address space freely and kills the process that later
    // touches more than there is: a block is only given when it can be held
    // now, and it is accounted as committed (no MAP_NORESERVE).
    if (size > CommittableMemory()) {
        errno = ENOMEM;
        return nullptr;
    }
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    uint64_t ps = PageSize();
    std::lock_guard<std::mutex> lock(g_pagesMutex);
    g_pages[reinterpret_cast<uintptr_t>(p)] = (size + ps - 1) / ps * ps;
    return p;
}

uint64_t VirtualQuery(const void* address) {
    if (!address) return 0;
    auto a = reinterpret_cast<uintptr_t>(address);
    std::lock_guard<std::mutex> lock(g_pagesMutex);
    auto it = g_pages.upper_bound(a);
    if (it == g_pages.begin()) return 0;
    --it;
    if (a >= it->first + it->second) return 0;
    uint64_t page = a & ~(PageSize() - 1);
    return it->first + it->second - page;
}

bool VirtualFree(void* address, uint64_t size) {
    auto a = reinterpret_cast<uintptr_t>(address);
    std::lock_guard<std::mutex> lock(g_pagesMutex);
    auto it = g_pages.find(a);
    if (it == g_pages.end()) return false;
    uint64_t len = it->second;
    if (size == 0 || size > len) size = len;
    uint64_t ps = PageSize();
    size = (size + ps - 1) / ps * ps;
    if (::munmap(address, size) != 0) return false;
    if (size >= len) {
        g_pages.erase(it);
    } else {
        g_pages.erase(it);
        g_pages[a + size] = len - size;
    }
    return true;
}

OSVersionInfo GetVersionEx() {
    OSVersionInfo v;
    struct utsname u{};
    if (::uname(&u) == 0) std::sscanf(u.release, "%d.%d.%d", &v.Major, &v.Minor, &v.Build);
    std::ifstream f("/etc/os-release");
    std::string line;
    while (std::getline(f, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            std::string val = line.substr(12);
            if (val.size() >= 2 && (val.front() == '"' || val.front() == '\'') && val.back() == val.front())
                val = val.substr(1, val.size() - 2);
            v.CSDVersion = val;
        }
    }
    return v;
}

bool GetUserName(size_t bufferSize, std::string& out) {
    std::string name = ProcessUserName();
    if (name.empty()) {
        errno = ENOENT;
        return false;
    }
    if (name.size() + 1 > bufferSize) {
        errno = ERANGE;
        return false;
    }
    out = name;
    return true;
}

std::string ProcessUserName() {
    uid_t uid = ::geteuid();
    struct passwd pw{};
    struct passwd* res = nullptr;
    char buf[4096];
    if (::getpwuid_r(uid, &pw, buf, sizeof buf, &res) == 0 && res && res->pw_name) return res->pw_name;
    return std::to_string(uid);
}

bool GetComputerName(std::string& out) {
    char buf[256];
    if (::gethostname(buf, sizeof buf) != 0) return false;
    buf[sizeof buf - 1] = 0;
    out = buf;
    return true;
}

int GetLastError() { return errno; }

bool SystemErrorText(int code, std::string& out) {
    static locale_t cz = newlocale(LC_MESSAGES_MASK, "cs_CZ.UTF-8", static_cast<locale_t>(0));
    if (!cz) return false;
    const char* t = ::strerror_l(code, cz);
    if (!t || !*t) return false;
    out = t;
    return true;
}

namespace {
std::string Fold(const std::string& s, unsigned flags) {
    std::string r;
    r.reserve(s.size());
    for (unsigned char c : s) {
        if ((flags & NORM_IGNORESYMBOLS) && c < 128 && (std::ispunct(c) || std::isspace(c))) continue;
        if ((flags & NORM_IGNORECASE) && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
        r += static_cast<char>(c);
    }
    return r;
}
} // namespace

int CompareString(unsigned flags, const std::string& a, const std::string& b) {
    static locale_t user = newlocale(LC_COLLATE_MASK, "", static_cast<locale_t>(0));
    std::string fa = Fold(a, flags), fb = Fold(b, flags);
    int r;
    if (user) {
        r = ::strcoll_l(fa.c_str(), fb.c_str(), user);
        if (r == 0 && !(flags & NORM_IGNORECASE)) r = std::strcmp(fa.c_str(), fb.c_str());
    } else {
        r = std::strcmp(fa.c_str(), fb.c_str());
    }
    return r < 0 ? 1 : r == 0 ? 2 : 3;
}

} // namespace platform

#include "settings/SysServices.h"

#include "platform/MessageBox.h"
#include "platform/SysUtils.h"
#include "platform/System.h"

#include <cerrno>
#include <cstring>

namespace settings {

using platform::TVariant;

int MsgBox(const TVariant& text, const TVariant& caption, unsigned flags) {
    return platform::MessageBoxService().Show(text.AsString(), caption.AsString(), flags | platform::MB_TASKMODAL);
}

int ShowSystemError(int code) {
    if (code < 0) code = platform::GetLastError();
    std::string text;
    if (!platform::SystemErrorText(code, text)) text = "Unknown error";
    return MsgBox(text + " - " + std::to_string(code), "System error", 0);
}

std::string GetWindowsDir() {
    std::string dir = platform::WindowsDirectory();
    if (dir.empty()) return {};
    return platform::IncludeTrailingPathDelimiter(dir);
}

bool FileFound(const TVariant& path, int mode) {
    try {
        if (!path.IsText()) return false;
        std::string p = path.AsString();
        if (p.empty()) return false;
        platform::FindData fd;
        if (!platform::FindFirstFile(p, fd)) return false;
        if (mode == 1 && fd.SizeHigh == 0 && fd.SizeLow == 0) return false;
        if (fd.Attributes & (platform::faDirectory | platform::faVolumeId)) return false;
        return true;
    } catch (...) {
        return false;
    }
}

bool FindEntry(const TVariant& path, platform::FindData& data, unsigned options) {
    if (!path.IsText()) return false;
    // The name as given: blanks at its ends are part of it.
    std::string p = path.AsString();
    if (p.empty()) return false;
    bool found = platform::FindFirstFile(p, data);
    if (!found) {
        if (p.back() != '/') return false;
        p.pop_back();
        found = platform::FindFirstFile(p, data);
        if (!found) {
            // A root given with its separator ("/" here) exists without
            // being found by a search: it counts as found, data untouched.
            if (p.size() < 3 && platform::GetDriveType(p) > platform::DRIVE_NO_ROOT_DIR) return true;
            return false;
        }
    }
    bool isDir = (data.Attributes & platform::faDirectory) != 0;
    if ((options & 1) && isDir) return false;
    if ((options & 2) && !isDir) return false;
    return true;
}

int64_t MemoryBudget(int percent) {
    if (percent == 0) percent = 10;
    if (percent > 100) percent = 100;
    if (percent < 0) percent = 10;
    uint64_t avail = platform::GlobalMemoryStatus().AvailPhys;
    // avail * percent / 100, rounded to the nearest with halves to even.
    unsigned __int128 q = static_cast<unsigned __int128>(avail) * static_cast<unsigned>(percent);
    uint64_t whole = static_cast<uint64_t>(q / 100);
    uint64_t rest = static_cast<uint64_t>(q % 100);
    if (rest > 50 || (rest == 50 && (whole & 1))) ++whole;
    return static_cast<int64_t>(whole);
}

void* AllocPages(int fill, int64_t size) {
    if (size < 1) return nullptr;
    void* p = platform::VirtualAlloc(static_cast<uint64_t>(size));
    if (!p) {
        ShowSystemError(-1);
        return nullptr;
    }
    if (fill > 0) std::memset(p, fill & 0xFF, static_cast<size_t>(size));
    return p;
}

int64_t PagesSize(const void* address) {
    if (!address) return 0;
    return static_cast<int64_t>(platform::VirtualQuery(address));
}

bool FreePages(void*& address, int64_t size) {
    if (!address) return true;
    // Decommitting part of a block and then releasing all of it leaves the
    // same as releasing all of it at once: the size changes nothing here.
    (void)size;
    void* a = address;
    address = nullptr;
    if (PagesSize(a) == 0) return false;  // not a block of ours
    return platform::VirtualFree(a, 0);
}

} // namespace settings

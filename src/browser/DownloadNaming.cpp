#include "browser/DownloadNaming.h"

#include "platform/Exception.h"

#include <cstdio>
#include <sys/stat.h>

namespace browser {

std::string SafeDownloadName(const std::string& suggested) {
    std::string name = suggested;
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    std::string clean;
    for (unsigned char c : name)
        if (c >= 32 && c != 127) clean += static_cast<char>(c);
    size_t start = clean.find_first_not_of(". ");
    size_t end = clean.find_last_not_of(' ');
    clean = start == std::string::npos ? std::string() : clean.substr(start, end - start + 1);
    return clean.empty() ? "download" : clean;
}

std::string NumberedName(const std::string& name, int n) {
    if (n <= 0) return name;
    size_t dot = name.rfind('.');
    // Only a short word after the last dot is an extension ("v1.2 notes"
    // has none); a compressed archive keeps its two-part one together.
    if (dot != std::string::npos &&
        (name.size() - dot > 10 || name.find(' ', dot) != std::string::npos))
        dot = std::string::npos;
    if (dot != std::string::npos && dot >= 4 && name.compare(dot - 4, 4, ".tar") == 0) dot -= 4;
    if (dot == std::string::npos || dot == 0) dot = name.size();
    return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

std::string FreeDownloadPath(const std::string& folder, const std::string& name, const std::set<std::string>& taken) {
    auto exists = [](const std::string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0;
    };
    for (int n = 0; n < 10000; ++n) {
        std::string path = folder + NumberedName(name, n);
        if (!taken.count(path) && !exists(path) && !exists(path + ".wkdownload")) return path;
    }
    throw platform::Exception("Cannot save " + name + " in " + folder + ": too many files of that name");
}

std::string SizeText(uint64_t bytes) {
    char buf[64];
    const double b = static_cast<double>(bytes);
    if (bytes < 1024)
        std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
    else if (bytes < 1024ull * 1024)
        std::snprintf(buf, sizeof buf, "%.1f KB", b / 1024);
    else if (bytes < 1024ull * 1024 * 1024)
        std::snprintf(buf, sizeof buf, "%.1f MB", b / (1024.0 * 1024));
    else
        std::snprintf(buf, sizeof buf, "%.2f GB", b / (1024.0 * 1024 * 1024));
    return buf;
}

std::string DownloadProgressText(const std::string& name, uint64_t received, uint64_t total, double seconds) {
    std::string text = "Downloading " + name + ": ";
    if (total > 0 && received <= total) {
        text += std::to_string(received * 100 / total) + "% of " + SizeText(total);
    } else {
        text += SizeText(received);
    }
    if (seconds > 0) text += ", " + SizeText(static_cast<uint64_t>(received / seconds)) + "/s";
    return text;
}

} // namespace browser

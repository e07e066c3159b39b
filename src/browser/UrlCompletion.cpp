#include "browser/UrlCompletion.h"

#include "platform/SysUtils.h"

#include <cctype>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace browser {

bool HasUrlScheme(const std::string& text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    size_t i = 1;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isalnum(c) || c == '+' || c == '-' || c == '.') {
            ++i;
            continue;
        }
        break;
    }
    if (i >= text.size() || text[i] != ':') return false;
    // "name:digits" followed by nothing or the start of a path, query or
    // fragment is a host with its port.
    size_t j = i + 1;
    size_t digits = 0;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j, ++digits;
    if (digits > 0 && (j == text.size() || text[j] == '/' || text[j] == '?' || text[j] == '#')) return false;
    return true;
}

std::string FileUrlOf(const std::string& absolutePath) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : absolutePath) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

static bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string CompleteUrl(const std::string& text) {
    std::string t = platform::Trim(text);
    if (t.empty()) return "about:blank";
    if (HasUrlScheme(t)) return t;
    if (t[0] == '/') return FileUrlOf(t);
    if (Exists(t)) {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) {
            std::string abs = cwd;
            if (abs.back() != '/') abs += '/';
            if (t.rfind("./", 0) == 0) t.erase(0, 2);
            return FileUrlOf(abs + t);
        }
    }
    return "http://" + t;
}

} // namespace browser

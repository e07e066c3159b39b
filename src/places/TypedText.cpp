#include "places/TypedText.h"

#include "platform/Variant.h"
#include "settings/SettingsText.h"

#include <arpa/inet.h>
#include <cctype>
#include <netdb.h>
#include <sys/socket.h>

namespace places {

namespace {

bool Blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && Blank(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && Blank(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

bool IsIPv4(const std::string& host) {
    in_addr a{};
    return inet_pton(AF_INET, host.c_str(), &a) == 1;
}

// Letters, digits and "-" in labels between dots; bytes past ASCII are
// taken as parts of a name in another script.
bool HostChars(const std::string& host) {
    if (host.empty() || host.front() == '.') return false;
    for (unsigned char c : host)
        if (!(std::isalnum(c) || c == '-' || c == '.' || c >= 0x80)) return false;
    return host.find("..") == std::string::npos;
}

bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (unsigned char c : s)
        if (!std::isdigit(c)) return false;
    return true;
}

} // namespace

std::string SearchTemplate(platform::TStrings* settings) {
    if (!settings) return DefaultSearchTemplate;
    std::string t = settings::ReadValue(settings, SearchSection, SearchKey, platform::TVariant(std::string()), -1,
                                        settings::rvToEndOfLine)
                        .AsString();
    return t.find("%s") == std::string::npos ? DefaultSearchTemplate : t;
}

std::string SearchUrl(const std::string& words, const std::string& searchTemplate) {
    static const char* hex = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : words) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            encoded += char(c);
        } else if (c == ' ' || c == '\t') {
            // A run of blanks is one gap between words.
            if (encoded.empty() || encoded.back() != '+') encoded += '+';
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    std::string t = searchTemplate.find("%s") == std::string::npos ? DefaultSearchTemplate : searchTemplate;
    size_t at = t.find("%s");
    return t.substr(0, at) + encoded + t.substr(at + 2);
}

bool StartsWithScheme(const std::string& text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    size_t i = 1;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                               text[i] == '-' || text[i] == '.'))
        ++i;
    if (i >= text.size() || text[i] != ':') return false;
    size_t j = i + 1;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    if (j > i + 1 && (j == text.size() || text[j] == '/' || text[j] == '?' || text[j] == '#')) return false;
    return true;
}

TTypedText ReadTypedText(const std::string& typed, const std::string& searchTemplate,
                         const THostResolves& resolves) {
    std::string t = Trim(typed);
    if (t.empty()) return {};
    auto search = [&] { return TTypedText{TTypedKind::Search, SearchUrl(t, searchTemplate)}; };
    auto address = [&] { return TTypedText{TTypedKind::Address, t}; };
    bool blanks = false;
    for (unsigned char c : t) blanks = blanks || Blank(c);
    // "name:" with a scheme of letters: "mailto:x", "about:blank". A word
    // and a colon followed by words ("note: buy milk") is a search.
    if (StartsWithScheme(t)) {
        size_t colon = t.find(':');
        if (!blanks || t.compare(colon, 3, "://") == 0) return address();
        return search();
    }
    if (blanks) return search();
    if (t[0] == '/' || t.rfind("./", 0) == 0 || t.rfind("../", 0) == 0 || t.rfind("~/", 0) == 0) return address();
    // The host: before the path, query or fragment, after any user name,
    // without its port.
    std::string host = t.substr(0, t.find_first_of("/?#"));
    if (size_t at = host.rfind('@'); at != std::string::npos) host = host.substr(at + 1);
    if (!host.empty() && host[0] == '[') {
        // An IPv6 address in brackets.
        size_t close = host.find(']');
        if (close == std::string::npos) return search();
        in6_addr a{};
        return inet_pton(AF_INET6, host.substr(1, close - 1).c_str(), &a) == 1 ? address() : search();
    }
    if (size_t colon = host.rfind(':'); colon != std::string::npos) {
        if (!AllDigits(host.substr(colon + 1))) return search();
        host = host.substr(0, colon);
    }
    std::string lower;
    for (unsigned char c : host) lower += char(std::tolower(c));
    if (lower == "localhost" || (lower.size() > 10 && lower.compare(lower.size() - 10, 10, ".localhost") == 0))
        return address();
    if (IsIPv4(host)) return address();
    if (!HostChars(host)) return search();
    if (host.find('.') != std::string::npos) {
        // "3.14" is a number, "x.y.12" no host: the last label has a letter.
        std::string name = host.back() == '.' ? host.substr(0, host.size() - 1) : host;  // "example.org." too
        size_t dot = name.rfind('.');
        if (dot == std::string::npos) return resolves && resolves(name) ? address() : search();
        return AllDigits(name.substr(dot + 1)) ? search() : address();
    }
    // A single word: a host only when something answers to that name. A
    // path or port after it says it was meant as a host too.
    if (host.size() != t.size() && t.size() > host.size() + 1) return address();
    return resolves && resolves(host) ? address() : search();
}

bool SystemResolves(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* result = nullptr;
    int rc = getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (result) freeaddrinfo(result);
    return rc == 0;
}

} // namespace places

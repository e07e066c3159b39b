#include "filters/UrlPattern.h"

#include <cctype>
#include <cstring>

namespace filters {

namespace {

// A separator: anything but a letter, a digit or one of "_-.%".
constexpr const char* Separator = "[^-.%_a-zA-Z0-9]";
// The start of an address up to where a host name's labels begin.
constexpr const char* HostStart = "^[a-z][-+.a-z0-9]*://([^/?#]*\\.)?";

bool Ascii(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

void AppendLiteral(char c, std::string& out) {
    if (std::strchr(".+?()[]{}\\$|^*", c)) out += '\\';
    out += c;
}

} // namespace

std::vector<std::string> PatternToUrlFilters(std::string_view p, std::string& why) {
    if (!Ascii(p)) {
        why = "non-ASCII pattern";
        return {};
    }
    std::string head;
    bool host = false;
    if (p.substr(0, 2) == "||") {
        head = HostStart;
        host = true;
        p.remove_prefix(2);
    } else if (p.substr(0, 1) == "|") {
        head = "^";
        p.remove_prefix(1);
    }
    bool tail = false;
    if (!p.empty() && p.back() == '|') {
        tail = true;
        p.remove_suffix(1);
    }
    // Stars at an unanchored end add nothing to a search.
    if (head.empty())
        while (!p.empty() && p.front() == '*') p.remove_prefix(1);
    if (!tail)
        while (!p.empty() && p.back() == '*') p.remove_suffix(1);
    bool trailingSeparator = !p.empty() && p.back() == '^' && !tail;
    if (trailingSeparator) p.remove_suffix(1);
    if (host && p.empty()) {
        why = "empty host pattern";
        return {};
    }
    std::string body;
    bool slashSeen = false;
    for (char c : p) {
        if (c == '*') {
            if (body.size() < 2 || body.compare(body.size() - 2, 2, ".*") != 0) body += ".*";
        } else if (c == '^') {
            body += Separator;
        } else {
            if (c == '/' || c == '?' || c == '=') slashSeen = true;
            AppendLiteral(c, body);
        }
    }
    std::string base = head + body;
    if (tail) return {base + "$"};
    if (!trailingSeparator) return {base.empty() ? ".*" : base};
    // After a host name, the address always goes on with its port or path
    // (the engine writes "http://host" as "http://host/").
    if (host && !slashSeen) return {base + "[/:]"};
    return {base + Separator, base + "$"};
}

std::string RegexToUrlFilter(std::string_view r, std::string& why) {
    if (!Ascii(r)) {
        why = "non-ASCII regular expression";
        return {};
    }
    std::string out;
    bool inClass = false;
    bool quantifiable = false;  // the last token takes a quantifier
    int depth = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        char c = r[i];
        if (c == '\\') {
            if (i + 1 == r.size()) {
                why = "regular expression ends in a backslash";
                return {};
            }
            char n = r[++i];
            if (std::isalnum(static_cast<unsigned char>(n))) {
                why = "regular expression with a class escape (\\d, \\w, \\b, ...)";
                return {};
            }
            // "\/" is a plain slash; other escapes stay escaped.
            if (n == '/') {
                out += '/';
            } else {
                out += '\\';
                out += n;
            }
            quantifiable = !inClass;
            continue;
        }
        if (inClass) {
            out += c;
            if (c == ']') {
                inClass = false;
                quantifiable = true;
            }
            continue;
        }
        switch (c) {
        case '[':
            inClass = true;
            out += c;
            if (i + 1 < r.size() && r[i + 1] == '^') out += r[++i];
            if (i + 1 < r.size() && r[i + 1] == ']') out += r[++i];
            break;
        case '(':
            if (i + 1 < r.size() && r[i + 1] == '?') {
                why = "regular expression with a look-around or non-capturing group";
                return {};
            }
            ++depth;
            out += c;
            quantifiable = false;
            break;
        case ')':
            if (--depth < 0) {
                why = "unbalanced regular expression";
                return {};
            }
            out += c;
            quantifiable = true;
            break;
        case '*':
        case '+':
        case '?':
            if (!quantifiable) {
                why = "regular expression with a lazy or stacked quantifier";
                return {};
            }
            out += c;
            quantifiable = false;
            break;
        case '|':
            why = "regular expression with alternation";
            return {};
        case '{':
        case '}':
            why = "regular expression with a counted repeat";
            return {};
        case '^':
            if (i != 0) {
                why = "regular expression with ^ inside";
                return {};
            }
            out += c;
            break;
        case '$':
            if (i + 1 != r.size()) {
                why = "regular expression with $ inside";
                return {};
            }
            out += c;
            break;
        default:
            out += c;
            quantifiable = true;
        }
    }
    if (inClass || depth != 0) {
        why = "unbalanced regular expression";
        return {};
    }
    if (out.empty()) {
        why = "empty regular expression";
        return {};
    }
    return out;
}

} // namespace filters

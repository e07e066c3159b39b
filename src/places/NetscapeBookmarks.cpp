#include "places/NetscapeBookmarks.h"
#include "places/TextFold.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace places {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    return s.size() >= n && Lower(s.substr(0, n)) == prefix;
}

// A character reference to nothing valid (zero, a surrogate, past the
// last code point) becomes the replacement character.
void PutReferenced(uint32_t c, std::string& out) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    PutUtf8(c, out);
}

struct TTag {
    std::string Name;  // lower case, "/" first for an end tag
    std::map<std::string, std::string> Attributes;  // names in lower case, values unescaped
};

// The tag that starts at html[pos] ("<"); pos moves past its ">".
TTag ReadTag(const std::string& html, size_t& pos) {
    TTag tag;
    size_t i = pos + 1;
    size_t n = html.size();
    size_t nameStart = i;
    while (i < n && !std::isspace(static_cast<unsigned char>(html[i])) && html[i] != '>') ++i;
    tag.Name = Lower(html.substr(nameStart, i - nameStart));
    while (i < n && html[i] != '>') {
        while (i < n && std::isspace(static_cast<unsigned char>(html[i]))) ++i;
        size_t a = i;
        while (i < n && html[i] != '=' && html[i] != '>' && !std::isspace(static_cast<unsigned char>(html[i]))) ++i;
        std::string name = Lower(html.substr(a, i - a));
        while (i < n && std::isspace(static_cast<unsigned char>(html[i]))) ++i;
        std::string value;
        if (i < n && html[i] == '=') {
            ++i;
            while (i < n && std::isspace(static_cast<unsigned char>(html[i]))) ++i;
            if (i < n && (html[i] == '"' || html[i] == '\'')) {
                char quote = html[i++];
                size_t v = i;
                while (i < n && html[i] != quote) ++i;
                value = html.substr(v, i - v);
                if (i < n) ++i;
            } else {
                size_t v = i;
                while (i < n && html[i] != '>' && !std::isspace(static_cast<unsigned char>(html[i]))) ++i;
                value = html.substr(v, i - v);
            }
        }
        if (!name.empty()) tag.Attributes[name] = HtmlUnescape(value);
        if (name.empty() && i < n && html[i] != '>') ++i;  // a stray character
    }
    pos = i < n ? i + 1 : n;
    return tag;
}

// The text up to the element's end tag (</a>, </h3>), unescaped; pos moves
// past the end tag.
std::string ReadTextUntil(const std::string& html, size_t& pos, const char* endTag) {
    std::string lower;
    size_t end = pos;
    std::string tag = endTag;
    while (end < html.size()) {
        end = html.find('<', end);
        if (end == std::string::npos) break;
        if (Lower(html.substr(end, tag.size())) == tag) break;
        ++end;
    }
    if (end == std::string::npos) end = html.size();
    std::string raw = html.substr(pos, end - pos);
    pos = end < html.size() ? std::min(html.size(), html.find('>', end) + 1) : end;
    // Tags inside the text (a browser never writes them, a person might)
    // are left out.
    std::string text;
    bool inTag = false;
    for (char c : raw) {
        if (c == '<') inTag = true;
        else if (c == '>' && inTag) inTag = false;
        else if (!inTag) text += c;
    }
    return HtmlUnescape(text);
}

int64_t ToInt(const std::string& s) {
    int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() ? v : 0;
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

} // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string HtmlUnescape(const std::string& text) {
    static const std::map<std::string, uint32_t> names = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        size_t semi = text.find(';', i);
        if (semi == std::string::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        std::string entity = text.substr(i + 1, semi - i - 1);
        uint32_t code = 0;
        bool known = false;
        if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            std::string digits = entity.substr(hex ? 2 : 1);
            auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            known = !digits.empty() && ec == std::errc() && p == digits.data() + digits.size();
        } else if (auto it = names.find(Lower(entity)); it != names.end()) {
            code = it->second;
            known = true;
        }
        if (!known) {
            out += '&';
            continue;
        }
        PutReferenced(code, out);
        i = semi;
    }
    return out;
}

std::vector<TBookmark> ParseNetscapeBookmarks(const std::string& html, std::vector<std::string>* paths) {
    std::vector<TBookmark> out;
    std::vector<std::string> folders;
    // Which DL lists opened a folder: a DL after an H3 holds that folder,
    // any other DL (the outermost one) none.
    std::vector<bool> dlOpensFolder;
    std::string pendingFolder;
    bool havePending = false;
    size_t pos = 0;
    while ((pos = html.find('<', pos)) != std::string::npos) {
        if (html.compare(pos, 4, "<!--") == 0) {
            size_t end = html.find("-->", pos + 4);
            pos = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        TTag tag = ReadTag(html, pos);
        if (tag.Name == "h3") {
            pendingFolder = Trim(ReadTextUntil(html, pos, "</h3"));
            havePending = true;
        } else if (tag.Name == "dl") {
            dlOpensFolder.push_back(havePending);
            if (havePending) {
                folders.push_back(pendingFolder);
                const std::string path = JoinFolder(folders);
                if (paths && std::find(paths->begin(), paths->end(), path) == paths->end()) paths->push_back(path);
            }
            havePending = false;
        } else if (tag.Name == "/dl") {
            if (!dlOpensFolder.empty()) {
                if (dlOpensFolder.back() && !folders.empty()) folders.pop_back();
                dlOpensFolder.pop_back();
            }
            havePending = false;
        } else if (tag.Name == "a") {
            TBookmark b;
            b.Address = tag.Attributes["href"];
            b.Added = ToInt(tag.Attributes["add_date"]);
            b.Title = Trim(ReadTextUntil(html, pos, "</a"));
            b.Folder = JoinFolder(folders);
            havePending = false;
            if (b.Address.empty() || StartsWithNoCase(b.Address, "place:")) continue;
            out.push_back(std::move(b));
        }
    }
    return out;
}

std::string FormatNetscapeBookmarks(const std::vector<TBookmark>& bookmarks, const std::vector<std::string>& folders) {
    // The folder tree in the order folders first appear; each folder lists
    // its bookmarks, then its subfolders.
    struct TNode {
        std::string Name;
        std::vector<const TBookmark*> Items;
        std::vector<size_t> Children;
    };
    std::vector<TNode> nodes(1);
    auto nodeOf = [&](const std::string& folder) {
        size_t at = 0;
        for (const auto& name : SplitFolder(folder)) {
            size_t found = 0;
            for (size_t c : nodes[at].Children)
                if (nodes[c].Name == name) found = c;
            if (found == 0) {
                nodes.push_back({name, {}, {}});
                found = nodes.size() - 1;
                nodes[at].Children.push_back(found);
            }
            at = found;
        }
        return at;
    };
    for (const auto& b : bookmarks) {
        size_t at = nodeOf(b.Folder);
        nodes[at].Items.push_back(&b);
    }
    for (const auto& folder : folders) nodeOf(folder);
    std::string out =
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
        "<!-- This is an automatically generated file.\n"
        "     It will be read and overwritten.\n"
        "     DO NOT EDIT! -->\n"
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
        "<TITLE>Bookmarks</TITLE>\n"
        "<H1>Bookmarks</H1>\n";
    auto write = [&](auto&& self, size_t node, int depth) -> void {
        std::string indent(size_t(depth) * 4, ' ');
        out += indent + "<DL><p>\n";
        for (const TBookmark* b : nodes[node].Items)
            out += indent + "    <DT><A HREF=\"" + HtmlEscape(b->Address) + "\" ADD_DATE=\"" + std::to_string(b->Added) +
                   "\">" + HtmlEscape(b->Title) + "</A>\n";
        for (size_t c : nodes[node].Children) {
            out += indent + "    <DT><H3>" + HtmlEscape(nodes[c].Name) + "</H3>\n";
            self(self, c, depth + 1);
        }
        out += indent + "</DL><p>\n";
    };
    write(write, 0, 0);
    return out;
}

} // namespace places

#include "places/Session.h"

#include "platform/SafeSave.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace places {

namespace {

constexpr const char* kHeader = "QelSession 1";

std::string Escape(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string Unescape(const std::string& field, int line) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) throw ESessionError("line " + std::to_string(line) + ": a lone \\ at the end");
        switch (field[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: throw ESessionError("line " + std::to_string(line) + ": unknown escape \\" + field[i]);
        }
    }
    return out;
}

int Number(const std::string& text, int line) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        throw ESessionError("line " + std::to_string(line) + ": not a number: " + text);
    return std::stoi(text);
}

} // namespace

std::string SessionText(const TSession& session) {
    std::string out = std::string(kHeader) + "\n";
    out += std::string("clean ") + (session.clean ? "1" : "0") + "\n";
    out += "current " + std::to_string(session.current) + "\n";
    for (const TSessionTab& tab : session.tabs) out += "tab " + Escape(tab.url) + "\t" + Escape(tab.title) + "\n";
    return out;
}

TSession ParseSession(const std::string& text) {
    TSession session;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool sawHeader = false;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!sawHeader) {
            if (line != kHeader) throw ESessionError("line 1: not a session file");
            sawHeader = true;
            continue;
        }
        if (line.empty()) continue;
        size_t space = line.find(' ');
        std::string key = line.substr(0, space);
        std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "clean") {
            session.clean = Number(value, number) != 0;
        } else if (key == "current") {
            session.current = Number(value, number);
        } else if (key == "tab") {
            size_t tab = value.find('\t');
            TSessionTab t;
            t.url = Unescape(value.substr(0, tab), number);
            if (tab != std::string::npos) t.title = Unescape(value.substr(tab + 1), number);
            if (t.url.empty()) throw ESessionError("line " + std::to_string(number) + ": a tab without an address");
            session.tabs.push_back(t);
        }
        // Other records belong to later versions: passed over.
    }
    if (!sawHeader) throw ESessionError("the file is empty");
    if (session.tabs.empty() || session.current >= static_cast<int>(session.tabs.size())) session.current = 0;
    return session;
}

TSession LoadSession(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return {};
        throw ESessionError(path + ": " + std::strerror(errno));
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ESessionError(path + ": cannot be read");
    try {
        return ParseSession(text);
    } catch (const ESessionError& e) {
        throw ESessionError(path + ": " + e.what());
    }
}

void SaveSession(const std::string& path, const TSession& session) {
    std::string text = SessionText(session);
    platform::WriteWholeFile(path, text.data(), text.size());
}

std::string SessionFileFor(const std::string& settingsFile) {
    std::string base = settingsFile;
    size_t slash = base.rfind('/');
    size_t dot = base.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.erase(dot);
    return base + ".Session";
}

bool ShouldRestore(const TSession& session) {
    if (session.tabs.empty()) return false;
    return !session.clean || session.tabs.size() > 1;
}

} // namespace places

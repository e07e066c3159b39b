#pragma once
// A plain model of a text file: its lines, cut at the kind of the first line
// end (a lone LF: LF; else CR LF), and what an edit makes of them.
#include <string>
#include <vector>

namespace hdtest {

struct TLines {
    std::vector<std::string> lines;
    std::string end;
    bool open = false;  // the last line has no line end

    explicit TLines(const std::string& bytes) {
        size_t lf = bytes.find('\n');
        end = lf != std::string::npos && (lf == 0 || bytes[lf - 1] != '\r') ? "\n" : "\r\n";
        size_t start = 0, at;
        while ((at = bytes.find(end, start)) != std::string::npos) {
            lines.push_back(bytes.substr(start, at - start));
            start = at + end.size();
        }
        if (start < bytes.size()) {
            lines.push_back(bytes.substr(start));
            open = true;
        }
    }
    std::string Bytes() const {
        std::string out;
        for (size_t i = 0; i < lines.size(); ++i) out += lines[i] + (open && i + 1 == lines.size() ? "" : end);
        return out;
    }
    std::string Edited(const std::string& op, int n, const std::string& text) const {
        TLines edited = *this;
        if (op == "insert") {
            if (n < 0 || n > int(lines.size())) n = int(lines.size());
            if (n == int(lines.size())) edited.open = false;
            edited.lines.insert(edited.lines.begin() + n, text);
        } else if (op == "put") {
            if (n + 1 == int(lines.size())) edited.open = false;
            edited.lines[size_t(n)] = text;
        } else {
            if (n + 1 == int(lines.size())) edited.open = false;
            edited.lines.erase(edited.lines.begin() + n);
        }
        return edited.Bytes();
    }
};

} // namespace hdtest

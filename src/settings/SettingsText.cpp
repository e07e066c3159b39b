#include "settings/SettingsText.h"

#include "platform/Exception.h"
#include "platform/SysUtils.h"
#include "settings/SysServices.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace settings {

using platform::TStrings;
using platform::TVariant;

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// The first non-blank character of a line, or 0 for a blank line: enough to
// ask whether its trimmed text begins with "[" or ";" without copying it.
char FirstNonBlank(const std::string& s) {
    for (char c : s)
        if (!IsBlank(c)) return c;
    return 0;
}

bool StartsSection(const std::string& line, unsigned options) {
    if (options & fkHeaderInColumn1) {
        // Only right-trimmed: an indented "[" stays inside the section.
        std::string r = platform::TrimRight(line);
        return !r.empty() && r[0] == '[';
    }
    return FirstNonBlank(line) == '[';
}

// The section name as a header line: trimmed, with its brackets.
std::string NormalisedHeader(const std::string& section) {
    std::string name = platform::Trim(section);
    if (name.empty()) return name;
    if (name.front() != '[') name.insert(0, "[");
    if (name.back() != ']') name += ']';
    return name;
}

enum class ValueKind { Integer, Floating, Currency, Date, Text, Boolean, Unreadable };

ValueKind KindOf(int kind) {
    switch (kind) {
    case platform::varSmallint:
    case platform::varInteger:
    case platform::varDispatch:
    case platform::varError:
    case platform::varByte:
        return ValueKind::Integer;
    case platform::varSingle:
    case platform::varDouble:
        return ValueKind::Floating;
    case platform::varCurrency:
        return ValueKind::Currency;
    case platform::varDate:
        return ValueKind::Date;
    case platform::varOleStr:
    case platform::varStrArg:
    case platform::varString:
        return ValueKind::Text;
    case platform::varBoolean:
        return ValueKind::Boolean;
    default:
        return ValueKind::Unreadable;
    }
}

const char* const kBadKind = "Input data type is not correct";

// The value's text as the settings file keeps it.
std::string ValueText(const TVariant& value) {
    switch (value.Kind()) {
    case platform::varEmpty:
    case platform::varNull:
        return {};
    default:
        break;
    }
    switch (KindOf(value.Kind())) {
    case ValueKind::Integer:
        return platform::IntToStr(value.AsInteger());
    case ValueKind::Floating:
    case ValueKind::Date:
        return platform::FloatToStr(value.AsDouble());
    case ValueKind::Currency:
        return platform::CurrToStr(value.AsCurrency());
    case ValueKind::Text:
        return value.AsString();
    case ValueKind::Boolean:
        return value.AsBoolean() ? "1" : "0";
    case ValueKind::Unreadable:
        break;
    }
    MsgBox(kBadKind, "", 0);
    return {};
}

// A settings line cannot hold a line break or a zero byte: loading splits
// the line there, or ends the whole text at the zero, losing every line
// after it. Such characters in written text become blanks.
std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return s;
}

// 1-based column of the first ";" after the separator column, 0 for none.
size_t CommentColumn(const std::string& line, size_t separatorPos) {
    size_t p = line.find(';', separatorPos);
    return p == std::string::npos ? 0 : p + 1;
}

std::string ListKey(const std::string& key, int64_t n) { return key + "#" + std::to_string(n); }

std::string Folded(const std::string& s) { return platform::UpperCase(s); }

// The key lines of one section, by key, for the numbered lists: a list of n
// entries asks for n keys, and a scan from the top for each of them made a
// list of 10,000 URLs cost 10,000 full scans. The index answers what
// FindKey with options 0 answers: the first line whose key matches, with
// its separator column.
class SectionKeys {
public:
    // False when the section does not exist (or there is no list).
    bool Build(TStrings* list, const std::string& section) {
        int sep = 0;
        int r = FindKey(list, section, "", 0, start_, end_, sep, 0);
        found_ = r == -1 || (r == -2 && NormalisedHeader(section).empty());
        lines_.clear();
        if (!found_) return false;
        for (int i = start_; i < end_; ++i) {
            std::string line = list->Get(i);
            size_t at = line.find('=');
            if (at == std::string::npos) continue;
            std::string part = line.substr(0, at);
            std::string trimmed = platform::TrimRightBlanks(part);
            if (!trimmed.empty()) part = trimmed;
            lines_.emplace(Folded(part), Line{i, static_cast<int>(at) + 1});  // the first one stays
        }
        return true;
    }
    struct Line {
        int index;
        int separatorPos;
    };
    const Line* Find(const std::string& key) const {
        auto it = lines_.find(Folded(platform::Trim(key)));
        return it == lines_.end() ? nullptr : &it->second;
    }
    int End() const { return end_; }
    void Grew() { ++end_; }

private:
    bool found_ = false;
    int start_ = 0, end_ = 0;
    std::unordered_map<std::string, Line> lines_;
};

// The value of a found line as ReadValue takes a text: up to the first ";"
// after the separator, trimmed.
std::string TextValue(const std::string& line, int separatorPos) {
    size_t from = static_cast<size_t>(separatorPos);
    if (from > line.size()) return {};
    size_t semi = line.find(';', from);
    return platform::Trim(line.substr(from, (semi == std::string::npos ? line.size() : semi) - from));
}

// A key whose lines the index can stand for: one that cannot itself start
// a section or be split by a line end when it is written.
bool PlainListKey(const std::string& key) {
    return !key.empty() && FirstNonBlank(key) != '[' && OneLine(key) == key;
}

} // namespace

namespace {

// The old key line with the new value: the key as it was, and a trailing
// comment kept in its column when the new value leaves room.
std::string ReplacedValue(const std::string& old, int separatorPos, const std::string& text, unsigned options) {
    size_t keep = static_cast<size_t>(separatorPos);
    std::string line = old.substr(0, keep) + text;
    if (!(options & rvToEndOfLine)) {
        size_t p = CommentColumn(old, keep);
        if (p > 0) {
            if (line.size() < p - 1) line.append(p - 1 - line.size(), ' ');
            line += old.substr(p - 1);
        }
    }
    return line;
}

} // namespace

int FindKey(TStrings* list, const std::string& section, const std::string& key, int occurrence,
            int& sectionStart, int& sectionEnd, int& separatorPos, unsigned options) {
    separatorPos = 0;
    if (!list) return -3;
    sectionStart = 0;
    int count;
    try {
        count = list->GetCount();
    } catch (...) {
        return -3;
    }
    if (count < 0) return -3;
    sectionEnd = count;
    int result = -2;

    std::string header = NormalisedHeader(section);
    if (header.empty()) {
        // The file head: everything before the first header.
        for (int i = 0; i < count; ++i) {
            if (FirstNonBlank(list->Get(i)) == '[') {
                sectionEnd = i;
                result = -1;
                break;
            }
        }
    } else {
        sectionStart = -1;
        for (int i = 0; i < count; ++i) {
            std::string line = list->Get(i);
            if (FirstNonBlank(line) != '[') continue;
            if (platform::SameText(platform::Trim(line), header)) {
                result = -1;
                sectionStart = i + 1;
                break;
            }
        }
        if (result == -2) return -2;
        for (int i = sectionStart; i < count; ++i) {
            if (StartsSection(list->Get(i), options)) {
                sectionEnd = i;
                break;
            }
        }
    }

    std::string wanted = platform::Trim(key);
    if (wanted.empty()) return result;

    int remaining = occurrence;
    for (int i = sectionStart; i < sectionEnd; ++i) {
        std::string line = list->Get(i);
        if (options & fkLeftTrimKeys) line = platform::TrimLeft(line);
        if (line.empty()) continue;
        size_t sep = (options & fkColonSeparates) ? line.find_first_of("=:") : line.find('=');
        std::string part;
        if (sep != std::string::npos) {
            part = line.substr(0, sep);
        } else if (options & fkBareKeys) {
            part = line;
        } else {
            continue;
        }
        std::string trimmed = platform::TrimRightBlanks(part);
        if (!trimmed.empty()) part = trimmed;
        if (part.size() != wanted.size() || !platform::SameText(part, wanted)) continue;
        if (remaining >= 2) {
            --remaining;
            continue;
        }
        separatorPos = sep == std::string::npos ? 0 : static_cast<int>(sep) + 1;
        return i;
    }
    return result;
}

TVariant ReadValue(TStrings* list, const std::string& section, const std::string& key, const TVariant& defaultValue,
                   int kind, unsigned options, int occurrence) {
    int start = 0, end = 0, sep = 0;
    int index = FindKey(list, section, key, occurrence, start, end, sep, 0);
    if (index < 0) return defaultValue;

    ValueKind vk = KindOf(kind < 0 ? defaultValue.Kind() : kind);
    if (vk == ValueKind::Unreadable) {
        MsgBox(kBadKind, "", 0);
        return TVariant();
    }

    std::string line = list->Get(index);
    size_t from = static_cast<size_t>(sep);
    std::string value;
    if (from <= line.size()) {
        size_t to = line.size();
        if (!(options & rvToEndOfLine)) {
            size_t semi = line.find(';', from);
            if (semi != std::string::npos) to = semi;
        }
        value = line.substr(from, to - from);
    }

    switch (vk) {
    case ValueKind::Integer:
        return TVariant(static_cast<int>(platform::StrToInt(value)));
    case ValueKind::Floating:
    case ValueKind::Date:
        return TVariant(platform::StrToFloat(value));
    case ValueKind::Currency:
        return TVariant(platform::StrToCurr(value));
    case ValueKind::Boolean:
        return TVariant(value != "0");
    case ValueKind::Text:
    case ValueKind::Unreadable:
        break;
    }
    return TVariant(platform::Trim(value));
}

TVariant ReadValueOrDefault(TStrings* list, const std::string& file, const std::string& section,
                            const std::string& key, const TVariant& defaultValue) {
    try {
        return ReadValue(list, section, key, defaultValue);
    } catch (const platform::EConvertError& e) {
        MsgBox("Settings file \"" + file + "\", section [" + section + "], key " + key + ": " + e.what() +
                   ". The default " + ValueText(defaultValue) + " is used instead.",
               "Settings", 0x30 /* warning icon */);
        return defaultValue;
    }
}

bool WriteValue(TStrings* list, const std::string& section, const std::string& key, const TVariant& value,
                unsigned options, int occurrence) {
    int start = 0, end = 0, sep = 0;
    int index = FindKey(list, section, key, occurrence, start, end, sep, 0);
    if (index < -2) return false;

    std::string text = OneLine(ValueText(value));

    if (index < 0) {
        std::string line = OneLine(key) + "=" + text;
        std::string header = OneLine(NormalisedHeader(section));
        if (index == -2 && !header.empty()) {
            list->Add(header);
            list->Add(line);
        } else if (end >= list->GetCount()) {
            list->Add(line);
        } else {
            list->Insert(end, line);
        }
        return true;
    }

    list->Put(index, ReplacedValue(list->Get(index), sep, text, options));
    return true;
}

int ReadList(TStrings* list, const std::string& section, const std::string& key, TStrings& target,
             unsigned options) {
    // Appending to the list being read would change it under the index.
    SectionKeys keys;
    const bool indexed = list && &target != list && keys.Build(list, section);
    int n = 0;
    for (;; ++n) {
        std::string value;
        if (indexed) {
            if (const auto* line = keys.Find(ListKey(key, n))) value = TextValue(list->Get(line->index), line->separatorPos);
        } else {
            value = ReadValue(list, section, ListKey(key, n), TVariant(""), -1, 0, 0).AsString();
        }
        if (value.empty()) return n;
        platform::StringObject number = 0;
        if (options & rlWithIntegers) {
            size_t bar = value.rfind('|');
            if (bar != std::string::npos) {
                number = platform::StrToInt(platform::Trim(value.substr(bar + 1)));
                value = platform::Trim(value.substr(0, bar));
            }
        }
        target.AddObject(value, number);
    }
}

void WriteList(TStrings* list, const std::string& section, const std::string& key, TStrings& source,
               unsigned options) {
    if (!list) return;
    int count = source.GetCount();
    // The index stays true while the writes replace lines in place or add
    // them at the section's end; a section that is not there yet is made by
    // the first write, and indexed from then on.
    SectionKeys keys;
    bool indexed = &source != list && PlainListKey(key) && keys.Build(list, section);
    for (int i = 0; i < count; ++i) {
        std::string text = source.Get(i);
        if (options & rlWithIntegers)
            text += " | " + platform::IntToStr(static_cast<int64_t>(source.GetObject(i)));
        const std::string name = ListKey(key, i);
        const SectionKeys::Line* line = indexed ? keys.Find(name) : nullptr;
        if (line) {
            list->Put(line->index, ReplacedValue(list->Get(line->index), line->separatorPos, OneLine(text), 0));
        } else if (indexed) {
            std::string added = name + "=" + OneLine(text);
            if (keys.End() >= list->GetCount())
                list->Add(added);
            else
                list->Insert(keys.End(), added);
            keys.Grew();
        } else {
            WriteValue(list, section, name, TVariant(text), 0, 0);
            if (i == 0 && &source != list && PlainListKey(key)) indexed = keys.Build(list, section);
        }
    }
    if (options & rlKeepStale) return;
    DeleteListEntries(list, section, key, count, 9999999);
}

int DeleteListEntries(TStrings* list, const std::string& section, const std::string& key, int64_t from,
                      int64_t to) {
    if (!list) return 0;
    SectionKeys keys;
    int deleted = 0;
    if (PlainListKey(key) && keys.Build(list, section)) {
        // Which lines go is decided first; deleting from the bottom up keeps
        // the indexes of the others.
        std::vector<int> doomed;
        for (int64_t n = from; n <= to; ++n) {
            const auto* line = keys.Find(ListKey(key, n));
            if (!line) break;
            doomed.push_back(line->index);
        }
        std::sort(doomed.begin(), doomed.end());
        for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) list->Delete(*it);
        return static_cast<int>(doomed.size());
    }
    // Entries left from a longer list go, up to the first gap in their numbers.
    for (int64_t n = from; n <= to; ++n) {
        int start = 0, end = 0, sep = 0;
        int index = FindKey(list, section, ListKey(key, n), 0, start, end, sep, 0);
        if (index < 0) break;
        list->Delete(index);
        ++deleted;
    }
    return deleted;
}

std::string SectionKey(const std::string& section) { return platform::UpperCase(NormalisedHeader(section)); }

std::vector<platform::TStringList> SplitSections(platform::TStrings& list) {
    std::vector<platform::TStringList> sections;
    const int count = list.GetCount();
    for (int i = 0; i < count; ++i) {
        std::string line = list.Get(i);
        if (StartsSection(line, 0))
            sections.emplace_back();
        else if (sections.empty())
            continue;
        sections.back().Add(line);
    }
    return sections;
}

} // namespace settings

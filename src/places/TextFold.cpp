#include "places/TextFold.h"

#include <clocale>
#include <cstdint>
#include <locale.h>
#include <wctype.h>

namespace places {

namespace {

// Base letters of U+00C0 to U+017F ('.' keeps the character itself).
constexpr char LatinBase[] =
    "aaaaaa.ceeeeiiii.nooooo.ouuuuy.."
    "aaaaaa.ceeeeiiii.nooooo.ouuuuy.y"
    "aaaaaaccccccccddddeeeeeeeeeegggg"
    "gggghhhhiiiiiiiii...jjkk.llllll."
    ".llnnnnnn...oooooo..rrrrrrssssss"
    "ssttttttuuuuuuuuuuuuwwyyyzzzzzzs";

static_assert(sizeof(LatinBase) == 0x180 - 0xC0 + 1);

locale_t Utf8Locale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

bool CombiningMark(uint32_t c) {
    return (c >= 0x300 && c <= 0x36F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}


// The character at p, or -1 for a byte that starts none (p moves past it).
int32_t Decode(const unsigned char*& p, const unsigned char* end) {
    unsigned char b = *p;
    int length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || end - p < length) {
        ++p;
        return -1;
    }
    uint32_t c = b & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            ++p;
            return -1;
        }
        c = c << 6 | (p[i] & 0x3F);
    }
    p += length;
    return int32_t(c);
}

} // namespace

void PutUtf8(uint32_t c, std::string& out) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void AppendFolded(std::string_view text, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char b = *p;
        if (b < 0x80) {
            // Most of an address is ASCII: no decoding.
            out += b < 0x20 || b == 0x7F ? ' ' : (b >= 'A' && b <= 'Z') ? char(b + 32) : char(b);
            ++p;
            continue;
        }
        const unsigned char* start = p;
        int32_t c = Decode(p, end);
        if (c < 0) {
            out += char(b);
            continue;
        }
        if (CombiningMark(uint32_t(c))) continue;
        locale_t locale = Utf8Locale();
        uint32_t lower = locale ? uint32_t(towlower_l(wint_t(c), locale)) : uint32_t(c);
        if (lower >= 0xC0 && lower <= 0x17F && LatinBase[lower - 0xC0] != '.') {
            out += LatinBase[lower - 0xC0];
        } else if (lower == uint32_t(c)) {
            out.append(reinterpret_cast<const char*>(start), size_t(p - start));
        } else {
            PutUtf8(lower, out);
        }
    }
}

std::string FoldText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendFolded(text, out);
    return out;
}

std::vector<std::string> FoldedWords(std::string_view text) {
    std::string folded = FoldText(text);
    std::vector<std::string> words;
    size_t i = 0;
    while (i < folded.size()) {
        while (i < folded.size() && folded[i] == ' ') ++i;
        size_t j = i;
        while (j < folded.size() && folded[j] != ' ') ++j;
        if (j > i) words.push_back(folded.substr(i, j - i));
        i = j;
    }
    return words;
}

bool MatchesAllWords(std::string_view folded, const std::vector<std::string>& words) {
    for (const auto& w : words)
        if (folded.find(w) == std::string_view::npos) return false;
    return true;
}

} // namespace places

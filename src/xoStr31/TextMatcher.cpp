#include "xoStr31/TextMatcher.h"

#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <wctype.h>

namespace xoStr31 {

namespace {

constexpr unsigned mfCase = 1, mfNonSpace = 2, mfSymbols = 4;

// The user's character rules, once: whether text is UTF-8, and the locale
// that folds it.
struct TCharRules {
    locale_t locale = static_cast<locale_t>(0);
    bool utf8 = true;
    TCharRules() {
        locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
        const char* codeset = locale ? nl_langinfo_l(CODESET, locale) : "";
        if (!locale || std::strcmp(codeset, "ANSI_X3.4-1968") == 0) {
            // No character set of its own: text on Linux is UTF-8.
            locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
            if (utf8Locale) {
                if (locale) freelocale(locale);
                locale = utf8Locale;
            }
        }
        codeset = locale ? nl_langinfo_l(CODESET, locale) : "";
        utf8 = !locale || std::strcmp(codeset, "UTF-8") == 0;
    }
};

const TCharRules& Rules() {
    static const TCharRules rules;
    return rules;
}

// One UTF-8 character; a byte that starts none stands for itself, marked
// so that it never equals a character.
int32_t DecodeUtf8(const char*& p, const char* end) {
    const auto* s = reinterpret_cast<const uint8_t*>(p);
    uint8_t b = s[0];
    int length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 1) {
        ++p;
        return b;
    }
    if (length == 0 || end - p < length) {
        ++p;
        return 0x7FFFFF00 | b;
    }
    int32_t c = b & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            ++p;
            return 0x7FFFFF00 | b;
        }
        c = c << 6 | (s[i] & 0x3F);
    }
    p += length;
    return c;
}

bool CombiningMark(int32_t c) {
    return (c >= 0x300 && c <= 0x36F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}

} // namespace

TTextMatcher::TTextMatcher(std::string_view text, unsigned flags, bool wholeLine)
    : text_(wholeLine ? text : text.substr(0, text.find('\0'))),
      flags_(flags & (mfCase | mfNonSpace | mfSymbols)),
      exact_(flags_ == 0),
      wholeLine_(wholeLine) {
    if (exact_) return;
    const char* p = text_.data();
    const char* end = p + text_.size();
    while (p < end) {
        int32_t c = Next(p, end);
        if (c >= 0) folded_.push_back(c);
    }
}

int32_t TTextMatcher::Next(const char*& p, const char* end) const {
    const TCharRules& rules = Rules();
    int32_t c;
    if (rules.utf8) {
        c = DecodeUtf8(p, end);
    } else {
        c = static_cast<uint8_t>(*p++);
    }
    if (c >= 0x7FFFFF00) return c;
    if (rules.locale) {
        if ((flags_ & mfSymbols) &&
            (rules.utf8 ? iswpunct_l(wint_t(c), rules.locale) || iswspace_l(wint_t(c), rules.locale)
                        : ispunct_l(c, rules.locale) || isspace_l(c, rules.locale)))
            return -1;
        if ((flags_ & mfNonSpace) && rules.utf8 && CombiningMark(c)) return -1;
        // Letters meet at their capital: a letter with two small forms
        // (sigma and final sigma, i and dotless i outside Turkish, s and
        // long s) has one capital, where folding to small letters would
        // keep them apart. A capital without a small form of its own
        // (Kelvin sign) stays itself, as it does for grep -i.
        if (flags_ & mfCase) c = rules.utf8 ? int32_t(towupper_l(wint_t(c), rules.locale)) : toupper_l(c, rules.locale);
    } else if ((flags_ & mfCase) && c >= 'a' && c <= 'z') {
        c -= 32;
    }
    return c;
}

bool TTextMatcher::Matches(const char* p, size_t n) const {
    if (!wholeLine_) {
        const void* zero = std::memchr(p, 0, n);
        if (zero) n = size_t(static_cast<const char*>(zero) - p);
    }
    if (exact_) return n == text_.size() && std::memcmp(p, text_.data(), n) == 0;
    const char* end = p + n;
    size_t k = 0;
    while (p < end) {
        int32_t c = Next(p, end);
        if (c < 0) continue;
        if (k == folded_.size() || folded_[k] != c) return false;
        ++k;
    }
    return k == folded_.size();
}

} // namespace xoStr31

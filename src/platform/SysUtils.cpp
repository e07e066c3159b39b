#include "platform/SysUtils.h"
#include "platform/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>
#include <mutex>
#include <vector>

namespace platform {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
char Up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
char Low(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

std::string TrimLeft(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

std::string TrimRight(const std::string& s) {
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

std::string Trim(const std::string& s) { return TrimLeft(TrimRight(s)); }

std::string TrimRightBlanks(const std::string& s) {
    size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.substr(0, n);
}

std::string UpperCase(const std::string& s) {
    std::string r(s);
    for (auto& c : r) c = Up(c);
    return r;
}

std::string LowerCase(const std::string& s) {
    std::string r(s);
    for (auto& c : r) c = Low(c);
    return r;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Up(a[i]) != Up(b[i])) return false;
    return true;
}

bool StartsText(const std::string& prefix, const std::string& s) {
    return s.size() >= prefix.size() && SameText(prefix, s.substr(0, prefix.size()));
}

// ---- format settings -------------------------------------------------------

namespace {
std::mutex g_fsMutex;
bool g_fsLoaded = false;
FormatSettings g_fs;

FormatSettings FromLocale() {
    FormatSettings fs;
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
    if (loc) {
        const char* dec = nl_langinfo_l(RADIXCHAR, loc);
        const char* thou = nl_langinfo_l(THOUSEP, loc);
        if (dec && *dec) fs.DecimalSeparator = dec;
        if (thou && *thou) fs.ThousandSeparator = thou;
        freelocale(loc);
    }
    return fs;
}
} // namespace

const FormatSettings& GetFormatSettings() {
    std::lock_guard<std::mutex> lock(g_fsMutex);
    if (!g_fsLoaded) {
        g_fs = FromLocale();
        g_fsLoaded = true;
    }
    return g_fs;
}

void SetFormatSettings(const FormatSettings& fs) {
    std::lock_guard<std::mutex> lock(g_fsMutex);
    g_fs = fs;
    g_fsLoaded = true;
}

void ResetFormatSettings() {
    std::lock_guard<std::mutex> lock(g_fsMutex);
    g_fsLoaded = false;
}

// ---- integers --------------------------------------------------------------

std::string IntToStr(int64_t v) { return std::to_string(v); }

bool TryStrToInt(const std::string& s, int32_t& out) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i == s.size()) return false;
    bool hex = false;
    if (s[i] == '$' || s[i] == 'x' || s[i] == 'X') {
        hex = true;
        ++i;
    } else if (s[i] == '0' && i + 1 < s.size() && s[i + 1] == 'x') {
        hex = true;
        i += 2;
    }
    if (hex) {
        if (i == s.size()) return false;
        uint64_t v = 0;
        for (; i < s.size(); ++i) {
            int d = HexValue(s[i]);
            if (d < 0) return false;
            v = v * 16 + static_cast<unsigned>(d);
            if (v > 0xFFFFFFFFull) return false;
        }
        out = static_cast<int32_t>(static_cast<uint32_t>(v));
        return true;
    }
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') {
        neg = s[i] == '-';
        ++i;
    }
    if (i == s.size()) return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i])) return false;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    out = static_cast<int32_t>(v);
    return true;
}

int32_t StrToInt(const std::string& s) {
    int32_t v;
    if (!TryStrToInt(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

// ---- floating point --------------------------------------------------------

bool TryStrToFloat(const std::string& s, double& out) {
    const std::string& dec = GetFormatSettings().DecimalSeparator;
    size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ') ++i;
    while (n > i && s[n - 1] == ' ') --n;
    std::string c;  // the number rewritten for strtod in the C locale
    if (i < n && (s[i] == '+' || s[i] == '-')) c += s[i++];
    int digits = 0;
    while (i < n && IsDigit(s[i])) { c += s[i++]; ++digits; }
    if (!dec.empty() && s.compare(i, dec.size(), dec) == 0 && i + dec.size() <= n) {
        c += '.';
        i += dec.size();
        while (i < n && IsDigit(s[i])) { c += s[i++]; ++digits; }
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == 'E' || s[i] == 'e')) {
        c += 'e';
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) c += s[i++];
        int ed = 0;
        while (i < n && IsDigit(s[i])) { c += s[i++]; ++ed; }
        if (ed == 0) return false;
    }
    if (i != n) return false;
    errno = 0;
    double v = std::strtod(c.c_str(), nullptr);
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}

double StrToFloat(const std::string& s) {
    double v;
    if (!TryStrToFloat(s, v)) throw EConvertError("'" + s + "' is not a valid floating point value");
    return v;
}

Currency Currency::FromDouble(double v) {
    Currency c;
    c.scaled = static_cast<int64_t>(std::nearbyint(v * 10000.0));
    return c;
}

namespace {
// Rounds a run of decimal digits (no sign) to its first keep digits: a
// dropped part of exactly one half goes to the even neighbour, or away from
// zero when halfEven is false. Answers the kept digits, with a carry digit
// in front when one came.
std::string RoundDigits(const std::string& digits, size_t keep, bool halfEven) {
    std::string kept = digits.substr(0, keep);
    if (keep >= digits.size()) return kept;
    char first = digits[keep];
    bool up = first > '5';
    if (first == '5') {
        bool restNonZero = digits.find_first_not_of('0', keep + 1) != std::string::npos;
        bool odd = !kept.empty() && ((kept.back() - '0') & 1);
        up = !halfEven || restNonZero || odd;
    }
    if (!up) return kept;
    int i = static_cast<int>(kept.size()) - 1;
    for (; i >= 0 && kept[static_cast<size_t>(i)] == '9'; --i) kept[static_cast<size_t>(i)] = '0';
    if (i < 0)
        kept.insert(0, "1");
    else
        ++kept[static_cast<size_t>(i)];
    return kept;
}
} // namespace

bool TryStrToCurr(const std::string& s, Currency& out) {
    // The text is read as the decimal it is, never through a binary
    // floating-point value: 19 significant digits stay exact.
    const std::string& dec = GetFormatSettings().DecimalSeparator;
    size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ') ++i;
    while (n > i && s[n - 1] == ' ') --n;
    bool neg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    std::string digits;
    int64_t exponent = 0;  // of the last digit
    int count = 0;
    while (i < n && IsDigit(s[i])) { digits += s[i++]; ++count; }
    if (!dec.empty() && s.compare(i, dec.size(), dec) == 0 && i + dec.size() <= n) {
        i += dec.size();
        while (i < n && IsDigit(s[i])) { digits += s[i++]; ++count; --exponent; }
    }
    if (count == 0) return false;
    if (i < n && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        bool eneg = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
        int64_t e = 0;
        int ed = 0;
        while (i < n && IsDigit(s[i])) {
            e = std::min<int64_t>(e * 10 + (s[i++] - '0'), 1000000);
            ++ed;
        }
        if (ed == 0) return false;
        exponent += eneg ? -e : e;
    }
    if (i != n) return false;
    size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) {
        out.scaled = 0;
        return true;
    }
    digits.erase(0, lead);
    // Four decimals: the units of the scaled value sit 4 places further left.
    int64_t shift = exponent + 4;
    std::string whole;
    if (shift >= 0) {
        if (static_cast<int64_t>(digits.size()) + shift > 19) return false;
        whole = digits + std::string(static_cast<size_t>(shift), '0');
    } else {
        int64_t keep = static_cast<int64_t>(digits.size()) + shift;
        if (keep < 0) {
            out.scaled = 0;  // far below the last decimal
            return true;
        }
        whole = RoundDigits(digits, static_cast<size_t>(keep), true);  // halves to even, as the type always has
        if (whole.empty()) whole = "0";
    }
    if (whole.size() > 19) return false;
    unsigned __int128 v = 0;
    for (char c : whole) v = v * 10 + static_cast<unsigned>(c - '0');
    unsigned __int128 limit = neg ? (static_cast<unsigned __int128>(INT64_MAX) + 1) : INT64_MAX;
    if (v > limit) return false;
    out.scaled = neg ? static_cast<int64_t>(-static_cast<__int128>(v)) : static_cast<int64_t>(v);
    return true;
}

Currency StrToCurr(const std::string& s) {
    Currency c;
    if (!TryStrToCurr(s, c)) throw EConvertError("'" + s + "' is not a valid currency value");
    return c;
}

std::string FloatToStr(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (v == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", v);  // 15 significant digits
    std::string m(buf);
    bool neg = m[0] == '-';
    if (neg) m.erase(0, 1);
    size_t e = m.find('e');
    int exp = std::atoi(m.c_str() + e + 1);
    std::string digits = m.substr(0, 1) + m.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const std::string& dec = GetFormatSettings().DecimalSeparator;
    std::string out = neg ? "-" : "";
    if (exp >= -5 && exp < 15) {
        if (exp < 0) {
            out += "0" + dec + std::string(static_cast<size_t>(-exp - 1), '0') + digits;
        } else if (static_cast<int>(digits.size()) <= exp + 1) {
            out += digits + std::string(static_cast<size_t>(exp + 1 - static_cast<int>(digits.size())), '0');
        } else {
            out += digits.substr(0, static_cast<size_t>(exp + 1)) + dec + digits.substr(static_cast<size_t>(exp + 1));
        }
    } else {
        out += digits.substr(0, 1);
        if (digits.size() > 1) out += dec + digits.substr(1);
        out += "E" + std::to_string(exp);
    }
    return out;
}

std::string CurrToStr(Currency c) {
    bool neg = c.scaled < 0;
    uint64_t a = neg ? uint64_t(0) - static_cast<uint64_t>(c.scaled) : static_cast<uint64_t>(c.scaled);
    std::string out = (neg ? "-" : "") + std::to_string(a / 10000);
    std::string frac = std::to_string(a % 10000);
    frac = std::string(4 - frac.size(), '0') + frac;
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    if (!frac.empty()) out += GetFormatSettings().DecimalSeparator + frac;
    return out;
}

// ---- number pictures -------------------------------------------------------

namespace {

struct PicToken {
    enum Kind { Digit0, DigitHash, Literal } kind;
    std::string text;  // for literals
};

struct Picture {
    std::vector<PicToken> intPart, fracPart;
    bool hasPoint = false;
    bool grouping = false;
};

Picture ParsePicture(const std::string& p) {
    Picture pic;
    bool inFrac = false;
    for (size_t i = 0; i < p.size(); ++i) {
        char c = p[i];
        auto& part = inFrac ? pic.fracPart : pic.intPart;
        if (c == '"' || c == '\'') {
            size_t j = p.find(c, i + 1);
            if (j == std::string::npos) j = p.size();
            part.push_back({PicToken::Literal, p.substr(i + 1, j - i - 1)});
            i = j;
        } else if (c == '0') {
            part.push_back({PicToken::Digit0, {}});
        } else if (c == '#') {
            part.push_back({PicToken::DigitHash, {}});
        } else if (c == '.' && !inFrac) {
            inFrac = true;
            pic.hasPoint = true;
        } else if (c == ',') {
            pic.grouping = true;
        } else {
            part.push_back({PicToken::Literal, std::string(1, c)});
        }
    }
    return pic;
}

std::vector<std::string> SplitSections(const std::string& p) {
    std::vector<std::string> out(1);
    char quote = 0;
    for (char c : p) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            out.emplace_back();
            continue;
        }
        out.back() += c;
    }
    return out;
}

// The value with that many decimals, rounded half away from zero as number
// pictures always round (2.5 gives 3, 0.125 at two places 0.13). The digit
// that decides comes from the value's exact decimal expansion, which a
// double always has within 1074 places; printf's own rounding would take
// exact halves to the even neighbour.
std::string FixedHalfAway(double a /* >= 0 */, int places) {
    if (!std::isfinite(a)) return std::isnan(a) ? "nan" : "inf";
    std::vector<char> buf(1600);
    std::snprintf(buf.data(), buf.size(), "%.*f", 1080, a);
    std::string exact(buf.data());
    size_t dot = exact.find('.');
    std::string digits = RoundDigits(exact.substr(0, dot) + exact.substr(dot + 1), dot + static_cast<size_t>(places), false);
    if (places == 0) return digits;
    size_t point = digits.size() - static_cast<size_t>(places);
    return digits.substr(0, point) + "." + digits.substr(point);
}

std::string Render(const Picture& pic, double a /* >= 0 */) {
    const FormatSettings& fs = GetFormatSettings();
    int fracMax = 0, fracMin = 0;
    for (size_t i = 0; i < pic.fracPart.size(); ++i) {
        if (pic.fracPart[i].kind == PicToken::Literal) continue;
        ++fracMax;
        if (pic.fracPart[i].kind == PicToken::Digit0) fracMin = fracMax;
    }
    std::string num = FixedHalfAway(a, fracMax);
    size_t dot = num.find('.');
    std::string intDigits = dot == std::string::npos ? num : num.substr(0, dot);
    std::string fracDigits = dot == std::string::npos ? "" : num.substr(dot + 1);
    // Minimum integer digits: from the first "0" placeholder to the point.
    int intPlaces = 0, intMin = 0;
    bool seenZero = false;
    for (const auto& t : pic.intPart) {
        if (t.kind == PicToken::Literal) continue;
        ++intPlaces;
        if (t.kind == PicToken::Digit0) seenZero = true;
        if (seenZero) ++intMin;
    }
    if (intDigits == "0") intDigits.clear();
    while (static_cast<int>(intDigits.size()) < intMin) intDigits.insert(0, "0");
    while (static_cast<int>(fracDigits.size()) > fracMin && !fracDigits.empty() && fracDigits.back() == '0')
        fracDigits.pop_back();

    std::string out;
    if (pic.grouping) {
        std::string grouped;
        int n = static_cast<int>(intDigits.size());
        for (int i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0) grouped += fs.ThousandSeparator;
            grouped += intDigits[static_cast<size_t>(i)];
        }
        bool placed = false;
        for (const auto& t : pic.intPart) {
            if (t.kind == PicToken::Literal) {
                out += t.text;
            } else if (!placed) {
                out += grouped;
                placed = true;
            }
        }
        if (!placed) out += grouped;
    } else {
        // Digits fill the placeholders from the right; digits beyond the
        // placeholders go in front of the first one; literals keep their place.
        int extra = static_cast<int>(intDigits.size()) - intPlaces;
        int next = 0;  // index of the next digit of intDigits
        int place = 0;
        for (const auto& t : pic.intPart) {
            if (t.kind == PicToken::Literal) {
                out += t.text;
                continue;
            }
            if (place == 0 && extra > 0) {
                out += intDigits.substr(0, static_cast<size_t>(extra));
                next = extra;
            }
            // This placeholder carries a digit when the digits reach it.
            int fromRight = intPlaces - place;  // 1 for the last placeholder
            int remaining = static_cast<int>(intDigits.size()) - next;
            if (remaining >= fromRight && remaining > 0) out += intDigits[static_cast<size_t>(next++)];
            ++place;
        }
        if (intPlaces == 0) out += intDigits;
    }
    if (pic.hasPoint) {
        bool any = !fracDigits.empty();
        if (any) out += fs.DecimalSeparator;
        size_t d = 0;
        for (const auto& t : pic.fracPart) {
            if (t.kind == PicToken::Literal) {
                out += t.text;
            } else if (d < fracDigits.size()) {
                out += fracDigits[d++];
            }
        }
    }
    return out;
}

} // namespace

std::string FormatFloat(const std::string& picture, double value) {
    auto sections = SplitSections(picture);
    const std::string* sec = &sections[0];
    bool negative = value < 0;
    bool useNegSection = false;
    if (value == 0 && sections.size() >= 3 && !sections[2].empty()) {
        sec = &sections[2];
    } else if (negative && sections.size() >= 2 && !sections[1].empty()) {
        sec = &sections[1];
        useNegSection = true;
    }
    Picture pic = ParsePicture(*sec);
    std::string body = Render(pic, std::fabs(value));
    // A value that rounds to zero shows no sign.
    bool anyDigit = false;
    for (char c : body)
        if (c >= '1' && c <= '9') anyDigit = true;
    if (negative && !useNegSection && anyDigit) body.insert(0, "-");
    return body;
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, ap2);
    va_end(ap2);
    return out;
}

} // namespace platform

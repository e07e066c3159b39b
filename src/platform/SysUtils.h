#pragma once
// Text helpers and number conversions in the user's locale.
#include <cstdint>
#include <string>

namespace platform {

// Trimming removes every character of code 32 or below.
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
// Removes trailing blanks (code 32) only.
std::string TrimRightBlanks(const std::string& s);
// Case folding for the ASCII letters A to Z only; other bytes compare as they are.
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);
bool StartsText(const std::string& prefix, const std::string& s);

// The user's number settings, read once from the locale (LC_NUMERIC) and
// replaceable, for tests. A locale without a thousands separator gets ",".
struct FormatSettings {
    std::string DecimalSeparator = ".";
    std::string ThousandSeparator = ",";
};
const FormatSettings& GetFormatSettings();
void SetFormatSettings(const FormatSettings& fs);
void ResetFormatSettings();  // back to the user's locale

// Currency: a fixed-point value with four decimals, held as value x 10000.
struct Currency {
    int64_t scaled = 0;
    static Currency FromDouble(double v);
    double ToDouble() const { return static_cast<double>(scaled) / 10000.0; }
    bool operator==(const Currency&) const = default;
};

std::string IntToStr(int64_t v);
// Leading blanks; then a sign and decimal digits, or hexadecimal digits after
// "$", "x", "X" or "0x"; the value must fit in 32 bits (hexadecimal up to
// FFFFFFFF, taken as the signed 32-bit pattern); nothing may follow.
// Raises EConvertError naming the text.
int32_t StrToInt(const std::string& s);
bool TryStrToInt(const std::string& s, int32_t& out);
// Blanks around; sign; digits with the user's decimal separator; exponent.
double StrToFloat(const std::string& s);
bool TryStrToFloat(const std::string& s, double& out);
// Currency: the same form as a floating value, read as an exact decimal
// (more than four decimals round half to even); the value must fit.
Currency StrToCurr(const std::string& s);
bool TryStrToCurr(const std::string& s, Currency& out);
// General format, up to 15 significant digits.
std::string FloatToStr(double v);
// General format, up to 4 decimals.
std::string CurrToStr(Currency c);

// Number pictures: "0" a digit always shown, "#" a digit shown when
// significant, "." the decimal separator, "," grouping by thousands, text in
// double or single quotes taken literally, ";" separating the sections for
// positive, negative and zero values, any other character printed literally.
std::string FormatFloat(const std::string& picture, double value);

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform

#pragma once
// TTextMatcher: whether an entry's text equals a searched text, the way the
// list's search compares them. Without flags the bytes must be the same (a
// text ends at its first zero byte, as Get answers it, unless whole lines
// are compared). With case folding, letters match when the user's locale
// gives them the same capital (so final sigma matches sigma, and the
// Turkish i pairs as a Turkish locale says); UTF-8 text is taken as
// characters (a locale without a character set of its own, such as C, reads
// text as UTF-8, as files on Linux are). Ignoring symbols leaves out
// punctuation and blanks; ignoring non-spacing marks leaves out combining
// accents.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xoStr31 {

class TTextMatcher {
public:
    // flags: the locale comparison bits the list honours (case 1,
    // non-spacing marks 2, symbols 4); others are ignored.
    // wholeLine: an entry's zero bytes are part of its text, and so are
    // the searched text's; otherwise both end at their first zero byte.
    TTextMatcher(std::string_view text, unsigned flags, bool wholeLine = false);

    bool Exact() const { return exact_; }
    bool WholeLine() const { return wholeLine_; }
    // The searched text's bytes (up to its first zero byte unless whole
    // lines are compared).
    const std::string& Text() const { return text_; }
    bool Matches(const char* p, size_t n) const;

private:
    // The next character of the text at p (before end), folded as asked,
    // or -1 for one left out; p moves past it.
    int32_t Next(const char*& p, const char* end) const;

    std::string text_;
    std::vector<int32_t> folded_;  // the searched text's characters, folded
    unsigned flags_;
    bool exact_;
    bool wholeLine_;
};

} // namespace xoStr31

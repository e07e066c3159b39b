#pragma once
// Folding text for matching typed words: letters to lower case, accents
// left out (combining marks dropped, as the large string list's search
// does, and the accented Latin letters written as one character taken as
// their base letter, so "cafe" finds "Café" however it was written), and
// control characters made blanks. Text is UTF-8; a byte that starts no
// character stays as it is.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace places {

std::string FoldText(std::string_view text);
// Appends the folded text to out (for building one buffer of many texts).
void AppendFolded(std::string_view text, std::string& out);
// The folded words of typed text: split at blanks, empty ones left out.
std::vector<std::string> FoldedWords(std::string_view text);
// Whether every word occurs in the folded text.
bool MatchesAllWords(std::string_view folded, const std::vector<std::string>& words);

// Appends the code point as UTF-8.
void PutUtf8(uint32_t c, std::string& out);

} // namespace places

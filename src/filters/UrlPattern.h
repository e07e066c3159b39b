#pragma once
// Address patterns of filter rules as the engine's url-filter expressions.
// The engine's expressions are a small subset of regular expressions: "."
// and character classes, the quantifiers "*", "+" and "?", groups, "^" only
// at the start and "$" only at the end; no alternation, no counted repeats,
// no class escapes such as \d, and ASCII only.
#include <string>
#include <string_view>
#include <vector>

namespace filters {

// The expressions of a rule's address pattern (with its anchors "||", "|"
// and separator "^"); two when a trailing "^" must also match the end of
// the address. Empty, with why, when the pattern cannot be expressed.
std::vector<std::string> PatternToUrlFilters(std::string_view pattern, std::string& why);

// A rule's own regular expression ("/.../"), when it stays within the
// engine's subset; empty, with why, when it does not.
std::string RegexToUrlFilter(std::string_view regex, std::string& why);

} // namespace filters

#pragma once
// TFilterConverter: Adblock Plus rule lists as the engine's content-blocker
// rules. Network rules ("||host^", "|", "^", "*", options such as
// $third-party, $domain= and resource types) become block rules, "@@"
// exceptions become ignore-previous-rules placed after the blocks they
// lift, and element hiding ("##", "#@#") becomes css-display-none. What the
// engine's rules cannot say (regular expressions beyond its subset, $csp,
// $redirect, $removeparam, procedural or scriptlet cosmetics, ...) is
// counted, by reason, and left out: never approximated.
//
// Order of the rules, since the engine applies them in turn:
//   1. blocks;  2. exceptions;  3. "$important" blocks, which exceptions do
//   not lift;  4. top-level pages are never blocked by the rules above (the
//   lists mean them for what a page loads, frames included);  5. "$document"
//   blocks;
//   6. element hiding;  7. "$document" exceptions, which lift everything
//   on the pages of their sites.
#include "filters/BlockerRules.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace filters {

struct TConversionCounts {
    int Rules = 0;      // lines that are rules (neither blank nor comments)
    int Converted = 0;  // rules turned into engine rules
    int Skipped = 0;    // rules the engine's rules cannot express
    std::map<std::string, int> SkippedBy;  // why, with how many
};

class TFilterConverter {
public:
    // Adds the rules of one list; answers that list's counts.
    TConversionCounts AddList(std::string_view text);
    // One rule line; false (with why) when it was skipped. Blank lines and
    // comments answer true and count for nothing.
    bool AddRule(std::string_view line, std::string* why = nullptr);

    // The engine rules in their order; the JSON text of them.
    std::vector<TBlockerRule> Rules() const;
    std::string Json() const { return RulesToJson(Rules()); }
    const TConversionCounts& Counts() const { return counts_; }

private:
    bool AddNetwork(std::string_view rule, std::string& why);
    bool AddCosmetic(std::string_view domains, std::string_view selector, bool exception, std::string& why);

    struct THide {
        std::vector<std::string> If, Unless;  // domains as written (lower case)
        std::string Selector;
    };
    TConversionCounts counts_;
    std::vector<TBlockerRule> blocks_, exceptions_, important_, documentBlocks_, documentExceptions_;
    std::vector<THide> hides_;
    // Element-hiding exceptions: selector -> domains ("" for everywhere).
    std::map<std::string, std::vector<std::string>> hideExceptions_;
};

} // namespace filters

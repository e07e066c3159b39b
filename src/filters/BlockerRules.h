#pragma once
// The engine's content-blocker rules and their JSON text: a list of
// { "trigger": {...}, "action": {...} } objects, applied in order.
#include <string>
#include <vector>

namespace filters {

struct TBlockerRule {
    // Trigger.
    std::string UrlFilter = ".*";
    bool CaseSensitive = false;
    std::vector<std::string> ResourceTypes;  // empty: every kind
    std::string LoadType;                    // "", "first-party" or "third-party"
    std::string LoadContext;                 // "", "top-frame" or "child-frame"
    std::vector<std::string> IfDomain;       // "*name" for the name and its subdomains
    std::vector<std::string> UnlessDomain;
    // Action: "block", "css-display-none" (with Selector) or
    // "ignore-previous-rules".
    std::string Action = "block";
    std::string Selector;
};

std::string JsonString(const std::string& text);
std::string RulesToJson(const std::vector<TBlockerRule>& rules);

} // namespace filters

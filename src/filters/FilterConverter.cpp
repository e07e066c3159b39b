#include "filters/FilterConverter.h"

#include "filters/UrlPattern.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace filters {

namespace {

// Resource kinds of the lists and the engine's names for them.
const std::map<std::string, std::string>& TypeNames() {
    static const std::map<std::string, std::string> names = {
        {"script", "script"},       {"image", "image"},          {"stylesheet", "style-sheet"},
        {"css", "style-sheet"},     {"subdocument", "document"}, {"frame", "document"},
        {"font", "font"},           {"media", "media"},          {"xmlhttprequest", "fetch"},
        {"xhr", "fetch"},           {"websocket", "websocket"},  {"ping", "ping"},
        {"beacon", "ping"},         {"other", "other"},          {"popup", "popup"}};
    return names;
}

const std::vector<std::string>& AllTypes() {
    static const std::vector<std::string> all = {"document", "image", "style-sheet", "script", "font", "media",
                                                 "popup",    "ping",  "fetch",       "websocket", "other"};
    return all;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return std::string(s.substr(a, b - a));
}

std::vector<std::string> Split(std::string_view s, char by) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == by) {
            parts.emplace_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// A domain of a rule as the engine takes it: lower-case ASCII, "*" in front
// for the name and every name below it. False for what it cannot take
// (names in other scripts, "example.*" for every top-level domain).
bool EngineDomain(const std::string& name, std::string& out) {
    if (name.empty() || name.find('*') != std::string::npos) return false;
    for (unsigned char c : name)
        if (!(std::isalnum(c) || c == '-' || c == '.')) return false;
    out = "*" + Lower(name);
    return true;
}

// "a.com|~b.com" (or "a.com,~b.com") into the domains a rule applies to and
// those it does not; false when they mix or cannot be taken.
bool SplitDomains(const std::vector<std::string>& names, std::vector<std::string>& ifDomain,
                  std::vector<std::string>& unlessDomain, std::string& why) {
    for (const auto& raw : names) {
        std::string name = Trim(raw);
        if (name.empty()) continue;
        bool negated = name[0] == '~';
        std::string domain;
        if (!EngineDomain(negated ? name.substr(1) : name, domain)) {
            why = "domain the engine cannot take (wildcard or non-ASCII)";
            return false;
        }
        (negated ? unlessDomain : ifDomain).push_back(domain);
    }
    if (!ifDomain.empty() && !unlessDomain.empty()) {
        why = "domains both included and excluded";
        return false;
    }
    return true;
}

// The cosmetic separators of the list syntax, longest first.
struct TCosmetic {
    const char* Mark;
    bool Supported;
    bool Exception;
    const char* Why;
};
constexpr TCosmetic Cosmetics[] = {
    {"#@?#", false, true, "procedural element hiding (#?#)"},
    {"#@$#", false, true, "element styling (#$#)"},
    {"#@%#", false, true, "scriptlet (#%#)"},
    {"#?#", false, false, "procedural element hiding (#?#)"},
    {"#$#", false, false, "element styling (#$#)"},
    {"#%#", false, false, "scriptlet (#%#)"},
    {"#@#", true, true, nullptr},
    {"##", true, false, nullptr},
};

// Pseudo-classes of list extensions that no style sheet knows.
constexpr const char* Procedural[] = {":-abp-", ":has-text(", ":contains(", ":xpath(", ":upward(", ":remove(",
                                      ":style(", ":matches-css", ":min-text-length(", ":watch-attr(",
                                      ":matches-path(", ":matches-attr(", ":matches-media(", ":others(", ":if(",
                                      ":if-not(", ":nth-ancestor(", ":remove-attr(", ":remove-class(",
                                      ":shadow", ":matches-prop("};

// Whether a selector keeps to itself: quotes closed, brackets paired, no
// comment opened. Hiding goes many selectors to a rule, and one that does
// not keep to itself voids the others of its rule.
bool SelfContained(const std::string& selector) {
    std::string open;
    char quote = 0;
    for (size_t i = 0; i < selector.size(); ++i) {
        char c = selector[i];
        if (c == '\\') {
            ++i;
        } else if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && i + 1 < selector.size() && selector[i + 1] == '*') {
            return false;
        } else if (c == '[' || c == '(') {
            open += c == '[' ? ']' : ')';
        } else if (c == ']' || c == ')') {
            if (open.empty() || open.back() != c) return false;
            open.pop_back();
        }
    }
    return !quote && open.empty();
}

} // namespace

TConversionCounts TFilterConverter::AddList(std::string_view text) {
    TConversionCounts before = counts_;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        AddRule(text.substr(start, end - start));
        start = end + 1;
    }
    TConversionCounts list;
    list.Rules = counts_.Rules - before.Rules;
    list.Converted = counts_.Converted - before.Converted;
    list.Skipped = counts_.Skipped - before.Skipped;
    for (const auto& [why, n] : counts_.SkippedBy) {
        int was = before.SkippedBy.count(why) ? before.SkippedBy.at(why) : 0;
        if (n > was) list.SkippedBy[why] = n - was;
    }
    return list;
}

bool TFilterConverter::AddRule(std::string_view line, std::string* whyOut) {
    std::string rule = Trim(line);
    if (rule.empty() || rule[0] == '!' || rule[0] == '[') return true;
    ++counts_.Rules;
    std::string why;
    bool done = false;
    size_t mark = std::string::npos;
    const TCosmetic* kind = nullptr;
    for (const TCosmetic& c : Cosmetics) {
        size_t at = rule.find(c.Mark);
        if (at != std::string::npos && at < mark) {
            mark = at;
            kind = &c;
        }
    }
    if (kind) {
        std::string selector = rule.substr(mark + std::char_traits<char>::length(kind->Mark));
        if (!kind->Supported)
            why = kind->Why;
        else if (selector.rfind("+js(", 0) == 0)
            why = "scriptlet (##+js)";
        else if (selector.rfind("^", 0) == 0)
            why = "HTML filtering (##^)";
        else
            done = AddCosmetic(std::string_view(rule).substr(0, mark), selector, kind->Exception, why);
    } else if (rule.find("$$") != std::string::npos || rule.find("$@$") != std::string::npos) {
        why = "HTML filtering ($$)";
    } else {
        done = AddNetwork(rule, why);
    }
    if (done) {
        ++counts_.Converted;
    } else {
        ++counts_.Skipped;
        ++counts_.SkippedBy[why];
    }
    if (whyOut) *whyOut = why;
    return done;
}

bool TFilterConverter::AddCosmetic(std::string_view domains, std::string_view selectorText, bool exception,
                                   std::string& why) {
    std::string selector = Trim(selectorText);
    if (selector.empty()) {
        why = "empty selector";
        return false;
    }
    for (const char* p : Procedural) {
        if (selector.find(p) != std::string::npos) {
            why = "procedural element hiding (" + std::string(p) + ")";
            return false;
        }
    }
    if (selector.find_first_of("{}") != std::string::npos) {
        why = "selector with a style block";
        return false;
    }
    if (!SelfContained(selector)) {
        why = "selector with unclosed quotes, brackets or a comment";
        return false;
    }
    std::vector<std::string> ifDomain, unlessDomain;
    if (!SplitDomains(Split(domains, ','), ifDomain, unlessDomain, why)) return false;
    if (exception) {
        if (!unlessDomain.empty()) {
            why = "element hiding exception for excluded domains";
            return false;
        }
        auto& list = hideExceptions_[selector];
        if (ifDomain.empty()) list.push_back("");
        for (auto& d : ifDomain) list.push_back(d);
        return true;
    }
    hides_.push_back({std::move(ifDomain), std::move(unlessDomain), selector});
    return true;
}

bool TFilterConverter::AddNetwork(std::string_view text, std::string& why) {
    bool exception = false;
    if (text.substr(0, 2) == "@@") {
        exception = true;
        text.remove_prefix(2);
    }
    // The options follow the last "$", except inside a regular expression's
    // slashes.
    std::string_view pattern = text, options;
    size_t dollar = text.rfind('$');
    if (dollar != std::string_view::npos && !(text.size() > 1 && text[0] == '/' && text.rfind('/') > dollar)) {
        pattern = text.substr(0, dollar);
        options = text.substr(dollar + 1);
    }

    TBlockerRule r;
    r.Action = exception ? "ignore-previous-rules" : "block";
    std::set<std::string> types, notTypes;
    bool important = false, document = false;
    std::vector<std::string> ifDomain, unlessDomain;
    if (!options.empty()) {
        for (const std::string& raw : Split(options, ',')) {
            std::string option = Lower(Trim(raw));
            bool negated = !option.empty() && option[0] == '~';
            std::string name = negated ? option.substr(1) : option;
            std::string value;
            if (size_t eq = name.find('='); eq != std::string::npos) {
                value = Trim(raw).substr(Trim(raw).find('=') + 1);
                name = name.substr(0, eq);
            }
            if (name == "third-party" || name == "3p" || name == "first-party" || name == "1p") {
                bool third = (name == "third-party" || name == "3p") != negated;
                r.LoadType = third ? "third-party" : "first-party";
            } else if (name == "match-case") {
                r.CaseSensitive = true;
            } else if ((name == "domain" || name == "from") && !negated) {
                if (!SplitDomains(Split(value, '|'), ifDomain, unlessDomain, why)) return false;
            } else if (TypeNames().count(name)) {
                (negated ? notTypes : types).insert(TypeNames().at(name));
            } else if ((name == "document" || name == "doc") && !negated) {
                document = true;
            } else if (name == "important" && !negated && !exception) {
                important = true;
            } else if (name == "all" && !negated) {
                for (const auto& t : AllTypes()) types.insert(t);
            } else {
                why = "option $" + name;
                return false;
            }
        }
    }
    if (!notTypes.empty()) {
        if (!types.empty()) {
            why = "resource kinds both included and excluded";
            return false;
        }
        for (const auto& t : AllTypes())
            if (t != "document" && t != "popup" && !notTypes.count(t)) types.insert(t);
    }
    if (document) types.insert("document");
    r.ResourceTypes.assign(types.begin(), types.end());
    r.IfDomain = ifDomain;
    r.UnlessDomain = unlessDomain;

    std::vector<std::string> urlFilters;
    std::string p(pattern);
    if (p.size() > 2 && p.front() == '/' && p.back() == '/') {
        std::string filter = RegexToUrlFilter(std::string_view(p).substr(1, p.size() - 2), why);
        if (filter.empty()) return false;
        urlFilters.push_back(filter);
    } else {
        urlFilters = PatternToUrlFilters(p, why);
        if (urlFilters.empty()) return false;
    }

    std::vector<TBlockerRule>* target = exception ? &exceptions_ : important ? &important_ : &blocks_;
    if (document && exception) {
        // A page of the site is let alone altogether: every rule before is
        // lifted on pages whose host the pattern names.
        if (p.rfind("||", 0) != 0 || !r.IfDomain.empty() || !r.UnlessDomain.empty() || types.size() != 1) {
            why = "$document exception other than a whole site";
            return false;
        }
        std::string host = p.substr(2);
        if (!host.empty() && host.back() == '^') host.pop_back();
        std::string domain;
        if (!EngineDomain(host, domain)) {
            why = "$document exception other than a whole site";
            return false;
        }
        TBlockerRule lift;
        lift.Action = "ignore-previous-rules";
        lift.IfDomain = {domain};
        documentExceptions_.push_back(lift);
        return true;
    }
    if (document && !exception) target = &documentBlocks_;
    for (const auto& f : urlFilters) {
        TBlockerRule copy = r;
        copy.UrlFilter = f;
        target->push_back(std::move(copy));
    }
    return true;
}

std::vector<TBlockerRule> TFilterConverter::Rules() const {
    std::vector<TBlockerRule> out;
    out.insert(out.end(), blocks_.begin(), blocks_.end());
    out.insert(out.end(), exceptions_.begin(), exceptions_.end());
    out.insert(out.end(), important_.begin(), important_.end());
    if (!out.empty()) {
        TBlockerRule pages;
        pages.ResourceTypes = {"document"};
        pages.LoadContext = "top-frame";
        pages.Action = "ignore-previous-rules";
        out.push_back(pages);
    }
    out.insert(out.end(), documentBlocks_.begin(), documentBlocks_.end());

    // Element hiding: selectors without domains and without exceptions go
    // many to a rule; the others get their domains.
    constexpr size_t PerRule = 200;
    std::vector<std::string> generic;
    std::map<std::pair<std::vector<std::string>, std::vector<std::string>>, std::vector<std::string>> byDomains;
    std::set<std::string> seen;
    for (const THide& h : hides_) {
        auto ex = hideExceptions_.find(h.Selector);
        std::vector<std::string> ifDomain = h.If, unlessDomain = h.Unless;
        if (ex != hideExceptions_.end()) {
            if (std::find(ex->second.begin(), ex->second.end(), "") != ex->second.end()) continue;
            if (!ifDomain.empty()) {
                ifDomain.erase(std::remove_if(ifDomain.begin(), ifDomain.end(),
                                              [&](const std::string& d) {
                                                  return std::find(ex->second.begin(), ex->second.end(), d) !=
                                                         ex->second.end();
                                              }),
                               ifDomain.end());
                if (ifDomain.empty()) continue;
            } else {
                for (const auto& d : ex->second)
                    if (std::find(unlessDomain.begin(), unlessDomain.end(), d) == unlessDomain.end())
                        unlessDomain.push_back(d);
            }
        }
        if (ifDomain.empty() && unlessDomain.empty()) {
            if (seen.insert(h.Selector).second) generic.push_back(h.Selector);
        } else {
            std::sort(ifDomain.begin(), ifDomain.end());
            std::sort(unlessDomain.begin(), unlessDomain.end());
            byDomains[{ifDomain, unlessDomain}].push_back(h.Selector);
        }
    }
    auto emit = [&](const std::vector<std::string>& selectors, const std::vector<std::string>& ifDomain,
                    const std::vector<std::string>& unlessDomain) {
        for (size_t i = 0; i < selectors.size(); i += PerRule) {
            TBlockerRule hide;
            hide.Action = "css-display-none";
            hide.IfDomain = ifDomain;
            hide.UnlessDomain = unlessDomain;
            for (size_t k = i; k < std::min(selectors.size(), i + PerRule); ++k)
                hide.Selector += (k > i ? ", " : "") + selectors[k];
            out.push_back(std::move(hide));
        }
    };
    emit(generic, {}, {});
    for (const auto& [domains, selectors] : byDomains) emit(selectors, domains.first, domains.second);
    out.insert(out.end(), documentExceptions_.begin(), documentExceptions_.end());
    return out;
}

} // namespace filters

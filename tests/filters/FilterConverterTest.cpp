// The rule converter: address patterns checked by running the expressions
// it writes (std::regex as the reference matcher) against addresses the
// list syntax says they match or not; options, exceptions and element
// hiding in their place in the order; what cannot be said, skipped.
#include "filters/FilterConverter.h"
#include "filters/UrlPattern.h"

#include <gtest/gtest.h>

#include <regex>

using filters::TBlockerRule;
using filters::TFilterConverter;

namespace {

bool AnyMatches(const std::vector<std::string>& filters, const std::string& url) {
    for (const auto& f : filters)
        if (std::regex_search(url, std::regex(f, std::regex::ECMAScript | std::regex::icase))) return true;
    return false;
}

std::vector<TBlockerRule> RulesOf(const std::string& list) {
    TFilterConverter c;
    c.AddList(list);
    return c.Rules();
}

} // namespace

TEST(UrlPattern, ExpressionsMatchWhatTheListSyntaxMeans) {
    struct TCase {
        const char* pattern;
        std::vector<const char*> match, miss;
    };
    const TCase cases[] = {
        {"||ads.example.com^",
         {"http://ads.example.com/", "https://sub.ads.example.com:8080/x", "wss://ads.example.com/s", "HTTP://ADS.Example.COM/"},
         {"http://badads.example.com/", "http://ads.example.com.evil.test/", "http://x.test/?u=ads.example.com"}},
        {"||example.test/ad/*.js",
         {"http://example.test/ad/x.js", "http://a.example.test/ad/b/c.js?x"},
         {"http://example.test/add/x.js", "http://example.testing/ad/x.js"}},
        {"|https://x.test/a|", {"https://x.test/a"}, {"https://x.test/ab", "http://x.test/a", "https://y.test/?https://x.test/a"}},
        {"/banner/*/img^",
         {"http://h.test/banner/foo/img?x=1", "http://h.test/banner/foo/img", "http://h.test/banner/a/b/img/z"},
         {"http://h.test/banner/foo/imgs", "http://h.test/banner/img", "http://h.test/banner/foo/img.png"}},
        {"a+b?c.d(e)[f]{g}$h|i", {"http://h.test/a+b?c.d(e)[f]{g}$h|i"}, {"http://h.test/aab?cxd(e)"}},
        {"&ad_type=", {"http://h.test/?x=1&ad_type=2"}, {"http://h.test/?x=1&adtype=2"}},
        {"-ad-^x", {"http://h.test/a-ad-/x", "http://h.test/a-ad-?x"}, {"http://h.test/a-ad-ax", "http://h.test/a-ad-.x"}},
        {"*/ads/*", {"http://h.test/ads/x"}, {"http://h.test/adsx"}},
    };
    for (const auto& c : cases) {
        std::string why;
        std::vector<std::string> f = filters::PatternToUrlFilters(c.pattern, why);
        ASSERT_FALSE(f.empty()) << c.pattern << ": " << why;
        for (const auto& expr : f) {
            // The engine's subset: no alternation, no counted repeats, "$"
            // only at the end.
            for (size_t i = 0; i < expr.size(); ++i) {
                if (expr[i] == '\\') {
                    ++i;
                    continue;
                }
                if (expr[i] == '|' || expr[i] == '{' || expr[i] == '}') ADD_FAILURE() << "unescaped in " << expr;
                if (expr[i] == '$') {
                    EXPECT_EQ(i + 1, expr.size()) << expr;
                }
            }
        }
        for (const char* url : c.match) EXPECT_TRUE(AnyMatches(f, url)) << c.pattern << " should match " << url;
        for (const char* url : c.miss) EXPECT_FALSE(AnyMatches(f, url)) << c.pattern << " should miss " << url;
    }
    std::string why;
    EXPECT_TRUE(filters::PatternToUrlFilters("||příklad.cz^", why).empty());
    EXPECT_TRUE(filters::PatternToUrlFilters("||^", why).empty());
}

TEST(UrlPattern, RegularExpressionsOnlyWithinTheEngineSubset) {
    std::string why;
    std::string f = filters::RegexToUrlFilter("^https?:\\/\\/[a-z0-9.-]+\\.test\\/[^?]+\\.js$", why);
    EXPECT_EQ(f, "^https?://[a-z0-9.-]+\\.test/[^?]+\\.js$");
    EXPECT_TRUE(std::regex_search("https://a.b.test/x/y.js", std::regex(f)));
    for (const char* bad : {"\\d+\\.js", "ad{2}", "(a|b)", "(?:x)y", "(?=x)", "a*?", "a**", "x^y", "a$b", "[a-z",
                            "(a", "a)", "é", "\\"}) {
        why.clear();
        EXPECT_EQ(filters::RegexToUrlFilter(bad, why), "") << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

TEST(FilterConverter, OptionsAndExceptionsTakeTheirPlaceInTheOrder) {
    TFilterConverter c;
    c.AddList("[Adblock Plus 2.0]\n"
              "! a comment\n"
              "\n"
              "||track.test^$third-party,script,image\n"
              "@@||track.test/ok.js$script\n"
              "/adframe.$subdocument,domain=a.test|b.test\n"
              "/popunder.$~third-party,~script,domain=~c.test\n"
              "||late.test^$important\n"
              "||whole.test^$document\n"
              "@@||mine.test^$document\n"
              "/Case/$match-case\n"
              "##.ad-banner\n"
              "a.test,b.test##.side-ad\n"
              "##.generic-kept\n"
              "a.test#@#.generic-kept\n"
              "##.lifted\n"
              "#@#.lifted\n");
    EXPECT_EQ(c.Counts().Rules, 14);
    EXPECT_EQ(c.Counts().Converted, 14);
    EXPECT_EQ(c.Counts().Skipped, 0);
    std::vector<TBlockerRule> r = c.Rules();
    auto find = [&](const std::string& part, const std::string& action) {
        for (size_t i = 0; i < r.size(); ++i)
            if (r[i].Action == action &&
                (r[i].UrlFilter.find(part) != std::string::npos || r[i].Selector.find(part) != std::string::npos ||
                 (!r[i].IfDomain.empty() && r[i].IfDomain[0].find(part) != std::string::npos)))
                return int(i);
        return -1;
    };
    int block = find("track\\.test", "block"), lift = find("ok\\.js", "ignore-previous-rules");
    int important = find("late\\.test", "block"), document = find("whole\\.test", "block");
    int hide = find(".ad-banner", "css-display-none"), wholeSite = find("mine.test", "ignore-previous-rules");
    ASSERT_TRUE(block >= 0 && lift >= 0 && important >= 0 && document >= 0 && hide >= 0 && wholeSite >= 0);
    EXPECT_LT(block, lift);
    EXPECT_LT(lift, important);
    EXPECT_LT(important, document);
    EXPECT_LT(document, hide);
    EXPECT_EQ(wholeSite, int(r.size()) - 1);
    // Top-level pages are let alone by what comes before them only.
    int pages = -1;
    for (size_t i = 0; i < r.size(); ++i)
        if (r[i].Action == "ignore-previous-rules" && r[i].ResourceTypes == std::vector<std::string>{"document"})
            pages = int(i);
    EXPECT_TRUE(pages > important && pages < document);

    EXPECT_EQ(r[size_t(block)].LoadType, "third-party");
    EXPECT_EQ(r[size_t(block)].ResourceTypes, (std::vector<std::string>{"image", "script"}));
    const TBlockerRule& frame = r[size_t(find("adframe", "block"))];
    EXPECT_EQ(frame.ResourceTypes, std::vector<std::string>{"document"});
    EXPECT_EQ(frame.IfDomain, (std::vector<std::string>{"*a.test", "*b.test"}));
    const TBlockerRule& pop = r[size_t(find("popunder", "block"))];
    EXPECT_EQ(pop.LoadType, "first-party");
    EXPECT_EQ(pop.UnlessDomain, std::vector<std::string>{"*c.test"});
    EXPECT_EQ(std::count(pop.ResourceTypes.begin(), pop.ResourceTypes.end(), "script"), 0);
    EXPECT_EQ(std::count(pop.ResourceTypes.begin(), pop.ResourceTypes.end(), "document"), 0);
    EXPECT_TRUE(r[size_t(find("Case", "block"))].CaseSensitive);
    // Element hiding: an exception for a domain keeps the rule elsewhere; one
    // for everywhere takes it away.
    const TBlockerRule& kept = r[size_t(find(".generic-kept", "css-display-none"))];
    EXPECT_EQ(kept.UnlessDomain, std::vector<std::string>{"*a.test"});
    EXPECT_EQ(find(".lifted", "css-display-none"), -1);
    EXPECT_EQ(r[size_t(find(".side-ad", "css-display-none"))].IfDomain, (std::vector<std::string>{"*a.test", "*b.test"}));
}

TEST(FilterConverter, WhatTheEngineCannotSayIsCountedAndLeftOut) {
    TFilterConverter c;
    const char* skipped[] = {"||x.test^$csp=script-src 'none'", "||x.test^$redirect=noop.js", "||x.test^$removeparam=utm",
                             "/\\d{3}ad/", "example.*##.ad", "x.test#?#div:-abp-has(.ad)", "x.test##+js(nobab)",
                             "x.test##div:has-text(Ad)", "##.ad:style(color: red)", "x.test#$#.ad { color: red }",
                             "@@||x.test^$generichide", "||x.test^$domain=a.test|~b.a.test", "x.test#%#//scriptlet",
                             "example.com$$script[tag-content=ad]", "||x.test^$script,~image",
                             "||x.test^$unknownoption"};
    for (const char* rule : skipped) {
        std::string why;
        EXPECT_FALSE(c.AddRule(rule, &why)) << rule;
        EXPECT_FALSE(why.empty()) << rule;
    }
    EXPECT_EQ(c.Counts().Skipped, int(std::size(skipped)));
    EXPECT_EQ(c.Counts().Converted, 0);
    EXPECT_EQ(c.Counts().SkippedBy.at("option $csp"), 1);
    EXPECT_TRUE(c.Rules().empty());
}

TEST(FilterConverter, JsonEscapesSelectorsAndFilters) {
    std::string json = filters::RulesToJson(RulesOf("##a[href=\"x\\\\y\"]\n/a\\b\n"));
    EXPECT_NE(json.find("\"selector\":\"a[href=\\\"x\\\\\\\\y\\\"]\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"url-filter\":\"/a\\\\\\\\b\""), std::string::npos) << json;
}

TEST(FilterConverter, ABrokenSelectorIsLeftOutRatherThanVoidingItsGroup) {
    // The engine hides many selectors with one rule; one unclosed quote or
    // bracket among them would void all of them.
    TFilterConverter c;
    const char* broken[] = {"##a[href=\"x", "##div[title=x", "##.ad:not(.x", "##.ad /* note", "##.ad)"};
    for (const char* rule : broken) EXPECT_FALSE(c.AddRule(rule)) << rule;
    const char* sound[] = {"##a[title=\"a)b[\"]", "##a[title='q\"q']", "##.ad:not([id])", "##a[href\\5b=x]"};
    for (const char* rule : sound) EXPECT_TRUE(c.AddRule(rule)) << rule;
    std::vector<TBlockerRule> rules = c.Rules();
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].Selector, "a[title=\"a)b[\"], a[title='q\"q'], .ad:not([id]), a[href\\5b=x]");
}

// The address box's reading of typed text: addresses of every kind, words
// to search for, the resolver asked only for single words, and the search
// URL encoded so that the engine gets the words back.
#include "places/TypedText.h"
#include "platform/Strings.h"
#include "settings/SettingsText.h"

#include <gtest/gtest.h>

using places::ReadTypedText;
using places::TTypedKind;

namespace {

const std::string Engine = "https://search.test/?q=%s&t=qel";

TTypedKind KindOf(const std::string& text, std::vector<std::string>* asked = nullptr) {
    return ReadTypedText(text, Engine, [&](const std::string& host) {
               if (asked) asked->push_back(host);
               return host == "intranet" || host == "printer";
           }).Kind;
}

} // namespace

TEST(TypedText, AddressesAreLoadedAndWordsSearched) {
    for (const char* address :
         {"http://example.org", "https://x.test/a b", "about:blank", "qel:history", "mailto:a@b.test", "file:///etc",
          "example.org", "example.org.", "www.example.co.uk/path?q=1#f", "sub.domain.test:8080/x", "localhost",
          "localhost:8080/page", "app.localhost", "127.0.0.1", "10.0.0.1:3000", "[::1]:8080/", "user@host.test/",
          "/usr/share/doc", "./page.html", "~/notes.html", "intranet", "intranet/wiki", "printer:631", "příklad.cz",
          "  example.org  "})
        EXPECT_EQ(KindOf(address), TTypedKind::Address) << address;
    for (const char* words :
         {"hello world", "weather", "3.14", "1.2.3.4.5", "c++", "what is a url?", "note: buy milk", "foo..bar",
          "[::1", "example.org and more", ".hidden"})
        EXPECT_EQ(KindOf(words), TTypedKind::Search) << words;
    EXPECT_EQ(KindOf("   "), TTypedKind::Nothing);
    // Only a bare word makes the system resolver wait on the network.
    std::vector<std::string> asked;
    KindOf("example.org", &asked);
    KindOf("hello world", &asked);
    KindOf("localhost", &asked);
    KindOf("weather", &asked);
    EXPECT_EQ(asked, std::vector<std::string>{"weather"});
    EXPECT_EQ(ReadTypedText("weather", Engine, nullptr).Kind, TTypedKind::Search);
}

TEST(TypedText, SearchUrlCarriesTheWordsEncoded) {
    EXPECT_EQ(ReadTypedText(" a&b=c d+e/ü% ", Engine, nullptr).Text,
              "https://search.test/?q=a%26b%3Dc+d%2Be%2F%C3%BC%25&t=qel");
    // The settings name the engine; a template without %s is no template.
    platform::TStringList list;
    EXPECT_EQ(places::SearchTemplate(&list), "https://duckduckgo.com/?q=%s");
    settings::WriteValue(&list, "Web010", "SearchEngine", platform::TVariant(std::string("https://s.test/find;x?w=%s")),
                         settings::rvToEndOfLine);
    EXPECT_EQ(places::SearchTemplate(&list), "https://s.test/find;x?w=%s");
    settings::WriteValue(&list, "Web010", "SearchEngine", platform::TVariant(std::string("https://s.test/")),
                         settings::rvToEndOfLine);
    EXPECT_EQ(places::SearchUrl("x y", places::SearchTemplate(&list)), "https://duckduckgo.com/?q=x+y");
}

#pragma once
// What the text typed into the address box asks for: an address to load,
// or words to look up with the search engine. An address has a scheme, is
// a path, or names a host: one with a dot in it, localhost, an IP address,
// or a single word that the system resolves (an intranet name). Anything
// else (words with blanks, a single word that is no host, a number) is a
// search.
#include <functional>
#include <string>

namespace platform {
class TStrings;
}

namespace places {

enum class TTypedKind { Nothing, Address, Search };

struct TTypedText {
    TTypedKind Kind = TTypedKind::Nothing;
    // Address: the trimmed text as typed (the window completes it into a
    // URL as it always did); Search: the search engine's URL for the words.
    std::string Text;
};

// Whether the system resolves a bare host name; injected so that the
// reading stays a pure function.
using THostResolves = std::function<bool(const std::string& host)>;

inline constexpr const char* SearchSection = "Web010";
inline constexpr const char* SearchKey = "SearchEngine";
inline constexpr const char* DefaultSearchTemplate = "https://duckduckgo.com/?q=%s";

// The search engine template of the settings (key "SearchEngine" of
// section "Web010"): a URL whose "%s" takes the words; the program's own
// default when missing or without "%s".
std::string SearchTemplate(platform::TStrings* settings);
// The words URL-encoded into the template (blanks as "+").
std::string SearchUrl(const std::string& words, const std::string& searchTemplate);
// The URL scheme rule of the address box: "name:" starts a scheme, except
// "name:digits" followed by nothing, "/", "?" or "#" (a host and its port).
bool StartsWithScheme(const std::string& text);

TTypedText ReadTypedText(const std::string& typed, const std::string& searchTemplate,
                         const THostResolves& resolves);

// The system's resolver (getaddrinfo): it may wait on the network, so a
// caller on the display thread asks only for single words without a dot.
bool SystemResolves(const std::string& host);

} // namespace places

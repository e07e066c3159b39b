#pragma once
// The start page built into the program: the default home page, served
// through the program's own URI scheme so that the first run shows a real
// page without any network.
#include <functional>
#include <string>

typedef struct _WebKitWebContext WebKitWebContext;

namespace browser {

constexpr const char* kStartPageScheme = "qel";
// The default home page.
constexpr const char* kStartPageUrl = "qel:start";

// The page's HTML: the program's name and its keyboard shortcuts.
std::string StartPageHtml();
// Serves the scheme on the context (once per context).
void RegisterStartPage(WebKitWebContext* context);
// More pages of the scheme: the HTML of an address, or empty text for none.
void SetMorePages(std::function<std::string(const std::string& uri)> serve);

} // namespace browser

#pragma once
// What the engine is asked to load for a text typed into the address box:
// a text with a scheme goes as it is, an existing local path becomes a file
// URL, anything else is taken for a web address.
#include <string>

namespace browser {

// True when the text starts with a URI scheme ("http:", "qel:", "about:").
// "localhost:8080" and "host:99/x" name a host and port, not a scheme.
bool HasUrlScheme(const std::string& text);
// "file://" and the absolute path, percent-encoded where a URL needs it.
std::string FileUrlOf(const std::string& absolutePath);
// The completed URL; blanks around the text are dropped, an empty text
// becomes "about:blank".
std::string CompleteUrl(const std::string& text);

} // namespace browser

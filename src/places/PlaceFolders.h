#pragma once
// Where the browser keeps what it remembers of the user's browsing.
#include <string>

namespace places {

// $XDG_DATA_HOME/QelBrowser/ (else ~/.local/share/QelBrowser/), with a
// trailing "/".
std::string DataFolder();
// $XDG_CONFIG_HOME/QelBrowser/ (else ~/.config/QelBrowser/).
std::string ConfigFolder();
// DataFolder() + "history.txt".
std::string HistoryFileName();
// ConfigFolder() + "Bookmarks.Ini".
std::string BookmarksFileName();
// Makes the folder and its missing parents (mode 0700 for new ones); false
// when it is not there afterwards.
bool EnsureFolder(const std::string& folder);

} // namespace places

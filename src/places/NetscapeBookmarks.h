#pragma once
// The Netscape bookmark file: the HTML that browsers export their bookmarks
// to and import them from. Folders are H3 headings, each followed by the DL
// list of what it holds; a bookmark is an A element with HREF and ADD_DATE
// inside a DT.
#include "places/Bookmarks.h"

#include <string>
#include <vector>

namespace places {

// The bookmarks of the file's text, folders as paths, in file order.
// Addresses that are no page (empty, or "place:" queries) are left out.
// folders, when given, gets the path of every folder of the file (empty
// ones too) in file order, each once.
std::vector<TBookmark> ParseNetscapeBookmarks(const std::string& html, std::vector<std::string>* folders = nullptr);
// The folders given are written too, those without bookmarks as empty ones.
std::string FormatNetscapeBookmarks(const std::vector<TBookmark>& bookmarks,
                                    const std::vector<std::string>& folders = {});

std::string HtmlEscape(const std::string& text);
std::string HtmlUnescape(const std::string& text);

} // namespace places

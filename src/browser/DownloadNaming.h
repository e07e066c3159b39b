#pragma once
// Names and texts of downloads: the file a download lands in, never over
// one that exists, and what the status bar says while it runs.
#include <cstdint>
#include <set>
#include <string>

namespace browser {

// The name a server suggests, made safe to use as one file name in the
// download folder: no folder part, no control characters, no leading dots
// (neither hidden nor "..");  "download" when nothing is left.
std::string SafeDownloadName(const std::string& suggested);
// The name with " (n)" before its extension: "a.zip" 1 -> "a (1).zip",
// "a.tar.gz" 1 -> "a (1).tar.gz", "a" 1 -> "a (1)", "v1.2 notes" 1 ->
// "v1.2 notes (1)"; n 0 is the name itself.
std::string NumberedName(const std::string& name, int n);
// The path of the first of name, "name (1)", ... in the folder that is
// free: no file of that name, no partial download of it (the engine writes
// "name.wkdownload" until it is done), and not in taken (the downloads
// still running). Raises platform::Exception when every number is used.
std::string FreeDownloadPath(const std::string& folder, const std::string& name, const std::set<std::string>& taken);

// "512 bytes", "1.5 KB", "2.3 MB", "1.20 GB" (units of 1024).
std::string SizeText(uint64_t bytes);
// "Downloading a.zip: 45% of 2.3 MB, 1.1 MB/s"; without a known total
// "Downloading a.zip: 1.2 MB, 800.0 KB/s".
std::string DownloadProgressText(const std::string& name, uint64_t received, uint64_t total, double seconds);

} // namespace browser

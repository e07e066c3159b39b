#pragma once
// Names and texts of downloads: the file a download lands in, never over
// one that exists, and what the status bar says while it runs.
#include <cstdint>
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
// Creates the first free one of name, "name (1)", ... in the folder, empty,
// and answers its path: the name is ours from here on, also against a second
// download of the same name. Raises platform::Exception when the folder
// takes no file.
std::string ReserveDownloadFile(const std::string& folder, const std::string& name);

// "512 bytes", "1.5 KB", "2.3 MB", "1.20 GB" (units of 1024).
std::string SizeText(uint64_t bytes);
// "Downloading a.zip: 45% of 2.3 MB, 1.1 MB/s"; without a known total
// "Downloading a.zip: 1.2 MB, 800.0 KB/s".
std::string DownloadProgressText(const std::string& name, uint64_t received, uint64_t total, double seconds);

} // namespace browser

#pragma once
// The open tabs between runs: their addresses and titles in tab order,
// which one was shown, and whether the browser ended cleanly. Kept in a
// small text file beside the settings file, written through the safe save
// so that a kill in the middle leaves the old session or the new one.
//
// The file, one record a line (LF):
//   QelSession 1
//   clean 0|1
//   current <index from 0>
//   tab <address> TAB <title>
// Tabs, line ends and backslashes inside a field are written \t, \n, \\.
#include "platform/Exception.h"

#include <string>
#include <vector>

namespace places {

class ESessionError : public platform::Exception {
    using platform::Exception::Exception;
};

struct TSessionTab {
    std::string url;
    std::string title;
    bool operator==(const TSessionTab&) const = default;
};

struct TSession {
    std::vector<TSessionTab> tabs;
    int current = 0;     // always a valid index when there are tabs
    bool clean = false;  // written by an ordinary end of the browser
    bool operator==(const TSession&) const = default;
};

std::string SessionText(const TSession& session);
// Raises ESessionError naming the line that cannot be read.
TSession ParseSession(const std::string& text);

// A missing file is an empty session; one that cannot be read raises
// ESessionError with the file's name.
TSession LoadSession(const std::string& path);
void SaveSession(const std::string& path, const TSession& session);

// The session file beside a settings file: "x.Ini" -> "x.Session".
std::string SessionFileFor(const std::string& settingsFile);

// Whether the browser should bring the session's tabs back at start: after
// a crash or a kill, and after a clean end with more than one tab; a clean
// end with one tab starts as the browser always did.
bool ShouldRestore(const TSession& session);

} // namespace places

#pragma once
// What the browser remembers of the user's browsing and how it guards the
// pages: the history with the address box's completion over it, the
// bookmarks, their "qel:" pages, and the content filter. The program makes
// one BrowsingUnit after the engine; the window sees the parts through
// TBrowsingMemory, where each may be missing.
#include "browser/ContentBlocker.h"
#include "browser/QelPages.h"
#include "places/Bookmarks.h"
#include "places/Completion.h"
#include "places/History.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {
class TStrings;
}

namespace browser {

class WebEngine;

struct TBrowsingMemory {
    places::THistory* history = nullptr;
    places::TBookmarks* bookmarks = nullptr;
    places::TCompletion* completion = nullptr;
    ContentBlocker* blocker = nullptr;
    // Where typed words go ("%s" takes them); empty: everything typed is
    // an address, as the address box always took it.
    std::string searchTemplate;
};

// The settings of content blocking: section "ContentBlocking", key
// "Lists" (the filter list files, ";" between them; the system's EasyList
// and EasyPrivacy when missing) and "Enabled" (0 turns blocking off).
inline constexpr const char* BlockingSection = "ContentBlocking";
std::vector<std::string> FilterLists(platform::TStrings* settings);
bool BlockingEnabled(platform::TStrings* settings);

class BrowsingUnit {
public:
    // A private session reads what is kept but writes nothing of it: no
    // visit is recorded, no history file is made, and the filter is loaded
    // from (or compiled into) a copy of the cache that goes at the end.
    BrowsingUnit(WebEngine& engine, bool privateMode, platform::TStrings* settings);
    ~BrowsingUnit();
    BrowsingUnit(const BrowsingUnit&) = delete;
    BrowsingUnit& operator=(const BrowsingUnit&) = delete;

    const TBrowsingMemory& Memory() const { return memory_; }
    ContentBlocker* Blocker() { return blocker_.get(); }
    // What could not be read at start, for the user (empty when all went well).
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    WebEngine& engine_;
    places::THistory history_;
    places::TBookmarks bookmarks_;
    places::TCompletion completion_;
    std::unique_ptr<QelPages> pages_;
    std::unique_ptr<ContentBlocker> blocker_;
    std::string privateStore_;  // where a private session compiles a filter
    TBrowsingMemory memory_;
    std::vector<std::string> problems_;
};

} // namespace browser

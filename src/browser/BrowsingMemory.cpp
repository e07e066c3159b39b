#include "browser/BrowsingMemory.h"

#include "browser/WebEngine.h"
#include "places/PlaceFolders.h"
#include "places/TypedText.h"
#include "platform/FileSystem.h"
#include "platform/SysUtils.h"
#include "settings/SettingsText.h"

#include <filesystem>

namespace browser {

std::vector<std::string> FilterLists(platform::TStrings* settings) {
    // The value is the rest of its line: ";" separates lists there.
    const char* missing = "\x01";
    std::string value = settings ? settings::ReadValue(settings, BlockingSection, "Lists", platform::TVariant(missing), -1,
                                                       settings::rvToEndOfLine)
                                       .AsString()
                                 : missing;
    if (value == missing) return ContentBlocker::InstalledLists();
    std::vector<std::string> lists;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(';', start);
        if (end == std::string::npos) end = value.size();
        std::string one = platform::Trim(value.substr(start, end - start));
        if (!one.empty()) lists.push_back(one);
        start = end + 1;
    }
    return lists;
}

bool BlockingEnabled(platform::TStrings* settings) {
    if (!settings) return true;
    try {
        return settings::ReadValue(settings, BlockingSection, "Enabled", platform::TVariant(1)).AsInteger() != 0;
    } catch (const platform::Exception&) {
        return true;  // not a number: the safe side
    }
}

namespace {

// A new empty folder of its own under the system's temporary folder.
std::string TemporaryFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/qelbrowser-private-XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    return pattern + "/";
}

} // namespace

BrowsingUnit::BrowsingUnit(WebEngine& engine, bool privateMode, platform::TStrings* settings)
    : engine_(engine), history_(places::HistoryFileName()), bookmarks_(places::BookmarksFileName()) {
    history_.SetPrivate(privateMode);
    if (!privateMode || platform::FileExists(history_.FileName())) {
        if (history_.Open()) {
            if (!privateMode) history_.ApplyAgeLimit(places::AgeLimitDays(settings));
            // Built off the display thread: a big history takes a while.
            completion_.AttachInBackground(history_);
            memory_.history = &history_;
        } else if (!privateMode) {
            problems_.push_back("No history is kept: " + history_.LastError());
        }
    }
    if (!bookmarks_.Load())
        problems_.push_back("The bookmarks cannot be read, and are left as they are: " + bookmarks_.LastError());
    completion_.SetBookmarks(&bookmarks_);
    memory_.bookmarks = &bookmarks_;
    memory_.completion = &completion_;
    memory_.searchTemplate = places::SearchTemplate(settings);

    pages_ = std::make_unique<QelPages>(memory_.history, &bookmarks_);
    pages_->Register(engine.Context());

    if (BlockingEnabled(settings)) {
        // A private session reads the filter an earlier run compiled where
        // it lies; one it has to compile goes to a folder of its own.
        if (privateMode) privateStore_ = TemporaryFolder();
        if (!privateMode || !privateStore_.empty()) {
            blocker_ = std::make_unique<ContentBlocker>(FilterLists(settings), ContentBlocker::DefaultStoreFolder(),
                                                        ContentBlocker::DefaultSitesFile());
            if (privateMode) blocker_->CompileInto(privateStore_);
            engine.SetBlocker(blocker_.get());
            memory_.blocker = blocker_.get();
        }
    }
}

BrowsingUnit::~BrowsingUnit() {
    engine_.SetBlocker(nullptr);
    blocker_.reset();
    if (!privateStore_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(privateStore_, ec);
    }
}

} // namespace browser

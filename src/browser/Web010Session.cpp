// TWeb010's session: the open tabs (address, title, order, the one shown)
// go to the session file beside the settings after every change that a
// restart would bring back, at most once a second, and when the window
// closes. Pages left open by a crash or a kill come back at the next start;
// tabs not shown then load when they are first shown. A private window
// neither reads nor writes it.
#include "browser/Web010.h"

#include "browser/AppErrors.h"
#include "places/Session.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsText.h"

#include <glibmm/main.h>

#include <cstdio>

namespace browser {

using platform::TVariant;

std::vector<TabRecord> TWeb010::TabRecords(int& current) const {
    std::vector<TabRecord> records;
    current = 0;
    for (const auto& t : tabs_) {
        std::string url = t->url;
        if (t->control) {
            std::string location = t->control->LocationURL();
            if (!location.empty()) url = location;
        }
        if (url.empty()) continue;  // a page that never got anywhere
        if (t.get() == current_) current = static_cast<int>(records.size());
        records.push_back(TabRecord{url, t->title});
    }
    return records;
}

void TWeb010::SaveSession(bool clean) {
    sessionSave_.disconnect();
    if (sessionFile_.empty() || keepNothing_) return;
    places::TSession session;
    for (const TabRecord& r : TabRecords(session.current)) session.tabs.push_back({r.url, r.title});
    session.clean = clean;
    std::string text = places::SessionText(session);
    if (text == savedSession_) return;
    try {
        places::SaveSession(sessionFile_, session);
        savedSession_ = text;
    } catch (const std::exception& e) {
        // The pages go on; the next change tries again.
        std::fprintf(stderr, "QelBrowser: the open tabs were not saved: %s\n", e.what());
    }
}

void TWeb010::SessionChanged() {
    if (sessionFile_.empty() || keepNothing_ || ending_ || !startedHome_) return;
    if (sessionSave_.connected()) return;  // one save a second at most
    sessionSave_ = Glib::signal_timeout().connect(
        [this] {
            RunGuarded([this] { SaveSession(false); });
            return false;
        },
        1000);
}

// The tabs of a session that ended without the window's close come back
// around the first tab, which loads the one that was shown.
bool TWeb010::RestoreSession() {
    places::TSession session;
    try {
        session = places::LoadSession(sessionFile_);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "QelBrowser: the open tabs of the last run cannot be read: %s\n", e.what());
        return false;
    }
    if (!places::ShouldRestore(session) || !factory_) return false;
    TWebTab& first = *tabs_.front();
    for (int i = 0; i < static_cast<int>(session.tabs.size()); ++i) {
        const places::TSessionTab& t = session.tabs[i];
        if (i == session.current) {
            first.url = t.url;
            first.title = t.title;
            first.ShowLabel();
            continue;
        }
        AddTab(nullptr, false, i, ClosedTab{t.url, t.title, {}});
    }
    cbURL_.SetText(first.url);
    NavigateTo(first.url);
    return true;
}

void TWeb010::ReadTabSettings() {
    // Minutes a hidden tab keeps its page; 0 keeps it for ever.
    try {
        int minutes = settings::ReadValue(settings::IniList(), get_name(), "UnloadTabsAfter", TVariant(30)).AsInteger();
        if (minutes >= 0) unloadAfter_ = int64_t(minutes) * 60;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "QelBrowser: UnloadTabsAfter: %s\n", e.what());
    }
}

} // namespace browser

// TWeb010's settings: restored when the window is created, saved when it is
// destroyed, all in the window's own section of the program's settings.
#include "browser/Web010.h"

#include "platform/Strings.h"
#include "settings/ListMerge.h"
#include "settings/PlacementStore.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsText.h"

namespace browser {

using platform::TVariant;

// The placement calls reload the settings list from the file, so each of
// them comes before the window's own reads and writes.
void TWeb010::RestoreSettings() {
    settings::LoadPlacement(placement_.get());
    platform::TStrings* ini = settings::IniList();
    const std::string section = get_name();

    fHome_ = settings::ReadValue(ini, section, "Home", TVariant(fHome_)).AsString();

    bool sts = settings::ReadValue(ini, section, "ShowStatusBar", TVariant(ActionChecked(tagStatusbar))).AsBoolean();
    SetChecked(tagStatusbar, sts);
    sbLow_.set_visible(ActionChecked(tagStatusbar));

    bool tool = settings::ReadValue(ini, section, "ShowToolBar", TVariant(ActionChecked(tagToolbar))).AsBoolean();
    SetChecked(tagToolbar, tool);
    tbTool_.set_visible(ActionChecked(tagToolbar));

    cbURL_.SetText(settings::ReadValue(ini, section, "cbURL", TVariant(cbURL_.Text())).AsString());

    platform::TStringList urls;
    settings::ReadList(ini, section, "cbURL", urls);
    urlsRead_.clear();
    for (int i = 0; i < urls.Count(); ++i) urlsRead_.push_back(urls[i]);
    cbURL_.AddItems(urlsRead_);
    settingsRestored_ = true;
}

void TWeb010::FormDestroy() {
    // Without a restore the window holds defaults, not the user's settings:
    // writing them would replace what the file holds.
    if (!settingsRestored_) return;
    // From the reload to the flush no other writer of the file may come in
    // between: its change would be lost.
    auto lock = settings::LockSettingsFile();
    settings::SavePlacement(*placement_, false);
    platform::TStrings* ini = settings::IniList();
    const std::string section = get_name();
    settings::WriteValue(ini, section, "ShowStatusBar", TVariant(ActionChecked(tagStatusbar)));
    settings::WriteValue(ini, section, "ShowToolBar", TVariant(ActionChecked(tagToolbar)));
    settings::WriteValue(ini, section, "Home", TVariant(fHome_));
    settings::WriteValue(ini, section, "cbURL", TVariant(cbURL_.Text()));
    // The file as it is now may hold another window's list, saved since
    // this one started: what it added is kept behind this window's own.
    platform::TStringList stored;
    int storedCount = settings::ReadList(ini, section, "cbURL", stored);
    std::vector<std::string> ours = cbURL_.Items(), onDisk;
    for (int i = 0; i < storedCount; ++i) onDisk.push_back(stored[i]);
    platform::TStringList urls;
    for (const auto& url : settings::MergeLists(ours, urlsRead_, onDisk)) urls.Add(url);
    // Entries past a gap in the stored numbering were never read: they stay.
    settings::WriteList(ini, section, "cbURL", urls, settings::rlKeepStale);
    settings::DeleteListEntries(ini, section, "cbURL", urls.Count(), storedCount - 1);
    // A settings file that cannot be written must not stop the program's end.
    settings::FlushSettings();
}

} // namespace browser

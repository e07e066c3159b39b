#pragma once
// The program's own settings store: one process-wide list bound to the
// program's settings file IniFile.
#include "platform/Strings.h"

namespace settings {

// The program's settings list; nullptr until the first ReloadSettings.
platform::TStringList* IniList();
// Creates or clears IniList and loads IniFile into it when that file exists
// and is not empty (running InitEnvironment first when IniFile is empty).
void ReloadSettings();
// Saves IniList to IniFile; every failure is swallowed.
void FlushSettings();

} // namespace settings

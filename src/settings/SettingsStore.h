#pragma once
// The program's own settings store: one process-wide list bound to the
// program's settings file IniFile.
#include "platform/FileUpdateLock.h"
#include "platform/Strings.h"

#include <memory>

namespace settings {

// The program's settings list; nullptr until the first ReloadSettings.
platform::TStringList* IniList();
// Creates or clears IniList and loads IniFile into it when that file exists
// and is not empty (running InitEnvironment first when IniFile is empty).
void ReloadSettings();
// Saves IniList to IniFile; every failure is swallowed.
void FlushSettings();
// The update lock on IniFile that a save at exit holds from its reload to
// its flush, so that no other writer's change made meanwhile is lost.
// Makes the file's folder first, as the flush would. Never raises: without
// a settings file name or a place for it the answer holds no lock.
std::unique_ptr<platform::TFileUpdateLock> LockSettingsFile();

} // namespace settings

#pragma once
// Window placement kept in the program's settings, in the section named
// after the form: restored (pulled back onto the desktop) when a form is
// created, saved when it is destroyed.
#include "platform/Placement.h"

namespace settings {

// Reloads the settings; with a form, restores its placement and state.
// Malformed values raise EConvertError.
void LoadPlacement(platform::IPlacementForm* form);
// Reloads the settings and stores the placement keys; saveNow writes the
// file at once (failures swallowed).
void SavePlacement(platform::IPlacementForm& form, bool saveNow);

} // namespace settings

#pragma once
// The GTK implementations of the platform's services. Install them once GTK
// is initialised (after the application object exists), before the first
// window.
#include "gtk/GtkClipboard.h"
#include "gtk/GtkMessageBox.h"
#include "gtk/GtkPlacement.h"
#include "gtk/GtkScreen.h"
#include "gtk/GtkSync.h"

namespace gtkservices {

// The GTK message box, screen and clipboard services, and the main-loop
// hook for synchronisation.
void Install();

} // namespace gtkservices

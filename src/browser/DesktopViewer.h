#pragma once
// Hands a file to the desktop's program for its kind (the PDF viewer for a
// print preview). The program is started apart from ours: its standard
// input and outputs go to /dev/null, so a viewer that lives on never holds
// a pipe that whoever started the browser waits on.
#include <string>

namespace browser {

// Starts the desktop's default program for the file at uri; answers false
// with the reason in error when there is none or it cannot be started.
bool ShowWithDesktopViewer(const std::string& uri, std::string& error);

} // namespace browser

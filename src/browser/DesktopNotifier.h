#pragma once
// Page notifications the user allowed, shown by the desktop's notification
// service as this program's own. Where the program cannot reach the
// service (no session bus), the notification goes to standard error.
#include <functional>
#include <string>

namespace browser {

std::function<void(const std::string& title, const std::string& body)> DesktopNotifier();

} // namespace browser

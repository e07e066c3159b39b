#include "browser/AppErrors.h"

#include "platform/MessageBox.h"
#include "settings/Environment.h"

namespace browser {

void ShowErrorMessage(const std::string& message) {
    std::string title = settings::Env().ApplicationTitle;
    if (title.empty()) title = settings::Env().AppName;
    if (title.empty()) title = "Qel Browser";
    platform::MessageBoxService().Show(message, title, platform::MB_OK | platform::MB_ICONHAND |
                                                           platform::MB_TASKMODAL);
}

void ShowCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowErrorMessage(e.what());
    } catch (...) {
        ShowErrorMessage("Unknown error");
    }
}

} // namespace browser

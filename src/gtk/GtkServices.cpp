#include "gtk/GtkServices.h"

#include "platform/Exception.h"

#include <glib.h>

#include <memory>

namespace gtkservices {

void Install() {
    platform::SetMessageBoxService(std::make_shared<GtkMessageBox>());
    platform::SetScreenService(std::make_shared<GtkScreen>());
    platform::SetClipboardService(std::make_shared<GtkClipboard>());
    InstallSyncHook();
    // Until the program says otherwise, an error of a queued call is shown
    // like any other error that reaches the main loop.
    SetSyncErrorHandler([](std::exception_ptr error) {
        std::string message = "Unknown error";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            message = e.what();
        } catch (...) {
        }
        const char* title = g_get_application_name();
        platform::MessageBoxService().Show(message, title ? title : "", platform::MB_OK | platform::MB_ICONHAND);
    });
}

} // namespace gtkservices

// QelBrowser: the program entry. The units start in dependency order before
// any window exists and stop in reverse order after the main window is gone;
// each start is one guard object here, so the order is the code's order.
#include "browser/WebKitControl.h"
#include "browser/Web010.h"
#include "gtk/GtkServices.h"
#include "settings/Environment.h"

#include <glibmm/miscutils.h>
#include <gtkmm/main.h>

#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    // The toolkit first: the settings store may have to ask the user where
    // to create the base settings file, and that box is a GTK dialog.
    Gtk::Main kit(argc, argv);
    gtkservices::Install();

    // [unit start] JPEG picture format: its registration guard goes here.
    try {
        settings::SettingsUnit settingsUnit;
        // [unit start] Volume configuration: its guard goes here.
        // [unit start] GIF picture format: its registration guard goes here.

        if (!settings::Env().ApplicationTitle.empty()) Glib::set_application_name(settings::Env().ApplicationTitle);
        {
            auto window = std::make_unique<browser::TWeb010>(std::make_unique<browser::WebKitControl>());
            window->show();
            Gtk::Main::run(*window);
            // Destroying the window saves its settings; the units stop after.
        }
        return 0;
    } catch (const settings::EProgramExit& e) {
        return e.Code();
    }
}

// QelBrowser: the program entry. The units start in dependency order before
// any window exists and stop in reverse order after the main window is gone;
// each start is one guard object here, so the order is the code's order.
#include "browser/BrowsingMemory.h"
#include "browser/CommandLine.h"
#include "browser/DesktopNotifier.h"
#include "browser/WebEngine.h"
#include "browser/WebKitControl.h"
#include "browser/Web010.h"
#include "gtk/GtkServices.h"
#include "places/Session.h"
#include "settings/Environment.h"
#include "settings/SettingsStore.h"
#include "settings/SysServices.h"
#include "xoFil20x/VolumeConfig.h"
#include "xpGif10/GifUnit.h"
#include "xpJpeg/JpegUnit.h"
#include "xpPng/PngUnit.h"

#include <glib-unix.h>
#include <glibmm/miscutils.h>
#include <gtkmm/main.h>

#include <csignal>
#include <cstdlib>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Help and version need no display: answered before the toolkit starts.
    {
        browser::CommandLine early = browser::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (early.help || early.version) {
            std::cout << (early.help ? browser::UsageText() : browser::VersionText());
            return 0;
        }
    }
    // Whether the web pages' sandbox can run here is asked of a process: the
    // answer comes while the toolkit and the units start.
    std::future<std::string> sandboxCheck;
    if (!std::getenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS"))
        sandboxCheck = std::async(std::launch::async, browser::SandboxProblem);
    // The toolkit first: the settings store may have to ask the user where
    // to create the base settings file, and that box is a GTK dialog. It
    // takes its own options out of the command line.
    Gtk::Main kit(argc, argv);
    browser::CommandLine line = browser::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!line.error.empty()) {
        std::cerr << "QelBrowser: " << line.error << "\n" << browser::UsageText();
        return 2;
    }
    gtkservices::Install();

    xpJpeg::JpegUnit jpegUnit;  // registered first, unregistered last
    xpPng::PngUnit pngUnit;     // the other picture format through a library
    try {
        settings::SettingsUnit settingsUnit;
        // A volume file the load cannot read (a malformed number) is shown
        // and the browser goes on without it; nothing is written back then,
        // so the file stays as the user left it.
        std::optional<xoFil20x::VolumeUnit> volumeUnit;
        try {
            volumeUnit.emplace();
        } catch (const std::exception& e) {
            settings::MsgBox(std::string(e.what()), "Volume settings", 0);
        }
        xpGif10::GifUnit gifUnit;

        if (!settings::Env().ApplicationTitle.empty()) Glib::set_application_name(settings::Env().ApplicationTitle);
        // The engine outlives the window and its view.
        browser::WebEngine engine(browser::UserProfile(line.privateMode), std::move(sandboxCheck));

        // History, bookmarks and the content filter, read before the window
        // comes; what cannot be read is said, and the browser goes on.
        if (!settings::IniList()) settings::ReloadSettings();
        browser::BrowsingUnit browsing(engine, line.privateMode, settings::IniList());
        // The first page's web process starts now (after the qel: pages are
        // known to the engine, which a view takes at its creation), so that
        // it comes up while the window is built; the window's first
        // navigation then finds it running.
        auto firstPage = std::make_unique<browser::WebKitControl>(engine);
        firstPage->StartPageProcess();
        for (const std::string& problem : browsing.Problems()) settings::MsgBox(problem, "Qel Browser", 0);
        {
            auto window = std::make_unique<browser::TWeb010>(std::move(firstPage));
            window->SetStartUrl(line.url);
            window->SetPrivate(line.privateMode);
            window->SetControlFactory([&engine] { return std::make_unique<browser::WebKitControl>(engine); });
            if (!line.privateMode) window->SetSessionFile(places::SessionFileFor(settings::Env().IniFile));
            window->SetNotifier(browser::DesktopNotifier());
            window->SetMemory(browsing.Memory());
            // The filter loads (or is compiled, the first time) while the
            // window comes up; its first pages wait for it a moment.
            browser::TWeb010* shown = window.get();
            if (browser::ContentBlocker* blocker = browsing.Blocker())
                blocker->Prepare([blocker, &shown](bool ready) {
                    const std::string notice = blocker->TakeNotice();
                    if (!notice.empty()) std::cerr << "QelBrowser: " << notice << "\n";
                    if (shown) shown->BlockingPrepared(ready, notice);
                });
            // A log-out or a kill from the terminal ends the program as its
            // close does: the settings and the open tabs are saved.
            std::vector<guint> signalSources;
            for (int sig : {SIGTERM, SIGINT, SIGHUP})
                signalSources.push_back(g_unix_signal_add(
                    sig,
                    [](gpointer w) {
                        static_cast<browser::TWeb010*>(w)->EndNow();
                        return gboolean(G_SOURCE_CONTINUE);
                    },
                    window.get()));
            window->show();
            Gtk::Main::run(*window);
            for (guint source : signalSources) g_source_remove(source);
            shown = nullptr;
            // Destroying the window saves its settings; the units stop after.
        }
        return 0;
    } catch (const settings::EProgramExit& e) {
        return e.Code();
    }
}

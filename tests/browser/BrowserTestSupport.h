#pragma once
// What the main window's tests share: GTK started once, a settings folder of
// their own for every test, a scripted message box, and waiting on the main
// loop for a condition instead of sleeping.
#include "browser/ScriptedWebControl.h"
#include "browser/Web010.h"
#include "platform/MessageBox.h"
#include "settings/Environment.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace browser_test {

inline void EnsureGtk() {
    static bool done = [] {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
        return true;
    }();
    (void)done;
}

// Runs the main loop until the condition holds or the time is up.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs everything the main loop has to do now, idle handlers included.
inline void Drain() {
    for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A program folder with the base settings file, the configuration folder
// beside it, and the settings environment pointed at them.
class BrowserFixture : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGtk();
        char tmpl[] = "/tmp/qel-browser-XXXXXX";
        dir_ = std::string(::mkdtemp(tmpl)) + "/";
        std::filesystem::create_directory(dir_ + "config");
        ::setenv("XDG_CONFIG_HOME", (dir_ + "config").c_str(), 1);
        std::ofstream(dir_ + "Varnolek.Ini").flush();
        settings::InitEnvironmentFor(dir_ + "QelBrowser");
    }
    void TearDown() override {
        window_.reset();
        settings::DoneEnvironment();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string IniFile() const { return dir_ + "QelBrowser.Ini"; }

    // Creates the window around a scripted control; with startHome the
    // start-up message is handled before this returns.
    browser::TWeb010& Open(bool startHome = true) {
        auto control = std::make_unique<browser::ScriptedWebControl>();
        control->raiseBeforeNavigate = true;
        web_ = control.get();
        window_ = std::make_unique<browser::TWeb010>(std::move(control));
        if (startHome) {
            EXPECT_TRUE(WaitFor([this] { return window_->StartedHome(); }));
        }
        return *window_;
    }
    // Destroys the window, which saves its settings.
    void Close() { window_.reset(); }

    std::string dir_;
    std::shared_ptr<platform::ScriptedMessageBox> boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope_{boxes_};
    std::unique_ptr<browser::TWeb010> window_;
    browser::ScriptedWebControl* web_ = nullptr;
};

} // namespace browser_test

#pragma once
// What the main window's tests share: GTK started once, a settings folder of
// their own for every test, a scripted message box, and waiting on the main
// loop for a condition instead of sleeping.
#include "ScriptedWebControl.h"
#include "browser/Web010.h"
#include "common/TempFolder.h"
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
#include <optional>
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

// A key pressed and let go in the window, the way the display delivers it:
// the window's key preview first, then the focused widget.
inline void SendKey(Gtk::Window& window, guint keyval, GdkModifierType state = GdkModifierType(0)) {
    GdkDisplay* display = gdk_display_get_default();
    GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    guint16 code = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count) && count > 0)
        code = static_cast<guint16>(keys[0].keycode);
    g_free(keys);
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* ev = gdk_event_new(type);
        ev->key.window = GDK_WINDOW(g_object_ref(window.get_window()->gobj()));
        ev->key.send_event = TRUE;
        ev->key.time = GDK_CURRENT_TIME;
        ev->key.keyval = keyval;
        ev->key.state = state;
        ev->key.hardware_keycode = code;
        gdk_event_set_device(ev, keyboard);
        gtk_main_do_event(ev);
        gdk_event_free(ev);
    }
}

// One notch of the mouse wheel over the widget, with the modifiers held.
inline void SendScroll(Gtk::Widget& widget, GdkScrollDirection direction, GdkModifierType state) {
    GdkEvent* ev = gdk_event_new(GDK_SCROLL);
    ev->scroll.window = GDK_WINDOW(g_object_ref(widget.get_window()->gobj()));
    ev->scroll.send_event = TRUE;
    ev->scroll.time = GDK_CURRENT_TIME;
    ev->scroll.direction = direction;
    ev->scroll.state = state;
    ev->scroll.x = widget.get_allocation().get_x() + 5;
    ev->scroll.y = widget.get_allocation().get_y() + 5;
    gdk_event_set_device(ev, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_main_do_event(ev);
    gdk_event_free(ev);
}

// Runs everything the main loop has to do now, idle handlers included.
inline void Drain() {
    for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

using qeltest::ReadFile;

// A program folder with the base settings file, the configuration folder
// beside it, and the settings environment pointed at them.
class BrowserFixture : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGtk();
        folder_.emplace("qel-browser", qeltest::TempFolder::Place::Tmp);
        dir_ = folder_->Path();
        std::filesystem::create_directory(dir_ + "config");
        ::setenv("XDG_CONFIG_HOME", (dir_ + "config").c_str(), 1);
        std::ofstream(dir_ + "Varnolek.Ini").flush();
        settings::InitEnvironmentFor(dir_ + "QelBrowser");
    }
    void TearDown() override {
        window_.reset();
        settings::DoneEnvironment();
        folder_.reset();
    }

    std::string IniFile() const { return dir_ + "QelBrowser.Ini"; }

    // Creates the window around a scripted control; with startHome the
    // start-up message is handled before this returns.
    browser::TWeb010& Open(bool startHome = true) {
        auto control = std::make_unique<browser::ScriptedWebControl>();
        control->raiseBeforeNavigate = true;
        web_ = control.get();
        return OpenWith(std::move(control), startHome);
    }
    browser::TWeb010& OpenWith(std::unique_ptr<browser::WebControl> control, bool startHome = true) {
        window_ = std::make_unique<browser::TWeb010>(std::move(control));
        if (startHome) {
            EXPECT_TRUE(WaitFor([this] { return window_->StartedHome(); }));
        }
        return *window_;
    }
    // Destroys the window, which saves its settings.
    void Close() { window_.reset(); }

    std::optional<qeltest::TempFolder> folder_;
    std::string dir_;
    std::shared_ptr<platform::ScriptedMessageBox> boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope_{boxes_};
    std::unique_ptr<browser::TWeb010> window_;
    browser::ScriptedWebControl* web_ = nullptr;
};

} // namespace browser_test

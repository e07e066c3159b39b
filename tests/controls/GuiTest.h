#pragma once
// GTK for the widget tests: initialised once per process, and a main loop
// turned until a condition holds (never a fixed sleep).
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/main.h>

#include <chrono>
#include <functional>

namespace guitest {

inline bool EnsureGtk() {
    static bool ok = [] {
        if (!gtk_init_check(nullptr, nullptr)) return false;
        Gtk::Main::init_gtkmm_internals();
        return true;
    }();
    return ok;
}

// Runs pending events, then waits for the condition up to the timeout.
inline bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        if (cond()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
}

inline void Flush() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

} // namespace guitest

#define REQUIRE_GTK() ASSERT_TRUE(guitest::EnsureGtk()) << "no display: run under xvfb-run"

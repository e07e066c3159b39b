#include "gtk/GtkSync.h"

#include "platform/Sync.h"

#include <glib.h>

#include <atomic>
#include <exception>
#include <functional>
#include <utility>

namespace gtkservices {

namespace {
std::function<void(std::exception_ptr)>& SyncErrorHandler() {
    static std::function<void(std::exception_ptr)> handler;
    return handler;
}

std::atomic<bool> g_pending{false};
GSource* g_source = nullptr;

gboolean Prepare(GSource*, gint* timeout) {
    *timeout = -1;
    return g_pending.load();
}

gboolean Check(GSource*) { return g_pending.load(); }

gboolean Dispatch(GSource*, GSourceFunc, gpointer) {
    // Cleared first: a call queued while we run wakes us once more.
    g_pending.store(false);
    try {
        platform::CheckSynchronize();
    } catch (...) {
        if (auto& handler = SyncErrorHandler()) {
            try {
                handler(std::current_exception());
            } catch (...) {
                // Nothing may unwind into GLib.
            }
        }
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs g_funcs = {Prepare, Check, Dispatch, nullptr, nullptr, nullptr};
} // namespace

void SetSyncErrorHandler(std::function<void(std::exception_ptr)> handler) {
    SyncErrorHandler() = std::move(handler);
}

void InstallSyncHook() {
    platform::SetMainThread();
    if (!g_source) {
        g_source = g_source_new(&g_funcs, sizeof(GSource));
        g_source_set_name(g_source, "qel-synchronize");
        g_source_attach(g_source, nullptr);
    }
    GMainContext* context = g_source_get_context(g_source);
    platform::SetWakeMainThread([context] {
        g_pending.store(true);
        g_main_context_wakeup(context);
    });
    // Calls queued before the hook existed run on the first turn of the loop.
    g_pending.store(true);
}

void RemoveSyncHook() {
    platform::SetWakeMainThread({});
    if (g_source) {
        g_source_destroy(g_source);
        g_source_unref(g_source);
        g_source = nullptr;
    }
    g_pending.store(false);
}

} // namespace gtkservices

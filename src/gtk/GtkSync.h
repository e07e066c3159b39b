#pragma once
// The main loop's part in handing work to the main thread: a GLib source on
// the default main context that runs platform::CheckSynchronize whenever a
// thread queues a call.
#include <exception>
#include <functional>

namespace gtkservices {

// Installs the source and the wake-up hook; the calling thread becomes the
// main thread. Installing twice keeps one source.
void InstallSyncHook();
// Removes both again.
void RemoveSyncHook();
// Receives an error escaping a queued call that nobody waits for (errors of
// waited-for calls go back to the waiting thread). Without a handler the
// error is dropped: it must never unwind through the C main loop.
void SetSyncErrorHandler(std::function<void(std::exception_ptr)> handler);

} // namespace gtkservices

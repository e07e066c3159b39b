#pragma once
// The main loop's part in handing work to the main thread: a GLib source on
// the default main context that runs platform::CheckSynchronize whenever a
// thread queues a call.
namespace gtkservices {

// Installs the source and the wake-up hook; the calling thread becomes the
// main thread. Installing twice keeps one source.
void InstallSyncHook();
// Removes both again.
void RemoveSyncHook();

} // namespace gtkservices

#pragma once
// Handing work to the main thread. Synchronize posts a call and waits until
// the main thread has run it; CheckSynchronize, called on the main thread,
// runs what is queued. The GTK main loop calls CheckSynchronize from a GLib
// source woken through the hook; tests call it directly.
#include <functional>
#include <thread>

namespace platform {

// Marks the calling thread as the main thread (the first caller of any of
// these functions is taken as main otherwise).
void SetMainThread();
bool IsMainThread();

// Runs the call on the main thread and waits for it. On the main thread it
// runs the call at once. An exception of the call is raised again here.
void Synchronize(const std::function<void()>& call);
// Queues the call for the main thread without waiting.
void Queue(std::function<void()> call);
// Runs every queued call; answers whether any ran. Main thread only.
bool CheckSynchronize();
// Called whenever a call is queued, from the queuing thread: the main loop's
// wake-up. Empty by default.
void SetWakeMainThread(std::function<void()> wake);

} // namespace platform

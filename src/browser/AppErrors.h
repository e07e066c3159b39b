#pragma once
// The application's default error handling. Every signal handler of the
// program runs inside Guarded: an error that escapes it is shown in a modal
// message box and the main loop carries on, so one failed command never
// takes the window down with it.
#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace browser {

// Shows the message in the message box service's error box, under the
// application's title.
void ShowErrorMessage(const std::string& message);
// Shows what the current exception says (call inside a catch block).
void ShowCurrentException();

// Runs the call; an escaping error is shown and swallowed.
template <typename F, typename... A>
void RunGuarded(F&& f, A&&... args) {
    try {
        std::forward<F>(f)(std::forward<A>(args)...);
    } catch (...) {
        ShowCurrentException();
    }
}

// Wraps a handler so that it never lets an error escape into the toolkit.
template <typename... A, typename F>
std::function<void(A...)> Guarded(F f) {
    return [f = std::move(f)](A... args) { RunGuarded(f, args...); };
}

} // namespace browser

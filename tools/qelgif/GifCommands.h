#pragma once
// The qelgif commands that convert, shrink, play and show pictures; main.cpp
// lists them in its command table.
#include <stdexcept>
#include <string>
#include <vector>

namespace qelgif {

using Args = std::vector<std::string>;

// A wrong command line; main prints the usage after the message.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int Encode(const Args& args);
int Optimize(const Args& args);
int Frames(const Args& args);
// Shows the file in a window (needs the GTK build).
int View(const Args& args);

} // namespace qelgif

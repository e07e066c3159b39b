#pragma once
// A progress bar for long work, drawn on standard error only when that is a
// terminal, and only once the work has lasted about a second: short commands
// and scripts see nothing.
#include <chrono>
#include <string>

namespace tools {

class TProgressBar {
public:
    // label: what the work is ("Indexing", "Sorting"); shown before the bar.
    explicit TProgressBar(std::string label);
    // Draws only when enabled (tests draw into a string this way).
    TProgressBar(std::string label, bool enabled);
    ~TProgressBar();
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    // fraction from 0 to 1; redraws at most ten times a second.
    void Update(double fraction);
    // Clears the bar's line (the destructor does it too).
    void Done();
    // The line the bar would draw for a fraction, without the leading CR.
    std::string Line(double fraction) const;
    // How long work lasts before bars made from now on show (about a
    // second); tests that watch a bar on a terminal make it show at once.
    static void SetShowAfter(std::chrono::milliseconds delay);

private:
    using Clock = std::chrono::steady_clock;
    std::string label_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point last_{};
};

} // namespace tools

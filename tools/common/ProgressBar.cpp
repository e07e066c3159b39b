#include "common/ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace tools {

namespace {
std::chrono::milliseconds showAfter(1000);
constexpr auto kInterval = std::chrono::milliseconds(100);
constexpr int kWidth = 30;
} // namespace

void TProgressBar::SetShowAfter(std::chrono::milliseconds delay) { showAfter = delay; }

TProgressBar::TProgressBar(std::string label) : TProgressBar(std::move(label), ::isatty(STDERR_FILENO) == 1) {}

TProgressBar::TProgressBar(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled), start_(Clock::now()) {}

TProgressBar::~TProgressBar() { Done(); }

std::string TProgressBar::Line(double fraction) const {
    fraction = std::clamp(fraction, 0.0, 1.0);
    int filled = static_cast<int>(fraction * kWidth + 0.5);
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));
    return label_ + " [" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] " + percent;
}

void TProgressBar::Update(double fraction) {
    if (!enabled_) return;
    auto now = Clock::now();
    if (now - start_ < showAfter || (drawn_ && now - last_ < kInterval)) return;
    last_ = now;
    drawn_ = true;
    std::fprintf(stderr, "\r%s", Line(fraction).c_str());
    std::fflush(stderr);
}

void TProgressBar::Done() {
    if (!drawn_) return;
    drawn_ = false;
    std::fprintf(stderr, "\r%s\r", std::string(Line(1).size(), ' ').c_str());
    std::fflush(stderr);
}

} // namespace tools

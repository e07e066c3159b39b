#pragma once
// What the benchmarks share: the middle of a run of samples, wall and child
// processor clocks, and a command that has to work.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// The middle sample; of an even count, the mean of the two middle ones.
// 0 for no samples.
inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t half = v.size() / 2;
    return v.size() % 2 ? v[half] : (v[half - 1] + v[half]) / 2;
}

// The sample at the middle once sorted: of an even count, the upper of the
// two middle ones (always a time that was measured). 0 for no samples.
inline double UpperMedian(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Seconds on the monotonic clock; only differences mean anything.
inline double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor seconds (user and system) of the children waited for so far.
inline double ChildSeconds() {
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Runs a shell command line; a failure ends the benchmark, naming it.
inline void Must(const std::string& cmd) {
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", cmd.c_str());
        std::exit(1);
    }
}

} // namespace bench

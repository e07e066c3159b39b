// qelgif info beside gifsicle --info on an 80-frame 640x480 animation made
// at run time by ImageMagick (a photograph-like picture rolled a little per
// frame, so every frame holds full data). Each program runs as a whole,
// in turns, several times; for each: the median wall time and the largest
// peak resident size (from the kernel's accounting of the child), and the
// ratios ours / gifsicle.
//
//   bench_gif_info [--runs N] [--keep DIR]
#include "common/BenchTiming.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using bench::Median;
using bench::Must;

namespace {

struct Run {
    double seconds;
    long peakKiB;
};

// Runs the program with its output thrown away; wait4 gives the child's own
// peak resident size, not that of a shell around it.
Run RunOnce(const std::vector<std::string>& argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", argv[0].c_str());
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

} // namespace

int main(int argc, char** argv) {
    int runs = 7;
    fs::path keep;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep" && i + 1 < argc) keep = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_gif_info [--runs N] [--keep DIR]\n");
            return 2;
        }
    }
    if (std::system("convert -version >/dev/null 2>&1 && gifsicle --version >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "ImageMagick and gifsicle are needed for this comparison\n");
        return 1;
    }
    const fs::path dir = keep.empty() ? fs::temp_directory_path() / ("bench-gif-info-" + std::to_string(::getpid()))
                                      : keep;
    fs::create_directories(dir);
    const std::string gif = (dir / "anim-80x640x480.gif").string();
    if (!fs::exists(gif)) {
        const std::string d = dir.string();
        std::string cmd = "cd " + d + " && convert -size 640x480 -seed 7 plasma:fractal base.png";
        for (int i = 0; i < 80; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "f-%03d.png", i);
            cmd += " && convert base.png -roll +" + std::to_string(i * 8) + "+" + std::to_string(i * 3) + " " + name;
        }
        cmd += " && convert -delay 4 -loop 0 f-*.png -colors 256 " + gif + " && rm -f f-*.png base.png";
        Must("(" + cmd + ") >/dev/null 2>&1");
    }
    std::vector<double> ourTimes, gsTimes;
    long ourPeak = 0, gsPeak = 0;
    // In turns, so that a change in the machine's load falls on both.
    for (int i = 0; i < runs; ++i) {
        const Run ours = RunOnce({QELGIF_PATH, "info", gif});
        const Run gs = RunOnce({"gifsicle", "--info", gif});
        ourTimes.push_back(ours.seconds);
        gsTimes.push_back(gs.seconds);
        ourPeak = std::max(ourPeak, ours.peakKiB);
        gsPeak = std::max(gsPeak, gs.peakKiB);
    }
    const double ourTime = Median(ourTimes), gsTime = Median(gsTimes);
    std::printf("file %s, %ju bytes, %d runs each\n", gif.c_str(), uintmax_t(fs::file_size(gif)), runs);
    std::printf("%-16s %10s %12s\n", "", "median ms", "peak RSS KiB");
    std::printf("%-16s %10.1f %12ld\n", "gifsicle --info", gsTime * 1000, gsPeak);
    std::printf("%-16s %10.1f %12ld\n", "qelgif info", ourTime * 1000, ourPeak);
    std::printf("ratio ours / gifsicle: time %.2f, peak memory %.2f (goal: both <= 1.0)\n", ourTime / gsTime,
                double(ourPeak) / double(gsPeak));
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}

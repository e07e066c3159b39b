// qelgif resize and crop beside gifsicle --resize and --crop on animations
// made at run time by ImageMagick. Each line: the operation, both programs'
// median wall and processor times over several runs (the programs as a
// whole, loading and saving counted) and their ratios, and both output
// sizes. The resize lines pair like with like: our default (nearest)
// against gifsicle's default and against its sample method, our box
// against its box. Prints the median ratios at the end.
//
//   bench_gif_transform [--runs N] [--keep DIR]
#include "common/BenchTiming.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using bench::ChildSeconds;
using bench::Median;
using bench::Must;
using bench::WallSeconds;

namespace {

struct Times {
    double wall, cpu;
};

// The two commands take turns, so that a busy moment of the machine falls
// on both alike.
std::pair<Times, Times> TimeBoth(const std::string& a, const std::string& b, int runs) {
    std::vector<double> wa, ca, wb, cb;
    for (int i = 0; i < runs; ++i)
        for (int side = 0; side < 2; ++side) {
            const double start = WallSeconds(), startCpu = ChildSeconds();
            Must(side == 0 ? a : b);
            (side == 0 ? wa : wb).push_back(WallSeconds() - start);
            (side == 0 ? ca : cb).push_back(ChildSeconds() - startCpu);
        }
    return {{Median(wa), Median(ca)}, {Median(wb), Median(cb)}};
}

struct Sample {
    std::string name, make;
    int width, height;
};

std::vector<Sample> Samples(const fs::path& dir) {
    const std::string d = dir.string();
    std::vector<Sample> s;
    // A photographic loop of whole frames, a table per frame.
    {
        std::string cmd = "cd " + d + " && convert -size 640x480 -seed 5 plasma:red-blue photo.png";
        for (int i = 0; i < 40; ++i)
            cmd += " && convert photo.png -modulate 100," + std::to_string(60 + i) + "," + std::to_string(50 + i) +
                   " -roll +" + std::to_string(i * 3) + "+0 -fill white -draw 'circle " + std::to_string(i * 12) +
                   ",240 " + std::to_string(i * 12 + 30) + ",240' photo-" + std::to_string(100 + i) + ".png";
        cmd += " && convert -delay 8 -loop 0 photo-1*.png photo.gif";
        s.push_back({"photo.gif", cmd, 640, 480});
    }
    // A sprite over a still background, optimized into partial frames
    // with transparency and one global table.
    {
        std::string cmd = "cd " + d + " && convert -size 480x320 -seed 3 plasma:fractal -blur 0x2 bg.png";
        for (int i = 0; i < 40; ++i)
            cmd += " && convert bg.png -fill '#ffd020' -stroke black -draw 'circle " + std::to_string(20 + i * 10) +
                   "," + std::to_string(60 + (i % 8) * 25) + " " + std::to_string(44 + i * 10) + "," +
                   std::to_string(60 + (i % 8) * 25) + "' sprite-" + std::to_string(100 + i) + ".png";
        cmd += " && convert -delay 6 -loop 0 sprite-1*.png +map -layers Optimize sprite.gif";
        s.push_back({"sprite.gif", cmd, 480, 320});
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    fs::path keep;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_gif_transform [--runs N] [--keep DIR]\n");
            return 2;
        }
    }
    if (std::system("convert -version >/dev/null 2>&1 && gifsicle --version >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "ImageMagick and gifsicle are needed for this comparison\n");
        return 1;
    }
    const fs::path dir =
        keep.empty() ? fs::temp_directory_path() / ("bench-gif-transform-" + std::to_string(::getpid())) : keep;
    fs::create_directories(dir);
    std::printf("%-11s %-34s %7s %7s %6s %7s %7s %6s %9s %9s\n", "file", "operation (ours / gifsicle's)", "gs ms",
                "our ms", "wall", "gs cpu", "our cpu", "cpu", "gs bytes", "our bytes");
    std::vector<double> wallRatios, cpuRatios;
    const std::string q = QELGIF_PATH;
    for (const Sample& sample : Samples(dir)) {
        const std::string in = (dir / sample.name).string();
        if (!fs::exists(in)) Must("(" + sample.make + "\n) >/dev/null 2>&1");
        const std::string half = std::to_string(sample.width / 2) + "x" + std::to_string(sample.height / 2);
        const std::string x = std::to_string(sample.width / 5), y = std::to_string(sample.height / 6);
        const std::string part = std::to_string(sample.width / 2) + "x" + std::to_string(sample.height / 2);
        struct Op {
            std::string label, ours, theirs;
        };
        const std::string gs = "gifsicle --no-warnings ", ours = (dir / "ours.gif").string(),
                          theirs = (dir / "theirs.gif").string();
        const std::vector<Op> ops = {
            {"resize " + half + " / default", q + " resize " + in + " " + ours + " " + half,
             gs + "--resize " + half + " " + in + " -o " + theirs},
            {"resize " + half + " / sample", q + " resize " + in + " " + ours + " " + half,
             gs + "--resize-method sample --resize " + half + " " + in + " -o " + theirs},
            {"resize " + half + " box / box", q + " resize " + in + " " + ours + " " + half + " --method box",
             gs + "--resize-method box --resize " + half + " " + in + " -o " + theirs},
            {"crop " + x + "," + y + "," + part, q + " crop " + in + " " + ours + " " + x + "," + y + "," + part,
             gs + "--crop " + x + "," + y + "+" + part + " " + in + " -o " + theirs},
        };
        for (const Op& op : ops) {
            const auto [mine, peer] = TimeBoth(op.ours, op.theirs, runs);
            wallRatios.push_back(mine.wall / peer.wall);
            cpuRatios.push_back(mine.cpu / std::max(peer.cpu, 1e-4));
            std::printf("%-11s %-34s %7.1f %7.1f %6.2f %7.1f %7.1f %6.2f %9ju %9ju\n", sample.name.c_str(),
                        op.label.c_str(), peer.wall * 1000, mine.wall * 1000, wallRatios.back(), peer.cpu * 1000,
                        mine.cpu * 1000, cpuRatios.back(), uintmax_t(fs::file_size(theirs)),
                        uintmax_t(fs::file_size(ours)));
        }
    }
    std::printf("time ratio (ours / gifsicle): wall median %.2f, largest %.2f; processor median %.2f, largest %.2f\n",
                Median(wallRatios), *std::max_element(wallRatios.begin(), wallRatios.end()), Median(cpuRatios),
                *std::max_element(cpuRatios.begin(), cpuRatios.end()));
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}

// qelgif optimize (all options, frame differencing on) beside gifsicle -O3
// on animations made at run time by ImageMagick, gifsicle and Pillow:
// sprites over a still background, screen recordings and photographic
// loops. For each file: the input size, both outputs' sizes and their
// ratio, both wall times (each the median of several runs of the program
// as a whole, so both sides count loading and writing) and their ratio, and
// whether every drawn state and wait of our output equals the input's
// (qelgif frames on both). Prints the median and largest size ratio and
// the median time ratio at the end.
//
// With --lossy N, the same animations through "qelgif optimize --lossy N"
// beside "gifsicle -O3 --lossy=N": both sizes and their ratio, each side's
// peak signal-to-noise ratio over the drawn states against the input's, and
// the size ratio at equal quality (the largest lossiness of ours whose PSNR
// is at least gifsicle's, found by bisection).
//
//   bench_gif_optimize [--runs N] [--keep DIR] [--lossy N]
#include "common/BenchTiming.h"
#include "platform/Streams.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace platform;
namespace fs = std::filesystem;

using bench::ChildSeconds;
using bench::Median;
using bench::Must;
using bench::WallSeconds;

namespace {

// Median wall time and median processor time (all the child's threads) of
// several runs. The wall time of ours includes syncing the saved file to
// the disk, which the safe save does and gifsicle does not.
struct Times {
    double wall, cpu;
};

Times TimeOf(const std::string& cmd, int runs) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const double start = WallSeconds(), startCpu = ChildSeconds();
        Must(cmd);
        wall.push_back(WallSeconds() - start);
        cpu.push_back(ChildSeconds() - startCpu);
    }
    return {Median(wall), Median(cpu)};
}

// The drawn states and waits of a file: qelgif frames, the pictures read
// back, equal neighbours joined with their waits added.
struct Drawn {
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<long> waits;
};

Drawn DrawnOf(const std::string& gif, const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string listing = (dir / "listing").string();
    Must(std::string(QELGIF_PATH) + " frames " + gif + " " + (dir / "s").string() + " >" + listing);
    std::vector<uint8_t> text = ReadFileBytes(listing);
    std::string s(text.begin(), text.end());
    Drawn d;
    size_t at = 0;
    long pending = 0;
    for (int i = 0;; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s-%03d.pam", i);
        if (!fs::exists(dir / name)) break;
        size_t w = s.find(" wait ", at);
        long wait = w == std::string::npos ? 0 : std::atol(s.c_str() + w + 6);
        at = w == std::string::npos ? at : w + 6;
        std::vector<uint8_t> pic = ReadFileBytes((dir / name).string());
        if (!d.pictures.empty() && d.pictures.back() == pic) {
            pending += wait;
            continue;
        }
        d.pictures.push_back(std::move(pic));
        d.waits.push_back(wait + pending);
        pending = 0;
    }
    return d;
}

struct Sample {
    std::string name, make;
};

// Python with Pillow, writing the frames it is given as one animation.
std::string Pillow(const std::string& body, const std::string& out) {
    // Debian's Python, which has Pillow, before whatever else is on PATH.
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    return python + " - <<'PY'\nfrom PIL import Image, ImageDraw\nimport random\nrandom.seed(7)\nframes = []\n" + body +
           "frames[0].save('" + out + "', save_all=True, append_images=frames[1:], loop=0, duration=50, " +
           "optimize=False, disposal=1)\nPY\n";
}

std::vector<Sample> Samples(const fs::path& dir) {
    const std::string d = dir.string();
    std::vector<Sample> s;
    // ImageMagick: a ball crossing a still plasma background, whole frames.
    {
        std::string cmd = "cd " + d + " && convert -size 240x160 -seed 3 plasma:fractal -blur 0x2 bg.png";
        for (int i = 0; i < 24; ++i)
            cmd += " && convert bg.png -fill '#ffd020' -stroke black -draw 'circle " + std::to_string(20 + i * 8) + "," +
                   std::to_string(40 + (i % 6) * 12) + " " + std::to_string(32 + i * 8) + "," +
                   std::to_string(40 + (i % 6) * 12) + "' sprite-" + std::to_string(100 + i) + ".png";
        cmd += " && convert -delay 6 -loop 0 sprite-1*.png +map im-sprite.gif";
        s.push_back({"im-sprite.gif", cmd});
    }
    // ImageMagick: a photographic loop, each frame with its own table.
    {
        std::string cmd = "cd " + d + " && convert -size 200x150 -seed 5 plasma:red-blue photo.png";
        for (int i = 0; i < 12; ++i)
            cmd += " && convert photo.png -modulate 100," + std::to_string(80 + i * 4) + "," +
                   std::to_string(90 + i) + " -roll +" + std::to_string(i * 2) + "+0 photo-" +
                   std::to_string(100 + i) + ".png";
        cmd += " && convert -delay 8 -loop 0 photo-1*.png im-photo.gif";
        s.push_back({"im-photo.gif", cmd});
    }
    // ImageMagick: the sprite animation already shrunk by its own optimizer.
    s.push_back({"im-optimized.gif", "cd " + d + " && convert im-sprite.gif -layers Optimize im-optimized.gif"});
    // gifsicle: frames made by ImageMagick put together by gifsicle,
    // without optimizing.
    {
        std::string cmd = "cd " + d;
        for (int i = 0; i < 16; ++i)
            cmd += " && convert -size 160x120 xc:'#203040' -fill '#e0e0e0' -draw 'rectangle 10,10 150,30' "
                   "-fill '#40a040' -draw 'rectangle 10,40 " +
                   std::to_string(12 + i * 9) + ",52' -fill white -draw 'rectangle " + std::to_string(14 + (i % 4) * 30) +
                   ",80 " + std::to_string(30 + (i % 4) * 30) + ",96' gs-" + std::to_string(100 + i) + ".gif";
        cmd += " && gifsicle --no-warnings --delay 10 --loopcount=forever gs-1*.gif > gs-progress.gif";
        s.push_back({"gs-progress.gif", cmd});
    }
    // Pillow: a screen recording, text lines typed and scrolled in a window.
    s.push_back({"pil-screen.gif",
                 "cd " + d + " && " +
                     Pillow("lines = []\n"
                            "for i in range(30):\n"
                            "    im = Image.new('RGB', (320, 200), (250, 250, 250))\n"
                            "    dr = ImageDraw.Draw(im)\n"
                            "    dr.rectangle((0, 0, 319, 18), fill=(60, 90, 160))\n"
                            "    dr.rectangle((4, 4, 60, 14), fill=(220, 220, 240))\n"
                            "    if i % 3 == 0: lines.append(random.randint(40, 300))\n"
                            "    for n, w in enumerate(lines[-9:]):\n"
                            "        for x in range(8, w, 7):\n"
                            "            dr.rectangle((x, 26 + n * 18, x + 4, 34 + n * 18), fill=(30, 30, 30))\n"
                            "    dr.rectangle((8 + (i * 11) % 290, 190, 14 + (i * 11) % 290, 196), fill=(200, 40, 40))\n"
                            "    frames.append(im.convert('P', palette=Image.ADAPTIVE, colors=64))\n",
                            "pil-screen.gif")});
    // Pillow: sprites of several colours moving over a gradient.
    s.push_back({"pil-sprites.gif",
                 "cd " + d + " && " +
                     Pillow("bg = Image.new('RGB', (200, 140))\n"
                            "px = bg.load()\n"
                            "for y in range(140):\n"
                            "    for x in range(200): px[x, y] = (x, y + 60, 160 - y // 2)\n"
                            "for i in range(20):\n"
                            "    im = bg.copy()\n"
                            "    dr = ImageDraw.Draw(im)\n"
                            "    for k in range(4):\n"
                            "        x, y = (i * (5 + k * 3) + k * 40) % 180, 20 + k * 28\n"
                            "        dr.ellipse((x, y, x + 18, y + 18), fill=(255, 60 * k, 255 - 60 * k))\n"
                            "    frames.append(im.quantize(colors=255))\n",
                            "pil-sprites.gif")});
    // Pillow: a photographic loop through one adaptive palette, with noise.
    s.push_back({"pil-photo.gif",
                 "cd " + d + " && " +
                     Pillow("base = Image.open('photo.png').convert('RGB')\n"
                            "for i in range(10):\n"
                            "    im = base.rotate(i * 1.5, resample=Image.BILINEAR)\n"
                            "    frames.append(im.quantize(colors=200))\n",
                            "pil-photo.gif")});
    // ImageMagick: a screen recording with a blinking cursor and a
    // growing bar, dithered.
    {
        std::string cmd = "cd " + d;
        for (int i = 0; i < 20; ++i)
            cmd += " && convert -size 256x160 gradient:'#f0f0f0-#c8d0e0' -fill '#303030' -draw 'rectangle 20,20 " +
                   std::to_string(40 + i * 10) + ",28' -fill '#" + (i % 2 ? std::string("000000") : std::string("f0f0f0")) +
                   "' -draw 'rectangle " + std::to_string(42 + i * 10) + ",20 " + std::to_string(45 + i * 10) +
                   ",28' rec-" + std::to_string(100 + i) + ".png";
        cmd += " && convert -delay 5 -loop 0 rec-1*.png -dither FloydSteinberg -colors 64 im-screen.gif";
        s.push_back({"im-screen.gif", cmd});
    }
    return s;
}

// The drawn states as a timeline of 10 ms ticks (at least one tick each),
// so that files whose equal states were joined differently still line up.
std::vector<const std::vector<uint8_t>*> Timeline(const Drawn& d) {
    std::vector<const std::vector<uint8_t>*> t;
    for (size_t i = 0; i < d.pictures.size(); ++i)
        for (long n = std::max(1L, d.waits[i] / 10); n > 0; --n) t.push_back(&d.pictures[i]);
    return t;
}

// PSNR of b's drawn states against a's, over the RGB samples after the PAM
// header; 99 for identical ones.
double Psnr(const Drawn& a, const Drawn& b) {
    const auto ta = Timeline(a), tb = Timeline(b);
    double sum = 0, count = 0;
    for (size_t i = 0; i < std::min(ta.size(), tb.size()); ++i) {
        const std::vector<uint8_t>& x = *ta[i];
        const std::vector<uint8_t>& y = *tb[i];
        const std::string head(x.begin(), x.begin() + std::min<size_t>(x.size(), 200));
        const size_t at = head.find("ENDHDR\n") + 7;
        for (size_t k = at; k < std::min(x.size(), y.size()); ++k) {
            const double d = double(x[k]) - double(y[k]);
            sum += d * d;
        }
        count += double(x.size() - at);
    }
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / count));
}

int LossyComparison(const fs::path& dir, int lossiness) {
    std::printf("%-18s %8s %8s %8s %6s %8s %8s %6s %9s\n", "file", "input", "gifsicle", "qelgif", "size", "gs PSNR",
                "our PSNR", "equal", "size@PSNR");
    std::vector<double> sizeRatios, equalRatios;
    int better = 0, count = 0;
    for (const Sample& sample : Samples(dir)) {
        const std::string in = (dir / sample.name).string();
        if (!fs::exists(in)) Must("(" + sample.make + "\n) >/dev/null 2>&1");
        const std::string gs = (dir / ("gs-lossy-" + sample.name)).string();
        const std::string ours = (dir / ("qel-lossy-" + sample.name)).string();
        Must("gifsicle -O3 --no-warnings --lossy=" + std::to_string(lossiness) + " " + in + " -o " + gs);
        auto ourRun = [&](int n) {
            Must(std::string(QELGIF_PATH) + " optimize " + in + " " + ours + " --lossy " + std::to_string(n) +
                 " >/dev/null 2>&1");
            return std::pair<double, double>{double(fs::file_size(ours)),
                                             Psnr(DrawnOf(in, dir / "drawn-in"), DrawnOf(ours, dir / "drawn-out"))};
        };
        const Drawn input = DrawnOf(in, dir / "drawn-in");
        const double gsSize = double(fs::file_size(gs)), gsPsnr = Psnr(input, DrawnOf(gs, dir / "drawn-gs"));
        const auto [ourSize, ourPsnr] = ourRun(lossiness);
        // Our lossiness that just keeps gifsicle's quality.
        int lo = 0, hi = 200;
        double atEqual = ourRun(0).first;
        while (hi - lo > 1) {
            const int mid = (lo + hi) / 2;
            const auto [size, psnr] = ourRun(mid);
            if (psnr >= gsPsnr) {
                lo = mid;
                atEqual = size;
            } else {
                hi = mid;
            }
        }
        const double ratio = ourSize / gsSize;
        sizeRatios.push_back(ratio);
        equalRatios.push_back(atEqual / gsSize);
        ++count;
        better += ratio <= 1.0 && ourPsnr >= gsPsnr;
        std::printf("%-18s %8ju %8.0f %8.0f %6.3f %8.2f %8.2f %6d %9.3f%s\n", sample.name.c_str(),
                    uintmax_t(fs::file_size(in)), gsSize, ourSize, ratio, gsPsnr, ourPsnr, lo, equalRatios.back(),
                    ratio <= 1.0 && ourPsnr >= gsPsnr ? "  (smaller and no worse)" : "");
    }
    std::printf("at --lossy %d: size ratio median %.3f, largest %.3f; %d of %d files smaller at equal or better PSNR\n",
                lossiness, Median(sizeRatios), *std::max_element(sizeRatios.begin(), sizeRatios.end()), better, count);
    std::printf("at equal PSNR (our lossiness chosen per file): size ratio median %.3f, largest %.3f\n",
                Median(equalRatios), *std::max_element(equalRatios.begin(), equalRatios.end()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5, lossy = -1;
    fs::path keep;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep" && i + 1 < argc) keep = argv[++i];
        else if (a == "--lossy" && i + 1 < argc) lossy = std::clamp(std::atoi(argv[++i]), 1, 200);
        else {
            std::fprintf(stderr, "usage: bench_gif_optimize [--runs N] [--keep DIR] [--lossy N]\n");
            return 2;
        }
    }
    if (std::system("convert -version >/dev/null 2>&1 && gifsicle --version >/dev/null 2>&1 && "
                    "{ /usr/bin/python3 -c 'import PIL' || python3 -c 'import PIL'; } 2>/dev/null") != 0) {
        std::fprintf(stderr, "ImageMagick, gifsicle and Pillow are needed for this comparison\n");
        return 1;
    }
    const fs::path dir = keep.empty() ? fs::temp_directory_path() / ("bench-gif-optimize-" + std::to_string(::getpid()))
                                      : keep;
    fs::create_directories(dir);
    if (lossy > 0) {
        const int rc = LossyComparison(dir, lossy);
        if (keep.empty()) fs::remove_all(dir);
        return rc;
    }
    std::printf("%-18s %8s %8s %8s %6s %7s %7s %6s %7s %7s %6s %s\n", "file", "input", "gifsicle", "qelgif", "size",
                "gs ms", "ours ms", "wall", "gs cpu", "our cpu", "cpu", "drawn");
    std::vector<double> sizeRatios, wallRatios, cpuRatios;
    bool allSame = true;
    for (const Sample& sample : Samples(dir)) {
        const std::string in = (dir / sample.name).string();
        if (!fs::exists(in)) Must("(" + sample.make + "\n) >/dev/null 2>&1");
        const std::string gs = (dir / ("gs-O3-" + sample.name)).string();
        const std::string ours = (dir / ("qel-" + sample.name)).string();
        const Times gsTime = TimeOf("gifsicle -O3 --no-warnings " + in + " -o " + gs, runs);
        const Times ourTime = TimeOf(std::string(QELGIF_PATH) + " optimize " + in + " " + ours + " >/dev/null 2>&1", runs);
        const double sizeRatio = double(fs::file_size(ours)) / double(fs::file_size(gs));
        Drawn a = DrawnOf(in, dir / "drawn-in"), b = DrawnOf(ours, dir / "drawn-out");
        const bool same = a.pictures == b.pictures && a.waits == b.waits;
        allSame &= same;
        sizeRatios.push_back(sizeRatio);
        wallRatios.push_back(ourTime.wall / gsTime.wall);
        cpuRatios.push_back(ourTime.cpu / std::max(gsTime.cpu, 1e-4));
        std::printf("%-18s %8ju %8ju %8ju %6.3f %7.1f %7.1f %6.2f %7.1f %7.1f %6.2f %s\n", sample.name.c_str(),
                    uintmax_t(fs::file_size(in)), uintmax_t(fs::file_size(gs)), uintmax_t(fs::file_size(ours)),
                    sizeRatio, gsTime.wall * 1000, ourTime.wall * 1000, wallRatios.back(), gsTime.cpu * 1000,
                    ourTime.cpu * 1000, cpuRatios.back(), same ? "same" : "DIFFERENT");
    }
    std::printf("size ratio (ours / gifsicle -O3): median %.3f, largest %.3f\n", Median(sizeRatios),
                *std::max_element(sizeRatios.begin(), sizeRatios.end()));
    std::printf("time ratio: wall median %.2f, largest %.2f; processor median %.2f, largest %.2f\n",
                Median(wallRatios), *std::max_element(wallRatios.begin(), wallRatios.end()), Median(cpuRatios),
                *std::max_element(cpuRatios.begin(), cpuRatios.end()));
    std::printf("drawn: %s\n", allSame ? "every file the same before and after" : "SOME DIFFER");
    if (keep.empty()) fs::remove_all(dir);
    return allSame ? 0 : 1;
}

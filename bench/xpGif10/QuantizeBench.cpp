// Colour quantization beside ImageMagick's "-colors N" on the same photo-like
// pictures, made at run time with ImageMagick: the least-error method and
// the octree, at 256, 64 and 16 colours, without dithering and with
// Floyd-Steinberg (ImageMagick's "-dither None" and "-dither
// FloydSteinberg"). Prints time and mean squared error of each side and the
// ratios.
//
// ImageMagick runs as a program: its time is measured as processor time of
// the child (all its threads) for the quantizing run minus a plain read and
// write of the same file, so both sides count only the reduction. Ours is
// this thread's processor time for ReduceColors, best of the rounds.
//
//   bench_gif_quantize [--quick] [--rounds N] [--keep DIR]
#include "platform/Bitmap.h"
#include "platform/Streams.h"
#include "xpGif10/Ditherers.h"
#include "xpGif10/GifReduce.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace platform;
using namespace xpGif10;
namespace fs = std::filesystem;

namespace {

double ThreadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double ChildSeconds() {
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

void Must(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    if (rc != 0) {
        std::fprintf(stderr, "failed: %s\n", cmd.c_str());
        std::exit(1);
    }
}

// A binary PPM with 8-bit samples into a 24-bit bitmap.
void ReadPPM(const std::string& path, TBitmap& bmp) {
    std::vector<uint8_t> b = ReadFileBytes(path);
    size_t pos = 2;
    auto number = [&] {
        while (pos < b.size() && (std::isspace(b[pos]) || b[pos] == '#')) {
            if (b[pos] == '#')
                while (pos < b.size() && b[pos] != '\n') ++pos;
            else
                ++pos;
        }
        int v = 0;
        while (pos < b.size() && std::isdigit(b[pos])) v = v * 10 + (b[pos++] - '0');
        return v;
    };
    int w = number(), h = number(), maxval = number();
    ++pos;
    if (b[0] != 'P' || b[1] != '6' || maxval != 255 || b.size() < pos + size_t(w) * h * 3) {
        std::fprintf(stderr, "not an 8-bit PPM: %s\n", path.c_str());
        std::exit(1);
    }
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSize(w, h);
    const uint8_t* p = b.data() + pos;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            row[3 * x] = p[2];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
        }
    }
}

double MeanSquaredError(const TBitmap& original, const TBitmap& reduced) {
    double sum = 0;
    for (int y = 0; y < original.Height(); ++y)
        for (int x = 0; x < original.Width(); ++x) {
            TColor a = original.GetPixel(x, y), b = reduced.GetPixel(x, y);
            for (int s = 0; s < 24; s += 8) {
                double d = double((a >> s) & 0xFF) - double((b >> s) & 0xFF);
                sum += d * d;
            }
        }
    return sum / (3.0 * original.Width() * original.Height());
}

int CountColours(const TBitmap& bmp) {
    std::vector<bool> seen(1 << 24);
    int n = 0;
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            TColor c = bmp.GetPixel(x, y) & 0xFFFFFF;
            if (!seen[c]) {
                seen[c] = true;
                ++n;
            }
        }
    return n;
}

struct Side {
    double seconds = 1e30, mse = 0;
    int colours = 0;
};

struct Totals {
    double ours = 0, octree = 0, im = 0, oursMse = 0, octreeMse = 0, imMse = 0;
};

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int rounds = 3;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick")
            quick = true;
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_gif_quantize [--quick] [--rounds N] [--keep DIR]\n");
            return 1;
        }
    }
    if (std::system("convert -version >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "ImageMagick (convert) is needed for this comparison\n");
        return 1;
    }
    fs::path dir = keep.empty() ? fs::temp_directory_path() / ("qel-quantize-" + std::to_string(::getpid())) : fs::path(keep);
    fs::create_directories(dir);
    const std::string size = quick ? "640x480" : "2000x1500";
    struct Picture {
        std::string name, make;
    };
    const std::vector<Picture> pictures = {
        {"plasma", "-seed 1 -size " + size + " plasma:fractal -blur 0x1"},
        {"sunset", "-seed 2 -size " + size + " plasma:orange-navy -blur 0x2"},
        {"noisy-gradient", "-seed 3 -size " + size + " gradient:navy-gold -attenuate 0.4 +noise Gaussian"},
        {"rose", "rose: -filter Lanczos -resize " + size + "!"},
    };
    std::printf("Quantization beside ImageMagick -colors N (%s, best of %d)\n", size.c_str(), rounds);
    std::printf("%-15s %6s %6s %9s %9s %9s %7s %9s %9s %9s %7s %7s\n", "picture", "colors", "dither", "ours s",
                "octree s", "IM s", "time", "ours MSE", "octr MSE", "IM MSE", "MSE", "octree");
    std::map<std::pair<int, int>, Totals> totals;
    for (const Picture& p : pictures) {
        const std::string in = (dir / (p.name + ".ppm")).string();
        const std::string out = (dir / (p.name + "-im.ppm")).string();
        const std::string copy = (dir / (p.name + "-copy.ppm")).string();
        if (!fs::exists(in)) Must("convert " + p.make + " -depth 8 " + in);
        TBitmap original;
        ReadPPM(in, original);
        for (int bits : {8, 6, 4}) {
            for (int dither : {ditherNearest, ditherFloydSteinberg}) {
                Side ours, octree, im;
                auto run = [&](int method, Side& side, int round) {
                    TBitmap work;
                    work.Assign(&original);
                    double t0 = ThreadSeconds();
                    auto reduced = ReduceColors(work, method, dither, nullptr, bits);
                    side.seconds = std::min(side.seconds, ThreadSeconds() - t0);
                    if (round == 0) {
                        side.mse = MeanSquaredError(original, *reduced);
                        side.colours = CountColours(*reduced);
                    }
                };
                for (int round = 0; round < rounds; ++round) {
                    run(rmQuantizeWu, ours, round);
                    run(rmQuantize, octree, round);
                    double c0 = ChildSeconds();
                    Must("convert " + in + " " + copy);
                    double plain = ChildSeconds() - c0;
                    c0 = ChildSeconds();
                    Must("convert " + in + " -dither " + (dither ? "FloydSteinberg" : "None") + " -colors " +
                         std::to_string(1 << bits) + " -depth 8 " + out);
                    double full = ChildSeconds() - c0;
                    im.seconds = std::min(im.seconds, std::max(1e-6, full - plain));
                }
                TBitmap theirs;
                ReadPPM(out, theirs);
                im.mse = MeanSquaredError(original, theirs);
                std::printf("%-15s %6d %6s %9.3f %9.3f %9.3f %6.2fx %9.2f %9.2f %9.2f %6.3fx %6.3fx\n", p.name.c_str(),
                            1 << bits, dither ? "FS" : "none", ours.seconds, octree.seconds, im.seconds,
                            ours.seconds / im.seconds, ours.mse, octree.mse, im.mse, ours.mse / im.mse,
                            octree.mse / im.mse);
                Totals& t = totals[{1 << bits, dither}];
                t.ours += ours.seconds;
                t.octree += octree.seconds;
                t.im += im.seconds;
                t.oursMse += ours.mse;
                t.octreeMse += octree.mse;
                t.imMse += im.mse;
            }
        }
    }
    std::printf("\nall pictures, ratios to ImageMagick (time = our processor time / theirs):\n");
    std::printf("%6s %6s %12s %12s %12s %12s\n", "colors", "dither", "ours time", "ours MSE", "octree time",
                "octree MSE");
    for (int colours : {256, 64, 16})
        for (int dither : {0, 1}) {
            const Totals& t = totals[{colours, dither}];
            std::printf("%6d %6s %11.3fx %11.3fx %11.3fx %11.3fx\n", colours, dither ? "FS" : "none", t.ours / t.im,
                        t.oursMse / t.imMse, t.octree / t.im, t.octreeMse / t.imMse);
        }
    std::printf("goal for the least-error method at 256 colours: MSE ratio <= 0.95, time ratio <= 0.5\n");
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}

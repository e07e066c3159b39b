// Octree quantization to 256 colours with Floyd-Steinberg dithering beside
// ImageMagick's "-colors 256" (also Floyd-Steinberg) on the same photo-like
// pictures, made at run time with ImageMagick. Prints time and mean squared
// error of both and the ratios.
//
// ImageMagick runs as a program: its time is measured as processor time of
// the child (all its threads) for the quantizing run minus a plain read and
// write of the same file, so both sides count only the reduction. Ours is
// this thread's processor time for ReduceColors, best of three.
//
//   bench_gif_quantize [--quick] [--keep DIR]
#include "platform/Bitmap.h"
#include "platform/Streams.h"
#include "xpGif10/Ditherers.h"
#include "xpGif10/GifReduce.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
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

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
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
    double seconds = 1e30, wall = 1e30, mse = 0;
    int colours = 0;
};

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick")
            quick = true;
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else {
            std::fprintf(stderr, "usage: bench_gif_quantize [--quick] [--keep DIR]\n");
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
    };
    std::printf("Octree + Floyd-Steinberg to 256 colours beside ImageMagick -colors 256 (%s)\n", size.c_str());
    std::printf("%-16s %10s %10s %10s %8s %10s %10s %8s\n", "picture", "ours s", "IM s", "IM wall s", "speed",
                "ours MSE", "IM MSE", "MSE");
    double sumOurs = 0, sumIM = 0, sumMseOurs = 0, sumMseIM = 0;
    for (const Picture& p : pictures) {
        const std::string in = (dir / (p.name + ".ppm")).string();
        const std::string out = (dir / (p.name + "-im.ppm")).string();
        const std::string copy = (dir / (p.name + "-copy.ppm")).string();
        if (!fs::exists(in)) Must("convert " + p.make + " -depth 8 " + in);
        TBitmap original;
        ReadPPM(in, original);

        Side ours, im;
        for (int round = 0; round < 3; ++round) {
            TBitmap work;
            work.Assign(&original);
            double t0 = ThreadSeconds(), w0 = WallSeconds();
            auto reduced = ReduceColors(work, rmQuantize, ditherFloydSteinberg, nullptr, 8);
            double t = ThreadSeconds() - t0, w = WallSeconds() - w0;
            if (t < ours.seconds) ours.seconds = t;
            if (w < ours.wall) ours.wall = w;
            if (round == 0) {
                ours.mse = MeanSquaredError(original, *reduced);
                ours.colours = CountColours(*reduced);
            }

            double c0 = ChildSeconds(), cw0 = WallSeconds();
            Must("convert " + in + " " + copy);
            double plain = ChildSeconds() - c0, plainWall = WallSeconds() - cw0;
            c0 = ChildSeconds();
            cw0 = WallSeconds();
            Must("convert " + in + " -dither FloydSteinberg -colors 256 -depth 8 " + out);
            double full = ChildSeconds() - c0, fullWall = WallSeconds() - cw0;
            if (full - plain < im.seconds) im.seconds = std::max(1e-6, full - plain);
            if (fullWall - plainWall < im.wall) im.wall = std::max(1e-6, fullWall - plainWall);
        }
        TBitmap theirs;
        ReadPPM(out, theirs);
        im.mse = MeanSquaredError(original, theirs);
        im.colours = CountColours(theirs);
        std::printf("%-16s %10.3f %10.3f %10.3f %7.2fx %10.2f %10.2f %7.3f\n", p.name.c_str(), ours.seconds, im.seconds,
                    im.wall, im.seconds / ours.seconds, ours.mse, im.mse, ours.mse / im.mse);
        std::printf("%-16s colours: ours %d, ImageMagick %d\n", "", ours.colours, im.colours);
        sumOurs += ours.seconds;
        sumIM += im.seconds;
        sumMseOurs += ours.mse;
        sumMseIM += im.mse;
    }
    std::printf("\nall pictures: ImageMagick takes %.2f times our processor time; our MSE is %.3f times theirs\n",
                sumIM / sumOurs, sumMseOurs / sumMseIM);
    std::printf("goal: faster than ImageMagick (ratio above 1) at an MSE ratio no more than 1.10\n");
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}

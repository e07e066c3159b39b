// GIF decode and LZW encode beside giflib, in one run, on a corpus made at
// run time with ImageMagick: small pictures of 1 to 20 KB (photos, an icon, a
// button, a chart, a small animation, an interlaced picture) and large ones
// (photos reduced to 256 colours, a screenshot-like picture, an animation, an
// interlaced picture) of several MB. Prints pixels per second of both and the
// ratio, and how much slower the first decode in a fresh process is than a
// decode in a process that has decoded before (per pixel).
//
//   bench_gif [--quick] [--keep DIR]
//   bench_gif --cold FILE    (one decode, prints its processor nanoseconds)
//   bench_gif --cold-giflib FILE    (the same with giflib)
#include "platform/Streams.h"
#include "xpGif10/GifEncoder.h"
#include "xpGif10/GifImage.h"

#include <gif_lib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace platform;
using namespace xpGif10;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct MemReader {
    const std::vector<uint8_t>* data;
    size_t pos;
};

int ReadMem(GifFileType* gif, GifByteType* buf, int len) {
    auto* r = static_cast<MemReader*>(gif->UserData);
    size_t n = std::min(size_t(len), r->data->size() - r->pos);
    std::memcpy(buf, r->data->data() + r->pos, n);
    r->pos += n;
    return int(n);
}

int WriteMem(GifFileType* gif, const GifByteType* buf, int len) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), buf, buf + len);
    return len;
}

int64_t GiflibDecode(const std::vector<uint8_t>& bytes) {
    MemReader r{&bytes, 0};
    int err = 0;
    GifFileType* gif = DGifOpen(&r, ReadMem, &err);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        std::fprintf(stderr, "giflib failed\n");
        std::exit(1);
    }
    int64_t pixels = 0;
    for (int i = 0; i < gif->ImageCount; ++i)
        pixels += int64_t(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
    DGifCloseFile(gif, &err);
    return pixels;
}

// Both read the file from memory, each in its own way.
int64_t OurDecode(TMemoryStream& s) {
    s.SetPosition(0);
    TGIFImage image;
    image.LoadFromStream(s);
    int64_t pixels = 0;
    for (int i = 0; i < image.Images().Count(); ++i) pixels += image.Images()[i]->DataSize();
    return pixels;
}

double ThreadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Processor time of this thread per run of each of two contenders, so other
// work on the machine disturbs the figures less than wall time would: rounds
// of the two take turns, and the best round of each counts. Runs go in
// batches between clock readings, as reading this clock is a system call
// that may cost as much as decoding a small file.
template <class Fa, class Fb>
std::pair<double, double> SideBySide(Fa&& a, Fb&& b, double minSeconds) {
    auto batchOf = [](auto& fn) {
        fn();  // warm up
        int batch = 1;
        for (;;) {
            double start = ThreadSeconds();
            for (int i = 0; i < batch; ++i) fn();
            if (ThreadSeconds() - start > 0.002 || batch >= (1 << 20)) return batch;
            batch *= 2;
        }
    };
    auto round = [&](auto& fn, int batch) {
        int runs = 0;
        double start = ThreadSeconds(), elapsed = 0;
        do {
            for (int i = 0; i < batch; ++i) fn();
            runs += batch;
            elapsed = ThreadSeconds() - start;
        } while (elapsed < minSeconds / 10);
        return elapsed / runs;
    };
    const int batchA = batchOf(a), batchB = batchOf(b);
    double bestA = 1e30, bestB = 1e30;
    for (int r = 0; r < 5; ++r) {
        bestA = std::min(bestA, round(a, batchA));
        bestB = std::min(bestB, round(b, batchB));
    }
    return {bestA, bestB};
}

// The first decode of a fresh process, per pixel: the median of several
// processes, each decoding the file once (with giflib when asked, for the
// part of the first decode's cost that any decoder pays in a new process).
double ColdSecondsPerPixel(const std::string& self, const std::string& path, int64_t pixels, bool giflib = false) {
    std::vector<double> runs;
    for (int i = 0; i < 9; ++i) {
        std::string cmd = "'" + self + (giflib ? "' --cold-giflib '" : "' --cold '") + path + "'";
        FILE* p = popen(cmd.c_str(), "r");
        double ns = 0;
        if (!p || std::fscanf(p, "%lf", &ns) != 1) {
            std::fprintf(stderr, "cold run failed: %s\n", cmd.c_str());
            std::exit(1);
        }
        pclose(p);
        runs.push_back(ns * 1e-9 / double(pixels));
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

std::vector<uint8_t> GiflibEncode(const uint8_t* px, int w, int h, int bits) {
    std::vector<uint8_t> out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, WriteMem, &err);
    ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
    EGifPutScreenDesc(gif, w, h, bits, 0, map);
    EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
    for (int y = 0; y < h; ++y) EGifPutLine(gif, const_cast<GifPixelType*>(px + size_t(y) * w), w);
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

std::vector<uint8_t> OurEncode(const uint8_t* px, int w, int h, int bits) {
    TMemoryStream s;
    TLZWEncoder e;
    e.Encode(s, bits, 1 << bits, px, false, h, w);
    return s.Bytes();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && (std::string(argv[1]) == "--cold" || std::string(argv[1]) == "--cold-giflib")) {
        const bool giflib = std::string(argv[1]) == "--cold-giflib";
        std::vector<uint8_t> bytes = ReadFileBytes(argv[2]);
        TMemoryStream s(bytes);
        double start = ThreadSeconds();
        if (giflib)
            GiflibDecode(bytes);
        else
            OurDecode(s);
        std::printf("%.0f\n", (ThreadSeconds() - start) * 1e9);
        return 0;
    }
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    bool quick = false;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--quick") quick = true;
        if (std::string(argv[i]) == "--keep" && i + 1 < argc) keep = argv[++i];
    }
    fs::path dir = keep.empty() ? fs::temp_directory_path() / ("qelgif-bench-" + std::to_string(::getpid())) : fs::path(keep);
    fs::create_directories(dir);
    std::string d = dir.string();
    struct Item {
        std::string name, command;
        bool large;
    };
    std::vector<Item> corpus = {
        {"photo-40x30.gif", "convert -size 40x30 -seed 1 plasma:fractal -colors 64", false},
        {"icon-48x48.gif", "convert -size 48x48 -seed 11 plasma:fractal -colors 16", false},
        {"button-200x60.gif",
         "convert -size 200x60 gradient:steelblue-white -fill gray20 -draw 'roundrectangle 10,10 190,50 8,8' "
         "-fill orange -draw 'circle 40,30 40,18' -colors 32",
         false},
        {"chart-300x200.gif",
         "convert -size 300x200 xc:white -stroke navy -strokewidth 2 -draw 'line 20,180 280,180' "
         "-draw 'line 20,20 20,180' -fill skyblue -stroke none -draw 'rectangle 40,100 70,180' "
         "-draw 'rectangle 90,60 120,180' -draw 'rectangle 140,120 170,180' -draw 'rectangle 190,40 220,180' "
         "-stroke crimson -fill none -draw 'polyline 55,90 105,50 155,110 205,30 255,70' -colors 16",
         false},
        {"photo-100x75.gif", "convert -size 100x75 -seed 2 plasma:fractal -colors 128", false},
        {"interlaced-120x90.gif", "convert -size 120x90 -seed 6 plasma:fractal -colors 128 -interlace GIF", false},
        {"animation-64x64x4.gif",
         "convert -delay 10 -size 64x64 -seed 5 plasma:fractal ( +clone -roll +8+8 ) ( +clone -roll +8+8 ) "
         "( +clone -roll +8+8 ) -colors 64 -loop 0",
         false},
        {"photo-160x120.gif", "convert -size 160x120 -seed 3 plasma:fractal -colors 256", false},
        {"photo-800x600.gif", "convert -size 800x600 -seed 2 plasma:fractal -colors 256", false},
        {"photo-2000x1500.gif", "convert -size 2000x1500 -seed 3 plasma:fractal -colors 256", true},
        {"screenshot-1600x1000.gif",
         "convert -size 1600x1000 xc:gray94 -fill steelblue -draw 'rectangle 0,0 1600,60' -fill white "
         "-draw 'rectangle 20,100 780,980' -fill gray80 -draw 'rectangle 800,100 1580,980' "
         "-fill gray12 -draw 'rectangle 40,130 700,140' -draw 'rectangle 40,160 650,170' "
         "-draw 'rectangle 40,190 720,200' ( -size 700x400 -seed 4 plasma:fractal ) -geometry +840+140 -composite "
         "-colors 128",
         true},
        {"animation-400x300x20.gif",
         "convert -delay 8 -size 400x300 -seed 5 plasma:fractal ( +clone -roll +15+10 ) ( +clone -roll +15+10 ) "
         "( +clone -roll +15+10 ) ( +clone -roll +15+10 ) ( +clone -roll +15+10 ) ( +clone -roll +15+10 ) "
         "( +clone -roll +15+10 ) ( +clone -roll +15+10 ) ( +clone -roll +15+10 ) -colors 256 -loop 0",
         true},
        {"interlaced-1200x900.gif", "convert -size 1200x900 -seed 6 plasma:fractal -colors 256 -interlace GIF", true},
    };
    std::printf("%-26s %9s %12s %12s %8s %10s %10s\n", "file", "bytes", "ours Mpx/s", "giflib Mpx/s", "ratio",
                "cold/warm", "giflib c/w");
    double minSeconds = quick ? 0.2 : 1.0;
    double largeRatioMin = 1e9, smallRatioMin = 1e9, coldMax = 0;
    for (const auto& item : corpus) {
        std::string path = d + "/" + item.name;
        if (!fs::exists(path)) {
            std::string cmd = item.command + " " + path;
            // Parentheses reach ImageMagick unquoted by the shell.
            std::string shell;
            for (char c : cmd) {
                if (c == '(' || c == ')') shell += '\\';
                shell += c;
            }
            if (std::system(shell.c_str()) != 0) {
                std::fprintf(stderr, "could not make %s (is ImageMagick installed?)\n", item.name.c_str());
                return 1;
            }
        }
        std::vector<uint8_t> bytes = ReadFileBytes(path);
        TMemoryStream stream(bytes);
        int64_t pixels = OurDecode(stream);
        if (pixels != GiflibDecode(bytes)) {
            std::fprintf(stderr, "pixel counts differ on %s\n", item.name.c_str());
            return 1;
        }
        auto [ours, theirs] = SideBySide([&] { OurDecode(stream); }, [&] { GiflibDecode(bytes); }, minSeconds);
        double ratio = theirs / ours;
        double cold = ColdSecondsPerPixel(self, path, pixels) / (ours / double(pixels));
        double coldGiflib = ColdSecondsPerPixel(self, path, pixels, true) / (theirs / double(pixels));
        (item.large ? largeRatioMin : smallRatioMin) = std::min(item.large ? largeRatioMin : smallRatioMin, ratio);
        coldMax = std::max(coldMax, cold);
        std::printf("%-26s %9zu %12.1f %12.1f %7.2fx %9.2fx %9.2fx\n", item.name.c_str(), bytes.size(),
                    double(pixels) / ours / 1e6, double(pixels) / theirs / 1e6, ratio, cold, coldGiflib);
    }
    std::printf("decode: lowest ratio on the small files %.2fx (goal 2.5x)\n", smallRatioMin);
    std::printf("decode: highest cold/warm time per pixel %.2fx (goal 1.2x)\n", coldMax);
    std::printf("decode: lowest ratio on the large files %.2fx (goal 3x)\n\n", largeRatioMin);

    std::printf("%-26s %12s %12s %8s %10s %10s %8s\n", "encode", "ours Mpx/s", "giflib Mpx/s", "ratio", "ours B",
                "giflib B", "size");
    double encodeRatioMin = 1e9, sizeRatioMax = 0;
    for (const char* name : {"photo-2000x1500.gif", "screenshot-1600x1000.gif", "interlaced-1200x900.gif"}) {
        TGIFImage image;
        TMemoryStream s;
        s.LoadFromFile(d + "/" + name);
        image.LoadFromStream(s);
        TGIFSubImage* f = image.Images()[0];
        int bits = image.MaxBitsPerPixel();
        const uint8_t* px = f->Data();
        int w = f->Width(), h = f->Height();
        auto ourBytes = OurEncode(px, w, h, bits);
        auto theirBytes = GiflibEncode(px, w, h, bits);
        // giflib's stream carries a header, a colour table, a descriptor and
        // a trailer around the same image data.
        size_t frameOverhead = 13 + 3 * (size_t(1) << bits) + 10 + 1;
        size_t theirData = theirBytes.size() - frameOverhead;
        auto [ours, theirs] =
            SideBySide([&] { OurEncode(px, w, h, bits); }, [&] { GiflibEncode(px, w, h, bits); }, minSeconds);
        double px_ = double(w) * h;
        double ratio = theirs / ours, size = double(ourBytes.size()) / double(theirData);
        encodeRatioMin = std::min(encodeRatioMin, ratio);
        sizeRatioMax = std::max(sizeRatioMax, size);
        std::printf("%-26s %12.1f %12.1f %7.2fx %10zu %10zu %7.3fx\n", name, px_ / ours / 1e6, px_ / theirs / 1e6,
                    ratio, ourBytes.size(), theirData, size);
    }
    std::printf("encode: lowest speed ratio %.2fx (goal 1x), largest size ratio %.3f (goal at most 1.01)\n",
                encodeRatioMin, sizeRatioMax);
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}

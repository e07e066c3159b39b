// Writes the seed corpus of the GIF fuzz targets: small animations whose
// image data come in sub-blocks of 1, 2, 3, 7, 255 and random sizes, at
// every minimum code size from 2 to 8 and at 11, with clear codes at random,
// a full table kept at 12 bits, codes past the last pixel, data cut short,
// interlaced frames, local tables and every kind of extension. The play
// target reads two bytes of drawing flags first.
//
//   gif_fuzz_seeds DIR   (writes DIR/load and DIR/play)
#include "../../tests/xpGif10/GifTestUtil.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace giftest;
namespace fs = std::filesystem;

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Pixels(std::mt19937& rng, int n, int bits, int run) {
    Bytes px(static_cast<size_t>(n));
    uint8_t cur = 0;
    for (auto& p : px) {
        if (rng() % uint32_t(run) == 0) cur = uint8_t(rng() % (1u << bits));
        p = cur;
    }
    return px;
}

void Write(const fs::path& dir, const std::string& name, const Bytes& gif) {
    std::ofstream(dir / "load" / name, std::ios::binary).write(reinterpret_cast<const char*>(gif.data()), long(gif.size()));
    Bytes play = Cat({{0x0F, 0x06}, gif});
    std::ofstream(dir / "play" / name, std::ios::binary).write(reinterpret_cast<const char*>(play.data()), long(play.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gif_fuzz_seeds DIR\n");
        return 2;
    }
    const fs::path dir = argv[1];
    fs::create_directories(dir / "load");
    fs::create_directories(dir / "play");
    const Bytes loop = Cat({{0x21, 0xFF, 11}, Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, {3, 1, 0, 0, 0}});
    const Bytes comment = {0x21, 0xFE, 4, 'q', 0, 'e', 'l', 0};
    const Bytes text = {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 4, 4, 1, 0, 2, 'h', 'i', 0};
    const Bytes unknown = Cat({{0x21, 0xFF, 11}, Bytes{'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P'}, {3, 1, 2, 3, 0}});
    const std::vector<std::pair<std::string, BlockSizes>> cuts = {
        {"1", {{1}}}, {"2", {{2}}}, {"3", {{3}}}, {"7", {{7}}}, {"255", {{255}}}, {"random", {{}, 7}}};
    std::mt19937 rng(2024);
    int count = 0;
    for (const auto& [cutName, cut] : cuts) {
        for (int codeSize : {2, 3, 4, 5, 6, 7, 8, 11}) {
            const int bits = std::min(codeSize, 8);
            std::vector<TestFrame> frames;
            for (int i = 0; i < 2; ++i) {
                TestFrame f;
                f.width = 5 + int(rng() % 20);
                f.height = 3 + int(rng() % 12);
                f.left = i * 3;
                f.top = i * 2;
                f.interlaced = i == 1;
                f.localBits = i == 1 ? bits : 0;
                f.pixels = Pixels(rng, f.width * f.height, bits, 1 + int(rng() % 6));
                f.lzw.minCodeSize = std::max(2, codeSize);
                f.lzw.clearChance = codeSize % 2 ? 0.05 : 0;
                f.lzw.leadingClear = codeSize != 4;
                f.lzw.endCode = codeSize != 5;
                f.lzw.seed = uint32_t(rng());
                f.blocks = cut;
                const uint8_t disposal = uint8_t((i + codeSize) % 4);
                f.before = Cat({i == 0 ? loop : Bytes{},
                                {0x21, 0xF9, 4, uint8_t(disposal << 2 | 1), 5, 0, uint8_t(i), 0},
                                codeSize == 6 ? comment : Bytes{}, codeSize == 7 ? text : Bytes{},
                                codeSize == 3 ? unknown : Bytes{}});
                if (codeSize == 8 && i == 0) {
                    // Codes past the frame's last pixel.
                    Bytes more = Pixels(rng, 40, bits, 2);
                    f.pixels.insert(f.pixels.end(), more.begin(), more.end());
                }
                frames.push_back(std::move(f));
            }
            Bytes gif = MakeGif(40, 30, bits, frames);
            if (codeSize == 2) gif.resize(gif.size() * 3 / 4);  // cut short
            Write(dir, "cut" + cutName + "-code" + std::to_string(codeSize) + ".gif", gif);
            ++count;
        }
    }
    // Frames large enough to fill the table: cleared when full, and kept
    // full at 12 bits.
    for (int keep = 0; keep < 2; ++keep) {
        TestFrame f;
        f.width = 90;
        f.height = 70;
        f.pixels = Pixels(rng, f.width * f.height, 8, 1);
        f.lzw.clearWhenFull = keep == 0;
        f.blocks = {{}, uint32_t(rng())};
        Write(dir, std::string("full-table-") + (keep ? "kept" : "cleared") + ".gif", MakeGif(90, 70, 8, {f}));
        ++count;
    }
    // What other writers get wrong: odd extension block sizes, unknown
    // labels, two graphic controls, images of no pixels, frames declared far
    // larger than their data, files cut in a descriptor or colour table.
    {
        TestFrame f;
        f.width = 6;
        f.height = 5;
        f.localBits = 2;
        f.pixels = Pixels(rng, 30, 2, 2);
        f.lzw.minCodeSize = 2;
        const Bytes odd = Cat({{0x21, 0xF9, 6, 0x09, 3, 0, 1, 7, 7, 2, 9, 9, 0},
                               {0x21, 0x01, 13, 0, 0, 0, 0, 8, 0, 8, 0, 4, 4, 1, 0, 0, 1, 'x', 0},
                               {0x21, 0x2A, 3, 1, 2, 3, 0},
                               {0x21, 0xFF, 8, 'S', 'H', 'O', 'R', 'T', 'A', 'P', 'P', 1, 1, 0},
                               {0x21, 0xF9, 3, 0x04, 9, 0, 0}});
        f.before = odd;
        Bytes gif = MakeGif(8, 8, 2, {f, f});
        Write(dir, "hostile-extensions.gif", gif);
        for (size_t cut : {size_t(13 + 12 + odd.size() + 4), size_t(13 + 12 + odd.size() + 14), gif.size() - 3}) {
            Write(dir, "hostile-cut-" + std::to_string(cut) + ".gif", Bytes(gif.begin(), gif.begin() + long(cut)));
            ++count;
        }
        // Widths and heights of 0 in the second descriptor.
        Bytes zero = gif;
        const size_t second = gif.size() - 1 - (gif.size() - 13 - 12 - 1) / 2 + odd.size() + 5;
        if (second + 4 < zero.size()) zero[second] = zero[second + 1] = zero[second + 2] = zero[second + 3] = 0;
        Write(dir, "hostile-zero.gif", zero);
        count += 2;
    }
    {
        Bytes huge = {'G', 'I', 'F', '8', '9', 'a', 64, 0, 64, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
        for (int i = 0; i < 8; ++i) huge = Cat({huge, {0x2C, 0, 0, 0, 0, 0x80, 0x3E, 0x80, 0x3E, 0x40, 2, 1, 0x0C, 0}});
        huge.push_back(';');
        Write(dir, "hostile-huge.gif", huge);
        ++count;
    }
    std::printf("%d seeds in %s\n", count, dir.string().c_str());
    return 0;
}

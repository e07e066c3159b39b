// qelgif encode, optimize and frames, and the frames it composes against
// third-party decoders (ImageMagick's coalesce, Pillow) where their rules
// and ours meet: pixels they leave transparent (disposal to background,
// uncovered screen) are ours to fill from the earlier target, so only their
// opaque pixels are compared.
#include "platform/SafeSave.h"
#include "common/Spawn.h"
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifLossyEncoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace platform;
using namespace xpGif10;
namespace fs = std::filesystem;

namespace {

struct ShellRun {
    int status;
    std::string out, err;
};

std::string Text(const fs::path& p) {
    auto b = ReadFileBytes(p.string());
    return std::string(b.begin(), b.end());
}

ShellRun Shell(const std::string& cmd, const fs::path& dir) {
    const fs::path out = dir / "stdout", err = dir / "stderr";
    int rc = std::system((cmd + " >" + out.string() + " 2>" + err.string()).c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Text(out), Text(err)};
}

using qeltest::Have;

struct Pam {
    int width = 0, height = 0, depth = 0;
    std::vector<uint8_t> data;
    // RGBA of a pixel (alpha 255 without an alpha channel).
    std::array<int, 4> At(int x, int y) const {
        const uint8_t* p = &data[(size_t(y) * size_t(width) + size_t(x)) * size_t(depth)];
        return {p[0], p[1], p[2], depth == 4 ? p[3] : 255};
    }
};

Pam ReadPam(const fs::path& path) {
    std::vector<uint8_t> b = ReadFileBytes(path.string());
    std::string s(b.begin(), b.end());
    Pam pam;
    size_t end = s.find("ENDHDR\n");
    if (end == std::string::npos) return pam;
    std::string head = s.substr(0, end);
    auto field = [&](const std::string& name) {
        size_t at = head.find(name + " ");
        return at == std::string::npos ? 0 : std::atoi(head.c_str() + at + name.size() + 1);
    };
    pam.width = field("WIDTH");
    pam.height = field("HEIGHT");
    pam.depth = field("DEPTH");
    pam.data.assign(b.begin() + long(end + 7), b.end());
    return pam;
}

class QelgifFrames : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qelgif-frames-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string P(const std::string& name) const { return (dir_ / name).string(); }
    ShellRun Qelgif(const std::string& args) { return Shell(std::string(QELGIF_PATH) + " " + args, dir_); }

    // Our frames of a file: one PAM per drawn state.
    std::vector<Pam> OurFrames(const std::string& gif, const std::string& prefix, std::string* listing = nullptr) {
        ShellRun r = Qelgif("frames " + gif + " " + P(prefix));
        EXPECT_EQ(r.status, 0) << r.err;
        if (listing) *listing = r.out;
        std::vector<Pam> frames;
        for (int i = 0;; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%s-%03d.pam", prefix.c_str(), i);
            if (!fs::exists(dir_ / name)) break;
            frames.push_back(ReadPam(dir_ / name));
        }
        return frames;
    }

    // Compares their opaque pixels with ours, outside `skip` from frame
    // `skipFrom` on; answers the number compared.
    static int64_t Compare(const std::vector<Pam>& ours, const std::vector<Pam>& theirs, const std::string& who,
                           size_t skipFrom = SIZE_MAX, TRect skip = {}) {
        EXPECT_EQ(ours.size(), theirs.size()) << who;
        int64_t compared = 0;
        for (size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i) {
            const Pam &a = ours[i], &b = theirs[i];
            EXPECT_EQ(a.width, b.width) << who;
            EXPECT_EQ(a.height, b.height) << who;
            if (a.width != b.width || a.height != b.height) continue;
            int bad = 0;
            for (int y = 0; y < a.height; ++y)
                for (int x = 0; x < a.width; ++x) {
                    auto t = b.At(x, y);
                    if (t[3] != 255) continue;
                    if (i >= skipFrom && x >= skip.left && x < skip.right && y >= skip.top && y < skip.bottom)
                        continue;
                    ++compared;
                    auto o = a.At(x, y);
                    if ((o[0] != t[0] || o[1] != t[1] || o[2] != t[2]) && bad++ < 3)
                        ADD_FAILURE() << who << " frame " << i << " at " << x << "," << y << ": ours " << o[0] << ","
                                      << o[1] << "," << o[2] << " theirs " << t[0] << "," << t[1] << "," << t[2];
                }
        }
        return compared;
    }

    // An animation with each disposal method and transparent frames.
    std::string MakeAnimation() {
        const std::string gif = P("anim.gif");
        std::string cmd =
            "convert -size 40x30 xc:'#c00000' -set dispose None "
            "\\( -size 10x10 xc:'#00c000' -set dispose None -repage +5+5 \\) "
            "\\( -size 12x8 xc:'#0000c0' -set dispose Background -repage +20+10 \\) "
            "\\( -size 40x30 xc:none -fill '#c0c000' -draw 'rectangle 0,0 9,9' -set dispose Previous \\) "
            "\\( -size 8x8 xc:'#00c0c0' -set dispose Previous -repage +30+2 \\) "
            "\\( -size 40x30 xc:none -fill '#ffffff' -draw 'rectangle 12,12 30,16' -set dispose None \\) "
            "-set delay 7 -loop 0 " + gif;
        ShellRun r = Shell(cmd, dir_);
        EXPECT_EQ(r.status, 0) << r.err;
        return gif;
    }

    fs::path dir_;
};

} // namespace

TEST_F(QelgifFrames, AgreesWithImageMagickCoalesce) {
    if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
    const std::string gif = MakeAnimation();
    std::string listing;
    std::vector<Pam> ours = OurFrames(gif, "ours", &listing);
    ASSERT_EQ(ours.size(), 6u);
    EXPECT_EQ(listing.substr(0, listing.find('\n')), "frame 0 wait 12");
    EXPECT_NE(listing.find("frame 1 wait 84\n"), std::string::npos) << listing;
    ShellRun r = Shell("convert " + gif + " -coalesce -depth 8 " + P("im-%03d.pam"), dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Pam> theirs;
    for (int i = 0; fs::exists(dir_ / ("im-00" + std::to_string(i) + ".pam")); ++i)
        theirs.push_back(ReadPam(dir_ / ("im-00" + std::to_string(i) + ".pam")));
    EXPECT_GT(Compare(ours, theirs, "ImageMagick"), 5000);
}

TEST_F(QelgifFrames, AgreesWithPillow) {
    if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
    // Debian's interpreter first: another one on the path may lack Pillow.
    std::string python;
    for (const char* p : {"/usr/bin/python3", "python3"})
        if (python.empty() && Have(std::string(p) + " -c 'import PIL'")) python = p;
    if (python.empty()) GTEST_SKIP() << "Pillow is not installed";
    const std::string gif = MakeAnimation();
    std::vector<Pam> ours = OurFrames(gif, "ours");
    const std::string script = P("dump.py");
    std::ofstream(script) << "import sys\n"
                             "from PIL import Image, ImageSequence\n"
                             "im = Image.open(sys.argv[1])\n"
                             "for i, f in enumerate(ImageSequence.Iterator(im)):\n"
                             "    f = f.convert('RGBA')\n"
                             "    with open('%s-%03d.pam' % (sys.argv[2], i), 'wb') as out:\n"
                             "        out.write(b'P7\\nWIDTH %d\\nHEIGHT %d\\nDEPTH 4\\nMAXVAL 255\\n'\n"
                             "                  b'TUPLTYPE RGB_ALPHA\\nENDHDR\\n' % f.size)\n"
                             "        out.write(f.tobytes())\n";
    ShellRun r = Shell(python + " " + script + " " + gif + " " + P("pil"), dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Pam> theirs;
    for (int i = 0; fs::exists(dir_ / ("pil-00" + std::to_string(i) + ".pam")); ++i)
        theirs.push_back(ReadPam(dir_ / ("pil-00" + std::to_string(i) + ".pam")));
    // The one place where the rules part: the blue frame (2) is disposed
    // to background. We restore what the target showed before; Pillow
    // fills the background index read through the palette then in use,
    // which here is the blue frame's own local table, so the blue stays.
    // (ImageMagick leaves the area transparent, which the compare skips.)
    EXPECT_GT(Compare(ours, theirs, "Pillow", 3, TRect{20, 10, 32, 18}), 5000);
}

TEST_F(QelgifFrames, OptimizedAnimationComposesTheSameAndIsNotLarger) {
    if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
    const std::string gif = MakeAnimation();
    ShellRun r = Qelgif("optimize " + gif + " " + P("small.gif"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LE(fs::file_size(P("small.gif")), fs::file_size(gif));
    std::vector<Pam> before = OurFrames(gif, "before"), after = OurFrames(P("small.gif"), "after");
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i].data, after[i].data) << "frame " << i;
    r = Qelgif("optimize " + gif + " " + P("x.gif") + " --options 0x10 --reduction 9");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Invalid reduction method\n");
}

TEST_F(QelgifFrames, EncodeReadsNetpbmAndBitmapsWithTheReductionSettings) {
    // A 16 x 8 gradient as PPM, and the same with a see-through corner as PAM.
    std::string ppm = "P6\n# made by the test\n16 8\n255\n";
    std::string pam = "P7\nWIDTH 16\nHEIGHT 8\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            char rgb[3] = {char(x * 16), char(y * 32), char(100)};
            ppm.append(rgb, 3);
            pam.append(rgb, 3);
            pam.push_back(x < 2 && y < 2 ? char(0) : char(255));
        }
    std::ofstream(P("in.ppm"), std::ios::binary) << ppm;
    std::ofstream(P("in.pam"), std::ios::binary) << pam;

    ShellRun r = Qelgif("encode " + P("in.ppm") + " " + P("web.gif"));
    ASSERT_EQ(r.status, 0) << r.err;
    TGIFImage web;
    web.LoadFromFile(P("web.gif"));
    ASSERT_EQ(web.Images().Count(), 1);
    EXPECT_EQ(web.Width(), 16);
    TGIFColorMap& map = web.Images()[0]->ActiveColorMap();
    for (int i = 0; i < map.Count(); ++i) EXPECT_EQ(GetRValue(map.GetColor(i)) % 51, 0);

    r = Qelgif("encode " + P("in.ppm") + " " + P("q.gif") + " --reduction 7 --bits 3 --dither 1 --rle");
    ASSERT_EQ(r.status, 0) << r.err;
    TGIFImage q;
    q.LoadFromFile(P("q.gif"));
    EXPECT_EQ(q.Images()[0]->ActiveColorMap().Count(), 8);

    r = Qelgif("encode " + P("in.pam") + " " + P("t.gif") + " --reduction 0");
    ASSERT_EQ(r.status, 0) << r.err;
    TGIFImage t;
    t.LoadFromFile(P("t.gif"));
    TGIFSubImage* f = t.Images()[0];
    ASSERT_TRUE(f->Transparent());
    EXPECT_EQ(f->Pixel(1, 1), f->TransparentColorIndex());
    EXPECT_NE(f->Pixel(2, 1), f->TransparentColorIndex());
    EXPECT_EQ(f->ActiveColorMap().GetColor(f->Pixel(15, 7)), RGB(240, 224, 100));

    // Through a bitmap file as well.
    ASSERT_EQ(Qelgif("decode " + P("t.gif") + " " + P("t.pam")).status, 0);
    if (Have("convert -version")) {
        ASSERT_EQ(Shell("convert " + P("in.ppm") + " " + P("in.bmp"), dir_).status, 0);
        r = Qelgif("encode " + P("in.bmp") + " " + P("b.gif") + " --reduction 5");
        ASSERT_EQ(r.status, 0) << r.err;
        TGIFImage b;
        b.LoadFromFile(P("b.gif"));
        EXPECT_EQ(b.Images()[0]->ActiveColorMap().Count(), 256);
    }

    r = Qelgif("encode " + P("in.ppm") + " " + P("x.gif") + " --dither 9");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("usage: qelgif encode"), std::string::npos);
    std::ofstream(P("bad.ppm"), std::ios::binary) << "P6\n16 8\n255\nshort";
    r = Qelgif("encode " + P("bad.ppm") + " " + P("x.gif"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "The picture data is shorter than its header says\n");
    EXPECT_FALSE(fs::exists(P("x.gif")));
}

TEST_F(QelgifFrames, StandardStreamsPipesSpecialOutputsNumbersAndTheSizeLimit) {
    if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
    const std::string gif = MakeAnimation();
    // Through a pipe both ways; the drawing stays the same.
    ShellRun r = Shell("{ cat " + gif + " | " + QELGIF_PATH + " optimize - - > " + P("piped.gif") + "; }", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Pam> before = OurFrames(gif, "a"), after = OurFrames(P("piped.gif"), "b");
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i].data, after[i].data) << i;
    // A FIFO is read to its end; as an output it is refused.
    ASSERT_EQ(Shell("mkfifo " + P("in.fifo") + " " + P("out.fifo"), dir_).status, 0);
    r = Shell("(cat " + gif + " > " + P("in.fifo") + " &) ; " + QELGIF_PATH + " info " + P("in.fifo"), dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frame 5 "), std::string::npos);
    r = Qelgif("copy " + gif + " " + P("out.fifo"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    // A symlinked output stays a link to the file it names.
    fs::create_symlink(P("real.gif"), P("link.gif"));
    ASSERT_EQ(Qelgif("copy " + gif + " " + P("link.gif")).status, 0);
    EXPECT_TRUE(fs::is_symlink(P("link.gif")));
    EXPECT_GT(fs::file_size(P("real.gif")), 0u);
    // Numbers are checked, and the error names the option.
    EXPECT_EQ(Qelgif("decode " + gif + " x.pam --frame x").err.substr(0, 31), "--frame needs a number, not \"x\"");
    EXPECT_EQ(Qelgif("optimize " + gif + " x.gif --options 0x99").err.substr(0, 33), "--options takes 0 to 63, not 0x99");
    EXPECT_EQ(Qelgif("edit " + gif + " x.gif --delay 70000").err.substr(0, 35), "--delay takes 0 to 65535, not 70000");
    r = Qelgif("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("qelgif ", 0), 0u);
    // A screen of 65535 x 65535 would need 12 GiB of drawn frames: stopped
    // before anything is written.
    std::vector<uint8_t> big = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                                ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, ';'};
    WriteWholeFile(P("big.gif"), big.data(), big.size());
    r = Qelgif("frames " + P("big.gif") + " " + P("big"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("1 GiB"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("big-000.pam")));
    // A 0x0 screen is as large as its frames reach.
    big[6] = big[7] = big[8] = big[9] = 0;
    big[20] = 2;   // the frame starts at (2, 0)
    WriteWholeFile(P("zero.gif"), big.data(), big.size());
    std::vector<Pam> zero = OurFrames(P("zero.gif"), "z");
    ASSERT_EQ(zero.size(), 1u);
    EXPECT_EQ(zero[0].width, 3);
    EXPECT_EQ(zero[0].height, 1);
    // Optimize never writes more than it read, and says so.
    ASSERT_EQ(Shell("gifsicle -O3 " + gif + " -o " + P("tight.gif"), dir_).status, 0);
    r = Qelgif("optimize " + P("tight.gif") + " " + P("again.gif"));
    ASSERT_EQ(r.status, 0);
    EXPECT_LE(fs::file_size(P("again.gif")), fs::file_size(P("tight.gif")));
    if (fs::file_size(P("again.gif")) == fs::file_size(P("tight.gif"))) {
        EXPECT_EQ(ReadFileBytes(P("again.gif")), ReadFileBytes(P("tight.gif")));
        EXPECT_NE(r.err.find("nothing smaller came out"), std::string::npos);
    }
}

TEST_F(QelgifFrames, EditExplodeAndMergeAsGifsicleAndImageMagickReadThem) {
    if (!Have("convert -version") || !Have("gifsicle --version")) GTEST_SKIP() << "ImageMagick and gifsicle needed";
    const std::string gif = MakeAnimation();
    ShellRun r = Qelgif("edit " + gif + " " + P("e.gif") + " --delay 33 --loop 4 --comment 'made here' --comment two");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Shell("gifsicle -I " + P("e.gif"), dir_);
    EXPECT_NE(r.out.find("loop count 4"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("comment made here"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("comment two"), std::string::npos) << r.out;
    size_t delays = 0;
    for (size_t at = 0; (at = r.out.find("delay 0.33s", at)) != std::string::npos; ++at) ++delays;
    EXPECT_EQ(delays, 6u) << r.out;
    ASSERT_EQ(Qelgif("edit " + P("e.gif") + " " + P("n.gif") + " --no-comments").status, 0);
    EXPECT_EQ(Shell("gifsicle -I " + P("n.gif"), dir_).out.find("comment"), std::string::npos);

    // Each exploded frame is the stored frame on the file's screen.
    ASSERT_EQ(Qelgif("explode " + gif + " " + P("x")).status, 0);
    for (int i = 0; i < 6; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "x-%03d.gif", i);
        ASSERT_TRUE(fs::exists(P(name))) << name;
        ASSERT_EQ(Qelgif("decode " + P(name) + " " + P("one.pam")).status, 0);
        ASSERT_EQ(Qelgif("decode " + gif + " " + P("orig.pam") + " --frame " + std::to_string(i)).status, 0);
        EXPECT_EQ(ReadFileBytes(P("one.pam")), ReadFileBytes(P("orig.pam"))) << name;
    }
    // Merged: ImageMagick sees the frames of both files, the second file's
    // colours kept by its frames.
    ASSERT_EQ(Shell("convert -size 50x20 xc:'#3070b0' -loop 0 " + P("other.gif"), dir_).status, 0);
    ASSERT_EQ(Qelgif("merge " + P("m.gif") + " " + gif + " " + P("other.gif")).status, 0);
    r = Shell("identify -format '%wx%h %[fx:p{1,1}.b*255]\\n' " + P("m.gif") + " | tail -1", dir_);
    EXPECT_EQ(r.out, "50x20 176\n");
    r = Shell("identify " + P("m.gif") + " | wc -l", dir_);
    EXPECT_EQ(r.out, "7\n");
}

TEST_F(QelgifFrames, SeeThroughPixelsStayTransparentWithFullPalettesAndPng) {
    if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
    // More than 256 colours, a see-through corner: every reduction palette
    // fills all 256 entries.
    ASSERT_EQ(Shell("convert -size 40x30 plasma:fractal -seed 4 \\( +clone -alpha extract -fill black -draw "
                    "'rectangle 0,0 7,5' \\) -alpha off -compose copy-opacity -composite " + P("in.png"),
                    dir_)
                  .status,
              0);
    for (const char* options : {"--reduction 7 --bits 8", "--reduction 2", "--reduction 5", "--reduction 8"}) {
        ShellRun r = Qelgif("encode " + P("in.png") + " " + P("out.gif") + " " + options);
        ASSERT_EQ(r.status, 0) << options << r.err;
        // ImageMagick sees the corner see-through and the rest opaque.
        r = Shell("convert " + P("out.gif") + " -format '%[fx:p{3,3}.a] %[fx:p{20,20}.a]' info:", dir_);
        EXPECT_EQ(r.out, "0 1") << options;
        // Our PNG of the frame agrees.
        ASSERT_EQ(Qelgif("decode " + P("out.gif") + " " + P("frame.png")).status, 0);
        r = Shell("convert " + P("frame.png") + " -format '%[fx:p{3,3}.a] %[fx:p{20,20}.a]' info:", dir_);
        EXPECT_EQ(r.out, "0 1") << options;
    }
    // Drawn states as PNG files.
    ShellRun r = Qelgif("frames " + P("out.gif") + " " + P("s.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(P("s-000.png")));
}

// Lossy optimize on a photographic loop, drawn by ImageMagick on both sides:
// every drawn pixel within the bound of the original's, see-through where
// the original is, and a clearly smaller file than exact optimize; at 0 it
// is exact optimize byte for byte.
TEST_F(QelgifFrames, LossyOptimizeStaysWithinItsBoundAsImageMagickDrawsIt) {
    if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
    std::string cmd = "convert -size 120x90 -seed 4 plasma:red-blue -blur 0x1 " + P("photo.png");
    for (int i = 0; i < 5; ++i)
        cmd += " && convert " + P("photo.png") + " -modulate 100," + std::to_string(80 + i * 6) + " -roll +" +
               std::to_string(i * 3) + "+0 " + P("f" + std::to_string(i) + ".png");
    cmd += " && convert -delay 8 -loop 0 " + P("f0.png") + " " + P("f1.png") + " " + P("f2.png") + " " + P("f3.png") +
           " " + P("f4.png") + " " + P("loop.gif");
    ASSERT_EQ(Shell(cmd, dir_).status, 0);
    ShellRun r = Qelgif("optimize " + P("loop.gif") + " " + P("exact.gif"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = Qelgif("optimize " + P("loop.gif") + " " + P("zero.gif") + " --lossy 0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(P("zero.gif")), ReadFileBytes(P("exact.gif")));
    r = Qelgif("optimize " + P("loop.gif") + " " + P("lossy.gif") + " --lossy 80");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(double(fs::file_size(P("lossy.gif"))), 0.85 * double(fs::file_size(P("exact.gif"))));
    auto coalesced = [&](const std::string& gif, const std::string& prefix) {
        EXPECT_EQ(Shell("convert " + gif + " -coalesce PAM:" + P(prefix) + "-%03d.pam", dir_).status, 0);
        std::vector<Pam> frames;
        for (int i = 0;; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%s-%03d.pam", prefix.c_str(), i);
            if (!fs::exists(dir_ / name)) break;
            frames.push_back(ReadPam(dir_ / name));
        }
        return frames;
    };
    const std::vector<Pam> before = coalesced(P("loop.gif"), "in"), after = coalesced(P("lossy.gif"), "out");
    ASSERT_EQ(before.size(), 5u);
    ASSERT_EQ(after.size(), before.size());
    const int bound = LossyBound(80);
    for (size_t i = 0; i < before.size(); ++i) {
        ASSERT_EQ(before[i].width, after[i].width);
        ASSERT_EQ(before[i].height, after[i].height);
        int worst = 0, alpha = 0;
        for (int y = 0; y < before[i].height; ++y)
            for (int x = 0; x < before[i].width; ++x) {
                auto a = before[i].At(x, y), b = after[i].At(x, y);
                alpha += (a[3] == 0) != (b[3] == 0);
                if (a[3] == 0) continue;
                worst = std::max(worst, (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                            (a[2] - b[2]) * (a[2] - b[2]));
            }
        EXPECT_EQ(alpha, 0) << "frame " << i;
        EXPECT_LE(worst, bound) << "frame " << i;
    }
    // The least-error reduction is a method of encode; a caller's palette is not.
    r = Qelgif("encode " + P("photo.png") + " " + P("wu.gif") + " --reduction 10 --bits 6 --lossy 40");
    EXPECT_EQ(r.status, 0) << r.err;
    r = Qelgif("encode " + P("photo.png") + " " + P("x.gif") + " --reduction 9");
    EXPECT_NE(r.status, 0);
}

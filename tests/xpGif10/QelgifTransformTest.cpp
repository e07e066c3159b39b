// qelgif resize, crop, rotate, flip, colors, unoptimize, transparent,
// background and batch mode, judged by ImageMagick: both our output and the
// input (coalesced, then given ImageMagick's own operation) are composed by
// ImageMagick frame by frame and compared.
#include "platform/SafeSave.h"
#include "GifTestUtil.h"
#include "common/Spawn.h"
#include "platform/Streams.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

using namespace platform;
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
    std::array<int, 4> At(size_t i) const {
        const uint8_t* p = &data[i * size_t(depth)];
        return {p[0], p[1], p[2], depth == 4 ? p[3] : 255};
    }
    size_t Pixels() const { return size_t(width) * size_t(height); }
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

// Sum of squared differences over the pixels both show, and how many
// pixels one shows and the other does not.
struct Difference {
    double squared = 0;
    int64_t samples = 0, visibility = 0, differing = 0;
    double Psnr() const {
        return squared == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (squared / double(std::max<int64_t>(samples, 1))));
    }
    double Mse() const { return squared / double(std::max<int64_t>(samples, 1)); }
};

Difference Compare(const Pam& a, const Pam& b) {
    Difference d;
    for (size_t i = 0; i < std::min(a.Pixels(), b.Pixels()); ++i) {
        auto p = a.At(i), q = b.At(i);
        const bool pShows = p[3] >= 128, qShows = q[3] >= 128;
        if (pShows != qShows) ++d.visibility;
        if (!pShows || !qShows) continue;
        double s = 0;
        for (int k = 0; k < 3; ++k) s += double(p[k] - q[k]) * (p[k] - q[k]);
        d.squared += s;
        d.samples += 3;
        if (s) ++d.differing;
    }
    return d;
}

class QelgifTransform : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Have("convert -version")) GTEST_SKIP() << "ImageMagick is not installed";
        dir_ = fs::temp_directory_path() /
               ("qelgif-transform-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::string P(const std::string& name) const { return (dir_ / name).string(); }
    ShellRun Qelgif(const std::string& args) { return Shell(std::string(QELGIF_PATH) + " " + args, dir_); }
    void Make(const std::string& cmd) { ASSERT_EQ(Shell("cd " + dir_.string() + " && " + cmd, dir_).status, 0) << cmd; }

    // A sprite over a photographic background, optimized by ImageMagick
    // into partial frames with a transparent index.
    std::string Sprite() {
        std::string cmd = "convert -size 96x72 -seed 3 plasma:fractal -blur 0x2 bg.png";
        for (int i = 0; i < 5; ++i)
            cmd += " && convert bg.png -fill '#ffd020' -stroke black -draw 'circle " + std::to_string(16 + i * 11) +
                   ",30 " + std::to_string(26 + i * 11) + ",30' s" + std::to_string(i) + ".png";
        Make(cmd + " && convert -delay 7 -loop 3 s?.png +map -layers Optimize -set comment kept sprite.gif");
        return P("sprite.gif");
    }
    // Frames on a see-through screen, disposed to the background, one of
    // them small and off the corner, with a table of its own.
    std::string Cleared() {
        Make("convert -dispose background -delay 10 -size 61x41 xc:none -fill red -draw 'rectangle 5,5 20,20' "
             "\\( -size 21x11 xc:'#2050e0' -set page +35+25 \\) "
             "\\( -size 61x41 xc:none -fill '#10c010' -draw 'circle 30,20 40,25' \\) -loop 0 cleared.gif");
        return P("cleared.gif");
    }
    // Flat shapes moving over a flat background: few colours, sharp edges.
    std::string Flat() {
        std::string cmd = "true";
        for (int i = 0; i < 4; ++i)
            cmd += " && convert -size 120x90 xc:'#203040' -fill '#e0e0e0' -draw 'rectangle 10,10 110,24' "
                   "-fill '#40a040' -draw 'rectangle 10,40 " + std::to_string(20 + i * 25) + ",52' "
                   "-fill '#f0c000' -draw 'circle " + std::to_string(30 + i * 15) + ",72 " +
                   std::to_string(40 + i * 15) + ",72' f" + std::to_string(i) + ".gif";
        Make(cmd + " && convert -delay 5 -loop 0 f?.gif +map flat.gif");
        return P("flat.gif");
    }

    // The composed frames of a GIF as ImageMagick draws them, after ops.
    std::vector<Pam> Composed(const std::string& gif, const std::string& ops, const std::string& tag) {
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path().filename().string().rfind(tag + "-", 0) == 0) fs::remove(e.path());
        const std::string cmd = "convert " + gif + " -coalesce " + ops + " -depth 8 +adjoin " + P(tag + "-%03d.pam");
        EXPECT_EQ(Shell(cmd, dir_).status, 0) << cmd;
        std::vector<Pam> frames;
        for (int i = 0;; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "%s-%03d.pam", tag.c_str(), i);
            if (!fs::exists(dir_ / name)) break;
            frames.push_back(ReadPam(dir_ / name));
        }
        return frames;
    }

    // Our output against ImageMagick's operation on the input, frame by
    // frame; answers the differences of all frames together.
    Difference Against(const std::string& ours, const std::string& in, const std::string& ops) {
        std::vector<Pam> a = Composed(ours, "", "ours"), b = Composed(in, ops, "theirs");
        EXPECT_EQ(a.size(), b.size()) << ops;
        EXPECT_FALSE(a.empty()) << ops;
        Difference all;
        for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
            EXPECT_EQ(a[i].width, b[i].width) << ops << " frame " << i;
            EXPECT_EQ(a[i].height, b[i].height) << ops << " frame " << i;
            Difference d = Compare(a[i], b[i]);
            all.squared += d.squared, all.samples += d.samples, all.visibility += d.visibility;
            all.differing += d.differing;
        }
        return all;
    }

    // The delays as ImageMagick reads them, the loop count and comments.
    std::string Timing(const std::string& gif) {
        return Shell("{ identify -format '%T ' " + gif + "; " + QELGIF_PATH + " info " + gif +
                         " | grep -E '^(loop|comment)'; }",
                     dir_)
            .out;
    }

    fs::path dir_;
};

} // namespace

TEST_F(QelgifTransform, GeometryIsExactlyImageMagicksOnComposedFrames) {
    const std::string sprite = Sprite(), cleared = Cleared();
    struct Case {
        std::string args, ops;
    };
    const std::vector<Case> cases = {
        {"resize IN OUT 40x30", "-sample '40x30!'"},
        {"resize IN OUT 200x101 --method nearest", "-sample '200x101!'"},
        {"resize IN OUT 37x_", "-sample '37x28!'"},
        {"resize IN OUT --scale 0.5", "-sample '48x36!'"},
        {"resize IN OUT 3x2", "-sample '3x2!'"},
        {"crop IN OUT 10,5,50x30", "-crop 50x30+10+5 +repage"},
        {"crop IN OUT 0,0,8x8", "-crop 8x8+0+0 +repage"},
        {"rotate IN OUT 90", "-rotate 90"},
        {"rotate IN OUT 180", "-rotate 180"},
        {"rotate IN OUT 270", "-rotate 270"},
        {"flip IN OUT h", "-flop"},
        {"flip IN OUT v", "-flip"},
        {"unoptimize IN OUT", ""},
    };
    // The sprite again with interlaced frames (rows stored out of order).
    Make("convert " + sprite + " -interlace GIF interlaced.gif");
    // A second frame that reaches past the screen's corner: only what lies
    // within is ever drawn.
    {
        giftest::TestFrame back, past;
        back.width = 96, back.height = 72;
        past.left = 80, past.top = 60, past.width = 30, past.height = 20;
        back.pixels.assign(96 * 72, 1);
        for (int i = 0; i < 600; ++i) past.pixels.push_back(uint8_t(2 + i % 5));
        back.lzw.minCodeSize = past.lzw.minCodeSize = 3;
        const giftest::Bytes b = giftest::MakeGif(96, 72, 3, {back, past});
        WriteWholeFile(P("past.gif"), b.data(), b.size());
    }
    for (const std::string& in : {sprite, cleared, P("interlaced.gif"), P("past.gif")}) {
        const std::string before = Timing(in);
        for (const Case& c : cases) {
            std::string args = c.args;
            args.replace(args.find("IN"), 2, in);
            args.replace(args.find("OUT"), 3, P("out.gif"));
            // Sizes worked out for the sprite's screen.
            if (in == cleared && (c.args.find("_") != std::string::npos || c.args.find("scale") != std::string::npos))
                continue;
            ShellRun r = Qelgif(args);
            ASSERT_EQ(r.status, 0) << args << ": " << r.err;
            Difference d = Against(P("out.gif"), in, c.ops);
            EXPECT_EQ(d.differing, 0) << args;
            EXPECT_EQ(d.visibility, 0) << args;
            EXPECT_EQ(Timing(P("out.gif")), before) << args;
        }
    }
    // A crop wholly beside the small frame keeps it as a moment of time.
    ASSERT_EQ(Qelgif("crop " + cleared + " " + P("out.gif") + " 0,0,30x20").status, 0);
    EXPECT_EQ(Against(P("out.gif"), cleared, "-crop 30x20+0+0 +repage").differing, 0);
    EXPECT_EQ(Timing(P("out.gif")), Timing(cleared));
}

TEST_F(QelgifTransform, UnoptimizedFramesAreWholePictures) {
    const std::string sprite = Sprite();
    ASSERT_EQ(Qelgif("unoptimize " + sprite + " " + P("out.gif")).status, 0);
    ShellRun info = Qelgif("info " + P("out.gif"));
    int frames = 0;
    for (size_t at = info.out.find("\nframe "); at != std::string::npos; at = info.out.find("\nframe ", at + 1)) {
        ++frames;
        EXPECT_EQ(info.out.substr(at, info.out.find('\n', at + 1) - at).find("left 0 top 0 width 96 height 72 "),
                  size_t(0) + std::string("\nframe 0 ").size() + (frames > 10 ? 1 : 0))
            << info.out;
    }
    EXPECT_EQ(frames, 5);
    // Each stored frame, read on its own, is already the composed picture.
    std::vector<Pam> composed = Composed(sprite, "", "c");
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(Qelgif("decode " + P("out.gif") + " " + P("d.pam") + " --frame " + std::to_string(i)).status, 0);
        Difference d = Compare(ReadPam(P("d.pam")), composed[size_t(i)]);
        EXPECT_EQ(d.differing + d.visibility, 0) << "frame " << i;
    }
}

TEST_F(QelgifTransform, FilteredResizeIsCloseToImageMagicksFilters) {
    const std::string flat = Flat(), cleared = Cleared();
    for (const auto& [method, filter] : std::vector<std::pair<std::string, std::string>>{
             {"box", "Box"}, {"lanczos", "Lanczos"}, {"mitchell", "Mitchell"}}) {
        for (const char* size : {"60x45", "47x31", "180x135"}) {
            ASSERT_EQ(Qelgif("resize " + flat + " " + P("out.gif") + " " + size + " --method " + method).status, 0);
            Difference d = Against(P("out.gif"), flat, "-filter " + filter + " -resize '" + size + "!'");
            EXPECT_GE(d.Psnr(), 35) << method << " " << size;
            EXPECT_EQ(d.visibility, 0) << method << " " << size;
            EXPECT_EQ(Timing(P("out.gif")), Timing(flat));
        }
        // See-through areas stay see-through (edges may differ by a pixel
        // where the opacity is near half).
        ASSERT_EQ(Qelgif("resize " + cleared + " " + P("out.gif") + " 30x20 --method " + method).status, 0);
        Difference d = Against(P("out.gif"), cleared, "-filter " + filter + " -resize '30x20!'");
        EXPECT_LE(d.visibility, 3 * 60) << method;
        EXPECT_GE(d.Psnr(), 30) << method;
    }
}

TEST_F(QelgifTransform, ColorsStayWithinThePaletteNearImageMagicksError) {
    const std::string sprite = Sprite();
    for (int n : {256, 64, 16}) {
        for (int dither : {0, 1}) {
            const std::string args = "colors " + sprite + " " + P("out.gif") + " " + std::to_string(n) + " --dither " +
                                     std::to_string(dither);
            ASSERT_EQ(Qelgif(args).status, 0) << args;
            // Every composed pixel of every frame is one of N colours.
            std::set<std::array<int, 3>> used;
            for (const Pam& f : Composed(P("out.gif"), "", "ours"))
                for (size_t i = 0; i < f.Pixels(); ++i)
                    if (auto p = f.At(i); p[3] >= 128) used.insert({p[0], p[1], p[2]});
            EXPECT_LE(int(used.size()), n) << args;
            EXPECT_EQ(Timing(P("out.gif")), Timing(sprite)) << args;
            const Difference ours = Against(P("out.gif"), sprite, "");
            EXPECT_EQ(ours.visibility, 0) << args;
            ASSERT_EQ(Shell("convert " + sprite + (dither ? " -dither FloydSteinberg" : " +dither") + " -colors " +
                                std::to_string(n) + " " + P("im.gif"),
                            dir_)
                          .status,
                      0);
            const Difference theirs = Against(P("im.gif"), sprite, "");
            std::printf("colors %d dither %d: MSE ours %.2f, ImageMagick %.2f\n", n, dither, ours.Mse(),
                        theirs.Mse());
            EXPECT_LE(ours.Mse(), 1.5 * theirs.Mse() + 1) << args;
        }
    }
    // Per frame: each frame's own table, each composed frame still within
    // N colours, as this animation's frames are drawn over a kept first.
    ASSERT_EQ(Qelgif("colors " + sprite + " " + P("out.gif") + " 32 --per-frame").status, 0);
    ShellRun info = Qelgif("info " + P("out.gif"));
    EXPECT_EQ(info.out.find("colors 0 "), std::string::npos) << info.out;
    EXPECT_EQ(Against(P("out.gif"), sprite, "").visibility, 0);
    // Nothing to reduce: the colours are exactly the ones drawn before.
    ASSERT_EQ(Qelgif("colors " + Flat() + " " + P("out.gif") + " 256 --dither 1").status, 0);
    EXPECT_EQ(Against(P("out.gif"), P("flat.gif"), "").differing, 0);
}

TEST_F(QelgifTransform, TransparencyAndBackground) {
    const std::string sprite = Sprite();
    auto firstFrameLine = [&](const std::string& gif) {
        std::string out = Qelgif("info " + gif).out;
        size_t at = out.find("frame 0 ");
        return out.substr(at, out.find('\n', at) - at);
    };
    ASSERT_EQ(Qelgif("transparent " + sprite + " " + P("a.gif") + " 7").status, 0);
    EXPECT_NE(firstFrameLine(P("a.gif")).find("transparent 7 "), std::string::npos);
    ASSERT_EQ(Qelgif("transparent " + P("a.gif") + " " + P("b.gif") + " none").status, 0);
    EXPECT_EQ(Qelgif("info " + P("b.gif")).out.find("transparent 7"), std::string::npos);
    // The colour in the middle of the sprite's fill becomes see-through.
    ASSERT_EQ(Qelgif("transparent " + sprite + " " + P("c.gif") + " '#FFD020'").status, 0);
    std::vector<Pam> frames = Composed(P("c.gif"), "", "c");
    ASSERT_FALSE(frames.empty());
    EXPECT_LT(frames[0].At(30 * 96 + 16)[3], 128);
    ShellRun r = Qelgif("transparent " + sprite + " " + P("d.gif") + " '#123457'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("#123457"), std::string::npos);
    EXPECT_FALSE(fs::exists(P("d.gif")));

    ASSERT_EQ(Qelgif("background " + sprite + " " + P("e.gif") + " 9").status, 0);
    EXPECT_NE(Qelgif("info " + P("e.gif")).out.find(" background 9\n"), std::string::npos);
    r = Qelgif("background " + sprite + " " + P("f.gif") + " 256");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("background index"), std::string::npos) << r.err;
    r = Qelgif("background " + Cleared() + " " + P("f.gif") + " 3");  // two global colours
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("outside"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("f.gif")));
}

TEST_F(QelgifTransform, BadArgumentsNameWhatIsWrongAndWriteNothing) {
    const std::string sprite = Sprite();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"resize IN OUT 40", "WxH"},
        {"resize IN OUT 0x30", "width"},
        {"resize IN OUT 40x70000", "height"},
        {"resize IN OUT 40x30 --method cubic", "--method"},
        {"resize IN OUT --scale -2", "--scale"},
        {"resize IN OUT 40x30 --dither 9", "--dither"},
        {"resize IN OUT 40x30 --frob", "--frob"},
        {"crop IN OUT 10,10", "X,Y,WxH"},
        {"crop IN OUT 90,0,10x10", "not within"},
        {"crop IN OUT 0,0,0x10", "width"},
        {"rotate IN OUT 45", "90, 180 or 270"},
        {"flip IN OUT x", "h or v"},
        {"colors IN OUT 1", "colour count"},
        {"colors IN OUT 300", "colour count"},
        {"transparent IN OUT '#12345'", "#RRGGBB"},
        {"transparent IN OUT 300", "transparent index"},
        {"unoptimize IN", "IN and OUT"},
    };
    for (const auto& [line, expected] : cases) {
        std::string args = line;
        args.replace(args.find("IN"), 2, sprite);
        if (args.find("OUT") != std::string::npos) args.replace(args.find("OUT"), 3, P("out.gif"));
        ShellRun r = Qelgif(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.err.find(expected), std::string::npos) << args << ": " << r.err;
        EXPECT_FALSE(fs::exists(P("out.gif"))) << args;
    }
    // The help states the optimize default the command uses.
    ShellRun help = Qelgif("--help");
    EXPECT_NE(help.out.find("(default 0x3D)"), std::string::npos);
    EXPECT_NE(help.out.find("compose the frames first"), std::string::npos);
}

TEST_F(QelgifTransform, BatchChangesEachFileInPlaceAndLeavesFailuresUntouched) {
    const std::string sprite = Sprite();
    for (const char* name : {"a.gif", "c.gif"}) fs::copy_file(sprite, P(name));
    const std::string broken = "GIF89a\x10\x00";
    WriteWholeFile(P("b.gif"), broken.data(), broken.size());
    const std::vector<uint8_t> brokenBefore = ReadFileBytes(P("b.gif"));
    ShellRun r = Qelgif("-b resize 24x18 -- " + P("a.gif") + " " + P("b.gif") + " " + P("c.gif"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(P("b.gif") + ": "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(P("a.gif")), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(P("b.gif")), brokenBefore);
    for (const char* name : {"a.gif", "c.gif"}) {
        EXPECT_EQ(Against(P(name), sprite, "-sample '24x18!'").differing, 0) << name;
        EXPECT_NE(Qelgif(std::string("info ") + P(name)).out.find("screen 24 18 "), std::string::npos) << name;
    }
    // All succeed: status 0; --batch is the same; a bad argument fails every
    // file and changes none.
    r = Qelgif("--batch rotate 90 -- " + P("a.gif") + " " + P("c.gif"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Qelgif("info " + P("a.gif")).out.find("screen 18 24 "), std::string::npos);
    const std::vector<uint8_t> a = ReadFileBytes(P("a.gif"));
    r = Qelgif("-b rotate 45 -- " + P("a.gif") + " " + P("c.gif"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("2 of 2 files failed"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(P("a.gif")), a);
    // Commands that do not write IN again are refused, as is a missing --.
    EXPECT_EQ(Qelgif("-b info -- " + P("a.gif")).status, 1);
    EXPECT_EQ(Qelgif("-b rotate 90 " + P("a.gif")).status, 1);
    EXPECT_EQ(ReadFileBytes(P("a.gif")), a);
}

TEST_F(QelgifTransform, BatchKilledOrStarvedAtEveryStepLeavesEachFileOldOrNew) {
#ifndef QELGIF_FAULT_SHIM
    GTEST_SKIP() << "no fault injector in this build (sanitizers)";
#else
    const std::string sprite = Sprite();
    const std::vector<uint8_t> before = ReadFileBytes(sprite);
    ASSERT_EQ(Qelgif("rotate " + sprite + " " + P("rotated.gif") + " 90").status, 0);
    const std::vector<uint8_t> after = ReadFileBytes(P("rotated.gif"));
    const std::string batch = std::string(QELGIF_PATH) + " -b rotate 90 -- " + P("a.gif") + " " + P("b.gif");
    auto reset = [&] {
        for (const char* name : {"a.gif", "b.gif"}) WriteWholeFile(P(name), before.data(), before.size());
    };
    reset();
    ASSERT_EQ(Shell("QEL_FAULT=count QEL_FAULT_LOG=" + P("calls") + " LD_PRELOAD=" QELGIF_FAULT_SHIM " " + batch, dir_)
                  .status,
              0);
    const int calls = std::atoi(Text(dir_ / "calls").c_str());
    ASSERT_GE(calls, 4);
    int failedStatus = 0;
    for (int k = 1; k <= calls; ++k) {
        for (const char* mode : {"kill:", "enospc:"}) {
            reset();
            ShellRun r = Shell("QEL_FAULT=" + std::string(mode) + std::to_string(k) + " LD_PRELOAD=" QELGIF_FAULT_SHIM
                               " " + batch,
                               dir_);
            const std::vector<uint8_t> a = ReadFileBytes(P("a.gif")), b = ReadFileBytes(P("b.gif"));
            ASSERT_TRUE(a == before || a == after) << mode << k;
            ASSERT_TRUE(b == before || b == after) << mode << k;
            if (std::string(mode) == "kill:") {
                // The files are done in order: b is not begun before a is done.
                EXPECT_FALSE(a == before && b == after) << mode << k;
                continue;
            }
            // A failed write fails only the file it hit, and says so.
            if (r.status == 1) {
                ++failedStatus;
                EXPECT_TRUE(a == before || b == before) << mode << k << ": " << r.err;
                EXPECT_NE(r.err.find("1 of 2 files failed"), std::string::npos) << r.err;
            } else {
                EXPECT_EQ(a, after) << mode << k;
                EXPECT_EQ(b, after) << mode << k;
            }
        }
    }
    EXPECT_GT(failedStatus, 0);
#endif
}

TEST_F(QelgifTransform, BatchAsAUserGoesOnPastAFileItMayNotReplace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    if (!Have("setpriv --version")) GTEST_SKIP() << "setpriv is not installed";
    const std::string sprite = Sprite();
    const std::vector<uint8_t> before = ReadFileBytes(sprite);
    // locked.gif and dir_ stay the owner's to write; open/ is anyone's.
    fs::create_directories(dir_ / "open");
    fs::permissions(dir_ / "open", fs::perms::all);
    WriteWholeFile(P("locked.gif"), before.data(), before.size());
    WriteWholeFile(P("open/free.gif"), before.data(), before.size());
    fs::permissions(P("locked.gif"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                         fs::perms::others_read);
    fs::permissions(P("open/free.gif"), fs::perms::all);
    ShellRun r = Shell("setpriv --reuid=nobody --regid=nogroup --clear-groups " + std::string(QELGIF_PATH) +
                           " -b flip h -- " + P("locked.gif") + " " + P("open/free.gif"),
                       dir_);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(P("locked.gif") + ": "), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(P("locked.gif")), before);
    EXPECT_EQ(Against(P("open/free.gif"), sprite, "-flop").differing, 0);
}

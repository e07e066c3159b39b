// The qelgif command line: output formats, warnings and exit status.
#include "platform/SafeSave.h"
#include "platform/Streams.h"
#include "xpGif10/GifEncoder.h"
#include "xpGif10/GifImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

using namespace platform;
using namespace xpGif10;
namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun Qelgif(const std::string& args, const fs::path& dir) {
    std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
    std::string cmd = std::string(QELGIF_PATH) + " " + args + " >" + out + " 2>" + err;
    int rc = std::system(cmd.c_str());
    auto text = [](const std::string& p) {
        auto b = ReadFileBytes(p);
        return std::string(b.begin(), b.end());
    };
    return {WEXITSTATUS(rc), text(out), text(err)};
}

// Two frames: an opaque one with a global table, then a transparent,
// interlaced one with a local table; a loop extension and a comment.
std::vector<uint8_t> Sample() {
    std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 2, 0, 0x81, 1, 0};
    for (int i = 0; i < 4; ++i) b.insert(b.end(), {uint8_t(i * 80), 0, 0});
    const char* loop = "NETSCAPE2.0";
    b.insert(b.end(), {0x21, 0xFF, 11});
    b.insert(b.end(), loop, loop + 11);
    b.insert(b.end(), {3, 1, 3, 0, 0});
    b.insert(b.end(), {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0});
    std::vector<uint8_t> px = {0, 1, 2, 3, 3, 2, 1, 0};
    // Image data through the library's own encoder.
    auto add = [&](int left, int top, int w, int h, uint8_t packed, std::vector<uint8_t> local) {
        b.push_back(0x2C);
        b.insert(b.end(), {uint8_t(left), 0, uint8_t(top), 0, uint8_t(w), 0, uint8_t(h), 0, packed});
        b.insert(b.end(), local.begin(), local.end());
        TMemoryStream s;
        TLZWEncoder e;
        e.Encode(s, 2, 4, px.data(), (packed & 0x40) != 0, h, w);
        b.insert(b.end(), s.Bytes().begin(), s.Bytes().end());
    };
    add(0, 0, 4, 2, 0x00, {});
    b.insert(b.end(), {0x21, 0xF9, 4, 0x09, 7, 0, 2, 0});
    add(0, 0, 2, 4, 0xC1, {0, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
    b.push_back(';');
    return b;
}

class QelgifTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qelgif-tool-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        auto b = Sample();
        WriteWholeFile((dir_ / "in.gif").string(), b.data(), b.size());
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string In() const { return (dir_ / "in.gif").string(); }
    fs::path dir_;
};

} // namespace

TEST_F(QelgifTool, InfoListsScreenFramesLoopAndComments) {
    ToolRun r = Qelgif("info " + In(), dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "version 89a\n"
              "screen 4 2 colors 4 background 1\n"
              "frame 0 left 0 top 0 width 4 height 2 interlaced no colors 0 transparent - delay 0 disposal 0\n"
              "frame 1 left 0 top 0 width 2 height 4 interlaced yes colors 4 transparent 2 delay 7 disposal 2\n"
              "loop 3\n"
              "comment hello\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(QelgifTool, DecodeWritesTheRawFrameAsPamWithAlpha) {
    std::string out = (dir_ / "f.pam").string();
    ToolRun r = Qelgif("decode " + In() + " " + out + " --frame 1", dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    auto b = ReadFileBytes(out);
    std::string header = "P7\nWIDTH 2\nHEIGHT 4\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    ASSERT_EQ(std::string(b.begin(), b.begin() + long(header.size())), header);
    ASSERT_EQ(b.size(), header.size() + 2 * 4 * 4);
    const uint8_t* p = b.data() + header.size();
    // Pixel 1 is index 1 of the local table (green, opaque); pixel 2 is
    // index 2, the transparent one.
    EXPECT_EQ(std::vector<uint8_t>(p + 4, p + 8), (std::vector<uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(p[8 + 3], 0);
    EXPECT_EQ(Qelgif("decode " + In() + " " + out, dir_).status, 0);
    auto first = ReadFileBytes(out);
    EXPECT_EQ(std::string(first.begin() + 3, first.begin() + 19), "WIDTH 4\nHEIGHT 2");
    // Frame 0 draws through the global table: index 1 is (80, 0, 0).
    EXPECT_EQ(std::vector<uint8_t>(first.begin() + long(header.size()) + 4, first.begin() + long(header.size()) + 8),
              (std::vector<uint8_t>{80, 0, 0, 255}));
}

TEST_F(QelgifTool, CopyWritesTheLibrarysFormAndKeepsThePixels) {
    std::string out = (dir_ / "c.gif").string(), rle = (dir_ / "r.gif").string();
    ASSERT_EQ(Qelgif("copy " + In() + " " + out, dir_).status, 0);
    ASSERT_EQ(Qelgif("copy " + In() + " " + rle + " --rle", dir_).status, 0);
    for (const auto& path : {out, rle}) {
        TGIFImage a, b;
        TMemoryStream sa, sb;
        sa.LoadFromFile(In());
        sb.LoadFromFile(path);
        a.LoadFromStream(sa);
        b.LoadFromStream(sb);
        ASSERT_EQ(a.Images().Count(), b.Images().Count());
        for (int i = 0; i < a.Images().Count(); ++i)
            EXPECT_EQ(std::vector<uint8_t>(a.Images()[i]->Data(), a.Images()[i]->Data() + a.Images()[i]->DataSize()),
                      std::vector<uint8_t>(b.Images()[i]->Data(), b.Images()[i]->Data() + b.Images()[i]->DataSize()));
        // The local table drops the interlace flag when written.
        EXPECT_FALSE(b.Images()[1]->Interlaced());
    }
}

TEST_F(QelgifTool, WarningsGoOnAndErrorsExitWithOne) {
    auto b = Sample();
    b.back() = 'X';  // a stray byte in place of the trailer
    std::string odd = (dir_ / "odd.gif").string();
    WriteWholeFile(odd, b.data(), b.size());
    ToolRun w = Qelgif("info " + odd, dir_);
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(w.err, "warning: Unknown GIF block type\nwarning: Invalid Image trailer\n");

    std::string bad = (dir_ / "bad.gif").string();
    WriteWholeFile(bad, "PNG-not-a-gif", 13);
    ToolRun e = Qelgif("info " + bad, dir_);
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(e.err, "Invalid GIF signature\n");
    EXPECT_EQ(Qelgif("decode " + In() + " x.pam --frame 9", dir_).status, 1);
    EXPECT_EQ(Qelgif("frobnicate", dir_).status, 1);
    EXPECT_EQ(Qelgif("info", dir_).status, 1);

    ToolRun h = Qelgif("--help", dir_);
    EXPECT_EQ(h.status, 0);
    for (const char* word : {"info FILE", "decode FILE OUT [--frame N]", "copy IN OUT [--rle]", "RGB_ALPHA"})
        EXPECT_NE(h.out.find(word), std::string::npos) << word;
}

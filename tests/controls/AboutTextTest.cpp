#include "browser/Web080.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using namespace browser;

namespace {
platform::FakeScreen Screen(int w, int h, double wmm, double hmm) {
    platform::FakeScreen s;
    s.width = s.desktopWidth = w;
    s.height = s.desktopHeight = h;
    s.widthMM = wmm;
    s.heightMM = hmm;
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find("\r\n", start);
        if (at == std::string::npos) {
            out.push_back(text.substr(start));
            return out;
        }
        out.push_back(text.substr(start, at - start));
        start = at + 2;
    }
}

// Dot and comma whatever the machine's locale says.
struct PlainNumbers : ::testing::Test {
    void SetUp() override { platform::SetFormatSettings(platform::FormatSettings{".", ","}); }
    void TearDown() override { platform::ResetFormatSettings(); }
};
using AboutText = PlainNumbers;
} // namespace

TEST_F(AboutText, FullTextOfA1280x1024Screen) {
    auto s = Screen(1280, 1024, 338, 270);
    // 338 mm = 13307 thousandths of an inch, 270 mm = 10630; the diagonal
    // is 17031.5...
    EXPECT_EQ(ScreenText(s),
              "Screen : 1280 x 1024 pixels on  17.0315 inch screen\r\n"
              "-  338.0000 x  270.0000 mm \r\n"
              "-  13.3070 x  10.6300 inch\r\n"
              "- physical ratio = 1.25\r\n"
              "- screen resolution = 1.25");
}

TEST_F(AboutText, ResolutionRatiosOfCommonScreens) {
    struct Case {
        int w, h;
        const char* ratio;
    } cases[] = {
        {1024, 768, "4/3 ( Letterbox )"},
        {1280, 800, "16/10"},
        {1920, 1080, "1.78 ( Wide )"},
        {1280, 1024, "1.25"},
    };
    for (const Case& c : cases) {
        auto lines = Lines(ScreenText(Screen(c.w, c.h, 300, 200)));
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[4], std::string("- screen resolution = ") + c.ratio) << c.w << "x" << c.h;
        EXPECT_EQ(lines[0].rfind("Screen : " + std::to_string(c.w) + " x " + std::to_string(c.h) + " pixels on ", 0),
                  0u);
    }
}

TEST_F(AboutText, PhysicalRatioComesFromMillimetres) {
    // A 1280 x 1024 picture on a 16:10 panel: the two ratios differ.
    auto lines = Lines(ScreenText(Screen(1280, 1024, 331, 207)));
    EXPECT_EQ(lines[3], "- physical ratio = 16/10");  // 159.9 -> 160
    EXPECT_EQ(lines[4], "- screen resolution = 1.25");
    lines = Lines(ScreenText(Screen(1024, 768, 400, 300)));
    EXPECT_EQ(lines[3], "- physical ratio = 4/3 ( Letterbox )");
}

TEST_F(AboutText, ThousandsInTheMillimetreLine) {
    auto lines = Lines(ScreenText(Screen(3840, 2160, 1210.5, 680.4)));
    EXPECT_EQ(lines[1], "- 1 210.5000 x  680.4000 mm ");
    lines = Lines(ScreenText(Screen(1920, 1080, 2000, 1125)));
    EXPECT_EQ(lines[1], "- 2 000.0000 x 1 125.0000 mm ");
    EXPECT_EQ(lines[3], "- physical ratio = 1.78 ( Wide )");
}

TEST_F(AboutText, RatiosRoundHalfToEven) {
    EXPECT_EQ(RoundHalfEvenDiv(250, 100), 2);
    EXPECT_EQ(RoundHalfEvenDiv(350, 100), 4);
    EXPECT_EQ(RoundHalfEvenDiv(251, 100), 3);
    EXPECT_EQ(RoundHalfEvenDiv(-250, 100), -2);
    EXPECT_EQ(RoundHalfEvenDiv(7, -2), -4);  // -3.5
    EXPECT_EQ(RatioText(125), "1.25");
    EXPECT_EQ(RatioText(100), "1.00");
    EXPECT_EQ(RatioText(177), "1.77");
    // 1600 x 1200 is 133.33: the letterbox name.
    auto lines = Lines(ScreenText(Screen(1600, 1200, 400, 300)));
    EXPECT_EQ(lines[4], "- screen resolution = 4/3 ( Letterbox )");
}

TEST_F(AboutText, ScreenWithoutPhysicalSizeAssumesDefaultResolution) {
    // 96 pixels per inch: 1920 px is 20 inches.
    auto lines = Lines(ScreenText(Screen(1920, 1200, 0, 0)));
    EXPECT_EQ(lines[2], "-  20.0000 x  12.5000 inch");
    EXPECT_EQ(lines[3], "- physical ratio = 16/10");
}

TEST_F(AboutText, ScreenWithoutPixelsIsAnError) {
    EXPECT_THROW(ScreenText(Screen(0, 0, 300, 200)), platform::Exception);
    EXPECT_THROW(ScreenText(Screen(1024, 0, 300, 200)), platform::Exception);
}

TEST(AboutOS, VersionForms) {
    platform::OSVersionInfo nt;
    nt.PlatformId = 2;
    nt.Name = " Linux";
    nt.Major = 6;
    nt.Minor = 1;
    nt.Build = 76;
    EXPECT_EQ(OSVersionText(nt), " Linux 6.1 (Build 76) ");
    nt.CSDVersion = "Debian GNU/Linux 12 (bookworm)";
    EXPECT_EQ(OSVersionText(nt), " Linux 6.1 (Build 76: Debian GNU/Linux 12 (bookworm)) ");
    nt.Name.clear();
    nt.CSDVersion.clear();
    EXPECT_EQ(OSVersionText(nt), " Windows NT 6.1 (Build 76) ");

    platform::OSVersionInfo w95;
    w95.PlatformId = 1;
    w95.Major = 4;
    w95.Minor = 10;
    w95.Build = 0x040A0000 | 2222;  // only the low 16 bits are the build
    EXPECT_EQ(OSVersionText(w95), " Windows 95 4.10 (Build 2222) ");
    w95.CSDVersion = "A";
    EXPECT_EQ(OSVersionText(w95), " Windows 95 4.10 (Build 2222: A) ");

    platform::OSVersionInfo other;
    other.PlatformId = 0;
    other.Major = 3;
    other.Minor = 11;
    other.Build = 99;
    other.CSDVersion = "ignored";
    EXPECT_EQ(OSVersionText(other), " Windows 3.11 ");
}

TEST_F(AboutText, MemoryInKilobytesAllSixtyFourBits) {
    EXPECT_EQ(MemoryText(16ull << 20), "16,384 KB");
    EXPECT_EQ(MemoryText(512 * 1024), "512 KB");
    // 8 GB would wrap to 0 in 32 bits.
    EXPECT_EQ(MemoryText(8ull << 30), "8,388,608 KB");
    EXPECT_EQ(MemoryText(1023), " KB");
}

TEST(AboutCopyright, TwoLines) {
    auto text = CopyrightText();
    EXPECT_EQ(Lines(text).size(), 2u);
}

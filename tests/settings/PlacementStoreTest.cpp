#include "settings/PlacementStore.h"

#include "TestSupport.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/Screen.h"
#include "settings/Environment.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

using namespace settings;
using platform::FakePlacementForm;
using platform::TRect;
using settings_test::ReadFile;
using settings_test::TempDir;
using settings_test::WriteFile;

namespace {

class PlacementStore : public ::testing::Test {
protected:
    void SetUp() override {
        Env().IniFile = dir / "Prog.Ini";
        screen->desktopWidth = 1280;
        screen->desktopHeight = 1024;
        previousScreen = platform::SetScreenService(screen);
        form.name = "Web010";
        form.placement.rcNormalPosition = {100, 50, 900, 650};
        form.placement.ptMinPosition = {-1, -1};
        form.placement.ptMaxPosition = {-8, -8};
        form.placement.showCmd = 1;
    }
    void TearDown() override {
        platform::SetScreenService(previousScreen);
        DoneEnvironment();
    }
    void Saved(int left, int top, int right, int bottom, const char* extra = "") {
        WriteFile(Env().IniFile, "[Web010]\r\nLeft=" + std::to_string(left) + "\r\nTop=" + std::to_string(top) +
                                     "\r\nRight=" + std::to_string(right) + "\r\nBottom=" + std::to_string(bottom) +
                                     "\r\n" + extra);
    }
    TRect Restored() {
        LoadPlacement(&form);
        return form.placement.rcNormalPosition;
    }

    TempDir dir;
    std::shared_ptr<platform::FakeScreen> screen = std::make_shared<platform::FakeScreen>();
    std::shared_ptr<platform::IScreenService> previousScreen;
    FakePlacementForm form;
};

} // namespace

TEST_F(PlacementStore, WithoutSettingsTheFormKeepsItsPlacementAndState) {
    form.windowState = platform::wsMaximized;
    LoadPlacement(&form);
    EXPECT_EQ(form.setPlacementCalls, 1);
    EXPECT_EQ(form.placement.rcNormalPosition, (TRect{100, 50, 900, 650}));
    EXPECT_EQ(form.placement.ptMaxPosition, (platform::TPoint{-8, -8}));
    EXPECT_EQ(form.placement.showCmd, 0u);  // set hidden: the form is not shown yet
    EXPECT_EQ(form.placement.length, 44u);
    EXPECT_EQ(form.windowState, platform::wsMaximized);
}

TEST_F(PlacementStore, WindowsOffTheDesktopComeBackByTheirMargin) {
    Saved(1500, 100, 1900, 400);  // beyond the right edge
    EXPECT_EQ(Restored(), (TRect{1275, 100, 1675, 400}));
    Saved(-397, 100, 3, 400);  // right edge at 3
    EXPECT_EQ(Restored(), (TRect{-395, 100, 5, 400}));
    Saved(100, -600, 500, -100);  // above the top
    EXPECT_EQ(Restored(), (TRect{100, -495, 500, 5}));
    Saved(100, 1100, 500, 1300);  // below the bottom
    EXPECT_EQ(Restored(), (TRect{100, 1019, 500, 1219}));
}

TEST_F(PlacementStore, TitleBarIsPulledDownButAPartlyHiddenLeftEdgeStays) {
    Saved(-20, -20, 380, 280);
    EXPECT_EQ(Restored(), (TRect{-20, 5, 380, 305}));
    Saved(1270, 1015, 1670, 1315);  // exactly on the margin: untouched
    EXPECT_EQ(Restored(), (TRect{1270, 1015, 1670, 1315}));
}

TEST_F(PlacementStore, FixedBorderFormsKeepTheirSizeAtTheSavedPosition) {
    form.borderStyle = platform::bsDialog;
    form.placement.rcNormalPosition = {0, 0, 300, 200};
    Saved(1400, 40, 2400, 1040);
    EXPECT_EQ(Restored(), (TRect{1275, 40, 1575, 240}));
    form.borderStyle = platform::bsSizeToolWin;
    Saved(10, 40, 1010, 1040);
    EXPECT_EQ(Restored(), (TRect{10, 40, 1010, 1040}));
}

TEST_F(PlacementStore, MaximizedWindowRoundTripsItsNormalRectangle) {
    form.windowState = platform::wsMaximized;
    form.placement.rcNormalPosition = {30, 40, 830, 640};
    form.placement.ptMinPosition = {3000, 3000};
    SavePlacement(form, true);
    EXPECT_EQ(ReadFile(Env().IniFile),
              "[Web010]\r\nLeft=30\r\nTop=40\r\nRight=830\r\nBottom=640\r\nMinX=3000\r\nMinY=3000\r\n"
              "MaxX=-8\r\nMaxY=-8\r\nShow=2\r\n");

    FakePlacementForm fresh;
    fresh.name = "Web010";
    fresh.placement.rcNormalPosition = {0, 0, 10, 10};
    LoadPlacement(&fresh);
    EXPECT_EQ(fresh.placement.rcNormalPosition, (TRect{30, 40, 830, 640}));
    EXPECT_EQ(fresh.placement.ptMinPosition, (platform::TPoint{3000, 3000}));
    EXPECT_EQ(fresh.placement.ptMaxPosition, (platform::TPoint{-8, -8}));
    EXPECT_EQ(fresh.windowState, platform::wsMaximized);
}

TEST_F(PlacementStore, UnknownShowValuesRestoreANormalWindow) {
    form.windowState = platform::wsMinimized;
    Saved(10, 10, 20, 20, "Show=7\r\n");
    LoadPlacement(&form);
    EXPECT_EQ(form.windowState, platform::wsNormal);
    Saved(10, 10, 20, 20, "Show=1\r\n");
    LoadPlacement(&form);
    EXPECT_EQ(form.windowState, platform::wsMinimized);
}

TEST_F(PlacementStore, AMalformedValueIsReportedAndOnlyItKeepsTheFormsValue) {
    auto boxes = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope(boxes);
    WriteFile(Env().IniFile, "[Web010]\r\nLeft=12px\r\nTop=70\r\nRight=700\r\nBottom=600\r\n");
    LoadPlacement(&form);
    EXPECT_EQ(form.setPlacementCalls, 1);
    EXPECT_EQ(form.placement.rcNormalPosition, (TRect{100, 70, 700, 600}));
    ASSERT_EQ(boxes->Boxes().size(), 1u);
    for (const char* part : {"Prog.Ini", "[Web010]", "Left", "12px"})
        EXPECT_NE(boxes->Boxes()[0].text.find(part), std::string::npos) << boxes->Boxes()[0].text;
}

TEST_F(PlacementStore, ExtremeValuesDoNotOverflow) {
    Saved(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    TRect r = Restored();
    // Left edge left alone; the top comes down and the bottom saturates.
    EXPECT_EQ(r, (TRect{INT_MIN, 5, INT_MAX, INT_MAX}));
    Saved(INT_MAX - 1, 0, INT_MAX, 10);
    r = Restored();
    EXPECT_EQ(r.left, 1275);
    EXPECT_EQ(r.Width(), 1);
    Saved(INT_MIN, 0, INT_MIN + 100, 10);
    r = Restored();
    EXPECT_EQ(r, (TRect{-95, 0 + 5, 5, 15}));
}

TEST_F(PlacementStore, EveryCallReloadsSoEarlierUnsavedWritesAreGone) {
    WriteFile(Env().IniFile, "[Web010]\r\nHome=file\r\n");
    LoadPlacement(nullptr);
    ASSERT_NE(IniList(), nullptr);
    IniList()->Add("Unsaved=1");
    SavePlacement(form, false);
    EXPECT_EQ(ReadFile(Env().IniFile), "[Web010]\r\nHome=file\r\n");  // not written
    EXPECT_EQ((*IniList())[1], "Home=file");
    EXPECT_EQ((*IniList())[2], "Left=100");
    for (int i = 0; i < IniList()->Count(); ++i) EXPECT_NE((*IniList())[i], "Unsaved=1");
    IniList()->Add("Unsaved=1");
    LoadPlacement(nullptr);
    EXPECT_EQ(IniList()->Count(), 2);
}

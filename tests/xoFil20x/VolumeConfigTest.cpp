// The volume configuration: defaults, the two files, what the save writes.
#include "xoFil20x/VolumeConfig.h"

#include "common/TempFolder.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "settings/Environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace xoFil20x;
using qeltest::ReadFile;
using qeltest::WriteFile;

namespace {

class VolumeConfig : public ::testing::Test {
protected:
    void SetUp() override {
        base = dir / "Varnolek.Ini";
        auto& env = settings::Env();
        env.BaseFile = base;
        env.VolumeFolder.clear();
        env.VolumeFile.clear();
        VsSys() = recVsSys{};
    }
    void TearDown() override {
        VsSys() = recVsSys{};
        settings::Env() = settings::EnvironmentTexts{};
    }
    qeltest::TempFolder dir;
    std::string base;
};

const char* const SaveOrder[] = {"SystemPath", "Extensions", "Programs", "Icons16", "Icons32", "HdBase",
                                 "PcBase", "SdBase", "CdBase", "OsBase", "Floppy", "BackUp", "DaysToGo.Days",
                                 "DaysToGo.Hours", "DaysToGo.Minutes", "ExcludeFromTotals", "WinDif"};

} // namespace

TEST_F(VolumeConfig, DefaultsWithoutFiles) {
    WriteFile(base, "");
    LoadVolumeSettings(VsSys());
    auto& env = settings::Env();
    EXPECT_EQ(env.VolumeFolder, "/mnt/e/xdDisk/");
    EXPECT_EQ(env.VolumeFile, "xdVols.Ini");
    const recVsSys& s = VsSys();
    EXPECT_EQ(s.BackUp, "/mnt/e/xdDisk/xxBack/");
    EXPECT_EQ(s.DaysToGoMinutes, 10);
    EXPECT_EQ(s.DaysToGoDays, 0);
    EXPECT_EQ(s.DaysToGoHours, 0);
    EXPECT_EQ(s.WinDif, "");
    EXPECT_EQ(s.ExcludeFromTotals, "thumbs.db;zzTmb.*");
    EXPECT_EQ(s.SystemPath, "zzSys/");
    EXPECT_EQ(s.OsBase, "OSBase/");
    EXPECT_EQ(s.Floppy, "/mnt/e/xdFloppy/");
    EXPECT_EQ(s.Icons32, "xdIcons32.Bmp");
    EXPECT_EQ(s.VolDataExt, ".Tvd");
    EXPECT_EQ(s.VolTextExt, ".Tvt");
    EXPECT_EQ(VsColumns()[0], 1);
    EXPECT_EQ(VsColumns()[23], 104);
    EXPECT_EQ(VsColumns()[7], 10);
    ASSERT_NE(W32Ext(), nullptr);
}

TEST_F(VolumeConfig, BaseFileMovesTheVolumeFolder) {
    std::string vol = dir / "vol/";
    std::filesystem::create_directory(vol);
    WriteFile(base, "[Vols]\r\nVsPath=" + vol + "\r\n");
    WriteFile(vol + "xdVols.Ini",
              "ExcludeFromTotals=*.tmp\r\n[Vols]\r\nHdBase=Disks/\r\nDaysToGo.Days=-70000\r\n"
              "DaysToGo.Hours=300\r\nDaysToGo.Minutes=257\r\nWinDif=w\r\n");
    LoadVolumeSettings(VsSys());
    EXPECT_EQ(settings::Env().VolumeFolder, vol);
    EXPECT_EQ(VsSys().BackUp, vol + "xxBack/");
    EXPECT_EQ(VsSys().HdBase, "Disks/");
    EXPECT_EQ(VsSys().DaysToGoDays, -70000);
    EXPECT_EQ(VsSys().DaysToGoHours, 44);
    EXPECT_EQ(VsSys().DaysToGoMinutes, 1);
    EXPECT_EQ(VsSys().WinDif, "w");
    EXPECT_EQ(VsSys().ExcludeFromTotals, "*.tmp");

    SaveVolumeSettings(VsSys());
    std::string written = ReadFile(vol + "xdVols.Ini");
    EXPECT_NE(written.find("DaysToGo.Hours=44\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("DaysToGo.Days=-70000\r\n"), std::string::npos) << written;
    EXPECT_EQ(written.rfind("ExcludeFromTotals=*.tmp\r\n[Vols]\r\n", 0), 0u) << written;
    // The base file's head gets both keys; its Vols section stays.
    EXPECT_EQ(ReadFile(base), "VsPath=" + vol + "\r\nVsBase=xdVols.Ini\r\n[Vols]\r\nVsPath=" + vol + "\r\n");
}

TEST_F(VolumeConfig, FolderWithoutTrailingSlashRunsTogether) {
    std::string folder = dir / "plain";
    WriteFile(base, "[Vols]\r\nVsPath=" + folder + "\r\n");
    WriteFile(folder + "xdVols.Ini", "[Vols]\r\nPcBase=Joined/\r\n");
    LoadVolumeSettings(VsSys());
    EXPECT_EQ(VsSys().PcBase, "Joined/");
    EXPECT_EQ(VsSys().BackUp, folder + "xxBack/");
}

TEST_F(VolumeConfig, ExcludeFromTotalsIsReadFromTheHeadOnly) {
    std::string vol = dir.Path();
    WriteFile(base, "[Vols]\r\nVsPath=" + vol + "\r\n");
    WriteFile(vol + "xdVols.Ini", "[Vols]\r\nExcludeFromTotals=*.bak\r\n");
    LoadVolumeSettings(VsSys());
    EXPECT_EQ(VsSys().ExcludeFromTotals, "thumbs.db;zzTmb.*");
    WriteFile(vol + "xdVols.Ini", "ExcludeFromTotals=thumbs.db;zzTmb.*\r\n");
    LoadVolumeSettings(VsSys());
    EXPECT_EQ(VsSys().ExcludeFromTotals, "thumbs.db");
}

TEST_F(VolumeConfig, SaveCreatesBothFilesInKeyOrder) {
    std::string vol = dir / "v/";
    std::filesystem::create_directory(vol);
    WriteFile(base, "[Vols]\r\nVsPath=" + vol + "\r\n");
    LoadVolumeSettings(VsSys());
    std::filesystem::remove(base);  // vanished by exit
    SaveVolumeSettings(VsSys());

    std::string written = ReadFile(vol + "xdVols.Ini");
    std::string expected = "[Vols]\r\n";
    const recVsSys& s = VsSys();
    const std::string values[] = {s.SystemPath, s.Extensions, s.Programs, s.Icons16, s.Icons32, s.HdBase,
                                  s.PcBase, s.SdBase, s.CdBase, s.OsBase, s.Floppy, s.BackUp, "0", "0", "10",
                                  s.ExcludeFromTotals, ""};
    for (size_t i = 0; i < 17; ++i) expected += std::string(SaveOrder[i]) + "=" + values[i] + "\r\n";
    EXPECT_EQ(written, expected);
    EXPECT_EQ(ReadFile(base), "VsPath=" + vol + "\r\nVsBase=xdVols.Ini\r\n");

    // The next run reads what was written, and other lines survive.
    WriteFile(vol + "xdVols.Ini", "; mine\r\n" + written + "[Other]\r\nKeep=1\r\n");
    LoadVolumeSettings(VsSys());
    SaveVolumeSettings(VsSys());
    EXPECT_EQ(ReadFile(vol + "xdVols.Ini"), "; mine\r\n" + written + "[Other]\r\nKeep=1\r\n");
}

TEST_F(VolumeConfig, EmptyFolderValueIsKeptAndRelative) {
    WriteFile(base, "[Vols]\r\nVsPath=\r\n");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    WriteFile("xdVols.Ini", "[Vols]\r\nSdBase=Here/\r\n");
    LoadVolumeSettings(VsSys());
    EXPECT_EQ(settings::Env().VolumeFolder, "");
    EXPECT_EQ(VsSys().SdBase, "Here/");
    EXPECT_EQ(VsSys().BackUp, "xxBack/");
    VsSys().SdBase = "Changed/";
    SaveVolumeSettings(VsSys());  // runs the load again first
    std::string written = ReadFile("xdVols.Ini");
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_NE(written.find("SdBase=Here/\r\n"), std::string::npos) << written;
}

TEST_F(VolumeConfig, UnwritableFilesAreSkipped) {
    WriteFile(base, "[Vols]\r\nVsPath=" + (dir / "missing/") + "\r\n");
    LoadVolumeSettings(VsSys());
    EXPECT_NO_THROW(SaveVolumeSettings(VsSys()));
    EXPECT_FALSE(platform::FileExists(dir / "missing/xdVols.Ini"));
    EXPECT_EQ(ReadFile(base).rfind("VsPath=" + (dir / "missing/") + "\r\n", 0), 0u);
}

TEST_F(VolumeConfig, AMalformedNumberIsReportedAndTakesItsDefault) {
    auto boxes = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope(boxes);
    std::string vol = dir.Path();
    WriteFile(base, "[Vols]\r\nVsPath=" + vol + "\r\n");
    WriteFile(vol + "xdVols.Ini", "[Vols]\r\nDaysToGo.Days=soon\r\nDaysToGo.Minutes=20\r\nWinDif=w\r\n");
    LoadVolumeSettings(VsSys());
    EXPECT_EQ(VsSys().DaysToGoDays, 0);
    EXPECT_EQ(VsSys().DaysToGoMinutes, 20);
    EXPECT_EQ(VsSys().WinDif, "w");
    ASSERT_EQ(boxes->Boxes().size(), 1u);
    EXPECT_NE(boxes->Boxes()[0].text.find("xdVols.Ini"), std::string::npos);
    EXPECT_NE(boxes->Boxes()[0].text.find("soon"), std::string::npos);
}

TEST_F(VolumeConfig, UnitLoadsOnceAndSavesAtTheEnd) {
    std::string vol = dir / "u/";
    std::filesystem::create_directory(vol);
    WriteFile(base, "[Vols]\r\nVsPath=" + vol + "\r\n");
    {
        VolumeUnit unit;
        ASSERT_NE(W32Ext(), nullptr);
        TW32Ext* first = W32Ext();
        {
            VolumeUnit again;
            EXPECT_EQ(W32Ext(), first);
        }
        EXPECT_EQ(W32Ext(), first);
        EXPECT_FALSE(platform::FileExists(vol + "xdVols.Ini"));
        EXPECT_EQ(VsSys().DaysToGoMinutes, 10);
    }
    EXPECT_EQ(W32Ext(), nullptr);
    EXPECT_EQ(VsSys().SystemPath, "");
    EXPECT_TRUE(platform::FileExists(vol + "xdVols.Ini"));
}

TEST_F(VolumeConfig, TheSaveWaitsForAnotherWriterOfEitherFileAndKeepsItsChange) {
    // Other writers hold each file's lock while they change it; the save
    // at exit must load after them, not save over them.
    const std::string folder = dir.Path();
    WriteFile(base, "[Vols]\r\nVsPath=" + folder + "\r\n");
    LoadVolumeSettings(VsSys());
    const std::string volumes = folder + "xdVols.Ini";
    WriteFile(volumes, "[Vols]\r\n");
    auto holdAndAppend = [&](const std::string& file, const std::string& text, const std::string& started) {
        // The writer's descriptor is open before the save starts, as a
        // writer's is that loaded the file: it writes the file as it was.
        std::string cmd = "flock '" + file + "' sh -c \"exec 3>>'" + file + "'; touch '" + started +
                          "'; sleep 0.4; printf '" + text + "' >&3\" &";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        for (int i = 0; i < 500 && !std::filesystem::exists(started); ++i) ::usleep(10000);
        ASSERT_TRUE(std::filesystem::exists(started));
    };
    holdAndAppend(volumes, "[Theirs]\\r\\nv=1\\r\\n", folder + "one");
    SaveVolumeSettings(VsSys());
    EXPECT_NE(ReadFile(volumes).find("[Theirs]\r\nv=1\r\n"), std::string::npos) << ReadFile(volumes);
    EXPECT_NE(ReadFile(volumes).find("SystemPath=zzSys/"), std::string::npos);
    holdAndAppend(base, "[Theirs]\\r\\nb=2\\r\\n", folder + "two");
    SaveVolumeSettings(VsSys());
    EXPECT_NE(ReadFile(base).find("[Theirs]\r\nb=2\r\n"), std::string::npos) << ReadFile(base);
    EXPECT_EQ(ReadFile(base).rfind("VsPath=" + folder, 0), 0u);
}

#include "settings/Environment.h"

#include "TestSupport.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace settings;
using platform::IDCANCEL;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;
using settings_test::EnvVar;
using settings_test::ReadFile;
using settings_test::TempDir;
using settings_test::WriteFile;

namespace {

class Environment : public ::testing::Test {
protected:
    Environment() {
        ::mkdir((root / "app").c_str(), 0755);
        ::mkdir((root / "config").c_str(), 0755);
        ::mkdir((root / "bin").c_str(), 0755);
        exe = root / "app/Prog";
        WriteFile(exe, "");
    }
    void TearDown() override { DoneEnvironment(); }

    // Answers the base file question with the given button.
    void Run(int answer) {
        boxes->Answer(answer);
        InitEnvironmentFor(exe);
    }
    bool Asked() const { return !boxes->Boxes().empty(); }

    TempDir root;
    std::string exe;
    std::string configDir = root / "config/";
    EnvVar xdg{"XDG_CONFIG_HOME", configDir};
    EnvVar path{"PATH", root / "bin"};
    EnvVar tmp{"TMPDIR", root.path};
    std::shared_ptr<platform::ScriptedMessageBox> boxes = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope{boxes};
};

} // namespace

TEST_F(Environment, NamesComeFromTheExecutablePath) {
    WriteFile(root / "app/Varnolek.Ini", "");
    struct Case {
        const char* file;
        const char* appName;
    };
    for (Case c : {Case{"Prog", "Prog"}, Case{"Qel.EXE", "Qel"}, Case{"My.Tool.exe", "My.Tool"}}) {
        exe = root / "app/" + c.file;
        InitEnvironmentFor(exe);
        EXPECT_EQ(Env().AppDir, root / "app/");
        EXPECT_EQ(Env().AppName, c.appName);
        EXPECT_EQ(Env().IniFile, root / "app/" + c.appName + ".Ini");
        EXPECT_EQ(Env().ApplicationTitle, c.appName);
    }
    EXPECT_FALSE(Asked());
    EXPECT_FALSE(Env().UserName.empty());
    EXPECT_FALSE(Env().ComputerName.empty());
}

TEST_F(Environment, DotsInTheFolderDoNotMakeAnExtension) {
    ::mkdir((root / "v1.2").c_str(), 0755);
    WriteFile(root / "v1.2/Varnolek.Ini", "");
    InitEnvironmentFor(root / "v1.2/Browser");
    EXPECT_EQ(Env().AppName, "Browser");
    EXPECT_EQ(Env().AppDir, root / "v1.2/");
    EXPECT_EQ(Env().IniFile, root / "v1.2/Browser.Ini");
}

TEST_F(Environment, AnEmptyBaseFileBesideTheProgramOrInTheConfigurationCounts) {
    WriteFile(root / "app/Varnolek.Ini", "");
    InitEnvironmentFor(exe);
    EXPECT_FALSE(Asked());
    EXPECT_EQ(Env().BaseFile, root / "app/Varnolek.Ini");

    ::unlink((root / "app/Varnolek.Ini").c_str());
    WriteFile(configDir + "Varnolek.Ini", "");
    InitEnvironmentFor(exe);
    EXPECT_FALSE(Asked());
    EXPECT_EQ(Env().BaseFile, configDir + "Varnolek.Ini");

    ::unlink((configDir + "Varnolek.Ini").c_str());
    WriteFile(root / "bin/Varnolek.Ini", "[Vols]\r\n");
    InitEnvironmentFor(exe);
    EXPECT_FALSE(Asked());
    EXPECT_EQ(Env().BaseFile, root / "bin/Varnolek.Ini");
}

TEST_F(Environment, TheQuestionNamesBothPlaces) {
    Run(IDYES);
    ASSERT_EQ(boxes->Boxes().size(), 1u);
    const auto& box = boxes->Boxes()[0];
    EXPECT_EQ(box.caption, "Kx SysInit");
    EXPECT_EQ(box.flags, 35u | platform::MB_TASKMODAL);
    const std::string expected =
        "Base file Varnolek.Ini was not found. Cannot go on without it.\r\n"
        "The file has paths for playlist, slidshow custom root, volume, etc. sub systems.\r\n"
        "It is intended to be in Windows direcory, the data is common to all KX powered programs and games.\r\n"
        "In application directory file is unique to the programs in the application's directory.\r\n"
        "\r\n"
        "Yes - Creates the file into Windows directory :\r\n"
        " " + configDir + "\r\n"
        "\r\n"
        "No  - Creates the file into application direcory :\r\n"
        "  " + root.path + "app/\r\n"
        "\r\n"
        "Cancel terminates program.\r\n"
        "\r\n"
        "? You can add, synchronize and maintain multiple locations /  operating systems from the maintenance "
        "screen.\r\n"
        "? If you or Windows setup deletes the file, you'll get to answer this for recreational purposes.\r\n";
    EXPECT_EQ(box.text, expected);
}

TEST_F(Environment, YesCreatesAnEmptyBaseFileInTheConfigurationFolder) {
    Run(IDYES);
    EXPECT_EQ(Env().BaseFile, configDir + "Varnolek.Ini");
    ASSERT_TRUE(platform::FileExists(Env().BaseFile));
    EXPECT_EQ(ReadFile(Env().BaseFile), "");
    boxes->ClearBoxes();
    InitEnvironmentFor(exe);
    EXPECT_FALSE(Asked());
}

TEST_F(Environment, NoCreatesItBesideTheProgram) {
    Run(IDNO);
    EXPECT_EQ(Env().BaseFile, root / "app/Varnolek.Ini");
    EXPECT_TRUE(platform::FileExists(Env().BaseFile));
    boxes->ClearBoxes();
    InitEnvironmentFor(exe);
    EXPECT_FALSE(Asked());
    EXPECT_EQ(Env().BaseFile, root / "app/Varnolek.Ini");
}

TEST_F(Environment, CancelEndsTheProgramWithCodeZeroAndCreatesNothing) {
    try {
        Run(IDCANCEL);
        FAIL() << "no exit";
    } catch (const EProgramExit& e) {
        EXPECT_EQ(e.Code(), 0);
    }
    EXPECT_FALSE(platform::FileExists(configDir + "Varnolek.Ini"));
    EXPECT_FALSE(platform::FileExists(root / "app/Varnolek.Ini"));
    EXPECT_EQ(boxes->Boxes().size(), 1u);
}

TEST_F(Environment, ABaseFileThatCannotBeCreatedEndsWithCodeOneAndSaysWhy) {
    // The configuration "folder" is a plain file: nothing can go inside.
    WriteFile(root / "blocked", "x");
    EnvVar blocked("XDG_CONFIG_HOME", root / "blocked");
    try {
        Run(IDYES);
        FAIL() << "no exit";
    } catch (const EProgramExit& e) {
        EXPECT_EQ(e.Code(), 1);
    }
    ASSERT_EQ(boxes->Boxes().size(), 2u);
    const auto& box = boxes->Boxes()[1];
    EXPECT_NE(box.text.find(root / "blocked/Varnolek.Ini"), std::string::npos);
    EXPECT_NE(box.text.find("Not a directory"), std::string::npos) << box.text;
    EXPECT_EQ(ReadFile(root / "blocked"), "x");
}

TEST_F(Environment, AnAnswerThatChoosesNoPlaceEndsWithCodeOne) {
    try {
        Run(IDOK);
        FAIL() << "no exit";
    } catch (const EProgramExit& e) {
        EXPECT_EQ(e.Code(), 1);
    }
    EXPECT_EQ(boxes->Boxes().size(), 2u);
}

TEST_F(Environment, AMissingConfigurationFolderIsCreatedForTheBaseFile) {
    EnvVar fresh("XDG_CONFIG_HOME", root / "home/.config");
    Run(IDYES);
    EXPECT_TRUE(platform::FileExists(root / "home/.config/Varnolek.Ini"));
}

TEST_F(Environment, AProgramFolderThatCannotBeWrittenKeepsItsSettingsInTheConfiguration) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
    ::chmod((root / "app").c_str(), 0555);
    Run(IDNO);
    ::chmod((root / "app").c_str(), 0755);
    EXPECT_EQ(Env().AppDir, configDir);
    EXPECT_EQ(Env().IniFile, configDir + "Prog.Ini");
    EXPECT_EQ(Env().BaseFile, configDir + "Varnolek.Ini");
}

TEST_F(Environment, TheUnitGuardStartsOnceAndReleasesAtTheEnd) {
    WriteFile(root / "app/Varnolek.Ini", "");
    InitEnvironmentFor(exe);
    EXPECT_FALSE(Env().IniFile.empty());
    EXPECT_EQ(CharToHtml()[60], "&lt;");
    DoneEnvironment();
    EXPECT_TRUE(Env().IniFile.empty());
    EXPECT_TRUE(Env().BaseFile.empty());
    EXPECT_TRUE(CharToHtml()[60].empty());
}

TEST_F(Environment, HtmlTables) {
    WriteFile(root / "app/Varnolek.Ini", "");
    InitEnvironmentFor(exe);
    const HtmlTable& html = CharToHtml();
    const HtmlTable& all = CharToHtmlAll();
    EXPECT_EQ(html[0], std::string(1, '\0'));
    EXPECT_EQ(html['A'], "A");
    EXPECT_EQ(html['"'], "&quot;");
    EXPECT_EQ(html['&'], "&amp;");
    EXPECT_EQ(html['>'], "&gt;");
    EXPECT_EQ(html[128], "&euro;");
    EXPECT_EQ(html[129], "\x81");
    EXPECT_EQ(html[160], "&nbsp;");
    EXPECT_EQ(html[173], "&shy;");
    EXPECT_EQ(html[198], "&AElig;");
    EXPECT_EQ(html[215], "&times;");
    EXPECT_EQ(html[222], "&THORN;");
    EXPECT_EQ(html[247], "&divide;");
    EXPECT_EQ(html[255], "&yuml;");

    EXPECT_EQ(all[0], "&NIL");
    EXPECT_EQ(all['\t'], "&TAB;");
    EXPECT_EQ(all[' '], "&sp;");
    EXPECT_EQ(all[';'], "&scol;");
    EXPECT_EQ(all['~'], "&tilde;");
    EXPECT_EQ(all['&'], "&amp;");
    EXPECT_EQ(all[127], "\x7f");
    int replaced = 0;
    for (int c = 0; c < 256; ++c) {
        if (all[c] != html[c]) ++replaced;
        bool named = all[c].size() > 1;
        bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (c >= 33 && c <= 126) {
            EXPECT_EQ(named, !alnum) << c;
        }
    }
    EXPECT_EQ(replaced, 33);
}

// The main window's settings: restored at creation, saved at destruction.
#include "BrowserTestSupport.h"

#include "browser/StartPage.h"
#include "platform/Strings.h"
#include "settings/SettingsText.h"

#include <fstream>
#include <sstream>

using namespace browser;
using browser_test::BrowserFixture;
using browser_test::Drain;
using browser_test::ReadFile;

namespace {

class Web010SettingsTest : public BrowserFixture {
protected:
    // Writes a settings file through the settings engine itself.
    void Store(const std::function<void(platform::TStrings*)>& fill) {
        platform::TStringList list;
        fill(&list);
        list.SaveToFile(IniFile());
    }
    // The key names of the window's section, in file order.
    std::vector<std::string> KeysOfSection() {
        std::vector<std::string> keys;
        std::istringstream in(ReadFile(IniFile()));
        std::string line;
        bool inSection = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty() && line[0] == '[') {
                inSection = line == "[Web010]";
                continue;
            }
            size_t eq = line.find('=');
            if (inSection && eq != std::string::npos) keys.push_back(line.substr(0, eq));
        }
        return keys;
    }
    platform::TVariant Stored(const std::string& key) {
        platform::TStringList list;
        list.LoadFromFile(IniFile());
        platform::TVariant v = settings::ReadValue(&list, "Web010", key, platform::TVariant("<none>"));
        if (v.AsString() == "<none>") return platform::TVariant();
        std::string text = v.AsString();
        int32_t number;
        if (platform::TryStrToInt(text, number)) return platform::TVariant(number);
        return v;
    }
};

TEST_F(Web010SettingsTest, FirstRunWithoutAFileUsesDefaultsAndWritesTheSection) {
    Open();
    EXPECT_TRUE(window_->tbTool().get_visible());
    EXPECT_TRUE(window_->sbLow().get_visible());
    EXPECT_TRUE(window_->ActionChecked(tagToolbar));
    EXPECT_TRUE(window_->ActionChecked(tagStatusbar));
    EXPECT_EQ(web_->CountOf("Navigate"), 1);
    EXPECT_EQ(window_->UrlItems(), std::vector<std::string>{kStartPageUrl});
    Close();
    EXPECT_EQ(KeysOfSection(), (std::vector<std::string>{"Left", "Top", "Right", "Bottom", "MinX", "MinY", "MaxX",
                                                         "MaxY", "Show", "ShowStatusBar", "ShowToolBar", "Home",
                                                         "cbURL", "cbURL#0"}));
    EXPECT_EQ(Stored("ShowStatusBar").AsInteger(), 1);
    EXPECT_EQ(Stored("ShowToolBar").AsInteger(), 1);
    EXPECT_EQ(Stored("Home").AsString(), kStartPageUrl);
    EXPECT_EQ(Stored("cbURL#0").AsString(), kStartPageUrl);
    EXPECT_EQ(Stored("Show").AsInteger(), 0);
    for (const auto& box : boxes_->Boxes()) ADD_FAILURE() << box.text;
}

TEST_F(Web010SettingsTest, StoredFalseTogglesHideOnlyTheirBars) {
    Store([](platform::TStrings* ini) {
        settings::WriteValue(ini, "Web010", "ShowToolBar", platform::TVariant(false));
        settings::WriteValue(ini, "Web010", "ShowStatusBar", platform::TVariant(false));
    });
    Open();
    Drain();
    EXPECT_FALSE(window_->tbTool().get_visible());
    EXPECT_FALSE(window_->sbLow().get_visible());
    EXPECT_FALSE(window_->ActionChecked(tagToolbar));
    EXPECT_FALSE(window_->ActionChecked(tagStatusbar));
    EXPECT_TRUE(window_->ToolBar1().get_visible());
    EXPECT_TRUE(window_->cbURL().get_visible());
    EXPECT_TRUE(window_->spGO().get_visible());
    Close();
    EXPECT_EQ(Stored("ShowToolBar").AsInteger(), 0);
    EXPECT_EQ(Stored("ShowStatusBar").AsInteger(), 0);
}

TEST_F(Web010SettingsTest, StoredHomeTextAndLongListAreRestoredAndWrittenBack) {
    Store([](platform::TStrings* ini) {
        settings::WriteValue(ini, "Web010", "Home", platform::TVariant("http://home/"));
        settings::WriteValue(ini, "Web010", "cbURL", platform::TVariant("http://stored-text/"));
        platform::TStringList urls;
        for (int i = 0; i < 60; ++i) urls.Add("http://u" + std::to_string(i) + "/");
        settings::WriteList(ini, "Web010", "cbURL", urls);
    });
    Open(false);
    // The stored text shows only until the start-up message replaces it.
    EXPECT_EQ(window_->cbURL().Text(), "http://stored-text/");
    EXPECT_EQ(window_->UrlItems().size(), 60u);
    ASSERT_TRUE(browser_test::WaitFor([this] { return window_->StartedHome(); }));
    EXPECT_EQ(window_->cbURL().Text(), "http://home/");
    EXPECT_EQ(web_->calls.at(0).url, "http://home/");
    // The home page was new to the list: the list was cut to 50 first.
    ASSERT_EQ(window_->UrlItems().size(), 51u);
    EXPECT_EQ(window_->UrlItems()[50], "http://u49/");
    Close();
    EXPECT_EQ(Stored("cbURL#0").AsString(), "http://home/");
    EXPECT_EQ(Stored("cbURL#50").AsString(), "http://u49/");
    EXPECT_TRUE(Stored("cbURL#51").IsEmpty());  // the longer old list is gone
    EXPECT_EQ(Stored("Home").AsString(), "http://home/");
}

TEST_F(Web010SettingsTest, ALongListSurvivesWhenTheHomePageIsInIt) {
    Store([](platform::TStrings* ini) {
        platform::TStringList urls;
        for (int i = 0; i < 60; ++i) urls.Add(i == 7 ? std::string("QEL:START") : "http://u" + std::to_string(i) + "/");
        settings::WriteList(ini, "Web010", "cbURL", urls);
    });
    Open();
    ASSERT_EQ(window_->UrlItems().size(), 60u);
    EXPECT_EQ(window_->UrlItems()[0], "QEL:START");
    Close();
    EXPECT_EQ(Stored("cbURL#59").AsString(), "http://u59/");
}

TEST_F(Web010SettingsTest, SetHomePageReachesTheFileOnlyAtDestruction) {
    Open();
    window_->cbURL().SetText(" http://mine/ ");
    window_->SbAct(tagSetHome);
    EXPECT_FALSE(std::filesystem::exists(IniFile()));  // nothing written while open
    Close();
    EXPECT_EQ(Stored("Home").AsString(), "http://mine/");
}

TEST_F(Web010SettingsTest, AMalformedValueFallsBackAloneAndTheRestIsRestoredAndKept) {
    Store([](platform::TStrings* ini) {
        settings::WriteValue(ini, "Web010", "Left", platform::TVariant("abc"));
        settings::WriteValue(ini, "Web010", "Home", platform::TVariant("http://home/"));
        platform::TStringList urls;
        for (int i = 0; i < 3; ++i) urls.Add("http://u" + std::to_string(i) + "/");
        settings::WriteList(ini, "Web010", "cbURL", urls);
        // Past a gap in the numbering: never read, so never removed.
        settings::WriteValue(ini, "Web010", "cbURL#5", platform::TVariant("http://after-gap/"));
    });
    Open();
    ASSERT_EQ(boxes_->Boxes().size(), 1u);
    const std::string& text = boxes_->Boxes()[0].text;
    for (const char* part : {"QelBrowser.Ini", "[Web010]", "Left", "abc"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " missing from: " << text;
    EXPECT_EQ(window_->FHome(), "http://home/");
    EXPECT_TRUE(window_->StartedHome());
    Close();
    EXPECT_EQ(Stored("cbURL#1").AsString(), "http://u0/");  // the home page went to the top
    EXPECT_EQ(Stored("cbURL#3").AsString(), "http://u2/");
    EXPECT_EQ(Stored("cbURL#5").AsString(), "http://after-gap/");
    EXPECT_EQ(Stored("Home").AsString(), "http://home/");
    EXPECT_NE(Stored("Left").AsString(), "abc");  // the default went back in its place
}

TEST_F(Web010SettingsTest, AFileCutShortByAZeroByteIsLeftUntouchedAtExit) {
    std::string wide("[\0W\0e\0b\0]\0\r\0\n\0H\0o\0m\0e\0=\0x\0", 26);
    std::ofstream(IniFile(), std::ios::binary) << wide;
    Open();
    Close();
    EXPECT_EQ(ReadFile(IniFile()), wide);
}

TEST_F(Web010SettingsTest, AnUnwritableSettingsFileIsIgnoredAtExit) {
    Open();
    std::filesystem::create_directory(IniFile());  // a folder where the file should go
    Close();
    EXPECT_TRUE(boxes_->Boxes().empty());
    EXPECT_TRUE(std::filesystem::is_directory(IniFile()));
}

} // namespace

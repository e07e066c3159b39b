// The window's save at exit shares the settings file with other writers:
// a second window of the program and qelini.
#include "BrowserTestSupport.h"

#include "browser/StartPage.h"
#include "platform/Strings.h"
#include "settings/SettingsText.h"

#include <cstdlib>
#include <filesystem>

using namespace browser;
using browser_test::BrowserFixture;
using browser_test::WaitFor;

namespace {

class Web010ExitSave : public BrowserFixture {
protected:
    std::vector<std::string> StoredList() {
        platform::TStringList ini, urls;
        ini.LoadFromFile(IniFile());
        settings::ReadList(&ini, "Web010", "cbURL", urls);
        std::vector<std::string> out;
        for (int i = 0; i < urls.Count(); ++i) out.push_back(urls[i]);
        return out;
    }
    std::string Stored(const std::string& section, const std::string& key) {
        platform::TStringList ini;
        ini.LoadFromFile(IniFile());
        return settings::ReadValue(&ini, section, key, platform::TVariant("")).AsString();
    }
    void Visit(TWeb010& window, const std::string& url) {
        window.cbURL().SetText(url);
        window.GoURL();
        browser_test::Drain();
    }
    std::string Quoted(const std::string& s) { return "'" + s + "'"; }
};

} // namespace

TEST_F(Web010ExitSave, TwoWindowsExitingInTurnKeepWhatEachAdded) {
    {
        platform::TStringList ini, urls;
        urls.Add("http://a/");
        urls.Add("http://b/");
        settings::WriteList(&ini, "Web010", "cbURL", urls);
        ini.SaveToFile(IniFile());
    }
    TWeb010& first = Open();
    auto control = std::make_unique<ScriptedWebControl>();
    control->raiseBeforeNavigate = true;
    auto second = std::make_unique<TWeb010>(std::move(control));
    ASSERT_TRUE(WaitFor([&] { return second->StartedHome(); }));
    Visit(first, "http://one/");
    Visit(*second, "http://two/");
    Close();  // the first window's save
    EXPECT_EQ(StoredList().front(), "http://one/");
    second.reset();
    auto list = StoredList();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front(), "http://two/");
    EXPECT_NE(std::find(list.begin(), list.end(), "http://one/"), list.end()) << "the first window's URL was lost";
    EXPECT_EQ(std::count(list.begin(), list.end(), "http://a/"), 1);
}

TEST_F(Web010ExitSave, AChangeMadeWhileTheFileIsLockedIsNotSavedOver) {
    Open();
    // Another writer holds the lock and changes the file meanwhile.
    std::string file = IniFile(), started = dir_ + "started";
    // Its descriptor is open before the save starts: it writes the file as
    // it was, which a save that does not wait would replace.
    std::string holder = "flock " + Quoted(file) + " sh -c \"exec 3>>" + Quoted(file) + "; touch " + Quoted(started) +
                         "; sleep 0.5; printf '[Other]\\r\\nx=1\\r\\n' >&3\" &";
    ASSERT_EQ(std::system(holder.c_str()), 0);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(started); }));
    Close();
    EXPECT_EQ(Stored("Other", "x"), "1");
    EXPECT_FALSE(StoredList().empty());
}

TEST_F(Web010ExitSave, QeliniSetsDuringTheExitOfALongListAllSurvive) {
    {
        platform::TStringList ini, urls;
        // The home page is in it: the start moves it to the top and the
        // list keeps its length.
        urls.Add(kStartPageUrl);
        for (int i = 1; i < 4000; ++i) urls.Add("http://site" + std::to_string(i) + ".test/");
        settings::WriteList(&ini, "Web010", "cbURL", urls);
        ini.SaveToFile(IniFile());
    }
    Open();
    std::string done = dir_ + "done";
    std::string loop = "(for i in $(seq 1 80); do " + Quoted(QELINI_PATH) + " set " + Quoted(IniFile()) +
                       " Loop k$i $i || echo fail >> " + Quoted(done) + "; done; echo end >> " + Quoted(done) + ") &";
    ASSERT_EQ(std::system(loop.c_str()), 0);
    ASSERT_TRUE(WaitFor([&] { return Stored("Loop", "k3") == "3"; }));
    Close();
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(done); }, 30000));
    EXPECT_EQ(browser_test::ReadFile(done), "end\n");
    for (int i = 1; i <= 80; ++i) EXPECT_EQ(Stored("Loop", "k" + std::to_string(i)), std::to_string(i)) << i;
    EXPECT_EQ(StoredList().size(), 4000u);
}

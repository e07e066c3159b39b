#include "settings/SettingsStore.h"

#include "TestSupport.h"
#include "settings/Environment.h"
#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace settings;
using settings_test::ReadFile;
using settings_test::TempDir;
using settings_test::WriteFile;

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { Env().IniFile = dir / "Prog.Ini"; }
    void TearDown() override { DoneEnvironment(); }
    TempDir dir;
};

// Lets writes beyond a few bytes fail with EFBIG, as a full disk would,
// for as long as it lives; it works for root too, unlike permissions.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace

TEST_F(SettingsStore, ReloadReadsTheFileAndDropsUnsavedChanges) {
    WriteFile(Env().IniFile, "[Web010]\r\nHome=a\rLeft=3\nlast");
    ReloadSettings();
    ASSERT_NE(IniList(), nullptr);
    platform::TStringList* list = IniList();
    EXPECT_EQ(list->Count(), 4);
    EXPECT_EQ((*list)[3], "last");
    WriteValue(list, "Web010", "Home", platform::TVariant("changed"));
    ReloadSettings();
    EXPECT_EQ(IniList(), list);  // the same list, refilled
    EXPECT_EQ(ReadValue(list, "Web010", "Home", platform::TVariant("")), platform::TVariant("a"));
}

TEST_F(SettingsStore, MissingOrEmptyFileGivesAnEmptyList) {
    ReloadSettings();
    EXPECT_EQ(IniList()->Count(), 0);
    IniList()->Add("x=1");
    WriteFile(Env().IniFile, "");
    ReloadSettings();
    EXPECT_EQ(IniList()->Count(), 0);
}

TEST_F(SettingsStore, FlushWritesEveryLineWithCrLf) {
    ReloadSettings();
    WriteValue(IniList(), "Web010", "Left", platform::TVariant(7));
    FlushSettings();
    EXPECT_EQ(ReadFile(Env().IniFile), "[Web010]\r\nLeft=7\r\n");
    IniList()->Clear();
    FlushSettings();
    EXPECT_EQ(ReadFile(Env().IniFile), "");
}

TEST_F(SettingsStore, FlushCreatesAMissingConfigurationFolder) {
    Env().IniFile = dir / "config/sub/Prog.Ini";
    ReloadSettings();
    IniList()->Add("a=1");
    FlushSettings();
    EXPECT_EQ(ReadFile(Env().IniFile), "a=1\r\n");
}

TEST_F(SettingsStore, FailedFlushIsSilentAndKeepsTheOldFile) {
    const std::string old = "[Web010]\r\nLeft=1\r\n";
    WriteFile(Env().IniFile, old);
    ReloadSettings();
    for (int i = 0; i < 200; ++i) WriteValue(IniList(), "Web010", "Key" + std::to_string(i), platform::TVariant(i));
    int count = IniList()->Count();
    {
        FileSizeLimit limit(64);
        EXPECT_NO_THROW(FlushSettings());
    }
    EXPECT_EQ(ReadFile(Env().IniFile), old);
    EXPECT_EQ(IniList()->Count(), count);

    // A path that cannot exist at all is swallowed as well.
    Env().IniFile = dir / "Prog.Ini/inside.Ini";
    EXPECT_NO_THROW(FlushSettings());
    EXPECT_EQ(ReadFile(dir / "Prog.Ini"), old);
}

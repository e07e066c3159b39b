#include "settings/SysServices.h"

#include "TestSupport.h"
#include "platform/MessageBox.h"
#include "platform/System.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace settings;
using platform::TVariant;
using settings_test::EnvVar;
using settings_test::TempDir;
using settings_test::WriteFile;

namespace {

class SysServices : public ::testing::Test {
protected:
    std::shared_ptr<platform::ScriptedMessageBox> boxes = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope{boxes};
    TempDir dir;
};

} // namespace

TEST_F(SysServices, MessageBoxIsTaskModalAndAnswersTheButton) {
    boxes->Answer(platform::IDNO);
    EXPECT_EQ(MsgBox(TVariant("Question?"), TVariant("Title"), 35), platform::IDNO);
    EXPECT_EQ(MsgBox(TVariant(12)), platform::IDOK);
    ASSERT_EQ(boxes->Boxes().size(), 2u);
    EXPECT_EQ(boxes->Boxes()[0].flags, 35u | platform::MB_TASKMODAL);
    EXPECT_EQ(boxes->Boxes()[0].caption, "Title");
    EXPECT_EQ(boxes->Boxes()[1].text, "12");
    EXPECT_EQ(boxes->Boxes()[1].caption, "");
    EXPECT_EQ(boxes->Boxes()[1].flags, platform::MB_TASKMODAL);
}

TEST_F(SysServices, SystemErrorShowsTheTextAndTheCode) {
    std::string text;
    std::string expected = platform::SystemErrorText(2, text) ? text : "Unknown error";
    ShowSystemError(2);
    errno = 13;
    ShowSystemError(-1);
    ASSERT_EQ(boxes->Boxes().size(), 2u);
    EXPECT_EQ(boxes->Boxes()[0].text, expected + " - 2");
    EXPECT_EQ(boxes->Boxes()[0].caption, "System error");
    EXPECT_EQ(boxes->Boxes()[0].flags, platform::MB_TASKMODAL);
    EXPECT_EQ(boxes->Boxes()[1].text.substr(boxes->Boxes()[1].text.size() - 5), " - 13");
}

TEST_F(SysServices, WindowsDirectoryEndsWithOneSeparator) {
    {
        EnvVar xdg("XDG_CONFIG_HOME", dir.path);
        EXPECT_EQ(GetWindowsDir(), dir.path);
    }
    {
        EnvVar xdg("XDG_CONFIG_HOME", std::nullopt);
        EnvVar home("HOME", "/home/someone");
        EXPECT_EQ(GetWindowsDir(), "/home/someone/.config/");
    }
}

TEST_F(SysServices, FileFoundWantsAFileAndWithModeOneContent) {
    WriteFile(dir / "empty.Ini", "");
    WriteFile(dir / "full.Ini", "x");
    ::mkdir((dir / "sub").c_str(), 0755);
    EXPECT_TRUE(FileFound(TVariant(dir / "empty.Ini"), 0));
    EXPECT_FALSE(FileFound(TVariant(dir / "empty.Ini"), 1));
    EXPECT_TRUE(FileFound(TVariant(dir / "full.Ini"), 1));
    EXPECT_FALSE(FileFound(TVariant(dir / "sub"), 0));
    EXPECT_FALSE(FileFound(TVariant(dir / "missing"), 0));
    EXPECT_FALSE(FileFound(TVariant(""), 0));
    EXPECT_FALSE(FileFound(TVariant(5), 0));
    EXPECT_TRUE(FileFound(TVariant(dir / "f*.Ini"), 1));
}

TEST_F(SysServices, FindEntryRetriesWithoutATrailingSeparator) {
    WriteFile(dir / "file", "abc");
    ::mkdir((dir / "sub").c_str(), 0755);
    platform::FindData fd;
    EXPECT_TRUE(FindEntry(TVariant(dir / "sub/"), fd));
    EXPECT_TRUE(fd.Attributes & platform::faDirectory);
    EXPECT_EQ(fd.FileName, "sub");
    EXPECT_FALSE(FindEntry(TVariant(dir / "sub"), fd, 1));
    EXPECT_TRUE(FindEntry(TVariant(dir / "sub"), fd, 2));
    // Names are used as given: blanks at the ends belong to the name.
    EXPECT_FALSE(FindEntry(TVariant(dir / " file "), fd, 1));
    WriteFile(dir / " file ", "abcd");
    EXPECT_TRUE(FindEntry(TVariant(dir / " file "), fd, 1));
    EXPECT_EQ(fd.Size(), 4);
    EXPECT_TRUE(FindEntry(TVariant(dir / "file"), fd, 1));
    EXPECT_EQ(fd.Size(), 3);
    EXPECT_FALSE(FindEntry(TVariant(dir / "file"), fd, 2));
    EXPECT_FALSE(FindEntry(TVariant(dir / "missing/"), fd));
    EXPECT_FALSE(FindEntry(TVariant(dir / "missing"), fd));
    EXPECT_TRUE(FindEntry(TVariant("/"), fd));
    EXPECT_FALSE(FindEntry(TVariant(" "), fd));
    EXPECT_FALSE(FindEntry(TVariant(1), fd));
}

TEST_F(SysServices, MemoryBudgetIsAShareOfAvailableMemoryIn64Bits) {
    auto near = [](int64_t a, int64_t b) { return std::llabs(a - b) <= std::max<int64_t>(a, b) / 10; };
    int64_t avail = static_cast<int64_t>(platform::GlobalMemoryStatus().AvailPhys);
    EXPECT_TRUE(near(MemoryBudget(100), avail));
    EXPECT_TRUE(near(MemoryBudget(200), MemoryBudget(100)));
    EXPECT_TRUE(near(MemoryBudget(0), MemoryBudget(10)));
    EXPECT_TRUE(near(MemoryBudget(50) * 2, avail));
    EXPECT_GT(MemoryBudget(1), 0);
}

TEST_F(SysServices, PagesAreFilledMeasuredAndFreed) {
    EXPECT_EQ(AllocPages(7, 0), nullptr);
    EXPECT_EQ(AllocPages(7, -5), nullptr);
    EXPECT_TRUE(boxes->Boxes().empty());

    const int64_t page = ::sysconf(_SC_PAGESIZE);
    auto* p = static_cast<uint8_t*>(AllocPages(0x1AB, 3 * page + 1));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0xAB);
    EXPECT_EQ(p[3 * page], 0xAB);
    EXPECT_EQ(PagesSize(p), 4 * page);
    EXPECT_EQ(PagesSize(p + page + 5), 3 * page);
    EXPECT_EQ(PagesSize(nullptr), 0);

    auto* zero = static_cast<uint8_t*>(AllocPages(0, 10));
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero[9], 0);

    void* held = p;
    EXPECT_TRUE(FreePages(held, -1));
    EXPECT_EQ(held, nullptr);
    EXPECT_EQ(PagesSize(p), 0);
    EXPECT_TRUE(FreePages(held, 10));

    void* z = zero;
    EXPECT_TRUE(FreePages(z, 1 << 30));
    EXPECT_EQ(z, nullptr);

    int local = 0;
    void* notOurs = &local;
    EXPECT_FALSE(FreePages(notOurs, 4));
    EXPECT_EQ(notOurs, nullptr);
}

TEST_F(SysServices, FailedAllocationReportsTheSystemError) {
    EXPECT_EQ(AllocPages(0, int64_t(1) << 62), nullptr);
    ASSERT_EQ(boxes->Boxes().size(), 1u);
    EXPECT_EQ(boxes->Boxes()[0].caption, "System error");
    // More than memory and swap can hold now is refused at once, not handed
    // out to end in an out-of-memory kill when it is touched.
    int64_t beyond = static_cast<int64_t>(platform::CommittableMemory()) + (int64_t(1) << 30);
    EXPECT_EQ(AllocPages(0, beyond), nullptr);
    EXPECT_EQ(boxes->Boxes().size(), 2u);
}

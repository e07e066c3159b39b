#include "platform/FileSystem.h"
#include "platform/Sync.h"
#include "platform/System.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

TEST(FileQueries, FindFirstFileWithWildcardsAndFolders) {
    qeltest::TempFolder folder("qel-find", qeltest::TempFolder::Place::Tmp);
    fs::path dir = fs::path(folder.Path()).parent_path();
    std::ofstream(dir / "a.txt") << "12345";
    FindData fd;
    ASSERT_TRUE(FindFirstFile((dir / "*.txt").string(), fd));
    EXPECT_EQ(fd.FileName, "a.txt");
    EXPECT_EQ(fd.Size(), 5);
    EXPECT_EQ(fd.Attributes & faDirectory, 0u);
    ASSERT_TRUE(FindFirstFile(dir.string(), fd));
    EXPECT_NE(fd.Attributes & faDirectory, 0u);
    EXPECT_FALSE(FindFirstFile(dir.string() + "/", fd));
    EXPECT_FALSE(FindFirstFile((dir / "*.bmp").string(), fd));

    // A name that exists is found as it stands, whatever it holds; a
    // pattern serves only when nothing has the name, and "[" is no pattern.
    for (const char* name : {"list[1].txt", " blank ", "a*b", "q?"}) std::ofstream(dir / name) << name;
    for (const char* name : {"list[1].txt", " blank ", "a*b", "q?"}) {
        ASSERT_TRUE(FindFirstFile((dir / name).string(), fd)) << name;
        EXPECT_EQ(fd.FileName, name);
    }
    std::ofstream(dir / "list1.txt") << "x";
    ASSERT_TRUE(FindFirstFile((dir / "list[1].txt").string(), fd));
    EXPECT_EQ(fd.FileName, "list[1].txt");
    EXPECT_FALSE(FindFirstFile((dir / "list[0-9].txt").string(), fd));
    EXPECT_FALSE(FindFirstFile((dir / "blank").string(), fd));
    ASSERT_TRUE(FindFirstFile((dir / "list?1?.txt").string(), fd));
    EXPECT_EQ(fd.FileName, "list[1].txt");
}

TEST(FileQueries, FoldersOfTheEnvironment) {
    std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(WindowsDirectory(), "/tmp/cfg/");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(WindowsDirectory(), "/home/u/.config/");
    // Never relative, never a doubled "/": a relative XDG folder is ignored,
    // and without a usable $HOME the account's home comes from the system.
    ::setenv("XDG_CONFIG_HOME", "cfg", 1);
    EXPECT_EQ(WindowsDirectory(), "/home/u/.config/");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/", 1);
    EXPECT_EQ(WindowsDirectory(), "/.config/");
    ::setenv("HOME", "relative", 1);
    std::string fromAccount = WindowsDirectory();
    EXPECT_EQ(fromAccount.front(), '/');
    EXPECT_EQ(fromAccount.find("//"), std::string::npos);
    EXPECT_EQ(fromAccount.substr(fromAccount.size() - 9), "/.config/");
    if (!saved.empty()) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    EXPECT_EQ(SystemDirectory(), "/etc/");
    EXPECT_EQ(TempDirectory().back(), '/');
    EXPECT_EQ(ExtractFilePath("/a/b.c"), "/a/");
    EXPECT_EQ(ExtractFileName("/a/b.c"), "b.c");
    EXPECT_EQ(GetDriveType("/nonexistent-place"), DRIVE_NO_ROOT_DIR);
    if (::geteuid() != 0) {
        EXPECT_EQ(GetDriveType("/"), DRIVE_CDROM);  // not writable for a user
    }
    EXPECT_EQ(GetDriveType("/tmp"), DRIVE_FIXED);
}

TEST(FileQueries, SearchPathFindsFilesAlongPath) {
    qeltest::TempFolder folder("qel-path", qeltest::TempFolder::Place::Tmp);
    fs::path dir = fs::path(folder.Path()).parent_path();
    std::ofstream(dir / "Found.Ini") << "";
    std::string saved = std::getenv("PATH");
    ::setenv("PATH", (dir.string() + ":/usr/bin").c_str(), 1);
    EXPECT_EQ(SearchPath("Found.Ini"), (dir / "Found.Ini").string());
    EXPECT_EQ(SearchPath("Missing-qel.Ini"), "");
    ::setenv("PATH", saved.c_str(), 1);
}

TEST(Pages, RegionSizesAndPartialFrees) {
    long ps = ::sysconf(_SC_PAGESIZE);
    auto* p = static_cast<uint8_t*>(VirtualAlloc(3 * ps));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[3 * ps - 1], 0);
    EXPECT_EQ(VirtualQuery(p), uint64_t(3 * ps));
    EXPECT_EQ(VirtualQuery(p + ps + 10), uint64_t(2 * ps));
    EXPECT_EQ(VirtualQuery(p + 3 * ps), 0u);
    EXPECT_FALSE(VirtualFree(p + 1, 0));
    EXPECT_TRUE(VirtualFree(p, 0));
    EXPECT_EQ(VirtualQuery(p), 0u);
}

TEST(SystemInfo, VersionMemoryAndNames) {
    OSVersionInfo v = GetVersionEx();
    EXPECT_EQ(v.PlatformId, 2);
    EXPECT_GT(v.Major, 0);
    MemoryStatus ms = GlobalMemoryStatus();
    EXPECT_GT(ms.TotalPhys, uint64_t(1) << 26);
    EXPECT_LE(ms.AvailPhys, ms.TotalPhys);
    std::string name;
    EXPECT_FALSE(GetUserName(1, name));
    EXPECT_TRUE(GetUserName(4096, name));
    EXPECT_EQ(name, ProcessUserName());
    EXPECT_EQ(CompareString(NORM_IGNORECASE, "abc", "ABC"), 2);
    EXPECT_EQ(CompareString(0, "abc", "abd"), 1);
    EXPECT_EQ(CompareString(NORM_IGNORESYMBOLS, "a-b", "ab"), 2);
}

TEST(Synchronize, CallsFromOtherThreadsRunOnTheMainThread) {
    SetMainThread();
    std::atomic<bool> ranOnMain{false};
    std::thread worker([&] { Synchronize([&] { ranOnMain = IsMainThread(); }); });
    while (!ranOnMain) CheckSynchronize();
    worker.join();
    EXPECT_TRUE(ranOnMain);

    std::thread failing([] {
        EXPECT_THROW(Synchronize([] { throw std::runtime_error("boom"); }), std::runtime_error);
    });
    bool ran = false;
    while (!ran) ran = CheckSynchronize();
    failing.join();
}

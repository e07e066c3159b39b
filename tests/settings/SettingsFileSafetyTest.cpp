// Settings files are never lost: a save killed or starved at any step, a
// full disk, special files, files cut short by a zero byte, other users'
// files, and several writers at once. The tool runs as a program; the fault
// injector is loaded into it.
#include "TestSupport.h"
#include "common/Spawn.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using settings_test::ReadFile;
using settings_test::TempDir;
using settings_test::WriteFile;

namespace {

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Result {
    int status = -1;
    std::string out;
};

// Runs a shell command line; stdout is captured, stderr dropped.
Result Shell(const std::string& cmd) {
    qeltest::ShellResult r = qeltest::Shell(cmd + " 2>/dev/null");
    return {r.status, r.out};
}

std::string Qelini(const std::vector<std::string>& args) {
    std::string cmd = "LC_ALL=C " + Quoted(QELINI_PATH);
    for (const auto& a : args) cmd += " " + Quoted(a);
    return cmd;
}

// The same command as an unprivileged user when the tests run as root.
std::string AsUser(const std::string& cmd) {
    if (::geteuid() != 0) return cmd;
    return "setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c " + Quoted(cmd);
}

class SettingsFileSafety : public ::testing::Test {
protected:
    void SetUp() override { ::chmod(dir.path.c_str(), 0777); }
    TempDir dir;
    std::string file = dir / "QelBrowser.Ini";
};

} // namespace

TEST_F(SettingsFileSafety, ASaveKilledOrStarvedAtAnyStepLeavesTheOldFileOrTheNew) {
#ifndef QEL_FAULT_SHIM
    GTEST_SKIP() << "the fault injector is not part of this build";
#else
    std::string old;
    for (int i = 0; i < 400; ++i) old += "Key" + std::to_string(i) + "=" + std::string(i % 37, 'v') + "\r\n";
    old = "[Web010]\r\n" + old;
    WriteFile(file, old);
    std::string log = dir / "count";
    auto set = Qelini({"set", file, "Web010", "Home", "http://example.test/new"});
    ASSERT_EQ(Shell("QEL_FAULT=count QEL_FAULT_LOG=" + log + " LD_PRELOAD=" QEL_FAULT_SHIM " " + set).status, 0);
    const std::string fresh = ReadFile(file);
    ASSERT_NE(fresh, old);
    int steps = std::stoi(ReadFile(log));
    ASSERT_GT(steps, 1);
    int tried = 0;
    for (const char* fault : {"kill", "enospc"}) {
        for (int k = 1; k <= steps; ++k, ++tried) {
            for (const auto& e : std::filesystem::directory_iterator(dir.path))
                if (e.path() != file && e.path() != log) std::filesystem::remove(e.path());
            WriteFile(file, old);
            Result r = Shell("QEL_FAULT=" + std::string(fault) + ":" + std::to_string(k) + " LD_PRELOAD=" QEL_FAULT_SHIM
                             " " + set);
            std::string now = ReadFile(file);
            EXPECT_TRUE(now == old || now == fresh) << fault << " at step " << k << " of " << steps;
            if (r.status == 0) {
                EXPECT_EQ(now, fresh) << fault << " at step " << k << " reported success";
            }
            // Nothing is left behind beside the file.
            int entries = 0;
            for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path)) ++entries;
            EXPECT_LE(entries, std::string(fault) == "kill" ? 3 : 2) << fault << " at step " << k;
        }
    }

    // Where the user may write the file but not its folder, the save writes
    // in place after a backup: a write failing at any step puts the old
    // bytes back.
    log = dir / "log/count";
    std::string user = AsUser("TMPDIR=" + dir.path + "tmp/ QEL_FAULT_LOG=" + log + " LD_PRELOAD=" QEL_FAULT_SHIM " " + set);
    for (const char* sub : {"tmp", "log"}) {
        std::filesystem::create_directory(dir / sub);
        ::chmod((dir / sub).c_str(), 0777);
    }
    ::chmod(file.c_str(), 0666);
    WriteFile(file, old);
    ::chmod(dir.path.c_str(), 0555);
    ASSERT_EQ(Shell("QEL_FAULT=count " + user).status, 0);
    ASSERT_EQ(ReadFile(file), fresh);
    steps = std::stoi(ReadFile(log));
    ASSERT_GT(steps, 3);
    for (int k = 1; k <= steps; ++k, ++tried) {
        WriteFile(file, old);
        Shell("QEL_FAULT=enospc:" + std::to_string(k) + " " + user);
        std::string now = ReadFile(file);
        EXPECT_TRUE(now == old || now == fresh) << "in place, enospc at step " << k << " of " << steps;
        EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp")) << "a backup was left at step " << k;
    }
    ::chmod(dir.path.c_str(), 0777);
    RecordProperty("FaultPoints", tried);
#endif
}

TEST_F(SettingsFileSafety, AFullDiskFailsTheSaveAndKeepsTheFile) {
    // A small file system of its own, in a mount namespace of the test's.
    if (Shell("unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs /mnt'").status != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here (needs root or a user namespace)";
    std::string script =
        "set -e; mount -t tmpfs -o size=64k tmpfs " + Quoted(dir.path) +
        "; printf '[S]\\r\\nk=old\\r\\n' > " + Quoted(file) +
        "; head -c 40000 /dev/zero > " + Quoted(dir / "filler") +
        "; cp " + Quoted(file) + " " + Quoted(dir / "before") +
        "; if " + Qelini({"set", file, "S", "k", std::string(30000, 'x')}) +
        "; then echo saved; else echo refused; fi; cmp -s " + Quoted(file) + " " + Quoted(dir / "before") +
        " && echo unchanged; ls -a " + Quoted(dir.path) + " | wc -l";
    Result r = Shell("unshare -m sh -c " + Quoted(script));
    EXPECT_EQ(r.out, "refused\nunchanged\n5\n");  // ., .., the file, filler, before
}

TEST_F(SettingsFileSafety, SpecialAndCutFilesAreNeverWrittenOver) {
    // A FIFO neither hangs the tool nor gets replaced.
    std::string fifo = dir / "fifo.Ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(Shell("timeout 10 env " + Qelini({"get", fifo, "S", "k"})).status, 1);
    EXPECT_EQ(Shell("timeout 10 env " + Qelini({"set", fifo, "S", "k", "v"})).status, 1);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(Shell(Qelini({"set", "/dev/null", "S", "k", "v"})).status, 1);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

    // A UTF-16 file holds a zero byte after its first character: it reads up
    // to there, and a save that would drop the rest is refused.
    std::string wide("[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0", 20);
    WriteFile(file, wide);
    EXPECT_EQ(Shell(Qelini({"set", file, "S", "k", "new"})).status, 1);
    EXPECT_EQ(ReadFile(file), wide);
    EXPECT_EQ(Shell(Qelini({"set-list", file, "S", "u", "a"})).status, 1);
    EXPECT_EQ(ReadFile(file), wide);
    std::string cut = "[S]\r\nk=1\r\n\0tail kept\r\n";
    cut.insert(10, 1, '\0');
    WriteFile(file, cut);
    EXPECT_EQ(Shell(Qelini({"get", file, "S", "k"})).out, "1\n");
    EXPECT_EQ(Shell(Qelini({"set", file, "S", "k", "2"})).status, 1);
    EXPECT_EQ(ReadFile(file), cut);

    // "-" is standard input and output.
    EXPECT_EQ(Shell("printf '[S]\\nk=7\\n' | " + Qelini({"get", "-", "S", "k"})).out, "7\n");
    EXPECT_EQ(Shell("printf '[S]\\nk=7\\n' | " + Qelini({"set", "-", "S", "k", "8"})).out, "[S]\r\nk=8\r\n");
}

TEST_F(SettingsFileSafety, UsersKeepTheirFilesAndCannotWriteOthers) {
    if (::geteuid() == 0 && Shell("setpriv --reuid=nobody --regid=nogroup --clear-groups true").status != 0)
        GTEST_SKIP() << "setpriv cannot switch to nobody here";
    // The user's file in a folder they cannot write: saved in place.
    std::string mine = dir / "mine.Ini";
    WriteFile(mine, "[S]\r\nk=old\r\n");
    ::chmod(mine.c_str(), 0666);
    std::string readOnly = dir / "ro.Ini";
    WriteFile(readOnly, "[S]\r\nk=old\r\n");
    ::chmod(readOnly.c_str(), 0644);
    if (::geteuid() != 0) ::chmod(readOnly.c_str(), 0444);
    ::chmod(dir.path.c_str(), 0555);
    EXPECT_EQ(Shell(AsUser("TMPDIR=/tmp " + Qelini({"set", mine, "S", "k", "new"}))).status, 0);
    EXPECT_EQ(ReadFile(mine), "[S]\r\nk=new\r\n");
    EXPECT_EQ(Shell(AsUser(Qelini({"set", readOnly, "S", "k", "new"}))).status, 1);
    EXPECT_EQ(ReadFile(readOnly), "[S]\r\nk=old\r\n");
    ::chmod(dir.path.c_str(), 0777);
    // A symlinked dotfile stays a link to its target.
    std::string target = dir / "repo.Ini", link = dir / "link.Ini";
    WriteFile(target, "[S]\r\n");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(Shell(Qelini({"set", link, "S", "k", "v"})).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "[S]\r\nk=v\r\n");
}

TEST_F(SettingsFileSafety, ConcurrentWritersLoseNoUpdate) {
    std::string cmd = "for i in $(seq 1 24); do " + Quoted(QELINI_PATH) + " set " + Quoted(file) +
                      " S key$i $i & " + Quoted(QELINI_PATH) + " set-list " + Quoted(file) +
                      " L list$i a$i b$i & done; wait";
    ASSERT_EQ(Shell(cmd).status, 0);
    for (int i = 1; i <= 24; ++i) {
        EXPECT_EQ(Shell(Qelini({"get", file, "S", "key" + std::to_string(i)})).out, std::to_string(i) + "\n");
        EXPECT_EQ(Shell(Qelini({"get-list", file, "L", "list" + std::to_string(i)})).out,
                  "a" + std::to_string(i) + "\nb" + std::to_string(i) + "\n");
    }
}

namespace {

// The command's exit status, with stdout and stderr together.
Result ShellAll(const std::string& cmd) { return Shell("sh -c " + Quoted("{ " + cmd + "; } 2>&1")); }

bool CanBecomeNobody() {
    return ::geteuid() != 0 || Shell("setpriv --reuid=nobody --regid=nogroup --clear-groups true").status == 0;
}

// Sets key1..keyN of section S through the given names in turn, all at once.
void SetConcurrently(const std::vector<std::string>& names, int count, bool asUser) {
    std::string cmd;
    for (int i = 1; i <= count; ++i)
        cmd += Qelini({"set", names[i % names.size()], "S", "key" + std::to_string(i), std::to_string(i)}) + " & ";
    cmd += "wait";
    ASSERT_EQ(Shell(asUser ? AsUser(cmd) : cmd).status, 0);
}

} // namespace

TEST_F(SettingsFileSafety, WritersTakeTurnsWhateverNameAndFolderTheyReachTheFileBy) {
    if (!CanBecomeNobody()) GTEST_SKIP() << "setpriv cannot switch to nobody here";
    // Hard links in two folders, and a symlink: one file, one lock.
    for (const char* sub : {"one", "two"}) std::filesystem::create_directory(dir / sub);
    std::string a = dir / "one/f.Ini", b = dir / "two/f.Ini", link = dir / "link.Ini";
    WriteFile(a, "[S]\r\n");
    ASSERT_EQ(::link(a.c_str(), b.c_str()), 0);
    ASSERT_EQ(::symlink(a.c_str(), link.c_str()), 0);
    SetConcurrently({a, b, link}, 36, false);
    for (int i = 1; i <= 36; ++i)
        EXPECT_EQ(Shell(Qelini({"get", b, "S", "key" + std::to_string(i)})).out, std::to_string(i) + "\n") << i;
    EXPECT_EQ(ReadFile(a), ReadFile(b));  // still one file

    // A folder the user may write but not list; the file does not exist yet.
    std::string blind = dir / "blind";
    std::filesystem::create_directory(blind);
    ::chmod(blind.c_str(), 0333);
    std::string file = blind + "/f.Ini";
    SetConcurrently({file}, 24, true);
    for (int i = 1; i <= 24; ++i)
        EXPECT_EQ(Shell(Qelini({"get", file, "S", "key" + std::to_string(i)})).out, std::to_string(i) + "\n") << i;
}

TEST_F(SettingsFileSafety, AFullTemporaryFolderIsNamedAndTheFileKept) {
    if (Shell("unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs /mnt'").status != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here (needs root or a user namespace)";
    // A second hard link makes the save write in place, through the
    // temporary folder, which is full.
    std::string tmp = dir / "tmp";
    std::filesystem::create_directory(tmp);
    WriteFile(file, "[S]\r\nk=old\r\n");
    ASSERT_EQ(::link(file.c_str(), (dir / "other.Ini").c_str()), 0);
    std::string script = "mount -t tmpfs -o size=64k tmpfs " + Quoted(tmp) + " && head -c 1000000 /dev/zero > " +
                         Quoted(tmp + "/filler") + "; TMPDIR=" + Quoted(tmp) + " " +
                         Qelini({"set", file, "S", "k", std::string(20000, 'x')});
    Result r = ShellAll("unshare -m sh -c " + Quoted(script));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("temporary folder"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("$TMPDIR"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(file), "[S]\r\nk=old\r\n");
}

TEST_F(SettingsFileSafety, AnInPlaceSaveKilledAtAnyStepLeavesABackupTheNextRunClearsOrNames) {
#ifndef QEL_FAULT_SHIM
    GTEST_SKIP() << "the fault injector is not part of this build";
#else
    std::string tmp = dir / "tmp", log = dir / "count";
    std::filesystem::create_directory(tmp);
    // The new content is the shorter: a kill between its write and the cut
    // leaves the old content's tail behind it.
    std::string old = "[S]\r\nk=old\r\n" + std::string(9000, ';') + "\r\n";
    WriteFile(file, old);
    ASSERT_EQ(::link(file.c_str(), (dir / "other.Ini").c_str()), 0);  // in place
    std::string env = "TMPDIR=" + Quoted(tmp) + " LD_PRELOAD=" QEL_FAULT_SHIM " ";
    auto set = Qelini({"set", file, "S", "k", std::string(3000, 'n')});
    ASSERT_EQ(Shell("QEL_FAULT=count QEL_FAULT_LOG=" + log + " " + env + set).status, 0);
    const std::string fresh = ReadFile(file);
    int steps = std::stoi(ReadFile(log));
    int damaged = 0;
    for (int k = 1; k <= steps; ++k) {
        WriteFile(file, old);
        Shell("QEL_FAULT=kill:" + std::to_string(k) + " " + env + set);
        const std::string left = ReadFile(file);
        std::vector<std::string> backups;
        for (const auto& e : std::filesystem::directory_iterator(tmp)) backups.push_back(e.path().string());
        ASSERT_LE(backups.size(), 1u) << "kill at step " << k;
        if (left != old && left != fresh) {
            // Half written: the old content waits in the backup.
            ASSERT_EQ(backups.size(), 1u) << "kill at step " << k << " left a damaged file and no backup";
            EXPECT_EQ(ReadFile(backups[0]), old);
        }
        // The next save of the file, once the leftover is old enough.
        Shell("find " + Quoted(tmp) + " -type f -exec touch -d '-1 minute' {} +");
        Result next = ShellAll("TMPDIR=" + Quoted(tmp) + " " + Qelini({"set", file, "S", "j", "1"}));
        EXPECT_EQ(next.status, 0);
        if (backups.empty()) continue;
        // The new content with the old one's tail is finished; nothing else
        // is recognised as this program's own damage here.
        EXPECT_FALSE(std::filesystem::exists(backups[0])) << "kill at step " << k << ": " << next.out;
        if (left != old) {
            EXPECT_EQ(Shell(Qelini({"get", file, "S", "k"})).out, std::string(3000, 'n') + "\n") << "kill at step " << k;
        }
        if (left != old && left != fresh) ++damaged;
    }
#endif
}

TEST_F(SettingsFileSafety, EveryFailingCallOfTheSaveLeavesTheOldFileOrTheNew) {
    // Failures injected by strace, independent of the program's own shim,
    // into the calls that make the new file look like the old one as well
    // as those that write and rename it; the folder's default access list
    // gives the new file something to take off.
    if (Shell("strace -o /dev/null true").status != 0) GTEST_SKIP() << "strace cannot trace here";
    Shell("setfacl -d -m u:nobody:rwx " + Quoted(dir.path));
    std::string old = "[Web010]\r\nHome=http://old.test/\r\n" + std::string(2000, ';') + "\r\n";
    auto set = Qelini({"set", file, "Web010", "Home", "http://new.test/"});
    WriteFile(file, old);
    ::chmod(file.c_str(), 0640);
    Shell("setfacl -b " + Quoted(file));
    ASSERT_EQ(Shell(set).status, 0);
    const std::string fresh = ReadFile(file);
    int tried = 0;
    for (const char* call : {"openat", "flock", "fstat", "fchown", "fchmod", "flistxattr", "fremovexattr", "fsetxattr",
                             "write", "fsync", "renameat", "renameat2", "rename", "unlinkat", "close"}) {
        for (int k = 1; k <= 4; ++k, ++tried) {
            WriteFile(file, old);
            ::chmod(file.c_str(), 0640);
            Shell("setfacl -b " + Quoted(file));
            Result r = Shell("strace -f -o /dev/null -e trace=" + std::string(call) + " -e inject=" + call +
                             ":error=EIO:when=" + std::to_string(k) + " " + set);
            std::string now = ReadFile(file);
            EXPECT_TRUE(now == old || now == fresh) << call << " failing at call " << k;
            if (r.status == 0) {
                EXPECT_EQ(now, fresh) << call << " failing at call " << k << " reported success";
            }
            if (now == fresh) {
                EXPECT_FALSE(Shell("getfacl -cp " + Quoted(file) + " | grep -q nobody").status == 0)
                    << call << " failing at call " << k << ": the save widened access";
            }
            EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640)) << call << " " << k;
        }
    }
    RecordProperty("FaultPoints", tried);
}

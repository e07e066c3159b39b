// The data file is never lost: every edit killed (SIGKILL) after each of its
// writes and syncs, or starved of disk at each of them, leaves a file that
// the next open turns into the old content or the new one; a full disk, a
// file held by another program, and files and folders of other users.
// Edits run as programs of their own with the fault injector loaded.
#include "HdStringsTool.h"
#include "LineModel.h"
#include "common/Spawn.h"
#include "common/TempFolder.h"
#include "xoStr31/EditJournal.h"
#include "xoStr31/HdStrings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using qeltest::AsUser;
using qeltest::ReadFile;
using qeltest::Spawn;
using qeltest::TempFolder;
using qeltest::WriteFile;

namespace {

std::string TextFile(int lines, const std::string& end) {
    std::string bytes;
    for (int i = 0; i < lines; ++i) bytes += "line " + std::to_string(i) + " of a log that goes on for a while" + end;
    return bytes;
}

// The file as the next open leaves it (the list finishes or undoes what
// the journal holds), and no journal left behind.
std::string Reopened(const std::string& file) {
    {
        xoStr31::THdStrings list;
        list.SetParam(0, 2);
        EXPECT_TRUE(list.Open(file, false)) << list.LastError();
    }
    EXPECT_FALSE(xoStr31::TEditJournal::Exists(file));
    return ReadFile(file);
}

#ifdef HDSTRINGS_FAULT_SHIM
int CountedCalls(const std::vector<std::string>& argv, const std::string& log) {
    EXPECT_EQ(Spawn(argv, {"QEL_FAULT=count", "QEL_FAULT_LOG=" + log, "LD_PRELOAD=" HDSTRINGS_FAULT_SHIM}), 0);
    return std::atoi(ReadFile(log).c_str());
}
#endif

} // namespace

TEST(HdStringsFaults, EditsKilledOrStarvedAtEveryStepLeaveOldOrNew) {
#ifndef HDSTRINGS_FAULT_SHIM
    GTEST_SKIP() << "no fault injector in this build (sanitizers)";
#else
    TempFolder dir;
    const std::string crlf = TextFile(20000, "\r\n"), lf = TextFile(20000, "\n");  // about 1 MB each
    struct Case {
        const char* what;
        const std::string* base;
        const char* op;
        int n;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"insert at the front", &crlf, "insert", 0, "a new first line"},
        {"insert in the middle", &lf, "insert", 10000, "a new middle line"},
        {"insert at the end", &crlf, "insert", 20000, "a new last line"},
        {"put longer", &lf, "put", 9000, std::string(300, 'L')},
        {"put shorter", &crlf, "put", 9000, "s"},
        {"delete", &lf, "delete", 5000, ""},
    };
    const std::string file = dir / "log.txt", log = dir / "calls";
    int points = 0;
    for (const auto& c : cases) {
        const std::string& before = *c.base;
        const std::string after = hdtest::TLines(before).Edited(c.op, c.n, c.text);
        // Pieces of 128 KiB: the tail moves in several, through both slots.
        const std::vector<std::string> edit = {HDSTRINGS_EDIT_CHILD, file, c.op, std::to_string(c.n), c.text, "131072"};
        WriteFile(file, before);
        const int calls = CountedCalls(edit, log);
        ASSERT_EQ(ReadFile(file), after) << c.what;
        ASSERT_GT(calls, 5) << c.what;
        int sawOld = 0, sawNew = 0;
        for (int k = 1; k <= calls; ++k) {
            WriteFile(file, before);
            int code = Spawn(edit, {"QEL_FAULT=kill:" + std::to_string(k), "LD_PRELOAD=" HDSTRINGS_FAULT_SHIM});
            EXPECT_EQ(code, 128 + SIGKILL) << c.what << " kill " << k;
            std::string now = Reopened(file);
            ASSERT_TRUE(now == before || now == after) << c.what << ", killed after call " << k;
            (now == before ? sawOld : sawNew)++;

            WriteFile(file, before);
            code = Spawn(edit, {"QEL_FAULT=enospc:" + std::to_string(k), "LD_PRELOAD=" HDSTRINGS_FAULT_SHIM});
            now = Reopened(file);
            ASSERT_TRUE(now == before || now == after) << c.what << ", call " << k << " failed";
            // What the edit told is what the file holds.
            if (code == 0) {
                EXPECT_EQ(now, after) << c.what << ", call " << k << " failed";
            } else if (code == 1) {
                EXPECT_EQ(now, before) << c.what << ", call " << k << " failed";
            }
            points += 2;
        }
        // Stops before the move are undone, those during it finished (an
        // append is undone until its journal is gone).
        EXPECT_GT(sawOld, 0) << c.what;
        if (c.n < int(hdtest::TLines(before).lines.size())) {
            EXPECT_GT(sawNew, 0) << c.what;
        }
    }
    // The command-line tool's edits finish the same way.
    const std::vector<std::string> tool = {HDSTRINGS_TOOL, "insert", file, "0", "from the tool"};
    WriteFile(file, crlf);
    const int calls = CountedCalls(tool, log);
    const std::string after = "from the tool\r\n" + crlf;
    for (int k = 1; k <= calls; ++k, ++points) {
        WriteFile(file, crlf);
        Spawn(tool, {"QEL_FAULT=kill:" + std::to_string(k), "LD_PRELOAD=" HDSTRINGS_FAULT_SHIM});
        std::string now = Reopened(file);
        ASSERT_TRUE(now == crlf || now == after) << "tool killed after call " << k;
    }
    std::cout << "[ fault points tried: " << points << " ]\n";
#endif
}

// A disk too full for an edit leaves the file as it was, says so, and the
// same edit goes through once there is room. Needs a small tmpfs of its own.
TEST(HdStringsFaults, FullDiskChangesNothing) {
    TempFolder dir;
    const std::string mnt = dir / "disk";
    ::mkdir(mnt.c_str(), 0755);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mnt};
    const std::string file = mnt + "/list.txt", filler = mnt + "/filler";
    const std::string before = TextFile(15000, "\n");  // about 700 KB
    WriteFile(file, before);
    // Fill the disk but for a few blocks.
    int fd = ::open(filler.c_str(), O_CREAT | O_WRONLY, 0644);
    const std::string block(4096, 'f');
    off_t filled = 0;
    while (::write(fd, block.data(), block.size()) == ssize_t(block.size())) filled += off_t(block.size());
    ::close(fd);
    ASSERT_EQ(::truncate(filler.c_str(), filled - 3 * 4096), 0);
    std::ostringstream out, err;
    const std::string line(20000, 'x');
    EXPECT_EQ(hdstrings::Run({"insert", file, "0", line}, out, err), 1);
    EXPECT_NE(err.str().find("no space left"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("the file is unchanged"), std::string::npos) << err.str();
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_FALSE(xoStr31::TEditJournal::Exists(file));
    // A put and a delete move the whole tail through the journal, which
    // finds no room either: each says so and fails.
    for (const auto& args : std::vector<std::vector<std::string>>{{"put", file, "0", line}, {"delete", file, "0"}}) {
        std::ostringstream quiet, why;
        EXPECT_EQ(hdstrings::Run(args, quiet, why), 1) << args[0];
        EXPECT_NE(why.str().find("no space left"), std::string::npos) << args[0] << ": " << why.str();
        EXPECT_EQ(ReadFile(file), before) << args[0];
    }
    ::unlink(filler.c_str());
    EXPECT_EQ(hdstrings::Run({"insert", file, "0", line}, out, err), 0);
    EXPECT_EQ(ReadFile(file), line + "\n" + before);
}

// Other users' files: a file the user may not write, and one that may be
// written in a folder that may not (no journal can go beside it), are left
// untouched with the cause named; reading them works.
TEST(HdStringsFaults, FilesOfOtherUsers) {
    TempFolder dir;
    ::chmod(dir.Path().c_str(), 0755);
    const std::string readOnly = dir / "ro.txt", lockedFolder = dir / "sub/rw.txt";
    WriteFile(readOnly, "one\ntwo\n");
    ::chmod(readOnly.c_str(), 0644);
    ::mkdir((dir / "sub").c_str(), 0755);
    WriteFile(lockedFolder, "one\ntwo\n");
    ::chmod(lockedFolder.c_str(), 0666);
    if (::geteuid() != 0 && ::access(readOnly.c_str(), W_OK) == 0) GTEST_SKIP() << "needs root to act as another user";

    std::string err;
    EXPECT_EQ(Spawn(AsUser({HDSTRINGS_TOOL, "put", readOnly, "0", "x"}), {}, &err), 1);
    EXPECT_NE(err.find("read-only"), std::string::npos) << err;
    err.clear();
    EXPECT_EQ(Spawn(AsUser({HDSTRINGS_TOOL, "insert", lockedFolder, "0", "x"}), {}, &err), 1);
    EXPECT_NE(err.find("cannot create the journal"), std::string::npos) << err;
    EXPECT_NE(err.find("the file is unchanged"), std::string::npos) << err;
    EXPECT_EQ(Spawn(AsUser({HDSTRINGS_TOOL, "count", readOnly})), 0);
    EXPECT_EQ(ReadFile(readOnly), "one\ntwo\n");
    EXPECT_EQ(ReadFile(lockedFolder), "one\ntwo\n");
}

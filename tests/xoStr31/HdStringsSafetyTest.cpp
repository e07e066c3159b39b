// What a failed read, a stale journal or a foreign entry table must never
// do to a data file, checked from outside: the tool runs as a program of its
// own, with faults injected by strace at the system calls themselves.
#include "Spawn.h"
#include "TempFolder.h"
#include "xoStr31/EditJournal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

using hdtest::AsUser;
using hdtest::ReadFile;
using hdtest::Spawn;
using hdtest::TempFolder;
using hdtest::WriteFile;

namespace {

bool HaveStrace() { return ::access("/usr/bin/strace", X_OK) == 0; }

// The tool with the nth call of syscall on file failing with errno name.
std::vector<std::string> Injected(const std::string& file, const std::string& call, const std::string& error, int n,
                                  std::vector<std::string> args) {
    std::vector<std::string> argv = {"strace", "-o", "/dev/null", "-P", file, "-e", "trace=" + call,
                                     "-e", "inject=" + call + ":error=" + error + ":when=" + std::to_string(n),
                                     HDSTRINGS_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::string Lines(int n, int from = 0) {
    std::string s;
    for (int i = from; i < from + n; ++i) s += "entry " + std::to_string(i) + "\n";
    return s;
}

} // namespace

// One failed read anywhere while opening: the command fails with the cause,
// or (a read that only served the entry table) goes on from a scan; the
// file is then exactly the old or exactly the new content.
TEST(HdStringsSafety, ReadErrorsAtOpenAreErrors) {
    if (!HaveStrace()) GTEST_SKIP() << "no strace";
    TempFolder dir;
    const std::string file = dir / "f.txt", table = dir / "f.Rni";
    const std::string old = Lines(3);
    for (bool withTable : {false, true}) {
        for (const auto& edit : std::vector<std::vector<std::string>>{{"delete", file, "0"}, {"put", file, "0", "x"}}) {
            const std::string made = edit[0] == "delete" ? Lines(2, 1) : "x\n" + Lines(2, 1);
            for (int n = 1; n <= 6; ++n) {
                for (const std::string& path : {file, table}) {
                    if (!withTable && path == table) continue;
                    WriteFile(file, old);
                    ::unlink(table.c_str());
                    if (withTable) {
                        ASSERT_EQ(Spawn({HDSTRINGS_TOOL, "index", file}), 0);
                    }
                    std::string err;
                    int code = Spawn(Injected(path, "pread64", "EIO", n, edit), {}, &err);
                    const std::string now = ReadFile(file);
                    SCOPED_TRACE(edit[0] + " on " + path + " read " + std::to_string(n) + (withTable ? " with table" : ""));
                    if (code == 0) {
                        EXPECT_EQ(now, made);
                    } else {
                        EXPECT_EQ(code, 1);
                        EXPECT_EQ(now, old);
                        EXPECT_NE(err.find("input/output error"), std::string::npos) << err;
                    }
                    // A read of the data file itself that failed while opening is never ignored.
                    if (path == file && n == 1) {
                        EXPECT_EQ(code, 1);
                    }
                }
            }
        }
    }
}

// Files of the system report no size; a file that cannot be read at all is
// no read-only file.
TEST(HdStringsSafety, FilesWithoutSizeAndUnreadableFiles) {
    std::string out, err;
    ASSERT_EQ(Spawn({HDSTRINGS_TOOL, "count", "/proc/self/mounts"}, {}, &err, &out), 0) << err;
    EXPECT_GT(std::stoi(out), 0);
    err.clear();
    EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "put", "/proc/self/mounts", "0", "x"}, {}, &err), 1);
    EXPECT_NE(err.find("reports no size"), std::string::npos) << err;

    TempFolder dir;
    ::chmod(dir.Path().c_str(), 0755);
    const std::string file = dir / "secret.txt";
    WriteFile(file, "a\n");
    ::chmod(file.c_str(), 0600);
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    err.clear();
    EXPECT_EQ(Spawn(AsUser({HDSTRINGS_TOOL, "count", file}), {}, &err), 1);
    EXPECT_NE(err.find("permission denied"), std::string::npos) << err;
    EXPECT_EQ(err.find("read-only"), std::string::npos) << err;
}

// What a failed read, a stale journal or a foreign entry table must never
// do to a data file, checked from outside: the tool runs as a program of its
// own, with faults injected by strace at the system calls themselves.
#include "LineModel.h"
#include "common/Spawn.h"
#include "common/TempFolder.h"
#include "xoStr31/EditJournal.h"
#include "xoStr31/EntryTableFile.h"
#include "xoStr31/HdStrings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using qeltest::AsUser;
using qeltest::ReadFile;
using qeltest::Spawn;
using qeltest::TempFolder;
using qeltest::WriteFile;

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

// A failed read of an entry is an error, never an empty entry.
TEST(HdStringsSafety, ReadErrorsOfGetAreErrors) {
    if (!HaveStrace()) GTEST_SKIP() << "no strace";
    TempFolder dir;
    const std::string file = dir / "f.txt";
    WriteFile(file, Lines(3));
    for (bool withTable : {false, true}) {
        if (withTable) {
            ASSERT_EQ(Spawn({HDSTRINGS_TOOL, "index", file}), 0);
        }
        for (int n = 1; n <= 5; ++n) {
            std::string out, err;
            int code = Spawn(Injected(file, "pread64", "EIO", n, {"get", file, "1"}), {}, &err, &out);
            if (code == 0) {
                EXPECT_EQ(out, "entry 1\n") << n;
            } else {
                EXPECT_EQ(code, 1) << n;
                EXPECT_EQ(out, "") << n;
                EXPECT_NE(err.find("input/output error"), std::string::npos) << err;
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

namespace {

std::string Tool(std::vector<std::string> args, int* code = nullptr, std::string* err = nullptr);
using xoStr31::TEditJournal;

// The edit child (one edit with a given piece size) or the tool, killed
// when it enters its nth sync of the journal.
std::vector<std::string> KilledAtJournalSync(const std::string& file, int n, std::vector<std::string> args) {
    std::vector<std::string> argv = {"strace", "-f", "-o", "/dev/null", "-P", TEditJournal::NameFor(file),
                                     "-e", "trace=fdatasync", "-e",
                                     "inject=fdatasync:signal=KILL:when=" + std::to_string(n)};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<std::string> Child(const std::string& file, const std::string& op, int n, const std::string& text,
                               int64_t piece) {
    return {HDSTRINGS_EDIT_CHILD, file, op, std::to_string(n), text, std::to_string(piece)};
}

void Overwrite(const std::string& file, int64_t at, const std::string& bytes) {
    std::string s = ReadFile(file);
    s.replace(size_t(at), bytes.size(), bytes);
    WriteFile(file, s);
}

} // namespace

// An edit killed with its journal written, then the file changed by another
// program: every command refuses it naming both files, nothing changes, and
// only recover --discard lets the file go on as it is now.
TEST(HdStringsSafety, JournalOfAChangedFileIsKeptAndReported) {
    if (!HaveStrace()) GTEST_SKIP() << "no strace";
    TempFolder dir;
    const std::string file = dir / "f.txt", journal = TEditJournal::NameFor(file);
    const std::string old = Lines(3000), made = Lines(1500) + "inserted\n" + Lines(1500, 1500);
    const int64_t at = int64_t(Lines(1500).size());
    struct Change {
        const char* what;
        std::function<void()> make;
        bool onlyBeforeTheMove;  // the bytes at the edit are its own once they move
    };
    const std::vector<Change> changes = {
        {"a line appended", [&] { WriteFile(file, ReadFile(file) + "appended by another program\n"); }, false},
        {"25 bytes at the front overwritten", [&] { Overwrite(file, 7, std::string(25, '#')); }, false},
        {"25 bytes after the edit overwritten", [&] { Overwrite(file, at + 100, std::string(25, '#')); }, true},
        {"the file replaced", [&] {
             std::string s = ReadFile(file);
             ::unlink(file.c_str());
             WriteFile(file, s);
         }, false},
    };
    for (int sync = 1; sync <= 3; ++sync) {
        for (const auto& change : changes) {
            if (change.onlyBeforeTheMove && sync > 1) continue;
            SCOPED_TRACE(std::string(change.what) + ", killed at journal sync " + std::to_string(sync));
            WriteFile(file, old);
            ASSERT_EQ(Spawn(KilledAtJournalSync(file, sync, Child(file, "insert", 1500, "inserted", 10000))),
                      128 + SIGKILL);
            ASSERT_TRUE(TEditJournal::Exists(file));
            change.make();
            const std::string changed = ReadFile(file);
            for (const auto& command : std::vector<std::vector<std::string>>{
                     {"count", file}, {"get", file, "0"}, {"put", file, "0", "x"}, {"recover", file}}) {
                std::vector<std::string> argv = {HDSTRINGS_TOOL};
                argv.insert(argv.end(), command.begin(), command.end());
                std::string err;
                EXPECT_EQ(Spawn(argv, {}, &err), 1) << command[0];
                EXPECT_NE(err.find(journal), std::string::npos) << err;
                EXPECT_NE(err.find("\"" + file + "\""), std::string::npos) << err;
                EXPECT_EQ(ReadFile(file), changed) << command[0];
            }
            EXPECT_TRUE(TEditJournal::Exists(file));
            EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "recover", "--discard", file}), 0);
            EXPECT_FALSE(TEditJournal::Exists(file));
            EXPECT_EQ(ReadFile(file), changed);
        }
        // Left alone, the same stop ends in the old or the new content.
        WriteFile(file, old);
        ASSERT_EQ(Spawn(KilledAtJournalSync(file, sync, Child(file, "insert", 1500, "inserted", 10000))),
                  128 + SIGKILL);
        EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "recover", file}), 0);
        const std::string now = ReadFile(file);
        EXPECT_TRUE(now == old || now == made) << "sync " << sync;
        EXPECT_FALSE(TEditJournal::Exists(file));
    }
}

// A journal that cannot be removed once its edit is through (here its
// unlink fails, as in a folder that lost its write bit): voided whole, said
// so, and the next open leaves the new content as it is.
TEST(HdStringsSafety, JournalThatCannotBeRemovedIsVoided) {
    if (!HaveStrace()) GTEST_SKIP() << "no strace";
    TempFolder dir;
    const std::string file = dir / "f.txt";
    const std::string old = Lines(4000), made = "front\n" + old;
    auto failingUnlink = [&](std::vector<std::string> args) {
        // The journal is the only file these runs remove.
        std::vector<std::string> argv = {"strace", "-f", "-o", "/dev/null", "-e", "trace=unlink,unlinkat",
                                         "-e", "inject=unlink,unlinkat:error=EACCES"};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    };
    for (int64_t piece : {int64_t(old.size() / 3 - 10), int64_t(old.size() / 4 + 1), int64_t(1) << 22}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece) + " bytes");
        WriteFile(file, old);
        EXPECT_EQ(Spawn(failingUnlink(Child(file, "insert", 0, "front", piece))), 0);
        EXPECT_EQ(ReadFile(file), made);
        ASSERT_TRUE(TEditJournal::Exists(file));
        std::string out;
        EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "count", file}, {}, nullptr, &out), 0);
        EXPECT_EQ(out, "4001\n");
        EXPECT_EQ(ReadFile(file), made);
        EXPECT_FALSE(TEditJournal::Exists(file));
    }
    WriteFile(file, old);
    std::string err;
    EXPECT_EQ(Spawn(failingUnlink({HDSTRINGS_TOOL, "insert", file, "0", "front"}), {}, &err), 0);
    EXPECT_NE(err.find("warning"), std::string::npos) << err;
    EXPECT_NE(err.find("voided"), std::string::npos) << err;
    EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "delete", file, "1"}), 0);
    EXPECT_EQ(ReadFile(file), "front\n" + Lines(3999, 1));
}

// The journal lies beside the file itself, so the file's own name finds an
// edit made through a link; names up to the system's limits can be edited
// and their stopped edits are found again.
TEST(HdStringsSafety, JournalPlaceForLinksAndLongNames) {
    if (!HaveStrace()) GTEST_SKIP() << "no strace";
    TempFolder dir;
    const std::string old = Lines(2000), made = Lines(1000) + "middle\n" + Lines(1000, 1000);
    ::mkdir((dir / "real").c_str(), 0755);
    const std::string real = dir / "real/f.txt", link = dir / "link.txt";
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    std::string longName(250, 'n');
    std::string deep = dir.Path();
    while (deep.size() < 4096 - 260) {
        deep += std::string(std::min<size_t>(200, 4096 - 260 - deep.size()), 'd');
        ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0) << deep.size();
        deep += "/";
    }
    const std::string deepFile = deep + std::string(4090 - deep.size(), 'p');
    for (const auto& [editName, openName] : std::vector<std::pair<std::string, std::string>>{
             {link, real}, {dir / longName, dir / longName}, {deepFile, deepFile}}) {
        SCOPED_TRACE(editName.size() > 300 ? "deep path" : editName);
        WriteFile(openName, old);
        ASSERT_EQ(ReadFile(openName), old);
        EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "insert", editName, "1000", "middle"}), 0);
        EXPECT_EQ(ReadFile(openName), made);
        EXPECT_FALSE(TEditJournal::Exists(openName));
        WriteFile(openName, old);
        ASSERT_EQ(Spawn(KilledAtJournalSync(openName, 2, Child(editName, "insert", 1000, "middle", 4096))),
                  128 + SIGKILL);
        ASSERT_TRUE(TEditJournal::Exists(openName));
        EXPECT_FALSE(TEditJournal::Exists(link) && editName != link);
        EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "count", openName}), 0);
        const std::string now = ReadFile(openName);
        EXPECT_TRUE(now == old || now == made);
        EXPECT_FALSE(TEditJournal::Exists(openName));
    }
    struct stat st{};
    EXPECT_NE(::lstat((link + "-journal").c_str(), &st), 0);
    // A long name's table and its temporaries fit as well.
    EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "index", dir / longName}), 0);
    EXPECT_EQ(::lstat((dir / longName + ".Rni").c_str(), &st), 0);
    EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "put", dir / longName, "0", "changed"}), 0);
    EXPECT_EQ(Tool({"get", dir / longName, "0"}), "changed\n");
}

// Another user's unfinished edit: the file's owner still reads it while no
// byte has moved, and is told why once bytes have.
TEST(HdStringsSafety, AnotherUsersJournal) {
    if (!HaveStrace()) GTEST_SKIP() << "no strace";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    TempFolder dir;
    ::chmod(dir.Path().c_str(), 0777);
    const std::string file = dir / "theirs.txt";
    const std::string old = Lines(2000);
    for (int sync : {1, 3}) {
        WriteFile(file, old);
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        ASSERT_EQ(Spawn(KilledAtJournalSync(file, sync, Child(file, "insert", 0, "root was here", 4096))),
                  128 + SIGKILL);
        std::string out, err;
        int code = Spawn(AsUser({HDSTRINGS_TOOL, "count", file}), {}, &err, &out);
        if (sync == 1) {
            EXPECT_EQ(code, 0) << err;
            EXPECT_EQ(out, "2000\n");
            EXPECT_NE(err.find("warning"), std::string::npos) << err;
        } else {
            EXPECT_EQ(code, 1);
            EXPECT_NE(err.find(TEditJournal::NameFor(file)), std::string::npos) << err;
        }
        EXPECT_EQ(Spawn(AsUser({HDSTRINGS_TOOL, "put", file, "0", "x"})), 1);
        EXPECT_EQ(Spawn({HDSTRINGS_TOOL, "count", file}), 0);
        const std::string now = ReadFile(file);
        EXPECT_TRUE(now == old || now == "root was here\n" + old);
    }
}

namespace {

std::string Tool(std::vector<std::string> args, int* code, std::string* err) {
    std::vector<std::string> argv = {HDSTRINGS_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    int c = Spawn(argv, {}, err, &out);
    if (code) *code = c;
    return out;
}

std::vector<std::string> SplitLines(const std::string& s) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < s.size();) {
        size_t lf = s.find('\n', at);
        lines.push_back(s.substr(at, lf - at));
        at = lf + 1;
    }
    return lines;
}

void SameTimes(const std::string& from, const std::string& to) {
    struct stat st{};
    ASSERT_EQ(::stat(from.c_str(), &st), 0);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, to.c_str(), times, 0), 0);
}

// Entries as get answers them (every 13th, and the last two), against the
// lines of the file.
void ExpectGetsMatch(const std::string& file) {
    const auto lines = SplitLines(ReadFile(file));
    for (size_t i = 0; i < lines.size(); i += (i + 2 >= lines.size() ? 1 : 13)) EXPECT_EQ(Tool({"get", file, std::to_string(i)}), lines[i] + "\n") << i;
    EXPECT_EQ(Tool({"count", file}), std::to_string(lines.size()) + "\n");
}

} // namespace

// Files that share one table name, and tables whose records or layout do
// not fit: never trusted, answers as the file's own lines, edits as a plain
// model makes them.
TEST(HdStringsSafety, EntryTablesBelongToTheirFile) {
    TempFolder dir;
    const std::string txt = dir / "words.txt", srt = dir / "words.srt", csv = dir / "words.csv";
    std::string text, sorted;
    std::vector<std::string> words;
    for (int i = 0; i < 300; ++i) words.push_back("w" + std::to_string((i * 7919) % 1000));
    for (const auto& w : words) text += w + "\n";
    std::vector<std::string> order = words;
    std::sort(order.begin(), order.end());
    for (const auto& w : order) sorted += w + "\n";
    WriteFile(txt, text);
    WriteFile(srt, sorted);
    WriteFile(csv, std::string(text.rbegin() + 1, text.rend()) + "\n");
    SameTimes(txt, srt);
    SameTimes(txt, csv);
    ASSERT_EQ(Tool({"index", txt}), "300\n");
    ExpectGetsMatch(srt);
    ExpectGetsMatch(csv);
    EXPECT_EQ(Tool({"put", srt, "5", "changed"}), "");
    auto model = SplitLines(sorted);
    model[5] = "changed";
    std::string expected;
    for (const auto& l : model) expected += l + "\n";
    EXPECT_EQ(ReadFile(srt), expected);
    ExpectGetsMatch(txt);

    // One record changed, the table's time put back: caught by its checksum.
    const std::string table = dir / "words.Rni";
    ASSERT_EQ(Tool({"index", txt}), "300\n");
    std::string bytes = ReadFile(table);
    ASSERT_EQ(bytes.size(), 10u + 300 * 14 + xoStr31::TableTrailerSize);
    bytes[10 + 14 * 100] = char(bytes[10 + 14 * 100] - 1);  // entry 100 ends a byte early
    WriteFile(table, bytes);
    SameTimes(txt, table);
    EXPECT_EQ(Tool({"get", txt, "100"}), SplitLines(text)[100] + "\n");
    EXPECT_EQ(Tool({"get", txt, "101"}), SplitLines(text)[101] + "\n");
    EXPECT_EQ(Tool({"delete", txt, "100"}), "");
    auto lines = SplitLines(text);
    lines.erase(lines.begin() + 100);
    expected.clear();
    for (const auto& l : lines) expected += l + "\n";
    EXPECT_EQ(ReadFile(txt), expected);

    // A table of the older layout (no trailer), even with its time right,
    // is rebuilt; the edit writes it in the present layout.
    bytes = ReadFile(table);
    bytes.resize(bytes.size() - xoStr31::TableTrailerSize);
    bytes[10] = char(bytes[10] + 1);
    WriteFile(table, bytes);
    SameTimes(txt, table);
    ExpectGetsMatch(txt);
    EXPECT_EQ(Tool({"insert", txt, "0", "first"}), "");
    EXPECT_EQ(ReadFile(table).size(), 10u + 300 * 14 + xoStr31::TableTrailerSize);
    ExpectGetsMatch(txt);
}

// A table that cannot be written stays as it was and the edit says so;
// temporaries left by killed runs go with the next table written.
TEST(HdStringsSafety, EntryTableWritesThatFail) {
    if (!HaveStrace()) GTEST_SKIP() << "no strace";
    TempFolder dir;
    const std::string file = dir / "f.txt", table = dir / "f.Rni";
    WriteFile(file, Lines(500));
    ASSERT_EQ(Tool({"index", file}), "500\n");
    WriteFile(dir / ".f.Rni.AbCd1234", "left by a killed run");
    WriteFile(dir / ".f.Rni.zzzzzzzz", "");
    const std::string before = ReadFile(table);
    std::string err, out;
    int code = Spawn({"strace", "-f", "-o", "/dev/null", "-e", "trace=rename,renameat,renameat2", "-e",
                      "inject=rename,renameat,renameat2:error=EIO", HDSTRINGS_TOOL, "insert", file, "0", "new"},
                     {}, &err, &out);
    EXPECT_EQ(code, 0) << err;
    EXPECT_NE(err.find("warning"), std::string::npos) << err;
    EXPECT_NE(err.find("the old table is left as it was"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(table), before);
    EXPECT_EQ(ReadFile(file), "new\n" + Lines(500));
    struct stat st{};
    EXPECT_NE(::lstat((dir / ".f.Rni.AbCd1234").c_str(), &st), 0);
    EXPECT_NE(::lstat((dir / ".f.Rni.zzzzzzzz").c_str(), &st), 0);
    size_t left = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        left += e.path().filename().string().rfind(".f.Rni.", 0) == 0;
    EXPECT_EQ(left, 0u);
    ExpectGetsMatch(file);
    EXPECT_EQ(Tool({"index", file}), "501\n");

    // Made read-only by its owner: root's edit leaves its bytes, and says so.
    ::chmod(table.c_str(), 0444);
    const std::string kept = ReadFile(table);
    EXPECT_EQ(Tool({"delete", file, "0"}, &code, &err), "");
    EXPECT_EQ(code, 0);
    EXPECT_NE(err.find("read-only"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(table), kept);
    ExpectGetsMatch(file);
}

// count without a table counts line ends itself, in blocks: line ends cut
// by a block's end, a first line end far into the file, and lone CRs and
// LFs next to them answer what the plain model and the list's own scan do.
TEST(HdStringsSafety, CountWithoutTableAgreesWithModel) {
    TempFolder dir;
    const std::string file = dir / "c.txt";
    std::mt19937 rng(11);
    const size_t block = 256 << 10;
    const std::vector<std::string> pieces = {"a", "\r", "\n", "\r\n", "\n\r", "bc"};
    for (int round = 0; round < 24; ++round) {
        std::string bytes(size_t(rng() % 3 == 0 ? block + 100 : 5000), 'x');
        for (int k = 0; k < 200; ++k) {
            size_t at = rng() % 4 == 0 ? block - 1 + rng() % 3 : rng() % bytes.size();
            at = std::min(at, bytes.size() - 1);
            bytes.replace(at, 1, pieces[rng() % pieces.size()]);
        }
        if (round % 3 == 1) bytes.resize(bytes.size() - rng() % 3);
        if (round % 4 == 3) bytes += "\r\n";
        // The first line end two blocks in, and one cut by a block's end.
        if (round == 0) bytes = std::string(2 * block + 7, 'x') + "\r\nab\nc\r\n";
        if (round == 1) bytes = std::string(block - 1, 'x') + "\r\ny\n\r\nz";
        WriteFile(file, bytes);
        const size_t model = hdtest::TLines(bytes).lines.size();
        xoStr31::THdStrings list;
        int64_t counted = -1;
        ASSERT_TRUE(list.CountByScan(file, counted));
        EXPECT_EQ(size_t(counted), model) << "round " << round;
        list.SetParam(0, 2);
        ASSERT_TRUE(list.Open(file, true));
        EXPECT_EQ(size_t(list.GetCount()), model) << "round " << round;
    }
}

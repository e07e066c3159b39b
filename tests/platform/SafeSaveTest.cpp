// Whole-file saves on the files users really have: links, modes, owners,
// special files, folders they may not write.
#include "common/Spawn.h"
#include "common/TempFolder.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/SafeSave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iterator>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

constexpr auto Read = qeltest::ReadFile;
constexpr auto Write = qeltest::WriteFile;

struct stat Stat(const std::string& path) {
    struct stat st{};
    ::stat(path.c_str(), &st);
    return st;
}

class SafeSave : public ::testing::Test {
protected:
    void SetUp() override { ::chmod(dir.c_str(), 0777); }
    void TearDown() override {
        ::chmod(dir.c_str(), 0777);
        folder.Remove();
    }
    // Names in the folder other than the given ones (left-over temporaries).
    std::vector<std::string> Others(std::initializer_list<std::string> known) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            std::string n = e.path().filename().string();
            if (std::find(known.begin(), known.end(), n) == known.end()) out.push_back(n);
        }
        return out;
    }
    // Runs fn in a child process as an unprivileged user (nobody when the
    // tests run as root); answers the child's exit status.
    int AsUser(const std::function<int()>& fn) {
        pid_t pid = ::fork();
        if (pid == 0) {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
                 ::setresuid(kNobody, kNobody, kNobody) != 0))
                ::_exit(99);
            int code = 98;
            try {
                code = fn();
            } catch (...) {
            }
            ::_exit(code);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The file as the user's own: owned by nobody when the tests run as root.
    void GiveToUser(const std::string& path) {
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
        }
    }
    qeltest::TempFolder folder{"qel-save", qeltest::TempFolder::Place::Tmp};
    std::string dir = folder.Path();
};

} // namespace

TEST_F(SafeSave, WritesThroughLinksAndKeepsModeLinksAndAttributes) {
    std::string target = dir + "real.ini", link = dir + "link.ini", hard = dir + "hard.ini";
    Write(target, "old");
    ::chmod(target.c_str(), 0640);
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
    ASSERT_EQ(::link(target.c_str(), hard.c_str()), 0);
    bool xattrs = ::setxattr(target.c_str(), "user.qel", "kept", 4, 0) == 0;

    WriteWholeFile(link, "new text", 8);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(target), "new text");
    EXPECT_EQ(Read(hard), "new text");  // still one file under two names
    EXPECT_EQ(Stat(target).st_mode & 07777, 0640u);
    if (xattrs) {
        char value[8] = {};
        EXPECT_EQ(::getxattr(target.c_str(), "user.qel", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
    }
    // A second save without the hard link goes by rename and still keeps
    // mode and attributes.
    fs::remove(hard);
    WriteWholeFile(target, "third", 5);
    EXPECT_EQ(Read(target), "third");
    EXPECT_EQ(Stat(target).st_mode & 07777, 0640u);
    if (xattrs) {
        EXPECT_EQ(::getxattr(target.c_str(), "user.qel", nullptr, 0), 4);
    }
    EXPECT_TRUE(Others({"real.ini", "link.ini"}).empty());

    // A dangling link names the file to create.
    ASSERT_EQ(::symlink("made.ini", (dir + "dangling").c_str()), 0);
    WriteWholeFile(dir + "dangling", "x", 1);
    EXPECT_TRUE(fs::is_symlink(dir + "dangling"));
    EXPECT_EQ(Read(dir + "made.ini"), "x");
}

TEST_F(SafeSave, RefusesWhatItMustNotReplace) {
    auto refused = [](const std::string& path, const std::string& why) {
        try {
            WriteWholeFile(path, "new", 3);
            ADD_FAILURE() << path << " was written";
        } catch (const EFCreateError& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    };
    std::string readOnly = dir + "ro.ini";
    Write(readOnly, "keep");
    ::chmod(readOnly.c_str(), 0444);  // refused even for root
    refused(readOnly, "read-only");
    EXPECT_EQ(Read(readOnly), "keep");

    std::string fifo = dir + "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    refused(fifo, "not a regular file");  // and it does not wait for a reader
    EXPECT_TRUE(fs::is_fifo(fifo));
    refused("/dev/null", "not a regular file");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    ASSERT_EQ(::symlink("/dev/null", (dir + "to-device").c_str()), 0);
    refused(dir + "to-device", "not a regular file");
    EXPECT_TRUE(fs::is_symlink(dir + "to-device"));
    refused(dir, "folder");
    refused(dir + "no/such/folder/x.ini", "does not exist");
    EXPECT_TRUE(Others({"ro.ini", "fifo", "to-device"}).empty());
}

TEST_F(SafeSave, AnUnfinishedSaveChangesNothing) {
    std::string path = dir + "a.ini";
    Write(path, "old content");
    {
        TSaveFileStream out(path);
        out.WriteBuffer("half", 4);
    }  // never committed
    EXPECT_EQ(Read(path), "old content");
    EXPECT_TRUE(Others({"a.ini"}).empty());
}

TEST_F(SafeSave, RootKeepsTheOwnerOfAUsersFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own a file for another user";
    std::string path = dir + "user.ini";
    Write(path, "old");
    GiveToUser(path);
    ::chmod(path.c_str(), 0600);
    WriteWholeFile(path, "new", 3);
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(Stat(path).st_uid, kNobody);
    EXPECT_EQ(Stat(path).st_gid, kNobody);
    EXPECT_EQ(Stat(path).st_mode & 07777, 0600u);
}

TEST_F(SafeSave, AUserSavesInPlaceWhereTheFolderIsNotTheirs) {
    // The user may write the file but not the folder: the file is written
    // where it stands, and the backup taken first is gone afterwards.
    std::string tmp = dir + "tmp/";
    fs::create_directory(tmp);
    ::chmod(tmp.c_str(), 0777);
    std::string path = dir + "settings.ini", theirs = dir + "theirs.ini";
    Write(path, std::string(5000, 'o'));
    Write(theirs, "not yours");
    GiveToUser(path);
    ino_t inode = Stat(path).st_ino;
    ::chmod(dir.c_str(), 0555);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    EXPECT_EQ(AsUser([&] {
                  WriteWholeFile(path, "short now", 9);
                  return 0;
              }),
              0);
    EXPECT_EQ(Read(path), "short now");
    EXPECT_EQ(Stat(path).st_ino, inode);
    EXPECT_EQ(AsUser([&] {
                  std::string bigger(20000, 'n');
                  WriteWholeFile(path, bigger.data(), bigger.size());
                  return 0;
              }),
              0);
    EXPECT_EQ(Read(path), std::string(20000, 'n'));
    EXPECT_TRUE(fs::is_empty(tmp));

    if (::geteuid() == 0) {
        // Another user's file: refused, unchanged.
        EXPECT_EQ(AsUser([&] {
                      try {
                          WriteWholeFile(theirs, "mine", 4);
                      } catch (const EFCreateError& e) {
                          return std::string(e.what()).find("read-only") != std::string::npos ? 0 : 2;
                      }
                      return 1;
                  }),
                  0);
        EXPECT_EQ(Read(theirs), "not yours");
        // A new file in a folder the user cannot write cannot be made.
        EXPECT_EQ(AsUser([&] {
                      try {
                          WriteWholeFile(dir + "new.ini", "x", 1);
                      } catch (const EFCreateError&) {
                          return 0;
                      }
                      return 1;
                  }),
                  0);
    }
    ::unsetenv("TMPDIR");
}

namespace {

std::string Output(const std::string& cmd) { return qeltest::Shell(cmd).out; }

bool HasAccessList(const std::string& path) {
    return ::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) >= 0;
}

// As a killed save leaves it: untouched for a minute.
void Age(const std::string& path) {
    timespec times[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

TEST_F(SafeSave, ASaveNeverWidensAccess) {
    std::string plain = dir + "plain.ini", listed = dir + "listed.ini";
    Write(plain, "old");
    Write(listed, "old");
    ::chmod(plain.c_str(), 0640);
    ::chmod(listed.c_str(), 0640);
    if (std::system(("setfacl -d -m u:nobody:rwx " + dir + " 2>/dev/null").c_str()) != 0 ||
        std::system(("setfacl -m u:daemon:r " + listed).c_str()) != 0)
        GTEST_SKIP() << "no access lists on the file system of " << dir;
    ASSERT_FALSE(HasAccessList(plain));
    const std::string before = Output("getfacl -cp " + listed);

    WriteWholeFile(plain, "new", 3);
    WriteWholeFile(listed, "new", 3);
    EXPECT_EQ(Read(plain), "new");
    EXPECT_FALSE(HasAccessList(plain)) << "the folder's default list came with the save";
    EXPECT_EQ(Stat(plain).st_mode & 07777, 0640u);
    EXPECT_EQ(Output("getfacl -cp " + listed), before);
    EXPECT_EQ(Stat(listed).st_mode & 07777, 0640u);
    if (::geteuid() == 0) {
        EXPECT_EQ(AsUser([&] { return ::open(plain.c_str(), O_RDONLY) < 0 ? 0 : 1; }), 0);
    }
    // A file new to the folder gets the folder's list, as from any program.
    WriteWholeFile(dir + "fresh.ini", "x", 1);
    EXPECT_TRUE(HasAccessList(dir + "fresh.ini"));
}

TEST_F(SafeSave, TheNextSaveClearsWhatAKilledSaveLeftAndNothingElse) {
    std::string path = dir + "a.ini";
    Write(path, "old");
    auto make = [&](const std::string& name, bool aged) {
        Write(dir + name, "half");
        if (aged) Age(dir + name);
    };
    make(".a.ini.k1ll3d00", true);   // a killed save's: goes
    make(".a.ini.fresh000", false);  // may be a save that has just begun
    make(".a.ini.held0000", true);   // a live save holds it
    make(".a.ini.Upper000", true);   // not a name this program makes
    make(".a.ini.short", true);
    make(".b.ini.k1ll3d00", true);   // another file's
    int held = ::open((dir + ".a.ini.held0000").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    if (::geteuid() == 0) {
        make(".a.ini.theirs00", true);  // another user's, beside a file of root's
        GiveToUser(dir + ".a.ini.theirs00");
    }
    WriteWholeFile(path, "new", 3);
    ::close(held);
    EXPECT_EQ(Read(path), "new");
    auto left = Others({"a.ini"});
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected{".a.ini.Upper000", ".a.ini.fresh000", ".a.ini.held0000", ".a.ini.short",
                                      ".b.ini.k1ll3d00"};
    if (::geteuid() == 0) expected.insert(expected.begin() + 4, ".a.ini.theirs00");
    EXPECT_EQ(left, expected);

    // Root saving a user's file leaves its temporary file to that user: the
    // next save, by either of them, clears it.
    if (::geteuid() == 0) {
        std::string users = dir + "u.ini";
        Write(users, "old");
        GiveToUser(users);
        make(".u.ini.k1ll3d00", true);
        GiveToUser(dir + ".u.ini.k1ll3d00");
        WriteWholeFile(users, "new", 3);
        EXPECT_FALSE(fs::exists(dir + ".u.ini.k1ll3d00"));
    }
}

TEST_F(SafeSave, ALeftBackupGoesWhenTheFileIsWholeAndIsNamedWhenItIsNot) {
    std::string tmp = dir + "tmp/";
    fs::create_directory(tmp);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    auto boxes = std::make_shared<ScriptedMessageBox>();
    MessageBoxScope scope(boxes);
    std::string path = dir + "b.ini";
    Write(path, "current");
    Write(tmp + "qel-backup-b.ini-aaaaaa", "current");   // the file is as it was: nothing lost
    Write(tmp + "qel-backup-b.ini-bbbbbb", "precious");  // the file was left half written
    Write(tmp + "qel-backup-b.ini-cccccc", "another");   // of another file named b.ini
    bool tags = ::setxattr((tmp + "qel-backup-b.ini-cccccc").c_str(), "user.qel.backup-of", "1:1", 3, 0) == 0;
    Write(tmp + "qel-backup-b.ini-dddddd", "recent");    // a save that runs now
    for (const char* n : {"aaaaaa", "bbbbbb", "cccccc"}) Age(tmp + "qel-backup-b.ini-" + n);

    WriteWholeFile(path, "next", 4);
    EXPECT_EQ(Read(path), "next");
    EXPECT_FALSE(fs::exists(tmp + "qel-backup-b.ini-aaaaaa"));
    EXPECT_EQ(Read(tmp + "qel-backup-b.ini-bbbbbb"), "precious");
    EXPECT_TRUE(fs::exists(tmp + "qel-backup-b.ini-dddddd"));
    ASSERT_EQ(boxes->Boxes().size(), tags ? 1u : 2u);
    EXPECT_NE(boxes->Boxes()[0].text.find(tmp + "qel-backup-b.ini-bbbbbb"), std::string::npos) << boxes->Boxes()[0].text;
    EXPECT_NE(boxes->Boxes()[0].text.find(path), std::string::npos);
    ::unsetenv("TMPDIR");
}

TEST_F(SafeSave, NamesAndPathsUpToTheSystemsLimitsAreSaved) {
    const std::string longName(NAME_MAX, 'n');
    WriteWholeFile(dir + longName, "one", 3);
    WriteWholeFile(dir + longName, "two", 3);  // beside an existing file: the temporary name is cut short
    EXPECT_EQ(Read(dir + longName), "two");
    ASSERT_EQ(::link((dir + longName).c_str(), (dir + "other").c_str()), 0);
    ::setenv("TMPDIR", dir.c_str(), 1);
    WriteWholeFile(dir + longName, "three", 5);  // in place, with a backup of that name
    ::unsetenv("TMPDIR");
    EXPECT_EQ(Read(dir + "other"), "three");
    fs::remove(dir + "other");
    EXPECT_TRUE(Others({longName}).empty());

    // A path one byte short of the system's limit.
    std::string deep = dir;
    while (deep.size() + 201 < PATH_MAX - 60) {
        deep += std::string(200, 'd') + "/";
        ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0) << std::strerror(errno);
    }
    std::string file = deep + std::string(PATH_MAX - 1 - deep.size(), 'f');
    ASSERT_EQ(file.size(), static_cast<size_t>(PATH_MAX - 1));
    {
        TFileUpdateLock lock(file);
        EXPECT_TRUE(lock.Held());
        WriteWholeFile(file, "first", 5);
    }
    WriteWholeFile(file, "second", 6);
    EXPECT_EQ(Read(file), "second");
}

TEST_F(SafeSave, TheUpdateLockMakesAFileToLockAndRemovesItWhenNoSaveCame) {
    std::string path = dir + "new.ini";
    {
        TFileUpdateLock lock(path);
        EXPECT_TRUE(lock.Held());
        EXPECT_TRUE(fs::exists(path));
        EXPECT_EQ(fs::file_size(path), 0u);
    }
    EXPECT_FALSE(fs::exists(path));
    {
        TFileUpdateLock lock(path);
        WriteWholeFile(path, "kept", 4);
    }
    EXPECT_EQ(Read(path), "kept");
    TFileUpdateLock nowhere(dir + "no/such/folder/x.ini");
    EXPECT_FALSE(nowhere.Held());
}

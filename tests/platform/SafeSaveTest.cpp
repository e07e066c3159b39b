// Whole-file saves on the files users really have: links, modes, owners,
// special files, folders they may not write.
#include "platform/Exception.h"
#include "platform/SafeSave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct stat Stat(const std::string& path) {
    struct stat st{};
    ::stat(path.c_str(), &st);
    return st;
}

class SafeSave : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qel-save-XXXXXX";
        dir = std::string(::mkdtemp(tmpl)) + "/";
        ::chmod(dir.c_str(), 0777);
    }
    void TearDown() override {
        ::chmod(dir.c_str(), 0777);
        fs::remove_all(dir);
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
    std::string dir;
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

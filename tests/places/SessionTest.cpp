// The open-tabs session file: what goes in comes back byte for byte, what
// cannot be read is refused with the line that is wrong, when the tabs come
// back at start, and a save killed or starved at any step leaves the old
// session or the new one.
#include "places/Session.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

using namespace places;

namespace {

constexpr auto Slurp = qeltest::ReadFile;

struct TempDir : qeltest::TempFolder {
    TempDir() : TempFolder("qel-session", Place::Tmp) {}
    const std::string path = Path();
};

TSession Sample() {
    TSession s;
    s.tabs = {{"http://127.0.0.1:8080/a?x=1&y=2", "Plain title"},
              {"file:///tmp/with%20space.html", "Tab\there, line\nthere, back\\slash and \\t literally"},
              {"http://127.0.0.1/\xc3\xa9t\xc3\xa9", ""}};
    s.current = 2;
    s.clean = false;
    return s;
}

TEST(Session, FieldsComeBackExactlyWhateverTheyHold) {
    TSession s = Sample();
    EXPECT_EQ(ParseSession(SessionText(s)), s);
    s.clean = true;
    s.current = 0;
    EXPECT_EQ(ParseSession(SessionText(s)), s);
    // One tab a line, whatever its title holds.
    std::string text = SessionText(Sample());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 3);
    // CR LF from an editor reads the same.
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ParseSession(crlf), Sample());
}

TEST(Session, WhatCannotBeReadIsRefusedWithItsLine) {
    auto refused = [](const std::string& text, const std::string& says) {
        try {
            ParseSession(text);
            ADD_FAILURE() << "read: " << text;
        } catch (const ESessionError& e) {
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
    };
    refused("", "empty");
    refused("something else\n", "line 1");
    refused("QelSession 1\ncurrent x\n", "line 2: not a number");
    refused("QelSession 1\ncurrent -1\n", "line 2");
    refused("QelSession 1\ntab \ttitle\n", "line 2: a tab without an address");
    refused("QelSession 1\ntab http://a\ttit\\le\n", "line 2: unknown escape");
    refused("QelSession 1\ntab http://a\ttitle\\\n", "line 2: a lone");
    // A current tab past the end points at the first; unknown records of a
    // later version are passed over.
    TSession s = ParseSession("QelSession 1\ncurrent 7\nzoom 3\ntab http://a\tA\n");
    EXPECT_EQ(s.current, 0);
    ASSERT_EQ(s.tabs.size(), 1u);
}

TEST(Session, TabsComeBackAfterAKillOrAfterACleanEndWithSeveral) {
    TSession s;
    EXPECT_FALSE(ShouldRestore(s));
    s.tabs = {{"http://a", ""}};
    s.clean = true;
    EXPECT_FALSE(ShouldRestore(s));  // one tab, closed: an ordinary start
    s.clean = false;
    EXPECT_TRUE(ShouldRestore(s));
    s.tabs.push_back({"http://b", ""});
    s.clean = true;
    EXPECT_TRUE(ShouldRestore(s));
    EXPECT_EQ(SessionFileFor("/home/u/.config/QelBrowser.Ini"), "/home/u/.config/QelBrowser.Session");
    EXPECT_EQ(SessionFileFor("/a.b/QelBrowser"), "/a.b/QelBrowser.Session");
}

TEST(Session, AMissingFileIsEmptyAndABadOneNamesTheFile) {
    TempDir dir;
    EXPECT_TRUE(LoadSession(dir.path + "none.Session").tabs.empty());
    std::ofstream(dir.path + "bad.Session") << "QelSession 1\ncurrent many\n";
    try {
        LoadSession(dir.path + "bad.Session");
        ADD_FAILURE();
    } catch (const ESessionError& e) {
        EXPECT_NE(std::string(e.what()).find(dir.path + "bad.Session: line 2"), std::string::npos) << e.what();
    }
    SaveSession(dir.path + "s.Session", Sample());
    EXPECT_EQ(LoadSession(dir.path + "s.Session"), Sample());
}

// Run by the fault test below as a program of its own: saves the sample
// session over the file QEL_SESSION_SAVE names.
TEST(SessionFaults, SaveInAChildProcess) {
    const char* path = std::getenv("QEL_SESSION_SAVE");
    if (!path) GTEST_SKIP() << "run by KilledOrStarvedSavesLeaveTheOldOrTheNewSession";
    SaveSession(path, Sample());
}

TEST(SessionFaults, KilledOrStarvedSavesLeaveTheOldOrTheNewSession) {
#ifndef QEL_FAULT_SHIM
    GTEST_SKIP() << "no fault injector in this build";
#else
    TempDir dir;
    const std::string file = dir.path + "QelBrowser.Session";
    TSession old;
    old.tabs = {{"http://old", "Old"}};
    old.clean = true;
    const std::string oldText = SessionText(old);
    const std::string newText = SessionText(Sample());
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    auto run = [&](const std::string& fault) {
        SaveSession(file, old);
        std::string cmd = "QEL_SESSION_SAVE=" + file + " QEL_FAULT=" + fault + " QEL_FAULT_LOG=" + dir.path +
                          "count LD_PRELOAD=" QEL_FAULT_SHIM " " + self +
                          " --gtest_filter=SessionFaults.SaveInAChildProcess >/dev/null 2>&1";
        return std::system(cmd.c_str());
    };
    ASSERT_EQ(run("count"), 0);
    EXPECT_EQ(Slurp(file), newText);
    const int steps = std::stoi(Slurp(dir.path + "count"));
    ASSERT_GT(steps, 0);
    for (int k = 1; k <= steps; ++k) {
        for (const char* fault : {"kill", "enospc"}) {
            run(std::string(fault) + ":" + std::to_string(k));
            std::string now = Slurp(file);
            EXPECT_TRUE(now == oldText || now == newText) << fault << " at step " << k << ": " << now;
            EXPECT_NO_THROW(LoadSession(file)) << fault << " at step " << k;
        }
    }
#endif
}

} // namespace

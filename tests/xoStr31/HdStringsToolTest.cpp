// The hdstrings command line on real files.
#include "HdStringsTool.h"
#include "TempFolder.h"
#include "xoStr31/HdStrings.h"

#include <gtest/gtest.h>

#include <sstream>

using hdtest::ReadFile;
using hdtest::TempFolder;
using hdtest::WriteFile;

namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

Result Tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = hdstrings::Run(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace

TEST(HdStringsTool, ReadsAndChangesInPlace) {
    TempFolder dir;
    std::string f = dir / "list.txt";
    WriteFile(f, "pear\r\napple\r\n\r\nPlum");
    EXPECT_EQ(Tool({"count", f}).out, "4\n");
    EXPECT_EQ(Tool({"get", f, "1"}).out, "apple\n");
    EXPECT_EQ(Tool({"get", f, "9"}).err, "hdstrings: no entry 9: " + f + " has 4 entries, counted from 0\n");
    EXPECT_EQ(Tool({"sort", f}).out, "2\n1\n0\n3\n");
    EXPECT_EQ(Tool({"find", f, "PLUM"}).out, "-1\n");
    EXPECT_EQ(Tool({"find", f, "PLUM", "--ignore-case"}).out, "3\n");
    EXPECT_EQ(Tool({"find", f, "pear", "1", "3"}).out, "-1\n");

    EXPECT_EQ(Tool({"index", f}).out, "4\n");
    EXPECT_TRUE(platform::FileExists(dir / "list.Rni"));

    EXPECT_EQ(Tool({"insert", f, "0", "fig"}).code, 0);
    EXPECT_EQ(ReadFile(f), "fig\r\npear\r\napple\r\n\r\nPlum");
    EXPECT_EQ(Tool({"put", f, "4", "plum"}).code, 0);
    EXPECT_EQ(Tool({"delete", f, "3"}).code, 0);
    EXPECT_EQ(ReadFile(f), "fig\r\npear\r\napple\r\nplum\r\n");
    // The entry table followed every change.
    xoStr31::THdStrings check;
    ASSERT_TRUE(check.Open(f, false) && check.LoadIndex(f));
    EXPECT_EQ(check.GetCount(), 4);
    EXPECT_EQ(check.Get(3), "plum");
    EXPECT_EQ(Tool({"insert", f, "-1", "end"}).code, 0);
    EXPECT_EQ(Tool({"get", f, "4"}).out, "end\n");
}

TEST(HdStringsTool, FailuresExitWithOne) {
    TempFolder dir;
    std::string f = dir / "l.txt";
    WriteFile(f, "a\r\n");
    EXPECT_EQ(Tool({"count", dir / "none.txt"}).code, 1);
    EXPECT_FALSE(platform::FileExists(dir / "none.txt"));
    EXPECT_EQ(Tool({"frobnicate", f}).code, 1);
    EXPECT_EQ(Tool({"get", f}).code, 1);
    EXPECT_EQ(Tool({"get", f, "x"}).code, 1);
    EXPECT_EQ(Tool({"delete", f, "5"}).code, 1);
    EXPECT_EQ(Tool({"put", f, "-1", "q"}).code, 1);
    EXPECT_EQ(ReadFile(f), "a\r\n");
    EXPECT_EQ(Tool({}).code, 1);
    auto help = Tool({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* word : {"count", "get", "insert", "put", "delete", "find", "sort", "index", "--lf", "--"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// The hdstrings command line on real files.
#include "ToolRun.h"
#include "common/TempFolder.h"
#include "xoStr31/HdStrings.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>

using qeltest::ReadFile;
using hdtest::Tool;
using qeltest::TempFolder;
using qeltest::WriteFile;


TEST(HdStringsTool, ReadsAndChangesInPlace) {
    TempFolder dir;
    std::string f = dir / "list.txt";
    WriteFile(f, "pear\r\napple\r\n\r\nPlum");
    EXPECT_EQ(Tool({"count", f}).out, "4\n");
    EXPECT_EQ(Tool({"get", f, "1"}).out, "apple\n");
    EXPECT_EQ(Tool({"get", f, "9"}).err, "hdstrings: no entry 9: " + f + " has 4 entries, counted from 0\n");
    EXPECT_EQ(Tool({"--order=list", "sort", f}).out, "2\n1\n0\n3\n");
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
    EXPECT_EQ(Tool({"insert", f, "9", "end"}).code, 0);
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

// Names are used as given: wildcard characters, brackets and blanks name
// files like any other letter, a read never makes or empties a file, and
// the entry table never lands on a data file or on someone's own file.
TEST(HdStringsTool, NamesAreNames) {
    TempFolder dir;
    WriteFile(dir / "list1.txt", "decoy\r\n");
    WriteFile(dir / "ab.txt", "decoy\r\n");
    for (const char* name : {"list[1].txt", " lead.txt", "trail.txt ", "a*b.txt", "a?.txt"}) {
        const std::string f = dir / name;
        WriteFile(f, "x\r\ny\r\n");
        EXPECT_EQ(Tool({"count", f}).out, "2\n") << name;
        EXPECT_EQ(Tool({"put", f, "1", "z"}).code, 0) << name;
        EXPECT_EQ(ReadFile(f), "x\r\nz\r\n") << name;
        EXPECT_EQ(Tool({"put", f + "-missing", "0", "q"}).err,
                  "hdstrings: " + f + "-missing: not found\n") << name;
        EXPECT_FALSE(platform::FileExists(f + "-missing")) << name;
    }
    EXPECT_EQ(ReadFile(dir / "list1.txt"), "decoy\r\n");
    EXPECT_EQ(ReadFile(dir / "ab.txt"), "decoy\r\n");
    EXPECT_EQ(Tool({"delete", dir / "none.txt", "0"}).err, "hdstrings: " + (dir / "none.txt") + ": not found\n");
    EXPECT_FALSE(platform::FileExists(dir / "none.txt"));

    // A data file named *.Rni gets its table as *.Rni.Rni.
    WriteFile(dir / "x.Rni", "data\r\n");
    EXPECT_EQ(Tool({"index", dir / "x.Rni"}).out, "1\n");
    EXPECT_EQ(ReadFile(dir / "x.Rni"), "data\r\n");
    EXPECT_EQ(ReadFile(dir / "x.Rni.Rni").substr(0, 5), "VsInd");
    // A file of the table's name that is no table is never written over.
    WriteFile(dir / "own.txt", "a\r\n");
    WriteFile(dir / "own.Rni", "my notes");
    EXPECT_EQ(Tool({"index", dir / "own.txt"}).code, 1);
    EXPECT_EQ(ReadFile(dir / "own.Rni"), "my notes");
}

TEST(HdStringsTool, EachErrorNamesItsCause) {
    TempFolder dir;
    const std::string f = dir / "l.txt";
    WriteFile(f, "a\r\nb\r\n");
    EXPECT_EQ(Tool({"count", dir.Path()}).err, "hdstrings: " + dir.Path() + ": not a regular file\n");
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(Tool({"count", fifo}).err, "hdstrings: " + fifo + ": not a regular file\n");  // and no hang
    {
        xoStr31::THdStrings holder;
        holder.SetParam(0, 2);
        ASSERT_TRUE(holder.Open(f, false));
        EXPECT_EQ(Tool({"insert", f, "0", "c"}).err, "hdstrings: " + f + ": in use by another program\n");
    }
    auto broken = Tool({"insert", f, "0", "two\nlines"});
    EXPECT_EQ(broken.err, "hdstrings: the text holds a line end (CR or LF); an entry is one line\n");
    EXPECT_EQ(Tool({"put", f, "0", "cr\r"}).code, 1);
    // Before "--", a text that looks like an option is one.
    EXPECT_EQ(Tool({"insert", f, "0", "--lf"}).err, "hdstrings: wrong number of arguments for insert\n");
    EXPECT_EQ(ReadFile(f), "a\r\nb\r\n");
    EXPECT_EQ(Tool({"--yes", "count", f}).err, "hdstrings: unknown option --yes (see --help)\n");
    // After "--" every word is a word.
    EXPECT_EQ(Tool({"insert", "--", f, "0", "--lf"}).code, 0);
    EXPECT_EQ(Tool({"get", f, "0"}).out, "--lf\n");
    EXPECT_EQ(ReadFile(f), "--lf\r\na\r\nb\r\n");
}

// The command table and the error printer the command-line tools share:
// lookups by whole name only, argument counts at their bounds, and each
// message style line for line.
#include "common/Commands.h"

#include <gtest/gtest.h>

#include <sstream>

using tools::TCommand;
using tools::TCommandTable;
using tools::TErrorPrinter;

TEST(ToolCommands, FindsOnlyTheWholeNameAndRunsThatEntry) {
    std::string ran;
    auto note = [&ran](const char* name) {
        return [&ran, name](const tools::Args& a) {
            ran = name + std::to_string(a.size());
            return 7;
        };
    };
    const TCommandTable table({{.name = "get", .run = note("get")}, {.name = "get-list", .run = note("get-list")}});
    EXPECT_EQ(table.Find("ge"), nullptr);
    EXPECT_EQ(table.Find("GET"), nullptr);
    EXPECT_EQ(table.Find("get-"), nullptr);
    EXPECT_EQ(table.Find(""), nullptr);
    ASSERT_NE(table.Find("get-list"), nullptr);
    EXPECT_EQ(table.Find("get-list")->run({"a", "b"}), 7);
    EXPECT_EQ(ran, "get-list2");
    EXPECT_EQ(table.Find("get")->run({}), 7);
    EXPECT_EQ(ran, "get0");
}

TEST(ToolCommands, ArgumentCountsHoldAtBothBounds) {
    const TCommand fixed{.name = "put", .minArgs = 3, .maxArgs = 3};
    EXPECT_FALSE(fixed.Takes(2));
    EXPECT_TRUE(fixed.Takes(3));
    EXPECT_FALSE(fixed.Takes(4));
    const TCommand open{.name = "set-list", .minArgs = 3};
    EXPECT_FALSE(open.Takes(0));
    EXPECT_TRUE(open.Takes(3));
    EXPECT_TRUE(open.Takes(100000));
    EXPECT_TRUE(TCommand{}.Takes(0));
}

TEST(ToolCommands, PrintersKeepEachToolsStyle) {
    std::ostringstream named, bare;
    const TErrorPrinter tool(named, "hdstrings", true), gif(bare, "qelgif", false);
    tool.Error("missing command or file (see --help)");
    tool.Warning("a.txt: the table is stale");
    tool.Error("not found", "a.txt");
    EXPECT_EQ(named.str(),
              "hdstrings: missing command or file (see --help)\n"
              "hdstrings: warning: a.txt: the table is stale\n"
              "hdstrings: a.txt: not found\n");
    gif.Usage("info takes one FILE", "info FILE");
    gif.Usage("--frame wants a number", "decode FILE OUT [--frame N]", "x.gif");
    gif.Error("3 of 4 files failed and were left as they were");
    EXPECT_EQ(bare.str(),
              "info takes one FILE\nusage: qelgif info FILE\n"
              "x.gif: --frame wants a number\nusage: qelgif decode FILE OUT [--frame N]\n"
              "3 of 4 files failed and were left as they were\n");
}

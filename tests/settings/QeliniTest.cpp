// The command-line tool, run as a program on temporary files.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <sys/wait.h>

using settings_test::ReadFile;
using settings_test::TempDir;
using settings_test::WriteFile;

namespace {

struct Result {
    int status;
    std::string out;
};

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

Result Qelini(std::initializer_list<std::string> args) {
    // A fixed locale, so numbers print with a "." whatever the user has.
    std::string cmd = "LC_ALL=C " + Quoted(QELINI_PATH);
    for (const auto& a : args) cmd += " " + Quoted(a);
    cmd += " 2>/dev/null";
    Result r{-1, {}};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

class QeliniTool : public ::testing::Test {
protected:
    TempDir dir;
    std::string file = dir / "t.Ini";
};

} // namespace

TEST_F(QeliniTool, SetAndGetTypedValues) {
    EXPECT_EQ(Qelini({"set", file, "Web010", "Left", "$10", "--kind", "int"}).status, 0);
    EXPECT_EQ(Qelini({"set", file, "", "Home", "http://a/ ; x", "--to-eol"}).status, 0);
    EXPECT_EQ(Qelini({"set", file, "Web010", "Zoom", "1.5", "--kind", "float"}).status, 0);
    EXPECT_EQ(Qelini({"set", file, "Web010", "Bar", "0", "--kind", "bool"}).status, 0);
    EXPECT_EQ(ReadFile(file), "Home=http://a/ ; x\r\n[Web010]\r\nLeft=16\r\nZoom=1.5\r\nBar=0\r\n");

    EXPECT_EQ(Qelini({"get", file, "web010", "LEFT", "--kind", "int"}).out, "16\n");
    EXPECT_EQ(Qelini({"get", file, "", "Home"}).out, "http://a/\n");
    EXPECT_EQ(Qelini({"get", file, "", "Home", "--to-eol"}).out, "http://a/ ; x\n");
    EXPECT_EQ(Qelini({"get", file, "Web010", "Zoom", "--kind", "float"}).out, "1.5\n");
    EXPECT_EQ(Qelini({"get", file, "Web010", "Bar", "--kind", "bool"}).out, "0\n");
    EXPECT_EQ(Qelini({"get", file, "Web010", "Missing", "--kind", "bool"}).out, "0\n");
    EXPECT_EQ(Qelini({"get", file, "Web010", "Missing", "--default", "7", "--kind", "int"}).out, "7\n");
    EXPECT_EQ(Qelini({"get", file, "Web010", "Missing"}).out, "\n");
}

TEST_F(QeliniTool, FindPrintsTheFourNumbers) {
    WriteFile(file, "a=1\r\n[S]\r\nk=1\r\nk : 2\r\n[T]\r\n");
    EXPECT_EQ(Qelini({"find", file, "S", "k"}).out, "2 2 4 2\n");
    EXPECT_EQ(Qelini({"find", file, "S", "K", "--occurrence", "2", "--options", "1"}).out, "3 2 4 3\n");
    EXPECT_EQ(Qelini({"find", file, "S", "x"}).out, "-1 2 4 0\n");
    EXPECT_EQ(Qelini({"find", file, "", ""}).out, "-1 0 1 0\n");
    EXPECT_EQ(Qelini({"find", dir / "missing.Ini", "S", "k"}).status, 0);
}

TEST_F(QeliniTool, ListsWithAndWithoutIntegers) {
    EXPECT_EQ(Qelini({"set-list", file, "L", "u", "--ints", "a", "1", "b c", "-2", "d", "3"}).status, 0);
    EXPECT_EQ(Qelini({"get-list", file, "L", "u", "--ints"}).out, "a\t1\nb c\t-2\nd\t3\n");
    EXPECT_EQ(Qelini({"set-list", file, "L", "u", "--keep-stale", "x"}).status, 0);
    EXPECT_EQ(Qelini({"get-list", file, "L", "u"}).out, "x\nb c | -2\nd | 3\n");
    EXPECT_EQ(Qelini({"set-list", file, "L", "u", "y"}).status, 0);
    EXPECT_EQ(ReadFile(file), "[L]\r\nu#0=y\r\n");
}

TEST_F(QeliniTool, ErrorsExitWithOneAndLeaveTheFile) {
    WriteFile(file, "[S]\nk=abc\n");
    EXPECT_EQ(Qelini({"get", file, "S", "k", "--kind", "int"}).status, 1);
    EXPECT_EQ(Qelini({"set", file, "S", "k", "12x", "--kind", "int"}).status, 1);
    EXPECT_EQ(Qelini({"set-list", file, "S", "k", "--ints", "a"}).status, 1);
    EXPECT_EQ(Qelini({"get", file, "S"}).status, 1);
    EXPECT_EQ(Qelini({"frob", file}).status, 1);
    EXPECT_EQ(Qelini({"get", file, "S", "k", "--bogus"}).status, 1);
    EXPECT_EQ(Qelini({"get", dir.path, "S", "k"}).status, 1);
    // A file missing from its folder reads as empty; a path that cannot be
    // reached is an error, not the default.
    EXPECT_EQ(Qelini({"get", dir / "none.Ini", "S", "k", "--default", "d"}).out, "d\n");
    EXPECT_EQ(Qelini({"get", dir / "no/such/t.Ini", "S", "k", "--default", "d"}).status, 1);
    WriteFile(dir / "plain", "x");
    EXPECT_EQ(Qelini({"get", dir / "plain/t.Ini", "S", "k"}).status, 1);
    EXPECT_EQ(ReadFile(file), "[S]\nk=abc\n");  // only writing commands write
    Result help = Qelini({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("set-list"), std::string::npos);
}

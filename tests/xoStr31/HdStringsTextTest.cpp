// Text files as people keep them: LF, CR LF and mixed line ends through
// every command against a plain model of lines, and the search against grep
// with and without letter case.
#include "ToolRun.h"
#include "LineModel.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <sys/wait.h>

using qeltest::ReadFile;
using hdtest::Tool;
using qeltest::TempFolder;
using hdtest::TLines;
using qeltest::WriteFile;

namespace {

// grep's answer as the list counts: the first matching line from 0, or -1.
int Grep(const std::string& options, const std::string& text, const std::string& file) {
    std::string cmd = "LC_ALL=C.UTF-8 grep " + options + " -m1 -e '" + text + "' '" + file + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[256] = {};
    bool got = std::fgets(buf, sizeof buf, p) != nullptr;
    ::pclose(p);
    return got ? std::atoi(buf) - 1 : -1;
}

} // namespace

// Random files of each kind and random commands; after each, the file's
// bytes and every answer are the model's.
TEST(HdStringsText, LineEndsOfEveryKindAgainstPlainModel) {
    TempFolder dir;
    const std::string f = dir / "t.txt";
    std::mt19937 rng(5);
    const std::vector<std::string> pieces = {"a", "b", "Zz", " ", "\r", "\n", "\r\n", "é"};
    for (int round = 0; round < 40; ++round) {
        std::string bytes;
        int n = int(rng() % 30);
        for (int i = 0; i < n; ++i) bytes += pieces[rng() % pieces.size()];
        WriteFile(f, bytes);
        for (int step = 0; step < 12; ++step) {
            TLines model(bytes);
            const int count = int(model.lines.size());
            ASSERT_EQ(Tool({"count", f}).out, std::to_string(count) + "\n") << round << " [" << bytes << "]";
            std::string text = std::string(1 + rng() % 3, char('p' + rng() % 4));
            int i = count ? int(rng() % count) : 0;
            switch (rng() % 5) {
            case 0:
                if (count) {
                    ASSERT_EQ(Tool({"get", f, std::to_string(i)}).out, model.lines[size_t(i)] + "\n");
                }
                break;
            case 1: {
                int at = int(rng() % (count + 2));
                ASSERT_EQ(Tool({"insert", f, std::to_string(at), text}).code, 0);
                bytes = model.Edited("insert", at, text);
                break;
            }
            case 2:
                if (!count) break;
                ASSERT_EQ(Tool({"put", f, std::to_string(i), text}).code, 0);
                bytes = model.Edited("put", i, text);
                break;
            case 3:
                if (!count) break;
                ASSERT_EQ(Tool({"delete", f, std::to_string(i)}).code, 0);
                bytes = model.Edited("delete", i, text);
                break;
            default: {
                auto found = std::find(model.lines.begin(), model.lines.end(), text);
                int expected = found == model.lines.end() ? -1 : int(found - model.lines.begin());
                ASSERT_EQ(Tool({"find", f, text}).out, std::to_string(expected) + "\n");
                ASSERT_EQ(Tool({"index", f}).out, std::to_string(count) + "\n");
            }
            }
            ASSERT_EQ(ReadFile(f), bytes) << "round " << round << " step " << step;
        }
    }
    // A file without any line end takes CR LF, or LF when asked.
    WriteFile(f, "");
    Tool({"insert", f, "0", "x"});
    EXPECT_EQ(ReadFile(f), "x\r\n");
    WriteFile(f, "y");
    Tool({"--lf", "insert", f, "1", "x"});
    EXPECT_EQ(ReadFile(f), "y\nx\n");
    // A table of the other kind is stale even with the file's time: the
    // file is scanned as it is.
    WriteFile(f, "a\r\nb\r\n");
    Tool({"index", f});
    WriteFile(f, "\nab\r\n");  // the same size, an LF file now
    timespec access{}, modification{};
    platform::GetFileTimes(f, access, modification);
    platform::SetFileTimes(dir / "t.Rni", access, modification);
    EXPECT_EQ(Tool({"get", f, "0"}).out, "\n");
    EXPECT_EQ(Tool({"get", f, "1"}).out, "ab\r\n");
}

// find answers what grep -Fxn (and -Fxin for case folding) finds first.
TEST(HdStringsText, SearchAgreesWithGrep) {
    TempFolder dir;
    const std::string f = dir / "words.txt";
    const std::vector<std::string> words = {"école", "ÉCOLE", "École", "Straße", "STRASSE", "ωμέγα", "ΩΜΈΓΑ",
                                            "жук", "ЖУК", "plain", "PLAIN", "plain ", "pla", "naïve", "NAÏVE"};
    std::mt19937 rng(9);
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes += words[rng() % (words.size() - 4)] + "\n";
    bytes += "NAÏVE\nnaïve\n";
    WriteFile(f, bytes);
    for (const auto& w : words) {
        EXPECT_EQ(Tool({"find", f, w}).out, std::to_string(Grep("-Fxn", w, f)) + "\n") << w;
        EXPECT_EQ(Tool({"--ignore-case", "find", f, w}).out, std::to_string(Grep("-Fxin", w, f)) + "\n") << w;
    }
    // From and to: a range past the first match finds the next.
    int first = Grep("-Fxn", "PLAIN", f);
    ASSERT_GE(first, 0);
    std::string next = Tool({"find", f, "PLAIN", std::to_string(first + 1)}).out;
    EXPECT_GT(std::atoi(next.c_str()), first);
    EXPECT_EQ(Tool({"find", f, "PLAIN", "0", std::to_string(first - 1)}).out, "-1\n");
}

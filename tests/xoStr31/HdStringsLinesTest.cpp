// The command line's view of a file: every byte of a line counts, indexes
// are plain decimal, sort's orders are total and agree with GNU sort, case
// folding agrees with grep -i in the same locale, and on a terminal no
// answer ever shares a line with a progress bar.
#include "ToolRun.h"
#include "common/Spawn.h"
#include "common/TempFolder.h"
#include "common/ProgressBar.h"
#include "xoStr31/HdStrings.h"
#include "xoStr31/TextMatcher.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <locale.h>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>
#include <wctype.h>

using qeltest::ReadFile;
using qeltest::TempFolder;
using hdtest::Tool;
using qeltest::WriteFile;

namespace {

std::string Shell(const std::string& command) { return qeltest::Shell(command).out; }

// The environment that puts the real program (or grep, or sort) in a
// locale made for the tests.
std::string InLocale(const std::string& name) {
    return std::string("LOCPATH=") + QEL_TEST_LOCALES + " LC_ALL=" + name + " ";
}

bool HaveLocale(const std::string& name) {
    return platform::FileExists(std::string(QEL_TEST_LOCALES) + "/" + name + "/LC_COLLATE");
}

std::vector<int> Numbers(const std::string& text) {
    std::vector<int> v;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        v.push_back(std::atoi(text.substr(at, end - at).c_str()));
        at = end + 1;
    }
    return v;
}

std::string Joined(const std::vector<std::string>& lines, const std::vector<int>& order) {
    std::string s;
    for (int i : order) s += lines[size_t(i)] + "\n";
    return s;
}

// Lines as people's files hold them: words in either case, signs that the
// list's own order counts as equal ("[" and "{"), JSON, accents, blanks,
// tabs, digits, a CR or a zero byte inside, empty and repeated lines.
std::vector<std::string> MixedLines(size_t n, unsigned seed) {
    const std::vector<std::string> pieces = {"a", "A", "b", "B", "z", "Z", "_", "[", "{", "]", "}", "\"", "id", ":",
                                             "1", "10", "2", " ", "\t", "é", "É", "e", "E", "ß", "SS", "ä", "Ä",
                                             "-", "/", "x\ry", std::string("n\0m", 3), "ω", "Ω"};
    const std::vector<std::string> whole = {"{\"id\":1}", "[\"x\"]", "", "", "apple", "Apple", "APPLE", "a b", "ab"};
    std::mt19937 rng(seed);
    std::vector<std::string> lines;
    for (size_t i = 0; i < n; ++i) {
        const unsigned kind = rng() % 100;
        if (kind < 15) {
            lines.push_back(whole[rng() % whole.size()]);
        } else if (kind < 20 && !lines.empty()) {
            lines.push_back(lines[rng() % lines.size()]);
        } else {
            std::string line;
            for (unsigned k = rng() % 7; k > 0; --k) line += pieces[rng() % pieces.size()];
            lines.push_back(line);
        }
    }
    return lines;
}

// A terminal's screen after some output: CR goes back to the start of the
// line, everything else overwrites what stands there.
std::vector<std::string> Screen(const std::string& output) {
    std::vector<std::string> lines(1);
    size_t column = 0;
    for (char c : output) {
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            lines.emplace_back();
            column = 0;
        } else {
            std::string& line = lines.back();
            if (line.size() <= column) line.resize(column + 1, ' ');
            line[column++] = c;
        }
    }
    for (auto& line : lines) line.erase(line.find_last_not_of(' ') + 1);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

// The command run with standard output and error on one terminal, its bars
// shown at once; what the terminal received.
std::string OnTerminal(const std::vector<std::string>& args) {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    ::grantpt(master);
    ::unlockpt(master);
    const std::string slaveName = ::ptsname(master);
    pid_t pid = ::fork();
    if (pid == 0) {
        int slave = ::open(slaveName.c_str(), O_RDWR);
        ::dup2(slave, STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
        ::close(slave);
        ::close(master);
        // Line by line, as the C library writes to a terminal from the start.
        std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
        tools::TProgressBar::SetShowAfter(std::chrono::milliseconds(0));
        int code = hdstrings::Run(args, std::cout, std::cerr);
        std::cout.flush();
        std::fflush(nullptr);
        ::_exit(code);
    }
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) got.append(buf, size_t(n));
    ::waitpid(pid, nullptr, 0);
    ::close(master);
    return got;
}

} // namespace

// Zero bytes belong to their line for get and find; an empty text finds an
// empty line, as grep -x '' does. The library's own search keeps its rule
// that a text ends at its first zero byte.
TEST(HdStringsLines, EveryByteOfALineCounts) {
    TempFolder dir;
    for (const std::string end : {"\n", "\r\n"}) {
        const std::string f = dir / "z.txt";
        const std::string bytes = std::string("ab\0cd", 5) + end + "ab" + end + end + "x";
        WriteFile(f, bytes);
        EXPECT_EQ(Tool({"get", f, "0"}).out, std::string("ab\0cd\n", 6));
        EXPECT_EQ(Tool({"find", f, "ab"}).out, "1\n");
        EXPECT_EQ(Tool({"--ignore-case", "find", f, "AB"}).out, "1\n");
        EXPECT_EQ(Tool({"find", f, ""}).out, "2\n");
        if (end == "\n") {
            EXPECT_EQ(Shell("grep -axn '' " + f), "3:\n");
        }
        EXPECT_EQ(Tool({"find", f, "", "3"}).out, "-1\n");
        EXPECT_EQ(Tool({"--ignore-case", "find", f, ""}).out, "2\n");
        xoStr31::THdStrings list;
        list.SetParam(0, 2);
        ASSERT_TRUE(list.Open(f, true));
        EXPECT_EQ(list.IndexOfRange("ab", 0, -1), 0);
        EXPECT_EQ(list.IndexOfRange("", 0, -1), -1);
        EXPECT_EQ(ReadFile(f), bytes);
    }
    const std::string none = dir / "none.txt";
    WriteFile(none, "a\nb\n");
    EXPECT_EQ(Tool({"find", none, ""}).out, "-1\n");
    // An empty line found before anything else was read.
    for (const std::string bytes : {"\r\n", "\nx\n"}) {
        WriteFile(none, bytes);
        EXPECT_EQ(Tool({"find", none, ""}).out, "0\n");
    }
}

// Anything but decimal digits is refused before the file is touched.
TEST(HdStringsLines, IndexesArePlainDecimal) {
    TempFolder dir;
    const std::string f = dir / "l.txt";
    WriteFile(f, "a\nb\n");
    for (const std::string bad : {"0x1", "$1", "+1", " 1", "1 ", "1e3", "-1", "", "1.0", "4294967297", "2147483648"}) {
        const std::string message =
            "hdstrings: not an index: '" + bad + "' (entries are counted from 0, in decimal digits)\n";
        EXPECT_EQ(Tool({"get", f, bad}).err, message);
        EXPECT_EQ(Tool({"put", f, bad, "q"}).err, message);
        EXPECT_EQ(Tool({"insert", "--", f, bad, "q"}).err, message);
        EXPECT_EQ(Tool({"delete", "--", f, bad}).err, message);
        EXPECT_EQ(Tool({"find", f, "a", bad}).err, message);
        EXPECT_EQ(Tool({"find", f, "a", "0", bad}).code, 1);
    }
    EXPECT_EQ(ReadFile(f), "a\nb\n");
    // insert makes a missing file, but not for an index it refuses.
    EXPECT_EQ(Tool({"insert", dir / "new.txt", "0x1", "q"}).code, 1);
    EXPECT_FALSE(platform::FileExists(dir / "new.txt"));
    EXPECT_EQ(Tool({"get", f, "01"}).out, "b\n");
    EXPECT_EQ(Tool({"insert", f, "2147483647", "c"}).code, 0);
    EXPECT_EQ(ReadFile(f), "a\nb\nc\n");
}

// Both total orders give what GNU sort gives in the same locale, sorted
// output stays as it is, equal lines keep their file order; the default
// is the locale's order. The list's own order is not one of them.
TEST(HdStringsLines, SortOrdersAgreeWithGnuSort) {
    TempFolder dir;
    const std::string f = dir / "mixed.txt";
    const std::string sorted = dir / "sorted.txt";
    const std::string tool = HDSTRINGS_TOOL;
    const std::vector<std::string> lines = MixedLines(3000, 17);
    WriteFile(f, Joined(lines, [&] {
                  std::vector<int> all(lines.size());
                  for (size_t i = 0; i < all.size(); ++i) all[i] = int(i);
                  return all;
              }()));

    struct Case {
        std::string env, option, sortEnv;
    };
    std::vector<Case> cases = {{"LC_ALL=C.UTF-8 ", "--order=bytes", "LC_ALL=C "},
                               {"LC_ALL=C.UTF-8 ", "", "LC_ALL=C "},
                               {InLocale("en_US.UTF-8"), "--order=bytes", "LC_ALL=C "}};
    if (HaveLocale("en_US.UTF-8"))
        cases.push_back({InLocale("en_US.UTF-8"), "", InLocale("en_US.UTF-8")});
    else
        ADD_FAILURE() << "no test locale en_US.UTF-8 in " << QEL_TEST_LOCALES << " (the locales package makes it)";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.env + c.option);
        const std::vector<int> order = Numbers(Shell(c.env + tool + " " + c.option + " sort " + f));
        ASSERT_EQ(order.size(), lines.size());
        const std::string text = Joined(lines, order);
        const std::string expected = Shell(c.sortEnv + "sort " + f);
        if (text != expected) {
            // The first line that differs, not 3,000 of them.
            size_t at = 0;
            while (at < text.size() && text[at] == expected[at]) ++at;
            at = text.rfind('\n', at) + 1;
            ADD_FAILURE() << "from byte " << at << ": ours " << testing::PrintToString(text.substr(at, 40))
                          << ", sort " << testing::PrintToString(expected.substr(at, 40));
        }
        for (size_t k = 1; k < order.size(); ++k) {
            if (lines[size_t(order[k])] == lines[size_t(order[k - 1])]) {
                EXPECT_LT(order[k - 1], order[k]);
            }
        }
        WriteFile(sorted, text);
        const std::vector<int> again = Numbers(Shell(c.env + tool + " " + c.option + " sort " + sorted));
        for (size_t k = 0; k < again.size(); ++k) ASSERT_EQ(again[k], int(k)) << "sorted output moved";
    }

    // Bytes the collation passes over (stray UTF-8 pieces) still give one
    // order whatever order the lines come in.
    if (HaveLocale("en_US.UTF-8")) {
        std::vector<std::string> stray = {"\xff", "\x80", "\xc3", "a\x80", "a", "A", "a\xff"};
        std::string first;
        for (int round = 0; round < 6; ++round) {
            std::shuffle(stray.begin(), stray.end(), std::mt19937(unsigned(round)));
            std::vector<int> all(stray.size());
            for (size_t i = 0; i < all.size(); ++i) all[i] = int(i);
            WriteFile(sorted, Joined(stray, all));
            const std::string out = Joined(stray, Numbers(Shell(InLocale("en_US.UTF-8") + tool + " sort " + sorted)));
            if (round == 0) first = out;
            EXPECT_EQ(out, first) << round;
        }
    }

    // The list's order counts "{" and "[" as equal, so these keep their
    // file order there and only there.
    const std::string json = dir / "json.txt";
    WriteFile(json, "{\"id\":1}\n[\"x\"]\n");
    EXPECT_EQ(Tool({"--order=list", "sort", json}).out, "1\n0\n");
    EXPECT_EQ(Tool({"--order=bytes", "sort", json}).out, "1\n0\n");
    WriteFile(json, "[\"x\"]\n{\"id\":1}\n");
    EXPECT_EQ(Tool({"--order=list", "sort", json}).out, "1\n0\n");
    EXPECT_EQ(Tool({"--order=bytes", "sort", json}).out, "0\n1\n");
    EXPECT_EQ(Tool({"--order=sideways", "sort", json}).err, "hdstrings: unknown order sideways (locale, bytes or list)\n");
}

// Every letter with a case of its own in Latin, Greek and Cyrillic, and the
// odd ones (long s, Kelvin sign, micro sign, title case, capital sharp s):
// find --ignore-case matches exactly the lines grep -Fxi matches.
TEST(HdStringsLines, CaseFoldingAgreesWithGrep) {
    ::setenv("LC_ALL", "C.UTF-8", 1);  // before the matcher's first use in this process
    locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    ASSERT_TRUE(utf8);
    std::vector<std::string> chars;
    auto add = [&](wchar_t c) {
        char buf[8];
        mbstate_t state{};
        locale_t old = ::uselocale(utf8);
        size_t n = std::wcrtomb(buf, c, &state);
        ::uselocale(old);
        if (n != size_t(-1)) chars.emplace_back(buf, n);
    };
    for (wchar_t c = 0x41; c < 0x530; ++c)
        if (towupper_l(wint_t(c), utf8) != wint_t(c) || towlower_l(wint_t(c), utf8) != wint_t(c)) add(c);
    for (wchar_t c : {0x1E9E, 0x1E9B, 0x1FBE, 0x2126, 0x212A, 0x212B, 0x1E60, 0x1E61}) add(c);
    ::freelocale(utf8);

    TempFolder dir;
    const std::string f = dir / "letters.txt";
    std::string bytes;
    for (const auto& c : chars) bytes += c + "\n";
    WriteFile(f, bytes);
    // grep for every letter in one shell: its line numbers, then a blank
    // line after each letter.
    std::string script = "export LC_ALL=C.UTF-8\n";
    for (const auto& q : chars) script += "grep -Fxin -e '" + q + "' " + f + "; echo\n";
    WriteFile(dir / "grep.sh", script);
    const std::string found = Shell("sh " + dir / "grep.sh");
    size_t at = 0;
    for (const auto& q : chars) {
        std::set<int> grep;
        for (size_t end; (end = found.find('\n', at)) != at; at = end + 1) {
            ASSERT_NE(end, std::string::npos);
            grep.insert(std::atoi(found.c_str() + at) - 1);
        }
        ++at;
        std::set<int> ours;
        xoStr31::TTextMatcher matcher(q, xoStr31::cfIgnoreCase, true);
        for (size_t i = 0; i < chars.size(); ++i)
            if (matcher.Matches(chars[i].data(), chars[i].size())) ours.insert(int(i));
        EXPECT_EQ(ours, grep) << q;
    }

    const std::string words = dir / "words.txt";
    WriteFile(words, "logos\nλόγος\nStraße\n");
    EXPECT_EQ(Tool({"--ignore-case", "find", words, "ΛΌΓΟΣ"}).out, "1\n");
    EXPECT_EQ(Tool({"--ignore-case", "find", words, "λόγοσ"}).out, "1\n");
    // The locale has no folding of sharp s to two letters; neither has grep.
    EXPECT_EQ(Tool({"--ignore-case", "find", words, "STRASSE"}).out, "-1\n");
    EXPECT_EQ(Shell("LC_ALL=C.UTF-8 grep -Fxic STRASSE " + words), "0\n");
}

// Letters of several forms pair as the locale says, as grep -i pairs them:
// the dotted and dotless i (Turkish i with İ and I with ı, elsewhere i, I
// and ı together), sigma and final sigma, sharp s against SS and the
// capital sharp s.
TEST(HdStringsLines, LettersOfSeveralFormsFollowTheLocale) {
    TempFolder dir;
    const std::string f = dir / "i.txt";
    const std::vector<std::string> letters = {"i", "I", "ı", "İ", "iI", "İı", "ß", "SS", "ss", "ẞ", "σ", "ς", "Σ"};
    std::string bytes;
    for (const auto& l : letters) bytes += l + "\n";
    WriteFile(f, bytes);
    std::vector<std::string> locales = {"C.UTF-8"};
    for (const char* name : {"tr_TR.UTF-8", "en_US.UTF-8"}) {
        if (HaveLocale(name))
            locales.push_back(name);
        else
            ADD_FAILURE() << "no test locale " << name << " in " << QEL_TEST_LOCALES;
    }
    for (const auto& locale : locales) {
        const std::string env = InLocale(locale);
        for (const auto& q : letters) {
            std::vector<int> ours;
            for (int from = 0;;) {
                int at = std::atoi(Shell(env + HDSTRINGS_TOOL + " --ignore-case find " + f + " '" + q + "' " +
                                         std::to_string(from)).c_str());
                if (at < 0) break;
                ours.push_back(at + 1);
                from = at + 1;
                if (from >= int(letters.size())) break;
            }
            EXPECT_EQ(ours, Numbers(Shell(env + "grep -Fxin -e '" + q + "' " + f + " | cut -d: -f1")))
                << locale << " " << q;
        }
    }
}

// Standard output and error on one terminal: each bar is erased before the
// answer or the message is written, so the screen holds just those.
TEST(HdStringsLines, ProgressBarIsGoneBeforeTheAnswer) {
    TempFolder dir;
    const std::string f = dir / "p.txt";
    WriteFile(f, "pear\napple\nfig\n");
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> screen;
    };
    const std::vector<Case> cases = {
        {{"count", f}, {"3"}},
        {{"sort", f}, {"1", "2", "0"}},
        {{"get", f, "1"}, {"apple"}},
        {{"find", f, "fig"}, {"2"}},
        {{"get", f, "7"}, {"hdstrings: no entry 7: " + f + " has 3 entries, counted from 0"}},
        {{"index", f}, {"3"}},
    };
    for (const auto& c : cases) {
        platform::DeleteFile(dir / "p.Rni");
        const std::string output = OnTerminal(c.args);
        // A count without a table counts line ends and needs no bar.
        if (c.args[0] != "count")
            EXPECT_NE(output.find("Indexing ["), std::string::npos) << c.args[0] << ": no bar was drawn";
        EXPECT_EQ(Screen(output), c.screen) << c.args[0];
    }
    const std::string sorting = OnTerminal({"sort", f});
    EXPECT_NE(sorting.find("Sorting ["), std::string::npos);
}

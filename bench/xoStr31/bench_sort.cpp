// The large string list's sort index beside std::stable_sort, in one run:
//   1. lines of real text (words of several scripts, capitals, punctuation,
//      numbers, some empty and repeated lines), made at run time into a
//      CR LF file: BuildSortIndex on the list working in the file, against
//      std::stable_sort of the same lines, once by plain byte comparison and
//      once by the case-folded order; processor time, the median of
//      several runs each;
//   2. the peak memory BuildSortIndex adds (a fresh process per run, the
//      resident high-water mark reset before the sort) against the file's
//      size plus 32 bytes per entry;
//   3. the records against the plain walk on the first lines of the file;
//   4. hdstrings sort in its two total orders against GNU sort on the same
//      lines as an LF file, one thread each: --order=bytes beside
//      LC_ALL=C sort, the locale's order beside sort in the environment's
//      locale; processor time of the processes (medians), and whether the
//      lines come out alike.
// Usage: bench_sort [lines] [runs] [walk-lines]   (1000000 5 20000)
// Files go under $TMPDIR (else /tmp) and are removed afterwards.
#include "common/BenchTiming.h"
#include "xoStr31/HdStrings.h"
#include "xoStr31/SortBytes.h"
#include "SortWalk.h"  // the quadratic definition, from the tests

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using bench::UpperMedian;

namespace {

// Processor time of this thread: the machine may be shared, and time
// another program had the processor does not count.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }
};
double Seconds(double since) { return Clock::now() - since; }

// ---- text ----

const char* const Syllables[] = {"ka", "lo", "mi", "ne", "ra", "tu", "ver", "sch", "tion", "ing", "the", "and", "qu",
                                 "str", "pl", "ow", "ea", "ch", "sh", "th", "o", "e", "a", "in", "er", "an", "re",
                                 "on", "at", "en", "nd", "ti", "es", "or", "te", "of", "ed", "is", "it", "al", "ar"};
const char* const Foreign[] = {"café", "naïve", "über", "Straße", "niño", "été", "Ångström", "smörgåsbord",
                               "façade", "crème", "jalapeño", "résumé", "Zürich", "ÉCOLE", "école", "Łódź",
                               "Ελλάδα", "αλφα", "Москва", "привет", "ПРИВЕТ", "日本語", "中文", "한국어",
                               "😀", "—", "…", "“quoted”", "€5", "±", "×", "÷", "Ÿ", "ÿ", "Þorn", "þorn"};
const char* const Marks[] = {",", ".", ";", ":", "!", "?", " -", ")", "'s", "\"", "_", "]", "/", "@", "#", "&",
                             "%", "*", "}", "~", "^", "`", "|", "\\"};
const char* const Openers[] = {"(", "[", "\"", "{", "<", "_", "'", "#", "$", "@"};

class TextMaker {
public:
    explicit TextMaker(uint64_t seed) : rng_(seed) {
        for (int i = 0; i < 40000; ++i) {
            std::string w;
            int n = 1 + int(rng_() % 4);
            for (int k = 0; k < n; ++k) w += Syllables[rng_() % (sizeof Syllables / sizeof *Syllables)];
            words_.push_back(w);
        }
    }
    std::string Line() {
        const unsigned kind = rng_() % 100;
        if (kind == 0) return {};
        if (kind < 4 && !lines_.empty()) return lines_[rng_() % lines_.size()];
        std::string line;
        const int tokens = 1 + int(rng_() % 14);
        for (int t = 0; t < tokens; ++t) {
            if (t) line += ' ';
            if (rng_() % 12 == 0) line += Openers[rng_() % (sizeof Openers / sizeof *Openers)];
            line += Token(t == 0);
            if (rng_() % 6 == 0) line += Marks[rng_() % (sizeof Marks / sizeof *Marks)];
        }
        if (lines_.size() < 5000) lines_.push_back(line);
        return line;
    }

private:
    std::string Token(bool first) {
        const unsigned kind = rng_() % 100;
        if (kind < 6) return Foreign[rng_() % (sizeof Foreign / sizeof *Foreign)];
        if (kind < 10) return std::to_string(rng_() % 100000);
        if (kind < 11) {
            char date[16];
            std::snprintf(date, sizeof date, "20%02d-%02d-%02d", int(rng_() % 30), 1 + int(rng_() % 12),
                          1 + int(rng_() % 28));
            return date;
        }
        // Zipf-like: a few words are very common.
        const double u = double(rng_() % 1000000) / 1000000.0;
        std::string w = words_[size_t(u * u * u * double(words_.size()))];
        if (kind < 13) {
            for (auto& c : w) c = char(std::toupper(uint8_t(c)));
        } else if (first || kind < 25) {
            w[0] = char(std::toupper(uint8_t(w[0])));
        }
        return w;
    }
    std::mt19937_64 rng_;
    std::vector<std::string> words_;
    std::vector<std::string> lines_;
};

// ---- memory ----

long StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Runs in a process of its own: opens the file in place, sorts, prints
// "<seconds> <peak growth in bytes> <entries>".
int SortChild(const char* path) {
    xoStr31::THdStrings list;
    list.SetParam(0, 2);
    if (!list.Open(path, true)) return 2;
    const long before = StatusKiB("VmRSS:");
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
    }
    auto t = Clock::now();
    list.Sort();
    const double took = Seconds(t);
    const long peak = StatusKiB("VmHWM:");
    if (list.SortIndex().size() != size_t(list.GetCount())) return 3;
    std::printf("%.6f %lld %d\n", took, (long long)(peak - before) * 1024, list.GetCount());
    return 0;
}

bool RunChild(const std::string& self, const std::string& path, double& seconds, double& growth) {
    const std::string command = "'" + self + "' --sort-child '" + path + "'";
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return false;
    long long bytes = 0;
    int entries = 0;
    const int got = std::fscanf(p, "%lf %lld %d", &seconds, &bytes, &entries);
    const int status = ::pclose(p);
    growth = double(bytes);
    return got == 3 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool FoldedLess(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const uint8_t x = xoStr31::SortBytes::Folded[uint8_t(a[i])], y = xoStr31::SortBytes::Folded[uint8_t(b[i])];
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

// Processor time (user and system) of a shell command and its children.
double CommandSeconds(const std::string& command) {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    if (std::system(command.c_str()) != 0) return -1;
    getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_stime);
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The tool's index list turned into its lines.
std::string LinesInOrder(const std::vector<std::string>& texts, const std::string& indexes) {
    std::string out;
    for (size_t at = 0; at < indexes.size();) {
        const size_t end = indexes.find('\n', at);
        out += texts[size_t(std::atol(indexes.c_str() + at))];
        out += '\n';
        at = end + 1;
    }
    return out;
}

int CompareWithGnuSort(const std::vector<std::string>& texts, const std::string& dir, int runs) {
    const std::string lf = dir + "bench_sort_lf_" + std::to_string(::getpid()) + ".txt";
    const std::string ours = lf + ".ours", theirs = lf + ".sort";
    {
        std::ofstream out(lf, std::ios::binary);
        for (const auto& t : texts) out << t << '\n';
    }
    const std::string tool = std::string("'") + HDSTRINGS_TOOL + "'";
    struct Pair {
        const char* name;
        std::string ours, theirs;
    };
    const Pair pairs[] = {
        {"bytes ", tool + " --order=bytes sort '" + lf + "'", "LC_ALL=C sort --parallel=1 '" + lf + "'"},
        {"locale", tool + " sort '" + lf + "'", "sort --parallel=1 '" + lf + "'"},
    };
    const char* locale = std::getenv("LC_ALL");
    if (!locale || !*locale) locale = std::getenv("LC_COLLATE");
    if (!locale || !*locale) locale = std::getenv("LANG");
    int failed = 0;
    for (const auto& pair : pairs) {
        std::vector<double> a, b;
        for (int run = 0; run < runs; ++run) {
            a.push_back(CommandSeconds(pair.ours + " > '" + ours + "'"));
            b.push_back(CommandSeconds(pair.theirs + " > '" + theirs + "'"));
        }
        const bool alike = LinesInOrder(texts, FileText(ours)) == FileText(theirs);
        failed += !alike;
        const double x = UpperMedian(a), y = UpperMedian(b);
        std::printf("hdstrings sort %s %7.3f s   GNU sort %7.3f s   ratio %5.2f   lines %s   (locale %s)\n",
                    pair.name, x, y, x / y, alike ? "alike" : "DIFFER", locale && *locale ? locale : "C");
    }
    ::unlink(lf.c_str());
    ::unlink(ours.c_str());
    ::unlink(theirs.c_str());
    return failed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--sort-child") == 0) return SortChild(argv[2]);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int walkLines = argc > 3 ? std::atoi(argv[3]) : 20000;
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp";
    if (dir.back() != '/') dir += '/';
    const std::string path = dir + "bench_sort_" + std::to_string(::getpid()) + ".txt";

    TextMaker maker(20240517);
    std::vector<std::string> texts;
    texts.reserve(size_t(lines));
    std::string file;
    for (int i = 0; i < lines; ++i) {
        texts.push_back(maker.Line());
        file += texts.back();
        file += "\r\n";
    }
    {
        std::ofstream out(path, std::ios::binary);
        out.write(file.data(), std::streamsize(file.size()));
        if (!out) {
            std::perror(path.c_str());
            return 1;
        }
    }
    size_t nonAscii = 0;
    for (unsigned char c : file) nonAscii += c >= 128;
    std::printf("%d lines, %.1f MB, %.1f%% bytes above 127\n", lines, double(file.size()) / 1e6,
                100.0 * double(nonAscii) / double(file.size()));

    std::vector<double> ours, growths, plain, folded;
    char self[4096];
    const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0) return 1;
    self[len] = 0;
    std::vector<std::string_view> views(texts.begin(), texts.end());
    for (int run = 0; run < runs; ++run) {
        double seconds = 0, growth = 0;
        if (!RunChild(self, path, seconds, growth)) {
            std::fprintf(stderr, "the sorting process failed\n");
            ::unlink(path.c_str());
            return 1;
        }
        ours.push_back(seconds);
        growths.push_back(growth);
        auto copy = views;
        auto t = Clock::now();
        std::stable_sort(copy.begin(), copy.end());
        plain.push_back(Seconds(t));
        copy = views;
        t = Clock::now();
        std::stable_sort(copy.begin(), copy.end(), FoldedLess);
        folded.push_back(Seconds(t));
    }
    ::unlink(path.c_str());
    const double o = UpperMedian(ours), p = UpperMedian(plain), f = UpperMedian(folded), g = UpperMedian(growths);
    const double allowance = double(file.size()) + 32.0 * lines;
    std::printf("BuildSortIndex %7.3f s   stable_sort bytes %7.3f s  ratio %5.2f   folded %7.3f s  ratio %5.2f"
                "   (goal <= 10, medians of %d)\n",
                o, p, o / p, f, o / f, runs);
    std::printf("peak growth %7.1f MB   file + 32 B/entry %7.1f MB   ratio %.2f   (%.1f B/entry above the file)\n",
                g / 1e6, allowance / 1e6, g / allowance, (g - double(file.size())) / lines);

    // ---- against the walk, on the first lines ----
    if (walkLines > 0) {
        xoStr31::TSortTexts some;
        for (int i = 0; i < std::min(walkLines, lines); ++i) some.Add(texts[size_t(i)]);
        std::vector<xoStr31::TSortRecord> fast, walk;
        std::vector<int32_t> fastSamples, walkSamples;
        auto t = Clock::now();
        xoStr31::ComputeSortIndex(some, fast, fastSamples);
        const double fastTime = Seconds(t);
        t = Clock::now();
        xoStr31::ComputeSortIndexByWalk(some, walk, walkSamples);
        const double walkTime = Seconds(t);
        bool same = fast.size() == walk.size() && fastSamples == walkSamples;
        for (size_t k = 0; same && k < fast.size(); ++k)
            same = fast[k].Entry == walk[k].Entry && fast[k].Position == walk[k].Position &&
                   fast[k].Sample == walk[k].Sample;
        std::printf("first %d lines: search %.3f s  walk %.3f s  ratio %.4f  records %s\n", int(some.Count()),
                    fastTime, walkTime, fastTime / walkTime, same ? "equal" : "DIFFER");
        if (!same) return 1;
    }
    return CompareWithGnuSort(texts, dir, runs) ? 1 : 0;
}

// The large string list beside plain peers, in one run, as ratios (medians):
//   index build of a 1 GiB text file   against a memchr count of its line ends
//   open with a valid entry table      against the same scan (and what it reads)
//   hdstrings count with a fresh table against hdstrings count without one,
//   and that against wc -l; hdstrings get of the last entry with its table
//   against tail -n 1 (both programs started and waited for)
//   one line inserted at the front of a 100 MiB file in place, journaled and
//   synced                             against rewriting the file with it in
//                                      front (plain, and synced and renamed)
//   find of a whole line in a 100 MiB LF file (IndexOfRange in the list, and
//   hdstrings find with its table)     against grep -Fxn
//   sort index of 1,000,000 entries    against std::stable_sort of the texts
// Files go under $TMPDIR (else /tmp) and are removed afterwards.
// Usage: bench_hdstrings [big-file-MiB] [insert-file-MiB] [sort-entries] [path-of-hdstrings]
#include "common/BenchTiming.h"
#include "platform/FileSystem.h"
#include "platform/SysUtils.h"
#include "platform/MessageBox.h"
#include "xoStr31/HdStrings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using bench::UpperMedian;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

template <typename F>
double Median(int runs, F f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto t = Clock::now();
        f();
        times.push_back(Seconds(t));
    }
    return UpperMedian(std::move(times));
}

// Lines of letters, digits and blanks, 20 to 120 bytes, each ended by end.
void MakeTextFile(const std::string& path, int64_t bytes, const char* end = "\r\n") {
    std::mt19937_64 rng(42);
    const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789     ";
    std::string block;
    block.reserve(1 << 20);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::exit(1);
    }
    int64_t written = 0;
    while (written < bytes) {
        block.clear();
        while (block.size() < (1u << 20) - 130) {
            int n = 20 + int(rng() % 101);
            for (int i = 0; i < n; ++i) block += alphabet[rng() % (sizeof alphabet - 1)];
            block += end;
        }
        size_t n = size_t(std::min<int64_t>(int64_t(block.size()), bytes - written));
        std::fwrite(block.data(), 1, n, f);
        written += int64_t(n);
    }
    std::fclose(f);
}

int64_t MemchrCount(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buf(4 << 20);
    int64_t count = 0;
    for (;;) {
        ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n <= 0) break;
        const char* p = buf.data();
        const char* end = p + n;
        while ((p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)))) != nullptr) {
            ++count;
            ++p;
        }
    }
    ::close(fd);
    return count;
}

// Reads the file once so that every contender finds it in the page cache.
void Warm(const std::string& path) { (void)MemchrCount(path); }

// The whole file written again with the line in front; synced and renamed
// over the file when safe, as a crash-safe rewrite must be.
void Rewrite(const std::string& path, const std::string& line, bool safe) {
    std::string temp = path + ".new";
    int in = ::open(path.c_str(), O_RDONLY);
    int out = ::open(temp.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (::write(out, line.data(), line.size()) != ssize_t(line.size())) std::exit(1);
    std::vector<char> buf(8 << 20);
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n <= 0) break;
        if (::write(out, buf.data(), size_t(n)) != n) std::exit(1);
    }
    ::close(in);
    if (safe) ::fsync(out);
    ::close(out);
    ::rename(temp.c_str(), path.c_str());
}

// A command's time, the program started and waited for.
double Command(const std::string& cmd) {
    auto t = Clock::now();
    if (std::system(cmd.c_str()) == -1) std::exit(1);
    return Seconds(t);
}

} // namespace

int main(int argc, char** argv) {
    const int64_t bigMiB = argc > 1 ? std::atoll(argv[1]) : 1024;
    const int64_t insertMiB = argc > 2 ? std::atoll(argv[2]) : 100;
    const int sortEntries = argc > 3 ? std::atoi(argv[3]) : 1000000;
    std::string tool = argc > 4 ? argv[4] : platform::ExtractFilePath(platform::ExecutablePath()) + "hdstrings";
    platform::MessageBoxScope boxes(std::make_shared<platform::ConsoleMessageBox>(false));
    const std::string dir = platform::TempDirectory();
    const std::string big = dir + "bench_hdstrings_big.txt";
    const std::string bigIndex = dir + "bench_hdstrings_big.Rni";

    // ---- index build against a memchr count ----
    std::printf("generating %lld MiB ...\n", (long long)bigMiB);
    MakeTextFile(big, bigMiB << 20);
    ::sync();  // no write-back of the new file while the contenders run
    Warm(big);
    int64_t lines = 0;
    int entries = 0;
    // Rounds of the two take turns, so that a change in the machine's load
    // falls on both; the medians count.
    std::vector<double> scans, builds;
    for (int round = 0; round < 5; ++round) {
        auto t = Clock::now();
        lines = MemchrCount(big);
        scans.push_back(Seconds(t));
        ::unlink(bigIndex.c_str());
        t = Clock::now();
        {
            xoStr31::THdStrings list;
            list.SetParam(0, 2);
            if (!list.Open(big, true)) std::exit(1);
            entries = list.GetCount();
        }
        builds.push_back(Seconds(t));
    }
    const double scan = UpperMedian(scans), build = UpperMedian(builds);
    std::printf("index build      %8.3f s  memchr count %8.3f s  ratio %.2f  (goal <= 1.20)  entries %d / %lld\n",
                build, scan, build / scan, entries, (long long)lines);

    // ---- open with a valid entry table ----
    {
        xoStr31::THdStrings list;
        list.SetParam(0, 2);
        list.Open(big, false);
        list.SaveIndex(false);
    }
    int progressEvents = 0;
    double open = Median(3, [&] {
        xoStr31::THdStrings list;
        list.SetParam(0, 2);
        list.OnProgress = [&](xoStr31::THdStrings*) { ++progressEvents; };
        if (!list.Open(big, true) || list.GetCount() != entries) std::exit(1);
    });
    struct stat st{};
    ::stat(bigIndex.c_str(), &st);
    std::printf("open with .Rni   %8.3f s  (scan %.3f s, ratio %.2f)  read %lld table bytes of a %lld MiB file, "
                "scan passes %d\n",
                open, build, open / build, (long long)st.st_size, (long long)bigMiB, progressEvents);
    // ---- the tool's answers against the plain tools, programs started
    // and waited for on both sides, rounds taken in turn ----
    {
        const std::string quiet = " > /dev/null 2>&1";
        const std::string last = std::to_string(entries - 1);
        const std::string moved = big + ".away";
        std::vector<double> withTable, withoutTable, wc, get, tail;
        for (int round = 0; round < 5; ++round) {
            withTable.push_back(Command(tool + " count " + big + quiet));
            get.push_back(Command(tool + " get " + big + " " + last + quiet));
            tail.push_back(Command("tail -n 1 " + big + quiet));
            wc.push_back(Command("wc -l " + big + quiet));
            ::rename(bigIndex.c_str(), moved.c_str());
            withoutTable.push_back(Command(tool + " count " + big + quiet));
            ::rename(moved.c_str(), bigIndex.c_str());
        }
        const double counted = UpperMedian(withTable), scanned = UpperMedian(withoutTable), lineCount = UpperMedian(wc);
        const double got = UpperMedian(get), tailed = UpperMedian(tail);
        std::printf("count, table     %8.3f s  count, scan  %8.3f s  ratio %.3f  (goal <= 0.20)\n", counted, scanned,
                    counted / scanned);
        std::printf("count, scan      %8.3f s  wc -l        %8.3f s  ratio %.2f  (goal <= 2)\n", scanned, lineCount,
                    scanned / lineCount);
        std::printf("get last, table  %8.3f s  tail -n 1    %8.3f s  ratio %.2f  (goal <= 5)  of the %lld MiB file\n",
                    got, tailed, got / tailed, (long long)bigMiB);
    }
    if (bigMiB >= 2048) {
        // A file past 2 GiB is edited in place like a small one: once, beside
        // one rewrite of it.
        double bigInsert = Median(1, [&] {
            xoStr31::THdStrings list;
            list.SetParam(0, 2);
            if (!list.Open(big, false)) std::exit(1);
            list.Insert(0, "a new first line");
            if (list.IoError() || list.GetCount() != entries + 1) std::exit(1);
        });
        double bigRewrite = Median(1, [&] { Rewrite(big, "a new first line\r\n", false); });
        std::printf("insert at front  %8.3f s  rewrite      %8.3f s  ratio %.2f  of the %lld MiB file (open "
                    "with its table included)\n",
                    bigInsert, bigRewrite, bigInsert / bigRewrite, (long long)bigMiB);
    }
    ::unlink(big.c_str());
    ::unlink(bigIndex.c_str());

    // ---- insert at the front in place against a rewrite ----
    const std::string mid = dir + "bench_hdstrings_insert.txt";
    MakeTextFile(mid, insertMiB << 20);
    const std::string line = "a new first line\r\n";
    Warm(mid);
    std::vector<double> inserts, plain, safe;
    // Taken in turns, so that the machine's moods fall on all three.
    for (int run = 0; run < 5; ++run) {
        {
            xoStr31::THdStrings list;
            list.SetParam(0, 2);
            if (!list.Open(mid, false)) return 1;
            auto t = Clock::now();
            list.Insert(0, "a new first line");
            if (list.IoError()) std::exit(1);
            inserts.push_back(Seconds(t));
        }
        auto t = Clock::now();
        Rewrite(mid, line, false);
        plain.push_back(Seconds(t));
        t = Clock::now();
        Rewrite(mid, line, true);
        safe.push_back(Seconds(t));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    double insert = median(inserts), rewrite = median(plain), safeRewrite = median(safe);
    std::printf("insert at front  %8.3f s  rewrite      %8.3f s  ratio %.2f  (goal <= 1.50)  %lld MiB\n", insert,
                rewrite, insert / rewrite, (long long)insertMiB);
    std::printf("                            synced rewrite %6.3f s  ratio %.2f\n", safeRewrite, insert / safeRewrite);
    ::unlink(mid.c_str());

    // ---- find against grep -Fxn ----
    const std::string words = dir + "bench_hdstrings_find.txt";
    const std::string wordsIndex = dir + "bench_hdstrings_find.Rni";
    MakeTextFile(words, insertMiB << 20, "\n");
    Warm(words);
    const std::string missing = "no line is this one";
    double grep = Median(5, [&] { Command("grep -Fxn -e '" + missing + "' " + words + " > /dev/null"); });
    double found = 0, command = 0;
    {
        xoStr31::THdStrings list;
        list.SetParam(0, 2);
        if (!list.Open(words, true)) return 1;
        found = Median(5, [&] {
            if (list.IndexOfRange(missing, 0, -1) != -1) std::exit(1);
        });
        list.SaveIndex(false);
    }
    command = Median(5, [&] { Command(tool + " find " + words + " '" + missing + "' > /dev/null"); });
    std::printf("find (list)      %8.3f s  grep -Fxn    %8.3f s  ratio %.2f  (goal <= 2.00)  %lld MiB\n", found, grep,
                found / grep, (long long)insertMiB);
    std::printf("find (hdstrings) %8.3f s  ratio %.2f  (with its entry table)\n", command, command / grep);
    ::unlink(words.c_str());
    ::unlink(wordsIndex.c_str());

    // ---- sort index against std::stable_sort ----
    std::mt19937_64 rng(7);
    const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
    std::vector<std::string> texts(static_cast<size_t>(sortEntries));
    std::string raw;
    for (auto& t : texts) {
        int n = 4 + int(rng() % 20);
        for (int i = 0; i < n; ++i) t += alphabet[rng() % (sizeof alphabet - 1)];
        raw += t + "\r\n";
    }
    xoStr31::THdStrings sortList;
    sortList.SetRawText(raw);
    double ours = Median(3, [&] { sortList.Sort(); });
    double peer = 1e30;
    for (int run = 0; run < 3; ++run) {
        std::vector<std::string> copy = texts;  // copied outside the timing
        auto t = Clock::now();
        std::stable_sort(copy.begin(), copy.end());
        peer = std::min(peer, Seconds(t));
    }
    std::printf("sort index       %8.3f s  stable_sort  %8.3f s  ratio %.2f  (goal <= 10.00)  %d entries\n", ours, peer,
                ours / peer, sortEntries);
    return 0;
}

// Address-box completion over a big history, beside a plain peer, in one
// run:
//   every keystroke of typed words (each prefix of one or two words taken
//   from the history's own hosts and titles), answered by the index: median
//   and 99th percentile per keystroke, against a plain scan that folds each
//   visit and ranks the matches in a hash map (on a sample of keystrokes)
//   (BENCH_PEER_RUNS of them, default 5; BENCH_SLOWEST=1 lists the slowest
//   keystrokes)
//   the display thread's time at start: the index built there, against the
//   start of the thread that builds it (and when that one is ready)
//   the index's memory (its own count, and the growth of the process's
//   resident memory while it is built) against the history file's size
// The history: visits of addresses of a Zipf-like spread over hosts and
// pages, titles from a vocabulary of words with accents, times over 90 days.
// Files go under $TMPDIR (else /tmp) and are removed afterwards.
// Usage: bench_completion [visits] [keystrokes]
#include "places/Completion.h"
#include "places/History.h"
#include "places/TextFold.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <ctime>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// The thread's own processor time: what a keystroke costs whatever else
// the machine runs.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Zipf-like pick of 0..n-1: low numbers far more often.
size_t Skewed(std::mt19937_64& rng, size_t n) {
    double u = std::uniform_real_distribution<double>(0, 1)(rng);
    return std::min(n - 1, size_t(std::pow(double(n), u)) - 1);
}

} // namespace

int main(int argc, char** argv) {
    platform::MessageBoxScope boxes(std::make_shared<platform::ConsoleMessageBox>(false));
    const size_t visits = argc > 1 ? size_t(std::atoll(argv[1])) : 1000000;
    const size_t keystrokes = argc > 2 ? size_t(std::atoll(argv[2])) : 2000;
    const std::string file = platform::TempDirectory() + "bench_completion_" + std::to_string(getpid()) + ".txt";

    std::mt19937_64 rng(42);
    const char* syllables[] = {"ka", "ro", "mi", "te", "lu", "sa", "no", "vé", "dri", "po", "zu", "chá", "ne", "li", "go",
                               "ber", "tor", "wel", "fin", "ståd", "mar", "qui", "je", "hu", "ix", "ol", "ya", "pe"};
    auto word = [&](size_t n) {
        std::mt19937_64 w(n * 7919 + 1);
        std::string s;
        for (size_t k = 0, parts = 2 + w() % 3; k < parts; ++k) s += syllables[w() % 28];
        return s;
    };
    std::vector<std::string> vocabulary(20000);
    for (size_t i = 0; i < vocabulary.size(); ++i) vocabulary[i] = word(i);
    const size_t hostCount = 40000, pagesPerHost = 400;
    const char* tlds[] = {".com", ".org", ".net", ".cz", ".de", ".io"};
    auto host = [&](size_t h) { return word(h * 3 + 100000) + word(h + 7) + tlds[h % 6]; };
    {
        std::ofstream out(file, std::ios::binary);
        const int64_t start = places::NowSeconds() - 90 * 86400;
        for (size_t i = 0; i < visits; ++i) {
            size_t h = Skewed(rng, hostCount), page = Skewed(rng, pagesPerHost);
            std::mt19937_64 pr(h * 1000003 + page);
            std::string address = "https://" + std::string(h % 3 ? "www." : "") + host(h) + "/";
            std::string title;
            if (page > 0) {
                for (size_t k = 0, n = 1 + pr() % 3; k < n; ++k) address += vocabulary[Skewed(pr, vocabulary.size())] + "/";
                if (pr() % 2) address += "?id=" + std::to_string(pr() % 100000);
            }
            for (size_t k = 0, n = 3 + pr() % 6; k < n; ++k) {
                std::string w = vocabulary[Skewed(pr, vocabulary.size())];
                if (k == 0) w[0] = char(std::toupper(static_cast<unsigned char>(w[0])));
                title += (k ? " " : "") + w;
            }
            out << places::FormatVisit({start + int64_t(i * 90 * 86400 / visits), address, title}) << '\n';
        }
    }
    struct stat st{};
    ::stat(file.c_str(), &st);
    const double fileBytes = double(st.st_size);

    places::THistory history(file);
    if (!history.Open()) {
        std::fprintf(stderr, "%s\n", history.LastError().c_str());
        return 1;
    }
    // The start as the browser makes it: the index built on a thread of its
    // own; the display thread waits only for the start of that thread.
    double startMs = 0, readyMs = 0;
    {
        places::TCompletion background;
        auto s0 = Clock::now();
        background.AttachInBackground(history);
        startMs = Ms(s0);
        while (!background.Ready()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        readyMs = Ms(s0);
    }
    places::TCompletion completion;
    const long before = ResidentBytes();
    auto t0 = Clock::now();
    completion.Attach(history);
    const double buildMs = Ms(t0);
    const long after = ResidentBytes();

    // What a user types: one or two words of a visited page's title, or the
    // start of its host, one keystroke at a time.
    std::vector<std::string> typed;
    std::mt19937_64 pick(7);
    while (typed.size() < keystrokes) {
        places::TVisit v = history.Visit(int(pick() % uint64_t(history.Count())));
        std::vector<std::string> words = places::FoldedWords(v.Title);
        std::string text;
        switch (pick() % 3) {
        case 0: text = words[pick() % words.size()]; break;
        case 1: text = words[pick() % words.size()] + " " + words[pick() % words.size()]; break;
        default: {
            std::string_view a = v.Address;
            a.remove_prefix(a.find("://") + 3);
            if (a.substr(0, 4) == "www.") a.remove_prefix(4);
            text = std::string(a.substr(0, a.find('/')));
        }
        }
        for (size_t n = 1; n <= text.size() && typed.size() < keystrokes; ++n)
            if ((text[n - 1] & 0xC0) != 0x80) typed.push_back(text.substr(0, n));
    }
    std::vector<double> times, cpu;
    size_t found = 0;
    for (const auto& t : typed) {
        auto k0 = Clock::now();
        double c0 = CpuMs();
        found += completion.Complete(t, 10).empty() ? 0 : 1;
        cpu.push_back(CpuMs() - c0);
        times.push_back(Ms(k0));
    }

    // The peer: every visit folded and checked, matches counted by address.
    std::vector<std::string> lines;
    {
        std::ifstream in(file, std::ios::binary);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    }
    std::vector<double> peer;
    // The plain scan takes seconds a keystroke over a million visits: a few
    // keystrokes are enough for its median.
    const size_t peerRuns = std::getenv("BENCH_PEER_RUNS") ? size_t(std::atoi(std::getenv("BENCH_PEER_RUNS"))) : 5;
    for (size_t i = 0; i < typed.size() && peer.size() < std::max<size_t>(1, peerRuns); i += typed.size() / 15 + 1) {
        auto k0 = Clock::now();
        std::vector<std::string> words = places::FoldedWords(typed[i]);
        std::unordered_map<std::string, int> counts;
        for (const auto& line : lines) {
            places::TVisit v = places::ParseVisit(line);
            if (places::MatchesAllWords(places::FoldText(v.Address + "\t" + v.Title), words)) ++counts[v.Address];
        }
        std::vector<std::pair<int, std::string>> top;
        for (auto& [a, c] : counts) top.push_back({c, a});
        std::partial_sort(top.begin(), top.begin() + std::min<size_t>(10, top.size()), top.end(), std::greater<>());
        peer.push_back(Ms(k0));
    }
    lines = {};

    const double median = Percentile(times, 0.5), p99 = Percentile(times, 0.99);
    std::printf("history: %zu visits, %zu places, %.1f MiB file\n", visits, completion.PlaceCount(), fileBytes / 1048576);
    std::printf("index build: %.0f ms\n", buildMs);
    std::printf("display thread at start: %.0f ms built there, %.2f ms with the build on its own thread (ready after %.0f ms)\n",
                buildMs, startMs, readyMs);
    std::printf("keystrokes: %zu (%zu with matches)\n", times.size(), found);
    std::printf("per keystroke: median %.3f ms (goal < 10), 99th percentile %.3f ms (goal < 30), max %.3f ms\n", median,
                p99, Percentile(times, 1.0));
    std::printf("per keystroke, processor time: median %.3f ms, 99th percentile %.3f ms, max %.3f ms\n",
                Percentile(cpu, 0.5), Percentile(cpu, 0.99), Percentile(cpu, 1.0));
    std::printf("plain scan per keystroke: median %.1f ms; index/plain = %.6f (the index %.0fx faster)\n",
                Percentile(peer, 0.5), median / Percentile(peer, 0.5), Percentile(peer, 0.5) / median);
    std::printf("memory: index %.1f MiB = %.2fx the file (goal < 2); resident growth while built %.1f MiB = %.2fx\n",
                double(completion.MemoryBytes()) / 1048576, double(completion.MemoryBytes()) / fileBytes,
                double(after - before) / 1048576, double(after - before) / fileBytes);
    if (std::getenv("BENCH_SLOWEST")) {
        std::vector<size_t> order(times.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return cpu[a] > cpu[b]; });
        for (size_t i = 0; i < 8 && i < order.size(); ++i)
            std::printf("slow: %.2f ms processor time \"%s\"\n", cpu[order[i]], typed[order[i]].c_str());
    }
    ::unlink(file.c_str());
    ::unlink((file.substr(0, file.size() - 4) + ".Rni").c_str());
    return 0;
}

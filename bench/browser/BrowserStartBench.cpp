// Start to first finished page, and the memory of the whole process tree
// (the program and the engine's processes), of QelBrowser beside a bare
// WebKitGTK window, on the same loopback page in the same run. The page
// reports its own load event to the server, so both are timed alike.
// QelBrowser runs as it ships: cookies and site data kept in its data
// folder, and its web process in the sandbox where the sandbox can run.
// Two more runs show what the sandbox costs: the bare view in the sandbox
// too, and QelBrowser without it. The content filter is compiled by one run
// before the rounds, as a returning user has it.
//
//   bench_browser_start [ROUNDS]   (QEL_BROWSER=PATH times another build)
#include "common/BenchTiming.h"
#include "LoopbackServer.h"
#include "PrivateXvfb.h"

#include "browser/WebEngine.h"
#include "platform/Strings.h"
#include "settings/SettingsText.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using bench::UpperMedian;

namespace {

using Clock = std::chrono::steady_clock;

const char* kPage =
    "<!DOCTYPE html><html><head><title>Bench</title></head><body><h1>Benchmark page</h1>"
    "<p>Some text to lay out and draw.</p><ul><li>one</li><li>two</li><li>three</li></ul>"
    "<script>window.addEventListener('load', function () { fetch('/loaded'); });</script></body></html>";


std::map<pid_t, pid_t> ParentsOfAll() {
    std::map<pid_t, pid_t> parents;
    DIR* d = ::opendir("/proc");
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        pid_t p = std::atoi(e->d_name);
        if (p <= 0) continue;
        std::ifstream f("/proc/" + std::string(e->d_name) + "/stat");
        std::string line;
        std::getline(f, line);
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        parents[p] = ppid;
    }
    if (d) ::closedir(d);
    return parents;
}

// Proportional set size of the process and all its descendants, in kB.
long TreePss(pid_t root) {
    auto parents = ParentsOfAll();
    std::set<pid_t> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (auto [p, pp] : parents)
            if (tree.count(pp) && tree.insert(p).second) grew = true;
    }
    long total = 0;
    for (pid_t p : tree) {
        std::ifstream f("/proc/" + std::to_string(p) + "/smaps_rollup");
        std::string line;
        while (std::getline(f, line))
            if (line.rfind("Pss:", 0) == 0) total += std::atol(line.c_str() + 4);
    }
    return total;
}

struct Sample {
    double ms = 0;
    long pssKb = 0;
};

// Starts a program on the display with the bench folder as its home.
pid_t Start(const std::string& display, const std::vector<std::string>& argv, const std::string& cwd, bool sandbox) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (cwd + "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (cwd + "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (cwd + "cache").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (cwd + "runtime").c_str(), 1);
        ::setenv("NO_AT_BRIDGE", "1", 1);
        if (!sandbox) ::setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// Ends it as a log-out would, and for good after two seconds.
void Stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200 && ::waitpid(pid, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

bool Run(const std::string& display, const std::vector<std::string>& argv, const std::string& cwd,
         bool sandbox, e2e::LoopbackServer& server, Sample& out) {
    int before = server.CountOf("/loaded");
    auto start = Clock::now();
    pid_t pid = Start(display, argv, cwd, sandbox);
    bool loaded = false;
    while (Clock::now() - start < std::chrono::seconds(30)) {
        if (server.CountOf("/loaded") > before) {
            loaded = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    out.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    // Let the engine settle after the load before measuring the memory.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    out.pssKb = TreePss(pid);
    Stop(pid);
    return loaded;
}

// Runs QelBrowser until its compiled content filter has stood still in
// the cache folder for a second (at most a minute).
bool WarmFilter(const std::string& display, const std::string& dir) {
    const std::filesystem::path store = dir + "cache/QelBrowser/filters";
    pid_t pid = Start(display, {dir + "QelBrowser"}, dir, true);
    std::uintmax_t last = 0;
    int still = 0;
    bool done = false;
    for (int i = 0; i < 600 && !done; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::uintmax_t size = 0;
        std::error_code ec;
        for (auto it = std::filesystem::directory_iterator(store, ec); !ec && it != std::filesystem::directory_iterator();
             it.increment(ec))
            if (it->path().filename().string().rfind("ContentRuleList", 0) == 0) size += it->file_size(ec);
        still = (size > 0 && size == last) ? still + 1 : 0;
        last = size;
        done = still >= 10;
    }
    Stop(pid);
    return done;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    // Xvfb has no GPU. The bare view has no sandbox (the engine's default
    // for it); QelBrowser turns its own on where it can run.
    ::unsetenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS");
    ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    PrivateXvfb xvfb;
    const std::string display = xvfb.Name();
    if (display.empty()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    e2e::LoopbackServer server({{"/page", kPage}, {"/loaded", "ok"}});
    const std::string url = server.Url("/page");

    char tmpl[] = "/tmp/qel-bench-XXXXXX";
    std::string dir = std::string(::mkdtemp(tmpl)) + "/";
    for (const char* d : {"config", "data", "cache", "runtime"}) std::filesystem::create_directory(dir + d);
    std::filesystem::permissions(dir + "runtime", std::filesystem::perms::owner_all);
    // QEL_BROWSER names another build's program to time (a before/after).
    const char* program = std::getenv("QEL_BROWSER");
    std::filesystem::copy_file(program && *program ? program : QELBROWSER_PATH, dir + "QelBrowser");
    std::filesystem::permissions(dir + "QelBrowser", std::filesystem::perms::owner_all);
    std::ofstream(dir + "Varnolek.Ini").flush();
    auto writeSettings = [&] {
        platform::TStringList ini;
        settings::WriteValue(&ini, "Web010", "Home", url);
        ini.SaveToFile(dir + "QelBrowser.Ini");
    };

    // A returning user's start: the content filter was compiled by an
    // earlier run (the first run compiles it, which takes seconds, and its
    // first pages wait for it a moment). One run is kept open until the
    // compiled filter is in the cache folder.
    {
        writeSettings();
        if (!WarmFilter(display, dir)) std::fprintf(stderr, "the content filter was not compiled\n");
    }

    // Per round: QelBrowser, the bare view, the bare view in the sandbox,
    // QelBrowser without the sandbox.
    std::vector<double> ms[4], pss[4];
    bool ok = true;
    for (int r = 0; r < rounds + 1; ++r) {  // the first round warms the caches and is dropped
        Sample s[4];
        writeSettings();
        ok &= Run(display, {dir + "QelBrowser"}, dir, true, server, s[0]);
        ok &= Run(display, {BAREVIEW_PATH, url}, dir, false, server, s[1]);
        ok &= Run(display, {BAREVIEW_PATH, url, "--sandbox"}, dir, true, server, s[2]);
        writeSettings();
        ok &= Run(display, {dir + "QelBrowser"}, dir, false, server, s[3]);
        if (r == 0) continue;
        for (int i = 0; i < 4; ++i) {
            ms[i].push_back(s[i].ms);
            pss[i].push_back(s[i].pssKb);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);

    const std::string problem = browser::SandboxProblem();
    std::printf("median of %d rounds; sandbox: %s\n", rounds, problem.empty() ? "runs" : problem.c_str());
    std::printf("%-26s %10s %10s %6s | %12s %6s | %12s %6s\n", "measure", "QelBrowser", "bare view", "ratio",
                "bare+sandbox", "ratio", "Qel, no sbx", "ratio");
    auto row = [&](const char* name, std::vector<double>* v) {
        double m[4];
        for (int i = 0; i < 4; ++i) m[i] = UpperMedian(v[i]);
        std::printf("%-26s %10.0f %10.0f %6.3f | %12.0f %6.3f | %12.0f %6.3f\n", name, m[0], m[1], m[0] / m[1], m[2],
                    m[0] / m[2], m[3], m[3] / m[1]);
    };
    row("start to loaded page (ms)", ms);
    row("process tree PSS (kB)", pss);
    std::printf("ratios: QelBrowser / bare view; QelBrowser / bare view in the sandbox; QelBrowser without the "
                "sandbox / bare view\n");
    if (!ok) {
        std::fprintf(stderr, "a page did not finish loading\n");
        return 1;
    }
    return 0;
}

// The browser's long run, outside the test suite (make soak): the real
// QelBrowser on a private X server follows 1,000 loopback pages with
// pictures and scripts, spread over 5 tabs: each page moves its tab on to
// the page 5 further by itself. The
// program's own process may not grow by 10 MB or more, and no message box
// may appear. Prints the figures; the exit code says whether they pass.
#include "LoopbackServer.h"
#include "PrivateXvfb.h"
// After the X headers of X11Windows.h.
#include "X11Windows.h"
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A 2x2 GIF, its colours set by the caller so that every picture differs.
std::string Gif(unsigned char shade) {
    const unsigned char bytes[] = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0,
                                   shade, 0x20, 0x40, 0xFF, 0xFF, 0xFF,
                                   0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0,
                                   2, 2, 0x84, 0x51, 0, 0x3B};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

constexpr int kTabs = 5;

std::string Page(int n, int last) {
    std::string images;
    for (int k = 0; k < 4; ++k)
        images += "<img width=64 height=64 src='/img/" + std::to_string(n) + "-" + std::to_string(k) + ".gif'>";
    const std::string next = n + kTabs <= last ? "location.href = '/p/" + std::to_string(n + kTabs) + "';" : "";
    return "<!DOCTYPE html><html><head><title>Page " + std::to_string(n) + "</title><style>td{padding:2px}</style>"
           "</head><body><h1>Page " + std::to_string(n) + "</h1>" + images +
           "<table id=t></table><script>"
           "var t = document.getElementById('t'); var data = [];"
           "for (var i = 0; i < 200; i++) { var r = t.insertRow(); r.insertCell().textContent = 'row ' + i;"
           " data.push({i: i, text: 'x'.repeat(100)}); }"
           "window.addEventListener('load', function () { setTimeout(function () { " + next + " }, 0); });"
           "</script></body></html>";
}

// Resident and proportional size of one process, in kB.
std::pair<long, long> Memory(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    long rss = 0, pss = 0;
    while (std::getline(f, line)) {
        if (line.rfind("Rss:", 0) == 0) rss = std::atol(line.c_str() + 4);
        if (line.rfind("Pss:", 0) == 0) pss = std::atol(line.c_str() + 4);
    }
    return {rss, pss};
}

} // namespace

int main(int argc, char** argv) {
    const int last = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int warm = std::min(50, last / 2);
    PrivateXvfb xvfb;
    if (xvfb.Name().empty()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    Display* display = XOpenDisplay(xvfb.Name().c_str());
    e2e::LoopbackServer server([last](const e2e::HttpRequest& r) {
        e2e::HttpResponse response;
        if (r.path.rfind("/p/", 0) == 0) {
            response.body = Page(std::atoi(r.path.c_str() + 3), last);
        } else if (r.path.rfind("/img/", 0) == 0) {
            response.contentType = "image/gif";
            response.body = Gif(static_cast<unsigned char>(std::atoi(r.path.c_str() + 5) * 7 + r.path.size()));
        } else {
            response.status = 404;
        }
        return response;
    });

    char tmpl[] = "/tmp/qel-soak-XXXXXX";
    const std::string dir = std::string(::mkdtemp(tmpl)) + "/";
    for (const char* d : {"config", "data", "cache", "runtime"}) std::filesystem::create_directory(dir + d);
    std::filesystem::copy_file(QELBROWSER_PATH, dir + "QelBrowser");
    std::filesystem::permissions(dir + "QelBrowser", std::filesystem::perms::owner_all);
    std::ofstream(dir + "Varnolek.Ini").flush();
    // The five tabs come back as after a kill; each starts its chain when
    // first shown.
    {
        std::ofstream session(dir + "QelBrowser.Session");
        session << "QelSession 1\nclean 0\ncurrent 0\n";
        for (int k = 0; k < kTabs; ++k) session << "tab " << server.Url("/p/" + std::to_string(k)) << "\tTab\n";
    }

    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("DISPLAY", xvfb.Name().c_str(), 1);
        ::setenv("HOME", dir.c_str(), 1);
        for (const char* d : {"CONFIG", "DATA", "CACHE", "RUNTIME"}) {
            std::string name = std::string("XDG_") + d + (std::string(d) == "RUNTIME" ? "_DIR" : "_HOME");
            std::string lower = d;
            for (char& c : lower) c = static_cast<char>(std::tolower(c));
            ::setenv(name.c_str(), (dir + lower).c_str(), 1);
        }
        ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
        ::setenv("NO_AT_BRIDGE", "1", 1);
        ::execl((dir + "QelBrowser").c_str(), "QelBrowser", static_cast<char*>(nullptr));
        ::_exit(127);
    }

    // Shows every tab once (Ctrl+Tab), so that all five chains run.
    auto showTabs = [&] {
        Window window = 0;
        for (int i = 0; i < 600 && !window; ++i) {
            for (const auto& w : e2e::MappedWindowsOf(display, pid))
                if (w.width > 300) window = w.id;
            if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!window) return;
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        KeyCode ctrl = XKeysymToKeycode(display, XK_Control_L), tab = XKeysymToKeycode(display, XK_Tab);
        for (int k = 1; k < kTabs; ++k) {
            for (int n = 0; n < 200 && server.CountOf("/p/" + std::to_string(k - 1)) == 0; ++n)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            XTestFakeKeyEvent(display, ctrl, True, CurrentTime);
            XTestFakeKeyEvent(display, tab, True, CurrentTime);
            XTestFakeKeyEvent(display, tab, False, CurrentTime);
            XTestFakeKeyEvent(display, ctrl, False, CurrentTime);
            XSync(display, False);
        }
    };

    auto start = Clock::now();
    if (display) showTabs();
    std::pair<long, long> first{0, 0}, warmed{0, 0}, end{0, 0};
    int boxes = 0;
    bool done = false;
    int seen = -1;
    while (Clock::now() - start < std::chrono::minutes(20)) {
        int reached = -1;
        for (int n = seen + 1; n <= last && server.CountOf("/p/" + std::to_string(n)) > 0; ++n) reached = n;
        if (reached > seen) {
            for (int n = seen + 1; n <= reached; ++n) {
                if (n == 1) first = Memory(pid);
                if (n == warm) warmed = Memory(pid);
                if (n % 100 == 0) {
                    auto m = Memory(pid);
                    std::printf("page %4d: own process RSS %ld kB, PSS %ld kB\n", n, m.first, m.second);
                    std::fflush(stdout);
                }
            }
            seen = reached;
        }
        if (display && e2e::MappedWindowsOf(display, pid).size() > 1) {
            ++boxes;  // a box waits for an answer: the run cannot go on
            break;
        }
        if (seen == last) {
            // Let the last page finish and the program settle.
            std::this_thread::sleep_for(std::chrono::seconds(3));
            end = Memory(pid);
            done = true;
            break;
        }
        if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300 && ::waitpid(pid, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    if (display) XCloseDisplay(display);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);

    const long growth = end.first - warmed.first;
    std::printf("%d of %d navigations in %.0f s; own process RSS: %ld kB after page 1, %ld kB after page %d, "
                "%ld kB at the end: %+ld kB since page %d (%+ld kB since page 1); message boxes: %d\n",
                seen, last, seconds, first.first, warmed.first, warm, end.first, growth, warm,
                end.first - first.first, boxes);
    const bool pass = done && boxes == 0 && growth < 10 * 1024;
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}

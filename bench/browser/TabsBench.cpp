// What tabs cost: the memory of the program and its engine processes with
// 20 loopback pages open, once with every page kept and once after 19 of
// them, hidden past the unload time, gave their page up (the same browser
// in the same run); and the time from asking for a loaded tab to the
// window's first painting of it.
#include "LoopbackServer.h"
#include "PrivateXvfb.h"

#include "browser/WebEngine.h"
#include "browser/WebKitControl.h"
#include "browser/Web010.h"
#include "platform/MessageBox.h"
#include "settings/Environment.h"

#include <gtkmm/main.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool Await(const std::function<bool()>& condition, int timeoutMs = 60000) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

long Pss(pid_t p) {
    std::ifstream f("/proc/" + std::to_string(p) + "/smaps_rollup");
    std::string line;
    long total = 0;
    while (std::getline(f, line))
        if (line.rfind("Pss:", 0) == 0) total += std::atol(line.c_str() + 4);
    return total;
}

int g_processes = 0;

// This process and the engine's processes it started, in kB.
long BrowserPss() {
    long total = Pss(::getpid());
    g_processes = 0;
    DIR* d = ::opendir("/proc");
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        pid_t p = std::atoi(e->d_name);
        if (p <= 0) continue;
        std::ifstream f("/proc/" + std::string(e->d_name) + "/stat");
        std::string line;
        std::getline(f, line);
        size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == ::getpid() && line.compare(open + 1, 6, "WebKit") == 0) {
            total += Pss(p);
            ++g_processes;
        }
    }
    if (d) ::closedir(d);
    return total;
}

std::string Page(int n) {
    std::string body;
    for (int i = 0; i < 200; ++i) body += "<p>Paragraph " + std::to_string(i) + " of page " + std::to_string(n) + "</p>";
    return "<!DOCTYPE html><html><head><title>Tab " + std::to_string(n) +
           "</title><style>p{font:14px serif}</style></head><body>" + body +
           "<script>var big = []; for (var i = 0; i < 20000; ++i) big.push({n: i, s: 'x' + i});</script></body></html>";
}

long Settled() {
    // The engine lets go of a page's memory a moment after the view goes.
    long last = BrowserPss();
    for (int i = 0; i < 10; ++i) {
        Await([] { return false; }, 300);
        long now = BrowserPss();
        if (std::labs(now - last) < 1024) return now;
        last = now;
    }
    return last;
}

} // namespace

int main() {
    PrivateXvfb xvfb;
    if (xvfb.Name().empty()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    ::setenv("DISPLAY", xvfb.Name().c_str(), 1);
    ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    ::setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    char tmpl[] = "/tmp/qel-tabsbench-XXXXXX";
    const std::string dir = std::string(::mkdtemp(tmpl)) + "/";
    std::filesystem::create_directory(dir + "config");
    ::setenv("XDG_CONFIG_HOME", (dir + "config").c_str(), 1);
    std::ofstream(dir + "Varnolek.Ini").flush();

    gtk_init(nullptr, nullptr);
    Gtk::Main::init_gtkmm_internals();
    auto boxes = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope(boxes);
    settings::InitEnvironmentFor(dir + "QelBrowser");

    std::map<std::string, std::string> pages;
    for (int i = 0; i < 20; ++i) pages["/" + std::to_string(i)] = Page(i);
    e2e::LoopbackServer server(pages);

    browser::WebProfile profile;
    profile.privateMode = true;
    profile.sandbox = false;
    profile.downloadFolder = dir + "downloads/";
    int result = 0;
    {
        browser::WebEngine engine(profile);
        auto window = std::make_unique<browser::TWeb010>(std::make_unique<browser::WebKitControl>(engine));
        window->SetPrivate(true);
        window->SetControlFactory([&engine] { return std::make_unique<browser::WebKitControl>(engine); });
        window->SetStartUrl(server.Url("/0"));
        window->resize(900, 700);
        window->show();
        Await([&] { return window->StartedHome() && window->get_title() == "Tab 0" && !window->wb01().Busy(); });
        for (int i = 1; i < 20; ++i) window->NewTab(server.Url("/" + std::to_string(i)), false, true);
        bool loaded = Await([&] {
            for (int i = 0; i < window->TabCount(); ++i)
                if (window->Tab(i).title != "Tab " + std::to_string(i) || window->Tab(i).control->Busy()) return false;
            return true;
        });
        if (!loaded) {
            std::fprintf(stderr, "the 20 pages did not load\n");
            return 1;
        }

        // Switching to a loaded tab: from the request to the first painting.
        std::vector<double> switches;
        for (int round = 0; round < 21; ++round) {
            int to = round % 2 ? 0 : 1 + round % 19;
            bool painted = false;
            GdkFrameClock* clock = gdk_window_get_frame_clock(window->get_window()->gobj());
            gulong id = g_signal_connect(clock, "after-paint", G_CALLBACK(+[](GdkFrameClock*, gpointer p) {
                                             *static_cast<bool*>(p) = true;
                                         }), &painted);
            auto start = Clock::now();
            window->SelectTab(to);
            Await([&] { return painted; }, 5000);
            switches.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            g_signal_handler_disconnect(clock, id);
        }
        window->SelectTab(0);
        std::sort(switches.begin(), switches.end());

        const long kept = Settled();
        const int keptProcesses = g_processes;
        const int unloaded = window->UnloadIdleTabs(g_get_monotonic_time() + int64_t(3600) * 1000000);
        const long given = Settled();
        std::printf("engine processes: %d with every page kept, %d after\n", keptProcesses, g_processes);
        std::printf("tabs: 20 loopback pages, %d hidden tabs gave their page up\n", unloaded);
        std::printf("memory (program + engine processes, PSS): all kept %ld kB, 19 unloaded %ld kB, ratio %.3f "
                    "(goal <= 0.5)\n",
                    kept, given, double(given) / double(kept));
        std::printf("switch to a loaded tab until painted: median %.1f ms, worst %.1f ms (goal < 50 ms)\n",
                    switches[switches.size() / 2], switches.back());
        result = 0;
    }
    settings::DoneEnvironment();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return result;
}

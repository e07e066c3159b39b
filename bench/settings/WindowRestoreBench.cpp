// The main window's start and exit with a long URL list in its settings
// file, timed beside a plain read of that file: creating the window restores
// its section and the list into the URL combo box, destroying it saves them.
// The window runs on a private X server with a scripted browser control, so
// only the program's own work is timed. One more line shows the URL combo
// box given part of the list one row at a time, as navigations add them.
#include "PrivateXvfb.h"
#include "ScriptedWebControl.h"

#include "browser/Web010.h"
#include "controls/ComboSx.h"
#include "settings/Environment.h"

#include <gtkmm/main.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double Seconds(const std::function<void()>& run) {
    auto t0 = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Drain() {
    while (Gtk::Main::events_pending()) Gtk::Main::iteration(false);
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    PrivateXvfb xvfb;
    if (xvfb.Name().empty()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    ::setenv("DISPLAY", xvfb.Name().c_str(), 1);
    gtk_init(nullptr, nullptr);
    Gtk::Main::init_gtkmm_internals();

    char tmpl[] = "/tmp/qel-bench-window-XXXXXX";
    std::string dir = std::string(::mkdtemp(tmpl)) + "/";
    std::filesystem::create_directory(dir + "config");
    ::setenv("XDG_CONFIG_HOME", (dir + "config").c_str(), 1);
    std::ofstream(dir + "Varnolek.Ini").flush();
    settings::InitEnvironmentFor(dir + "QelBrowser");
    const std::string file = settings::Env().IniFile;
    {
        std::ofstream out(file, std::ios::binary);
        out << "[Web010]\r\nHome=http://site0.example.test/\r\n";
        for (int i = 0; i < count; ++i) out << "cbURL#" << i << "=http://site" << i << ".example.test/page.html\r\n";
    }

    double plain = Seconds([&] {
        int fd = ::open(file.c_str(), O_RDONLY);
        std::vector<char> buf(1 << 20);
        while (::read(fd, buf.data(), buf.size()) > 0) {
        }
        ::close(fd);
    });
    std::unique_ptr<browser::TWeb010> window;
    double open = Seconds([&] {
        window = std::make_unique<browser::TWeb010>(std::make_unique<browser::ScriptedWebControl>());
        Drain();
    });
    int items = window->cbURL().ItemCount();
    double close = Seconds([&] {
        window.reset();
        Drain();
    });

    // One row at a time, for a tenth of the list.
    const int sample = std::max(1, count / 10);
    double byRow;
    {
        Gtk::Window host;
        controls::TComboSx combo;
        host.add(combo);
        host.show_all();
        Drain();
        byRow = Seconds([&] {
            for (int i = 0; i < sample; ++i) combo.AddItem("http://site" + std::to_string(i) + ".example.test/");
        });
    }

    std::printf("main window with %d URLs (%d in the combo box)\n", count, items);
    std::printf("  plain read of the settings file   %8.4f s\n", plain);
    std::printf("  start: window with its settings   %8.4f s   %.0fx the plain read\n", open, open / plain);
    std::printf("  exit: settings saved, window gone %8.4f s   %.0fx the plain read\n", close, close / plain);
    std::printf("  %d URLs given one row at a time  %8.4f s\n", sample, byRow);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return open < 1.0 && items == count ? 0 : 1;
}

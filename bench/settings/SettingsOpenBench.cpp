// The browser's start reads its section of a settings file and its URL list:
// this times that open for a file with 10,000 URLs (load, the placement and
// window keys, the list) beside a plain read of the same file's bytes, and
// beside the same list read one entry at a time by key, which is what every
// list read cost before lists went through an index of their section.
#include "platform/Strings.h"
#include "platform/Variant.h"
#include "settings/SettingsText.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using platform::TVariant;

double Seconds(const std::function<void()>& run, int repeats) {
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        auto t0 = Clock::now();
        run();
        times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Open(const std::string& file, int& urls) {
    platform::TStringList ini;
    ini.LoadFromFile(file);
    for (const char* key : {"Left", "Top", "Right", "Bottom", "MinX", "MinY", "MaxX", "MaxY", "Show"})
        settings::ReadValue(&ini, "Web010", key, TVariant(0));
    settings::ReadValue(&ini, "Web010", "Home", TVariant(""));
    settings::ReadValue(&ini, "Web010", "ShowStatusBar", TVariant(true));
    settings::ReadValue(&ini, "Web010", "ShowToolBar", TVariant(true));
    settings::ReadValue(&ini, "Web010", "cbURL", TVariant(""));
    platform::TStringList list;
    urls = settings::ReadList(&ini, "Web010", "cbURL", list);
}

// The list read key by key, each read a scan of the file from its top.
int ReadByKey(platform::TStrings* ini, int limit) {
    int n = 0;
    for (; n < limit; ++n)
        if (settings::ReadValue(ini, "Web010", "cbURL#" + std::to_string(n), TVariant("")).AsString().empty()) break;
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    char tmpl[] = "/tmp/qel-bench-settings-XXXXXX";
    std::string dir = std::string(::mkdtemp(tmpl)) + "/";
    std::string file = dir + "QelBrowser.Ini";
    {
        std::ofstream out(file, std::ios::binary);
        out << "[Other]\r\nk=v\r\n[Web010]\r\nLeft=10\r\nTop=10\r\nRight=800\r\nBottom=600\r\nMinX=-1\r\nMinY=-1\r\n"
               "MaxX=-1\r\nMaxY=-1\r\nShow=0\r\nShowStatusBar=1\r\nShowToolBar=1\r\nHome=http://home.test/\r\n"
               "cbURL=http://home.test/\r\n";
        for (int i = 0; i < count; ++i)
            out << "cbURL#" << i << "=http://site" << i << ".example.test/some/path/page" << i << ".html\r\n";
        out << "[Last]\r\nz=1\r\n";
    }

    int urls = 0;
    double plain = Seconds(
        [&] {
            int fd = ::open(file.c_str(), O_RDONLY);
            std::vector<char> bytes(1 << 20);
            size_t total = 0;
            for (ssize_t n; (n = ::read(fd, bytes.data(), bytes.size())) > 0;) total += static_cast<size_t>(n);
            ::close(fd);
            if (total == 0) std::abort();
        },
        7);
    double load = Seconds(
        [&] {
            platform::TStringList ini;
            ini.LoadFromFile(file);
        },
        7);
    double open = Seconds([&] { Open(file, urls); }, 7);
    if (urls != count) {
        std::fprintf(stderr, "read %d URLs of %d\n", urls, count);
        return 1;
    }
    // Key by key the whole list takes minutes: a tenth of it shows the trend.
    platform::TStringList ini;
    ini.LoadFromFile(file);
    const int sample = std::max(1, count / 10);
    double byKey = Seconds([&] { ReadByKey(&ini, sample); }, 1);

    std::printf("settings open, %d URLs, %lld bytes\n", count, static_cast<long long>(std::ifstream(file, std::ios::ate | std::ios::binary).tellg()));
    std::printf("  plain read of the file       %9.4f s\n", plain);
    std::printf("  load into lines              %9.4f s   %.1fx the plain read\n", load, load / plain);
    std::printf("  open (load, keys, URL list)  %9.4f s   %.1fx the plain read\n", open, open / plain);
    std::printf("  first %d URLs read by key  %9.4f s   (the whole list by key grows with its square: ~%.0f s)\n",
                sample, byKey, byKey * (double(count) / sample) * (double(count) / sample));
    std::remove(file.c_str());
    ::rmdir(dir.c_str());
    return open < 1.0 ? 0 : 1;
}

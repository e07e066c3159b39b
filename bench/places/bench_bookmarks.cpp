// Reading the bookmarks file: the time of a load of many bookmarks (in
// folders, with titles and times), the median of a few runs.
// The file goes under $TMPDIR (else /tmp) and is removed afterwards.
// Usage: bench_bookmarks [bookmarks] [runs]
#include "common/BenchTiming.h"
#include "places/Bookmarks.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    platform::MessageBoxScope boxes(std::make_shared<platform::ConsoleMessageBox>(false));
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string file = platform::TempDirectory() + "bench_bookmarks_" + std::to_string(getpid()) + ".Ini";
    {
        places::TBookmarks made(file);
        for (int i = 0; i < count; ++i)
            made.Add({"Page " + std::to_string(i) + " of the site", "https://site" + std::to_string(i % 97) + ".test/p" +
                          std::to_string(i),
                      "Folder " + std::to_string(i % 13) + "/Sub " + std::to_string(i % 5), 1700000000 + i});
        made.Save();
    }
    std::vector<double> ms;
    int loaded = 0;
    for (int r = 0; r < runs; ++r) {
        places::TBookmarks b(file);
        auto t0 = std::chrono::steady_clock::now();
        if (!b.Load()) {
            std::fprintf(stderr, "%s\n", b.LastError().c_str());
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        loaded = b.Count();
    }
    std::printf("bookmarks: %d loaded, load median %.1f ms (fastest %.1f ms, %d runs)\n", loaded, bench::UpperMedian(ms),
                *std::min_element(ms.begin(), ms.end()), runs);
    std::remove(file.c_str());
    return loaded == count ? 0 : 1;
}

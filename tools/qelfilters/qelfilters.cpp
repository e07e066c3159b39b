// qelfilters: Adblock Plus rule lists as the engine's content-blocker rules.
//   qelfilters [--json FILE|-] [--compile [--store FOLDER]] [LIST...]
// Prints, for each list (the installed EasyList and EasyPrivacy without
// lists named), the rules converted and skipped with the reasons; --json
// writes the engine rules; --compile has the engine compile them (in a
// temporary store, or the one named) and tells how many it refused and how
// long it took.
#include "browser/ContentBlocker.h"
#include "filters/FilterConverter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void PrintCounts(const std::string& name, const filters::TConversionCounts& c) {
    std::printf("%s: %d rules, %d converted, %d skipped\n", name.c_str(), c.Rules, c.Converted, c.Skipped);
    std::vector<std::pair<int, std::string>> reasons;
    for (const auto& [why, n] : c.SkippedBy) reasons.push_back({n, why});
    std::sort(reasons.rbegin(), reasons.rend());
    for (const auto& [n, why] : reasons) std::printf("  %6d  %s\n", n, why.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string jsonOut;
    bool compile = false;
    std::string keep;
    std::vector<std::string> lists;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--json" && i + 1 < argc) {
            jsonOut = argv[++i];
        } else if (a == "--compile") {
            compile = true;
        } else if (a == "--store" && i + 1 < argc) {
            keep = argv[++i];
        } else if (a == "--help" || a == "-h") {
            std::puts("usage: qelfilters [--json FILE|-] [--compile [--store FOLDER]] [LIST...]");
            return 0;
        } else {
            lists.push_back(a);
        }
    }
    if (lists.empty()) lists = browser::ContentBlocker::InstalledLists();
    filters::TFilterConverter converter;
    for (const auto& list : lists) {
        std::ifstream in(list, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "qelfilters: cannot read \"%s\": %s\n", list.c_str(), std::strerror(errno));
            return 1;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        PrintCounts(list, converter.AddList(text));
    }
    std::vector<filters::TBlockerRule> rules = converter.Rules();
    std::printf("engine rules: %zu\n", rules.size());
    if (!jsonOut.empty()) {
        std::string json = filters::RulesToJson(rules);
        if (jsonOut == "-") {
            std::fwrite(json.data(), 1, json.size(), stdout);
        } else {
            std::ofstream out(jsonOut, std::ios::binary);
            out << json;
            if (!out) {
                std::fprintf(stderr, "qelfilters: cannot write \"%s\"\n", jsonOut.c_str());
                return 1;
            }
        }
    }
    if (compile) {
        char tmpl[] = "/tmp/qelfilters-XXXXXX";
        std::string store = keep.empty() ? std::string(::mkdtemp(tmpl)) + "/" : keep;
        std::string error;
        auto start = std::chrono::steady_clock::now();
        bool ok = browser::ContentBlocker::CompileJson(store, "qel-all", filters::RulesToJson(rules), error);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        int rejected = 0;
        if (!ok) {
            std::printf("the engine refused the whole set: %s; finding the rules it refuses...\n", error.c_str());
            rules = browser::ContentBlocker::DropRejected(store, rules, rejected);
        }
        std::printf("compiled by the engine in %.1f s; rules refused by the engine: %d\n", seconds, rejected);
        std::error_code ec;
        if (keep.empty()) std::filesystem::remove_all(store, ec);
    }
    return 0;
}

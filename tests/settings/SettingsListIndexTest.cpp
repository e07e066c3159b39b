// Numbered lists are read and written through an index of their section;
// the plain model here is the per-entry scan the text format is defined by
// (one FindKey, ReadValue or WriteValue per entry), run on the same lists.
#include "TestSupport.h"

#include "settings/ListMerge.h"
#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <random>

using platform::TStringList;
using platform::TVariant;

namespace {

int ModelReadList(platform::TStrings* list, const std::string& section, const std::string& key,
                  platform::TStrings& target) {
    for (int n = 0;; ++n) {
        std::string v = settings::ReadValue(list, section, key + "#" + std::to_string(n), TVariant("")).AsString();
        if (v.empty()) return n;
        target.Add(v);
    }
}

void ModelDelete(platform::TStrings* list, const std::string& section, const std::string& key, int from, int to) {
    for (int n = from; n <= to; ++n) {
        int s = 0, e = 0, p = 0;
        int i = settings::FindKey(list, section, key + "#" + std::to_string(n), 0, s, e, p, 0);
        if (i < 0) break;
        list->Delete(i);
    }
}

void ModelWriteList(platform::TStrings* list, const std::string& section, const std::string& key,
                    platform::TStrings& source, bool keepStale) {
    for (int i = 0; i < source.Count(); ++i)
        settings::WriteValue(list, section, key + "#" + std::to_string(i), TVariant(source[i]));
    if (!keepStale) ModelDelete(list, section, key, source.Count(), 9999999);
}

// Settings texts with what makes list lookups go wrong: the section twice,
// keys in other letter cases, blanks before "=", duplicates, comments, gaps
// in the numbering, indented headers, and lines that are no key lines.
std::vector<std::string> RandomText(std::mt19937& rng) {
    static const char* const sections[] = {"[L]", "[l]", " [L] ", "[Other]", "[L] ; c", ""};
    static const char* const keys[] = {"u", "U", "u ", "x", "u\t"};
    std::vector<std::string> lines;
    int count = static_cast<int>(rng() % 40);
    for (int i = 0; i < count; ++i) {
        switch (rng() % 8) {
        case 0:
            if (*sections[rng() % 6]) lines.push_back(sections[rng() % 6]);
            break;
        case 1:
            lines.push_back("; comment u#1=no");
            break;
        case 2:
            lines.push_back("");
            break;
        default: {
            std::string v = rng() % 9 == 0 ? "" : "v" + std::to_string(rng() % 100);
            if (rng() % 5 == 0) v += " ; note";
            lines.push_back(std::string(keys[rng() % 5]) + "#" + std::to_string(rng() % 6) + (rng() % 4 ? "=" : " =") + v);
        }
        }
    }
    return lines;
}

void Load(TStringList& list, const std::vector<std::string>& lines) {
    list.Clear();
    for (const auto& l : lines) list.Add(l);
}

} // namespace

TEST(SettingsListIndex, ReadsWritesAndDeletesAsTheEntryByEntryScan) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> text = RandomText(rng);
        std::string section = round % 3 == 0 ? "" : round % 3 == 1 ? "L" : "New";
        TStringList fast, model, gotFast, gotModel;
        Load(fast, text);
        Load(model, text);
        ASSERT_EQ(settings::ReadList(&fast, section, "u", gotFast), ModelReadList(&model, section, "u", gotModel));
        ASSERT_EQ(settings_test::Joined(gotFast), settings_test::Joined(gotModel)) << round;

        TStringList items;
        int n = static_cast<int>(rng() % 7);
        for (int i = 0; i < n; ++i) items.Add(i == 3 && rng() % 4 == 0 ? "" : "w" + std::to_string(rng() % 50));
        bool keep = rng() % 2;
        settings::WriteList(&fast, section, "u", items, keep ? settings::rlKeepStale : 0);
        ModelWriteList(&model, section, "u", items, keep);
        ASSERT_EQ(settings_test::Joined(fast), settings_test::Joined(model)) << "round " << round;

        int from = static_cast<int>(rng() % 4), to = from + static_cast<int>(rng() % 4);
        settings::DeleteListEntries(&fast, section, "u", from, to);
        ModelDelete(&model, section, "u", from, to);
        ASSERT_EQ(settings_test::Joined(fast), settings_test::Joined(model)) << "round " << round;
    }
}

TEST(SettingsListIndex, AnotherWindowsAdditionsFollowOursAndDroppedEntriesStayDropped) {
    // We read a, b, c at start, dropped c and added n; the other window
    // saved meanwhile with its new x and y, and kept c.
    EXPECT_EQ(settings::MergeLists({"n", "a", "b"}, {"a", "b", "c"}, {"x", "A", "y", "b", "c"}),
              (std::vector<std::string>{"n", "a", "b", "x", "y"}));
    // Matching ignores letter case, as the URL list does; nothing doubles.
    EXPECT_EQ(settings::MergeLists({"http://Q/"}, {}, {"http://q/", "http://r/", "http://R/"}),
              (std::vector<std::string>{"http://Q/", "http://r/"}));
    EXPECT_EQ(settings::MergeLists({}, {"a"}, {}), std::vector<std::string>{});
}

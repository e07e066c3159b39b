// The entry comparison and the sort index: the fast method must give the
// walk's records exactly.
#include "xoStr31/HdStrings.h"
#include "xoStr31/SortOrder.h"

#include <gtest/gtest.h>

#include <list>
#include <random>

using namespace xoStr31;

namespace {

// The placement procedure written out as plainly as it reads: a linked list
// of placed records, walked from the first for every new text.
struct Placed {
    int entry;
    int sample;
    int position;
};
std::vector<Placed> Transcribe(const std::vector<std::string>& texts, std::vector<int>& samples) {
    std::list<Placed> order;
    samples.clear();
    int placedCount = 0;
    for (int j = 0; j < int(texts.size()); ++j) {
        const std::string& s = texts[size_t(j)];
        int p = 0;
        auto where = order.begin();
        if (!s.empty()) {
            bool comparedAny = false, found = false;
            int place = 0;
            for (auto it = order.begin(); it != order.end(); ++it, ++place) {
                const std::string& t = texts[size_t(it->entry)];
                if (t.empty()) continue;
                comparedAny = true;
                if (THdStrings::CompareEntries(s, t, 0) == -1) {
                    p = place;
                    where = it;
                    found = true;
                    break;
                }
            }
            if (!found) {
                p = comparedAny ? placedCount : 0;
                where = comparedAny ? order.end() : order.begin();
            }
        }
        ++placedCount;
        Placed r{j, -1, p};
        if ((placedCount - 1) % 50 == 0) {
            samples.push_back(j);
            r.sample = int(samples.size()) - 1;
        }
        order.insert(where, r);
    }
    return std::vector<Placed>(order.begin(), order.end());
}

void ExpectSame(const std::vector<std::string>& texts, bool fast) {
    std::vector<int> wantSamples;
    auto want = Transcribe(texts, wantSamples);
    std::vector<std::string_view> views(texts.begin(), texts.end());
    std::vector<TSortRecord> got;
    std::vector<int32_t> gotSamples;
    EXPECT_EQ(ComputeSortIndex(views, got, gotSamples), fast);
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
        ASSERT_EQ(got[k].Entry, want[k].entry) << "place " << k;
        ASSERT_EQ(got[k].Sample, want[k].sample) << "place " << k;
        ASSERT_EQ(got[k].Position, want[k].position) << "place " << k;
    }
    EXPECT_EQ(std::vector<int>(gotSamples.begin(), gotSamples.end()), wantSamples);
}

std::vector<std::string> RandomTexts(std::mt19937& rng, const std::string& alphabet, int count, int maxLength) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        // Empty and repeated texts are common on purpose.
        if (rng() % 5 == 0) {
            texts.emplace_back();
        } else if (!texts.empty() && rng() % 4 == 0) {
            texts.push_back(texts[rng() % texts.size()]);
        } else {
            std::string t;
            int n = 1 + int(rng() % unsigned(maxLength));
            for (int k = 0; k < n; ++k) t += alphabet[rng() % alphabet.size()];
            texts.push_back(t);
        }
    }
    return texts;
}

int ByteRule(uint8_t x, uint8_t y) {
    return THdStrings::CompareEntries(std::string(1, char(x)), std::string(1, char(y)), 0);
}

} // namespace

TEST(CompareEntries, ByteRules) {
    EXPECT_EQ(THdStrings::CompareEntries("a", "A", 0), 0);
    EXPECT_EQ(THdStrings::CompareEntries("a", "A", ceExact), 1);
    EXPECT_EQ(THdStrings::CompareEntries("A", "a", ceExact), -1);
    EXPECT_EQ(THdStrings::CompareEntries("{", "[", 0), 0);
    EXPECT_EQ(THdStrings::CompareEntries("[", "{", 0), -1);
    EXPECT_EQ(THdStrings::CompareEntries("", "", 0), 0);
    EXPECT_EQ(THdStrings::CompareEntries("", "a", 0), 1);
    EXPECT_EQ(THdStrings::CompareEntries("a", "", 0), 1);
    EXPECT_EQ(THdStrings::CompareEntries("ab", "ABC", 0), -1);
    EXPECT_EQ(THdStrings::CompareEntries("abc", "AB", 0), 1);
    EXPECT_EQ(THdStrings::CompareEntries("Apple", "banana", 0), -1);
    EXPECT_EQ(THdStrings::CompareEntries("B", "_", 0), -1);   // raw bytes against a non-letter
    EXPECT_EQ(THdStrings::CompareEntries("b", "_", 0), 1);
    EXPECT_EQ(THdStrings::CompareEntries("\xC0", "\xE0", 0), 0);  // upper and lower above 127
    EXPECT_EQ(THdStrings::CompareEntries("\xE0", "\xC1", 0), -1);
    EXPECT_EQ(THdStrings::CompareEntries("\xFF", "\x01", 0), 1);
}

// On the fast method's byte set the byte rule is case-folded byte order.
TEST(CompareEntries, ConsistentSetAgreesWithFoldedOrder) {
    auto fold = [](int c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    int members = 0;
    for (int x = 0; x < 256; ++x) {
        if (!IsConsistentSortByte(uint8_t(x))) continue;
        ++members;
        for (int y = 0; y < 256; ++y) {
            if (!IsConsistentSortByte(uint8_t(y)) || x == y) continue;
            int want = fold(x) < fold(y) ? -1 : fold(x) > fold(y) ? 1 : 0;
            ASSERT_EQ(ByteRule(uint8_t(x), uint8_t(y)), want) << x << " " << y;
        }
    }
    EXPECT_GE(members, 1 + 10 + 52);
    EXPECT_FALSE(IsConsistentSortByte('_'));
    EXPECT_FALSE(IsConsistentSortByte(200));
}

TEST(SortIndex, SmallCases) {
    ExpectSame({"b", "", "a"}, true);
    ExpectSame({}, true);
    ExpectSame({"", "", ""}, true);
    ExpectSame({"", "", "x", "", "a", "x", "", "X", "z"}, true);
    ExpectSame({"B", "_", "a", "["}, false);

    THdStrings list;
    for (const char* s : {"b", "", "a"}) list.Add(s);
    list.Sort();
    ASSERT_EQ(list.SortIndex().size(), 3u);
    EXPECT_EQ(list.SortIndex()[0].Entry, 1);
    EXPECT_EQ(list.SortIndex()[1].Entry, 2);
    EXPECT_EQ(list.SortIndex()[2].Entry, 0);
    ASSERT_EQ(list.Samples()->GetCount(), 1);
    EXPECT_EQ(list.Samples()->Get(0), "b");
    EXPECT_EQ(list.Samples()->GetObject(0), 0);
}

TEST(SortIndex, FastMethodMatchesWalk) {
    std::mt19937 rng(2024);
    const std::string consistent = "aAbBzZ09 !-{~";
    for (int round = 0; round < 300; ++round) {
        auto texts = RandomTexts(rng, consistent, int(rng() % 160), 4);
        ExpectSame(texts, true);
        if (HasFailure()) return;
    }
}

TEST(SortIndex, ConflictingBytesUseTheWalk) {
    std::mt19937 rng(99);
    const std::vector<std::string> alphabets = {
        "aAbB[_`",             // upper letters against the bytes between Z and a
        "{[|\\ @a",            // non-letters 32 apart
        std::string("a\xC0\xE0\xDE\xBE\xF7\xD7"),  // bytes above 127
    };
    for (const auto& alphabet : alphabets)
        for (int round = 0; round < 80; ++round) {
            auto texts = RandomTexts(rng, alphabet, int(rng() % 120), 3);
            bool conflicting = false;
            for (auto& t : texts)
                for (unsigned char c : t) conflicting |= !IsConsistentSortByte(c);
            ExpectSame(texts, !conflicting);
            if (HasFailure()) return;
        }
}

TEST(SortIndex, ListReadsEveryTextOnce) {
    THdStrings list;
    std::mt19937 rng(5);
    auto texts = RandomTexts(rng, "abcXYZ 12", 400, 6);
    for (auto& t : texts) list.Add(t);
    list.Add(std::string("q\0hidden", 8));  // compared as Get answers it: "q"
    texts.push_back("q");
    list.BuildSortIndex("", 0, 0);
    EXPECT_TRUE(list.LastSortWasFast());
    std::vector<int> samples;
    auto want = Transcribe(texts, samples);
    ASSERT_EQ(list.SortIndex().size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) EXPECT_EQ(list.SortIndex()[k].Entry, want[k].entry);
    ASSERT_EQ(list.Samples()->GetCount(), int(samples.size()));
    for (size_t k = 0; k < samples.size(); ++k) {
        EXPECT_EQ(list.Samples()->Get(int(k)), texts[size_t(samples[k])]);
        EXPECT_EQ(list.Samples()->GetObject(int(k)), samples[k]);
    }
}

// The entry comparison and the sort index: the records must be the walk's
// exactly, for every kind of byte.
#include "xoStr31/HdStrings.h"
#include "xoStr31/OrderLabels.h"
#include "xoStr31/SortBytes.h"
#include "xoStr31/SortOrder.h"
#include "SortWalk.h"

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

TSortTexts Pack(const std::vector<std::string>& texts) {
    TSortTexts packed;
    for (const auto& t : texts) packed.Add(t);
    return packed;
}

void ExpectRecords(const std::vector<TSortRecord>& got, const std::vector<int32_t>& gotSamples,
                   const std::vector<Placed>& want, const std::vector<int>& wantSamples) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
        ASSERT_EQ(got[k].Entry, want[k].entry) << "place " << k;
        ASSERT_EQ(got[k].Sample, want[k].sample) << "place " << k;
        ASSERT_EQ(got[k].Position, want[k].position) << "place " << k;
    }
    EXPECT_EQ(std::vector<int>(gotSamples.begin(), gotSamples.end()), wantSamples);
}

// The records of ComputeSortIndex (or of the walk kept in the code) are
// those of the transcription.
void ExpectSame(const std::vector<std::string>& texts, bool byWalk = false) {
    std::vector<int> wantSamples;
    auto want = Transcribe(texts, wantSamples);
    std::vector<TSortRecord> got;
    std::vector<int32_t> gotSamples;
    if (byWalk)
        ComputeSortIndexByWalk(Pack(texts), got, gotSamples);
    else
        ComputeSortIndex(Pack(texts), got, gotSamples);
    ExpectRecords(got, gotSamples, want, wantSamples);
}

std::vector<std::string> RandomTexts(std::mt19937& rng, const std::string& alphabet, int count, int maxLength) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        // Empty texts, repeats and texts that grow out of earlier ones are
        // common on purpose: they make long runs of shared bytes.
        const unsigned pick = rng() % 8;
        if (pick == 0) {
            texts.emplace_back();
        } else if (!texts.empty() && pick <= 2) {
            texts.push_back(texts[rng() % texts.size()]);
        } else {
            std::string t = !texts.empty() && pick == 3 ? texts[rng() % texts.size()] : std::string();
            int n = 1 + int(rng() % unsigned(maxLength));
            for (int k = 0; k < n; ++k) t += alphabet[rng() % alphabet.size()];
            texts.push_back(t);
        }
    }
    return texts;
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

// The search rests on this: the byte rule is the folded order but for the
// two kinds of pairs, in every byte pair.
TEST(CompareEntries, FoldedOrderButForTwoPairs) {
    using namespace SortBytes;
    for (unsigned x = 0; x < 256; ++x)
        for (unsigned y = 0; y < 256; ++y) {
            const std::string a(1, char(x)), b(1, char(y)), a2 = a + "b", b2 = b + "c";
            int want;
            if (Folded[x] < Folded[y]) want = -1;
            else if (Folded[x] == Folded[y]) want = 0;
            else if (RawSmallerRuns[x].First <= y && y <= RawSmallerRuns[x].Last) want = -1;
            else want = GoesOnWith(x) == int(y) ? 0 : 1;
            ASSERT_EQ(CompareEntryTexts(a, b, 0), want) << x << " " << y;
            ASSERT_EQ(CompareEntryTexts(a2, b2, 0), want == 0 ? -1 : want) << x << " " << y;
        }
}

TEST(SortIndex, SmallCases) {
    ExpectSame({"b", "", "a"});
    ExpectSame({});
    ExpectSame({"", "", ""});
    ExpectSame({"", "", "x", "", "a", "x", "", "X", "z"});
    ExpectSame({"B", "_", "a", "["});
    ExpectSame({"[{", "{[", "{{", "[[", "{", "["});

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

TEST(SortIndex, MatchesWalkOnBytesThatBreakTheOrder) {
    std::mt19937 rng(2024);
    const std::vector<std::string> alphabets = {
        "aAbBzZ09 !-{~",                          // the folded order holds
        "aAbB[_`",                                // upper letters against the bytes between Z and a
        "{[|\\ @`a",                              // non-letters 32 apart
        "{[\x9B",                                 // pairs that go on, and a byte that stops them
        "aAbB\x81\x82\xA1\xC1\xE1",               // 0x81 against a, but not against A
        std::string("a\xC0\xE0\xDE\xBE\xF7\xD7\xD8\xF8", 9),  // Latin-1 letters and the two signs
        "e\xC3\xA9\x89\x83\xA3\xE3\x81 E",        // UTF-8 letters of both cases
    };
    for (const auto& alphabet : alphabets) {
        for (int round = 0; round < 60; ++round) {
            ExpectSame(RandomTexts(rng, alphabet, int(rng() % 200), 1 + int(rng() % 6)));
            if (HasFailure()) return;
        }
        // Enough texts for many label spreads, tree blocks and step levels.
        ExpectSame(RandomTexts(rng, alphabet, 3000, 5));
        if (HasFailure()) return;
    }
    std::string every;
    for (int c = 1; c < 256; ++c) every += char(c);
    for (int round = 0; round < 20; ++round) ExpectSame(RandomTexts(rng, every, 400, 3));
}

TEST(SortIndex, WalkReferenceAndCrowdedPlaces) {
    // Each text lands right before the one placed just before it, halving
    // the same gap again and again.
    std::vector<std::string> texts = {"a", "z"};
    for (int i = 999; i >= 100; --i) texts.push_back("m" + std::to_string(i));
    for (int i = 0; i < 300; ++i) texts.push_back(i % 2 ? "z" : "a");
    std::mt19937 rng(7);
    auto random = RandomTexts(rng, "aA[_{\xA9\x89", 500, 4);
    texts.insert(texts.end(), random.begin(), random.end());
    ExpectSame(texts);
    ExpectSame(texts, true);
}

// Common prefix lengths past 65535 bytes are not kept; they are worked out
// where a text may part from another that far in.
TEST(SortIndex, PartingPastLongCommonPrefixes) {
    std::mt19937 rng(3);
    std::string prefix;
    while (prefix.size() < 65600) prefix += "aB{";
    std::vector<std::string> texts;
    for (int i = 0; i < 80; ++i) {
        const size_t cut = i % 4 ? 65536 + rng() % 12 : rng() % prefix.size();
        std::string t = prefix.substr(0, cut);
        for (int k = 0, n = int(rng() % 6); k < n; ++k) t += "aB{[_"[rng() % 5];
        texts.push_back(t);
    }
    ExpectSame(texts);
}

TEST(OrderLabels, KeepTheListOrderThroughSpreads) {
    std::mt19937 rng(11);
    const uint32_t slots = 6000;
    TOrderLabels labels;
    labels.Reset(slots);
    std::list<uint32_t> model;
    int relabels = 0;
    labels.OnRelabel = [&](uint32_t) { ++relabels; };
    for (uint32_t s = 0; s < slots; ++s) {
        // Mostly right before one of a few early slots, so gaps run out.
        uint32_t before = TOrderLabels::None;
        auto at = model.end();
        if (!model.empty() && rng() % 8) {
            before = uint32_t(rng() % std::min<uint32_t>(s, 3));
            at = std::find(model.begin(), model.end(), before);
        }
        labels.InsertBefore(s, before);
        model.insert(at, s);
    }
    EXPECT_GT(relabels, 0);
    auto it = model.begin();
    uint64_t last = 0;
    for (uint32_t s = labels.First(); s != TOrderLabels::None; s = labels.Next(s), ++it) {
        ASSERT_EQ(s, *it);
        ASSERT_GT(labels.Labels()[s], last);
        last = labels.Labels()[s];
    }
    EXPECT_EQ(it, model.end());
}

TEST(SortIndex, ListReadsEveryTextOnceAndReportsProgress) {
    THdStrings list;
    std::mt19937 rng(5);
    auto texts = RandomTexts(rng, "abcXYZ 12_[", 3000, 6);
    for (auto& t : texts) list.Add(t);
    list.Add(std::string("q\0hidden", 8));  // compared as Get answers it: "q"
    texts.push_back("q");
    std::vector<int> percents;
    list.OnProgress = [&](THdStrings* l) { percents.push_back(l->Progress()); };
    list.BuildSortIndex("", 0, 0);
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    std::vector<int> wantSamples;
    auto want = Transcribe(texts, wantSamples);
    std::vector<int32_t> gotSamples;
    for (int k = 0; k < list.Samples()->GetCount(); ++k) {
        gotSamples.push_back(int32_t(list.Samples()->GetObject(k)));
        EXPECT_EQ(list.Samples()->Get(k), texts[size_t(gotSamples.back())]);
    }
    ExpectRecords(list.SortIndex(), gotSamples, want, wantSamples);
}

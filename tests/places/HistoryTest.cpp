// The history file: visits as grep-able lines that survive a restart,
// nothing in private mode, clearing by time and address checked against a
// plain model, and a kill or a full disk at every step of a change leaving
// the old file or the new one.
#include "common/Spawn.h"
#include "common/TempFolder.h"
#include "places/History.h"
#include "platform/Strings.h"
#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using qeltest::ReadFile;
using qeltest::TempFolder;
using qeltest::WriteFile;
using places::THistory;
using places::TVisit;

namespace {

std::vector<TVisit> AllVisits(const std::string& file) {
    THistory h(file);
    EXPECT_TRUE(h.Open()) << h.LastError();
    std::vector<TVisit> out;
    for (int i = 0; i < h.Count(); ++i) out.push_back(h.Visit(i));
    return out;
}

bool Same(const std::vector<TVisit>& a, const std::vector<TVisit>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].Time != b[i].Time || a[i].Address != b[i].Address || a[i].Title != b[i].Title) return false;
    return true;
}

} // namespace

TEST(History, VisitsSurviveARestartAsOneGrepableLineEach) {
    TempFolder dir;
    const std::string file = dir / "sub/history.txt";  // the folder is made
    {
        THistory h(file);
        ASSERT_TRUE(h.Open()) << h.LastError();
        ASSERT_TRUE(h.AddVisit("http://a.test/", "", 100));
        ASSERT_TRUE(h.AddVisit("http://b.test/x\ty", "B\\C", 200));
        ASSERT_TRUE(h.AddVisit("http://c.test/", "", 300));
        // The title arrives after the visit started; an earlier visit of
        // another address is not touched.
        EXPECT_TRUE(h.SetTitle("http://a.test/", "Line one\nline two"));
        EXPECT_FALSE(h.SetTitle("http://a.test/", "Line one\nline two"));
        EXPECT_FALSE(h.SetTitle("http://never.test/", "x"));
    }
    EXPECT_EQ(ReadFile(file),
              "100\thttp://a.test/\tLine one\\nline two\n"
              "200\thttp://b.test/x\\ty\tB\\\\C\n"
              "300\thttp://c.test/\t\n");
    std::vector<TVisit> v = AllVisits(file);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].Title, "Line one\nline two");
    EXPECT_EQ(v[1].Address, "http://b.test/x\ty");
    EXPECT_EQ(v[1].Title, "B\\C");
    EXPECT_EQ(v[2].Time, 300);
}

TEST(History, PrivateModeAndBadInputRecordNothing) {
    TempFolder dir;
    const std::string file = dir / "history.txt";
    THistory h(file);
    ASSERT_TRUE(h.Open());
    h.SetPrivate(true);
    EXPECT_FALSE(h.AddVisit("http://secret.test/", "Secret"));
    EXPECT_FALSE(h.SetTitle("http://secret.test/", "Secret"));
    h.SetPrivate(false);
    EXPECT_FALSE(h.AddVisit("", "no address"));
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(ReadFile(file), "");
}

TEST(History, HandEditedLinesAndEscapesReadBack) {
    // Every byte survives a write and a read of its field.
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    all += "\\t\\\\n\\";
    EXPECT_EQ(places::UnescapeField(places::EscapeField(all)), all);
    EXPECT_EQ(places::EscapeField(all).find_first_of("\t\r\n"), std::string::npos);
    // A line someone wrote without a time is kept as an address at time 0;
    // unknown escapes stay as written.
    TVisit v = places::ParseVisit("http://x.test/\\q");
    EXPECT_EQ(v.Time, 0);
    EXPECT_EQ(v.Address, "http://x.test/\\q");
    v = places::ParseVisit("12x\tfoo\tbar");
    EXPECT_EQ(v.Time, 0);
}

TEST(History, ClearingByTimeAndAddressFollowsAPlainModel) {
    TempFolder dir;
    const std::string file = dir / "history.txt";
    std::vector<TVisit> model;
    std::mt19937 rng(7);
    const int64_t now = 1'000'000;
    {
        THistory h(file);
        ASSERT_TRUE(h.Open());
        std::vector<int> lastRemoved;
        h.OnRemoved = [&](const std::vector<int>& r, const std::string&) { lastRemoved = r; };
        for (int i = 0; i < 400; ++i) {
            // Mostly forward in time, now and then a clock set back.
            int64_t t = now - 200'000 + i * 500 - (rng() % 10 == 0 ? int64_t(rng() % 50'000) : 0);
            TVisit v{t, "http://site" + std::to_string(rng() % 30) + ".test/", "T" + std::to_string(i)};
            ASSERT_TRUE(h.AddVisit(v.Address, v.Title, v.Time));
            model.insert(std::upper_bound(model.begin(), model.end(), v,
                                          [](const TVisit& a, const TVisit& b) { return a.Time < b.Time; }),
                         v);
        }
        auto removeModel = [&](auto pred) {
            std::vector<int> gone;
            for (size_t i = 0; i < model.size(); ++i)
                if (pred(model[i])) gone.push_back(int(i));
            model.erase(std::remove_if(model.begin(), model.end(), pred), model.end());
            return gone;
        };
        auto check = [&] {
            ASSERT_EQ(h.Count(), int(model.size()));
            for (int i = 0; i < h.Count(); ++i) {
                ASSERT_EQ(h.Visit(i).Time, model[size_t(i)].Time) << i;
                ASSERT_EQ(h.Visit(i).Title, model[size_t(i)].Title) << i;
            }
        };
        check();
        std::vector<int> expect = removeModel([&](const TVisit& v) { return v.Time >= now - 3600; });
        EXPECT_EQ(h.Clear(places::TClearSpan::LastHour, now), int(expect.size()));
        EXPECT_EQ(lastRemoved, expect);
        check();
        expect = removeModel([&](const TVisit& v) { return v.Time >= now - 86400; });
        EXPECT_EQ(h.Clear(places::TClearSpan::LastDay, now), int(expect.size()));
        check();
        expect = removeModel([&](const TVisit& v) { return v.Address == "http://site3.test/"; });
        ASSERT_FALSE(expect.empty());
        EXPECT_EQ(h.RemoveAddress("http://site3.test/"), int(expect.size()));
        EXPECT_EQ(lastRemoved, expect);
        check();
        // The age limit: days before now.
        expect = removeModel([&](const TVisit& v) { return v.Time < now - 2 * 86400; });
        ASSERT_FALSE(expect.empty());
        EXPECT_EQ(h.ApplyAgeLimit(2, now), int(expect.size()));
        EXPECT_EQ(h.ApplyAgeLimit(0, now), 0);
        check();
    }
    // What a restart reads (the entry table written at close) is the same.
    EXPECT_TRUE(Same(AllVisits(file), model));
    {
        THistory h(file);
        ASSERT_TRUE(h.Open());
        EXPECT_EQ(h.Clear(places::TClearSpan::All, now), int(model.size()));
    }
    EXPECT_EQ(ReadFile(file), "");
}

TEST(History, AgeLimitKeyOfTheSettingsFile) {
    platform::TStringList list;
    EXPECT_EQ(places::AgeLimitDays(&list), 90);
    EXPECT_EQ(places::AgeLimitDays(nullptr), 90);
    settings::WriteValue(&list, "History", "AgeLimitDays", platform::TVariant(7));
    EXPECT_EQ(places::AgeLimitDays(&list), 7);
    settings::WriteValue(&list, "History", "AgeLimitDays", platform::TVariant(std::string("soon")));
    EXPECT_EQ(places::AgeLimitDays(&list), 90);
    settings::WriteValue(&list, "History", "AgeLimitDays", platform::TVariant(0));
    EXPECT_EQ(places::AgeLimitDays(&list), 0);
}

#ifdef HISTORY_FAULT_SHIM
namespace {

using qeltest::Spawn;

} // namespace

TEST(HistoryFaults, KillOrFullDiskAtEveryStepLeavesTheOldOrTheNewHistory) {
    TempFolder dir;
    const std::string file = dir / "history.txt";
    const std::string seed = "1000\thttp://keep.test/\tKeep\n"
                             "2000\thttp://drop.test/\t\n"
                             "3000\thttp://keep.test/two\t\n"
                             "4000\thttp://drop.test/\tAgain\n"
                             "6000\thttp://late.test/\t\n";
    struct TCase {
        const char* op;
        std::string arg;
    };
    for (const TCase& c : {TCase{"add", "http://new.test/"}, TCase{"title", "http://late.test/"},
                           TCase{"expire", "2500"}, TCase{"forget", "http://drop.test/"}}) {
        SCOPED_TRACE(c.op);
        std::vector<std::string> edit = {HISTORY_EDIT_CHILD, file, c.op, c.arg};
        WriteFile(file, seed);
        std::vector<TVisit> before = AllVisits(file);
        ASSERT_EQ(Spawn(edit, {}), 0);
        std::vector<TVisit> after = AllVisits(file);
        ASSERT_FALSE(Same(before, after));
        const std::string log = dir / "count";
        WriteFile(file, seed);
        ::unlink((file.substr(0, file.size() - 4) + ".Rni").c_str());
        ASSERT_EQ(Spawn(edit, {"QEL_FAULT=count", "QEL_FAULT_LOG=" + log, "LD_PRELOAD=" HISTORY_FAULT_SHIM}), 0);
        const int steps = std::stoi(ReadFile(log));
        ASSERT_GT(steps, 2);
        for (int k = 1; k <= steps; ++k) {
            for (const char* fault : {"kill:", "enospc:"}) {
                WriteFile(file, seed);
                ::unlink((file.substr(0, file.size() - 4) + ".Rni").c_str());
                Spawn(edit, {std::string("QEL_FAULT=") + fault + std::to_string(k), "LD_PRELOAD=" HISTORY_FAULT_SHIM});
                std::vector<TVisit> seen = AllVisits(file);
                EXPECT_TRUE(Same(seen, before) || Same(seen, after)) << fault << k;
            }
        }
    }
}
#endif

TEST(History, AFileEditedByHandWithoutItsLastLineEndStaysWhole) {
    TempFolder dir;
    const std::string file = dir / "history.txt";
    WriteFile(file, "100\thttp://a.test/\t\n200\thttp://b.test/\tB\n300\thttp://a.test/\t");
    {
        THistory h(file);
        ASSERT_TRUE(h.Open());
        EXPECT_EQ(h.RemoveAddress("http://a.test/"), 2);  // the last line among them
        EXPECT_TRUE(h.AddVisit("http://c.test/", "C", 400));
    }
    EXPECT_EQ(ReadFile(file), "200\thttp://b.test/\tB\n400\thttp://c.test/\tC\n");
    WriteFile(file, "100\thttp://a.test/\t\n200\thttp://b.test/\tB");
    {
        THistory h(file);
        ASSERT_TRUE(h.Open());
        EXPECT_TRUE(h.AddVisit("http://c.test/", "", 300));
        EXPECT_EQ(h.Clear(places::TClearSpan::LastHour, 150 + 3600), 2);  // 200 and 300
    }
    EXPECT_EQ(ReadFile(file), "100\thttp://a.test/\t\n");
}

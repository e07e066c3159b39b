// Completion against a plain model (every place folded and ranked by
// frecency), while the history grows, is retitled and forgets; pages found
// by a title word in a later run; bookmarks and folded accents.
#include "common/TempFolder.h"
#include "places/Completion.h"
#include "places/TextFold.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <thread>

using qeltest::TempFolder;
using places::TCompletion;
using places::THistory;

namespace {

struct TModelPlace {
    std::string Title;
    uint32_t Visits = 0;
    int64_t Last = 0;
};

std::string ModelHost(std::string a) {
    a = places::FoldText(a);
    a = a.substr(a.find("://") + 3);
    if (a.rfind("www.", 0) == 0) a = a.substr(4);
    return a.substr(0, a.find_first_of(":/?#"));
}

// The frecencies of the places the model ranks first, best first, and
// whether some place's host starts with the typed word.
std::vector<double> ModelScores(const std::map<std::string, TModelPlace>& places, const std::string& typed,
                                int64_t now, bool& hostMatch) {
    std::vector<std::string> words = places::FoldedWords(typed);
    std::vector<double> scores;
    hostMatch = false;
    for (const auto& [address, p] : places) {
        if (p.Visits == 0) continue;
        if (words.size() == 1) {
            std::string prefix = words[0];
            for (const char* strip : {"https://", "http://", "www."})
                if (prefix.rfind(strip, 0) == 0) prefix = prefix.substr(std::strlen(strip));
            if (!prefix.empty() && ModelHost(address).rfind(prefix, 0) == 0) hostMatch = true;
        }
        if (places::MatchesAllWords(places::FoldText(address + "\t" + p.Title), words))
            scores.push_back(places::Frecency(p.Visits, p.Last, now));
    }
    std::sort(scores.rbegin(), scores.rend());
    return scores;
}

} // namespace

TEST(Completion, RanksAsAPlainModelWhileTheHistoryChanges) {
    TempFolder dir;
    THistory history(dir / "history.txt");
    ASSERT_TRUE(history.Open());
    std::mt19937 rng(3);
    const char* words[] = {"Café", "cafe\xCC\x81", "news", "Zprávy", "ŽLUŤOUČKÝ", "kůň", "weather", "mail", "docs",
                           "search", "map", "video", "shop", "blog"};
    const int64_t now = 2'000'000'000;
    std::map<std::string, TModelPlace> model;
    int64_t t = now - 120 * 86400;
    auto visit = [&] {
        int site = int(rng() % 60);
        std::string address = "https://" + std::string(site % 2 ? "www." : "") + "site" + std::to_string(site % 20) +
                              (site % 3 ? ".test" : ".example") + "/p" + std::to_string(site);
        std::string title = rng() % 5 == 0 ? "" : std::string(words[rng() % 14]) + " " + words[rng() % 14];
        t += int64_t(rng() % 20000);
        ASSERT_TRUE(history.AddVisit(address, title, t));
        TModelPlace& p = model[address];
        ++p.Visits;
        p.Last = t;
        if (!title.empty()) p.Title = title;
    };
    for (int i = 0; i < 300; ++i) visit();
    TCompletion completion;
    completion.Attach(history);
    auto check = [&](const std::string& typed) {
        SCOPED_TRACE(typed);
        bool hostMatch = false;
        std::vector<double> want = ModelScores(model, typed, now, hostMatch);
        std::vector<places::TCompletionItem> got = completion.Complete(typed, 8, now);
        size_t from = 0;
        if (hostMatch) {
            ASSERT_FALSE(got.empty());
            EXPECT_TRUE(got[0].TypedHost);
            // The rest are the best of the others.
            auto it = std::find(want.begin(), want.end(), got[0].Score);
            if (it != want.end()) want.erase(it);
            from = 1;
        }
        want.resize(std::min(want.size(), got.size() - from));
        std::vector<double> scores;
        for (size_t i = from; i < got.size(); ++i) {
            scores.push_back(got[i].Score);
            // What is shown is the page as visited, its latest title.
            ASSERT_TRUE(model.count(got[i].Address)) << got[i].Address;
            EXPECT_EQ(got[i].Title, model[got[i].Address].Title);
            EXPECT_EQ(got[i].Visits, int(model[got[i].Address].Visits));
        }
        EXPECT_EQ(scores, want);
        if (got.size() < 8) {
            EXPECT_EQ(scores.size(), want.size());
        }
    };
    const std::vector<std::string> queries = {"cafe", "CAFÉ news", "site1", "www.site2", "https://site", "s", "p1",
                                              "zluto", "kun", "zpravy", "docs mail", "nothing-like-it", "example p"};
    for (const auto& q : queries) check(q);
    // Visits since the sort (looked at first), then enough to sort again.
    for (int i = 0; i < 50; ++i) visit();
    for (const auto& q : queries) check(q);
    ASSERT_TRUE(history.SetTitle(history.Visit(history.Count() - 1).Address, "Renamed weather"));
    model[history.Visit(history.Count() - 1).Address].Title = "Renamed weather";
    check("renamed");
    for (int i = 0; i < 2100; ++i) visit();
    for (const auto& q : queries) check(q);
    // Single visits deleted on the history page: counts, last visits and
    // shown titles follow what remains.
    for (int k = 0; k < 40; ++k) {
        int index = int(rng() % uint32_t(history.Count()));
        places::TVisit v = history.Visit(index);
        ASSERT_TRUE(history.Remove(index));
        TModelPlace& p = model[v.Address];
        p = {};
        for (int i = 0; i < history.Count(); ++i) {
            places::TVisit w = history.Visit(i);
            if (w.Address != v.Address) continue;
            ++p.Visits;
            p.Last = std::max(p.Last, w.Time);
            if (!w.Title.empty()) p.Title = w.Title;
        }
    }
    for (const auto& q : queries) check(q);
    // The drop-down's Delete takes every visit of the address.
    std::string gone = completion.Complete("site1", 1, now)[0].Address;
    EXPECT_EQ(completion.Forget(gone), int(model[gone].Visits));
    model[gone].Visits = 0;
    for (const auto& q : queries) check(q);
    for (const auto& item : completion.Complete("site", 100, now)) EXPECT_NE(item.Address, gone);
    // Clearing by time indexes the history again.
    history.Clear(places::TClearSpan::All, now);
    EXPECT_TRUE(completion.Complete("s", 8, now).empty());
}

TEST(Completion, FindsAPageOfAnEarlierRunByATitleWordAndOffersBookmarks) {
    TempFolder dir;
    const std::string file = dir / "history.txt";
    const int64_t now = places::NowSeconds();
    {
        THistory history(file);
        ASSERT_TRUE(history.Open());
        history.AddVisit("http://127.0.0.1:8080/often", "Often read", now - 500);
        for (int i = 0; i < 3; ++i) history.AddVisit("http://127.0.0.1:8080/often", "", now - 400 + i);
        history.AddVisit("http://127.0.0.1:8080/once", "Read once, about Pražské jaro", now - 300);
        history.SetTitle("http://127.0.0.1:8080/once", "Once: Pražské jaro in detail");
    }
    THistory history(file);
    ASSERT_TRUE(history.Open());
    TCompletion completion;
    completion.Attach(history);
    auto hits = completion.Complete("prazske JARO", 10, now);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Address, "http://127.0.0.1:8080/once");
    EXPECT_EQ(hits[0].Title, "Once: Pražské jaro in detail");
    hits = completion.Complete("read", 10, now);
    ASSERT_EQ(hits.size(), 1u);  // the later title no longer says "read"
    hits = completion.Complete("127.0.0.1:8080", 10, now);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[1].Address, "http://127.0.0.1:8080/once");  // the most visited first

    places::TBookmarks bookmarks(dir / "Bookmarks.Ini");
    bookmarks.Add({"Jaro notes", "https://notes.test/jaro", "Spring", 1});
    bookmarks.Add({"Once again", "http://127.0.0.1:8080/once", "", 1});
    completion.SetBookmarks(&bookmarks);
    hits = completion.Complete("jaro", 10, now);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].Address, "http://127.0.0.1:8080/once");  // bookmarked and visited: first, once
    EXPECT_TRUE(hits[0].Bookmarked);
    EXPECT_EQ(hits[1].Address, "https://notes.test/jaro");
    EXPECT_EQ(completion.Complete("spring", 10, now).size(), 1u);  // a bookmark's folder counts
}

namespace {

// A history file of many visits, written as the history writes it: pages
// of a few hundred hosts whose titles share words, the last an hour ago.
void WriteHistory(const std::string& file, int visits, int64_t now) {
    const char* words[] = {"river", "garden", "report", "Zürich", "notes", "market", "piano", "orbit"};
    std::string text;
    for (int64_t i = 0; i < visits; ++i) {
        const int64_t host = (i * 7919) % 300, page = (i * 104729) % 40;
        text += std::to_string(now - 3600 - (visits - i) * 20) + "\thttp://host" + std::to_string(host) +
                ".test/p" + std::to_string(page) + "\t" + words[(host + page) % 8] + " " + words[page % 8] + " " +
                std::to_string(page) + "\n";
    }
    std::ofstream(file, std::ios::binary) << text;
}

void ExpectSameResults(TCompletion& built, TCompletion& reference, const std::vector<std::string>& queries,
                       int64_t now) {
    for (const auto& q : queries) {
        auto a = built.Complete(q, 12, now), b = reference.Complete(q, 12, now);
        ASSERT_EQ(a.size(), b.size()) << q;
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].Address, b[i].Address) << q << " #" << i;
            EXPECT_EQ(a[i].Title, b[i].Title) << q << " #" << i;
            EXPECT_EQ(a[i].Visits, b[i].Visits) << q << " #" << i;
            EXPECT_EQ(a[i].LastVisit, b[i].LastVisit) << q << " #" << i;
            EXPECT_EQ(a[i].Bookmarked, b[i].Bookmarked) << q << " #" << i;
            EXPECT_EQ(a[i].TypedHost, b[i].TypedHost) << q << " #" << i;
            EXPECT_DOUBLE_EQ(a[i].Score, b[i].Score) << q << " #" << i;
        }
    }
}

bool AwaitReady(const TCompletion& completion) {
    for (int i = 0; i < 3000 && !completion.Ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return completion.Ready();
}

} // namespace

TEST(Completion, AnIndexBuiltInTheBackgroundAnswersAsOneBuiltAtOnceAndKeepsTheVisitsMeanwhile) {
    TempFolder dir;
    const int64_t now = places::NowSeconds();
    const std::vector<std::string> queries = {"river", "garden rep", "zurich", "host1", "host27.test/p3", "fresh",
                                              "renamed", "http://host2", "orbit 7", "notes"};
    places::TBookmarks bookmarks(dir / "Bookmarks.Ini");
    bookmarks.Add({"River guide", "https://guide.test/river", "", 1});

    // Visits added and retitled while the index builds.
    {
        WriteHistory(dir / "history.txt", 300000, now);
        THistory history(dir / "history.txt");
        ASSERT_TRUE(history.Open());
        TCompletion background;
        background.SetBookmarks(&bookmarks);
        std::atomic<int> told{0};
        background.SetOnReady([&] { ++told; });
        background.AttachInBackground(history);
        const bool early = !background.Ready();
        history.AddVisit("http://fresh.test/new", "Fresh river page", now - 60);
        history.AddVisit("http://host5.test/p5", "", now - 50);
        history.SetTitle("http://fresh.test/new", "Renamed river page");
        if (early) {
            // What is there: the bookmarks and the visits since the start.
            for (const auto& item : background.Complete("river", 12, now))
                EXPECT_TRUE(item.Bookmarked || item.Address == "http://fresh.test/new" ||
                            item.Address == "http://host5.test/p5")
                    << item.Address;
            EXPECT_EQ(background.Complete("renamed", 12, now).size(), 1u);
        }
        ASSERT_TRUE(AwaitReady(background));
        EXPECT_EQ(told.load(), 1);
        TCompletion atOnce;
        atOnce.SetBookmarks(&bookmarks);
        atOnce.Attach(history);
        ExpectSameResults(background, atOnce, queries, now);
        EXPECT_EQ(background.PlaceCount(), atOnce.PlaceCount());
        ASSERT_EQ(background.Complete("renamed", 12, now).size(), 1u);
        EXPECT_EQ(background.Complete("renamed", 12, now)[0].Address, "http://fresh.test/new");
    }
    // A removal while it builds: the history is indexed at once.
    {
        WriteHistory(dir / "history2.txt", 300000, now);
        THistory history(dir / "history2.txt");
        ASSERT_TRUE(history.Open());
        TCompletion background;
        background.SetBookmarks(&bookmarks);
        background.AttachInBackground(history);
        history.AddVisit("http://fresh.test/new", "Fresh river page", now - 60);
        EXPECT_GT(history.RemoveAddress("http://host0.test/p0"), 0);
        EXPECT_GT(history.RemoveAddress("http://host119.test/p9"), 0);
        history.AddVisit("http://later.test/", "Later river", now - 30);
        ASSERT_TRUE(AwaitReady(background));
        TCompletion atOnce;
        atOnce.SetBookmarks(&bookmarks);
        atOnce.Attach(history);
        ExpectSameResults(background, atOnce, queries, now);
        ExpectSameResults(background, atOnce, {"later", "host0.test/p0", "host119.test/p9"}, now);
    }
    // Gone before it is built: the thread stops with it.
    {
        THistory history(dir / "history.txt");
        ASSERT_TRUE(history.Open());
        auto background = std::make_unique<TCompletion>();
        background->AttachInBackground(history);
        background.reset();
    }
}

TEST(Completion, VisitsOfAFirstRunAreOfferedAtOnce) {
    // An empty history at start: nothing has been sorted yet.
    TempFolder dir;
    THistory history(dir / "history.txt");
    ASSERT_TRUE(history.Open());
    TCompletion completion;
    completion.Attach(history);
    const int64_t now = places::NowSeconds();
    history.AddVisit("http://first.test/", "First page", now - 10);
    auto hits = completion.Complete("first", 10, now);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Address, "http://first.test/");
}

// The history and bookmarks pages: visits by day with what a page holds
// escaped, search, and changes that only this run's token can make, never
// taking another entry than the one shown.
#include "browser/QelPages.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using browser::QelPages;

namespace {

struct TFolder : qeltest::TempFolder {
    TFolder() : TempFolder("qel-pages", Place::Tmp) {}
    const std::string path = Path();
};

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

} // namespace

TEST(QelPages, HistoryByDaySearchAndGuardedDelete) {
    TFolder dir;
    places::THistory history(dir.path + "history.txt");
    ASSERT_TRUE(history.Open());
    history.AddVisit("http://a.test/", "Alpha <script>alert(1)</script>", 1'700'000'000);
    history.AddVisit("http://b.test/?x=\"1\"", "Beta", 1'700'000'100);
    history.AddVisit("http://c.test/", "Café day two", 1'700'200'000);
    QelPages pages(&history, nullptr);
    std::string page = pages.Serve("qel:history");
    EXPECT_EQ(Count(page, "<h2>"), 2);  // two days
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;"), std::string::npos);
    EXPECT_NE(page.find("href=\"http://b.test/?x=&quot;1&quot;\""), std::string::npos);
    EXPECT_LT(page.find("Café"), page.find("Beta"));  // newest first
    page = pages.Serve("qel:history?q=cafe+DAY");
    EXPECT_NE(page.find("Café day two"), std::string::npos);
    EXPECT_EQ(page.find("Beta"), std::string::npos);
    EXPECT_EQ(pages.Serve("qel:elsewhere"), "");

    // Without the token, or with a time that is not the visit's, nothing goes.
    pages.Serve("qel:history?delete=1&time=1700000100");
    pages.Serve("qel:history?delete=1&time=1700000000&token=" + pages.Token());
    EXPECT_EQ(history.Count(), 3);
    page = pages.Serve("qel:history?delete=1&time=1700000100&token=" + pages.Token());
    EXPECT_EQ(history.Count(), 2);
    EXPECT_EQ(history.Visit(1).Address, "http://c.test/");
    // The same request again (a reload) finds another visit there: kept.
    pages.Serve("qel:history?delete=1&time=1700000100&token=" + pages.Token());
    EXPECT_EQ(history.Count(), 2);
}

TEST(QelPages, BookmarksEditAndDeleteAreSavedAndGuarded) {
    TFolder dir;
    places::TBookmarks bookmarks(dir.path + "Bookmarks.Ini");
    ASSERT_TRUE(bookmarks.Load());
    bookmarks.Add({"One", "https://one.test/", "News", 1});
    bookmarks.Add({"Two", "https://two.test/", "", 2});
    QelPages pages(nullptr, &bookmarks);
    std::string page = pages.Serve("qel:bookmarks");
    EXPECT_NE(page.find("<h2>News</h2>"), std::string::npos);
    EXPECT_EQ(pages.Serve("qel:bookmarks?q=two").find("one.test"), std::string::npos);
    EXPECT_NE(pages.Serve("qel:history").find("No history is kept"), std::string::npos);

    const std::string token = "&token=" + pages.Token();
    pages.Serve("qel:bookmarks?edit=0&was=https%3A%2F%2Fone.test%2F&title=Uno+%26+more&address=https%3A%2F%2Funo.test%2F&folder=A%2FB");
    EXPECT_EQ(bookmarks.Items()[0].Title, "One");  // no token
    pages.Serve("qel:bookmarks?edit=0&was=https%3A%2F%2Fone.test%2F&title=Uno+%26+more&address=https%3A%2F%2Funo.test%2F&folder=A%2FB" + token);
    places::TBookmarks saved(dir.path + "Bookmarks.Ini");
    ASSERT_TRUE(saved.Load());
    ASSERT_EQ(saved.Count(), 2);
    EXPECT_EQ(saved.Items()[0], (places::TBookmark{"Uno & more", "https://uno.test/", "A/B", 1}));
    // A delete names the address it was shown for.
    pages.Serve("qel:bookmarks?delete=0&was=https%3A%2F%2Ftwo.test%2F" + token);
    EXPECT_EQ(bookmarks.Count(), 2);
    pages.Serve("qel:bookmarks?delete=1&was=https%3A%2F%2Ftwo.test%2F" + token);
    ASSERT_TRUE(saved.Load());
    EXPECT_EQ(saved.Count(), 1);
}

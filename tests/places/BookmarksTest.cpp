// Bookmarks: the settings file through a restart, search with folded case
// and accents, a refused save over a file that could not be read whole, and
// a round trip through a Netscape bookmark file written by hand in the
// shape browsers export.
#include "common/TempFolder.h"
#include "places/Bookmarks.h"
#include "places/NetscapeBookmarks.h"

#include <gtest/gtest.h>

using qeltest::ReadFile;
using qeltest::TempFolder;
using qeltest::WriteFile;
using places::TBookmark;
using places::TBookmarks;

TEST(Bookmarks, EditsSurviveARestartAndSearchFoldsCaseAndAccents) {
    TempFolder dir;
    const std::string file = dir / "conf/Bookmarks.Ini";
    {
        TBookmarks b(file);
        ASSERT_TRUE(b.Load());
        EXPECT_EQ(b.Count(), 0);
        b.Add({"Café Müller; menu", "https://cafe.test/a;b=c", "Food/Coffee", 10});
        b.Add({"Weather", "https://weather.test/", "", 20});
        b.Add({"To go", "https://gone.test/", "", 30});
        b.Add({"Slash", "https://s.test/", places::JoinFolder({"a/b", "c\\d"}), 40});
        EXPECT_TRUE(b.Delete(2));
        EXPECT_TRUE(b.Edit(1, {"Weather now", "https://weather.test/", "News", 20}));
        EXPECT_FALSE(b.Edit(9, {}));
        b.Save();
    }
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("[Bookmark1]\r\nAddress=https://cafe.test/a;b=c\r\n"), std::string::npos) << text;
    TBookmarks b(file);
    ASSERT_TRUE(b.Load());
    ASSERT_EQ(b.Count(), 3);
    EXPECT_EQ(b.Items()[0], (TBookmark{"Café Müller; menu", "https://cafe.test/a;b=c", "Food/Coffee", 10}));
    EXPECT_EQ(b.Items()[1].Title, "Weather now");
    EXPECT_EQ(places::SplitFolder(b.Items()[2].Folder), (std::vector<std::string>{"a/b", "c\\d"}));
    EXPECT_EQ(b.Find("https://weather.test/"), 1);
    EXPECT_EQ(b.Search("CAFE muller"), std::vector<int>{0});
    EXPECT_EQ(b.Search("coffee"), std::vector<int>{0});  // the folder counts
    EXPECT_EQ(b.Search("weather cafe"), std::vector<int>{});
    EXPECT_EQ(b.Search("").size(), 3u);
}

TEST(Bookmarks, AFileThatCouldNotBeReadWholeIsNeverSavedOver) {
    TempFolder dir;
    const std::string file = dir / "Bookmarks.Ini";
    const std::string bytes = std::string("[Bookmark1]\r\nAddress=https://a.test/\r\n\0[Bookmark2]\r\n", 40);
    WriteFile(file, bytes);
    TBookmarks b(file);
    EXPECT_FALSE(b.Load());
    b.Add({"x", "https://x.test/", "", 1});
    EXPECT_THROW(b.Save(), std::exception);
    EXPECT_EQ(ReadFile(file), bytes);
}

TEST(NetscapeBookmarks, AHandWrittenExportRoundTripsWithItsFolders) {
    // The shape of a browser's export: a DL of DT items, folders as H3
    // followed by their own DL, upper and lower case tags, entities,
    // attributes other than ours, descriptions, a smart query to leave out.
    const std::string html = R"(<!DOCTYPE NETSCAPE-Bookmark-file-1>
<!-- This is an automatically generated file.
     It will be read and overwritten.
     DO NOT EDIT! -->
<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'self'">
<TITLE>Bookmarks</TITLE>
<H1>Bookmarks Menu</H1>

<DL><p>
    <DT><A HREF="place:parent=menu________&queryType=1" ADD_DATE="1">Recent Tags</A>
    <DT><A HREF="https://top.test/?a=1&amp;b=2" ADD_DATE="1600000000" LAST_MODIFIED="1600000001" ICON="data:image/png;base64,AAAA">Top &amp; &quot;first&quot; &#233;&#x4E2D;</A>
    <DD>A description that is not a title
    <DT><H3 ADD_DATE="1600000002" LAST_MODIFIED="1600000003" PERSONAL_TOOLBAR_FOLDER="true">Bookmarks Toolbar</H3>
    <DL><p>
        <DT><A HREF="https://bar.test/" ADD_DATE="1600000004">Bar</A>
        <DT><H3>Deep &lt;er&gt;</H3>
        <dl><p>
            <dt><a href='https://deep.test/' add_date=1600000005>Deep one</a>
        </dl><p>
        <DT><A HREF="https://bar.test/two">Bar two</A>
    </DL><p>
    <DT><A HREF="https://after.test/" ADD_DATE="1600000006">After the folder</A>
</DL><p>
)";
    std::vector<TBookmark> got = places::ParseNetscapeBookmarks(html);
    std::vector<TBookmark> want = {
        {"Top & \"first\" é中", "https://top.test/?a=1&b=2", "", 1600000000},
        {"Bar", "https://bar.test/", "Bookmarks Toolbar", 1600000004},
        {"Deep one", "https://deep.test/", "Bookmarks Toolbar/Deep <er>", 1600000005},
        {"Bar two", "https://bar.test/two", "Bookmarks Toolbar", 0},
        {"After the folder", "https://after.test/", "", 1600000006},
    };
    EXPECT_EQ(got, want);

    // Through the bookmarks file and back out: the same bookmarks come back.
    TempFolder dir;
    WriteFile(dir / "in.html", html);
    TBookmarks b(dir / "Bookmarks.Ini");
    ASSERT_TRUE(b.Load());
    EXPECT_EQ(b.ImportHtml(dir / "in.html"), 5);
    b.Save();
    TBookmarks again(dir / "Bookmarks.Ini");
    ASSERT_TRUE(again.Load());
    again.ExportHtml(dir / "out.html");
    const std::string out = ReadFile(dir / "out.html");
    EXPECT_EQ(out.rfind("<!DOCTYPE NETSCAPE-Bookmark-file-1>", 0), 0u);
    std::vector<TBookmark> back = places::ParseNetscapeBookmarks(out);
    // Exported folder by folder: the same set, each folder's own order kept.
    auto byFolder = [](std::vector<TBookmark> v) {
        std::stable_sort(v.begin(), v.end(), [](const TBookmark& x, const TBookmark& y) { return x.Folder < y.Folder; });
        return v;
    };
    EXPECT_EQ(byFolder(back), byFolder(want));
    EXPECT_THROW(b.ImportHtml(dir / "missing.html"), std::exception);
}

TEST(Bookmarks, AFileEditedByHandReadsAsTheSettingsEngineReadsIt) {
    // Sections out of order, a header in other case and indented, a second
    // section of one name (the first counts), keys in any order with
    // comments and blank lines, and a gap that ends the bookmarks.
    TempFolder dir;
    const std::string file = dir / "Bookmarks.Ini";
    WriteFile(file,
              "; my bookmarks\r\nAddress=https://head.test/\r\n"
              "[Bookmark2]\r\nTitle=Second\r\n\r\nAddress=https://two.test/\r\nAdded=x\r\n"
              "  [BOOKMARK1]  \r\nFolder=A/B\r\nAddress = https://one.test/;x\r\nTitle=First ; kept\r\nAdded=5\r\n"
              "[Other]\r\nAddress=https://other.test/\r\n"
              "[Bookmark1]\r\nAddress=https://shadow.test/\r\n"
              "[Bookmark3]\r\nTitle=No address\r\n"
              "[Bookmark4]\r\nAddress=https://four.test/\r\n");
    TBookmarks b(file);
    ASSERT_TRUE(b.Load());
    ASSERT_EQ(b.Count(), 2);
    EXPECT_EQ(b.Items()[0], (TBookmark{"First ; kept", "https://one.test/;x", "A/B", 5}));
    EXPECT_EQ(b.Items()[1], (TBookmark{"Second", "https://two.test/", "", 0}));
}

TEST(NetscapeBookmarks, FoldersWithoutBookmarksSurviveImportSaveAndExport) {
    TempFolder dir;
    WriteFile(dir / "in.html", R"(<!DOCTYPE NETSCAPE-Bookmark-file-1>
<DL><p>
    <DT><H3>News</H3>
    <DL><p>
        <DT><A HREF="https://news.test/" ADD_DATE="1">News</A>
        <DT><H3>Tech</H3>
        <DL><p>
        </DL><p>
    </DL><p>
    <DT><H3>Tools</H3>
    <DL><p>
        <DT><H3>Sub</H3>
        <DL><p>
            <DT><A HREF="https://tool.test/" ADD_DATE="2">Tool</A>
        </DL><p>
    </DL><p>
    <DT><H3>Empty</H3>
    <DL><p>
        <DT><H3>Inner</H3>
        <DL><p></DL><p>
    </DL><p>
</DL><p>
)");
    const std::vector<std::string> empty = {"News/Tech", "Empty", "Empty/Inner"};
    {
        TBookmarks b(dir / "Bookmarks.Ini");
        EXPECT_EQ(b.ImportHtml(dir / "in.html"), 2);
        EXPECT_EQ(b.Folders(), empty);  // a folder with a bookmark below it is not kept on its own
        b.Save();
    }
    EXPECT_NE(ReadFile(dir / "Bookmarks.Ini").find("[Folder1]\r\nPath=News/Tech\r\n"), std::string::npos);
    TBookmarks b(dir / "Bookmarks.Ini");
    ASSERT_TRUE(b.Load());
    EXPECT_EQ(b.Count(), 2);
    EXPECT_EQ(b.Folders(), empty);
    b.ExportHtml(dir / "out.html");

    // Each folder heading of the export with the depth of its list.
    std::vector<std::pair<size_t, std::string>> headings;
    const std::string out = ReadFile(dir / "out.html");
    for (size_t at = 0, eol; at < out.size(); at = eol + 1) {
        eol = out.find('\n', at);
        if (eol == std::string::npos) eol = out.size();
        const std::string line = out.substr(at, eol - at);
        const size_t h3 = line.find("<DT><H3>");
        if (h3 != std::string::npos)
            headings.emplace_back(h3, line.substr(h3 + 8, line.find("</H3>") - h3 - 8));
    }
    EXPECT_EQ(headings, (std::vector<std::pair<size_t, std::string>>{
                            {4, "News"}, {8, "Tech"}, {4, "Tools"}, {8, "Sub"}, {4, "Empty"}, {8, "Inner"}}));
}

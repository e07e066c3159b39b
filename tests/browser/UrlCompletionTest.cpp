// What the engine is asked to load for a typed text, and the start page.
#include "browser/StartPage.h"
#include "browser/UrlCompletion.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace browser;

TEST(UrlCompletion, SchemesAreKeptHostsWithPortsAreNot) {
    for (const char* s : {"http://x", "https://a.b/c", "qel:start", "about:blank", "mailto:a@b", "file:///tmp",
                          "view-source:http://x", "data:text/html,hi", "a+b.c-d:x"})
        EXPECT_TRUE(HasUrlScheme(s)) << s;
    for (const char* s : {"localhost:8080", "host:99/x", "example.com:443?q", "h:1#f", "www.example.com", "1http:x",
                          ":x", "", "/tmp/file", "a b:c"})
        EXPECT_FALSE(HasUrlScheme(s)) << s;
}

TEST(UrlCompletion, CompletesTextTheWayAddressBarsDo) {
    EXPECT_EQ(CompleteUrl("  example.com/a  "), "http://example.com/a");
    EXPECT_EQ(CompleteUrl("localhost:8080"), "http://localhost:8080");
    EXPECT_EQ(CompleteUrl("HTTP://X/"), "HTTP://X/");
    EXPECT_EQ(CompleteUrl(""), "about:blank");
    EXPECT_EQ(CompleteUrl(" \t"), "about:blank");
    EXPECT_EQ(CompleteUrl("/no such/dir #1"), "file:///no%20such/dir%20%231");
}

TEST(UrlCompletion, AnExistingRelativePathBecomesAFileUrl) {
    qeltest::TempFolder folder("qel-url", qeltest::TempFolder::Place::Tmp);
    std::string dir = folder.Path().substr(0, folder.Path().size() - 1);
    std::ofstream(dir + "/page.html") << "<p>x</p>";
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    EXPECT_EQ(CompleteUrl("page.html"), FileUrlOf(dir + "/page.html"));
    EXPECT_EQ(CompleteUrl("./page.html"), FileUrlOf(dir + "/page.html"));
    EXPECT_EQ(CompleteUrl("missing.html"), "http://missing.html");
    std::filesystem::current_path(old);
}

TEST(StartPage, NamesTheProgramAndItsShortcuts) {
    std::string html = StartPageHtml();
    EXPECT_NE(html.find("<title>Qel Browser</title>"), std::string::npos);
    for (const char* key : {"Ctrl+Left", "Ctrl+Right", "Ctrl+Down", "Enter"})
        EXPECT_NE(html.find(key), std::string::npos) << key;
}

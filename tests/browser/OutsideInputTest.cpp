// What comes from outside the program and ends up in a file name or a page:
// a server's suggested file name, addresses and engine messages in the
// error pages, and the command line.
#include "browser/CommandLine.h"
#include "browser/DownloadNaming.h"
#include "browser/ErrorPages.h"
#include "common/TempFolder.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace browser;

namespace {

constexpr auto FileText = qeltest::ReadFile;

} // namespace

TEST(OutsideInput, SuggestedNamesStayOneFileInTheDownloadFolder) {
    EXPECT_EQ(SafeDownloadName("../../.bashrc"), "bashrc");
    EXPECT_EQ(SafeDownloadName("/etc/passwd"), "passwd");
    EXPECT_EQ(SafeDownloadName("C:\\Users\\x\\report.pdf"), "report.pdf");
    EXPECT_EQ(SafeDownloadName(".."), "download");
    EXPECT_EQ(SafeDownloadName(""), "download");
    EXPECT_EQ(SafeDownloadName("a\nb\tc\x7f.txt "), "abc.txt");
    EXPECT_EQ(SafeDownloadName("na\xc3\xafve r\xc3\xa9sum\xc3\xa9.odt"), "na\xc3\xafve r\xc3\xa9sum\xc3\xa9.odt");
    EXPECT_EQ(NumberedName("a.zip", 0), "a.zip");
    EXPECT_EQ(NumberedName("a.zip", 2), "a (2).zip");
    EXPECT_EQ(NumberedName("backup.tar.gz", 1), "backup (1).tar.gz");
    EXPECT_EQ(NumberedName("README", 1), "README (1)");
    EXPECT_EQ(NumberedName("v1.2 notes", 1), "v1.2 notes (1)");
}

TEST(OutsideInput, ADownloadNameNeverTakesAFileOrAPartialOne) {
    qeltest::TempFolder folder("qel-names", qeltest::TempFolder::Place::Tmp);
    const std::string dir = folder.Path();
    std::ofstream(dir + "a.zip") << "first";
    std::ofstream(dir + "a (1).zip.wkdownload") << "half";   // another download of it runs
    std::filesystem::create_directory(dir + "a (2).zip");     // a folder of that name counts too
    std::filesystem::create_symlink(dir + "gone", dir + "a (3).zip");  // and a link to nothing
    EXPECT_EQ(FreeDownloadPath(dir, "a.zip", {}), dir + "a (4).zip");
    EXPECT_EQ(FreeDownloadPath(dir, "a.zip", {dir + "a (4).zip"}), dir + "a (5).zip");
    EXPECT_EQ(FreeDownloadPath(dir, "b.zip", {}), dir + "b.zip");
    EXPECT_EQ(FileText(dir + "a.zip"), "first");
}

TEST(OutsideInput, ErrorPagesShowOutsideTextsAsText) {
    const std::string url = "http://x/<script>alert('hi')</script>&\"";
    const std::string page = LoadErrorPage(url, "<b>refused</b>");
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("<b>refused"), std::string::npos);
    EXPECT_NE(page.find("<title>http://x/&lt;script&gt;alert(&#39;hi&#39;)&lt;/script&gt;&amp;&quot;</title>"),
              std::string::npos);
    const std::string cert = CertificateErrorPage(url, "evil\"><x>", "it has expired", "qel:allow-certificate/t");
    EXPECT_EQ(cert.find("<x>"), std::string::npos);
    EXPECT_EQ(CertificateProblems(G_TLS_CERTIFICATE_EXPIRED | G_TLS_CERTIFICATE_BAD_IDENTITY),
              "it was made for another site; it has expired");
    EXPECT_EQ(CertificateProblems(0), "it could not be checked");
}

TEST(OutsideInput, CommandLine) {
    CommandLine a = ParseCommandLine({"--private", "example.com"});
    EXPECT_TRUE(a.privateMode);
    EXPECT_EQ(a.url, "example.com");
    EXPECT_TRUE(a.error.empty());
    // After "--" a leading dash is a file name, not an option.
    CommandLine b = ParseCommandLine({"--", "-notes.html"});
    EXPECT_EQ(b.url, "-notes.html");
    EXPECT_TRUE(b.error.empty());
    EXPECT_EQ(ParseCommandLine({"--privat"}).error, "unknown option --privat");
    EXPECT_EQ(ParseCommandLine({"a", "b"}).error, "one address only (a and b)");
    EXPECT_TRUE(ParseCommandLine({"x", "--help"}).help);
    // A lone dash is an address like any other text.
    EXPECT_EQ(ParseCommandLine({"-"}).url, "-");
}

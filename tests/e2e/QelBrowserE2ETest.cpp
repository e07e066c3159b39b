// The real QelBrowser on its own Xvfb display, driven like a person would:
// pointer and keys through XTest, the window's caption read from X, pages
// from a loopback server, the settings file it writes at exit, and what it
// keeps (or does not keep) in its folders from one run to the next.
#include "LoopbackServer.h"
#include "PrivateXvfb.h"

#include "browser/WebEngine.h"
#include "common/TempFolder.h"
#include "platform/Strings.h"
#include "settings/SettingsText.h"

#include <gtest/gtest.h>
// After the test framework: the X headers define macros such as None.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include "X11Windows.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool Poll(const std::function<bool()>& condition, int timeoutMs) {
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string FileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The process's namespace of the kind ("pid", "mnt").
std::string Namespace(pid_t pid, const char* kind) {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/ns/" + kind, ec).string();
}

// The process and everything below it.
std::vector<pid_t> Descendants(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> all;  // pid, parent
    DIR* d = ::opendir("/proc");
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        pid_t p = std::atoi(e->d_name);
        if (p <= 0) continue;
        std::string stat = FileText("/proc/" + std::string(e->d_name) + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size()) continue;
        all.emplace_back(p, std::atoi(stat.c_str() + close + 4));
    }
    if (d) ::closedir(d);
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (auto [p, parent] : all)
            if (parent == tree[i]) tree.push_back(p);
    return tree;
}


class QelBrowserE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(xvfb_.Name().empty()) << "Xvfb did not start";
        display_ = XOpenDisplay(xvfb_.Name().c_str());
        ASSERT_NE(display_, nullptr);
        folder_.emplace("qel-e2e", qeltest::TempFolder::Place::Tmp);
        dir_ = folder_->Path();
        std::filesystem::create_directory(dir_ + "config");
        std::filesystem::create_directory(dir_ + "runtime");
        std::filesystem::permissions(dir_ + "runtime", std::filesystem::perms::owner_all);
        std::filesystem::copy_file(QELBROWSER_PATH, dir_ + "QelBrowser");
        std::filesystem::permissions(dir_ + "QelBrowser", std::filesystem::perms::owner_all);
        std::ofstream(dir_ + "Varnolek.Ini").flush();
        // The home page and a known place on the screen.
        platform::TStringList ini;
        settings::WriteValue(&ini, "Web010", "Left", 0);
        settings::WriteValue(&ini, "Web010", "Top", 0);
        settings::WriteValue(&ini, "Web010", "Right", 900);
        settings::WriteValue(&ini, "Web010", "Bottom", 700);
        settings::WriteValue(&ini, "Web010", "Home", server_.Url("/a"));
        // A filter list of the test's own: the system's lists take seconds
        // to compile, and each run here starts with an empty cache.
        std::ofstream(dir_ + "filters.txt") << "[Adblock Plus 2.0]\n/advert-banner.js\n##.sponsored-box\n";
        settings::WriteValue(&ini, "ContentBlocking", "Lists", dir_ + "filters.txt", settings::rvToEndOfLine);
        ini.SaveToFile(dir_ + "QelBrowser.Ini");
    }
    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (display_) XCloseDisplay(display_);
        folder_.reset();
    }

    // The program with its folders below the test's own; the sandbox is
    // the program's to try. Its error output goes to a file.
    void Start(std::vector<std::string> args = {}, bool display = true) {
        window_ = 0;
        pid_ = ::fork();
        if (pid_ == 0) {
            if (display)
                ::setenv("DISPLAY", xvfb_.Name().c_str(), 1);
            else
                ::unsetenv("DISPLAY");
            ::setenv("HOME", dir_.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (dir_ + "config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (dir_ + "data").c_str(), 1);
            ::setenv("XDG_CACHE_HOME", (dir_ + "cache").c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", (dir_ + "runtime").c_str(), 1);
            ::unsetenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS");
            ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
            ::setenv("NO_AT_BRIDGE", "1", 1);
            ::unsetenv("WAYLAND_DISPLAY");
            int out = ::open((dir_ + "output.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
            std::vector<char*> argv{const_cast<char*>("QelBrowser")};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv((dir_ + "QelBrowser").c_str(), argv.data());
            ::_exit(127);
        }
    }

    // Waits for the program's end and answers its exit code (-1 when it
    // did not end in time or ended by a signal).
    int Ended() {
        int status = -1;
        bool ended = Poll([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 30000);
        if (!ended) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void WaitWindow() { ASSERT_TRUE(Poll([&] { return (window_ = FindWindow()) != 0; }, 30000)) << "no window"; }

    // The close box: the window manager's delete request.
    void CloseWindow() {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = window_;
        ev.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window_, False, NoEventMask, &ev);
        XFlush(display_);
    }

    // Starts the program on the address, waits for the caption, closes it.
    void Visit(std::vector<std::string> args, const std::string& caption) {
        Start(std::move(args));
        WaitWindow();
        EXPECT_TRUE(WaitCaption(caption)) << Caption();
        CloseWindow();
        EXPECT_EQ(Ended(), 0);
    }

    // The program's main window, found by its process id.
    Window FindWindow() {
        for (const auto& w : e2e::MappedWindowsOf(display_, pid_))
            if (w.width > 300) return w.id;
        return 0;
    }

    std::string Caption() {
        Atom name = XInternAtom(display_, "_NET_WM_NAME", False);
        Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        std::string text;
        if (XGetWindowProperty(display_, window_, name, 0, 1024, False, utf8, &type, &format, &n, &after, &data) ==
                Success && data) {
            text.assign(reinterpret_cast<char*>(data), n);
            XFree(data);
        }
        return text;
    }

    bool WaitCaption(const std::string& caption) {
        return Poll([&] { return Caption() == caption; }, 30000);
    }

    void Click(int x, int y) {
        int wx = 0, wy = 0;
        Window child;
        XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &wx, &wy, &child);
        XTestFakeMotionEvent(display_, -1, wx, wy, CurrentTime);
        XSync(display_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XSync(display_, False);
    }

    void Key(KeySym sym, bool ctrl = false) {
        KeyCode code = XKeysymToKeycode(display_, sym);
        bool shift = XkbKeycodeToKeysym(display_, code, 0, 0) != sym;
        KeyCode ctrlCode = XKeysymToKeycode(display_, XK_Control_L);
        KeyCode shiftCode = XKeysymToKeycode(display_, XK_Shift_L);
        if (ctrl) XTestFakeKeyEvent(display_, ctrlCode, True, CurrentTime);
        if (shift) XTestFakeKeyEvent(display_, shiftCode, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        if (shift) XTestFakeKeyEvent(display_, shiftCode, False, CurrentTime);
        if (ctrl) XTestFakeKeyEvent(display_, ctrlCode, False, CurrentTime);
        XSync(display_, False);
    }

    void Type(const std::string& text) {
        for (char c : text) {
            KeySym sym = c == ':' ? XK_colon : c == '/' ? XK_slash : c == '.' ? XK_period : XStringToKeysym(std::string(1, c).c_str());
            Key(sym);
        }
    }

    std::string Stored(const std::string& key) {
        platform::TStringList ini;
        ini.LoadFromFile(dir_ + "QelBrowser.Ini");
        return settings::ReadValue(&ini, "Web010", key, platform::TVariant("<none>")).AsString();
    }

    e2e::LoopbackServer server_{{
        {"/a", "<html><head><title>Page A</title></head><body>home</body></html>"},
        {"/b", "<html><head><title>Page B</title><style>a{display:block;position:fixed;left:0;top:0;"
               "width:100%;height:100%;font-size:40px}</style></head><body><a href='/c'>to c</a></body></html>"},
        {"/c", "<html><head><title>Page C</title></head><body>linked</body></html>"},
        {"/ads", "<html><head><title>With ads</title><script src='/advert-banner.js'></script>"
                 "<script src='/app.js'></script></head><body>text</body></html>"},
        {"/advert-banner.js", "document.title = 'the advert ran';"},
        {"/app.js", "window.appRan = true;"},
    }};
    PrivateXvfb xvfb_;
    Display* display_ = nullptr;
    std::optional<qeltest::TempFolder> folder_;
    std::string dir_;
    pid_t pid_ = -1;
    Window window_ = 0;
};

TEST_F(QelBrowserE2E, BrowsesLoopbackPagesAndKeepsItsSettings) {
    Start();
    WaitWindow();
    // The home page is shown and the caption follows its title.
    ASSERT_TRUE(WaitCaption("Page A")) << Caption();
    EXPECT_EQ(server_.CountOf("/a"), 1);

    XWindowAttributes attrs;
    XGetWindowAttributes(display_, window_, &attrs);
    XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
    // Into the address box (left of the GO button), replace its text, Enter.
    Click(attrs.width - 48 - 100, 14);
    Key(XK_a, true);
    Type("127.0.0.1:" + std::to_string(server_.Port()) + "/b");
    Key(XK_Return);
    ASSERT_TRUE(WaitCaption("Page B")) << Caption();

    // A link in the page.
    Click(attrs.width / 2, attrs.height / 2);
    ASSERT_TRUE(WaitCaption("Page C")) << Caption();

    // Back and Forward are enabled now: the shortcuts click them.
    Key(XK_Left, true);
    ASSERT_TRUE(WaitCaption("Page B")) << Caption();
    Key(XK_Right, true);
    ASSERT_TRUE(WaitCaption("Page C")) << Caption();

    CloseWindow();
    ASSERT_EQ(Ended(), 0);

    // The typed URL entered the list, the link did not; the home page first
    // entered it at start-up.
    EXPECT_EQ(Stored("cbURL#0"), server_.Url("/b"));
    EXPECT_EQ(Stored("cbURL#1"), server_.Url("/a"));
    EXPECT_EQ(Stored("cbURL#2"), "<none>");
    EXPECT_EQ(Stored("cbURL"), server_.Url("/c"));
    EXPECT_EQ(Stored("Home"), server_.Url("/a"));
    EXPECT_EQ(Stored("ShowToolBar"), "1");
    EXPECT_EQ(Stored("Left"), "0");
}

// A site that remembers a login in a cookie and shows what the browser
// sends back; a file to download.
class KeepsAcrossRuns : public QelBrowserE2E {
protected:
    // The program's files (site data, cache, settings) with their sizes
    // and times; the desktop's own caches (dconf, the GPU's shaders) are
    // not the program's.
    std::string Snapshot() {
        std::string list;
        std::vector<std::filesystem::directory_entry> files{std::filesystem::directory_entry(dir_ + "QelBrowser.Ini")};
        for (const char* folder : {"data/QelBrowser", "cache/QelBrowser"})
            for (const auto& e : std::filesystem::recursive_directory_iterator(dir_ + folder)) files.push_back(e);
        for (const auto& e : files) {
            if (!e.is_regular_file()) continue;
            list += e.path().string() + " " + std::to_string(e.file_size()) + " " +
                    std::to_string(e.last_write_time().time_since_epoch().count()) + "\n";
        }
        return list;
    }

    e2e::LoopbackServer site_{[](const e2e::HttpRequest& r) {
        e2e::HttpResponse response;
        if (r.path == "/login") {
            response.headers.push_back("Set-Cookie: login=" + std::string("yes") + "; Max-Age=86400; Path=/");
            response.body = "<html><head><title>Logged in</title></head></html>";
        } else if (r.path == "/file.bin") {
            response.contentType = "application/octet-stream";
            for (int i = 0; i < 70000; ++i) response.body += static_cast<char>(i * 13);
        } else {
            response.body = "<html><head><title>Cookie [" + r.Header("cookie") + "]</title></head></html>";
        }
        return response;
    }};
};

TEST_F(KeepsAcrossRuns, ALoginSurvivesARestartAndAPrivateSessionKeepsNothing) {
    Visit({site_.Url("/login")}, "Logged in");
    EXPECT_TRUE(std::filesystem::exists(dir_ + "data/QelBrowser/cookies.sqlite"));
    Visit({site_.Url("/show")}, "Cookie [login=yes]");

    // A private session neither sees the kept cookie nor keeps its own, and
    // changes no file: no site data, no cache, no settings.
    const std::string before = Snapshot();
    Visit({"--private", site_.Url("/login")}, "Logged in");
    Visit({"--private", site_.Url("/show")}, "Cookie []");
    EXPECT_EQ(Snapshot(), before);
    Visit({site_.Url("/show")}, "Cookie [login=yes]");
}

TEST_F(KeepsAcrossRuns, DownloadsGoToTheUsersDownloadFolderInTheSandbox) {
    std::ofstream(dir_ + "config/user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n";
    Start({site_.Url("/file.bin")});
    WaitWindow();
    std::string expected;
    for (int i = 0; i < 70000; ++i) expected += static_cast<char>(i * 13);
    EXPECT_TRUE(Poll([&] { return FileText(dir_ + "Fetched/file.bin") == expected; }, 30000));

    // The web process runs in namespaces of its own wherever the sandbox
    // can run; where it cannot, the program says so in one line and works.
    const std::string problem = browser::SandboxProblem();
    std::string sandboxed;
    for (pid_t p : Descendants(pid_))
        if (Namespace(p, "pid") != Namespace(pid_, "pid")) sandboxed = Namespace(p, "mnt");
    const std::string output = FileText(dir_ + "output.txt");
    if (problem.empty()) {
        EXPECT_FALSE(sandboxed.empty()) << "no web process in a sandbox";
        EXPECT_NE(sandboxed, Namespace(pid_, "mnt"));
        EXPECT_EQ(output.find("without the sandbox"), std::string::npos) << output;
    } else {
        EXPECT_NE(output.find("web pages run without the sandbox: " + problem), std::string::npos) << output;
    }
    CloseWindow();
    EXPECT_EQ(Ended(), 0);
}

// The open tabs after a kill, and an end by a signal that saves as a close.
TEST_F(QelBrowserE2E, TabsLeftByAKillComeBackInOrderAndSigtermSavesLikeAClose) {
    const std::string session = dir_ + "QelBrowser.Session";
    auto sessionHas = [&](const std::string& text) { return FileText(session).find(text) != std::string::npos; };
    Start();
    WaitWindow();
    ASSERT_TRUE(WaitCaption("Page A")) << Caption();
    XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
    for (const char* page : {"/b", "/c"}) {
        Key(XK_t, true);
        ASSERT_TRUE(WaitCaption("Page A")) << Caption();  // a new tab shows the home page
        Key(XK_l, true);
        Type("127.0.0.1:" + std::to_string(server_.Port()) + page);
        Key(XK_Return);
        ASSERT_TRUE(WaitCaption(std::string("Page ") + char(std::toupper(page[1])))) << Caption();
    }
    const std::string tabs = "tab " + server_.Url("/a") + "\tPage A\ntab " + server_.Url("/b") + "\tPage B\ntab " +
                             server_.Url("/c") + "\tPage C\n";
    ASSERT_TRUE(Poll([&] { return sessionHas("current 2\n" + tabs); }, 10000)) << FileText(session);
    EXPECT_TRUE(sessionHas("clean 0\n"));
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;

    const int fetchedB = server_.CountOf("/b");
    Start();
    WaitWindow();
    ASSERT_TRUE(WaitCaption("Page C")) << Caption();
    XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
    // The tabs not shown wait until they are.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(server_.CountOf("/b"), fetchedB);
    // Shown, a tab loads its page (its title was there before).
    Key(XK_2, true);
    ASSERT_TRUE(WaitCaption("Page B")) << Caption();
    EXPECT_TRUE(Poll([&] { return server_.CountOf("/b") == fetchedB + 1; }, 30000));

    // An address typed in this run, then the end a log-out sends.
    const int fetchedA = server_.CountOf("/a");
    Key(XK_1, true);
    ASSERT_TRUE(WaitCaption("Page A")) << Caption();
    ASSERT_TRUE(Poll([&] { return server_.CountOf("/a") == fetchedA + 1; }, 30000));
    Key(XK_l, true);
    Type("127.0.0.1:" + std::to_string(server_.Port()) + "/c");
    Key(XK_Return);
    ASSERT_TRUE(WaitCaption("Page C")) << Caption();
    ::kill(pid_, SIGTERM);
    ASSERT_EQ(Ended(), 0);
    EXPECT_TRUE(sessionHas("clean 1\ncurrent 0\ntab " + server_.Url("/c") + "\tPage C\ntab " + server_.Url("/b") +
                           "\tPage B\ntab " + server_.Url("/c") + "\tPage C\n"))
        << FileText(session);
    // The settings went to the file as at a close, the typed address too.
    EXPECT_EQ(Stored("cbURL#0"), server_.Url("/c"));
    EXPECT_EQ(Stored("cbURL#1"), "<none>");
}

TEST_F(QelBrowserE2E, VisitsGoToTheHistoryFileWithTitlesAdsAreBlockedAndAPrivateRunRecordsNothing) {
    const std::string history = dir_ + "data/QelBrowser/history.txt";
    Start({server_.Url("/ads")});
    WaitWindow();
    ASSERT_TRUE(WaitCaption("With ads")) << Caption();
    ASSERT_TRUE(Poll([&] { return server_.CountOf("/app.js") >= 1; }, 30000));
    // One line a visit: time, address, title, tab-separated.
    EXPECT_TRUE(Poll([&] { return FileText(history).find("\t" + server_.Url("/ads") + "\tWith ads\n") != std::string::npos; },
                     10000))
        << FileText(history);
    CloseWindow();
    ASSERT_EQ(Ended(), 0);
    EXPECT_EQ(server_.CountOf("/advert-banner.js"), 0) << FileText(dir_ + "output.txt");  // blocked before it left the browser

    const std::string kept = FileText(history);
    Start({"--private", server_.Url("/c")});
    WaitWindow();
    ASSERT_TRUE(WaitCaption("Page C")) << Caption();
    CloseWindow();
    ASSERT_EQ(Ended(), 0);
    EXPECT_EQ(FileText(history), kept);
}

TEST_F(QelBrowserE2E, HelpAndVersionNeedNoDisplayAndABadOptionIsRefused) {
    Start({"--version"}, false);
    EXPECT_EQ(Ended(), 0);
    EXPECT_EQ(FileText(dir_ + "output.txt").rfind("QelBrowser ", 0), 0u);
    Start({"--help"}, false);
    EXPECT_EQ(Ended(), 0);
    EXPECT_NE(FileText(dir_ + "output.txt").find("Usage: QelBrowser [--private] [URL]"), std::string::npos);
    Start({"--bogus"});
    EXPECT_EQ(Ended(), 2);
    EXPECT_NE(FileText(dir_ + "output.txt").find("unknown option --bogus"), std::string::npos);
    Start({"http://one/", "http://two/"});
    EXPECT_EQ(Ended(), 2);
}

} // namespace

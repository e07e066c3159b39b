// The real QelBrowser on its own Xvfb display, driven like a person would:
// pointer and keys through XTest, the window's caption read from X, pages
// from a loopback server, and the settings file it writes at exit.
#include "LoopbackServer.h"
#include "PrivateXvfb.h"

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

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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


class QelBrowserE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(xvfb_.Name().empty()) << "Xvfb did not start";
        display_ = XOpenDisplay(xvfb_.Name().c_str());
        ASSERT_NE(display_, nullptr);
        char tmpl[] = "/tmp/qel-e2e-XXXXXX";
        dir_ = std::string(::mkdtemp(tmpl)) + "/";
        std::filesystem::create_directory(dir_ + "config");
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
        ini.SaveToFile(dir_ + "QelBrowser.Ini");
    }
    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (display_) XCloseDisplay(display_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    void Start() {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("DISPLAY", xvfb_.Name().c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (dir_ + "config").c_str(), 1);
            ::setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
            ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
            ::setenv("NO_AT_BRIDGE", "1", 1);
            ::unsetenv("WAYLAND_DISPLAY");
            ::execl((dir_ + "QelBrowser").c_str(), "QelBrowser", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }

    // The program's top-level window, found by its process id.
    Window FindWindow() {
        Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
        Window root = DefaultRootWindow(display_), parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display_, root, &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; ++i) {
                Atom type;
                int format;
                unsigned long n, after;
                unsigned char* data = nullptr;
                if (XGetWindowProperty(display_, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n,
                                       &after, &data) == Success && data) {
                    XWindowAttributes attrs;
                    if (n == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid_ &&
                        XGetWindowAttributes(display_, children[i], &attrs) && attrs.map_state == IsViewable &&
                        attrs.width > 300)
                        found = children[i];
                    XFree(data);
                }
            }
            if (children) XFree(children);
        }
        return found;
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
        return Poll([&] { return Caption() == caption; }, 20000);
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
    }};
    PrivateXvfb xvfb_;
    Display* display_ = nullptr;
    std::string dir_;
    pid_t pid_ = -1;
    Window window_ = 0;
};

TEST_F(QelBrowserE2E, BrowsesLoopbackPagesAndKeepsItsSettings) {
    Start();
    ASSERT_TRUE(Poll([&] { return (window_ = FindWindow()) != 0; }, 20000)) << "no window";
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

    // The close box: the window manager's delete request.
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window_;
    ev.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window_, False, NoEventMask, &ev);
    XFlush(display_);
    int status = -1;
    ASSERT_TRUE(Poll([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 20000)) << "did not end";
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

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

} // namespace

#include "GuiTest.h"

#include "platform/Bmp.h"

#include "gtk/GtkServices.h"
#include "platform/Sync.h"

#include <gtkmm/button.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/messagedialog.h>
#include <glibmm/main.h>
#include <gtkmm/window.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <thread>

using namespace gtkservices;
using namespace platform;

namespace {
// The open message dialog, if any.
Gtk::MessageDialog* OpenDialog() {
    for (Gtk::Window* w : Gtk::Window::list_toplevels()) {
        if (auto* d = dynamic_cast<Gtk::MessageDialog*>(w); d && d->get_visible()) return d;
    }
    return nullptr;
}

// Answers the next box from the main loop, as a user would: seen, then a
// click on the button with the given answer (or a close when 0).
struct Answerer {
    std::string title;
    bool modal = false;
    bool sawButton = false;
    void Arm(int answer) {
        Glib::signal_timeout().connect(
            [this, answer] {
                Gtk::MessageDialog* d = OpenDialog();
                if (!d) return true;  // not up yet
                title = d->get_title();
                modal = d->get_modal();
                if (answer == 0) {
                    d->response(Gtk::RESPONSE_DELETE_EVENT);
                    Glib::signal_timeout().connect_once([d] {
                        if (d->get_visible()) d->response(Gtk::RESPONSE_CANCEL);
                    }, 200);
                    return false;
                }
                if (auto* b = d->get_widget_for_response(answer)) {
                    sawButton = true;
                    static_cast<Gtk::Button*>(b)->clicked();
                }
                return false;
            },
            20);
    }
};
} // namespace

TEST(GtkMessageBoxTest, ClickedButtonIsTheAnswer) {
    REQUIRE_GTK();
    GtkMessageBox box;
    Answerer a;
    a.Arm(IDNO);
    EXPECT_EQ(box.Show("Save changes?", "Qel", MB_YESNOCANCEL | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(a.title, "Qel");
    EXPECT_TRUE(a.modal);
    EXPECT_TRUE(a.sawButton);
    a.Arm(IDRETRY);
    EXPECT_EQ(box.Show("Again?", "Qel", MB_ABORTRETRYIGNORE), IDRETRY);
    a.Arm(IDOK);
    EXPECT_EQ(box.Show(std::string("bad \xff bytes"), "Qel", MB_OK | MB_ICONHAND), IDOK);
}

TEST(GtkMessageBoxTest, BoxAskedFromAnotherThreadShowsOnTheMainLoop) {
    REQUIRE_GTK();
    InstallSyncHook();
    GtkMessageBox box;
    Answerer a;
    a.Arm(IDYES);
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = box.Show("From a worker", "Qel", MB_YESNO); });
    EXPECT_TRUE(guitest::WaitFor([&] { return answer.load() != -1; }, 5000));
    worker.join();
    EXPECT_EQ(answer.load(), IDYES);
    RemoveSyncHook();
}

TEST(GtkMessageBoxTest, ClosingAnswersCancelOrOk) {
    REQUIRE_GTK();
    GtkMessageBox box;
    Answerer a;
    a.Arm(0);
    EXPECT_EQ(box.Show("Go on?", "Qel", MB_OKCANCEL), IDCANCEL);
    a.Arm(0);
    EXPECT_EQ(box.Show("Note", "Qel", MB_OK), IDOK);
}

TEST(GtkMessageBoxTest, CloseAnswerAndDisplayText) {
    EXPECT_EQ(CloseAnswer(MB_OK), IDOK);
    EXPECT_EQ(CloseAnswer(MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(CloseAnswer(MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(CloseAnswer(MB_RETRYCANCEL), IDCANCEL);
    EXPECT_EQ(CloseAnswer(MB_YESNO), 0);
    EXPECT_EQ(CloseAnswer(MB_ABORTRETRYIGNORE), 0);
    EXPECT_EQ(DisplayText("p\xc5\x99\xc3\xad"), "p\xc5\x99\xc3\xad");
    std::string shown = DisplayText("a\xff" "b");
    EXPECT_EQ(shown, "a\xef\xbf\xbd" "b");
}

TEST(GtkScreenTest, XvfbScreen) {
    REQUIRE_GTK();
    GtkScreen screen;
    // xvfb-run's default screen.
    EXPECT_EQ(screen.DesktopWidth(), 1280);
    EXPECT_EQ(screen.DesktopHeight(), 1024);
    EXPECT_EQ(screen.ScreenWidth(), 1280);
    EXPECT_EQ(screen.ScreenHeight(), 1024);
    EXPECT_GT(screen.WidthMM(), 100.0);
    EXPECT_GT(screen.HeightMM(), 100.0);
    EXPECT_GE(screen.BitsPerPixel(), 16);
    EXPECT_FALSE(screen.IsPaletteDevice());
}

// On a scaled (HiDPI) screen the desktop that placement clamps to is in the
// pixels window positions use, the screen size in the device's own. The
// check runs in a child with GDK_SCALE=2, which must be set before GTK starts.
TEST(GtkScreenTest, ScaledScreenMeasuresTheDesktopInWindowPixels) {
    if (std::getenv("QEL_SCALED_CHILD")) {
        REQUIRE_GTK();
        GtkScreen screen;
        EXPECT_EQ(screen.DesktopWidth(), 640);
        EXPECT_EQ(screen.DesktopHeight(), 512);
        EXPECT_EQ(screen.ScreenWidth(), 1280);
        EXPECT_EQ(screen.ScreenHeight(), 1024);
        return;
    }
    REQUIRE_GTK();
    std::string cmd = "GDK_SCALE=2 QEL_SCALED_CHILD=1 /proc/" + std::to_string(::getpid()) +
                      "/exe --gtest_filter=GtkScreenTest.ScaledScreenMeasuresTheDesktopInWindowPixels >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(GtkSyncTest, CallFromAnotherThreadRunsOnTheMainLoop) {
    REQUIRE_GTK();
    InstallSyncHook();
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    int result = 0;
    std::thread worker([&] {
        Synchronize([&] {
            ranOn = std::this_thread::get_id();
            result = 42;
        });
        done = true;
    });
    // Only the main loop turns here; nothing calls CheckSynchronize directly.
    EXPECT_TRUE(guitest::WaitFor([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // An error of a queued call goes to the handler, never into GLib.
    std::string seen;
    SetSyncErrorHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            seen = ex.what();
        }
    });
    std::thread([] { Queue([] { throw std::runtime_error("queued failure"); }); }).join();
    EXPECT_TRUE(guitest::WaitFor([&] { return !seen.empty(); }, 5000));
    EXPECT_EQ(seen, "queued failure");
    SetSyncErrorHandler(nullptr);
    RemoveSyncHook();
}

namespace {
// A 2 x 1 DIB, 24 bits, bottom-up: a red and a blue pixel, rows padded to 4.
std::vector<uint8_t> TinyDib() {
    std::vector<uint8_t> d(40, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, 2);
    put32(8, 1);
    d[12] = 1;   // planes
    d[14] = 24;  // bits
    put32(20, 8);
    for (uint8_t b : {0, 0, 255, 255, 0, 0, 0, 0}) d.push_back(b);  // BGR red, BGR blue, pad
    return d;
}
} // namespace

TEST(GtkClipboardTest, GifFormatTravelsUnderBothTargets) {
    REQUIRE_GTK();
    gtkservices::GtkClipboard clip;
    unsigned gif = clip.RegisterFormat("GIF Image");
    EXPECT_EQ(clip.RegisterFormat("GIF Image"), gif);
    EXPECT_GE(gif, 0xC000u);
    std::vector<uint8_t> bytes{'G', 'I', 'F', '8', '9', 'a', 0, 1, 2};
    clip.Clear();
    clip.SetData(gif, bytes);
    EXPECT_TRUE(clip.HasFormat(gif));
    EXPECT_FALSE(clip.HasFormat(CF_DIB));
    // Another reader sees it through GTK under both names.
    auto board = Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD);
    for (const char* target : {"GIF Image", "image/gif"}) {
        Gtk::SelectionData sd = board->wait_for_contents(target);
        ASSERT_EQ(sd.get_length(), static_cast<int>(bytes.size())) << target;
        EXPECT_EQ(std::vector<uint8_t>(sd.get_data(), sd.get_data() + sd.get_length()), bytes);
    }
    std::vector<uint8_t> out;
    EXPECT_TRUE(clip.GetData(gif, out));
    EXPECT_EQ(out, bytes);
    clip.Clear();
    EXPECT_FALSE(clip.HasFormat(gif));
}

TEST(GtkClipboardTest, BitmapIsAnImageForOthersAndComesBack) {
    REQUIRE_GTK();
    gtkservices::GtkClipboard clip;
    clip.Clear();
    clip.SetData(CF_DIB, TinyDib());
    auto pixbuf = Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD)->wait_for_image();
    ASSERT_TRUE(pixbuf);
    EXPECT_EQ(pixbuf->get_width(), 2);
    EXPECT_EQ(pixbuf->get_height(), 1);
    const guint8* p = pixbuf->get_pixels();
    int n = pixbuf->get_n_channels();
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[2], 0);
    EXPECT_EQ(p[n + 2], 255);
    // A second clipboard object is not the owner: it reads through GTK.
    gtkservices::GtkClipboard reader;
    std::vector<uint8_t> dib;
    ASSERT_TRUE(reader.GetData(CF_DIB, dib));
    EXPECT_EQ(dib, TinyDib());
    // Someone else taking the clipboard empties ours.
    Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD)->set_text("other");
    guitest::Flush();
    EXPECT_FALSE(clip.HasFormat(CF_DIB));
}

TEST(GtkClipboardTest, BmpFileHeaderRoundTripAndMalformedInput) {
    std::vector<uint8_t> dib = TinyDib();
    std::vector<uint8_t> bmp = DibToBmpFile(dib);
    ASSERT_EQ(bmp.size(), dib.size() + 14);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[10], 54) << "pixels right after the header: no palette at 24 bits";
    EXPECT_EQ(BmpFileToDib(bmp), dib);
    // An 8-bit picture has a 256-entry palette before its pixels.
    std::vector<uint8_t> pal = dib;
    pal[14] = 8;
    pal.resize(40 + 1024 + 4);
    EXPECT_EQ(DibToBmpFile(pal)[10] | DibToBmpFile(pal)[11] << 8, 14 + 40 + 1024);
    // Too short, a header larger than the bytes, a palette past the end.
    EXPECT_TRUE(DibToBmpFile({1, 2, 3}).empty());
    std::vector<uint8_t> huge = dib;
    huge[0] = 0xFF;
    EXPECT_TRUE(DibToBmpFile(huge).empty());
    std::vector<uint8_t> shortPal(dib.begin(), dib.begin() + 40);
    shortPal[14] = 8;
    EXPECT_TRUE(DibToBmpFile(shortPal).empty());
    EXPECT_TRUE(BmpFileToDib({'B', 'M', 0}).empty());
    EXPECT_TRUE(BmpFileToDib(std::vector<uint8_t>(60, 'x')).empty());
}

TEST(GtkPlacementTest, TracksNormalRectangleAndState) {
    REQUIRE_GTK();
    Gtk::Window window;
    window.set_default_size(300, 200);
    GtkPlacement placement(window, "Web010");
    EXPECT_EQ(placement.Name(), "Web010");
    EXPECT_EQ(placement.BorderStyle(), bsSizeable);
    WindowPlacement wp = placement.GetPlacement();
    wp.rcNormalPosition = TRect{100, 80, 500, 380};
    wp.ptMaxPosition = TPoint{-4, -4};
    wp.showCmd = 0;
    placement.SetPlacement(wp);
    placement.SetWindowState(wsMaximized);
    EXPECT_EQ(placement.GetWindowState(), wsMaximized) << "asked for before the window is shown";
    placement.SetWindowState(wsNormal);
    window.show();
    ASSERT_TRUE(guitest::WaitFor([&] {
        int w = 0, h = 0;
        window.get_size(w, h);
        return window.get_mapped() && w == 400 && h == 300;
    }));
    EXPECT_EQ(placement.Width(), 400);
    EXPECT_EQ(placement.Height(), 300);
    WindowPlacement now = placement.GetPlacement();
    EXPECT_EQ(now.length, 44u);
    EXPECT_EQ(now.showCmd, 1u);
    EXPECT_EQ(now.ptMaxPosition, (TPoint{-4, -4}));
    EXPECT_EQ(now.rcNormalPosition.Width(), 400);
    EXPECT_EQ(now.rcNormalPosition.Height(), 300);
    // A resize of the normal window is tracked.
    window.resize(420, 310);
    ASSERT_TRUE(guitest::WaitFor([&] { return placement.NormalRect().Width() == 420; }));
    EXPECT_EQ(placement.NormalRect().Height(), 310);
    EXPECT_EQ(placement.GetWindowState(), wsNormal);
}

TEST(GtkPlacementTest, BorderStyleFromTheWindow) {
    REQUIRE_GTK();
    Gtk::Window fixed;
    fixed.set_resizable(false);
    EXPECT_EQ(GtkPlacement(fixed, "a").BorderStyle(), bsSingle);
    fixed.set_type_hint(Gdk::WINDOW_TYPE_HINT_DIALOG);
    EXPECT_EQ(GtkPlacement(fixed, "a").BorderStyle(), bsDialog);
    fixed.set_decorated(false);
    EXPECT_EQ(GtkPlacement(fixed, "a").BorderStyle(), bsNone);
    EXPECT_EQ(GtkPlacement(fixed, "a", bsToolWindow).BorderStyle(), bsToolWindow);
}

TEST(GtkServicesInstall, ReplacesThePlatformServices) {
    REQUIRE_GTK();
    auto oldBox = SetMessageBoxService(nullptr);
    auto oldScreen = SetScreenService(nullptr);
    auto oldClip = SetClipboardService(nullptr);
    Install();
    EXPECT_NE(dynamic_cast<GtkMessageBox*>(&MessageBoxService()), nullptr);
    EXPECT_NE(dynamic_cast<GtkScreen*>(&ScreenService()), nullptr);
    EXPECT_NE(dynamic_cast<gtkservices::GtkClipboard*>(&ClipboardService()), nullptr);
    // The hook is in: a queued call runs from the main loop alone.
    bool ran = false;
    std::thread([&] { Queue([&] { ran = true; }); }).join();
    EXPECT_TRUE(guitest::WaitFor([&] { return ran; }, 5000));
    RemoveSyncHook();
    SetSyncErrorHandler(nullptr);
    SetMessageBoxService(oldBox);
    SetScreenService(oldScreen);
    SetClipboardService(oldClip);
}

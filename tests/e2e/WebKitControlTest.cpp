// The WebKitGTK control on pages from a loopback server: the events the
// main window relies on, in the engine's own order.
#include "EngineSupport.h"
#include "LoopbackServer.h"

#include "browser/StartPage.h"
#include "browser/WebKitControl.h"
#include "common/TempFolder.h"
#include "platform/MessageBox.h"

#include <gtest/gtest.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

using namespace browser;

namespace {


std::string FileStart(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    char head[4] = {};
    f.read(head, 4);
    return std::string(head, static_cast<size_t>(f.gcount()));
}

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html><html><head>" + (title.empty() ? std::string() : "<title>" + title + "</title>") +
           "</head><body>" + body + "</body></html>";
}

// The desktop's program for PDF files, as this test sees it: a stand-in
// that notes what it was given and exits, so that no real viewer opens and
// nothing waits for one. The folders are set before the toolkit reads them.
struct StandInViewer {
    qeltest::TempFolder temp{"qel-viewer", qeltest::TempFolder::Place::Tmp};
    std::string folder = temp.Path().substr(0, temp.Path().size() - 1);
    std::string log;
    StandInViewer() {
        log = folder + "/viewed";
        std::filesystem::create_directories(folder + "/applications");
        std::filesystem::create_directories(folder + "/config");
        const std::string viewer = folder + "/viewer";
        std::ofstream(viewer) << "#!/bin/sh\necho \"$1\" >> '" << log << "'\n";
        std::filesystem::permissions(viewer, std::filesystem::perms::owner_all);
        std::ofstream(folder + "/applications/qel-test-viewer.desktop")
            << "[Desktop Entry]\nType=Application\nName=Stand-in viewer\nExec=" << viewer
            << " %u\nMimeType=application/pdf;\n";
        std::ofstream(folder + "/applications/mimeapps.list")
            << "[Default Applications]\napplication/pdf=qel-test-viewer.desktop\n";
        ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (folder + ":/usr/local/share:/usr/share").c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
    }
    std::string Viewed() const {
        std::ifstream f(log);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
};

StandInViewer& Viewer() {
    static StandInViewer viewer;
    return viewer;
}

class WebKitControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Viewer();
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }
    void SetUp() override {
        control_ = std::make_unique<WebKitControl>(e2e::TestEngine::Get());
        window_.set_default_size(640, 480);
        window_.add(control_->Widget());
        window_.show_all();
        control_->OnBeforeNavigate2 = [this](const std::string& u) { log_.push_back("before " + u); };
        control_->OnDocumentComplete = [this](const std::string& u) {
            log_.push_back("complete " + u);
            ++completes_;
        };
        control_->OnTitleChange = [this](const std::string& t) { title_ = t; };
        control_->OnStatusTextChange = [this](const std::string& t) { status_ = t; };
        control_->OnCommandStateChange = [this](int c, bool e) {
            if (c == CSC_UPDATECOMMANDS) ++updates_;
            if (c == CSC_NAVIGATEBACK) back_ = e;
            if (c == CSC_NAVIGATEFORWARD) forward_ = e;
        };
    }
    void TearDown() override {
        window_.remove();
        control_.reset();
    }
    void Load(const std::string& url) {
        int before = completes_;
        control_->Navigate(url, 0, 0, 0, 0);
        ASSERT_TRUE(e2e::Await([&] { return completes_ > before && !control_->Busy(); })) << url;
    }

    e2e::LoopbackServer server_{{
        {"/a", Page("Page A", "<a id=l href='/b'>to b</a>")},
        {"/b", Page("Page B", "b")},
        {"/untitled", Page("", "no title here")},
    }};
    std::shared_ptr<platform::ScriptedMessageBox> boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope_{boxes_};
    Gtk::Window window_;
    std::unique_ptr<WebKitControl> control_;
    std::vector<std::string> log_;
    std::string title_, status_;
    int completes_ = 0, updates_ = 0;
    bool back_ = true, forward_ = true;
};

TEST_F(WebKitControlTest, ALoadRaisesTheEventsTheWindowFollows) {
    Load("127.0.0.1:" + std::to_string(server_.Port()) + "/a");  // no scheme: a web address
    const std::string url = server_.Url("/a");
    ASSERT_FALSE(log_.empty());
    EXPECT_EQ(log_.front(), "before " + url);
    EXPECT_EQ(log_.back(), "complete " + url);
    EXPECT_TRUE(e2e::Await([&] { return title_ == "Page A"; })) << title_;
    EXPECT_EQ(status_, "Done");
    EXPECT_GE(updates_, 2);  // busy and idle again
    EXPECT_FALSE(control_->Busy());
    EXPECT_EQ(control_->LocationURL(), url);
    EXPECT_FALSE(back_);
    EXPECT_FALSE(forward_);
    EXPECT_EQ(server_.CountOf("/a"), 1);
}

// The browser starts the first page's process while its window is built:
// nothing of it shows, and the first load takes that process.
TEST_F(WebKitControlTest, APageProcessStartedAheadLeavesNoTraceAndServesTheFirstLoad) {
    int launched = 0;
    WebKitWebContext* context = e2e::TestEngine::Get().Context();
    const gulong id = g_signal_connect_swapped(context, "initialize-web-extensions",
                                               G_CALLBACK(+[](int* n) { ++*n; }), &launched);
    control_->StartPageProcess();
    EXPECT_TRUE(e2e::Await([&] { return launched == 1; }));
    e2e::Await([] { return false; }, 300);
    EXPECT_TRUE(log_.empty());
    EXPECT_EQ(title_, "");
    EXPECT_EQ(control_->LocationURL(), "");
    EXPECT_FALSE(control_->Busy());
    Load(server_.Url("/a"));
    EXPECT_EQ(launched, 1);
    EXPECT_EQ(log_.front(), "before " + server_.Url("/a"));
    EXPECT_FALSE(back_);
    EXPECT_TRUE(e2e::Await([&] { return title_ == "Page A"; })) << title_;
    g_signal_handler_disconnect(context, id);
}

TEST_F(WebKitControlTest, HistoryStepsAndTheirAvailability) {
    Load(server_.Url("/a"));
    Load(server_.Url("/b"));
    EXPECT_TRUE(back_);
    EXPECT_FALSE(forward_);
    EXPECT_THROW(control_->GoForward(), EWebControl);
    int before = completes_;
    control_->GoBack();
    ASSERT_TRUE(e2e::Await([&] { return completes_ > before && title_ == "Page A"; }));
    EXPECT_TRUE(forward_);
    EXPECT_FALSE(back_);
    EXPECT_THROW(control_->GoBack(), EWebControl);
    before = completes_;
    control_->GoForward();
    ASSERT_TRUE(e2e::Await([&] { return completes_ > before && title_ == "Page B"; }));
    before = completes_;
    control_->Refresh2(0);
    ASSERT_TRUE(e2e::Await([&] { return completes_ > before; }));
    EXPECT_EQ(control_->LocationURL(), server_.Url("/b"));
}

TEST_F(WebKitControlTest, APageWithoutTitleGivesItsAddressAsTitle) {
    Load(server_.Url("/a"));
    Load(server_.Url("/untitled"));
    ASSERT_TRUE(e2e::Await([&] { return !title_.empty() && title_ != "Page A"; }));
    EXPECT_EQ(title_, server_.Url("/untitled"));
}

TEST_F(WebKitControlTest, TheStartPageIsBuiltIn) {
    Load(kStartPageUrl);
    EXPECT_TRUE(e2e::Await([&] { return title_ == "Qel Browser"; }));
    EXPECT_EQ(control_->LocationURL(), kStartPageUrl);
    EXPECT_EQ(log_.front(), std::string("before ") + kStartPageUrl);
}

TEST_F(WebKitControlTest, ALoadErrorEndsWithTheEnginesWordsAndTheFailedAddress) {
    // A port nobody listens on: connection refused.
    int port;
    {
        e2e::LoopbackServer closed(std::map<std::string, std::string>{});
        port = closed.Port();
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    Load(server_.Url("/a"));
    log_.clear();
    control_->Navigate(url, 0, 0, 0, 0);
    ASSERT_TRUE(e2e::Await([&] { return title_ == url && !control_->Busy(); })) << title_;
    // One navigation for the window, not a second one for the error page.
    EXPECT_EQ(log_.front(), "before " + url);
    EXPECT_EQ(std::count(log_.begin(), log_.end(), "before " + url), 1);
    EXPECT_EQ(log_.back(), "complete " + url);
    EXPECT_EQ(status_.rfind(url + ": ", 0), 0u) << status_;
    EXPECT_GT(status_.size(), url.size() + 2);
    EXPECT_EQ(control_->LocationURL(), url);
    EXPECT_TRUE(back_);
    EXPECT_TRUE(boxes_->Boxes().empty());
    // The control goes on working, and the next page ends with "Done".
    Load(server_.Url("/b"));
    EXPECT_TRUE(e2e::Await([&] { return title_ == "Page B"; })) << title_;
    EXPECT_EQ(status_, "Done");
}

TEST_F(WebKitControlTest, UnknownCommandsAndMissingStartPagesFail) {
    EXPECT_THROW(control_->ExecWB(42, OLECMDEXECOPT_PROMPTUSER), EWebControl);
    Load("qel:nothing");
    EXPECT_FALSE(control_->Busy());
}

TEST_F(WebKitControlTest, PrintPreviewFilesGoWithTheControl) {
    Load(server_.Url("/a"));
    auto previews = [] {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(g_get_tmp_dir()))
            if (e.path().filename().string().rfind("qelpreview-", 0) == 0) found.push_back(e.path());
        return found;
    };
    const auto before = previews();
    control_->ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_PROMPTUSER);
    std::string made;
    ASSERT_TRUE(e2e::Await([&] {
        for (const auto& p : previews()) {
            std::error_code ec;
            if (std::find(before.begin(), before.end(), p) == before.end() &&
                std::filesystem::file_size(p + "/preview.pdf", ec) > 0 && !ec)
                made = p;
        }
        return !made.empty();
    }));
    EXPECT_EQ(FileStart(made + "/preview.pdf"), "%PDF");
    // The desktop's program for PDF files was given the preview.
    EXPECT_TRUE(e2e::Await([&] { return Viewer().Viewed().find("preview.pdf") != std::string::npos; }))
        << Viewer().Viewed();
    // The desktop's viewer may still read it while the program runs.
    e2e::Await([] { return false; }, 300);
    EXPECT_TRUE(std::filesystem::exists(made + "/preview.pdf"));
    window_.remove();
    control_.reset();
    EXPECT_FALSE(std::filesystem::exists(made));
}

} // namespace

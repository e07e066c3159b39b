// Content blocking beside no blocking, in one run (run it on a display,
// e.g. under xvfb-run):
//   the first compile of the installed lists into an empty store (seconds);
//   start to first page: a fresh process makes the engine and a web view,
//   (with blocking: loads the compiled filter from the store and adds it),
//   loads a loopback page with scripts, pictures and a frame, and ends when
//   the page has loaded; runs with and without blocking take turns, and
//   the medians give the ratio (goal <= 1.05).
// Two other ways of element hiding run beside them, to show where the cost
// is: the filter without its generic hiding (what the network rules and
// the site-specific hiding cost alone), and that filter with the generic
// hiding as one user style sheet instead.
// Usage: bench_blocking [runs]
#include "common/BenchTiming.h"
#include "LoopbackServer.h"
#include "browser/ContentBlocker.h"
#include "filters/FilterConverter.h"

#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using bench::UpperMedian;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* NoGeneric = "bench-no-generic-hiding";

// The child for the other two ways: the filter without generic hiding,
// and with the sheet when wanted.
int RunVariant(bool sheet, const std::string& store, const std::string& url) {
    ::setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    gtk_init(nullptr, nullptr);
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    WebKitUserContentFilterStore* filters = webkit_user_content_filter_store_new(store.c_str());
    struct TState {
        WebKitUserContentManager* manager;
        WebKitWebView* view = nullptr;
        std::string url, css;
        bool sheet;
    } state{manager, nullptr, url, {}, sheet};
    if (sheet) {
        std::ifstream in(store + "generic.css", std::ios::binary);
        state.css.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    webkit_user_content_filter_store_load(
        filters, NoGeneric, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer p) {
            auto* st = static_cast<TState*>(p);
            WebKitUserContentFilter* filter =
                webkit_user_content_filter_store_load_finish(WEBKIT_USER_CONTENT_FILTER_STORE(source), result, nullptr);
            if (!filter) std::_Exit(3);
            webkit_user_content_manager_add_filter(st->manager, filter);
            if (st->sheet) {
                WebKitUserStyleSheet* css = webkit_user_style_sheet_new(
                    st->css.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES, WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
                webkit_user_content_manager_add_style_sheet(st->manager, css);
            }
            webkit_web_view_load_uri(st->view, st->url.c_str());
        },
        &state);
    state.view = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", manager, nullptr));
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(state.view));
    gtk_widget_show_all(window);
    g_signal_connect(state.view, "load-changed", G_CALLBACK(+[](WebKitWebView* v, WebKitLoadEvent e, gpointer target) {
                         const char* uri = webkit_web_view_get_uri(v);
                         if (e == WEBKIT_LOAD_FINISHED && uri && *static_cast<std::string*>(target) == uri)
                             std::_Exit(0);
                     }),
                     &state.url);
    webkit_web_view_load_uri(state.view, "about:blank");
    gtk_main();
    return 2;
}

// The filter without generic hiding into the store, and that hiding as a
// style sheet beside it.
void PrepareVariants(const std::string& store) {
    filters::TFilterConverter converter;
    for (const auto& list : browser::ContentBlocker::InstalledLists()) {
        std::ifstream in(list, std::ios::binary);
        converter.AddList(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    std::vector<filters::TBlockerRule> rules;
    std::string css;
    for (auto& r : converter.Rules()) {
        if (r.Action == "css-display-none" && r.IfDomain.empty() && r.UnlessDomain.empty())
            css += r.Selector + " { display: none !important; }\n";
        else
            rules.push_back(std::move(r));
    }
    std::ofstream(store + "generic.css", std::ios::binary) << css;
    std::string error;
    if (!browser::ContentBlocker::CompileJson(store, NoGeneric, filters::RulesToJson(rules), error)) {
        std::fprintf(stderr, "bench_blocking: %s\n", error.c_str());
        std::exit(1);
    }
}

// The child: one start to first page.
int RunOnce(bool blocking, const std::string& store, const std::string& url) {
    ::setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    gtk_init(nullptr, nullptr);
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    WebKitWebView* view = nullptr;
    // As the window does: the filter loads while the view is made (the
    // answer comes from the main loop), and the first page starts once the
    // filter is in.
    std::unique_ptr<browser::ContentBlocker> blocker;
    if (blocking) {
        blocker = std::make_unique<browser::ContentBlocker>(browser::ContentBlocker::InstalledLists(), store,
                                                           store + "sites.Ini");
        blocker->Prepare([&](bool ready) {
            if (!ready || blocker->Compiled()) std::_Exit(3);  // must come from the store
            blocker->ApplyTo(manager, url);
            webkit_web_view_load_uri(view, url.c_str());
        });
    }
    view = WEBKIT_WEB_VIEW(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", manager, nullptr));
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    gtk_widget_show_all(window);
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView* v, WebKitLoadEvent e, gpointer target) {
                         const char* uri = webkit_web_view_get_uri(v);
                         if (e == WEBKIT_LOAD_FINISHED && uri && *static_cast<std::string*>(target) == uri)
                             std::_Exit(0);
                     }),
                     const_cast<std::string*>(&url));
    if (!blocking) {
        webkit_web_view_load_uri(view, url.c_str());
    } else if (!blocker->Ready()) {
        // The engine starts its page process on an empty page while the
        // filter loads.
        webkit_web_view_load_uri(view, "about:blank");
    }
    gtk_main();
    return 2;
}

double TimeChild(const char* self, const char* mode, const std::string& store, const std::string& url) {
    auto start = Clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(self, self, "--run", mode, store.c_str(), url.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_blocking: a run failed (%d)\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--run") {
        const std::string mode = argv[2];
        if (mode == "no-generic" || mode == "sheet") return RunVariant(mode == "sheet", argv[3], argv[4]);
        return RunOnce(mode == "on", argv[3], argv[4]);
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    for (const auto& l : browser::ContentBlocker::InstalledLists())
        if (!std::filesystem::exists(l)) {
            std::fprintf(stderr, "bench_blocking: not installed: %s\n", l.c_str());
            return 1;
        }
    char tmpl[] = "/tmp/bench-blocking-XXXXXX";
    const std::string store = std::string(::mkdtemp(tmpl)) + "/";
    gtk_init(nullptr, nullptr);
    {
        browser::ContentBlocker blocker(browser::ContentBlocker::InstalledLists(), store, store + "sites.Ini");
        if (!blocker.PrepareAndWait()) {
            std::fprintf(stderr, "bench_blocking: %s\n", blocker.LastError().c_str());
            return 1;
        }
        std::printf("first compile of both lists: %.1f s (%d rules converted, %d skipped, %d refused)\n",
                    blocker.CompileSeconds(), blocker.Counts().Converted, blocker.Counts().Skipped,
                    blocker.Rejected());
    }
    PrepareVariants(store);
    std::string page = "<!DOCTYPE html><html><body>";
    for (int i = 0; i < 10; ++i)
        page += "<script src='/s" + std::to_string(i) + ".js'></script><img src='/i" + std::to_string(i) + ".png'>";
    page += "<iframe src='/frame.html'></iframe><div class='banner-ad'>x</div></body></html>";
    e2e::LoopbackServer server([&](const e2e::HttpRequest& r) {
        e2e::HttpResponse response;
        if (r.path == "/page.html") {
            response.body = page;
        } else if (r.path.find(".js") != std::string::npos) {
            response.contentType = "application/javascript";
            response.body = "var x = 1;";
        } else if (r.path.find(".png") != std::string::npos) {
            response.contentType = "image/png";
        } else {
            response.body = "<html><body>frame</body></html>";
        }
        return response;
    });
    const std::string url = server.Url("/page.html");
    std::vector<double> on, off, noGeneric, sheet;
    TimeChild(argv[0], "off", store, url);  // warms the file cache for all
    for (int i = 0; i < runs; ++i) {
        off.push_back(TimeChild(argv[0], "off", store, url));
        on.push_back(TimeChild(argv[0], "on", store, url));
        noGeneric.push_back(TimeChild(argv[0], "no-generic", store, url));
        sheet.push_back(TimeChild(argv[0], "sheet", store, url));
    }
    std::printf("start to first page: blocking off %.0f ms, on %.0f ms (medians of %d); on/off = %.3f (goal <= 1.05)\n",
                UpperMedian(off), UpperMedian(on), runs, UpperMedian(on) / UpperMedian(off));
    std::printf("  the filter without generic hiding: %.0f ms, %.3f of off; with that hiding as a user style sheet: "
                "%.0f ms, %.3f of off\n",
                UpperMedian(noGeneric), UpperMedian(noGeneric) / UpperMedian(off), UpperMedian(sheet),
                UpperMedian(sheet) / UpperMedian(off));
    std::error_code ec;
    std::filesystem::remove_all(store, ec);
    return 0;
}

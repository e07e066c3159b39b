#pragma once
// What the tests on the real engine share: one engine per test program with
// its folders in a private temporary folder, and a script run in the page
// for what only the page knows.
#include "browser/WebEngine.h"
#include "common/TempFolder.h"

#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace e2e {

// Runs the main loop until the condition holds or the time is up; the
// engine's processes are slow to start on a loaded machine.
inline bool Await(const std::function<bool()>& condition, int timeoutMs = 30000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The engine of this test program: private, so that its processes write
// nothing after the program has gone, with the downloads in a temporary
// folder removed when the program ends. The sandbox stays off: the
// program's own test tries it.
class TestEngine {
public:
    static browser::WebEngine& Get() { return *Instance().engine_; }
    static const std::string& Folder() { return Instance().folder_; }

private:
    TestEngine() {
        ::setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
        ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
        browser::WebProfile profile;
        profile.privateMode = true;
        profile.dataFolder = folder_ + "data/";
        profile.cacheFolder = folder_ + "cache/";
        profile.downloadFolder = folder_ + "downloads/";
        profile.sandbox = false;
        engine_ = std::make_unique<browser::WebEngine>(profile);
    }
    ~TestEngine() {
        engine_.reset();
    }
    static TestEngine& Instance() {
        static TestEngine instance;
        return instance;
    }
    qeltest::TempFolder temp_{"qel-engine", qeltest::TempFolder::Place::Tmp};
    std::string folder_ = temp_.Path();
    std::unique_ptr<browser::WebEngine> engine_;
};

// The script's value as text, or "error: " and the reason.
inline std::string RunScript(WebKitWebView* view, const std::string& script) {
    struct Result {
        bool done = false;
        std::string value;
    } result;
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* res, gpointer data) {
            auto* r = static_cast<Result*>(data);
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, &error);
            if (value) {
                char* text = jsc_value_to_string(value);
                r->value = text;
                g_free(text);
                g_object_unref(value);
            } else {
                r->value = std::string("error: ") + (error ? error->message : "?");
                if (error) g_error_free(error);
            }
            r->done = true;
        },
        &result);
    Await([&] { return result.done; });
    return result.value;
}

} // namespace e2e

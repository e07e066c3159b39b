#include "platform/Sync.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace platform {

namespace {
struct Pending {
    std::function<void()> call;
    bool done = false;
    bool waited = false;
    std::exception_ptr error;
};

std::mutex g_mutex;
std::condition_variable g_doneCv;
std::deque<std::shared_ptr<Pending>> g_queue;
std::function<void()> g_wake;
std::thread::id g_main;
bool g_mainSet = false;

void EnsureMain() {
    if (!g_mainSet) {
        g_main = std::this_thread::get_id();
        g_mainSet = true;
    }
}

void Post(std::shared_ptr<Pending> p) {
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        EnsureMain();
        g_queue.push_back(std::move(p));
        wake = g_wake;
    }
    if (wake) wake();
}
} // namespace

void SetMainThread() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_main = std::this_thread::get_id();
    g_mainSet = true;
}

bool IsMainThread() {
    std::lock_guard<std::mutex> lock(g_mutex);
    EnsureMain();
    return g_main == std::this_thread::get_id();
}

void Synchronize(const std::function<void()>& call) {
    if (IsMainThread()) {
        call();
        return;
    }
    auto p = std::make_shared<Pending>();
    p->call = call;
    p->waited = true;
    Post(p);
    std::unique_lock<std::mutex> lock(g_mutex);
    g_doneCv.wait(lock, [&] { return p->done; });
    if (p->error) std::rethrow_exception(p->error);
}

void Queue(std::function<void()> call) {
    auto p = std::make_shared<Pending>();
    p->call = std::move(call);
    Post(std::move(p));
}

bool CheckSynchronize() {
    bool any = false;
    for (;;) {
        std::shared_ptr<Pending> p;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            if (g_queue.empty()) break;
            p = g_queue.front();
            g_queue.pop_front();
        }
        any = true;
        try {
            p->call();
        } catch (...) {
            if (!p->waited) throw;
            p->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            p->done = true;
        }
        g_doneCv.notify_all();
    }
    return any;
}

void SetWakeMainThread(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_wake = std::move(wake);
}

} // namespace platform

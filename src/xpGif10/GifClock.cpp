#include "xpGif10/GifClock.h"

#include <chrono>
#include <thread>

namespace xpGif10 {

void TGIFEvent::Set() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        set_ = true;
    }
    cond_.notify_all();
}

void TGIFEvent::Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    set_ = false;
}

bool TGIFEvent::TryTake() {
    std::lock_guard<std::mutex> guard(lock_);
    bool was = set_;
    set_ = false;
    return was;
}

bool TGIFEvent::WaitFor(int64_t ms) {
    std::unique_lock<std::mutex> guard(lock_);
    if (ms < 0)
        cond_.wait(guard, [this] { return set_; });
    else
        cond_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return set_; });
    bool was = set_;
    set_ = false;
    return was;
}

void TGIFClock::Yield() { std::this_thread::yield(); }

int64_t TSystemClock::Now() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool TSystemClock::WaitFor(TGIFEvent& event, int64_t ms) { return event.WaitFor(ms); }

void TSystemClock::Sleep(int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t TVirtualClock::Now() {
    std::lock_guard<std::mutex> guard(lock_);
    return now_;
}

void TVirtualClock::Advance(int64_t ms) {
    std::lock_guard<std::mutex> guard(lock_);
    now_ += ms;
}

bool TVirtualClock::WaitFor(TGIFEvent& event, int64_t ms) {
    bool block;
    {
        std::lock_guard<std::mutex> guard(lock_);
        waits_.push_back(ms);
        block = ms < 0 || BlockTimedWaits;
        if (block) ++blocked_;
    }
    if (block) {
        event.WaitFor(-1);
        std::lock_guard<std::mutex> guard(lock_);
        --blocked_;
        return true;
    }
    if (event.TryTake()) return true;
    Advance(ms);
    return false;
}

void TVirtualClock::Sleep(int64_t ms) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        waits_.push_back(ms);
    }
    if (ms > 0) Advance(ms);
}

std::vector<int64_t> TVirtualClock::Waits() {
    std::lock_guard<std::mutex> guard(lock_);
    return waits_;
}

int TVirtualClock::Blocked() {
    std::lock_guard<std::mutex> guard(lock_);
    return blocked_;
}

namespace {
std::mutex clockLock;
std::shared_ptr<TGIFClock>& Current() {
    static std::shared_ptr<TGIFClock> clock = std::make_shared<TSystemClock>();
    return clock;
}
} // namespace

std::shared_ptr<TGIFClock> GIFClock() {
    std::lock_guard<std::mutex> guard(clockLock);
    return Current();
}

std::shared_ptr<TGIFClock> SetGIFClock(std::shared_ptr<TGIFClock> clock) {
    std::lock_guard<std::mutex> guard(clockLock);
    if (!clock) clock = std::make_shared<TSystemClock>();
    std::swap(Current(), clock);
    return clock;
}

} // namespace xpGif10

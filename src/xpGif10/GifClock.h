#pragma once
// Time for the painters: reading the time and waiting, with or without an
// event that ends the wait early. The system clock waits for real; the
// virtual clock lets animations run at once and remembers every wait, so the
// timing can be checked to the millisecond without sleeping.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace xpGif10 {

// An auto-reset event: Set wakes one wait, which resets it.
class TGIFEvent {
public:
    void Set();
    void Reset();
    // Takes the event when it is set; answers whether it was.
    bool TryTake();
    // Waits until the event is set (then takes it) or the milliseconds pass
    // (below 0: without limit); answers whether the event ended the wait.
    bool WaitFor(int64_t ms);

private:
    std::mutex lock_;
    std::condition_variable cond_;
    bool set_ = false;
};

class TGIFClock {
public:
    virtual ~TGIFClock() = default;
    // Milliseconds from an arbitrary start.
    virtual int64_t Now() = 0;
    // Waits on the event for ms milliseconds (below 0: until it is set);
    // answers whether the event ended the wait.
    virtual bool WaitFor(TGIFEvent& event, int64_t ms) = 0;
    // Waits ms milliseconds.
    virtual void Sleep(int64_t ms) = 0;
    // Gives the rest of the time slice to other threads.
    virtual void Yield();
};

class TSystemClock : public TGIFClock {
public:
    int64_t Now() override;
    bool WaitFor(TGIFEvent& event, int64_t ms) override;
    void Sleep(int64_t ms) override;
};

// Time passes only in waits: a timed wait moves the clock on by its length
// at once (unless the event is already set). A wait without limit, and with
// BlockTimedWaits every timed wait, really blocks until the event is set,
// so a test can stop a painter in the middle of a long delay.
class TVirtualClock : public TGIFClock {
public:
    int64_t Now() override;
    bool WaitFor(TGIFEvent& event, int64_t ms) override;
    void Sleep(int64_t ms) override;
    void Advance(int64_t ms);

    // Every wait asked for, in order (below 0: without limit).
    std::vector<int64_t> Waits();
    // Number of waits that are blocking right now.
    int Blocked();
    bool BlockTimedWaits = false;

private:
    std::mutex lock_;
    int64_t now_ = 0;
    std::vector<int64_t> waits_;
    int blocked_ = 0;
};

// The clock a new painter takes; the system clock unless one is set.
std::shared_ptr<TGIFClock> GIFClock();
// Sets the clock (none: back to the system clock); answers the previous one.
std::shared_ptr<TGIFClock> SetGIFClock(std::shared_ptr<TGIFClock> clock);

} // namespace xpGif10

#pragma once
// The image's list of painters with its lock. The lock may be taken again by
// the thread that holds it, because a painter's events may call back into
// the image while the list is locked.
#include <algorithm>
#include <mutex>
#include <vector>

namespace xpGif10 {

class TGIFPainter;

class TGIFPainterList {
public:
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }
    std::recursive_mutex& Mutex() { return lock_; }

    // These take the lock themselves.
    void Add(TGIFPainter* painter) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        items_.push_back(painter);
    }
    void Remove(TGIFPainter* painter) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        items_.erase(std::remove(items_.begin(), items_.end(), painter), items_.end());
    }
    int Count() {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        return int(items_.size());
    }
    // A snapshot, for enumerating while the list may change.
    std::vector<TGIFPainter*> Items() {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        return items_;
    }

private:
    std::recursive_mutex lock_;
    std::vector<TGIFPainter*> items_;
};

} // namespace xpGif10

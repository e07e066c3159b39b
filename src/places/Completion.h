#pragma once
// TCompletion: what the address box offers while the user types. Every
// typed word must occur in a page's address or title (case and accents
// folded); pages rank by frecency (how often, weighted by how recently,
// they were visited), a bookmark counting as a recent visit, and a page of
// a host that starts with the typed text comes first.
//
// The index keeps, for each address of the history, its folded address and
// title in one buffer, its visit count and last visit, and a 256-bit
// filter of the characters and character pairs of its text, so that a
// keystroke does not read the history file. Places are numbered in the
// order of their frecency when the index was sorted; a search walks them in
// that order and stops as soon as no place further down can beat the
// results it holds (frecency only falls as time passes), and places
// visited since the sort are looked at first.
//
// The index of a big history takes a while to build, so it may be built on
// a thread of its own (AttachInBackground): searches meanwhile answer from
// the bookmarks and the visits recorded since, and the whole index takes
// over when it is ready. Visits recorded while it builds are kept for it;
// a removal meanwhile stops the thread and indexes at once, as Rebuild.
#include "places/Bookmarks.h"
#include "places/History.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace places {

struct TCompletionItem {
    std::string Address;
    std::string Title;
    int Visits = 0;
    int64_t LastVisit = 0;
    bool Bookmarked = false;
    bool TypedHost = false;  // its host starts with the typed text
    double Score = 0;
};

// The frecency of a place: visits weighted by the age of the last one.
double Frecency(uint32_t visits, int64_t lastVisit, int64_t now);

class TCompletion {
public:
    TCompletion() = default;
    ~TCompletion();
    TCompletion(const TCompletion&) = delete;
    TCompletion& operator=(const TCompletion&) = delete;

    // Indexes the whole history and follows its changes from now on (the
    // history's change events are taken over).
    void Attach(THistory& history);
    // The same, with the index built on a thread of its own; Ready tells
    // when it is done.
    void AttachInBackground(THistory& history);
    // Indexes the history again (after it changed behind the index's back).
    void Rebuild();
    // Whether the whole history is in the index.
    bool Ready() const { return ready_; }
    // Called once the index built in the background is ready, on the
    // thread that built it (or on the caller's, when a change made it build
    // at once). Setting it waits for a call under way, so that after
    // SetOnReady(nullptr) none comes.
    void SetOnReady(std::function<void()> ready);
    // The bookmarks to offer too (read at each search; may be null).
    void SetBookmarks(const TBookmarks* bookmarks) { bookmarks_ = bookmarks; }

    // The best matches of the typed text, best first.
    std::vector<TCompletionItem> Complete(const std::string& typed, size_t limit = 10, int64_t now = NowSeconds());
    // The drop-down's Delete: every visit of the address leaves the history.
    int Forget(const std::string& address);

    size_t PlaceCount() const;
    // Bytes the index holds (its buffers' capacities).
    size_t MemoryBytes() const;

private:
    struct TPlace {
        uint64_t Hash = 0;       // of the address as visited
        uint32_t Offset = 0;     // its folded text in the buffer
        uint32_t Length = 0;
        uint32_t Visits = 0;     // 0 for a place no longer in the history
        uint32_t LastVisit = 0;
        int32_t Entry = -1;      // the history entry of its latest visit
        float Bound = 0;         // its frecency when sorted: an upper bound since
    };
    using TFilter = std::array<uint64_t, 4>;

    // A history change that came while the index was built, to be done
    // again on it.
    struct TChange {
        bool Retitled = false;
        bool Inserted = false;  // a visit dated before the last one
        int Index = 0;
        TVisit Visit;
    };
    using TReader = std::function<bool(int64_t pos, char* into, int64_t n)>;

    void Clear();
    void Follow(THistory& history);
    void StopBuild();
    void RebuildLocked();
    // Indexes the lines of used bytes read through read; false when stopped.
    bool IndexLines(const TReader& read, int64_t used, const std::atomic<bool>* stop);
    void Build(std::string fileName, int64_t used);
    void SwapIndex(TCompletion& other);
    void Added(int index, const TVisit& visit, bool inserted);
    void Retitled(int index, const TVisit& visit);
    void Notify();
    void AddLine(std::string_view line, int entry);
    void AddVisit(const TVisit& visit, int entry);
    uint32_t FindPlace(uint64_t hash) const;  // UINT32_MAX when absent
    void InsertHash(uint32_t place);
    void SetText(uint32_t place, const std::string& address, const std::string& title);
    void Sort(int64_t now);
    void Removed(const std::vector<int>& removed, const std::string& address);
    void VisitRemoved(int index, const TVisit& visit);
    std::string_view Text(uint32_t place) const { return {blob_.data() + places_[place].Offset, places_[place].Length}; }
    std::string_view Host(uint32_t place) const;
    static TFilter FilterOf(std::string_view folded);

    THistory* history_ = nullptr;
    const TBookmarks* bookmarks_ = nullptr;
    std::string blob_;  // folded "address TAB title" of every place
    size_t blobGarbage_ = 0;
    std::vector<TPlace> places_;
    std::vector<TFilter> filters_;
    std::vector<uint32_t> table_;  // open addressing: place + 1, 0 empty
    std::vector<uint32_t> hosts_;  // the best place of each host, sorted by host
    std::vector<uint32_t> recent_; // places visited since the sort
    std::vector<uint8_t> isRecent_;
    size_t sortedCount_ = 0;
    size_t deadCount_ = 0;
    bool bulk_ = false;  // lines being read in: none of them is recent

    // The index as the display thread uses it is guarded by mutex_; the
    // thread builds one of its own and swaps it in.
    mutable std::recursive_mutex mutex_;
    std::thread builder_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ready_{true};
    bool building_ = false;   // the thread's index has not taken over yet
    int builtCount_ = 0;      // the history's entries the thread reads
    std::vector<TChange> changes_;
    std::mutex readyMutex_;
    std::function<void()> onReady_;
};

} // namespace places

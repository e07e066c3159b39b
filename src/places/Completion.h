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
#include "places/Bookmarks.h"
#include "places/History.h"

#include <array>
#include <cstdint>
#include <string>
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
    TCompletion(const TCompletion&) = delete;
    TCompletion& operator=(const TCompletion&) = delete;

    // Indexes the whole history and follows its changes from now on (the
    // history's change events are taken over).
    void Attach(THistory& history);
    // Indexes the history again (after it changed behind the index's back).
    void Rebuild();
    // The bookmarks to offer too (read at each search; may be null).
    void SetBookmarks(const TBookmarks* bookmarks) { bookmarks_ = bookmarks; }

    // The best matches of the typed text, best first.
    std::vector<TCompletionItem> Complete(const std::string& typed, size_t limit = 10, int64_t now = NowSeconds());
    // The drop-down's Delete: every visit of the address leaves the history.
    int Forget(const std::string& address);

    size_t PlaceCount() const { return places_.size() - deadCount_; }
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

    void Clear();
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
};

} // namespace places

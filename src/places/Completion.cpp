#include "places/Completion.h"

#include "places/TextFold.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <queue>
#include <unistd.h>

namespace places {

namespace {

uint64_t HashOf(std::string_view s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h ? h : 1;
}

constexpr uint32_t None = UINT32_MAX;
// A bookmark counts as this many recent visits.
constexpr double BookmarkVisits = 1;

std::string FoldedPlace(const std::string& address, const std::string& title) {
    std::string text;
    text.reserve(address.size() + title.size() + 1);
    AppendFolded(address, text);
    text += '\t';
    AppendFolded(title, text);
    return text;
}

// The host of a folded address: after the scheme, without "www.", up to
// the port, path, query or fragment.
std::string_view HostOf(std::string_view address) {
    address = address.substr(0, address.find('\t'));
    size_t scheme = address.find("://");
    if (scheme != std::string_view::npos) address.remove_prefix(scheme + 3);
    size_t at = address.find_first_of("@/");
    if (at != std::string_view::npos && address[at] == '@') address.remove_prefix(at + 1);
    if (address.substr(0, 4) == "www.") address.remove_prefix(4);
    return address.substr(0, address.find_first_of(":/?#"));
}

void Mark(std::array<uint64_t, 4>& f, unsigned bit) { f[(bit >> 6) & 3] |= uint64_t(1) << (bit & 63); }

} // namespace

double Frecency(uint32_t visits, int64_t lastVisit, int64_t now) {
    const int64_t days = (now - lastVisit) / 86400;
    const double weight = days <= 4 ? 100 : days <= 14 ? 70 : days <= 31 ? 50 : days <= 90 ? 30 : 10;
    return visits * weight;
}

TCompletion::TFilter TCompletion::FilterOf(std::string_view folded) {
    TFilter f{};
    unsigned previous = 0;
    for (unsigned char c : folded) {
        Mark(f, c * 37u + 11u);
        if (previous) Mark(f, (previous * 251u) ^ (c * 113u) ^ 0x5Au);
        previous = c;
    }
    return f;
}

void TCompletion::Clear() {
    blob_.clear();
    blobGarbage_ = 0;
    places_.clear();
    filters_.clear();
    table_.clear();
    hosts_.clear();
    recent_.clear();
    isRecent_.clear();
    sortedCount_ = 0;
    deadCount_ = 0;
}

uint32_t TCompletion::FindPlace(uint64_t hash) const {
    if (table_.empty()) return None;
    const size_t mask = table_.size() - 1;
    for (size_t i = size_t(hash) & mask;; i = (i + 1) & mask) {
        uint32_t slot = table_[i];
        if (slot == 0) return None;
        if (places_[slot - 1].Hash == hash) return slot - 1;
    }
}

void TCompletion::InsertHash(uint32_t place) {
    if (table_.size() < 2 * (places_.size() + 1)) {
        // Kept at most half full, so that a miss stops soon.
        std::vector<uint32_t> old;
        old.swap(table_);
        size_t size = 1024;
        while (size < 2 * (places_.size() + 1)) size <<= 1;
        table_.assign(size, 0);
        for (uint32_t slot : old)
            if (slot) InsertHash(slot - 1);
    }
    const size_t mask = table_.size() - 1;
    size_t i = size_t(places_[place].Hash) & mask;
    while (table_[i] != 0) i = (i + 1) & mask;
    table_[i] = place + 1;
}

void TCompletion::SetText(uint32_t place, const std::string& address, const std::string& title) {
    std::string text = FoldedPlace(address, title);
    TPlace& p = places_[place];
    if (p.Length > 0 && Text(place) == text) return;
    blobGarbage_ += p.Length;
    p.Offset = uint32_t(blob_.size());
    p.Length = uint32_t(text.size());
    blob_ += text;
    filters_[place] = FilterOf(text);
}

void TCompletion::AddVisit(const TVisit& visit, int entry) {
    const uint64_t hash = HashOf(visit.Address);
    uint32_t id = FindPlace(hash);
    const uint32_t time = uint32_t(std::clamp<int64_t>(visit.Time, 0, UINT32_MAX));
    if (id == None) {
        // The buffer's offsets are 32-bit: an index that would pass 4 GiB
        // takes no more places.
        if (blob_.size() + visit.Address.size() + visit.Title.size() > UINT32_MAX - 4096) return;
        id = uint32_t(places_.size());
        places_.push_back({hash, 0, 0, 0, 0, -1, 0});
        filters_.push_back({});
        isRecent_.push_back(0);
        InsertHash(id);
    }
    TPlace& p = places_[id];
    if (p.Visits == 0) {
        if (p.Length > 0) --deadCount_;  // visited again after it was forgotten
        p.LastVisit = 0;
        p.Entry = entry;
        SetText(id, visit.Address, visit.Title);
    } else if (!visit.Title.empty() ? entry >= p.Entry : entry > p.Entry && Text(id).back() == '\t') {
        // The entry shown is the latest visit that knew a title.
        p.Entry = entry;
        SetText(id, visit.Address, visit.Title);
    }
    ++p.Visits;
    p.LastVisit = std::max(p.LastVisit, time);
    if (!isRecent_[id] && !bulk_) {
        isRecent_[id] = 1;
        recent_.push_back(id);
    }
}

void TCompletion::AddLine(std::string_view line, int entry) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    TVisit v = ParseVisit(line);
    if (!v.Address.empty()) AddVisit(v, entry);
}

bool TCompletion::IndexLines(const TReader& read, int64_t used, const std::atomic<bool>* stop) {
    // One sequential read of the file rather than a seek per visit.
    bulk_ = true;
    std::string carry;
    std::vector<char> block(size_t(4) << 20);
    int entry = 0;
    for (int64_t pos = 0; pos < used;) {
        if (stop && stop->load()) {
            bulk_ = false;
            return false;
        }
        int64_t n = std::min<int64_t>(int64_t(block.size()), used - pos);
        if (!read(pos, block.data(), n)) break;
        pos += n;
        const char* p = block.data();
        const char* end = p + n;
        while (p < end) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            if (!nl) {
                carry.append(p, size_t(end - p));
                break;
            }
            if (carry.empty()) {
                AddLine(std::string_view(p, size_t(nl - p)), entry++);
            } else {
                carry.append(p, size_t(nl - p));
                AddLine(carry, entry++);
                carry.clear();
            }
            p = nl + 1;
        }
    }
    if (!carry.empty()) AddLine(carry, entry++);
    bulk_ = false;
    Sort(NowSeconds());
    blob_.shrink_to_fit();
    return true;
}

void TCompletion::Rebuild() {
    StopBuild();
    std::lock_guard lock(mutex_);
    RebuildLocked();
}

void TCompletion::RebuildLocked() {
    Clear();
    const bool wasReady = ready_;
    ready_ = true;
    if (!history_ || !history_->IsOpen()) {
        if (!wasReady) Notify();
        return;
    }
    xoStr31::THdStrings& list = history_->List();
    platform::TStream* stream = list.Stream();
    if (stream) {
        IndexLines(
            [stream](int64_t pos, char* into, int64_t n) {
                return stream->Seek(pos, platform::SeekOrigin::Begin) == pos && stream->Read(into, n) == n;
            },
            list.UsedSize(), nullptr);
    } else {
        Sort(NowSeconds());
    }
    if (!wasReady) Notify();
}

void TCompletion::Sort(int64_t now) {
    std::vector<uint32_t> order;
    order.reserve(places_.size() - deadCount_);
    for (uint32_t i = 0; i < places_.size(); ++i)
        if (places_[i].Visits > 0) order.push_back(i);
    std::vector<float> score(places_.size());
    for (uint32_t i : order) score[i] = float(Frecency(places_[i].Visits, places_[i].LastVisit, now));
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return score[a] > score[b]; });
    std::vector<TPlace> places(order.size());
    std::vector<TFilter> filters(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
        places[k] = places_[order[k]];
        // Rounded up, so that it stays an upper bound.
        places[k].Bound = score[order[k]] * 1.0001f + 1e-3f;
        filters[k] = filters_[order[k]];
    }
    score = {};
    order = {};
    places_ = std::move(places);
    filters_ = std::move(filters);
    if (blobGarbage_ > blob_.size() / 4) {
        std::string blob;
        blob.reserve(blob_.size() - blobGarbage_);
        for (TPlace& p : places_) {
            uint32_t offset = uint32_t(blob.size());
            blob.append(blob_, p.Offset, p.Length);
            p.Offset = offset;
        }
        blob_ = std::move(blob);
        blobGarbage_ = 0;
    }
    table_.clear();
    for (uint32_t i = 0; i < places_.size(); ++i) InsertHash(i);
    // One entry a host: its first place by number, the highest in frecency.
    {
        // Each host read once, not at every comparison.
        std::vector<std::pair<std::string_view, uint32_t>> keys(places_.size());
        for (uint32_t i = 0; i < places_.size(); ++i) keys[i] = {Host(i), i};
        std::sort(keys.begin(), keys.end());
        hosts_.clear();
        for (size_t k = 0; k < keys.size(); ++k)
            if (k == 0 || keys[k].first != keys[k - 1].first) hosts_.push_back(keys[k].second);
        hosts_.shrink_to_fit();
    }
    recent_.clear();
    isRecent_.assign(places_.size(), 0);
    sortedCount_ = places_.size();
    deadCount_ = 0;
}

std::string_view TCompletion::Host(uint32_t place) const { return HostOf(Text(place)); }

void TCompletion::Removed(const std::vector<int>& removed, const std::string& address) {
    uint32_t id = address.empty() ? None : FindPlace(HashOf(address));
    if (id == None || places_[id].Visits == 0) {
        RebuildLocked();
        return;
    }
    places_[id].Visits = 0;
    ++deadCount_;
    // The history entries after each removed one moved up.
    for (TPlace& p : places_) {
        if (p.Visits == 0) continue;
        p.Entry -= int32_t(std::lower_bound(removed.begin(), removed.end(), p.Entry) - removed.begin());
    }
}

void TCompletion::VisitRemoved(int index, const TVisit& visit) {
    for (TPlace& p : places_)
        if (p.Visits > 0 && p.Entry > index) --p.Entry;
    uint32_t id = FindPlace(HashOf(visit.Address));
    if (id == None || places_[id].Visits == 0) return;
    TPlace& p = places_[id];
    if (--p.Visits == 0) {
        ++deadCount_;
        return;
    }
    const bool shown = p.Entry == index;
    if (!shown && uint32_t(std::max<int64_t>(visit.Time, 0)) < p.LastVisit) return;
    // The latest visit or the one whose title is shown went: the address's
    // remaining visits, newest first, tell the new ones. Far back, indexing
    // again costs less than reading on, visit by visit.
    constexpr int Reach = 20000;
    int latest = -1, titled = -1;
    TVisit latestVisit, titledVisit;
    const int count = history_->Count();
    for (int i = count - 1; i >= 0 && i >= count - Reach && titled < 0; --i) {
        TVisit v = history_->Visit(i);
        if (v.Address != visit.Address) continue;
        if (latest < 0) {
            latest = i;
            latestVisit = v;
        }
        if (!v.Title.empty()) {
            titled = i;
            titledVisit = v;
        }
    }
    if (latest < 0 || (titled < 0 && count > Reach)) {
        RebuildLocked();
        return;
    }
    p.LastVisit = uint32_t(std::clamp<int64_t>(latestVisit.Time, 0, UINT32_MAX));
    if (titled < 0) {
        titled = latest;
        titledVisit = latestVisit;
    }
    p.Entry = titled;
    SetText(id, titledVisit.Address, titledVisit.Title);
}

void TCompletion::Added(int index, const TVisit& visit, bool inserted) {
    if (inserted) {
        // Dated before the last visit: the entries after it moved down.
        for (TPlace& p : places_)
            if (p.Entry >= index) ++p.Entry;
    }
    AddVisit(visit, index);
    if (recent_.size() > std::max<size_t>(2000, sortedCount_ / 50)) Sort(NowSeconds());
}

void TCompletion::Retitled(int index, const TVisit& visit) {
    uint32_t id = FindPlace(HashOf(visit.Address));
    if (id != None && places_[id].Visits > 0 && places_[id].Entry <= index) {
        places_[id].Entry = index;
        SetText(id, visit.Address, visit.Title);
    }
}

void TCompletion::Attach(THistory& history) {
    StopBuild();
    Follow(history);
    std::lock_guard lock(mutex_);
    RebuildLocked();
}

void TCompletion::Follow(THistory& history) {
    history_ = &history;
    // While the thread builds, a change of the entries it reads makes its
    // index wrong: it is stopped and the history indexed at once. Later
    // entries are only added or retitled; that is done again on its index.
    auto indexNow = [this] {
        StopBuild();
        std::lock_guard lock(mutex_);
        RebuildLocked();
    };
    // True when the change touched what the thread reads, and so the
    // history was indexed at once instead (the lock is given up for it).
    auto indexedNow = [this, indexNow](std::unique_lock<decltype(mutex_)>& lock, bool touchesBuilt) {
        if (!building_ || !touchesBuilt) return false;
        lock.unlock();
        indexNow();
        return true;
    };
    history.OnAdded = [this, indexedNow](int index, const TVisit& visit) {
        std::unique_lock lock(mutex_);
        if (indexedNow(lock, index < builtCount_)) return;
        const bool inserted = index < history_->Count() - 1;
        if (building_) changes_.push_back({false, inserted, index, visit});
        Added(index, visit, inserted);
    };
    history.OnRetitled = [this, indexedNow](int index, const TVisit& visit) {
        std::unique_lock lock(mutex_);
        if (indexedNow(lock, index < builtCount_)) return;
        if (building_) changes_.push_back({true, false, index, visit});
        Retitled(index, visit);
    };
    history.OnRemoved = [this, indexedNow](const std::vector<int>& removed, const std::string& address) {
        std::unique_lock lock(mutex_);
        if (!indexedNow(lock, true)) Removed(removed, address);
    };
    history.OnVisitRemoved = [this, indexedNow](int index, const TVisit& visit) {
        std::unique_lock lock(mutex_);
        if (!indexedNow(lock, true)) VisitRemoved(index, visit);
    };
}

void TCompletion::AttachInBackground(THistory& history) {
    StopBuild();
    if (!history.IsOpen() || !history.List().Stream()) {
        Attach(history);
        return;
    }
    Follow(history);
    std::lock_guard lock(mutex_);
    Clear();
    // The thread reads the file as it is now on a handle of its own; what
    // the display thread writes later goes after these bytes.
    builtCount_ = history.Count();
    const int64_t used = history.List().UsedSize();
    building_ = true;
    ready_ = false;
    builder_ = std::thread(&TCompletion::Build, this, history.FileName(), used);
}

TCompletion::~TCompletion() { StopBuild(); }

void TCompletion::StopBuild() {
    stop_ = true;
    if (builder_.joinable()) builder_.join();
    stop_ = false;
    std::lock_guard lock(mutex_);
    if (building_) {
        // Stopped before its index took over: what is here stays until the
        // caller indexes again.
        building_ = false;
        changes_.clear();
    }
}

void TCompletion::Build(std::string fileName, int64_t used) {
    TCompletion built;
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    bool done = false;
    if (fd >= 0) {
        done = built.IndexLines(
            [fd](int64_t pos, char* into, int64_t n) {
                while (n > 0) {
                    const ssize_t got = ::pread(fd, into, size_t(n), off_t(pos));
                    if (got < 0 && errno == EINTR) continue;
                    if (got <= 0) return false;
                    into += got;
                    pos += got;
                    n -= got;
                }
                return true;
            },
            used, &stop_);
        ::close(fd);
    }
    {
        std::lock_guard lock(mutex_);
        if (!building_ || stop_) return;
        if (!done) {
            // The file could not be read here: the visits since stay.
            building_ = false;
            changes_.clear();
        } else {
            SwapIndex(built);
            for (const TChange& c : changes_) {
                if (c.Retitled)
                    Retitled(c.Index, c.Visit);
                else
                    Added(c.Index, c.Visit, c.Inserted);
            }
            changes_.clear();
            building_ = false;
        }
        ready_ = true;
    }
    Notify();
}

void TCompletion::SwapIndex(TCompletion& other) {
    blob_.swap(other.blob_);
    std::swap(blobGarbage_, other.blobGarbage_);
    places_.swap(other.places_);
    filters_.swap(other.filters_);
    table_.swap(other.table_);
    hosts_.swap(other.hosts_);
    recent_.swap(other.recent_);
    isRecent_.swap(other.isRecent_);
    std::swap(sortedCount_, other.sortedCount_);
    std::swap(deadCount_, other.deadCount_);
}

void TCompletion::SetOnReady(std::function<void()> ready) {
    std::lock_guard lock(readyMutex_);
    onReady_ = std::move(ready);
}

void TCompletion::Notify() {
    std::lock_guard lock(readyMutex_);
    if (onReady_) onReady_();
}

size_t TCompletion::PlaceCount() const {
    std::lock_guard lock(mutex_);
    return places_.size() - deadCount_;
}

int TCompletion::Forget(const std::string& address) { return history_ ? history_->RemoveAddress(address) : 0; }

std::vector<TCompletionItem> TCompletion::Complete(const std::string& typed, size_t limit, int64_t now) {
    std::vector<TCompletionItem> out;
    const std::vector<std::string> words = FoldedWords(typed);
    if (words.empty() || limit == 0) return out;
    std::lock_guard lock(mutex_);
    TFilter want{};
    for (const auto& w : words) {
        TFilter f = FilterOf(w);
        for (size_t k = 0; k < 4; ++k) want[k] |= f[k];
    }
    auto passes = [&](uint32_t id) {
        const TFilter& f = filters_[id];
        return (f[0] & want[0]) == want[0] && (f[1] & want[1]) == want[1] && (f[2] & want[2]) == want[2] &&
               (f[3] & want[3]) == want[3];
    };
    auto score = [&](uint32_t id) { return Frecency(places_[id].Visits, places_[id].LastVisit, now); };

    // Bookmarks that match, with their history's frecency added.
    struct TBookmarkHit {
        const TBookmark* Bookmark;
        uint32_t Place;
        double Score;
    };
    std::vector<TBookmarkHit> marks;
    if (bookmarks_) {
        for (const TBookmark& b : bookmarks_->Items()) {
            std::string text = FoldedPlace(b.Address, b.Title);
            text += '\t';
            AppendFolded(b.Folder, text);
            uint32_t id = FindPlace(HashOf(b.Address));
            if (id != None && places_[id].Visits == 0) id = None;
            // The page's title as visited counts as well as the bookmark's.
            if (!MatchesAllWords(text, words) && (id == None || !MatchesAllWords(Text(id), words))) continue;
            double s = Frecency(1, now, now) * BookmarkVisits + (id != None ? score(id) : 0);
            marks.push_back({&b, id, s});
        }
    }

    // The places of the typed host: the best of them goes first.
    uint32_t hostBest = None;
    double hostScore = -1;
    if (words.size() == 1) {
        std::string_view prefix = words[0];
        for (const char* strip : {"https://", "http://"})
            if (prefix.substr(0, std::char_traits<char>::length(strip)) == strip)
                prefix.remove_prefix(std::char_traits<char>::length(strip));
        if (prefix.substr(0, 4) == "www.") prefix.remove_prefix(4);
        if (!prefix.empty()) {
            auto consider = [&](uint32_t id) {
                if (places_[id].Visits == 0 || Host(id).substr(0, prefix.size()) != prefix) return;
                double s = score(id);
                if (s > hostScore) {
                    hostScore = s;
                    hostBest = id;
                }
            };
            auto first = std::lower_bound(hosts_.begin(), hosts_.end(), prefix,
                                          [&](uint32_t id, std::string_view p) { return Host(id) < p; });
            // Each host by its best place when sorted (its other pages
            // rank below it, unless visited since: those are recent).
            for (auto it = first; it != hosts_.end() && Host(*it).substr(0, prefix.size()) == prefix; ++it)
                consider(*it);
            for (uint32_t id : recent_) consider(id);
        }
    }

    // The best places by frecency: a walk in the sorted order that stops
    // once the next place's bound cannot beat the weakest one kept.
    const size_t keep = limit + marks.size() + 1;
    using TScored = std::pair<double, uint32_t>;
    std::priority_queue<TScored, std::vector<TScored>, std::greater<TScored>> best;
    auto offer = [&](uint32_t id) {
        if (places_[id].Visits == 0 || !passes(id) || !MatchesAllWords(Text(id), words)) return;
        double s = score(id);
        if (best.size() < keep) {
            best.push({s, id});
        } else if (s > best.top().first) {
            best.pop();
            best.push({s, id});
        }
    };
    for (uint32_t id : recent_) offer(id);
    for (uint32_t id = 0; id < sortedCount_; ++id) {
        if (best.size() >= keep && places_[id].Bound <= best.top().first) break;
        if (!isRecent_[id]) offer(id);
    }

    std::vector<TScored> ranked;
    while (!best.empty()) {
        ranked.push_back(best.top());
        best.pop();
    }
    std::reverse(ranked.begin(), ranked.end());

    auto itemOf = [&](uint32_t id, double s) {
        TCompletionItem item;
        TVisit v = history_ ? history_->Visit(places_[id].Entry) : TVisit{};
        item.Address = v.Address;
        item.Title = v.Title;
        item.Visits = int(places_[id].Visits);
        item.LastVisit = places_[id].LastVisit;
        item.Score = s;
        return item;
    };
    std::vector<TCompletionItem> merged;
    for (const auto& m : marks) {
        TCompletionItem item;
        if (m.Place != None) item = itemOf(m.Place, 0);
        item.Address = m.Bookmark->Address;
        if (!m.Bookmark->Title.empty()) item.Title = m.Bookmark->Title;
        item.Bookmarked = true;
        item.Score = m.Score;
        merged.push_back(std::move(item));
    }
    for (const auto& [s, id] : ranked) {
        TCompletionItem item = itemOf(id, s);
        bool marked = false;
        for (auto& m : merged)
            if (m.Bookmarked && m.Address == item.Address) marked = true;
        if (!marked) merged.push_back(std::move(item));
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [](const TCompletionItem& a, const TCompletionItem& b) { return a.Score > b.Score; });
    if (hostBest != None) {
        TCompletionItem host = itemOf(hostBest, hostScore);
        auto same = std::find_if(merged.begin(), merged.end(),
                                 [&](const TCompletionItem& i) { return i.Address == host.Address; });
        if (same != merged.end()) {
            host = *same;
            merged.erase(same);
        }
        host.TypedHost = true;
        merged.insert(merged.begin(), std::move(host));
    }
    if (merged.size() > limit) merged.resize(limit);
    return merged;
}

size_t TCompletion::MemoryBytes() const {
    std::lock_guard lock(mutex_);
    return blob_.capacity() + places_.capacity() * sizeof(TPlace) + filters_.capacity() * sizeof(TFilter) +
           table_.capacity() * 4 + hosts_.capacity() * 4 + recent_.capacity() * 4 + isRecent_.capacity();
}

} // namespace places

#include "places/History.h"

#include "places/PlaceFolders.h"
#include "settings/SettingsText.h"

#include "platform/Variant.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace places {

namespace {

// How far back SetTitle looks for the visit a title belongs to: a few tabs
// may record visits between a page's start and its title.
constexpr int TitleLookBack = 64;

} // namespace

std::string EscapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        // A zero byte would end the entry's text early when read back.
        case '\0': out += "\\0"; break;
        default: out += c;
        }
    }
    return out;
}

std::string UnescapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        char n = text[++i];
        switch (n) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        // Not one of ours (a line edited by hand): kept as it stands.
        default: out += '\\'; out += n;
        }
    }
    return out;
}

std::string FormatVisit(const TVisit& visit) {
    return std::to_string(visit.Time) + '\t' + EscapeField(visit.Address) + '\t' + EscapeField(visit.Title);
}

TVisit ParseVisit(std::string_view line) {
    TVisit v;
    size_t tab = line.find('\t');
    int64_t time = 0;
    auto [end, ec] = std::from_chars(line.data(), line.data() + (tab == std::string_view::npos ? line.size() : tab), time);
    if (tab == std::string_view::npos || ec != std::errc() || end != line.data() + tab || tab == 0) {
        v.Address = UnescapeField(line);
        return v;
    }
    v.Time = time;
    std::string_view rest = line.substr(tab + 1);
    size_t tab2 = rest.find('\t');
    v.Address = UnescapeField(rest.substr(0, tab2));
    if (tab2 != std::string_view::npos) v.Title = UnescapeField(rest.substr(tab2 + 1));
    return v;
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

int AgeLimitDays(platform::TStrings* settings) {
    if (!settings) return DefaultAgeLimitDays;
    try {
        int days = settings::ReadValue(settings, HistorySection, AgeLimitKey, platform::TVariant(DefaultAgeLimitDays))
                       .AsInteger();
        return days >= 0 ? days : DefaultAgeLimitDays;
    } catch (const std::exception&) {
        return DefaultAgeLimitDays;
    }
}

THistory::THistory(std::string fileName) : fileName_(std::move(fileName)) {}

THistory::~THistory() {
    if (open_) list_->SaveIndex(false);
}

bool THistory::Fail(const std::string& what) {
    lastError_ = what;
    return false;
}

bool THistory::Open() {
    open_ = false;
    size_t slash = fileName_.rfind('/');
    if (slash != std::string::npos && slash > 0 && !EnsureFolder(fileName_.substr(0, slash + 1)))
        return Fail("Cannot make the folder of the history file \"" + fileName_ + "\"");
    list_ = std::make_unique<xoStr31::THdStrings>();
    list_->SetParam(xoStr31::TParam::StorageMode, xoStr31::TStorageMode::File);
    // A new history file is an ordinary Linux text file.
    list_->SetLineEnd(xoStr31::TLineEnd::Lf);
    if (!list_->Open(fileName_, false)) return Fail(list_->LastError());
    if (list_->ReadOnly()) return Fail("The history file \"" + fileName_ + "\" cannot be written");
    open_ = true;
    lastError_.clear();
    return true;
}

int THistory::Count() { return open_ ? list_->GetCount() : 0; }

TVisit THistory::Visit(int index) {
    if (!open_ || index < 0 || index >= list_->GetCount()) return {};
    return ParseVisit(list_->Get(index));
}

int64_t THistory::TimeAt(int index) {
    // Only the first field is needed; the rest of the line is not unescaped.
    std::string line = list_->Get(index);
    int64_t time = 0;
    size_t tab = line.find('\t');
    if (tab == std::string::npos) return 0;
    auto [end, ec] = std::from_chars(line.data(), line.data() + tab, time);
    return ec == std::errc() && end == line.data() + tab ? time : 0;
}

int THistory::LowerBound(int64_t t) {
    int lo = 0, hi = list_->GetCount();
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (TimeAt(mid) < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

bool THistory::AddVisit(const std::string& address, const std::string& title, int64_t time) {
    if (private_ || !open_ || address.empty()) return false;
    TVisit v{time, address, title};
    int count = list_->GetCount();
    // Normally the newest: appended. A clock set back puts it in its place.
    int at = count == 0 || TimeAt(count - 1) <= time ? count : LowerBound(time + 1);
    int index = list_->InsertItem(at, FormatVisit(v), 0);
    if (index < 0) return Fail(list_->LastError());
    if (OnAdded) OnAdded(index, v);
    return true;
}

bool THistory::SetTitle(const std::string& address, const std::string& title) {
    if (private_ || !open_) return false;
    int count = list_->GetCount();
    for (int i = count - 1; i >= 0 && i >= count - TitleLookBack; --i) {
        TVisit v = ParseVisit(list_->Get(i));
        if (v.Address != address) continue;
        if (v.Title == title) return false;
        v.Title = title;
        list_->Put(i, FormatVisit(v));
        // IoError may still be set by a read before: the put answers here.
        if (!list_->LastChangeMade()) return Fail(list_->LastError());
        if (OnRetitled) OnRetitled(i, v);
        return true;
    }
    return false;
}

bool THistory::RemoveRun(int first, int count) {
    if (count <= 0) return true;
    if (!list_->DeleteRange(first, count)) return Fail(list_->LastError());
    return true;
}

bool THistory::Remove(int index) {
    if (!open_ || index < 0 || index >= list_->GetCount()) return false;
    TVisit visit = OnVisitRemoved ? Visit(index) : TVisit{};
    if (!RemoveRun(index, 1)) return false;
    if (OnVisitRemoved)
        OnVisitRemoved(index, visit);
    else if (OnRemoved)
        OnRemoved({index}, {});
    return true;
}

int THistory::RemoveAddress(const std::string& address) {
    if (!open_) return 0;
    std::vector<int> hits;
    std::vector<std::string> kept;  // the lines between the first and the last hit that stay
    int count = list_->GetCount();
    for (int i = 0; i < count; ++i) {
        std::string line = list_->Get(i);
        if (ParseVisit(line).Address == address) {
            hits.push_back(i);
        } else if (!hits.empty()) {
            kept.push_back(std::move(line));
        }
    }
    if (hits.empty()) return 0;
    // The kept lines after the last hit are not part of the edit.
    kept.resize(kept.size() - size_t(count - 1 - hits.back()));
    // One edit from the first visit to the last: a stop leaves every visit
    // of the address or none of them.
    if (!list_->ReplaceRange(hits.front(), hits.back() - hits.front() + 1, kept)) {
        Fail(list_->LastError());
        return 0;
    }
    if (OnRemoved) OnRemoved(hits, address);
    return int(hits.size());
}

int THistory::Clear(TClearSpan span, int64_t now) {
    if (!open_) return 0;
    int count = list_->GetCount();
    int first = span == TClearSpan::All ? 0 : LowerBound(now - (span == TClearSpan::LastHour ? 3600 : 86400));
    if (!RemoveRun(first, count - first)) return 0;
    if (count > first && OnRemoved) {
        std::vector<int> removed(size_t(count - first));
        for (int i = first; i < count; ++i) removed[size_t(i - first)] = i;
        OnRemoved(removed, {});
    }
    return count - first;
}

int THistory::RemoveBefore(int64_t cutoff) {
    if (!open_) return 0;
    int last = LowerBound(cutoff);
    if (!RemoveRun(0, last)) return 0;
    if (last > 0 && OnRemoved) {
        std::vector<int> removed(static_cast<size_t>(last));
        for (int i = 0; i < last; ++i) removed[size_t(i)] = i;
        OnRemoved(removed, {});
    }
    return last;
}

int THistory::ApplyAgeLimit(int days, int64_t now) {
    if (days <= 0) return 0;
    return RemoveBefore(now - int64_t(days) * 86400);
}

} // namespace places

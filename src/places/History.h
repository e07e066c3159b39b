#pragma once
// THistory: every page visit, one line of the history file each:
//   time <TAB> address <TAB> title <LF>
// The time is in seconds since 1970 (UTC); a backslash, tab, CR or LF in a
// field is written as \\, \t, \r or \n, so that a line is always one visit
// and the file reads well with grep. The file is kept by a large string
// list working on it in place (each change one journaled edit: a crash
// leaves the old file or the new one), with its entry table beside it.
// Lines stay in time order: new visits are appended, and a visit dated
// before the last one goes where its time belongs, so that clearing by time
// removes one run of lines.
#include "xoStr31/HdStrings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class TStrings;
}

namespace places {

struct TVisit {
    int64_t Time = 0;
    std::string Address;
    std::string Title;
};

std::string EscapeField(std::string_view text);
std::string UnescapeField(std::string_view text);
std::string FormatVisit(const TVisit& visit);
// A line that does not start with a time reads as a visit at time 0 with
// the whole line as its address: it is kept, and the age limit takes it.
TVisit ParseVisit(std::string_view line);

int64_t NowSeconds();

enum class TClearSpan { LastHour, LastDay, All };

// The settings section and key of the age limit in days (0: no limit).
inline constexpr const char* HistorySection = "History";
inline constexpr const char* AgeLimitKey = "AgeLimitDays";
inline constexpr int DefaultAgeLimitDays = 90;
// The age limit the settings list holds (the default when missing or not
// a number of zero or more).
int AgeLimitDays(platform::TStrings* settings);

class THistory {
public:
    explicit THistory(std::string fileName);
    ~THistory();  // writes the entry table
    THistory(const THistory&) = delete;
    THistory& operator=(const THistory&) = delete;

    // Opens the file, making it (and its folder) when missing. False, with
    // LastError telling why, when it cannot be opened for writing; the
    // history then records nothing.
    bool Open();
    bool IsOpen() const { return open_; }
    const std::string& FileName() const { return fileName_; }
    const std::string& LastError() const { return lastError_; }

    // A private window records nothing.
    void SetPrivate(bool privateMode) { private_ = privateMode; }
    bool Private() const { return private_; }

    // Records a visit; false when nothing was recorded (private mode, no
    // file, an address that is empty, a failed write).
    bool AddVisit(const std::string& address, const std::string& title = {}, int64_t time = NowSeconds());
    // Gives the latest visit of the address among the last few its title
    // (titles arrive after the visit starts). False when none was found
    // or the title was already that.
    bool SetTitle(const std::string& address, const std::string& title);

    int Count();
    TVisit Visit(int index);
    bool Remove(int index);
    // Removes every visit of the address; answers how many went.
    int RemoveAddress(const std::string& address);
    // Removes the visits of the last hour or day before now, or all.
    int Clear(TClearSpan span, int64_t now = NowSeconds());
    // Removes the visits older than the cutoff time.
    int RemoveBefore(int64_t cutoff);
    // Applies an age limit in days (0: none).
    int ApplyAgeLimit(int days, int64_t now = NowSeconds());

    // Told after a visit is added (its index) and after visits are removed
    // (their indexes before the removal, ascending; address is set when
    // they were all the visits of that address), so that an index over the
    // history can follow.
    std::function<void(int index, const TVisit& visit)> OnAdded;
    std::function<void(int index, const TVisit& visit)> OnRetitled;
    std::function<void(const std::vector<int>& removed, const std::string& address)> OnRemoved;
    // Told instead of OnRemoved when one visit was removed by Remove.
    std::function<void(int index, const TVisit& visit)> OnVisitRemoved;

    xoStr31::THdStrings& List() { return *list_; }

private:
    int64_t TimeAt(int index);
    // The first index whose time is at least t (Count() when none).
    int LowerBound(int64_t t);
    bool RemoveRun(int first, int count);
    bool Fail(const std::string& what);

    std::string fileName_;
    std::unique_ptr<xoStr31::THdStrings> list_;
    std::string lastError_;
    bool open_ = false;
    bool private_ = false;
};

} // namespace places

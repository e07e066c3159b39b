#include "browser/QelPages.h"

#include "browser/StartPage.h"
#include "places/NetscapeBookmarks.h"
#include "places/TextFold.h"

#include <webkit2/webkit2.h>

#include <cctype>
#include <charconv>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace browser {

namespace {

// The most visits one history page lists.
constexpr int PageVisits = 500;

std::string Esc(const std::string& s) { return places::HtmlEscape(s); }

std::string NewToken() {
    unsigned char bytes[16] = {};
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (::read(fd, bytes, sizeof bytes) != ssize_t(sizeof bytes)) bytes[0] ^= 1;
        ::close(fd);
    }
    static const char* hex = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token += hex[b >> 4];
        token += hex[b & 15];
    }
    return token;
}

int64_t ToInt(const std::string& s, int64_t fallback) {
    int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size() ? v : fallback;
}

std::string Day(int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%A %Y-%m-%d", &tm);
    return buf;
}

std::string Clock(int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M", &tm);
    return buf;
}

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + Esc(title) +
           "</title><style>body{font-family:sans-serif;margin:1.5em 2em;color:#222}"
           "h2{font-size:1em;margin-top:1.5em;border-bottom:1px solid #ccc}"
           "td{padding:.15em .6em .15em 0;vertical-align:top}.t{color:#666;font-family:monospace}"
           ".a{color:#666;font-size:.9em}form{display:inline}</style></head><body><h1>" +
           Esc(title) + "</h1>" + body + "</body></html>";
}

std::string SearchForm(const std::string& action, const std::string& q) {
    return "<form action=\"" + action + "\" method=\"get\"><input type=\"search\" name=\"q\" value=\"" + Esc(q) +
           "\" placeholder=\"Search\" autofocus> <input type=\"submit\" value=\"Search\"></form>";
}

} // namespace

std::string QueryValue(const std::string& query, const std::string& name) {
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        std::string pair = query.substr(start, end - start);
        size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name) {
            std::string raw = eq == std::string::npos ? std::string() : pair.substr(eq + 1), out;
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == '+') {
                    out += ' ';
                } else if (raw[i] == '%' && i + 2 < raw.size() + 0 && std::isxdigit(static_cast<unsigned char>(raw[i + 1])) &&
                           std::isxdigit(static_cast<unsigned char>(raw[i + 2]))) {
                    out += char(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                } else {
                    out += raw[i];
                }
            }
            return out;
        }
        start = end + 1;
    }
    return {};
}

QelPages::QelPages(places::THistory* history, places::TBookmarks* bookmarks)
    : history_(history), bookmarks_(bookmarks), token_(NewToken()) {}

QelPages::~QelPages() { SetMorePages(nullptr); }

void QelPages::Register(WebKitWebContext* context) {
    RegisterStartPage(context);
    SetMorePages([this](const std::string& uri) { return Serve(uri); });
}

std::string QelPages::Serve(const std::string& uri) {
    if (uri.rfind("qel:", 0) != 0) return {};
    std::string rest = uri.substr(4);
    if (rest.rfind("//", 0) == 0) rest = rest.substr(2);
    size_t q = rest.find('?');
    std::string path = rest.substr(0, q), query = q == std::string::npos ? "" : rest.substr(q + 1);
    if (!path.empty() && path.back() == '/') path.pop_back();
    if (path == "history") return HistoryPage(query);
    if (path == "bookmarks") return BookmarksPage(query);
    return {};
}

std::string QelPages::HistoryPage(const std::string& query) {
    if (!history_ || !history_->IsOpen())
        return Page("History", "<p>No history is kept" + std::string(history_ && history_->Private() ? " in a private window" : "") + ".</p>");
    const std::string q = QueryValue(query, "q");
    std::string note;
    if (QueryValue(query, "token") == token_ && !QueryValue(query, "delete").empty()) {
        int index = int(ToInt(QueryValue(query, "delete"), -1));
        places::TVisit v = history_->Visit(index);
        if (index >= 0 && v.Time == ToInt(QueryValue(query, "time"), -1) && history_->Remove(index))
            note = "<p>Deleted the visit of " + Esc(v.Address) + ".</p>";
    }
    const std::vector<std::string> words = places::FoldedWords(q);
    std::string body = SearchForm("qel:history", q) + note;
    std::string day;
    int shown = 0;
    for (int i = history_->Count() - 1; i >= 0 && shown < PageVisits; --i) {
        places::TVisit v = history_->Visit(i);
        if (!words.empty() && !places::MatchesAllWords(places::FoldText(v.Address + "\t" + v.Title), words)) continue;
        std::string d = Day(v.Time);
        if (d != day) {
            body += (day.empty() ? "" : "</table>") + std::string("<h2>") + Esc(d) + "</h2><table>";
            day = d;
        }
        body += "<tr><td class=\"t\">" + Clock(v.Time) + "</td><td><a href=\"" + Esc(v.Address) + "\">" +
                Esc(v.Title.empty() ? v.Address : v.Title) + "</a><br><span class=\"a\">" + Esc(v.Address) +
                "</span></td><td><form action=\"qel:history\"><input type=\"hidden\" name=\"q\" value=\"" + Esc(q) +
                "\"><input type=\"hidden\" name=\"delete\" value=\"" + std::to_string(i) +
                "\"><input type=\"hidden\" name=\"time\" value=\"" + std::to_string(v.Time) +
                "\"><input type=\"hidden\" name=\"token\" value=\"" + token_ +
                "\"><input type=\"submit\" value=\"Delete\"></form></td></tr>";
        ++shown;
    }
    if (!day.empty()) body += "</table>";
    if (shown == 0) body += words.empty() ? "<p>No visits yet.</p>" : "<p>No visit matches.</p>";
    return Page("History", body);
}

std::string QelPages::BookmarksPage(const std::string& query) {
    if (!bookmarks_) return Page("Bookmarks", "<p>No bookmarks are kept.</p>");
    const std::string q = QueryValue(query, "q");
    std::string note;
    if (QueryValue(query, "token") == token_) {
        auto matches = [&](int index) {
            return index >= 0 && index < bookmarks_->Count() &&
                   bookmarks_->Items()[size_t(index)].Address == QueryValue(query, "was");
        };
        bool changed = false;
        if (!QueryValue(query, "delete").empty()) {
            int index = int(ToInt(QueryValue(query, "delete"), -1));
            changed = matches(index) && bookmarks_->Delete(index);
        } else if (!QueryValue(query, "edit").empty()) {
            int index = int(ToInt(QueryValue(query, "edit"), -1));
            if (matches(index) && !QueryValue(query, "address").empty()) {
                places::TBookmark b = bookmarks_->Items()[size_t(index)];
                b.Title = QueryValue(query, "title");
                b.Address = QueryValue(query, "address");
                b.Folder = QueryValue(query, "folder");
                changed = bookmarks_->Edit(index, b);
            }
        }
        if (changed) {
            try {
                bookmarks_->Save();
                note = "<p>Saved.</p>";
            } catch (const std::exception& e) {
                note = "<p>The bookmarks could not be saved: " + Esc(e.what()) + "</p>";
            }
        }
    }
    std::string body = SearchForm("qel:bookmarks", q) + note;
    std::map<std::string, std::string> byFolder;
    for (int i : bookmarks_->Search(q)) {
        const places::TBookmark& b = bookmarks_->Items()[size_t(i)];
        auto hidden = [&](const char* name, const std::string& value) {
            return "<input type=\"hidden\" name=\"" + std::string(name) + "\" value=\"" + Esc(value) + "\">";
        };
        byFolder[b.Folder] +=
            "<tr><td><a href=\"" + Esc(b.Address) + "\">" + Esc(b.Title.empty() ? b.Address : b.Title) +
            "</a><br><span class=\"a\">" + Esc(b.Address) + "</span></td><td><form action=\"qel:bookmarks\">" +
            hidden("edit", std::to_string(i)) + hidden("was", b.Address) + hidden("token", token_) + hidden("q", q) +
            "<input name=\"title\" value=\"" + Esc(b.Title) + "\" placeholder=\"Title\"> <input name=\"address\" value=\"" +
            Esc(b.Address) + "\" placeholder=\"Address\"> <input name=\"folder\" value=\"" + Esc(b.Folder) +
            "\" placeholder=\"Folder\"> <input type=\"submit\" value=\"Save\"></form> <form action=\"qel:bookmarks\">" +
            hidden("delete", std::to_string(i)) + hidden("was", b.Address) + hidden("token", token_) + hidden("q", q) +
            "<input type=\"submit\" value=\"Delete\"></form></td></tr>";
    }
    for (const auto& [folder, rows] : byFolder)
        body += "<h2>" + (folder.empty() ? std::string("Bookmarks") : Esc(folder)) + "</h2><table>" + rows + "</table>";
    if (byFolder.empty()) body += q.empty() ? "<p>No bookmarks yet.</p>" : "<p>No bookmark matches.</p>";
    return Page("Bookmarks", body);
}

} // namespace browser

#pragma once
// The program's own pages of what it remembers, under its "qel:" scheme:
//   qel:history    the visits by day, newest first, with a search field;
//                  each opens with its link and has a Delete button
//   qel:bookmarks  the bookmarks by folder with a search field, each with
//                  Edit (title, address, folder) and Delete
// A change (delete, edit) carries this run's token, which only these pages
// know, so that no other page can make it by linking here; a delete also
// names the visit's time or the bookmark's address, so that a reload after
// the list moved on never takes another entry.
#include "places/Bookmarks.h"
#include "places/History.h"

#include <string>

typedef struct _WebKitWebContext WebKitWebContext;

namespace browser {

class QelPages {
public:
    // Either may be null: its page then says it is not kept.
    QelPages(places::THistory* history, places::TBookmarks* bookmarks);
    ~QelPages();
    QelPages(const QelPages&) = delete;
    QelPages& operator=(const QelPages&) = delete;

    // The page of a "qel:" address, or empty text when it is none of these.
    std::string Serve(const std::string& uri);
    const std::string& Token() const { return token_; }

    // Serves these pages on the context's "qel:" scheme beside the start
    // page (the engine set-up calls it once per context).
    void Register(WebKitWebContext* context);

private:
    std::string HistoryPage(const std::string& query);
    std::string BookmarksPage(const std::string& query);

    places::THistory* history_;
    places::TBookmarks* bookmarks_;
    std::string token_;
};

// The query of an address as names and decoded values ("+" a blank).
std::string QueryValue(const std::string& query, const std::string& name);

} // namespace browser

// TWeb010's memory of the user's browsing: visits go into the history as
// pages commit and take their titles as they come; the address box offers
// the best matches of history and bookmarks while the user types, and
// typed words that are no address go to the search engine; Ctrl+D, the
// Bookmarks menu and its import and export; clearing the history; and the
// content filter turned off and on per site.
#include "browser/Web010.h"

#include "browser/AppErrors.h"
#include "browser/ContentBlocker.h"
#include "places/TypedText.h"
#include "platform/SysUtils.h"

#include <gdk/gdkkeysyms.h>
#include <gio/gio.h>
#include <glibmm/main.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/radiobutton.h>
#include <gtkmm/separatormenuitem.h>
#include <sigc++/adaptors/track_obj.h>

#include <map>

namespace browser {

namespace {

// Addresses worth remembering: not the program's own pages, not blank
// ones, nothing a script or a picture in the address box made.
bool Remembered(const std::string& url) {
    for (const char* skip : {"about:", "qel:", "data:", "blob:", "javascript:", "view-source:"})
        if (url.rfind(skip, 0) == 0) return false;
    return !url.empty();
}

// How long a typed word's host lookup may take before it counts as no host.
const unsigned kResolveMilliseconds = 1500;

// A typed word whose host is being looked up: the answer, or the timer,
// decides once, and only while the window still waits for that word.
struct TypedLookup {
    std::weak_ptr<int> token;
    std::string text, searchTemplate;
    std::function<void(const places::TTypedText&)> go;

    void Decide(bool resolves) {
        auto waiting = token.lock();
        if (!waiting || *waiting != 0) return;
        *waiting = 1;
        places::TTypedText r =
            places::ReadTypedText(text, searchTemplate, [resolves](const std::string&) { return resolves; });
        RunGuarded([&] { go(r); });
    }
};

std::string MenuTitle(const places::TBookmark& b) {
    std::string t = b.Title.empty() ? b.Address : b.Title;
    // Menu labels read "_" as a mnemonic.
    std::string out;
    for (char c : t) {
        if (c == '_') out += '_';
        out += c;
    }
    return out;
}

} // namespace

// ---- the bookmarks menu ----------------------------------------------------

void TWeb010::ClearBookmarksMenu() {
    // A menu item destroys its submenu with it: the folders' menus are
    // taken off first, and the items go before the menus that hold them.
    for (auto& w : bookmarkItems_)
        if (auto* item = dynamic_cast<Gtk::MenuItem*>(w.get()); item && item->get_submenu()) item->unset_submenu();
    while (!bookmarkItems_.empty()) bookmarkItems_.pop_back();
}

void TWeb010::FillBookmarksMenu() {
    ClearBookmarksMenu();
    if (!memory_.bookmarks || (memory_.bookmarks->Count() == 0 && memory_.bookmarks->Folders().empty())) return;
    auto sep = std::make_unique<Gtk::SeparatorMenuItem>();
    mB_.append(*sep);
    bookmarkItems_.push_back(std::move(sep));
    // Folders as submenus, in the order their first bookmark came.
    std::map<std::string, Gtk::Menu*> menus{{"", &mB_}};
    std::function<Gtk::Menu*(const std::string&)> menuOf = [&](const std::string& folder) -> Gtk::Menu* {
        auto it = menus.find(folder);
        if (it != menus.end()) return it->second;
        std::vector<std::string> names = places::SplitFolder(folder);
        std::string parent = names.size() > 1 ? places::JoinFolder({names.begin(), names.end() - 1}) : "";
        Gtk::Menu* up = menuOf(parent);
        auto sub = std::make_unique<Gtk::Menu>();
        auto entry = std::make_unique<Gtk::MenuItem>(names.empty() ? folder : names.back());
        entry->set_submenu(*sub);
        up->append(*entry);
        Gtk::Menu* made = sub.get();
        bookmarkItems_.push_back(std::move(sub));
        bookmarkItems_.push_back(std::move(entry));
        return menus[folder] = made;
    };
    for (const places::TBookmark& b : memory_.bookmarks->Items()) {
        auto entry = std::make_unique<Gtk::MenuItem>(MenuTitle(b), false);
        entry->set_tooltip_text(b.Address);
        const std::string address = b.Address;
        entry->signal_activate().connect([this, address] {
            RunGuarded([&] {
                current_->userNavigate = true;
                NavigateTo(address);
            });
        });
        menuOf(b.Folder)->append(*entry);
        bookmarkItems_.push_back(std::move(entry));
    }
    // Folders without bookmarks are there too, after the others.
    for (const std::string& folder : memory_.bookmarks->Folders()) menuOf(folder);
    mB_.show_all();
}

// ---- history -----------------------------------------------------------------

void TWeb010::RecordVisit(TWebTab& tab, const std::string& url) {
    tab.visited.clear();
    if (keepNothing_ || !memory_.history || !Remembered(url)) return;
    if (memory_.history->AddVisit(url)) tab.visited = url;
}

void TWeb010::RecordTitle(TWebTab& tab, const std::string& title) {
    // The control names the address while a page has no title of its own.
    if (tab.visited.empty() || title.empty() || title == tab.visited || !memory_.history || !tab.control) return;
    // The engine clears the title as the next page commits, before that
    // page's visit is recorded: the address standing in is no title.
    if (title == tab.control->LocationURL()) return;
    memory_.history->SetTitle(tab.visited, title);
}

void TWeb010::ClearHistory(places::TClearSpan span) {
    if (!memory_.history) return;
    const int removed = memory_.history->Clear(span);
    if (!memory_.history->LastError().empty() && removed <= 0)
        throw platform::Exception("The history could not be cleared: " + memory_.history->LastError());
    wb01StatusTextChange(*current_, removed == 1 ? "1 visit removed from the history"
                                                 : std::to_string(removed) + " visits removed from the history");
}

void TWeb010::AskClearHistory() {
    if (!memory_.history) return;
    clearBox_ = std::make_unique<Gtk::Dialog>("Clear History", *this, true);
    clearBox_->set_name("ClearHistoryDialog");
    auto* box = clearBox_->get_content_area();
    auto* text = Gtk::make_managed<Gtk::Label>("Remove the visits of:");
    text->set_halign(Gtk::ALIGN_START);
    box->set_spacing(6);
    box->set_border_width(10);
    box->pack_start(*text, Gtk::PACK_SHRINK);
    Gtk::RadioButton::Group group;
    const std::pair<const char*, places::TClearSpan> spans[] = {
        {"The last hour", places::TClearSpan::LastHour},
        {"The last day", places::TClearSpan::LastDay},
        {"Everything", places::TClearSpan::All},
    };
    auto chosen = std::make_shared<places::TClearSpan>(places::TClearSpan::LastHour);
    for (const auto& [label, span] : spans) {
        auto* radio = Gtk::make_managed<Gtk::RadioButton>(group, label);
        radio->set_name(label);
        const places::TClearSpan s = span;
        radio->signal_toggled().connect([radio, chosen, s] {
            if (radio->get_active()) *chosen = s;
        });
        box->pack_start(*radio, Gtk::PACK_SHRINK);
    }
    clearBox_->add_button("Cancel", Gtk::RESPONSE_CANCEL);
    clearBox_->add_button("Clear", Gtk::RESPONSE_OK);
    clearBox_->set_default_response(Gtk::RESPONSE_OK);
    clearBox_->signal_response().connect([this, chosen](int response) {
        // The box goes after its own signal (tracked: a window destroyed
        // first takes the pending call with it, as below).
        Glib::signal_idle().connect_once(sigc::track_obj([this] { clearBox_.reset(); }, *this));
        clearBox_->hide();
        if (response == Gtk::RESPONSE_OK) RunGuarded([&] { ClearHistory(*chosen); });
    });
    clearBox_->show_all();
}

void TWeb010::ShowPlacesPage(const std::string& url) {
    if (factory_) {
        NewTab(url, true);
        return;
    }
    current_->userNavigate = true;
    NavigateTo(url);
}

// ---- the address box ---------------------------------------------------------

void TWeb010::SetMemory(const TBrowsingMemory& memory) {
    if (memory_.completion) memory_.completion->SetOnReady(nullptr);
    memory_ = memory;
    if (!completionShown_.connected())
        completionShown_ = completionReady_.connect([this] {
            // Rows the user is moving through stay as they are.
            if (memory_.completion && typed_.empty() && suggestions_.Selected() < 0)
                RunGuarded([this] { AddressEdited(); });
        });
    if (memory_.completion) memory_.completion->SetOnReady([this] { completionReady_.emit(); });
}

void TWeb010::AddressEdited() {
    typed_.clear();
    if (!memory_.completion) return;
    const std::string text = platform::Trim(cbURL_.Text());
    if (text.empty() || !cbURL_.get_entry()->is_focus()) {
        suggestions_.Close();
        return;
    }
    suggestions_.ShowUnder(cbURL_, memory_.completion->Complete(text, 10));
}

// Up and Down pick a row, which goes into the box; Esc goes back to the
// typed text; Delete takes the picked row out of the history.
bool TWeb010::SuggestionKey(guint key) {
    if (!suggestions_.Showing()) return false;
    switch (key) {
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up: {
        if (suggestions_.Selected() < 0) typed_ = cbURL_.Text();
        suggestions_.MoveSelection(key == GDK_KEY_Up || key == GDK_KEY_KP_Up ? -1 : +1);
        const int picked = suggestions_.Selected();
        cbURL_.SetText(picked < 0 ? typed_ : suggestions_.Items()[picked].Address);
        cbURL_.get_entry()->set_position(-1);
        return true;
    }
    case GDK_KEY_Escape:
        if (suggestions_.Selected() >= 0) cbURL_.SetText(typed_);
        suggestions_.Close();
        return true;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete: {
        const int picked = suggestions_.Selected();
        if (picked < 0 || !memory_.completion) return false;
        const places::TCompletionItem item = suggestions_.Items()[picked];
        if (memory_.completion->Forget(item.Address) <= 0 && !item.Bookmarked) return true;
        const std::string typed = typed_;
        cbURL_.SetText(typed);
        suggestions_.ShowUnder(cbURL_, memory_.completion->Complete(platform::Trim(typed), 10));
        typed_ = typed;
        return true;
    }
    default: return false;
    }
}

void TWeb010::GoTyped(const std::string& typedText) {
    suggestions_.Close();
    typed_.clear();
    resolving_.reset();
    const std::string text = platform::Trim(typedText);
    if (memory_.searchTemplate.empty() || text.empty()) {
        current_->userNavigate = true;
        NavigateTo(typedText);
        return;
    }
    // A single word may be a host of the local network: the system is
    // asked, without waiting on the display thread.
    std::string asked;
    places::TTypedText read = places::ReadTypedText(text, memory_.searchTemplate, [&](const std::string& host) {
        asked = host;
        return false;
    });
    TWebTab* tab = current_;
    auto go = [this, tab](const places::TTypedText& r) {
        bool open = false;
        for (auto& t : tabs_) open = open || t.get() == tab;
        if (!open || !tab->control || r.Kind == places::TTypedKind::Nothing) return;
        tab->userNavigate = true;
        if (tab == current_) cbURL_.SetText(r.Text);
        NavigateTab(*tab, r.Text);
    };
    if (asked.empty()) {
        go(read);
        return;
    }
    auto token = std::make_shared<int>(0);
    resolving_ = token;
    auto lookup = std::make_shared<TypedLookup>(TypedLookup{token, text, memory_.searchTemplate, go});
    g_resolver_lookup_by_name_async(
        g_resolver_get_default(), asked.c_str(), nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* held = static_cast<std::shared_ptr<TypedLookup>*>(data);
            GList* found = g_resolver_lookup_by_name_finish(G_RESOLVER(source), result, nullptr);
            (*held)->Decide(found != nullptr);
            if (found) g_resolver_free_addresses(found);
            delete held;
        },
        new std::shared_ptr<TypedLookup>(lookup));
    Glib::signal_timeout().connect_once([lookup] { lookup->Decide(false); }, kResolveMilliseconds);
}

// ---- bookmarks ---------------------------------------------------------------

void TWeb010::BookmarkPage() {
    if (!memory_.bookmarks) return;
    const std::string address = wb01().LocationURL();
    if (address.empty()) return;
    const int existing = memory_.bookmarks->Find(address);
    places::TBookmark b;
    if (existing >= 0) {
        b = memory_.bookmarks->Items()[existing];
    } else {
        b.Address = address;
        b.Title = current_->title == address ? "" : current_->title;
    }
    bookmarkBox_ = std::make_unique<TBookmarkDialog>(*this, b, existing >= 0, BookmarkFolders(*memory_.bookmarks));
    // The bookmark is found again by its address when the box closes: the
    // bookmarks page may have changed the list meanwhile.
    bookmarkBox_->signal_response().connect([this, edits = existing >= 0, original = b.Address](int response) {
        TBookmarkDialog* box = bookmarkBox_.get();
        places::TBookmarks& all = *memory_.bookmarks;
        const places::TBookmark edited = box->Bookmark();
        box->hide();
        Glib::signal_idle().connect_once(sigc::track_obj([this] { bookmarkBox_.reset(); }, *this));
        RunGuarded([&] {
            const int at = edits ? all.Find(original) : -1;
            const bool save = response == TBookmarkDialog::Save && !edited.Address.empty();
            if (!save && !(response == TBookmarkDialog::Remove && at >= 0)) return;
            places::TBookmarks::TState before = all.Snapshot();
            if (!save)
                all.Delete(at);
            else if (at >= 0)
                all.Edit(at, edited);
            else
                all.Add(edited);
            try {
                all.Save();
            } catch (...) {
                // Nothing is shown that the file does not hold.
                all.Restore(std::move(before));
                throw;
            }
            wb01StatusTextChange(*current_, save ? "Bookmarked " + edited.Address : "Bookmark removed");
        });
    });
    bookmarkBox_->show();
}

void TWeb010::ImportBookmarks() {
    if (!memory_.bookmarks) return;
    Gtk::FileChooserDialog box(*this, "Import Bookmarks", Gtk::FILE_CHOOSER_ACTION_OPEN);
    box.add_button("Cancel", Gtk::RESPONSE_CANCEL);
    box.add_button("Import", Gtk::RESPONSE_OK);
    auto html = Gtk::FileFilter::create();
    html->set_name("Bookmark files (HTML)");
    html->add_pattern("*.html");
    html->add_pattern("*.htm");
    box.add_filter(html);
    if (box.run() != Gtk::RESPONSE_OK) return;
    const std::string path = box.get_filename();
    box.hide();
    const int count = memory_.bookmarks->ImportHtml(path);
    memory_.bookmarks->Save();
    wb01StatusTextChange(*current_, std::to_string(count) + (count == 1 ? " bookmark" : " bookmarks") +
                                        " imported from " + path);
}

void TWeb010::ExportBookmarks() {
    if (!memory_.bookmarks) return;
    Gtk::FileChooserDialog box(*this, "Export Bookmarks", Gtk::FILE_CHOOSER_ACTION_SAVE);
    box.add_button("Cancel", Gtk::RESPONSE_CANCEL);
    box.add_button("Export", Gtk::RESPONSE_OK);
    box.set_do_overwrite_confirmation(true);
    box.set_current_name("bookmarks.html");
    if (box.run() != Gtk::RESPONSE_OK) return;
    const std::string path = box.get_filename();
    box.hide();
    memory_.bookmarks->ExportHtml(path);
    wb01StatusTextChange(*current_, "Bookmarks exported to " + path);
}

// ---- content blocking --------------------------------------------------------

void TWeb010::ShowBlockingState() {
    if (!blockItem_) return;
    const std::string uri = current_ && current_->control ? current_->control->LocationURL() : "";
    const bool usable = memory_.blocker && memory_.blocker->Ready() && !ContentBlocker::HostOf(uri).empty();
    showingBlocking_ = true;
    blockItem_->set_sensitive(usable);
    blockItem_->set_active(usable && memory_.blocker->EnabledFor(uri));
    showingBlocking_ = false;
}

void TWeb010::SetBlockingHere(bool on) {
    if (!memory_.blocker || !current_->control) return;
    const std::string uri = current_->control->LocationURL();
    if (ContentBlocker::HostOf(uri).empty()) return;
    memory_.blocker->SetEnabledFor(uri, on);
    current_->control->ApplyContentBlocking();
    // The page's process takes the changed filter on its own time: the
    // reload follows a moment later, so that it meets the new state.
    TWebTab* tab = current_;
    Glib::signal_timeout().connect_once(
        sigc::track_obj(
            [this, tab] {
                for (auto& t : tabs_)
                    if (t.get() == tab && t->control)
                        RunGuarded([&] { t->control->Refresh2(platform::TVariant(REFRESH_NORMAL)); });
            },
            *this),
        kReloadAfterBlockingMilliseconds);
}

void TWeb010::BlockingPrepared(bool ready, const std::string& notice) {
    blockingSettled_ = true;
    blockingWait_.disconnect();
    if (ready)
        for (auto& t : tabs_)
            if (t->control) t->control->ApplyContentBlocking();
    if (startWaiting_) {
        startWaiting_ = false;
        StartPages();
    }
    if (!notice.empty() && current_) wb01StatusTextChange(*current_, notice);
}

void TWeb010::BlockedCount(TWebTab& tab, int blocked) {
    tab.blocked = blocked;
    if (&tab == current_) ShowBlocked();
}

void TWeb010::ShowBlocked() {
    const int blocked = current_ ? current_->blocked : 0;
    if (blocked <= 0) {
        blockedLabel_.hide();
        return;
    }
    blockedLabel_.set_text(std::to_string(blocked) + " blocked");
    blockedLabel_.show();
}

} // namespace browser

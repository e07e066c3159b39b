// TWeb010's tabs: any number of pages, each with its own web control on
// the engine every tab shares. The window shows the current tab's caption,
// address, status and command states; the other tabs keep theirs until they
// are shown. Pages also come and go on their own: links the user opens in
// another tab, pop-ups that keep their opener, pages that close themselves.
// A tab hidden long enough gives its page up and loads it again when shown.
#include "browser/Web010.h"

#include "browser/AppErrors.h"

#include <glibmm/main.h>

#include <algorithm>

namespace browser {

using platform::TVariant;

namespace {

int64_t Now() { return g_get_monotonic_time(); }

// What the permission bar says a site asks for.
std::string PermissionPhrase(const std::string& what) {
    if (what == "location") return "know your location";
    if (what == "notifications") return "show notifications";
    if (what == "camera") return "use your camera";
    if (what == "microphone") return "use your microphone";
    if (what == "camera and microphone") return "use your camera and microphone";
    if (what == "screen") return "share your screen";
    if (what == "storage") return "keep its data on this computer";
    return "use " + what;
}

} // namespace

int TWeb010::IndexOf(const TWebTab& tab) const {
    for (size_t i = 0; i < tabs_.size(); ++i)
        if (tabs_[i].get() == &tab) return static_cast<int>(i);
    return -1;
}

int TWeb010::CurrentTab() const { return current_ ? IndexOf(*current_) : -1; }

void TWeb010::ShowTabStrip() { notebook_.set_show_tabs(tabs_.size() > 1); }

TWebTab& TWeb010::AddTab(std::unique_ptr<WebControl> control, bool foreground, int position, const ClosedTab& what) {
    auto owned = std::make_unique<TWebTab>();
    TWebTab& tab = *owned;
    if (!tabs_.empty()) {
        // A new page has no history yet; its events say otherwise.
        tab.back = false;
        tab.forward = false;
    }
    tab.url = what.url;
    tab.title = what.title;
    tab.history = what.history;
    tab.address = what.url;
    if (!what.title.empty()) tab.caption = what.title;
    tab.ShowLabel();
    tab.control = std::move(control);
    if (tab.control) {
        tab.page.pack_start(tab.control->Widget(), Gtk::PACK_EXPAND_WIDGET);
        tab.control->Widget().show();
        BindControl(tab);
    }
    tab.page.show();
    position = std::clamp(position, 0, static_cast<int>(tabs_.size()));
    tabs_.insert(tabs_.begin() + position, std::move(owned));
    TWebTab* t = &tab;
    tab.closeButton.signal_clicked().connect([this, t] { RunGuarded([&] { CloseTab(IndexOf(*t)); }); });
    tab.labelBox.signal_button_press_event().connect([this, t](GdkEventButton* e) {
        if (e->type != GDK_BUTTON_PRESS || e->button != 2) return false;
        RunGuarded([&] { CloseTab(IndexOf(*t)); });
        return true;
    });
    tab.hiddenSince = Now();
    // The first page becomes the current one as it goes in.
    notebook_.insert_page(tab.page, tab.labelBox, position);
    notebook_.set_tab_reorderable(tab.page, true);
    if (!current_) {
        current_ = &tab;
        tab.hiddenSince = 0;
    }
    ShowTabStrip();
    if (foreground) SelectTab(IndexOf(tab));
    SessionChanged();
    return tab;
}

void TWeb010::BindControl(TWebTab& tab) {
    WebControl& c = *tab.control;
    TWebTab* t = &tab;
    c.OnBeforeNavigate2 = Guarded<const std::string&>([this, t](const std::string& u) { wb01BeforeNavigate2(*t, u); });
    c.OnStatusTextChange = Guarded<const std::string&>([this, t](const std::string& s) { wb01StatusTextChange(*t, s); });
    c.OnTitleChange = Guarded<const std::string&>([this, t](const std::string& s) { wb01TitleChange(*t, s); });
    c.OnDocumentComplete = Guarded<const std::string&>([this, t](const std::string& u) { wb01DocumentComplete(*t, u); });
    c.OnNavigateComplete2 = Guarded<const std::string&>([this, t](const std::string& u) { RecordVisit(*t, u); });
    c.OnCommandStateChange = Guarded<int, bool>([this, t](int cmd, bool e) { wb01CommandStateChange(*t, cmd, e); });
    c.OnFindResult = Guarded<int>([this, t](int n) { wb01FindResult(*t, n); });
    c.OnOpenInTab = Guarded<const std::string&, bool>([this, t](const std::string& u, bool foreground) {
        if (!factory_) return;
        TWebTab& added = AddTab(factory_(), foreground, IndexOf(*t) + 1, ClosedTab{u, {}, {}});
        if (foreground) added.openedFrom = t;
        NavigateTab(added, u);
    });
    c.OnNewRelated = [this, t](std::unique_ptr<WebControl> child) {
        AddTab(std::move(child), true, IndexOf(*t) + 1).openedFrom = t;
    };
    c.OnPopupBlocked = Guarded<const std::string&>([this, t](const std::string& u) { PopupBlocked(*t, u); });
    c.OnClose = [this, t] {
        // The control raised this from its own signal: it goes once that
        // has returned.
        if (closingWindow_ && t->closeAsked) {
            t->closeAsked = false;
            ++closeAsk_;
            RunGuarded([this] { AskNextToClose(); });
            return;
        }
        pendingClose_.push_back(t);
        if (!closeIdle_.connected())
            closeIdle_ = Glib::signal_idle().connect([this] {
                std::vector<TWebTab*> closing;
                closing.swap(pendingClose_);
                for (TWebTab* tab : closing)
                    if (IndexOf(*tab) >= 0) RunGuarded([&] { TabClosed(*tab); });
                return false;
            });
    };
    c.OnStay = [this] {
        // The user keeps the page: the window stays as it is.
        closingWindow_ = false;
        closeWait_.disconnect();
        for (auto& other : tabs_) other->closeAsked = false;
    };
    c.OnResponsive = Guarded<bool>([this, t](bool r) { Responsive(*t, r); });
    c.OnPermission = [this, t](const std::string& site, const std::string& what, std::function<void(bool)> answer) {
        RunGuarded([&] { Permission(*t, site, what, std::move(answer)); });
    };
    c.OnNotification = Guarded<const std::string&, const std::string&>(
        [this](const std::string& title, const std::string& body) {
            if (notifier_) notifier_(title, body);
        });
    c.OnBlockedCount = Guarded<int>([this, t](int n) { BlockedCount(*t, n); });
    c.Widget().signal_scroll_event().connect(sigc::mem_fun(*this, &TWeb010::PageScroll), false);
}

void TWeb010::UnbindControl(TWebTab& tab) {
    if (!tab.control) return;
    WebControl& c = *tab.control;
    c.OnBeforeNavigate2 = nullptr;
    c.OnStatusTextChange = nullptr;
    c.OnTitleChange = nullptr;
    c.OnDocumentComplete = nullptr;
    c.OnNavigateComplete2 = nullptr;
    c.OnCommandStateChange = nullptr;
    c.OnFindResult = nullptr;
    c.OnOpenInTab = nullptr;
    c.OnNewRelated = nullptr;
    c.OnPopupBlocked = nullptr;
    c.OnClose = nullptr;
    c.OnStay = nullptr;
    c.OnResponsive = nullptr;
    c.OnPermission = nullptr;
    c.OnNotification = nullptr;
    c.OnBlockedCount = nullptr;
}

void TWeb010::NavigateTab(TWebTab& tab, const std::string& url) {
    const TVariant zero(0);
    tab.control->Navigate(url, zero, zero, zero, zero);
}

void TWeb010::SelectTab(int index) {
    if (index < 0 || index >= TabCount()) return;
    TWebTab& tab = *tabs_[index];
    // The strip calls ShowTab as it switches.
    if (notebook_.get_current_page() != notebook_.page_num(tab.page))
        notebook_.set_current_page(notebook_.page_num(tab.page));
    else
        ShowTab(&tab);
}

void TWeb010::ShowTab(TWebTab* tab) {
    if (tab == current_) return;
    TWebTab* old = current_;
    if (old) {
        if (findBar_.IsOpen()) findBar_.Close();
        old->address = cbURL_.Text();
        old->hiddenSince = Now();
    }
    current_ = tab;
    tab->hiddenSince = 0;
    if (!tab->control) LoadTab(*tab);
    set_title(tab->caption);
    SetEnabled(tagBack, tab->back);
    SetEnabled(tagForward, tab->forward);
    SetEnabled(tagStop, tab->stop);
    cbURL_.SetText(tab->address);
    statusText_ = tab->status;
    sbLow_.remove_all_messages();
    sbLow_.push(tab->status);
    ShowZoom();
    ShowBlocked();
    SessionChanged();
}

void TWeb010::LoadTab(TWebTab& tab) {
    if (tab.control || !factory_) return;
    tab.control = factory_();
    tab.page.pack_start(tab.control->Widget(), Gtk::PACK_EXPAND_WIDGET);
    tab.control->Widget().show();
    BindControl(tab);
    // The engine's own history where it gave it, else the address alone.
    if (!tab.control->RestoreHistory(tab.history) && !tab.url.empty()) NavigateTab(tab, tab.url);
}

void TWeb010::UnloadTab(TWebTab& tab) {
    if (!tab.control || &tab == current_) return;
    tab.history = tab.control->SaveHistory();
    std::string location = tab.control->LocationURL();
    if (!location.empty()) tab.url = location;
    UnbindControl(tab);
    tab.page.remove(tab.control->Widget());
    tab.control.reset();
    tab.ShowLoading(false);
    tab.stop = false;
    tab.blocked = 0;
    tab.responsive = true;
    tab.hungBar.Dismiss();
    // Questions of a page that is gone are no longer asked: refused.
    for (auto& q : tab.questions) q.answer(false);
    tab.questions.clear();
    tab.permissionBar.Dismiss();
}

int TWeb010::UnloadIdleTabs(int64_t now) {
    if (unloadAfter_ <= 0) return 0;
    int unloaded = 0;
    for (auto& t : tabs_) {
        if (t.get() == current_ || !t->control || t->hiddenSince == 0) continue;
        if (now - t->hiddenSince < unloadAfter_ * 1000000) continue;
        UnloadTab(*t);
        ++unloaded;
    }
    return unloaded;
}

void TWeb010::CloseTab(int index) {
    if (index < 0 || index >= TabCount()) return;
    TWebTab& tab = *tabs_[index];
    if (tabs_.size() == 1) {
        CloseWindow();
        return;
    }
    // The page may ask first; it answers through OnClose.
    if (tab.control && tab.responsive) {
        tab.control->TryClose();
        return;
    }
    TabClosed(tab);
}

void TWeb010::TabClosed(TWebTab& tab) {
    if (tabs_.size() == 1) {
        EndNow();
        return;
    }
    RemoveTab(tab);
}

void TWeb010::RemoveTab(TWebTab& tab) {
    int index = IndexOf(tab);
    if (index < 0) return;
    ClosedTab record{tab.url, tab.title, tab.history};
    if (tab.control) {
        std::string location = tab.control->LocationURL();
        if (!location.empty()) record.url = location;
        record.history = tab.control->SaveHistory();
    }
    if (!record.url.empty()) closed_.push_back(record);
    // A pop-up or a link opened in front gives the place back to its opener.
    if (&tab == current_) {
        if (tab.openedFrom && IndexOf(*tab.openedFrom) >= 0)
            SelectTab(IndexOf(*tab.openedFrom));
        else
            SelectTab(index + 1 < TabCount() ? index + 1 : index - 1);
    }
    for (auto& other : tabs_)
        if (other->openedFrom == &tab) other->openedFrom = nullptr;
    UnbindControl(tab);
    for (auto& q : tab.questions) q.answer(false);
    tab.questions.clear();
    std::unique_ptr<TWebTab> owned = std::move(tabs_[index]);
    tabs_.erase(tabs_.begin() + index);
    notebook_.remove_page(owned->page);
    owned.reset();
    ShowTabStrip();
    SessionChanged();
}

void TWeb010::ReopenClosedTab() {
    if (closed_.empty() || !factory_) return;
    ClosedTab last = closed_.back();
    closed_.pop_back();
    AddTab(nullptr, true, CurrentTab() + 1, last);
}

TWebTab* TWeb010::NewTab(const std::string& url, bool foreground, bool atEnd) {
    if (!factory_) return nullptr;
    TWebTab& tab = AddTab(factory_(), foreground, atEnd ? TabCount() : CurrentTab() + 1, ClosedTab{url, {}, {}});
    NavigateTab(tab, url);
    return &tab;
}

// ---- closing the window ------------------------------------------------------
// Each page is asked in turn whether it may go; the window closes once all
// have said yes. A page that stops answering, or neither answers nor asks
// the user within a few seconds, is not waited for.

void TWeb010::CloseWindow() {
    if (ending_) return;
    closingWindow_ = true;
    closeAsk_ = 0;
    for (auto& t : tabs_) t->closeAsked = false;
    AskNextToClose();
}

void TWeb010::AskNextToClose() {
    closeWait_.disconnect();
    if (!closingWindow_) return;
    while (closeAsk_ < tabs_.size()) {
        TWebTab& t = *tabs_[closeAsk_];
        if (!t.control || !t.responsive) {
            ++closeAsk_;
            continue;
        }
        t.closeAsked = true;
        const size_t asking = closeAsk_;
        closeWait_ = Glib::signal_timeout().connect(
            [this, asking] {
                if (closingWindow_ && closeAsk_ == asking && asking < tabs_.size()) {
                    TWebTab& waited = *tabs_[asking];
                    if (waited.control && waited.control->Asking()) return true;  // the user is deciding
                    waited.closeAsked = false;
                    ++closeAsk_;
                    RunGuarded([this] { AskNextToClose(); });
                }
                return false;
            },
            5000);
        t.control->TryClose();
        return;
    }
    closingWindow_ = false;
    EndNow();
}

void TWeb010::EndNow() {
    ending_ = true;
    closeWait_.disconnect();
    hide();
}

// ---- bars --------------------------------------------------------------------

void TWeb010::PopupBlocked(TWebTab& tab, const std::string& url) {
    TWebTab* t = &tab;
    tab.popupBar.Ask("A pop-up window was blocked: " + url, "Open it", [this, t, url] {
        if (IndexOf(*t) < 0 || !factory_) return;
        TWebTab& added = AddTab(factory_(), true, IndexOf(*t) + 1, ClosedTab{url, {}, {}});
        NavigateTab(added, url);
    });
}

void TWeb010::Responsive(TWebTab& tab, bool responsive) {
    tab.responsive = responsive;
    if (responsive) {
        tab.hungBar.Dismiss();
        return;
    }
    TWebTab* t = &tab;
    tab.hungBar.Ask("This page is not answering.", "Stop the page",
                    [this, t] {
                        if (IndexOf(*t) >= 0 && t->control) t->control->TerminatePage();
                    },
                    "Wait", [] {});
    // A window that waits for this page to agree to close goes on without it.
    if (closingWindow_ && tab.closeAsked) {
        tab.closeAsked = false;
        ++closeAsk_;
        AskNextToClose();
    }
}

void TWeb010::Permission(TWebTab& tab, const std::string& site, const std::string& what,
                         std::function<void(bool)> answer) {
    auto known = permissions_.find(site + " " + what);
    if (known != permissions_.end()) {
        answer(known->second);
        return;
    }
    tab.questions.push_back(TWebTab::Question{site, what, std::move(answer)});
    if (tab.questions.size() == 1) AskPermission(tab);
}

void TWeb010::AskPermission(TWebTab& tab) {
    if (tab.questions.empty()) {
        tab.permissionBar.Dismiss();
        return;
    }
    TWebTab* t = &tab;
    auto decide = [this, t](bool allow) {
        if (IndexOf(*t) < 0 || t->questions.empty()) return;
        TWebTab::Question q = std::move(t->questions.front());
        t->questions.pop_front();
        const std::string key = q.site + " " + q.what;
        // Kept for the site until the browser closes; a private window
        // keeps no answer at all.
        if (!keepNothing_) permissions_[key] = allow;
        q.answer(allow);
        // The same question waiting behind gets the same answer.
        for (auto it = t->questions.begin(); it != t->questions.end();) {
            if (it->site + " " + it->what == key) {
                it->answer(allow);
                it = t->questions.erase(it);
            } else {
                ++it;
            }
        }
        AskPermission(*t);
    };
    const TWebTab::Question& q = tab.questions.front();
    tab.permissionBar.Ask(q.site + " asks to " + PermissionPhrase(q.what) + ".", "Allow", [decide] { decide(true); },
                          "Deny", [decide] { decide(false); });
}

} // namespace browser

#pragma once
// The web browser control as the main window sees it: a handful of
// operations and six events. The window never talks to the engine directly,
// so the real engine (WebKitControl) and the scripted one the tests use
// (ScriptedWebControl) are interchangeable.
#include "platform/Exception.h"
#include "platform/Variant.h"

#include <functional>
#include <memory>
#include <string>

namespace Gtk {
class Widget;
}

namespace browser {

// A failed operation of the control, carrying the engine's own message.
class EWebControl : public platform::Exception {
    using platform::Exception::Exception;
};

// ExecWB command ids and the one option the window uses.
constexpr int OLECMDID_SAVEAS = 4;
constexpr int OLECMDID_PRINT = 6;
constexpr int OLECMDID_PRINTPREVIEW = 7;
constexpr int OLECMDID_PAGESETUP = 8;
constexpr int OLECMDEXECOPT_PROMPTUSER = 1;

// Refresh2 levels: an ordinary reload, and one that fetches everything anew.
constexpr int REFRESH_NORMAL = 0;
constexpr int REFRESH_COMPLETELY = 3;

// CommandStateChange commands.
constexpr int CSC_UPDATECOMMANDS = -1;
constexpr int CSC_NAVIGATEFORWARD = 1;
constexpr int CSC_NAVIGATEBACK = 2;

class WebControl {
public:
    virtual ~WebControl() = default;

    // The widget that shows the pages; the window packs it.
    virtual Gtk::Widget& Widget() = 0;

    // Operations. Each raises EWebControl when the engine refuses it.
    virtual void Navigate(const std::string& url, const platform::TVariant& flags,
                          const platform::TVariant& targetFrameName, const platform::TVariant& postData,
                          const platform::TVariant& headers) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Refresh2(const platform::TVariant& level) = 0;
    virtual void Stop() = 0;
    virtual void ExecWB(int command, int option) = 0;
    // Loading a page or a file.
    virtual bool Busy() = 0;
    virtual std::string LocationURL() = 0;

    // Find in the page: a text not searched for yet starts a new search from
    // the top (or the bottom, backwards) and counts its matches; the same
    // text again goes on to the next or previous match, round the end.
    virtual void Find(const std::string& text, bool backwards, bool matchCase) = 0;
    // Ends the search and takes its highlights away.
    virtual void FindFinish() = 0;
    // The page's zoom, 1 for 100 per cent.
    virtual double ZoomLevel() = 0;
    virtual void SetZoomLevel(double level) = 0;

    // Tabs. These have plain answers for controls that cannot do more.
    // Asks the page whether it may go (its onbeforeunload); OnClose follows
    // when it may.
    virtual void TryClose() { FireClose(); }
    // Whether the page's focus is in text the user edits, answered later
    // (the page is asked) or at once.
    virtual void FocusInText(std::function<void(bool inText)> answer) { answer(false); }
    // The back/forward history as bytes the same engine takes back, empty
    // when it cannot give it; RestoreHistory answers whether it took them.
    virtual std::string SaveHistory() { return {}; }
    virtual bool RestoreHistory(const std::string&) { return false; }
    // Ends the page's web process (a page that no longer answers).
    virtual void TerminatePage() {}
    // The page, not the browser, has the keyboard.
    virtual bool HasFocus() { return false; }
    // The page is asking the user something (whether it may be left).
    virtual bool Asking() { return false; }
    // Puts the content filter in or out for the page's site again (the
    // user changed it for the site, or the filter became ready).
    virtual void ApplyContentBlocking() {}

    // Events, raised on the main thread in the order the engine produces
    // them. The window binds them once; an unbound event is dropped.
    std::function<void(const std::string& url)> OnBeforeNavigate2;
    std::function<void(const std::string& url)> OnDocumentComplete;
    // The main frame began showing a page of its own (not an error page
    // standing in for one): a visit.
    std::function<void(const std::string& url)> OnNavigateComplete2;
    std::function<void(const std::string& title)> OnTitleChange;
    std::function<void(const std::string& text)> OnStatusTextChange;
    std::function<void(int command, bool enable)> OnCommandStateChange;
    // The number of matches of the text searched for, 0 when there is none.
    std::function<void(int matches)> OnFindResult;
    // A link the user wants in another tab (middle click, Ctrl+click).
    std::function<void(const std::string& url, bool foreground)> OnOpenInTab;
    // A page opened by this one that keeps its opener: the window adopts
    // the control as a new foreground tab.
    std::function<void(std::unique_ptr<WebControl> control)> OnNewRelated;
    // A pop-up the page asked for without the user's click.
    std::function<void(const std::string& url)> OnPopupBlocked;
    // The page closed itself or may now be closed.
    std::function<void()> OnClose;
    // The user chose to stay on a page that asked before it is left.
    std::function<void()> OnStay;
    // The page's web process stopped or came back to answering.
    std::function<void(bool responsive)> OnResponsive;
    // A site asks for something: what is one of the names below; answer
    // runs once with the user's word (false when the tab goes first).
    std::function<void(const std::string& site, const std::string& what, std::function<void(bool)> answer)>
        OnPermission;
    // An allowed site's notification.
    std::function<void(const std::string& title, const std::string& body)> OnNotification;
    // How many requests of the page the content filter stopped so far; 0
    // again when a new page comes.
    std::function<void(int blocked)> OnBlockedCount;

protected:
    void FireBeforeNavigate2(const std::string& url) { if (OnBeforeNavigate2) OnBeforeNavigate2(url); }
    void FireDocumentComplete(const std::string& url) { if (OnDocumentComplete) OnDocumentComplete(url); }
    void FireNavigateComplete2(const std::string& url) { if (OnNavigateComplete2) OnNavigateComplete2(url); }
    void FireTitleChange(const std::string& title) { if (OnTitleChange) OnTitleChange(title); }
    void FireStatusTextChange(const std::string& text) { if (OnStatusTextChange) OnStatusTextChange(text); }
    void FireCommandStateChange(int command, bool enable) {
        if (OnCommandStateChange) OnCommandStateChange(command, enable);
    }
    void FireFindResult(int matches) { if (OnFindResult) OnFindResult(matches); }
    void FireClose() { if (OnClose) OnClose(); }
    void FireBlockedCount(int blocked) { if (OnBlockedCount) OnBlockedCount(blocked); }
};

} // namespace browser

#pragma once
// The web browser control as the main window sees it: a handful of
// operations and six events. The window never talks to the engine directly,
// so the real engine (WebKitControl) and the scripted one the tests use
// (ScriptedWebControl) are interchangeable.
#include "platform/Exception.h"
#include "platform/Variant.h"

#include <functional>
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

    // Events, raised on the main thread in the order the engine produces
    // them. The window binds them once; an unbound event is dropped.
    std::function<void(const std::string& url)> OnBeforeNavigate2;
    std::function<void(const std::string& url)> OnDocumentComplete;
    std::function<void(const std::string& title)> OnTitleChange;
    std::function<void(const std::string& text)> OnStatusTextChange;
    std::function<void(int command, bool enable)> OnCommandStateChange;
    // The number of matches of the text searched for, 0 when there is none.
    std::function<void(int matches)> OnFindResult;

protected:
    void FireBeforeNavigate2(const std::string& url) { if (OnBeforeNavigate2) OnBeforeNavigate2(url); }
    void FireDocumentComplete(const std::string& url) { if (OnDocumentComplete) OnDocumentComplete(url); }
    void FireTitleChange(const std::string& title) { if (OnTitleChange) OnTitleChange(title); }
    void FireStatusTextChange(const std::string& text) { if (OnStatusTextChange) OnStatusTextChange(text); }
    void FireCommandStateChange(int command, bool enable) {
        if (OnCommandStateChange) OnCommandStateChange(command, enable);
    }
    void FireFindResult(int matches) { if (OnFindResult) OnFindResult(matches); }
};

} // namespace browser

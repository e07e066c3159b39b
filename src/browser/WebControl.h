#pragma once
// The web browser control as the main window sees it: a handful of
// operations and five events. The window never talks to the engine directly,
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
    virtual bool Busy() = 0;
    virtual std::string LocationURL() = 0;

    // Events, raised on the main thread in the order the engine produces
    // them. The window binds them once; an unbound event is dropped.
    std::function<void(const std::string& url)> OnBeforeNavigate2;
    std::function<void(const std::string& url)> OnDocumentComplete;
    std::function<void(const std::string& title)> OnTitleChange;
    std::function<void(const std::string& text)> OnStatusTextChange;
    std::function<void(int command, bool enable)> OnCommandStateChange;

protected:
    void FireBeforeNavigate2(const std::string& url) { if (OnBeforeNavigate2) OnBeforeNavigate2(url); }
    void FireDocumentComplete(const std::string& url) { if (OnDocumentComplete) OnDocumentComplete(url); }
    void FireTitleChange(const std::string& title) { if (OnTitleChange) OnTitleChange(title); }
    void FireStatusTextChange(const std::string& text) { if (OnStatusTextChange) OnStatusTextChange(text); }
    void FireCommandStateChange(int command, bool enable) {
        if (OnCommandStateChange) OnCommandStateChange(command, enable);
    }
};

} // namespace browser

#pragma once
// A WebControl that loads nothing: it records every operation it is asked
// for and raises exactly the events a test tells it to. A test can make the
// next operations fail, and set what Busy and LocationURL answer.
#include "browser/WebControl.h"

#include <gtkmm/drawingarea.h>

#include <string>
#include <vector>

namespace browser {

class ScriptedWebControl : public WebControl {
public:
    struct Call {
        // "Navigate", "GoBack", "GoForward", "Refresh2", "Stop", "ExecWB", "Find", "FindFinish",
        // "TryClose", "RestoreHistory" (url: the bytes), "TerminatePage"
        std::string op;
        std::string url;  // Navigate's URL, Find's text
        int arg1 = 0;     // ExecWB's command, Refresh2's level, Find's backwards
        int arg2 = 0;     // ExecWB's option, Find's match case
        // Navigate's four optional arguments, as kind and integer value.
        std::vector<std::pair<int, long long>> optional;
    };

    ScriptedWebControl() {
        area_.set_size_request(50, 50);
        area_.set_can_focus(true);
        area_.add_events(Gdk::SCROLL_MASK | Gdk::SMOOTH_SCROLL_MASK);
    }

    Gtk::Widget& Widget() override { return area_; }

    void Navigate(const std::string& url, const platform::TVariant& flags,
                  const platform::TVariant& targetFrameName, const platform::TVariant& postData,
                  const platform::TVariant& headers) override {
        Call c = Record("Navigate");
        c.url = url;
        for (const platform::TVariant* v : {&flags, &targetFrameName, &postData, &headers})
            c.optional.emplace_back(v->Kind(), v->Kind() == platform::varInteger ? v->AsInteger() : -1);
        calls.push_back(c);
        if (raiseBeforeNavigate) FireBeforeNavigate2(url);
    }
    void GoBack() override { calls.push_back(Record("GoBack")); }
    void GoForward() override { calls.push_back(Record("GoForward")); }
    void Refresh2(const platform::TVariant& level) override {
        Call c = Record("Refresh2");
        c.arg1 = static_cast<int>(level.AsInteger());
        calls.push_back(c);
    }
    void Stop() override { calls.push_back(Record("Stop")); }
    void ExecWB(int command, int option) override {
        Call c = Record("ExecWB");
        c.arg1 = command;
        c.arg2 = option;
        calls.push_back(c);
    }
    bool Busy() override { return busy; }
    std::string LocationURL() override { return location; }
    void Find(const std::string& text, bool backwards, bool matchCase) override {
        Call c = Record("Find");
        c.url = text;
        c.arg1 = backwards;
        c.arg2 = matchCase;
        calls.push_back(c);
    }
    void FindFinish() override { calls.push_back(Record("FindFinish")); }
    double ZoomLevel() override { return zoom; }
    void SetZoomLevel(double level) override { zoom = level; }
    void TryClose() override {
        calls.push_back(Record("TryClose"));
        if (closes) FireClose();
    }
    void FocusInText(std::function<void(bool)> answer) override { answer(focusInText); }
    std::string SaveHistory() override { return history; }
    bool RestoreHistory(const std::string& bytes) override {
        Call c = Record("RestoreHistory");
        c.url = bytes;
        calls.push_back(c);
        history = bytes;
        return !bytes.empty();
    }
    void TerminatePage() override { calls.push_back(Record("TerminatePage")); }
    bool HasFocus() override { return area_.has_focus(); }

    // What the test controls.
    std::vector<Call> calls;
    bool busy = false;
    std::string location;
    double zoom = 1.0;
    std::string failWith;             // non-empty: every operation fails with it
    bool raiseBeforeNavigate = false; // Navigate raises BeforeNavigate2 at once
    bool closes = true;               // TryClose: the page may go at once
    bool focusInText = false;         // what FocusInText answers
    std::string history;              // what SaveHistory gives

    void RaiseBeforeNavigate2(const std::string& url) { FireBeforeNavigate2(url); }
    void RaiseDocumentComplete(const std::string& url) { FireDocumentComplete(url); }
    void RaiseTitleChange(const std::string& title) { FireTitleChange(title); }
    void RaiseStatusTextChange(const std::string& text) { FireStatusTextChange(text); }
    void RaiseCommandStateChange(int command, bool enable) { FireCommandStateChange(command, enable); }
    void RaiseFindResult(int matches) { FireFindResult(matches); }
    void RaiseClose() { FireClose(); }
    void RaiseOpenInTab(const std::string& url, bool foreground) { if (OnOpenInTab) OnOpenInTab(url, foreground); }
    void RaisePopupBlocked(const std::string& url) { if (OnPopupBlocked) OnPopupBlocked(url); }
    void RaiseResponsive(bool responsive) { if (OnResponsive) OnResponsive(responsive); }
    void RaiseStay() { if (OnStay) OnStay(); }
    void RaisePermission(const std::string& site, const std::string& what, std::function<void(bool)> answer) {
        if (OnPermission) OnPermission(site, what, std::move(answer));
    }

    int CountOf(const std::string& op) const {
        int n = 0;
        for (const Call& c : calls) n += c.op == op;
        return n;
    }

private:
    Call Record(const char* op) {
        if (!failWith.empty()) throw EWebControl(failWith);
        Call c;
        c.op = op;
        return c;
    }
    Gtk::DrawingArea area_;
};

} // namespace browser

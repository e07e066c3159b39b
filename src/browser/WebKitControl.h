#pragma once
// The WebControl on WebKitGTK: one WebKitWebView, whose signals become the
// control's events in one place, and whose save, print and page setup
// commands run the toolkit's own dialogs.
#include "browser/WebControl.h"

#include <memory>
#include <string>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _GtkPrintSettings GtkPrintSettings;
typedef struct _GtkPageSetup GtkPageSetup;

namespace browser {

class WebKitControl : public WebControl {
public:
    WebKitControl();
    ~WebKitControl() override;
    WebKitControl(const WebKitControl&) = delete;
    WebKitControl& operator=(const WebKitControl&) = delete;

    Gtk::Widget& Widget() override;
    void Navigate(const std::string& url, const platform::TVariant& flags,
                  const platform::TVariant& targetFrameName, const platform::TVariant& postData,
                  const platform::TVariant& headers) override;
    void GoBack() override;
    void GoForward() override;
    void Refresh2(const platform::TVariant& level) override;
    void Stop() override;
    void ExecWB(int command, int option) override;
    bool Busy() override;
    std::string LocationURL() override;

    WebKitWebView* View() const { return view_; }

private:
    struct Signals;
    friend struct Signals;

    void SaveAs();
    void Print();
    void PrintPreview();
    void PageSetup();
    void SetStatus(const std::string& text);
    void ShowStateStatus();
    void ReportHistory();

    WebKitWebView* view_ = nullptr;
    Gtk::Widget* widget_ = nullptr;
    GtkPrintSettings* printSettings_ = nullptr;
    GtkPageSetup* pageSetup_ = nullptr;
    std::string stateText_;   // the loading state, shown while no link is hovered
    std::string statusText_;  // what the status bar shows now
    std::string hoveredLink_;
    unsigned long historySignal_ = 0;
};

} // namespace browser

#pragma once
// The WebControl on WebKitGTK: one WebKitWebView of the program's engine,
// whose signals become the control's events in one place. Its save, print
// and page setup commands run the toolkit's own dialogs; what the engine
// cannot show is downloaded; a failed load and a refused certificate show
// the program's own pages in place of the one that failed.
#include "browser/Downloads.h"
#include "browser/WebControl.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitNavigationAction WebKitNavigationAction;
typedef struct _GtkPrintSettings GtkPrintSettings;
typedef struct _GtkPageSetup GtkPageSetup;
typedef struct _GTlsCertificate GTlsCertificate;
typedef struct _GCancellable GCancellable;
typedef struct _GSimpleAction GSimpleAction;

namespace browser {

class WebEngine;

class WebKitControl : public WebControl {
public:
    // A page opened by another one (window.open, a link to a new window)
    // is related to its opener's view, so that each can reach the other.
    explicit WebKitControl(WebEngine& engine, WebKitWebView* relatedTo = nullptr);
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
    void Find(const std::string& text, bool backwards, bool matchCase) override;
    void FindFinish() override;
    double ZoomLevel() override;
    void SetZoomLevel(double level) override;
    void TryClose() override;
    void FocusInText(std::function<void(bool inText)> answer) override;
    std::string SaveHistory() override;
    bool RestoreHistory(const std::string& bytes) override;
    void TerminatePage() override;
    bool HasFocus() override;
    bool Asking() override { return asking_; }
    void ApplyContentBlocking() override;
    void ApplyContentBlocking(const std::string& uri);
    // Has the engine start the page's web process now, ahead of the first
    // navigation, which then finds it running; nothing is loaded or shown.
    void StartPageProcess();

    WebKitWebView* View() const { return view_; }

private:
    struct Signals;
    friend struct Signals;
    // A certificate the user may let through from its error page.
    struct RefusedCertificate {
        GTlsCertificate* certificate = nullptr;
        std::string host;
        std::string url;
    };

    void SaveAs();
    void Print();
    void PrintPreview();
    void PageSetup();
    void SetStatus(const std::string& text);
    void ShowStateStatus();
    void ShowState(const std::string& text);
    void ReportHistory();
    void ReportBusy();
    void ShowErrorPage(const std::string& url, const std::string& html, const std::string& status);
    bool AllowCertificate(const std::string& requestUrl);
    void ForgetCertificates();
    void ShowCrash(const std::string& why);
    // A link the user opens in another tab; answers whether it was one.
    bool OpensInTab(WebKitNavigationAction* action, const std::string& url);

    WebEngine& engine_;
    WebKitWebView* view_ = nullptr;
    Gtk::Widget* widget_ = nullptr;
    GtkPrintSettings* printSettings_ = nullptr;
    GtkPageSetup* pageSetup_ = nullptr;
    std::string stateText_;   // the loading state, shown while no link is hovered
    std::string statusText_;  // what the status bar shows now
    std::string hoveredLink_;
    unsigned long historySignal_ = 0;
    unsigned long downloadSignal_ = 0;
    std::unique_ptr<DownloadList> downloads_;
    // A load that failed keeps its error text in the status bar, also while
    // the error page that stands in for it loads.
    std::string errorText_;
    std::string errorPageUrl_;       // the error page asked for, not yet started
    std::string downloadText_;       // the last word of a download since the page began loading
    std::map<std::string, RefusedCertificate> refused_;  // by the token of its page's button
    std::vector<std::string> previewFolders_;            // print previews, removed at the end
    GCancellable* cancel_ = nullptr;       // the page's answers still to come
    GSimpleAction* openInTab_ = nullptr;   // the context menu's "Open Link in New Tab"
    std::string startedUrl_;               // the load begun and not yet committed
    bool asking_ = false;                  // a page's question is on the screen
    std::string title_;                    // the page's last title, kept for a crash page
    std::string findText_;
    int blocking_ = -1;            // whether the content filter is in: -1 never set
    std::string blockingFilter_;   // which filter that was
    bool findCase_ = false;
};

} // namespace browser

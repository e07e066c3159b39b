#pragma once
// TWeb010, the main browser window: the address box with its list of
// recently used URLs, the navigation tool bar, the File and Edit menus, the
// status bar, and the web control filling the rest. Every command runs
// through SbAct; the control's events keep the window in step with it. The
// window restores its settings when it is created and saves them when it
// is destroyed.
#include "browser/AddressSuggestions.h"
#include "browser/BookmarkDialog.h"
#include "browser/BrowsingMemory.h"
#include "browser/FindBar.h"
#include "browser/WebControl.h"
#include "browser/WebTab.h"
#include "controls/ComboSx.h"
#include "controls/SpeedRx.h"
#include "controls/SplitBar.h"
#include "platform/Placement.h"

#include <glibmm/dispatcher.h>
#include <giomm/simpleaction.h>
#include <giomm/simpleactiongroup.h>
#include <gtkmm/box.h>
#include <gtkmm/checkmenuitem.h>
#include <gtkmm/dialog.h>
#include <gtkmm/label.h>
#include <gtkmm/menu.h>
#include <gtkmm/gesturemultipress.h>
#include <gtkmm/menubutton.h>
#include <gtkmm/notebook.h>
#include <gtkmm/statusbar.h>
#include <gtkmm/toolbar.h>
#include <gtkmm/toolbutton.h>
#include <gtkmm/window.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace browser {

// The private start-up message the window posts to itself.
constexpr unsigned WM_STARTHOME = 5120;

// Command tags.
enum : int {
    tagBack = 1, tagForward = 2, tagHome = 3, tagStop = 4, tagRefresh = 5,
    tagToolbar = 11, tagStatusbar = 12, tagSetHome = 15, tagFavorites = 21, tagHistory = 22,
    tagBookmarkPage = 23, tagShowBookmarks = 24, tagImportBookmarks = 25, tagExportBookmarks = 26,
    tagShowHistory = 27, tagClearHistory = 28, tagBlockContent = 29,
    tagZoomIn = 40, tagZoomOut = 41, tagZoomReset = 42, tagFocusAddress = 43, tagHardRefresh = 44,
    tagFind = 45, tagFindNext = 46, tagFindPrevious = 47, tagNewTab = 48, tagCloseTab = 49,
    tagReopenTab = 50, tagNextTab = 51, tagPreviousTab = 52, tagSelectTab1 = 60, tagLastTab = 68,
    tagFullScreen = 69,
    tagAbout = 80, tagSave = 82, tagPrintPreview = 92, tagPrint = 93, tagPageSetup = 94, tagClose = 99,
};

// Makes the control of a new tab.
using WebControlFactory = std::function<std::unique_ptr<WebControl>()>;

// A tab the user closed, for Ctrl+Shift+T.
struct ClosedTab {
    std::string url, title, history;
};

// What a session keeps of one tab.
struct TabRecord {
    std::string url, title;
};

class TWeb010 : public Gtk::Window {
public:
    // Builds the window around the control and runs FormCreate.
    explicit TWeb010(std::unique_ptr<WebControl> control);
    // Runs FormDestroy.
    ~TWeb010() override;

    // The command handler: acts by the sender's tag.
    void SbAct(int tag);
    void GoURL();
    // Key preview: answers whether the key was consumed (never).
    bool FormKeyDown(guint key, GdkModifierType state);
    bool cbURLKeyDown(guint key);
    void cbURLClick();
    // The keys every browser has, after the key preview: answers whether
    // the key was used up.
    bool ShortcutKeyDown(guint key, GdkModifierType state);

    // Before the main loop runs: the address to open at start instead of
    // the home page, and a private session, which writes no settings.
    void SetStartUrl(const std::string& url) { startUrl_ = url; }
    void SetPrivate(bool keepNothing) { keepNothing_ = keepNothing; }
    // Where the controls of further tabs come from; without it the window
    // holds its one page.
    void SetControlFactory(WebControlFactory factory) { factory_ = std::move(factory); }
    // Where allowed notifications go (the desktop's service in the program).
    void SetNotifier(std::function<void(const std::string& title, const std::string& body)> notify) {
        notifier_ = std::move(notify);
    }
    // History, bookmarks, completion and blocking (Web010Places.cpp).
    // The completion index may still be building: the drop-down is shown
    // again when it is ready.
    void SetMemory(const TBrowsingMemory& memory);
    const TBrowsingMemory& Memory() const { return memory_; }
    TAddressSuggestions& Suggestions() { return suggestions_; }
    // Ctrl+D: the box to add the page's bookmark or change the one it has.
    void BookmarkPage();
    TBookmarkDialog* BookmarkBox() { return bookmarkBox_.get(); }
    // The program's own pages of history and bookmarks, in a new tab.
    void ShowPlacesPage(const std::string& url);
    // Asks which span to clear, then clears it.
    void AskClearHistory();
    Gtk::Dialog* ClearHistoryBox() { return clearBox_.get(); }
    void ClearHistory(places::TClearSpan span);
    // Blocking turned on or off for the current page's site; it reloads.
    void SetBlockingHere(bool on);
    // The filter is ready (or could not be): the open pages take it.
    void BlockingPrepared(bool ready, const std::string& notice);
    Gtk::Menu& mB() { return mB_; }
    Gtk::CheckMenuItem* BlockItem() { return blockItem_; }
    // Where the open tabs are kept between runs; empty keeps nothing.
    void SetSessionFile(const std::string& path) { sessionFile_ = path; }
    // Seconds a tab stays hidden before it gives its page up; 0 never.
    void SetUnloadAfter(int64_t seconds) { unloadAfter_ = seconds; }
    int64_t UnloadAfter() const { return unloadAfter_; }

    // Tabs.
    int TabCount() const { return static_cast<int>(tabs_.size()); }
    int CurrentTab() const;
    TWebTab& Tab(int index) { return *tabs_.at(index); }
    void SelectTab(int index);
    // A new tab after the current one (at the end for Ctrl+T), loading url.
    TWebTab* NewTab(const std::string& url, bool foreground, bool atEnd = false);
    // Asks the page first (onbeforeunload); the last tab closes the window.
    void CloseTab(int index);
    void ReopenClosedTab();
    const std::vector<ClosedTab>& ClosedTabs() const { return closed_; }
    // Gives up the pages of tabs hidden longer than the unload time, as of
    // now (monotonic microseconds); answers how many went.
    int UnloadIdleTabs(int64_t now);
    // Closes the window as its close box does: every page is asked first.
    void CloseWindow();
    // Ends without asking the pages (SIGTERM and the like): the settings
    // and the session are saved as at any close.
    void EndNow();
    // The open tabs, in order, and which is current.
    std::vector<TabRecord> TabRecords(int& current) const;
    // Saves the session file now (clean: the window is closing).
    void SaveSession(bool clean);
    // The window's remembered answers to sites: site + " " + what.
    const std::map<std::string, bool>& PermissionAnswers() const { return permissions_; }

    // Zoom by one step in or out (0 back to 100 per cent).
    void Zoom(int direction);
    void FocusAddress();
    void ToggleFullScreen();

    // What the window shows, for the program's own checks and tests.
    WebControl& wb01() { return *current_->control; }
    controls::TComboSx& cbURL() { return cbURL_; }
    controls::TSpeedRx& spGO() { return spGO_; }
    Gtk::Menu& mP() { return mP_; }
    Gtk::Menu& mF() { return mF_; }
    Gtk::Widget& tbTool() { return tbTool_; }
    Gtk::Widget& ToolBar1() { return toolBar1_; }
    Gtk::Widget& sbLow() { return sbLow_; }
    Gtk::ToolButton& tbBack() { return tbBack_; }
    Gtk::ToolButton& tbForw() { return tbForw_; }
    TFindBar& FindBar() { return findBar_; }
    Gtk::Label& ZoomLabel() { return zoomLabel_; }
    // "3 blocked" beside the status text while the current page has any.
    Gtk::Label& BlockedLabel() { return blockedLabel_; }
    controls::TSplitBar& pTop() { return pTop_; }
    bool FullScreen() const { return fullScreen_; }
    std::string StatusText() const { return statusText_; }
    const std::string& FHome() const { return fHome_; }
    bool FUserNavigate() const { return current_->userNavigate; }
    bool ActionEnabled(int tag) const;
    bool ActionChecked(int tag) const;
    std::vector<std::string> UrlItems() const;
    // Whether the start-up message has been handled.
    bool StartedHome() const { return startedHome_; }

private:
    void BuildActions();
    void BuildTopBar();
    void BuildMenus();
    void FormCreate();
    void FormDestroy();
    void RestoreSettings();
    void WMStartHome();
    void StartPages();
    void SetChecked(int tag, bool checked);
    void SetEnabled(int tag, bool enabled);
    void NavigateTo(const std::string& url);
    void Step(bool forward);
    bool FocusInEditable();
    bool WindowButtonPress(guint button);

    // History, bookmarks, completion and blocking (Web010Places.cpp).
    void RecordVisit(TWebTab& tab, const std::string& url);
    void RecordTitle(TWebTab& tab, const std::string& title);
    void AddressEdited();
    bool SuggestionKey(guint key);
    void GoTyped(const std::string& text);
    void FillBookmarksMenu();
    void ClearBookmarksMenu();
    void ImportBookmarks();
    void ExportBookmarks();
    void ShowBlockingState();

    // Tabs (Web010Tabs.cpp).
    TWebTab& AddTab(std::unique_ptr<WebControl> control, bool foreground, int position, const ClosedTab& what = {});
    void BindControl(TWebTab& tab);
    void UnbindControl(TWebTab& tab);
    void ShowTab(TWebTab* tab);
    void LoadTab(TWebTab& tab);
    void NavigateTab(TWebTab& tab, const std::string& url);
    void UnloadTab(TWebTab& tab);
    void RemoveTab(TWebTab& tab);
    void TabClosed(TWebTab& tab);
    void AskNextToClose();
    int IndexOf(const TWebTab& tab) const;
    void ShowTabStrip();
    void AskPermission(TWebTab& tab);
    void Permission(TWebTab& tab, const std::string& site, const std::string& what, std::function<void(bool)> answer);
    void Responsive(TWebTab& tab, bool responsive);
    void PopupBlocked(TWebTab& tab, const std::string& url);
    void SessionChanged();
    bool RestoreSession();
    bool TabsChanged();
    void ReadTabSettings();
    void PopupEdit(const GdkEvent* event);
    bool FrameButtonPress(GdkEventButton* event);
    void LoadGoGlyph();
    void ShowZoom();
    void ShowBlocked();
    void BlockedCount(TWebTab& tab, int blocked);
    bool PageScroll(GdkEventScroll* event);

    // Control events.
    void wb01BeforeNavigate2(TWebTab& tab, const std::string& url);
    void wb01StatusTextChange(TWebTab& tab, const std::string& text);
    void wb01TitleChange(TWebTab& tab, const std::string& text);
    void wb01DocumentComplete(TWebTab& tab, const std::string& url);
    void wb01CommandStateChange(TWebTab& tab, int command, bool enable);
    void wb01FindResult(TWebTab& tab, int matches);

    std::vector<std::unique_ptr<TWebTab>> tabs_;  // in the tab strip's order
    TWebTab* current_ = nullptr;
    WebControlFactory factory_;
    std::vector<ClosedTab> closed_;
    std::map<std::string, bool> permissions_;
    std::function<void(const std::string&, const std::string&)> notifier_;
    std::string sessionFile_;
    std::string savedSession_;  // what the session file holds now
    sigc::connection sessionSave_;
    sigc::connection unloadTimer_;
    int64_t unloadAfter_ = 30 * 60;
    bool closingWindow_ = false;
    size_t closeAsk_ = 0;
    sigc::connection closeWait_;
    sigc::connection closeIdle_;
    sigc::connection switchPage_;
    std::vector<TWebTab*> pendingClose_;  // pages that closed themselves, removed from the main loop
    bool ending_ = false;
    Glib::RefPtr<Gtk::GestureMultiPress> sideButtons_;
    std::unique_ptr<platform::IPlacementForm> placement_;
    Glib::RefPtr<Gio::SimpleActionGroup> ac_;
    std::map<int, Glib::RefPtr<Gio::SimpleAction>> actions_;

    Gtk::Box client_{Gtk::ORIENTATION_VERTICAL};
    controls::TSplitBar pTop_;
    Gtk::Box left_{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::Box right_{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::Box toolBar1_{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::MenuButton toolButton2_;
    Gtk::MenuButton toolButton3_;
    Gtk::Toolbar tbTool_;
    Gtk::ToolButton tbBack_, tbForw_, tbStop_, tbRefresh_, tbHome_;
    controls::TComboSx cbURL_;
    controls::TSpeedRx spGO_;
    Gtk::Notebook notebook_;
    TFindBar findBar_;
    Gtk::Statusbar sbLow_;
    Gtk::Label zoomLabel_;
    Gtk::Label blockedLabel_;
    Gtk::Menu mP_;
    Gtk::Menu mF_;
    Gtk::Menu mB_;  // the File menu's bookmarks
    std::vector<std::unique_ptr<Gtk::Widget>> bookmarkItems_;  // mB_'s bookmarks and folders
    Gtk::CheckMenuItem* blockItem_ = nullptr;
    Gtk::MenuItem* bookmarksItem_ = nullptr;  // the File menu's, holding mB_
    bool showingBlocking_ = false;
    TBrowsingMemory memory_;
    TAddressSuggestions suggestions_;
    sigc::connection addressFocusOut_;
    std::string typed_;  // the address box's text as the user typed it, while a row is picked
    std::unique_ptr<TBookmarkDialog> bookmarkBox_;
    std::unique_ptr<Gtk::Dialog> clearBox_;
    bool blockingSettled_ = false;  // the filter is ready, or will not be
    bool startWaiting_ = false;     // the first pages wait for it
    sigc::connection blockingWait_;
    Glib::Dispatcher completionReady_;  // from the thread that built the index
    sigc::connection completionShown_;
    static constexpr unsigned kBlockingWaitMilliseconds = 3000;
    static constexpr unsigned kReloadAfterBlockingMilliseconds = 300;
    std::shared_ptr<int> resolving_;  // the typed word being looked up; reset to forget the answer
    std::vector<std::unique_ptr<Gtk::MenuItem>> items_;

    std::string fHome_;
    // What the restore read: the save at exit writes the window's keys only
    // after a restore that went through, and removes only URL list entries
    // that the restore had read; another window's additions made since are
    // merged in.
    bool settingsRestored_ = false;
    std::vector<std::string> urlsRead_;
    std::string statusText_;
    bool startedHome_ = false;
    sigc::connection startHome_;
    sigc::connection goGlyph_;
    std::string startUrl_;
    bool keepNothing_ = false;
    bool fullScreen_ = false;
    double scrolled_ = 0;  // Ctrl+wheel travel not yet turned into a zoom step
};

} // namespace browser

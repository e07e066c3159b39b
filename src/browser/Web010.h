#pragma once
// TWeb010, the main browser window: the address box with its list of
// recently used URLs, the navigation tool bar, the File and Edit menus, the
// status bar, and the web control filling the rest. Every command runs
// through SbAct; the control's events keep the window in step with it. The
// window restores its settings when it is created and saves them when it
// is destroyed.
#include "browser/FindBar.h"
#include "browser/WebControl.h"
#include "controls/ComboSx.h"
#include "controls/SpeedRx.h"
#include "controls/SplitBar.h"
#include "platform/Placement.h"

#include <giomm/simpleaction.h>
#include <giomm/simpleactiongroup.h>
#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <gtkmm/menu.h>
#include <gtkmm/menubutton.h>
#include <gtkmm/statusbar.h>
#include <gtkmm/toolbar.h>
#include <gtkmm/toolbutton.h>
#include <gtkmm/window.h>

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
    tagAbout = 80, tagSave = 82, tagPrintPreview = 92, tagPrint = 93, tagPageSetup = 94, tagClose = 99,
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

    // Zoom by one step in or out (0 back to 100 per cent).
    void Zoom(int direction);
    void FocusAddress();
    void ToggleFullScreen();

    // What the window shows, for the program's own checks and tests.
    WebControl& wb01() { return *wb01_; }
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
    controls::TSplitBar& pTop() { return pTop_; }
    bool FullScreen() const { return fullScreen_; }
    std::string StatusText() const { return statusText_; }
    const std::string& FHome() const { return fHome_; }
    bool FUserNavigate() const { return fUserNavigate_; }
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
    void SetChecked(int tag, bool checked);
    void SetEnabled(int tag, bool enabled);
    void NavigateTo(const std::string& url);
    void PopupEdit(const GdkEvent* event);
    bool FrameButtonPress(GdkEventButton* event);
    void LoadGoGlyph();
    void ShowZoom();
    bool PageScroll(GdkEventScroll* event);

    // Control events.
    void wb01BeforeNavigate2(const std::string& url);
    void wb01StatusTextChange(const std::string& text);
    void wb01TitleChange(const std::string& text);
    void wb01DocumentComplete(const std::string& url);
    void wb01CommandStateChange(int command, bool enable);
    void wb01FindResult(int matches);

    std::unique_ptr<WebControl> wb01_;
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
    TFindBar findBar_;
    Gtk::Statusbar sbLow_;
    Gtk::Label zoomLabel_;
    Gtk::Menu mP_;
    Gtk::Menu mF_;
    std::vector<std::unique_ptr<Gtk::MenuItem>> items_;

    std::string fHome_;
    // What the restore read: the save at exit writes the window's keys only
    // after a restore that went through, and removes only URL list entries
    // that the restore had read; another window's additions made since are
    // merged in.
    bool settingsRestored_ = false;
    std::vector<std::string> urlsRead_;
    bool fUserNavigate_ = false;
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

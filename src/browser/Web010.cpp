#include "browser/Web010.h"

#include "browser/AppErrors.h"
#include "browser/StartPage.h"
#include "browser/Web080.h"
#include "controls/GlyphStrip.h"
#include "gtk/GtkPlacement.h"
#include "platform/SysUtils.h"

#include <gdk/gdkkeysyms.h>
#include <gdkmm/seat.h>
#include <glibmm/main.h>
#include <gtkmm/checkmenuitem.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/separatormenuitem.h>

#include <algorithm>

namespace browser {

using platform::TVariant;

namespace {

struct ActionDef {
    const char* name;
    int tag;
    const char* caption;
    const char* hint;
    const char* icon;
    bool checkable;
};

const char* kIconBack = "go-previous";
const char* kIconForward = "go-next";
const char* kIconStop = "process-stop";
const char* kIconRefresh = "view-refresh";
const char* kIconHome = "go-home";

// The actions in their list order: name, tag, caption, hint, image, check mark.
const ActionDef kActions[] = {
    {"acBack", tagBack, "Back", "Show previous entry in history list", kIconBack, false},
    {"acForw", tagForward, "Forward", "Show next entry in hostory list", kIconForward, false},
    {"acStop", tagStop, "Stop", "Try to stop the file downloads", kIconStop, false},
    {"acRfs", tagRefresh, "Refresh", "Reload current page", kIconRefresh, false},
    {"acTool", tagToolbar, "Toolbar", "Show / Hide toolbar", nullptr, true},
    {"acSts", tagStatusbar, "Statusbar", "Show / Hide statusbar", nullptr, true},
    {"acAbt", tagAbout, "About ...", "Show about screen", nullptr, false},
    {"acHome", tagHome, "Home", "Goto home page", kIconHome, false},
    {"acFav", tagFavorites, "Favorites", "Show favorites", "user-bookmarks", false},
    {"acHis", tagHistory, "History", "Show history list", "document-open-recent", false},
    {"ac082", tagSave, "Logs", "", nullptr, false},
    {"acsHome", tagSetHome, "Set home page", "", nullptr, false},
};

const ActionDef& ActionOf(int tag) {
    for (const ActionDef& d : kActions)
        if (d.tag == tag) return d;
    throw platform::Exception("No action with tag " + std::to_string(tag));
}

}  // namespace

TWeb010::TWeb010(std::unique_ptr<WebControl> control)
    : wb01_(std::move(control)), fHome_(kStartPageUrl) {
    set_name("Web010");
    set_title("Qel Browser");
    set_icon_name("qelbrowser");  // the installed icon, where there is one
    set_default_size(767, 385);
    move(23, 159);

    BuildActions();
    BuildMenus();
    BuildTopBar();

    sbLow_.set_size_request(-1, 19);
    sbLow_.set_margin_top(0);
    sbLow_.set_margin_bottom(0);
    // Beside the one panel, only while the page is zoomed.
    zoomLabel_.set_no_show_all(true);
    sbLow_.pack_end(zoomLabel_, Gtk::PACK_SHRINK);

    client_.pack_start(pTop_, Gtk::PACK_SHRINK);
    client_.pack_start(wb01_->Widget(), Gtk::PACK_EXPAND_WIDGET);
    client_.pack_start(findBar_, Gtk::PACK_SHRINK);
    client_.pack_end(sbLow_, Gtk::PACK_SHRINK);
    add(client_);
    show_all_children();

    // Key preview: the window sees every key before the focused widget;
    // the everyday keys come after the form's own.
    signal_key_press_event().connect(
        [this](GdkEventKey* e) {
            bool consumed = false;
            RunGuarded([&] { consumed = FormKeyDown(e->keyval, GdkModifierType(e->state)); });
            if (!consumed) RunGuarded([&] { consumed = ShortcutKeyDown(e->keyval, GdkModifierType(e->state)); });
            return consumed;
        },
        false);
    signal_window_state_event().connect([this](GdkEventWindowState* e) {
        fullScreen_ = (e->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) != 0;
        return false;
    });
    wb01_->Widget().signal_scroll_event().connect(sigc::mem_fun(*this, &TWeb010::PageScroll), false);
    findBar_.OnFind = [this](const std::string& text, bool backwards, bool matchCase) {
        wb01_->Find(text, backwards, matchCase);
    };
    findBar_.OnClose = [this] {
        wb01_->FindFinish();
        wb01_->Widget().grab_focus();
    };
    // The frame's context menu; the page keeps the engine's own.
    signal_button_press_event().connect(sigc::mem_fun(*this, &TWeb010::FrameButtonPress), true);
    add_events(Gdk::BUTTON_PRESS_MASK);

    wb01_->OnBeforeNavigate2 = Guarded<const std::string&>([this](const std::string& u) { wb01BeforeNavigate2(u); });
    wb01_->OnStatusTextChange = Guarded<const std::string&>([this](const std::string& t) { wb01StatusTextChange(t); });
    wb01_->OnTitleChange = Guarded<const std::string&>([this](const std::string& t) { wb01TitleChange(t); });
    wb01_->OnDocumentComplete = Guarded<const std::string&>([this](const std::string& u) { wb01DocumentComplete(u); });
    wb01_->OnCommandStateChange = Guarded<int, bool>([this](int c, bool e) { wb01CommandStateChange(c, e); });
    wb01_->OnFindResult = Guarded<int>([this](int n) { wb01FindResult(n); });

    // Closing the window ends the main loop; the window itself lives on
    // until its owner destroys it, which saves the settings.
    signal_delete_event().connect([this](GdkEventAny*) {
        hide();
        return true;
    });

    placement_ = std::make_unique<gtkservices::GtkPlacement>(*this, get_name());
    RunGuarded([this] { FormCreate(); });
}

TWeb010::~TWeb010() {
    startHome_.disconnect();
    goGlyph_.disconnect();
    // A private session leaves nothing behind, not even the address list.
    if (!keepNothing_) RunGuarded([this] { FormDestroy(); });
    // The menus go before the buttons that drop them down.
    toolButton2_.unset_popup();
    toolButton3_.unset_popup();
    // The control outlives no handler of ours.
    wb01_->OnBeforeNavigate2 = nullptr;
    wb01_->OnStatusTextChange = nullptr;
    wb01_->OnTitleChange = nullptr;
    wb01_->OnDocumentComplete = nullptr;
    wb01_->OnCommandStateChange = nullptr;
    wb01_->OnFindResult = nullptr;
    findBar_.OnFind = nullptr;
    findBar_.OnClose = nullptr;
}

// ---- building ----------------------------------------------------------------

void TWeb010::BuildActions() {
    ac_ = Gio::SimpleActionGroup::create();
    for (const ActionDef& d : kActions) {
        Glib::RefPtr<Gio::SimpleAction> a =
            d.checkable ? Gio::SimpleAction::create_bool(d.name, true) : Gio::SimpleAction::create(d.name);
        int tag = d.tag;
        a->signal_activate().connect([this, tag](const Glib::VariantBase&) { RunGuarded([=, this] { SbAct(tag); }); });
        ac_->add_action(a);
        actions_[tag] = a;
    }
    insert_action_group("win", ac_);
}

static void BindTool(Gtk::ToolButton& b, int tag) {
    const ActionDef& d = ActionOf(tag);
    b.set_icon_name(d.icon);
    b.set_label(d.caption);
    b.set_tooltip_text(d.hint);
    gtk_actionable_set_action_name(GTK_ACTIONABLE(b.gobj()), (std::string("win.") + d.name).c_str());
    b.set_size_request(37, 26);
}

void TWeb010::BuildTopBar() {
    toolButton2_.set_label("File");
    toolButton2_.set_tooltip_text(ActionOf(tagFavorites).hint);
    toolButton2_.set_popup(mF_);
    toolButton2_.set_relief(Gtk::RELIEF_NONE);
    toolButton3_.set_label("Edit");
    toolButton3_.set_tooltip_text(ActionOf(tagHistory).hint);
    toolButton3_.set_popup(mP_);
    toolButton3_.set_relief(Gtk::RELIEF_NONE);
    toolBar1_.set_margin_start(5);
    toolBar1_.pack_start(toolButton2_, Gtk::PACK_SHRINK);
    toolBar1_.pack_start(toolButton3_, Gtk::PACK_SHRINK);

    BindTool(tbBack_, tagBack);
    BindTool(tbForw_, tagForward);
    BindTool(tbStop_, tagStop);
    BindTool(tbRefresh_, tagRefresh);
    BindTool(tbHome_, tagHome);
    tbTool_.set_toolbar_style(Gtk::TOOLBAR_ICONS);
    tbTool_.set_icon_size(Gtk::ICON_SIZE_SMALL_TOOLBAR);
    tbTool_.set_show_arrow(false);
    tbTool_.set_margin_start(5);
    for (Gtk::ToolButton* b : {&tbBack_, &tbForw_, &tbStop_, &tbRefresh_, &tbHome_}) tbTool_.append(*b);

    left_.pack_start(toolBar1_, Gtk::PACK_SHRINK);
    left_.pack_start(tbTool_, Gtk::PACK_SHRINK);

    cbURL_.set_name("cbURL");
    cbURL_.SetText("cbURL");
    cbURL_.set_size_request(60, -1);
    cbURL_.OnDblClick = [this](Gtk::Widget&) { RunGuarded([this] { cbURLClick(); }); };
    cbURL_.OnKeyDown = [this](Gtk::Widget&, GdkEventKey* e) {
        bool consumed = false;
        RunGuarded([&] { consumed = cbURLKeyDown(e->keyval); });
        return consumed;
    };
    spGO_.set_name("spGO");
    spGO_.SetCaption("GO");
    spGO_.SetFlat(true);
    spGO_.set_size_request(48, 26);
    spGO_.SetSpacing(2);
    // Narrow padding, so that picture and caption fit the form's 48 pixels.
    auto narrow = Gtk::CssProvider::create();
    narrow->load_from_data("button { min-width: 0; min-height: 0; padding: 0 2px; }");
    spGO_.get_style_context()->add_provider(narrow, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    spGO_.signal_clicked().connect([this] { RunGuarded([this] { cbURLClick(); }); });
    // Drawn in the button's own colours, known once it is on the screen,
    // and again when the theme changes; the first time right after the
    // start-up message, so that the page does not wait for the picture.
    spGO_.signal_realize().connect([this] {
        goGlyph_ = Glib::signal_idle().connect(
            [this] {
                LoadGoGlyph();
                return false;
            },
            Glib::PRIORITY_DEFAULT + 1);
    });
    spGO_.signal_style_updated().connect([this] {
        if (spGO_.get_realized()) LoadGoGlyph();
    });
    right_.pack_start(cbURL_, Gtk::PACK_EXPAND_WIDGET);
    right_.pack_start(spGO_, Gtk::PACK_SHRINK);

    // The splitter sits left of the address box: dragging it widens or
    // narrows the box, the GO button keeps its place at the right edge,
    // and the box keeps its width whenever the window leaves room for it.
    pTop_.set_name("pTop");
    pTop_.pack1(left_, true, false);
    pTop_.pack2(right_, false, false);
    pTop_.set_size_request(-1, 28);
    pTop_.SetRightWidth(316 + 48);
}

void TWeb010::LoadGoGlyph() {
    // The theme's "go" picture, in the text colour of the button.
    auto icon = controls::ThemedIcon("go-jump-symbolic", 16, spGO_.get_style_context());
    if (!icon) icon = controls::ThemedIcon("go-next-symbolic", 16, spGO_.get_style_context());
    if (icon) spGO_.SetGlyph(controls::GlyphStrip(icon));
}

void TWeb010::BuildMenus() {
    auto bound = [this](Gtk::Menu& menu, int tag, const char* ownHint = nullptr) {
        const ActionDef& d = ActionOf(tag);
        std::unique_ptr<Gtk::MenuItem> item;
        if (d.checkable)
            item = std::make_unique<Gtk::CheckMenuItem>(d.caption);
        else
            item = std::make_unique<Gtk::MenuItem>(d.caption);
        gtk_actionable_set_action_name(GTK_ACTIONABLE(item->gobj()), (std::string("win.") + d.name).c_str());
        const char* hint = ownHint ? ownHint : d.hint;
        if (hint && *hint) item->set_tooltip_text(hint);
        menu.append(*item);
        items_.push_back(std::move(item));
    };
    auto separator = [this](Gtk::Menu& menu) {
        auto item = std::make_unique<Gtk::SeparatorMenuItem>();
        menu.append(*item);
        items_.push_back(std::move(item));
    };
    // The File menu's items run the command with their own tags.
    auto own = [this](Gtk::Menu& menu, int tag, const char* caption, const char* hint) {
        auto item = std::make_unique<Gtk::MenuItem>(caption);
        if (hint) item->set_tooltip_text(hint);
        item->signal_activate().connect([this, tag] { RunGuarded([=, this] { SbAct(tag); }); });
        menu.append(*item);
        items_.push_back(std::move(item));
    };

    bound(mP_, tagSave);  // "Logs"
    bound(mP_, tagBack);
    bound(mP_, tagForward);
    separator(mP_);
    bound(mP_, tagStop);
    bound(mP_, tagRefresh);
    separator(mP_);
    bound(mP_, tagToolbar);
    bound(mP_, tagStatusbar);
    separator(mP_);
    bound(mP_, tagSetHome, "Set URL from combobox as your new homepage");
    bound(mP_, tagAbout);
    mP_.show_all();

    own(mF_, tagSave, "Save ...", "Save page");
    separator(mF_);
    own(mF_, tagPrintPreview, "Print preview ...", nullptr);
    own(mF_, tagPrint, "Print ...", nullptr);
    own(mF_, tagPageSetup, "Page setup ...", nullptr);
    separator(mF_);
    own(mF_, tagClose, "Close", nullptr);
    mF_.show_all();
}

// ---- actions -----------------------------------------------------------------

bool TWeb010::ActionEnabled(int tag) const {
    auto it = actions_.find(tag);
    return it != actions_.end() && it->second->get_enabled();
}

bool TWeb010::ActionChecked(int tag) const {
    auto it = actions_.find(tag);
    if (it == actions_.end() || !ActionOf(tag).checkable) return false;
    bool v = false;
    it->second->get_state(v);
    return v;
}

void TWeb010::SetChecked(int tag, bool checked) { actions_.at(tag)->change_state(checked); }

void TWeb010::SetEnabled(int tag, bool enabled) { actions_.at(tag)->set_enabled(enabled); }

std::vector<std::string> TWeb010::UrlItems() const {
    std::vector<std::string> items;
    for (int i = 0; i < cbURL_.ItemCount(); ++i) items.push_back(cbURL_.Item(i));
    return items;
}

// ---- start-up ----------------------------------------------------------------

void TWeb010::FormCreate() {
    // The control already fills the client area between the bars.
    RestoreSettings();
    // Posted, not run here: the first navigation waits for the main loop.
    // Like a posted message it comes before the window's first painting, so
    // that the page starts loading while the window draws itself.
    startHome_ = Glib::signal_idle().connect(
        [this] {
            RunGuarded([this] { WMStartHome(); });
            return false;
        },
        Glib::PRIORITY_DEFAULT);
}

void TWeb010::WMStartHome() {
    startHome_.disconnect();
    startedHome_ = true;
    // An address on the command line stands in for the home page.
    cbURL_.SetText(startUrl_.empty() ? fHome_ : startUrl_);
    GoURL();
}

void TWeb010::GoURL() {
    fUserNavigate_ = true;
    NavigateTo(cbURL_.Text());
}

void TWeb010::NavigateTo(const std::string& url) {
    const TVariant zero(0);
    wb01_->Navigate(url, zero, zero, zero, zero);
}

// ---- commands ----------------------------------------------------------------

void TWeb010::SbAct(int tag) {
    switch (tag) {
    case tagBack: wb01_->GoBack(); break;
    case tagForward: wb01_->GoForward(); break;
    case tagHome: NavigateTo(fHome_); break;
    case tagStop: wb01_->Stop(); break;
    case tagRefresh: wb01_->Refresh2(TVariant(0)); break;
    case tagToolbar:
        SetChecked(tagToolbar, !ActionChecked(tagToolbar));
        tbTool_.set_visible(ActionChecked(tagToolbar));
        break;
    case tagStatusbar:
        SetChecked(tagStatusbar, !ActionChecked(tagStatusbar));
        sbLow_.set_visible(ActionChecked(tagStatusbar));
        break;
    case tagSetHome: {
        std::string home = platform::Trim(cbURL_.Text());
        if (!home.empty()) fHome_ = home;
        break;
    }
    case tagFavorites:
    case tagHistory:
        break;  // the buttons' whole effect is their drop-down menu
    case tagAbout: ShowAbout(*this); break;
    case tagSave: wb01_->ExecWB(OLECMDID_SAVEAS, OLECMDEXECOPT_PROMPTUSER); break;
    case tagPrintPreview: wb01_->ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_PROMPTUSER); break;
    case tagPrint: wb01_->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER); break;
    case tagPageSetup: wb01_->ExecWB(OLECMDID_PAGESETUP, OLECMDEXECOPT_PROMPTUSER); break;
    case tagClose: close(); break;
    default: break;
    }
}

bool TWeb010::cbURLKeyDown(guint key) {
    if (key == GDK_KEY_Return || key == GDK_KEY_KP_Enter) GoURL();
    return false;
}

void TWeb010::cbURLClick() { GoURL(); }

bool TWeb010::FormKeyDown(guint key, GdkModifierType state) {
    const unsigned mods = state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_MOD1_MASK);
    if (mods != GDK_CONTROL_MASK) return false;
    switch (key) {
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        if (ActionEnabled(tagForward)) SbAct(tagForward);  // the button follows the action
        break;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        if (ActionEnabled(tagBack)) SbAct(tagBack);
        break;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        PopupEdit(nullptr);
        break;
    default: break;
    }
    return false;  // the focused widget still gets the key
}

void TWeb010::PopupEdit(const GdkEvent* event) {
    if (event) {
        mP_.popup_at_pointer(event);
        return;
    }
    // Where the mouse pointer is now, in or outside the window.
    auto seat = get_display()->get_default_seat();
    auto pointer = seat ? seat->get_pointer() : Glib::RefPtr<Gdk::Device>();
    if (!pointer || !get_window()) {
        mP_.popup_at_pointer(nullptr);
        return;
    }
    int x = 0, y = 0;
    Gdk::ModifierType mask;
    get_window()->get_device_position(pointer, x, y, mask);
    Gdk::Rectangle at(x, y, 1, 1);
    GdkEvent* current = gtk_get_current_event();
    mP_.popup_at_rect(get_window(), at, Gdk::GRAVITY_NORTH_WEST, Gdk::GRAVITY_NORTH_WEST, current);
    if (current) gdk_event_free(current);
}

bool TWeb010::FrameButtonPress(GdkEventButton* event) {
    if (event->type != GDK_BUTTON_PRESS || event->button != 3) return false;
    RunGuarded([&] { PopupEdit(reinterpret_cast<GdkEvent*>(event)); });
    return true;
}

// ---- control events ----------------------------------------------------------

void TWeb010::wb01BeforeNavigate2(const std::string& url) {
    if (fUserNavigate_) {
        fUserNavigate_ = false;
        int p = cbURL_.IndexOfText(url);
        if (p >= 0) {
            if (p > 0) cbURL_.MoveItem(p, 0);
        } else {
            while (cbURL_.ItemCount() > 50) cbURL_.DeleteItem(cbURL_.ItemCount() - 1);
            cbURL_.InsertItem(0, url);
        }
    }
    wb01StatusTextChange(url);
}

void TWeb010::wb01StatusTextChange(const std::string& text) {
    statusText_ = text;
    sbLow_.remove_all_messages();
    sbLow_.push(text);
}

void TWeb010::wb01TitleChange(const std::string& text) { set_title(text); }

void TWeb010::wb01DocumentComplete(const std::string& url) { cbURL_.SetText(url); }

void TWeb010::wb01CommandStateChange(int command, bool enable) {
    switch (command) {
    case CSC_UPDATECOMMANDS: {
        bool busy = wb01_->Busy();
        if (busy != ActionEnabled(tagStop)) {
            SetEnabled(tagStop, busy);
            if (!busy) cbURL_.SetText(wb01_->LocationURL());
        }
        break;
    }
    case CSC_NAVIGATEFORWARD: SetEnabled(tagForward, enable); break;
    case CSC_NAVIGATEBACK: SetEnabled(tagBack, enable); break;
    default: break;
    }
}

} // namespace browser

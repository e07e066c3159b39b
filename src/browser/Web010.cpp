#include "browser/Web010.h"

#include "browser/AppErrors.h"
#include "browser/StartPage.h"
#include "browser/Web010Actions.h"
#include "browser/Web080.h"
#include "controls/GlyphStrip.h"
#include "gtk/GtkPlacement.h"
#include "platform/SysUtils.h"

#include <gdk/gdkkeysyms.h>
#include <gdkmm/seat.h>
#include <glibmm/main.h>
#include <gtkmm/accellabel.h>
#include <gtkmm/checkmenuitem.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/separatormenuitem.h>

#include <algorithm>

namespace browser {

using platform::TVariant;

TWeb010::TWeb010(std::unique_ptr<WebControl> control) : fHome_(kStartPageUrl) {
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
    blockedLabel_.set_no_show_all(true);
    sbLow_.pack_end(blockedLabel_, Gtk::PACK_SHRINK);

    // With one page the strip and its border are not there: the page fills
    // the place the form gives the control.
    notebook_.set_name("wb01Tabs");
    notebook_.set_show_border(false);
    notebook_.set_show_tabs(false);
    notebook_.set_scrollable(true);
    switchPage_ = notebook_.signal_switch_page().connect([this](Gtk::Widget* page, guint) {
        for (auto& t : tabs_)
            if (&t->page == page) RunGuarded([&] { ShowTab(t.get()); });
    });
    notebook_.signal_page_reordered().connect([this](Gtk::Widget*, guint) {
        std::vector<std::unique_ptr<TWebTab>> ordered;
        for (int i = 0; i < notebook_.get_n_pages(); ++i)
            for (auto& t : tabs_)
                if (t && &t->page == notebook_.get_nth_page(i)) ordered.push_back(std::move(t));
        tabs_ = std::move(ordered);
        SessionChanged();
    });

    client_.pack_start(pTop_, Gtk::PACK_SHRINK);
    client_.pack_start(notebook_, Gtk::PACK_EXPAND_WIDGET);
    client_.pack_start(findBar_, Gtk::PACK_SHRINK);
    client_.pack_end(sbLow_, Gtk::PACK_SHRINK);
    add(client_);
    AddTab(std::move(control), true, 0);
    show_all_children();
    // The page comes first in the tab order: it has the keyboard at start.
    wb01().Widget().set_can_focus(true);
    wb01().Widget().grab_focus();

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
    findBar_.OnFind = [this](const std::string& text, bool backwards, bool matchCase) {
        wb01().Find(text, backwards, matchCase);
    };
    findBar_.OnClose = [this] {
        wb01().FindFinish();
        wb01().Widget().grab_focus();
    };
    // The frame's context menu; the page keeps the engine's own.
    signal_button_press_event().connect(sigc::mem_fun(*this, &TWeb010::FrameButtonPress), true);
    add_events(Gdk::BUTTON_PRESS_MASK);
    // The mouse's back and forward buttons, before the page sees them.
    sideButtons_ = Gtk::GestureMultiPress::create(*this);
    sideButtons_->set_button(0);
    sideButtons_->set_propagation_phase(Gtk::PHASE_CAPTURE);
    sideButtons_->signal_pressed().connect([this](int, double, double) {
        guint button = sideButtons_->get_current_button();
        bool used = false;
        RunGuarded([&] { used = WindowButtonPress(button); });
        if (used) sideButtons_->set_state(Gtk::EVENT_SEQUENCE_CLAIMED);
    });

    // Closing the window asks the pages first; once all may go, the main
    // loop ends, and the window itself lives on until its owner destroys
    // it, which saves the settings.
    signal_delete_event().connect([this](GdkEventAny*) {
        RunGuarded([this] { CloseWindow(); });
        return true;
    });

    placement_ = std::make_unique<gtkservices::GtkPlacement>(*this, get_name());
    RunGuarded([this] { FormCreate(); });
}

TWeb010::~TWeb010() {
    if (memory_.completion) memory_.completion->SetOnReady(nullptr);
    startHome_.disconnect();
    blockingWait_.disconnect();
    goGlyph_.disconnect();
    sessionSave_.disconnect();
    unloadTimer_.disconnect();
    closeWait_.disconnect();
    closeIdle_.disconnect();
    // A private session leaves nothing behind, not even the address list.
    if (!keepNothing_) RunGuarded([this] { FormDestroy(); });
    if (!keepNothing_) RunGuarded([this] { SaveSession(true); });
    // The bookmarks' menus are the window's own, not their items'.
    ClearBookmarksMenu();
    if (bookmarksItem_) bookmarksItem_->unset_submenu();
    addressFocusOut_.disconnect();
    cbURL_.OnChange = nullptr;
    suggestions_.OnPick = nullptr;
    // The menus go before the buttons that drop them down.
    toolButton2_.unset_popup();
    toolButton3_.unset_popup();
    suggestions_.Close();
    resolving_.reset();
    // The controls outlive no handler of ours; the strip, emptied, shows no
    // other tab on the way (which would load its page).
    ending_ = true;
    switchPage_.disconnect();
    for (auto& t : tabs_) UnbindControl(*t);
    while (!tabs_.empty()) {
        notebook_.remove_page(tabs_.back()->page);
        tabs_.pop_back();
    }
    sessionSave_.disconnect();
    closeIdle_.disconnect();
    findBar_.OnFind = nullptr;
    findBar_.OnClose = nullptr;
}

// ---- building ----------------------------------------------------------------

void TWeb010::BuildActions() {
    ac_ = Gio::SimpleActionGroup::create();
    for (const ActionDef& d : Actions()) {
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
        RunGuarded([&] { consumed = SuggestionKey(e->keyval) || cbURLKeyDown(e->keyval); });
        return consumed;
    };
    cbURL_.OnChange = [this](Gtk::Widget&) { RunGuarded([this] { AddressEdited(); }); };
    addressFocusOut_ = cbURL_.get_entry()->signal_focus_out_event().connect([this](GdkEventFocus*) {
        suggestions_.Close();
        return false;
    });
    suggestions_.OnPick = [this](const places::TCompletionItem& item) {
        cbURL_.SetText(item.Address);
        GoURL();
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
    // Every item runs its action and shows the action's first key.
    auto bound = [this](Gtk::Menu& menu, int tag, const char* ownHint = nullptr, const char* ownCaption = nullptr) {
        const ActionDef& d = ActionOf(tag);
        const char* caption = ownCaption ? ownCaption : d.caption;
        std::unique_ptr<Gtk::MenuItem> item;
        if (d.checkable)
            item = std::make_unique<Gtk::CheckMenuItem>(caption);
        else
            item = std::make_unique<Gtk::MenuItem>(caption);
        gtk_actionable_set_action_name(GTK_ACTIONABLE(item->gobj()), (std::string("win.") + d.name).c_str());
        const char* hint = ownHint ? ownHint : d.hint;
        if (hint && *hint) item->set_tooltip_text(hint);
        guint key = 0;
        GdkModifierType mods = GdkModifierType(0);
        if (FirstKeyOf(tag, key, mods))
            if (auto* label = dynamic_cast<Gtk::AccelLabel*>(item->get_child()))
                label->set_accel(key, Gdk::ModifierType(mods));
        menu.append(*item);
        items_.push_back(std::move(item));
    };
    auto separator = [this](Gtk::Menu& menu) {
        auto item = std::make_unique<Gtk::SeparatorMenuItem>();
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

    bound(mF_, tagSave, "Save page", "Save ...");
    separator(mF_);
    bound(mF_, tagPrintPreview);
    bound(mF_, tagPrint);
    bound(mF_, tagPageSetup);
    separator(mF_);
    // The bookmarks are the File menu's: its button is the favorites' one.
    auto bookmarks = std::make_unique<Gtk::MenuItem>("Bookmarks");
    bookmarks->set_submenu(mB_);
    bookmarksItem_ = bookmarks.get();
    mF_.append(*bookmarks);
    items_.push_back(std::move(bookmarks));
    bound(mF_, tagShowHistory);
    bound(mF_, tagClearHistory);
    separator(mF_);
    auto block = std::make_unique<Gtk::CheckMenuItem>("Block Content on This Site");
    blockItem_ = block.get();
    block->signal_toggled().connect([this] {
        if (showingBlocking_) return;
        RunGuarded([this] { SetBlockingHere(blockItem_->get_active()); });
    });
    mF_.append(*block);
    items_.push_back(std::move(block));
    separator(mF_);
    bound(mF_, tagClose);
    // What the menu shows is read as it drops down: the bookmarks page may
    // have changed the bookmarks, and the page its site.
    mF_.signal_show().connect([this] {
        RunGuarded([this] {
            ShowBlockingState();
            FillBookmarksMenu();
        });
    });
    mF_.show_all();

    bound(mB_, tagBookmarkPage);
    bound(mB_, tagShowBookmarks);
    separator(mB_);
    bound(mB_, tagImportBookmarks);
    bound(mB_, tagExportBookmarks);
    mB_.show_all();
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
    ReadTabSettings();
    // Hidden tabs are looked at once a minute (or sooner, for a shorter time).
    if (unloadAfter_ > 0)
        unloadTimer_ = Glib::signal_timeout().connect_seconds(
            [this] {
                RunGuarded([this] { UnloadIdleTabs(g_get_monotonic_time()); });
                return true;
            },
            static_cast<unsigned>(std::min<int64_t>(unloadAfter_, 60)));
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
    // The first pages wait for the content filter (it loads in a moment
    // once compiled), so that their ads are blocked too; not for ever.
    if (memory_.blocker && !blockingSettled_) {
        startWaiting_ = true;
        blockingWait_ = Glib::signal_timeout().connect(
            [this] {
                RunGuarded([this] { BlockingPrepared(false, ""); });
                return false;
            },
            kBlockingWaitMilliseconds);
        return;
    }
    StartPages();
}

void TWeb010::StartPages() {
    // Pages a crash or a kill left open come back first; an address on the
    // command line then opens beside them.
    if (!keepNothing_ && !sessionFile_.empty() && RestoreSession()) {
        if (!startUrl_.empty()) NewTab(startUrl_, true, true);
        SessionChanged();
        return;
    }
    // An address on the command line stands in for the home page.
    cbURL_.SetText(startUrl_.empty() ? fHome_ : startUrl_);
    GoURL();
    SessionChanged();
}

void TWeb010::GoURL() { GoTyped(cbURL_.Text()); }

void TWeb010::NavigateTo(const std::string& url) {
    const TVariant zero(0);
    wb01().Navigate(url, zero, zero, zero, zero);
}

// ---- commands ----------------------------------------------------------------

void TWeb010::SbAct(int tag) {
    switch (tag) {
    case tagBack: wb01().GoBack(); break;
    case tagForward: wb01().GoForward(); break;
    case tagHome: NavigateTo(fHome_); break;
    case tagStop: wb01().Stop(); break;
    case tagRefresh: wb01().Refresh2(TVariant(0)); break;
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
    case tagSave: wb01().ExecWB(OLECMDID_SAVEAS, OLECMDEXECOPT_PROMPTUSER); break;
    case tagPrintPreview: wb01().ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_PROMPTUSER); break;
    case tagPrint: wb01().ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER); break;
    case tagPageSetup: wb01().ExecWB(OLECMDID_PAGESETUP, OLECMDEXECOPT_PROMPTUSER); break;
    case tagClose: CloseWindow(); break;
    case tagBookmarkPage: BookmarkPage(); break;
    case tagShowBookmarks: ShowPlacesPage("qel:bookmarks"); break;
    case tagImportBookmarks: ImportBookmarks(); break;
    case tagExportBookmarks: ExportBookmarks(); break;
    case tagShowHistory: ShowPlacesPage("qel:history"); break;
    case tagClearHistory: AskClearHistory(); break;
    case tagZoomIn: Zoom(+1); break;
    case tagZoomOut: Zoom(-1); break;
    case tagZoomReset: Zoom(0); break;
    case tagFocusAddress: FocusAddress(); break;
    case tagHardRefresh: wb01().Refresh2(TVariant(REFRESH_COMPLETELY)); break;
    case tagFind: findBar_.Open(); break;
    case tagFindNext: findBar_.FindAgain(false); break;
    case tagFindPrevious: findBar_.FindAgain(true); break;
    case tagNewTab: NewTab(fHome_, true, true); break;
    case tagCloseTab: CloseTab(CurrentTab()); break;
    case tagReopenTab: ReopenClosedTab(); break;
    case tagNextTab: SelectTab((CurrentTab() + 1) % TabCount()); break;
    case tagPreviousTab: SelectTab((CurrentTab() + TabCount() - 1) % TabCount()); break;
    case tagLastTab: SelectTab(TabCount() - 1); break;
    case tagFullScreen: ToggleFullScreen(); break;
    default:
        if (tag >= tagSelectTab1 && tag < tagSelectTab1 + 8) SelectTab(std::min(tag - tagSelectTab1, TabCount() - 1));
        break;
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
        Step(true);
        break;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        Step(false);
        break;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        PopupEdit(nullptr);
        break;
    default: break;
    }
    return false;  // the focused widget still gets the key
}

// Ctrl+Left and Ctrl+Right move by words in text the user edits (the
// address box, the find bar, a page's field) and go back and forward only
// elsewhere, so that typed text is never left behind.
void TWeb010::Step(bool forward) {
    if (FocusInEditable()) return;
    const int tag = forward ? tagForward : tagBack;
    if (!wb01().HasFocus()) {
        if (ActionEnabled(tag)) SbAct(tag);  // the button follows the action
        return;
    }
    TWebTab* asked = current_;
    wb01().FocusInText([this, asked, tag](bool inText) {
        if (inText || asked != current_) return;
        if (ActionEnabled(tag)) SbAct(tag);
    });
}

bool TWeb010::FocusInEditable() {
    Gtk::Widget* focus = get_focus();
    return focus && GTK_IS_EDITABLE(focus->gobj()) && gtk_editable_get_editable(GTK_EDITABLE(focus->gobj()));
}

bool TWeb010::WindowButtonPress(guint button) {
    if (button != 8 && button != 9) return false;
    const int tag = button == 8 ? tagBack : tagForward;
    if (ActionEnabled(tag)) SbAct(tag);
    return true;
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
// Every tab's events keep that tab's state; the window shows it only while
// the tab is the current one.

void TWeb010::wb01BeforeNavigate2(TWebTab& tab, const std::string& url) {
    if (tab.userNavigate) {
        tab.userNavigate = false;
        int p = cbURL_.IndexOfText(url);
        if (p >= 0) {
            if (p > 0) cbURL_.MoveItem(p, 0);
        } else {
            while (cbURL_.ItemCount() > 50) cbURL_.DeleteItem(cbURL_.ItemCount() - 1);
            cbURL_.InsertItem(0, url);
        }
    }
    wb01StatusTextChange(tab, url);
}

void TWeb010::wb01StatusTextChange(TWebTab& tab, const std::string& text) {
    tab.status = text;
    if (&tab != current_) return;
    statusText_ = text;
    sbLow_.remove_all_messages();
    sbLow_.push(text);
}

void TWeb010::wb01TitleChange(TWebTab& tab, const std::string& text) {
    RecordTitle(tab, text);
    tab.caption = text;
    tab.title = text;
    tab.ShowLabel();
    if (&tab == current_) set_title(text);
    SessionChanged();
}

void TWeb010::wb01DocumentComplete(TWebTab& tab, const std::string& url) {
    tab.url = url;
    tab.ShowLabel();
    if (&tab == current_)
        cbURL_.SetText(url);
    else
        tab.address = url;
    SessionChanged();
}

void TWeb010::wb01CommandStateChange(TWebTab& tab, int command, bool enable) {
    const bool shown = &tab == current_;
    switch (command) {
    case CSC_UPDATECOMMANDS: {
        bool busy = tab.control->Busy();
        tab.ShowLoading(busy);
        if (busy != tab.stop) {
            tab.stop = busy;
            if (shown) SetEnabled(tagStop, busy);
            if (!busy) {
                std::string location = tab.control->LocationURL();
                if (shown)
                    cbURL_.SetText(location);
                else
                    tab.address = location;
            }
        }
        break;
    }
    case CSC_NAVIGATEFORWARD:
        tab.forward = enable;
        if (shown) SetEnabled(tagForward, enable);
        break;
    case CSC_NAVIGATEBACK:
        tab.back = enable;
        if (shown) SetEnabled(tagBack, enable);
        break;
    default: break;
    }
}

} // namespace browser

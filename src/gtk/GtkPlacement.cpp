#include "gtk/GtkPlacement.h"

#include <utility>

namespace gtkservices {

using namespace platform;

namespace {
// The show commands of the classic placement record.
constexpr unsigned SW_HIDE = 0;
constexpr unsigned SW_SHOWNORMAL = 1;
constexpr unsigned SW_SHOWMINIMIZED = 2;
constexpr unsigned SW_SHOWMAXIMIZED = 3;
constexpr unsigned SW_MINIMIZE = 6;
constexpr unsigned SW_SHOWMINNOACTIVE = 7;
constexpr unsigned SW_RESTORE = 9;

int StateOf(GdkWindowState s) {
    if (s & GDK_WINDOW_STATE_ICONIFIED) return wsMinimized;
    if (s & (GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN)) return wsMaximized;
    return wsNormal;
}
} // namespace

GtkPlacement::GtkPlacement(Gtk::Window& window, std::string name, int borderStyle)
    : window_(window), name_(std::move(name)), borderStyle_(borderStyle) {
    int x = 0, y = 0, w = 0, h = 0;
    window_.get_position(x, y);
    window_.get_size(w, h);
    normal_ = TRect{x, y, x + w, y + h};
    if (auto gw = window_.get_window()) state_ = StateOf(static_cast<GdkWindowState>(gw->get_state()));
    configure_ = window_.signal_configure_event().connect(sigc::mem_fun(*this, &GtkPlacement::OnConfigure), false);
    windowState_ =
        window_.signal_window_state_event().connect(sigc::mem_fun(*this, &GtkPlacement::OnWindowState), false);
}

GtkPlacement::~GtkPlacement() {
    configure_.disconnect();
    windowState_.disconnect();
}

int GtkPlacement::BorderStyle() const {
    if (borderStyle_ >= 0) return borderStyle_;
    if (!window_.get_decorated()) return bsNone;
    if (window_.get_resizable()) return bsSizeable;
    if (window_.get_type_hint() == Gdk::WINDOW_TYPE_HINT_DIALOG) return bsDialog;
    return bsSingle;
}

int GtkPlacement::Width() const {
    int w = 0, h = 0;
    window_.get_size(w, h);
    return w;
}

int GtkPlacement::Height() const {
    int w = 0, h = 0;
    window_.get_size(w, h);
    return h;
}

int GtkPlacement::GetWindowState() const {
    // A mapped window says what it is; before that, what it was asked to be.
    if (auto gw = window_.get_window(); gw && window_.get_mapped()) {
        return StateOf(static_cast<GdkWindowState>(gw->get_state()));
    }
    return state_;
}

void GtkPlacement::SetWindowState(int state) {
    state_ = state;
    switch (state) {
    case wsMaximized:
        window_.deiconify();
        window_.maximize();
        break;
    case wsMinimized:
        window_.iconify();
        break;
    default:
        // Values other than the three states count as normal.
        state_ = wsNormal;
        window_.unmaximize();
        window_.deiconify();
        break;
    }
}

WindowPlacement GtkPlacement::GetPlacement() const {
    WindowPlacement wp;
    wp.length = 44;
    wp.flags = 0;
    int state = GetWindowState();
    wp.showCmd = state == wsMaximized ? SW_SHOWMAXIMIZED : state == wsMinimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
    wp.ptMinPosition = minPos_;
    wp.ptMaxPosition = maxPos_;
    wp.rcNormalPosition = normal_;
    return wp;
}

void GtkPlacement::SetPlacement(const WindowPlacement& wp) {
    minPos_ = wp.ptMinPosition;
    maxPos_ = wp.ptMaxPosition;
    normal_ = wp.rcNormalPosition;
    previous_ = normal_;
    // A maximized or minimized window keeps its look; the rectangle is where
    // it comes back to. GTK remembers a move and resize made meanwhile.
    window_.move(normal_.left, normal_.top);
    if (normal_.Width() > 0 && normal_.Height() > 0) window_.resize(normal_.Width(), normal_.Height());
    switch (wp.showCmd) {
    case SW_HIDE:
        // The classic call hid the window; here the window's visibility is
        // left to its owner, who restores placement before showing it.
        break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
        SetWindowState(wsMinimized);
        break;
    case SW_SHOWMAXIMIZED:
        SetWindowState(wsMaximized);
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        SetWindowState(wsNormal);
        break;
    default:
        break;
    }
}

void GtkPlacement::TrackNormal() {
    if (GetWindowState() != wsNormal) return;
    auto gw = window_.get_window();
    if (gw && (gw->get_state() & Gdk::WINDOW_STATE_TILED)) return;
    int x = 0, y = 0, w = 0, h = 0;
    window_.get_position(x, y);
    window_.get_size(w, h);
    TRect r{x, y, x + w, y + h};
    if (r != normal_) {
        previous_ = normal_;
        normal_ = r;
    }
}

bool GtkPlacement::OnConfigure(GdkEventConfigure*) {
    TrackNormal();
    return false;
}

bool GtkPlacement::OnWindowState(GdkEventWindowState* event) {
    int now = StateOf(event->new_window_state);
    bool becameMaximized = (event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) &&
                           (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED);
    if (becameMaximized) {
        // Some window managers send the maximized size before they say the
        // window is maximized: that size is not the normal rectangle.
        int w = 0, h = 0;
        window_.get_size(w, h);
        if (normal_.Width() == w && normal_.Height() == h && previous_ != normal_) normal_ = previous_;
    }
    state_ = now;
    return false;
}

} // namespace gtkservices

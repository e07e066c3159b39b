#include "gtk/GtkMessageBox.h"

#include "platform/Sync.h"

#include <glib.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include <utility>
#include <vector>

namespace gtkservices {

using namespace platform;

namespace {
struct ButtonDef {
    const char* label;
    int answer;
};

std::vector<ButtonDef> ButtonsOf(unsigned flags) {
    switch (flags & 0x0F) {
    case MB_OKCANCEL: return {{"_OK", IDOK}, {"_Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE: return {{"_Abort", IDABORT}, {"_Retry", IDRETRY}, {"_Ignore", IDIGNORE}};
    case MB_YESNOCANCEL: return {{"_Yes", IDYES}, {"_No", IDNO}, {"_Cancel", IDCANCEL}};
    case MB_YESNO: return {{"_Yes", IDYES}, {"_No", IDNO}};
    case MB_RETRYCANCEL: return {{"_Retry", IDRETRY}, {"_Cancel", IDCANCEL}};
    default: return {{"_OK", IDOK}};
    }
}

Gtk::MessageType TypeOf(unsigned flags) {
    switch (flags & 0xF0) {
    case MB_ICONHAND: return Gtk::MESSAGE_ERROR;
    case MB_ICONQUESTION: return Gtk::MESSAGE_QUESTION;
    case MB_ICONEXCLAMATION: return Gtk::MESSAGE_WARNING;
    case MB_ICONASTERISK: return Gtk::MESSAGE_INFO;
    default: return Gtk::MESSAGE_OTHER;
    }
}

// The window the box stands over: the program's active window, else its
// first visible one.
Gtk::Window* OwnerWindow() {
    Gtk::Window* first = nullptr;
    for (Gtk::Window* w : Gtk::Window::list_toplevels()) {
        if (!w->get_visible() || w->get_type_hint() == Gdk::WINDOW_TYPE_HINT_TOOLTIP) continue;
        if (w->is_active()) return w;
        if (!first) first = w;
    }
    return first;
}
} // namespace

std::string DisplayText(const std::string& bytes) {
    if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return bytes;
    gchar* valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

int CloseAnswer(unsigned flags) {
    unsigned buttons = flags & 0x0F;
    if (buttons == MB_OK) return IDOK;
    for (const ButtonDef& b : ButtonsOf(flags)) {
        if (b.answer == IDCANCEL) return IDCANCEL;
    }
    return 0;
}

int GtkMessageBox::Show(const std::string& text, const std::string& caption, unsigned flags) {
    // GTK is the main thread's: a box asked for elsewhere is shown there.
    if (!platform::IsMainThread()) {
        int answer = 0;
        platform::Synchronize([&] { answer = Show(text, caption, flags); });
        return answer;
    }
    // A modal dialog holds the input of every window of the program while
    // it is up: the task-modal box of the framework.
    Gtk::MessageDialog dialog(DisplayText(text), false, TypeOf(flags), Gtk::BUTTONS_NONE, true);
    dialog.set_title(DisplayText(caption));
    if (Gtk::Window* owner = OwnerWindow()) {
        dialog.set_transient_for(*owner);
        dialog.set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
    } else {
        dialog.set_position(Gtk::WIN_POS_CENTER);
    }
    if (flags & MB_SYSTEMMODAL) dialog.set_keep_above(true);
    std::vector<ButtonDef> buttons = ButtonsOf(flags);
    for (const ButtonDef& b : buttons) dialog.add_button(b.label, b.answer);
    dialog.set_default_response(buttons.front().answer);
    int closeAnswer = CloseAnswer(flags);
    dialog.set_deletable(closeAnswer != 0);
    for (;;) {
        int response = dialog.run();
        for (const ButtonDef& b : buttons) {
            if (response == b.answer) return response;
        }
        // Esc or the close box: only boxes with a way out may be closed so.
        if (closeAnswer != 0) return closeAnswer;
    }
}

} // namespace gtkservices

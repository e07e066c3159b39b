#include "controls/ComboSx.h"

#include "platform/SysUtils.h"

#include <gtkmm/liststore.h>

#include <algorithm>

namespace controls {

TComboSx::TComboSx() : Gtk::ComboBoxText(true), TControl(static_cast<Gtk::Widget&>(*this)) {
    Gtk::Entry* entry = get_entry();
    // Before the entry's own handlers, so that our owner sees every key and
    // can take it away.
    entry->signal_key_press_event().connect(sigc::mem_fun(*this, &TComboSx::EntryKeyPress), false);
    entry->signal_button_press_event().connect(sigc::mem_fun(*this, &TComboSx::EntryButtonPress), false);
}

std::string TComboSx::Text() const { return const_cast<TComboSx*>(this)->get_entry()->get_text(); }

void TComboSx::SetText(const std::string& text) { get_entry()->set_text(text); }

int TComboSx::ItemCount() const {
    auto model = const_cast<TComboSx*>(this)->get_model();
    return model ? static_cast<int>(model->children().size()) : 0;
}

std::string TComboSx::Item(int index) const {
    if (index < 0 || index >= ItemCount()) return {};
    auto model = const_cast<TComboSx*>(this)->get_model();
    Glib::ustring text;
    model->children()[index]->get_value(0, text);
    return text;
}

void TComboSx::AddItem(const std::string& text) { append(text); }

void TComboSx::InsertItem(int index, const std::string& text) {
    index = std::clamp(index, 0, ItemCount());
    // Inserting moves the active row; the entry's text must stay as typed.
    std::string keep = Text();
    insert(index, text);
    if (Text() != keep) SetText(keep);
}

void TComboSx::DeleteItem(int index) {
    if (index < 0 || index >= ItemCount()) return;
    std::string keep = Text();
    remove_text(index);
    if (Text() != keep) SetText(keep);
}

void TComboSx::MoveItem(int from, int to) {
    int n = ItemCount();
    if (from < 0 || from >= n || to < 0 || to >= n || from == to) return;
    std::string text = Item(from);
    std::string keep = Text();
    remove_text(from);
    insert(to, text);
    if (Text() != keep) SetText(keep);
}

void TComboSx::ClearItems() {
    std::string keep = Text();
    remove_all();
    if (Text() != keep) SetText(keep);
}

int TComboSx::IndexOfText(const std::string& text) const {
    int n = ItemCount();
    for (int i = 0; i < n; ++i) {
        if (platform::SameText(Item(i), text)) return i;
    }
    return -1;
}

bool TComboSx::EntryButtonPress(GdkEventButton* event) {
    if (event->type == GDK_2BUTTON_PRESS && event->button == 1 && OnDblClick) OnDblClick(*this);
    return false;
}

bool TComboSx::EntryKeyPress(GdkEventKey* event) {
    if (OnKeyDown) return OnKeyDown(*this, event);
    return false;
}

} // namespace controls

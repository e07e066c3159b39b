#include "controls/ComboSx.h"

#include "platform/SysUtils.h"

#include <gtkmm/cssprovider.h>
#include <gtkmm/liststore.h>

#include <algorithm>

namespace controls {

TComboSx::TComboSx() : Gtk::ComboBoxText(true), TControl(static_cast<Gtk::Widget&>(*this)) {
    // The drop-down as a list rather than a menu: a menu makes an item for
    // every row as soon as the rows are there, at a cost that grows with the
    // square of their number (10,000 restored URLs kept the window from
    // showing for seconds); a list draws only the rows in view.
    auto css = Gtk::CssProvider::create();
    css->load_from_data("combobox { -GtkComboBox-appears-as-list: 1; }");
    get_style_context()->add_provider(css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    // Taken up now, not when the window is first drawn: the restored rows
    // come before that.
    g_signal_emit_by_name(gobj(), "style-updated");
    Gtk::Entry* entry = get_entry();
    // Before the entry's own handlers, so that our owner sees every key and
    // can take it away.
    entry->signal_key_press_event().connect(sigc::mem_fun(*this, &TComboSx::EntryKeyPress), false);
    entry->signal_button_press_event().connect(sigc::mem_fun(*this, &TComboSx::EntryButtonPress), false);
    // A row picked from the list is active while its text goes in; typing
    // makes the combo box forget its active row first.
    entry->signal_changed().connect([this] {
        if (setting_ == 0 && get_active_row_number() < 0 && OnChange) OnChange(*this);
    });
}

std::string TComboSx::Text() const { return const_cast<TComboSx*>(this)->get_entry()->get_text(); }

void TComboSx::SetText(const std::string& text) {
    ++setting_;
    get_entry()->set_text(text);
    --setting_;
}

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

void TComboSx::AddItems(const std::vector<std::string>& texts) {
    auto old = get_model();
    if (!old || old->get_n_columns() < 1) {
        for (const auto& t : texts) append(t);
        return;
    }
    // The model the combo box shows has watchers of every row that each
    // row added updates: one by one, a list of 4,000 took 18 s. A new model
    // with the same columns is filled first and shown once.
    std::vector<GType> types;
    for (int c = 0; c < old->get_n_columns(); ++c) types.push_back(old->get_column_type(c));
    GtkListStore* fresh = gtk_list_store_newv(static_cast<gint>(types.size()), types.data());
    GtkTreeModel* from = old->gobj();
    GtkTreeIter it;
    for (gboolean more = gtk_tree_model_get_iter_first(from, &it); more; more = gtk_tree_model_iter_next(from, &it)) {
        gchar* text = nullptr;
        gtk_tree_model_get(from, &it, 0, &text, -1);
        gtk_list_store_insert_with_values(fresh, nullptr, -1, 0, text, -1);
        g_free(text);
    }
    for (const auto& t : texts) gtk_list_store_insert_with_values(fresh, nullptr, -1, 0, t.c_str(), -1);
    std::string keep = Text();
    gtk_combo_box_set_model(GTK_COMBO_BOX(gobj()), GTK_TREE_MODEL(fresh));
    g_object_unref(fresh);
    if (Text() != keep) SetText(keep);
}

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

std::vector<std::string> TComboSx::Items() const {
    std::vector<std::string> out;
    auto model = const_cast<TComboSx*>(this)->get_model();
    if (!model) return out;
    // One walk along the rows: asking for row i by number starts from the
    // top each time.
    GtkTreeModel* m = model->gobj();
    GtkTreeIter it;
    for (gboolean more = gtk_tree_model_get_iter_first(m, &it); more; more = gtk_tree_model_iter_next(m, &it)) {
        gchar* text = nullptr;
        gtk_tree_model_get(m, &it, 0, &text, -1);
        out.emplace_back(text ? text : "");
        g_free(text);
    }
    return out;
}

int TComboSx::IndexOfText(const std::string& text) const {
    std::vector<std::string> items = Items();
    for (size_t i = 0; i < items.size(); ++i)
        if (platform::SameText(items[i], text)) return static_cast<int>(i);
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

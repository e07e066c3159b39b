#pragma once
// TAddressSuggestions: the drop-down under the address box while the user
// types: the best matches of history and bookmarks, each a title over its
// address. It never takes the keyboard: the address box keeps the focus and
// hands Up, Down, Enter, Delete and Esc to it. A click on a row picks it.
#include "places/Completion.h"

#include <gtkmm/liststore.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/treeview.h>
#include <gtkmm/window.h>

#include <functional>
#include <string>
#include <vector>

namespace browser {

class TAddressSuggestions : public Gtk::Window {
public:
    TAddressSuggestions();

    // Shows the items under the widget, as wide as it; hides for none.
    void ShowUnder(Gtk::Widget& anchor, std::vector<places::TCompletionItem> items);
    void Close();
    bool Showing() const { return get_visible(); }
    const std::vector<places::TCompletionItem>& Items() const { return items_; }
    // The row picked with Up and Down, -1 for none (the typed text).
    int Selected() const { return selected_; }
    // Moves the pick by delta rows; past either end it goes back to none.
    void MoveSelection(int delta);

    // A row the user clicked.
    std::function<void(const places::TCompletionItem& item)> OnPick;

private:
    void ShowSelection();

    struct Columns : Gtk::TreeModelColumnRecord {
        Columns() { add(text); }
        Gtk::TreeModelColumn<Glib::ustring> text;  // markup: title, then address
    } columns_;
    Glib::RefPtr<Gtk::ListStore> store_;
    Gtk::ScrolledWindow scroll_;
    Gtk::TreeView view_;
    std::vector<places::TCompletionItem> items_;
    int selected_ = -1;
};

} // namespace browser

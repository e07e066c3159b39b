#pragma once
// TComboSx: an editable combo box (a drop-down list under a text entry)
// that can dock in its parent. The item list is worked on by index, most
// callers keep it as a most-recently-used list.
#include "controls/Control.h"

#include <gtkmm/comboboxtext.h>
#include <gtkmm/entry.h>

#include <functional>
#include <string>
#include <vector>

namespace controls {

class TComboSx : public Gtk::ComboBoxText, public TControl {
public:
    TComboSx();

    // The entry's text.
    std::string Text() const;
    void SetText(const std::string& text);

    int ItemCount() const;
    std::string Item(int index) const;  // "" outside the list
    void AddItem(const std::string& text);
    // Appends many items at once: a restored URL list of thousands.
    void AddItems(const std::vector<std::string>& texts);
    // Every item's text, in order.
    std::vector<std::string> Items() const;
    void InsertItem(int index, const std::string& text);  // index clamped to 0..ItemCount()
    void DeleteItem(int index);                            // ignored outside the list
    void MoveItem(int from, int to);                       // ignored outside the list
    void ClearItems();
    // The first item equal to the text regardless of the case of A to Z;
    // -1 when none.
    int IndexOfText(const std::string& text) const;

    // Kept for the forms; GTK sizes its rows itself.
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int h) { itemHeight_ = h; }

    // A double click in the entry.
    TNotifyEvent OnDblClick;
    // A key pressed while the entry has the focus, before the entry handles
    // it; answering true consumes the key.
    std::function<bool(Gtk::Widget& sender, GdkEventKey* event)> OnKeyDown;
    // The user changed the entry's text by editing it (not SetText, not a
    // pick from the drop-down list).
    TNotifyEvent OnChange;

private:
    bool EntryButtonPress(GdkEventButton* event);
    bool EntryKeyPress(GdkEventKey* event);

    int itemHeight_ = 16;
    int setting_ = 0;  // inside our own changes of the text
};

} // namespace controls

#include "browser/AddressSuggestions.h"

#include "browser/AppErrors.h"

#include <glibmm/markup.h>
#include <gtkmm/cellrenderertext.h>

#include <algorithm>

namespace browser {

namespace {

const int kRowsShown = 8;

} // namespace

TAddressSuggestions::TAddressSuggestions() : Gtk::Window(Gtk::WINDOW_POPUP) {
    set_name("AddressSuggestions");
    set_type_hint(Gdk::WINDOW_TYPE_HINT_COMBO);
    store_ = Gtk::ListStore::create(columns_);
    view_.set_model(store_);
    view_.set_headers_visible(false);
    view_.set_can_focus(false);
    view_.set_hover_selection(false);
    auto* cell = Gtk::make_managed<Gtk::CellRendererText>();
    cell->property_ellipsize() = Pango::ELLIPSIZE_END;
    auto* column = Gtk::make_managed<Gtk::TreeViewColumn>();
    column->pack_start(*cell, true);
    column->add_attribute(cell->property_markup(), columns_.text);
    view_.append_column(*column);
    view_.signal_row_activated().connect([this](const Gtk::TreeModel::Path& path, Gtk::TreeViewColumn*) {
        const int row = path.empty() ? -1 : path[0];
        if (row < 0 || row >= int(items_.size()) || !OnPick) return;
        const places::TCompletionItem item = items_[row];
        RunGuarded([&] { OnPick(item); });
    });
    // One click picks: the rows are links, not a list to select in.
    view_.set_activate_on_single_click(true);
    scroll_.set_policy(Gtk::POLICY_NEVER, Gtk::POLICY_AUTOMATIC);
    scroll_.set_shadow_type(Gtk::SHADOW_OUT);
    scroll_.add(view_);
    add(scroll_);
    scroll_.show_all();
}

void TAddressSuggestions::ShowUnder(Gtk::Widget& anchor, std::vector<places::TCompletionItem> items) {
    items_ = std::move(items);
    selected_ = -1;
    if (items_.empty() || !anchor.get_realized()) {
        Close();
        return;
    }
    store_->clear();
    for (const places::TCompletionItem& item : items_) {
        Gtk::TreeModel::Row row = *store_->append();
        const std::string title = item.Title.empty() ? item.Address : item.Title;
        std::string text = Glib::Markup::escape_text(title);
        if (item.Bookmarked) text = "\u2605 " + text;
        text += "\n<small>" + Glib::Markup::escape_text(item.Address) + "</small>";
        row[columns_.text] = text;
    }
    view_.get_selection()->unselect_all();

    // Under the anchor, as wide as it, in screen coordinates.
    Gtk::Window* top = dynamic_cast<Gtk::Window*>(anchor.get_toplevel());
    int x = 0, y = 0;
    anchor.get_window()->get_origin(x, y);
    const Gtk::Allocation a = anchor.get_allocation();
    if (!anchor.get_has_window()) {
        x += a.get_x();
        y += a.get_y();
    }
    if (top) set_transient_for(*top);
    set_screen(anchor.get_screen());
    // The list's own height for its rows, up to the rows shown at once.
    int minimum = 0, natural = 0;
    view_.get_preferred_height(minimum, natural);
    const int n = int(items_.size());
    const int height = natural / n * std::min(n, kRowsShown) + 4;
    const int width = std::max(a.get_width(), 200);
    set_size_request(width, height);
    resize(width, height);
    move(x, y + a.get_height());
    show();
}

void TAddressSuggestions::Close() {
    selected_ = -1;
    if (get_visible()) hide();
}

void TAddressSuggestions::MoveSelection(int delta) {
    const int n = int(items_.size());
    if (n == 0) return;
    int next = selected_ + delta;
    // From none, Up goes to the last row; past either end back to none.
    if (selected_ < 0 && delta < 0) next = n - 1;
    if (next < 0 || next >= n) next = -1;
    selected_ = next;
    ShowSelection();
}

void TAddressSuggestions::ShowSelection() {
    auto selection = view_.get_selection();
    if (selected_ < 0) {
        selection->unselect_all();
        return;
    }
    Gtk::TreeModel::Path path;
    path.push_back(selected_);
    selection->select(path);
    view_.scroll_to_row(path);
}

} // namespace browser

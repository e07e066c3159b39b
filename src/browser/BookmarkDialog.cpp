#include "browser/BookmarkDialog.h"

#include "platform/SysUtils.h"

#include <algorithm>
#include <set>

namespace browser {

TBookmarkDialog::TBookmarkDialog(Gtk::Window& parent, const places::TBookmark& bookmark, bool existing,
                                 const std::vector<std::string>& folders)
    : Gtk::Dialog(existing ? "Edit Bookmark" : "Add Bookmark", parent, true), original_(bookmark) {
    set_name("BookmarkDialog");
    set_default_size(420, -1);
    if (existing) add_button("Remove", Remove);
    add_button("Cancel", Gtk::RESPONSE_CANCEL);
    add_button(existing ? "Save" : "Add", Save);
    set_default_response(Save);

    title_.set_text(bookmark.Title);
    address_.set_text(bookmark.Address);
    for (const std::string& f : folders) folder_.append(f);
    folder_.get_entry()->set_text(bookmark.Folder);
    folder_.get_entry()->set_placeholder_text("No folder; \"/\" between folders");
    for (Gtk::Entry* e : {&title_, &address_, folder_.get_entry()}) {
        e->set_activates_default(true);
        e->set_hexpand(true);
    }
    for (Gtk::Label* l : {&titleLabel_, &addressLabel_, &folderLabel_}) l->set_halign(Gtk::ALIGN_END);
    grid_.set_row_spacing(6);
    grid_.set_column_spacing(8);
    grid_.set_border_width(10);
    grid_.attach(titleLabel_, 0, 0);
    grid_.attach(title_, 1, 0);
    grid_.attach(addressLabel_, 0, 1);
    grid_.attach(address_, 1, 1);
    grid_.attach(folderLabel_, 0, 2);
    grid_.attach(folder_, 1, 2);
    get_content_area()->pack_start(grid_, Gtk::PACK_EXPAND_WIDGET);
    show_all_children();
    title_.grab_focus();
}

places::TBookmark TBookmarkDialog::Bookmark() const {
    places::TBookmark b = original_;
    b.Title = platform::Trim(title_.get_text());
    b.Address = platform::Trim(address_.get_text());
    // Folder names are trimmed one by one; empty steps ("a//b") go.
    std::vector<std::string> names;
    for (const std::string& name : places::SplitFolder(const_cast<Gtk::ComboBoxText&>(folder_).get_entry()->get_text())) {
        std::string n = platform::Trim(name);
        if (!n.empty()) names.push_back(n);
    }
    b.Folder = places::JoinFolder(names);
    return b;
}

std::vector<std::string> BookmarkFolders(const places::TBookmarks& bookmarks) {
    std::set<std::string> folders;
    for (const places::TBookmark& b : bookmarks.Items())
        if (!b.Folder.empty()) folders.insert(b.Folder);
    for (const std::string& folder : bookmarks.Folders()) folders.insert(folder);
    return {folders.begin(), folders.end()};
}

} // namespace browser

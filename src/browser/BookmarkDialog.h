#pragma once
// TBookmarkDialog: Ctrl+D's box. A new bookmark of the page, or the one it
// already has, with its title, address and folder to change; the folder
// list offers the folders in use. "Remove" is there for a bookmark that
// exists.
#include "places/Bookmarks.h"

#include <gtkmm/comboboxtext.h>
#include <gtkmm/dialog.h>
#include <gtkmm/entry.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>

#include <string>
#include <vector>

namespace browser {

class TBookmarkDialog : public Gtk::Dialog {
public:
    enum Response { Save = 1, Remove = 2 };

    TBookmarkDialog(Gtk::Window& parent, const places::TBookmark& bookmark, bool existing,
                    const std::vector<std::string>& folders);

    // What the fields hold now.
    places::TBookmark Bookmark() const;
    Gtk::Entry& TitleEntry() { return title_; }
    Gtk::Entry& AddressEntry() { return address_; }
    Gtk::Entry& FolderEntry() { return *folder_.get_entry(); }

private:
    places::TBookmark original_;
    Gtk::Grid grid_;
    Gtk::Label titleLabel_{"Title:"}, addressLabel_{"Address:"}, folderLabel_{"Folder:"};
    Gtk::Entry title_, address_;
    Gtk::ComboBoxText folder_{true};
};

// The folders of the bookmarks, sorted, each once.
std::vector<std::string> BookmarkFolders(const places::TBookmarks& bookmarks);

} // namespace browser

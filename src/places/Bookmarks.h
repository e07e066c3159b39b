#pragma once
// TBookmarks: the user's bookmarks in a settings file of the program's own
// format, one section a bookmark in the order they were added:
//   [Bookmark1]
//   Address=https://example.org/
//   Title=Example
//   Folder=News/Tech        ; folder path, "/" between folders, may be empty
//   Added=1700000000        ; seconds since 1970
// and after them the folders kept on their own (a folder imported without
// bookmarks), numbered the same way:
//   [Folder1]
//   Path=News/Tech
// Values are the whole rest of their line, so a ";" in an address or title
// stays part of it. A "/" or "\" inside one folder's name is written "\/" or
// "\\". Saves go through the safe save: a crash leaves the old file or the
// new one.
#include <cstdint>
#include <string>
#include <vector>

namespace places {

struct TBookmark {
    std::string Title;
    std::string Address;
    std::string Folder;  // folder path, empty for none
    int64_t Added = 0;
    bool operator==(const TBookmark&) const = default;
};

// A folder path from folder names, and back.
std::string JoinFolder(const std::vector<std::string>& names);
std::vector<std::string> SplitFolder(const std::string& folder);

class TBookmarks {
public:
    explicit TBookmarks(std::string fileName);

    // Reads the file; a missing file is no bookmarks. False, with LastError,
    // when the file exists but cannot be read whole: Save then refuses, so
    // that what could not be read is never written over.
    bool Load();
    // Writes the file (making its folder); raises platform::Exception with
    // the reason when it cannot, leaving the old file as it was.
    void Save();
    const std::string& FileName() const { return fileName_; }
    const std::string& LastError() const { return lastError_; }

    const std::vector<TBookmark>& Items() const { return items_; }
    int Count() const { return int(items_.size()); }
    // Adds a bookmark (its Added time set now when 0); answers its index.
    int Add(TBookmark bookmark);
    bool Edit(int index, const TBookmark& bookmark);
    bool Delete(int index);
    // The first bookmark of the address, or -1.
    int Find(const std::string& address) const;
    // Folders kept whether or not a bookmark is in them.
    const std::vector<std::string>& Folders() const { return folders_; }

    // The list as it is, to be put back when a change cannot be saved.
    struct TState {
        std::vector<TBookmark> items;
        std::vector<std::string> folders;
    };
    TState Snapshot() const { return {items_, folders_}; }
    void Restore(TState state) {
        items_ = std::move(state.items);
        folders_ = std::move(state.folders);
    }
    // Keeps a folder path; false when it is empty or kept already.
    bool AddFolder(const std::string& folder);

    // Bookmarks whose title, address or folder hold every typed word
    // (case and accents folded); all of them for no words.
    std::vector<int> Search(const std::string& words) const;

    // Netscape bookmark files, as browsers import and export them. Import
    // adds the file's bookmarks (with their folders) and answers how many,
    // keeping the file's folders that hold no bookmark; it raises
    // platform::Exception when the file cannot be read.
    int ImportHtml(const std::string& path);
    void ExportHtml(const std::string& path) const;

private:
    std::string fileName_;
    std::string lastError_;
    std::vector<TBookmark> items_;
    std::vector<std::string> folders_;
    bool readable_ = true;
};

} // namespace places

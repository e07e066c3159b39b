#include "places/Bookmarks.h"

#include "places/NetscapeBookmarks.h"
#include "places/PlaceFolders.h"
#include "places/TextFold.h"

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/SafeSave.h"
#include "platform/Strings.h"
#include "platform/Variant.h"
#include "settings/SettingsText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unordered_map>

namespace places {

namespace {

constexpr unsigned WholeLine = settings::rvToEndOfLine;

std::string SectionName(size_t n) { return "Bookmark" + std::to_string(n + 1); }
std::string FolderSectionName(size_t n) { return "Folder" + std::to_string(n + 1); }

// Whether the folder path is the folder or one below it.
bool InFolder(const std::string& path, const std::string& folder) {
    const std::vector<std::string> names = SplitFolder(path), within = SplitFolder(folder);
    return names.size() >= within.size() && std::equal(within.begin(), within.end(), names.begin());
}

std::string ReadText(platform::TStrings* list, const std::string& section, const char* key) {
    return settings::ReadValue(list, section, key, platform::TVariant(std::string()), -1, WholeLine).AsString();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw platform::EFOpenError("Cannot open \"" + path + "\": " + std::strerror(errno));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw platform::EReadError("Cannot read \"" + path + "\"");
    return text;
}

} // namespace

std::string JoinFolder(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) {
        if (!out.empty()) out += '/';
        for (char c : name) {
            if (c == '/' || c == '\\') out += '\\';
            out += c;
        }
    }
    return out;
}

std::vector<std::string> SplitFolder(const std::string& folder) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    std::string name;
    for (size_t i = 0; i < folder.size(); ++i) {
        char c = folder[i];
        if (c == '\\' && i + 1 < folder.size()) {
            name += folder[++i];
        } else if (c == '/') {
            names.push_back(name);
            name.clear();
        } else {
            name += c;
        }
    }
    names.push_back(name);
    return names;
}

TBookmarks::TBookmarks(std::string fileName) : fileName_(std::move(fileName)) {}

bool TBookmarks::Load() {
    items_.clear();
    folders_.clear();
    lastError_.clear();
    readable_ = true;
    struct stat st{};
    if (::stat(fileName_.c_str(), &st) != 0 && errno == ENOENT) return true;
    platform::TStringList list;
    try {
        list.LoadFromFile(fileName_);
    } catch (const std::exception& e) {
        readable_ = false;
        lastError_ = e.what();
        return false;
    }
    if (list.LoadCut() >= 0) {
        readable_ = false;
        lastError_ = "\"" + fileName_ + "\" holds a zero byte; what follows it was not read";
        return false;
    }
    // Bookmarks are numbered from 1 without gaps; the first missing section
    // ends them. The file is cut into its sections once, and each section
    // read on its own, so that a bookmark costs its own lines only.
    std::vector<platform::TStringList> sections = settings::SplitSections(list);
    std::unordered_map<std::string, size_t> byHeader;
    for (size_t i = 0; i < sections.size(); ++i) byHeader.emplace(settings::SectionKey(sections[i].Get(0)), i);
    // The numbered section of that name, when it holds its key.
    auto numbered = [&](const std::string& section, const char* key) -> platform::TStringList* {
        auto found = byHeader.find(settings::SectionKey(section));
        if (found == byHeader.end()) return nullptr;
        platform::TStringList* lines = &sections[found->second];
        int start = 0, end = 0, sep = 0;
        return settings::FindKey(lines, section, key, 0, start, end, sep) < 0 ? nullptr : lines;
    };
    for (size_t n = 0;; ++n) {
        std::string section = SectionName(n);
        platform::TStringList* lines = numbered(section, "Address");
        if (!lines) break;
        TBookmark b;
        b.Address = ReadText(lines, section, "Address");
        b.Title = ReadText(lines, section, "Title");
        b.Folder = ReadText(lines, section, "Folder");
        try {
            b.Added = settings::ReadValue(lines, section, "Added", platform::TVariant(0)).AsInteger();
        } catch (const platform::EConvertError&) {
            b.Added = 0;
        }
        items_.push_back(std::move(b));
    }
    for (size_t n = 0;; ++n) {
        std::string section = FolderSectionName(n);
        platform::TStringList* lines = numbered(section, "Path");
        if (!lines) break;
        AddFolder(ReadText(lines, section, "Path"));
    }
    return true;
}

void TBookmarks::Save() {
    if (!readable_)
        throw platform::EWriteError("The bookmarks were not saved: \"" + fileName_ +
                                    "\" could not be read whole and would lose what was not read (" + lastError_ + ")");
    size_t slash = fileName_.rfind('/');
    if (slash != std::string::npos && slash > 0) EnsureFolder(fileName_.substr(0, slash + 1));
    platform::TStringList list;
    for (size_t n = 0; n < items_.size(); ++n) {
        const TBookmark& b = items_[n];
        std::string section = SectionName(n);
        settings::WriteValue(&list, section, "Address", platform::TVariant(b.Address), WholeLine);
        settings::WriteValue(&list, section, "Title", platform::TVariant(b.Title), WholeLine);
        settings::WriteValue(&list, section, "Folder", platform::TVariant(b.Folder), WholeLine);
        settings::WriteValue(&list, section, "Added", platform::TVariant(b.Added));
    }
    for (size_t n = 0; n < folders_.size(); ++n)
        settings::WriteValue(&list, FolderSectionName(n), "Path", platform::TVariant(folders_[n]), WholeLine);
    list.SaveToFile(fileName_);
}

int TBookmarks::Add(TBookmark bookmark) {
    if (bookmark.Added == 0) bookmark.Added = static_cast<int64_t>(std::time(nullptr));
    items_.push_back(std::move(bookmark));
    return int(items_.size()) - 1;
}

bool TBookmarks::Edit(int index, const TBookmark& bookmark) {
    if (index < 0 || index >= Count()) return false;
    items_[size_t(index)] = bookmark;
    return true;
}

bool TBookmarks::Delete(int index) {
    if (index < 0 || index >= Count()) return false;
    items_.erase(items_.begin() + index);
    return true;
}

bool TBookmarks::AddFolder(const std::string& folder) {
    if (folder.empty() || std::find(folders_.begin(), folders_.end(), folder) != folders_.end()) return false;
    folders_.push_back(folder);
    return true;
}

int TBookmarks::Find(const std::string& address) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Address == address) return int(i);
    return -1;
}

std::vector<int> TBookmarks::Search(const std::string& words) const {
    std::vector<std::string> folded = FoldedWords(words);
    std::vector<int> hits;
    for (size_t i = 0; i < items_.size(); ++i) {
        const TBookmark& b = items_[i];
        if (MatchesAllWords(FoldText(b.Title + "\t" + b.Address + "\t" + b.Folder), folded)) hits.push_back(int(i));
    }
    return hits;
}

int TBookmarks::ImportHtml(const std::string& path) {
    std::vector<std::string> folders;
    std::vector<TBookmark> found = ParseNetscapeBookmarks(ReadWholeFile(path), &folders);
    // A folder with bookmarks in it or below comes back with them.
    for (const auto& folder : folders) {
        bool holds = false;
        for (const auto& b : found) holds = holds || InFolder(b.Folder, folder);
        if (!holds) AddFolder(folder);
    }
    for (auto& b : found) items_.push_back(std::move(b));
    return int(found.size());
}

void TBookmarks::ExportHtml(const std::string& path) const {
    std::string html = FormatNetscapeBookmarks(items_, folders_);
    platform::WriteWholeFile(path, html.data(), html.size());
}

} // namespace places

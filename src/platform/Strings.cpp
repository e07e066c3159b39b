#include "platform/Strings.h"
#include "platform/Exception.h"
#include "platform/SafeSave.h"
#include "platform/SysUtils.h"

#include <cstring>
#include <sys/stat.h>

namespace platform {

// ---- TStrings --------------------------------------------------------------

void TStrings::Error(const char* what, int index) {
    throw EStringListError(std::string(what) + " (" + std::to_string(index) + ")");
}

void TStrings::Put(int index, const std::string& s) {
    StringObject obj = GetObject(index);
    BeginUpdate();
    Delete(index);
    InsertObject(index, s, obj);
    EndUpdate();
}

StringObject TStrings::GetObject(int) { return 0; }
void TStrings::PutObject(int, StringObject) {}
int TStrings::GetCapacity() { return GetCount(); }
void TStrings::SetCapacity(int) {}
void TStrings::SetUpdateState(bool) {}

int TStrings::Add(const std::string& s) {
    int index = GetCount();
    Insert(index, s);
    return index;
}

int TStrings::AddObject(const std::string& s, StringObject obj) {
    int index = Add(s);
    PutObject(index, obj);
    return index;
}

void TStrings::InsertObject(int index, const std::string& s, StringObject obj) {
    Insert(index, s);
    PutObject(index, obj);
}

std::vector<std::string> TStrings::SplitLines(const char* data, size_t size) {
    const void* zero = std::memchr(data, 0, size);
    if (zero) size = static_cast<size_t>(static_cast<const char*>(zero) - data);
    std::vector<std::string> lines;
    size_t start = 0, i = 0;
    while (i < size) {
        char c = data[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(data + start, i - start);
            if (c == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < size) lines.emplace_back(data + start, size - start);
    return lines;
}

void TStrings::LoadFromFile(const std::string& path) {
    TFileStream f(path, fmOpenRead);
    std::vector<uint8_t> bytes = ReadDescriptor(f.Handle(), path);
    loadCut_ = LoadCutRecord{};
    if (const void* zero = std::memchr(bytes.data(), 0, bytes.size())) {
        struct stat st{};
        ::fstat(f.Handle(), &st);
        loadCut_ = LoadCutRecord{static_cast<int64_t>(static_cast<const uint8_t*>(zero) - bytes.data()),
                                 static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    }
    TMemoryStream text(std::move(bytes));
    LoadFromStream(text);
}

std::string TStrings::ReadRest(TStream& stream) {
    int64_t size = stream.Size() - stream.Position();
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    int64_t got = stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
    bytes.resize(static_cast<size_t>(got > 0 ? got : 0));
    return bytes;
}

void TStrings::LoadFromStream(TStream& stream) { SetText(ReadRest(stream)); }

void TStrings::SaveToFile(const std::string& path) {
    if (loadCut_.offset >= 0) {
        // Writing the lines back would drop every byte after the zero byte
        // that ended the load: the file is left as it is instead.
        struct stat st{};
        if (::stat(ResolveSaveTarget(path).c_str(), &st) == 0 && static_cast<uint64_t>(st.st_dev) == loadCut_.device &&
            static_cast<uint64_t>(st.st_ino) == loadCut_.inode)
            throw EWriteError("Cannot save \"" + path + "\": it holds a zero byte at byte " +
                              std::to_string(loadCut_.offset) +
                              " (UTF-16 text?), and what follows it was not read. The file was left as it was");
    }
    std::string text = GetText();
    WriteWholeFile(path, text.data(), text.size());
}

void TStrings::SaveToStream(TStream& stream) {
    std::string text = GetText();
    stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

int TStrings::IndexOf(const std::string& s) {
    int n = GetCount();
    for (int i = 0; i < n; ++i)
        if (SameText(Get(i), s)) return i;
    return -1;
}

void TStrings::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    BeginUpdate();
    std::string s = Get(curIndex);
    StringObject obj = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, obj);
    EndUpdate();
}

void TStrings::Exchange(int index1, int index2) {
    BeginUpdate();
    std::string s1 = Get(index1), s2 = Get(index2);
    StringObject o1 = GetObject(index1), o2 = GetObject(index2);
    Put(index1, s2);
    PutObject(index1, o2);
    Put(index2, s1);
    PutObject(index2, o1);
    EndUpdate();
}

void TStrings::BeginUpdate() {
    if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

std::string TStrings::GetText() {
    std::string out;
    int n = GetCount();
    for (int i = 0; i < n; ++i) {
        out += Get(i);
        out += "\r\n";
    }
    return out;
}

void TStrings::SetText(const std::string& text) {
    auto lines = SplitLines(text.data(), text.size());
    BeginUpdate();
    Clear();
    for (auto& l : lines) Add(l);
    EndUpdate();
}

void TStrings::AddStrings(TStrings& other) {
    BeginUpdate();
    int n = other.GetCount();
    for (int i = 0; i < n; ++i) AddObject(other.Get(i), other.GetObject(i));
    EndUpdate();
}

void TStrings::Assign(TStrings& other) {
    if (&other == this) return;
    BeginUpdate();
    Clear();
    AddStrings(other);
    EndUpdate();
}

// ---- TStringList -----------------------------------------------------------

void TStringList::Check(int index) {
    if (index < 0 || index >= GetCount()) Error("List index out of bounds", index);
}

std::string TStringList::Get(int index) {
    Check(index);
    return items_[static_cast<size_t>(index)].text;
}

void TStringList::Put(int index, const std::string& s) {
    Check(index);
    items_[static_cast<size_t>(index)].text = s;
}

StringObject TStringList::GetObject(int index) {
    Check(index);
    return items_[static_cast<size_t>(index)].object;
}

void TStringList::PutObject(int index, StringObject obj) {
    Check(index);
    items_[static_cast<size_t>(index)].object = obj;
}

void TStringList::SetCapacity(int capacity) {
    if (capacity > GetCount()) items_.reserve(static_cast<size_t>(capacity));
}

void TStringList::Delete(int index) {
    Check(index);
    items_.erase(items_.begin() + index);
}

void TStringList::InsertObject(int index, const std::string& s, StringObject obj) {
    if (index < 0 || index > GetCount()) Error("List index out of bounds", index);
    items_.insert(items_.begin() + index, Item{s, obj});
}

void TStringList::LoadFromStream(TStream& stream) {
    std::string bytes = ReadRest(stream);
    auto lines = SplitLines(bytes.data(), bytes.size());
    items_.clear();
    items_.reserve(lines.size());
    for (auto& l : lines) items_.push_back(Item{std::move(l), 0});
}

void TStringList::Exchange(int index1, int index2) {
    Check(index1);
    Check(index2);
    std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
}

} // namespace platform

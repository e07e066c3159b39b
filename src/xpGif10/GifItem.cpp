#include "xpGif10/GifItem.h"
#include "xpGif10/GifImage.h"
#include "platform/SafeSave.h"

#include <stdexcept>

namespace xpGif10 {

using namespace platform;

const char* const GIFVersions[3] = {"", "87a", "89a"};

void TGIFItem::Warning(int severity, const std::string& message) {
    if (image_) image_->Warning(this, severity, message);
}

void TGIFItem::SaveToFile(const std::string& path) {
    TSaveFileStream stream(path);
    SaveToStream(stream);
    stream.Commit();
}

void TGIFItem::LoadFromFile(const std::string& path) {
    TFileStream stream(path, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

int TGIFList::Add(std::unique_ptr<TGIFItem> item) {
    items_.push_back(std::move(item));
    return Count() - 1;
}

void TGIFList::Insert(int index, std::unique_ptr<TGIFItem> item) {
    if (index < 0 || index > Count()) throw GIFException("List index out of bounds (" + std::to_string(index) + ")");
    items_.insert(items_.begin() + index, std::move(item));
}

void TGIFList::Delete(int index) { Extract(index).reset(); }

std::unique_ptr<TGIFItem> TGIFList::Extract(int index) {
    if (index < 0 || index >= Count()) throw GIFException("List index out of bounds (" + std::to_string(index) + ")");
    std::unique_ptr<TGIFItem> item = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    return item;
}

void TGIFList::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    auto item = Extract(curIndex);
    Insert(newIndex, std::move(item));
}

int TGIFList::IndexOf(const TGIFItem* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == item) return static_cast<int>(i);
    return -1;
}

void TGIFList::Clear() {
    // Items are freed last-first, and each is out of the list before its
    // destructor runs, so a destructor that looks at the list sees a
    // consistent one.
    while (!items_.empty()) {
        std::unique_ptr<TGIFItem> item = std::move(items_.back());
        items_.pop_back();
        item.reset();
    }
}

void TGIFList::Warning(int severity, const std::string& message) {
    if (image_) image_->Warning(this, severity, message);
}

void TGIFList::SaveToStream(TStream& stream) {
    for (auto& item : items_) item->SaveToStream(stream);
}

} // namespace xpGif10

#pragma once
// The base of everything a GIF image owns (header, frames, extensions,
// trailer) and the owned list of such items. Every item knows its image and
// sends its warnings there.
#include "platform/Graphics.h"
#include "platform/Streams.h"
#include "xpGif10/GifTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace xpGif10 {

class TGIFImage;

class TGIFItem : public platform::TPersistent {
public:
    explicit TGIFItem(TGIFImage* image) : image_(image) {}
    std::string ClassName() const override { return "TGIFItem"; }

    // The lowest format version that can hold this item.
    virtual TGIFVersion Version() const { return gv87a; }
    virtual void Warning(int severity, const std::string& message);
    virtual void SaveToStream(platform::TStream& stream) = 0;
    virtual void LoadFromStream(platform::TStream& stream) = 0;
    void SaveToFile(const std::string& path);
    void LoadFromFile(const std::string& path);

    TGIFImage* Image() const { return image_; }

protected:
    TGIFImage* image_;
};

// An owned list of items; deleting an item or clearing the list frees them.
class TGIFList : public platform::TPersistent {
public:
    explicit TGIFList(TGIFImage* image) : image_(image) {}
    ~TGIFList() override { Clear(); }
    TGIFList(const TGIFList&) = delete;
    TGIFList& operator=(const TGIFList&) = delete;
    std::string ClassName() const override { return "TGIFList"; }

    int Count() const { return static_cast<int>(items_.size()); }
    TGIFItem* Item(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    int Add(std::unique_ptr<TGIFItem> item);
    void Insert(int index, std::unique_ptr<TGIFItem> item);
    void Delete(int index);
    // Takes the item out of the list without freeing it.
    std::unique_ptr<TGIFItem> Extract(int index);
    void Move(int curIndex, int newIndex);
    int IndexOf(const TGIFItem* item) const;
    void Clear();

    virtual void Warning(int severity, const std::string& message);
    // Writes every item in order.
    virtual void SaveToStream(platform::TStream& stream);
    virtual void LoadFromStream(platform::TStream& stream) = 0;

    TGIFImage* Image() const { return image_; }

protected:
    TGIFImage* image_;
    std::vector<std::unique_ptr<TGIFItem>> items_;
};

} // namespace xpGif10

#pragma once
// TW32Ext: the process-wide registry of file categories. Beside its fixed
// category table it holds the containers for extension, program and icon
// data: two large string lists kept in their own files, four bitmaps and
// two image lists. This program builds and frees it but fills none of them.
#include "platform/Bitmap.h"
#include "platform/Graphics.h"
#include "xoFil20x/ImageList.h"
#include "xoStr31/HdStrings.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace xoFil20x {

struct TCategory {
    const char* Letter;
    const char* Name;
};

// Registration order ("W" before "V" on purpose).
constexpr std::array<TCategory, 15> CategoryTable{{
    {"B", "Basic"},   {"C", "Compose"}, {"D", "Ostrane"},     {"G", "Graphic"}, {"I", "Image"},
    {"M", "Movie"},   {"P", "Program"}, {"R", "Programming"}, {"S", "Sound"},   {"T", "Text"},
    {"W", "Web"},     {"V", "FileSystem"}, {"X", "Backup"},   {"Y", "Install"}, {"Z", "System"},
}};

class TW32Ext : public platform::TPersistent {
public:
    TW32Ext();
    ~TW32Ext() override;
    TW32Ext(const TW32Ext&) = delete;
    TW32Ext& operator=(const TW32Ext&) = delete;
    std::string ClassName() const override { return "TW32Ext"; }

    // Registers one category; nothing is kept yet, so every call answers -1.
    virtual int AddCategory(const std::string& letter, const std::string& name, int index);
    void RegisterCategories();

    xoStr31::THdStrings* List1() const { return FList1.get(); }
    xoStr31::THdStrings* List2() const { return FList2.get(); }
    platform::TBitmap* Bitmap(int i) const { return FBitmaps[size_t(i)].get(); }
    TImageList* SmallImages() const { return FSmallImages.get(); }
    TImageList* LargeImages() const { return FLargeImages.get(); }
    // Two further owned objects, empty after construction.
    std::unique_ptr<platform::TPersistent>& Owned1() { return FOwned1; }
    std::unique_ptr<platform::TPersistent>& Owned2() { return FOwned2; }
    int32_t Value1() const { return FValue1; }
    int32_t Value2() const { return FValue2; }

private:
    std::unique_ptr<xoStr31::THdStrings> FList1;
    std::unique_ptr<xoStr31::THdStrings> FList2;
    std::array<std::unique_ptr<platform::TBitmap>, 4> FBitmaps;
    std::unique_ptr<TImageList> FSmallImages;
    std::unique_ptr<TImageList> FLargeImages;
    std::unique_ptr<platform::TPersistent> FOwned1;
    std::unique_ptr<platform::TPersistent> FOwned2;
    int32_t FValue1 = 0;
    int32_t FValue2 = 0;
};

} // namespace xoFil20x

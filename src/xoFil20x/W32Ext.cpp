#include "xoFil20x/W32Ext.h"

#include "platform/SysUtils.h"

namespace xoFil20x {

TW32Ext::TW32Ext() {
    RegisterCategories();
    FValue1 = -1;
    FValue2 = -1;
    // Each list keeps its text in its own named file; no name is given yet,
    // so no file is opened or made.
    FList1 = std::make_unique<xoStr31::THdStrings>();
    FList1->SetParam(0, 2);
    FList2 = std::make_unique<xoStr31::THdStrings>();
    FList2->SetParam(0, 2);
    for (auto& bitmap : FBitmaps) bitmap = std::make_unique<platform::TBitmap>();
    FSmallImages = std::make_unique<TImageList>(16, 16);
    FSmallImages->SetMasked(true);
    FLargeImages = std::make_unique<TImageList>(32, 32);
    FLargeImages->SetMasked(true);
}

TW32Ext::~TW32Ext() {
    FSmallImages.reset();
    FLargeImages.reset();
    FOwned1.reset();
    FOwned2.reset();
    for (auto& bitmap : FBitmaps) bitmap.reset();
    FList1.reset();
    FList2.reset();
}

int TW32Ext::AddCategory(const std::string& letter, const std::string&, int) {
    std::string key = platform::Trim(letter);
    (void)key;
    return -1;
}

void TW32Ext::RegisterCategories() {
    for (const auto& c : CategoryTable) AddCategory(c.Letter, c.Name, -1);
}

} // namespace xoFil20x

#pragma once
// A list of equally sized images with optional masks. The file category
// registry keeps two (16 and 32 pixels) for the icons of its categories.
#include "platform/Bitmap.h"
#include "platform/Graphics.h"

#include <memory>
#include <vector>

namespace xoFil20x {

class TImageList : public platform::TPersistent {
public:
    TImageList(int width, int height) : width_(width), height_(height) {}
    std::string ClassName() const override { return "TImageList"; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Masked() const { return masked_; }
    void SetMasked(bool masked) { masked_ = masked; }
    int Count() const { return static_cast<int>(images_.size()); }
    void Clear() { images_.clear(); }

private:
    int width_;
    int height_;
    bool masked_ = false;
    std::vector<std::unique_ptr<platform::TBitmap>> images_;
};

} // namespace xoFil20x

#include "platform/Bitmap.h"
#include "platform/Graphics.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;

namespace {
class TFakeGraphic : public TGraphic {
public:
    std::string ClassName() const override { return "TFakeGraphic"; }
    bool Empty() const override { return data.empty(); }
    int Width() const override { return int(data.size()); }
    int Height() const override { return 1; }
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    void LoadFromStream(TStream& s) override {
        data.clear();
        uint8_t b;
        while (s.Read(&b, 1) == 1) data.push_back(b);
        Changed(this);
    }
    void SaveToStream(TStream& s) override { s.WriteBuffer(data.data(), int64_t(data.size())); }
    void LoadFromClipboardFormat(unsigned, const std::vector<uint8_t>& bytes, HPALETTE) override { data = bytes; }
    void Draw(TCanvas&, const TRect&) override {}
    void Assign(const TPersistent* source) override {
        if (auto* f = dynamic_cast<const TFakeGraphic*>(source)) {
            data = f->data;
            return;
        }
        TGraphic::Assign(source);
    }
    std::vector<uint8_t> data;
};

TGraphicClass FakeClass() { return {"TFakeGraphic", [] { return std::unique_ptr<TGraphic>(new TFakeGraphic); }}; }
} // namespace

TEST(PictureRegistry, ExtensionsAndClipboardFormatsFindTheirClass) {
    ASSERT_TRUE(TPicture::FindFileFormat("bmp"));
    EXPECT_EQ(TPicture::FindFileFormat("BMP")->name, "TBitmap");
    EXPECT_FALSE(TPicture::FindFileFormat("fake"));
    TPicture::RegisterFileFormat("FAKE", "Fake pictures", FakeClass());
    TPicture::RegisterClipboardFormat(0xC0DE, FakeClass());
    ASSERT_TRUE(TPicture::FindFileFormat(".fake"));
    EXPECT_EQ(TPicture::FileFormats().front().description, "Fake pictures");
    EXPECT_NE(TPicture::GraphicFilter().find("Fake pictures (*.fake)|*.fake"), std::string::npos);
    EXPECT_TRUE(TPicture::SupportsClipboardFormat(0xC0DE));

    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPicture*) { ++changes; };
    picture.LoadFromClipboardFormat(0xC0DE, {1, 2, 3}, nullptr);
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_GT(changes, 0);
    EXPECT_THROW(picture.LoadFromClipboardFormat(0xC0DF, {1}, nullptr), EInvalidGraphic);

    auto dir = std::filesystem::temp_directory_path() / ("qelpic-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "x.Fake").string();
    {
        TFileStream f(path, fmCreate);
        f.WriteBuffer("abcd", 4);
    }
    picture.LoadFromFile(path);
    EXPECT_EQ(picture.Graphic()->ClassName(), "TFakeGraphic");
    EXPECT_EQ(picture.Width(), 4);
    EXPECT_THROW(picture.LoadFromFile((dir / "x.unknown").string()), EInvalidGraphic);

    TPicture copy;
    copy.Assign(&picture);
    EXPECT_EQ(copy.Width(), 4);

    TPicture::UnregisterGraphicClass("TFakeGraphic");
    EXPECT_FALSE(TPicture::FindFileFormat("fake"));
    EXPECT_FALSE(TPicture::SupportsClipboardFormat(0xC0DE));
    EXPECT_TRUE(TPicture::FindFileFormat("bmp"));
    std::filesystem::remove_all(dir);
}

TEST(PictureRegistry, ImpossibleCopiesSayWhatCannotBeAssigned) {
    TBitmap bmp;
    TFakeGraphic fake;
    try {
        bmp.Assign(&fake);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TFakeGraphic to a TBitmap");
    }
}

TEST(PictureRegistry, BitmapPictureLoadsBmpFilesByExtension) {
    auto dir = std::filesystem::temp_directory_path() / ("qelpicb-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    TPicture picture;
    TBitmap& b = picture.Bitmap();
    b.SetSize(3, 2);
    b.SetPixel(2, 1, RGB(5, 6, 7));
    std::string path = (dir / "p.bmp").string();
    picture.SaveToFile(path);
    TPicture again;
    again.LoadFromFile(path);
    EXPECT_EQ(again.Graphic()->ClassName(), "TBitmap");
    EXPECT_EQ(again.Bitmap().GetPixel(2, 1), RGB(5, 6, 7));
    std::filesystem::remove_all(dir);
}

// The file category registry: what construction makes and destruction frees.
#include "xoFil20x/W32Ext.h"

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace xoFil20x;

namespace {

struct Tracked : platform::TPersistent {
    explicit Tracked(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    ~Tracked() override { log_.push_back(name_); }
    std::vector<std::string>& log_;
    std::string name_;
};

} // namespace

TEST(W32Ext, ConstructionMakesEmptyContainers) {
    auto before = std::distance(std::filesystem::directory_iterator(std::filesystem::current_path()),
                                std::filesystem::directory_iterator());
    TW32Ext ext;
    for (auto* list : {ext.List1(), ext.List2()}) {
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->GetCount(), 0);
        EXPECT_EQ(list->StorageMode(), 2);
        EXPECT_EQ(list->Stream(), nullptr);
        EXPECT_EQ(list->FileName(), "");
    }
    auto after = std::distance(std::filesystem::directory_iterator(std::filesystem::current_path()),
                               std::filesystem::directory_iterator());
    EXPECT_EQ(before, after);  // no file was made for the lists
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(ext.Bitmap(i), nullptr);
        EXPECT_TRUE(ext.Bitmap(i)->Empty());
    }
    EXPECT_EQ(ext.SmallImages()->Width(), 16);
    EXPECT_EQ(ext.LargeImages()->Height(), 32);
    EXPECT_TRUE(ext.SmallImages()->Masked());
    EXPECT_TRUE(ext.LargeImages()->Masked());
    EXPECT_EQ(ext.SmallImages()->Count(), 0);
    EXPECT_EQ(ext.Value1(), -1);
    EXPECT_EQ(ext.Value2(), -1);
    EXPECT_EQ(ext.Owned1(), nullptr);
    EXPECT_EQ(ext.Owned2(), nullptr);
}

TEST(W32Ext, CategoryTableAndAddCategory) {
    ASSERT_EQ(CategoryTable.size(), 15u);
    EXPECT_STREQ(CategoryTable[10].Letter, "W");
    EXPECT_STREQ(CategoryTable[11].Letter, "V");
    EXPECT_STREQ(CategoryTable[2].Name, "Ostrane");
    TW32Ext ext;
    EXPECT_EQ(ext.AddCategory("  Q ", "Queue", 3), -1);
    EXPECT_EQ(ext.AddCategory("", "", -1), -1);
    EXPECT_EQ(ext.AddCategory("B", "Basic", -1), -1);
}

TEST(W32Ext, DestructionFreesWhatItHolds) {
    std::vector<std::string> log;
    {
        TW32Ext ext;
        ext.Owned1() = std::make_unique<Tracked>(log, "first");
        ext.Owned2() = std::make_unique<Tracked>(log, "second");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"first", "second"}));
    { TW32Ext empty; }  // empty references: only what construction made
    EXPECT_EQ(log.size(), 2u);
}

#include "platform/Exception.h"
#include "platform/Strings.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {
std::vector<std::string> Lines(const std::string& bytes) { return TStrings::SplitLines(bytes.data(), bytes.size()); }

struct TempDir : qeltest::TempFolder {
    TempDir() : TempFolder("qel-strings", Place::Tmp) {}
    const fs::path path = fs::path(Path()).parent_path();
};

constexpr auto ReadAll = qeltest::ReadFile;
} // namespace

TEST(StringListLoading, EveryKindOfLineEndAndAnUnterminatedLastLine) {
    EXPECT_EQ(Lines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(Lines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(Lines("\n\r"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(Lines("a\n\rb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(Lines("").empty());
}

TEST(StringListLoading, AZeroByteEndsTheText) {
    std::string bytes("ab\r\ncd\0ef\r\ngh", 13);
    EXPECT_EQ(Lines(bytes), (std::vector<std::string>{"ab", "cd"}));
    TStringList list;
    TMemoryStream ms(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    list.LoadFromStream(ms);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[1], "cd");
}

TEST(StringListSaving, WritesCrLfAfterEveryLineAndNothingForAnEmptyList) {
    TempDir dir;
    TStringList list;
    list.SaveToFile(dir.path / "empty.ini");
    EXPECT_EQ(fs::file_size(dir.path / "empty.ini"), 0u);
    list.Add("[Web010]");
    list.Add("");
    list.Add("Home=x");
    list.SaveToFile(dir.path / "a.ini");
    EXPECT_EQ(ReadAll(dir.path / "a.ini"), "[Web010]\r\n\r\nHome=x\r\n");
    TStringList back;
    back.LoadFromFile(dir.path / "a.ini");
    EXPECT_EQ(back.GetText(), list.GetText());
}

TEST(StringListSaving, AFailedSaveKeepsTheOldFileWhole) {
    if (::geteuid() == 0) {
        // root writes anywhere: make the rename fail instead, with a folder
        // standing where the temporary file's target would be replaced.
        TempDir dir;
        fs::create_directory(dir.path / "target.ini");
        TStringList list;
        list.Add("new");
        EXPECT_THROW(list.SaveToFile(dir.path / "target.ini"), EStreamError);
        EXPECT_TRUE(fs::is_directory(dir.path / "target.ini"));
        for (auto& e : fs::directory_iterator(dir.path)) EXPECT_EQ(e.path().filename(), "target.ini");
        return;
    }
    TempDir dir;
    {
        std::ofstream(dir.path / "a.ini") << "old\r\n";
    }
    fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec);
    TStringList list;
    list.Add("new");
    EXPECT_THROW(list.SaveToFile(dir.path / "a.ini"), EStreamError);
    fs::permissions(dir.path, fs::perms::owner_all);
    EXPECT_EQ(ReadAll(dir.path / "a.ini"), "old\r\n");
}

TEST(StringListSaving, ReplacingAFileKeepsItsPermissions) {
    TempDir dir;
    {
        std::ofstream(dir.path / "a.ini") << "old\r\n";
    }
    ::chmod((dir.path / "a.ini").c_str(), 0600);
    TStringList list;
    list.Add("new");
    list.SaveToFile(dir.path / "a.ini");
    struct stat st{};
    ASSERT_EQ(::stat((dir.path / "a.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(StringListServices, MoveExchangeIndexOfAndObjectsTravelWithTheirText) {
    TStringList list;
    list.AddObject("one", 1);
    list.AddObject("Two", 2);
    list.AddObject("three", 3);
    EXPECT_EQ(list.IndexOf("TWO"), 1);
    EXPECT_EQ(list.IndexOf("two "), -1);
    list.Move(2, 0);
    EXPECT_EQ(list.GetText(), "three\r\none\r\nTwo\r\n");
    EXPECT_EQ(list.GetObject(0), 3);
    list.Exchange(0, 2);
    EXPECT_EQ(list[0], "Two");
    EXPECT_EQ(list.GetObject(0), 2);
    EXPECT_EQ(list.GetObject(2), 3);
    TStringList other;
    other.Add("x");
    other.AddStrings(list);
    EXPECT_EQ(other.Count(), 4);
    EXPECT_EQ(other.GetObject(3), 3);
    EXPECT_THROW(list.Get(3), EStringListError);
    EXPECT_THROW(list.Insert(5, "x"), EStringListError);
}

namespace {
// A list that only has the element operations, to show the inherited
// services work through them alone.
class MinimalList : public TStrings {
public:
    std::vector<std::string> items;
    int updates = 0;
    std::string Get(int i) override { return items.at(static_cast<size_t>(i)); }
    int GetCount() override { return static_cast<int>(items.size()); }
    void Clear() override { items.clear(); }
    void Delete(int i) override { items.erase(items.begin() + i); }
    void Insert(int i, const std::string& s) override { items.insert(items.begin() + i, s); }
    void SetUpdateState(bool updating) override { updates += updating ? 1 : 0; }
};
} // namespace

TEST(StringListServices, InheritedServicesUseOnlyTheElementOperations) {
    MinimalList list;
    list.SetText("a\nb\r\nc");
    EXPECT_EQ(list.items, (std::vector<std::string>{"a", "b", "c"}));
    list.Put(1, "B");
    list.Move(0, 2);
    EXPECT_EQ(list.items, (std::vector<std::string>{"B", "c", "a"}));
    list.Exchange(0, 1);
    EXPECT_EQ(list.GetText(), "c\r\nB\r\na\r\n");
    EXPECT_EQ(list.UpdateCount(), 0);
    EXPECT_GT(list.updates, 0);
}

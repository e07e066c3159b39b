// Opening and saving in each storage mode, streams, the entry-table file and
// the range search.
#include "xoStr31/HdStrings.h"
#include "xoStr31/EntryTableFile.h"

#include "platform/MessageBox.h"
#include "platform/Streams.h"
#include "platform/System.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace xoStr31;
using qeltest::ReadFile;
using qeltest::TempFolder;
using qeltest::WriteFile;

namespace {

struct Boxes {
    std::shared_ptr<platform::ScriptedMessageBox> box = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope{box};
};

std::vector<std::string> Texts(THdStrings& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.Get(i));
    return out;
}

// Puts the entry table's times to the data file's, as a valid table has.
void MatchTimes(const std::string& data, const std::string& index) {
    timespec access{}, modification{};
    ASSERT_TRUE(platform::GetFileTimes(data, access, modification));
    ASSERT_TRUE(platform::SetFileTimes(index, access, modification));
}

std::string Record(int32_t end, uint8_t flags, uint32_t object) {
    TEntry e;
    e.End = end;
    e.Flags = flags;
    e.Object = object;
    uint8_t b[EntryRecordSize];
    EncodeEntry(e, b);
    return std::string(reinterpret_cast<char*>(b), EntryRecordSize);
}

std::string Header(int32_t last) {
    std::string h("VsInd\0", 6);
    uint32_t v = uint32_t(last);
    for (int i = 0; i < 4; ++i) h += char(v >> (8 * i));
    return h;
}

// A table's bytes with the trailer that ties them to the data file as it is.
std::string Owned(const std::string& data, const std::string& table) {
    struct stat st{};
    ::stat(data.c_str(), &st);
    TTableSum sum;
    sum.Add(reinterpret_cast<const uint8_t*>(table.data()), table.size());
    uint8_t trailer[TableTrailerSize];
    EncodeTrailer(TTableOwner::Of(st), timespec{st.st_mtim.tv_sec + 1, 0}, sum.Value(), trailer);
    return table + std::string(reinterpret_cast<char*>(trailer), TableTrailerSize);
}

// A table's bytes without the trailer's fields that depend on when it was
// made (the time and the trailer's own checksum).
std::string Layout(std::string table) {
    if (table.size() < size_t(TableTrailerSize)) return table;
    table.erase(table.size() - 8);
    table.erase(table.size() - TableTrailerSize + 8 + 48, 16);
    return table;
}

} // namespace

TEST(HdStringsFiles, OpenMissingFile) {
    TempFolder dir;
    THdStrings memory;
    memory.SetPath(0, "keep.txt");
    EXPECT_FALSE(memory.Open(dir / "none.txt", false));
    EXPECT_EQ(memory.GetCount(), 0);
    EXPECT_EQ(memory.FileName(), "keep.txt");
    EXPECT_FALSE(platform::FileExists(dir / "none.txt"));

    THdStrings file;
    file.SetParam(0, 2);
    EXPECT_TRUE(file.Open(dir / "new.txt", false));
    EXPECT_EQ(file.GetCount(), 0);
    EXPECT_TRUE(platform::FileExists(dir / "new.txt"));
    EXPECT_EQ(file.FileName(), dir / "new.txt");
}

TEST(HdStringsFiles, OpenInEachMode) {
    TempFolder dir;
    WriteFile(dir / "d.txt", "a\r\nbb\r\nc");
    THdStrings memory;
    ASSERT_TRUE(memory.Open(dir / "d.txt", false));
    EXPECT_EQ(Texts(memory), (std::vector<std::string>{"a", "bb", "c"}));
    memory.Add("d");
    EXPECT_EQ(ReadFile(dir / "d.txt"), "a\r\nbb\r\nc");  // memory copy only

    THdStrings temp;
    temp.SetPath(1, dir.Path());
    temp.SetParam(0, 1);
    EXPECT_FALSE(temp.Open(dir / "d.txt", false));
    EXPECT_TRUE(platform::FileExists(dir / "xoStr31.Txt"));
    EXPECT_EQ(temp.GetCount(), 0);

    THdStrings file;
    file.SetParam(0, 2);
    ASSERT_TRUE(file.Open(dir / "d.txt", false));
    file.Insert(1, "new");
    file.TrimStorage();
    EXPECT_EQ(ReadFile(dir / "d.txt"), "a\r\nnew\r\nbb\r\nc");
    // The file is held: a second list cannot take it for writing.
    THdStrings other;
    other.SetParam(0, 2);
    EXPECT_FALSE(other.Open(dir / "d.txt", false));
    // The list itself can open it again.
    file.Add("tail");
    ASSERT_TRUE(file.Open(dir / "d.txt", false));
    EXPECT_EQ(Texts(file), (std::vector<std::string>{"a", "new", "bb", "c", "tail"}));
}

// A file past 4 GiB (sparse, so the test takes no disk) opens through a
// table of the wide kind, is edited at its end in place, and its table is
// written in the wide kind again; ends past 4 GiB stay exact.
TEST(HdStringsFiles, FilesPastFourGibibytes) {
    TempFolder dir;
    std::string big = dir / "big.txt";
    const int64_t gap = (int64_t(5) << 30) + 3;
    {
        int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "first\r\n", 7, 0), 7);
        ASSERT_EQ(::pwrite(fd, "\r\nlast\r\n", 8, 7 + gap), 8);
        ::close(fd);
    }
    const int64_t ends[3] = {7, 7 + gap + 2, 7 + gap + 8};
    std::string table = std::string("VsInd\x02", 6) + Header(2).substr(6);
    for (int64_t end : ends) {
        TEntry e;
        e.End = end;
        uint8_t b[WideEntryRecordSize];
        EncodeWideEntry(e, b);
        table += std::string(reinterpret_cast<char*>(b), WideEntryRecordSize);
    }
    WriteFile(dir / "big.Rni", table);
    MatchTimes(big, dir / "big.Rni");

    const int64_t newEnd = ends[2] + 3 + 6;
    {
        THdStrings list;
        list.SetParam(0, 2);
        ASSERT_TRUE(list.Open(big, false));
        ASSERT_EQ(list.GetCount(), 3);
        EXPECT_EQ(list.Get(0), "first");
        EXPECT_EQ(list.Get(2), "last");
        EXPECT_EQ(list.Entry(2).End, ends[2]);
        list.Put(2, "changed");
        list.Add("more");
        EXPECT_FALSE(list.IoError());
        EXPECT_EQ(list.Get(2), "changed");
        EXPECT_EQ(list.Entry(3).End, newEnd);
        ASSERT_TRUE(list.SaveIndex(true));
    }

    std::string written = ReadFile(dir / "big.Rni");
    ASSERT_EQ(written.size(), 10u + 4 * WideEntryRecordSize + TableTrailerSize);
    EXPECT_EQ(written.substr(0, 6), std::string("VsInd\x02", 6));
    EXPECT_EQ(DecodeWideEntry(reinterpret_cast<const uint8_t*>(written.data()) + 10 + 3 * WideEntryRecordSize).End,
              newEnd);
    THdStrings again;
    again.SetParam(0, 2);
    ASSERT_TRUE(again.Open(big, true));
    EXPECT_TRUE(again.LoadIndex(""));
    EXPECT_EQ(again.Get(3), "more");
    struct stat st{};
    ::stat(big.c_str(), &st);
    EXPECT_EQ(st.st_size, newEnd);
}

TEST(HdStringsFiles, EntryTableLayoutAndUse) {
    TempFolder dir;
    std::string data = dir / "t.txt";
    WriteFile(data, "ab\r\nc\r\nlast");
    THdStrings list;
    list.SetParam(0, 2);
    ASSERT_TRUE(list.Open(data, false));
    EXPECT_TRUE(list.SaveIndex(true));  // none yet: nothing written
    EXPECT_FALSE(platform::FileExists(dir / "t.Rni"));
    ASSERT_TRUE(list.SaveIndex(false));
    std::string expected = Header(2) + Record(4, 0, 0) + Record(7, 0, 0) + Record(11, efNoSeparator, 0);
    EXPECT_EQ(Layout(ReadFile(dir / "t.Rni")), Layout(Owned(data, expected)));
    timespec a1{}, m1{}, a2{}, m2{};
    platform::GetFileTimes(data, a1, m1);
    platform::GetFileTimes(dir / "t.Rni", a2, m2);
    EXPECT_EQ(m1.tv_sec, m2.tv_sec);
    EXPECT_EQ(m1.tv_nsec, m2.tv_nsec);

    // A valid table is used as it stands: objects stored in it come back.
    THdStrings again;
    WriteFile(dir / "t.Rni", Owned(data, Header(2) + Record(4, 0, 7) + Record(7, 0, 8) + Record(11, efNoSeparator, 9)));
    MatchTimes(data, dir / "t.Rni");
    list.SetParam(0, 0);  // let go of the file
    ASSERT_TRUE(again.Open(data, false));
    EXPECT_EQ(again.GetObject(2), 9);
    EXPECT_EQ(Texts(again), (std::vector<std::string>{"ab", "c", "last"}));

    // A table written while the file has growth slack describes the file
    // as it is left.
    THdStrings grown;
    grown.SetParam(0, 2);
    ASSERT_TRUE(grown.Open(dir / "g.txt", false));
    grown.Add("one");
    ASSERT_TRUE(grown.SaveIndex(false));
    THdStrings reread;
    ASSERT_TRUE(reread.Open(dir / "g.txt", true));
    EXPECT_TRUE(reread.LoadIndex(""));
    EXPECT_EQ(Texts(reread), (std::vector<std::string>{"one"}));

    // An index folder holds the table under the data file's name.
    THdStrings elsewhere;
    std::filesystem::create_directory(dir / "idx");
    elsewhere.SetIndexFolder(dir / "idx");
    EXPECT_EQ(elsewhere.IndexFileName("/a/b/c.txt"), dir / "idx/c.Rni");
    EXPECT_EQ(elsewhere.IndexFileName("/a/b.d/noext"), dir / "idx/noext.Rni");
    EXPECT_EQ(list.IndexFileName("/a/b.d/noext"), "/a/b.d/noext.Rni");
}

// Stale, foreign and inconsistent tables are ignored and the file scanned.
TEST(HdStringsFiles, BadEntryTablesAreIgnored) {
    TempFolder dir;
    std::string data = dir / "t.txt";
    WriteFile(data, "ab\r\nc\r\n");
    const std::string good = Header(1) + Record(4, 0, 5) + Record(7, 0, 6);
    const std::vector<std::pair<std::string, std::string>> tables = {
        {"foreign signature", std::string("VsIne\0", 6) + good.substr(6)},
        {"count past the file", Header(1000000) + good.substr(10)},
        {"negative count", Header(-7) + good.substr(10)},
        {"short header", std::string("VsInd", 5)},
        {"ends past the data", Header(1) + Record(4, 0, 5) + Record(70, 0, 6)},
        {"ends descending", Header(1) + Record(6, 0, 5) + Record(4, 0, 6)},
        {"open end not last", Header(1) + Record(3, efNoSeparator, 5) + Record(7, 0, 6)},
        {"wrong last kind", Header(1) + Record(4, 0, 5) + Record(7, efNoSeparator, 6)},
    };
    for (auto& [what, table] : tables) {
        // Each with the trailer of this file: the records themselves are wrong.
        WriteFile(dir / "t.Rni", Owned(data, table));
        MatchTimes(data, dir / "t.Rni");
        THdStrings list;
        ASSERT_TRUE(list.Open(data, false)) << what;
        EXPECT_EQ(Texts(list), (std::vector<std::string>{"ab", "c"})) << what;
        EXPECT_EQ(list.GetObject(0), 0) << what;
    }
    // A good table with another time is stale.
    WriteFile(dir / "t.Rni", Owned(data, good));
    timespec access{}, modification{};
    platform::GetFileTimes(data, access, modification);
    modification.tv_sec -= 100;
    platform::SetFileTimes(dir / "t.Rni", access, modification);
    THdStrings list;
    ASSERT_TRUE(list.Open(data, false));
    EXPECT_EQ(list.GetObject(0), 0);
    // Saving brings a present, stale table up to date.
    ASSERT_TRUE(list.SaveIndex(true));
    EXPECT_EQ(Layout(ReadFile(dir / "t.Rni")), Layout(Owned(data, Header(1) + Record(4, 0, 0) + Record(7, 0, 0))));
}

TEST(HdStringsFiles, SaveWithItsQuestionsAndMessages) {
    TempFolder dir;
    Boxes boxes;
    THdStrings list;
    EXPECT_FALSE(list.Save(dir / "x.txt"));  // no stream yet
    list.SetRawText("");
    list.Add("");
    list.Delete(0);
    ASSERT_TRUE(list.Save(dir / "empty.txt"));
    EXPECT_EQ(ReadFile(dir / "empty.txt"), "");
    EXPECT_EQ(list.FileName(), dir / "empty.txt");

    list.Add("one");
    WriteFile(dir / "other.txt", "keep me, I am longer");
    boxes.box->Answer(platform::IDCANCEL);
    EXPECT_FALSE(list.Save(dir / "other.txt"));
    ASSERT_EQ(boxes.box->Boxes().size(), 1u);
    EXPECT_EQ(boxes.box->Boxes()[0].caption, "HdStrings - Save As");
    EXPECT_EQ(boxes.box->Boxes()[0].text, "File [" + (dir / "other.txt") + "] exists, overwrite ?");
    EXPECT_EQ(boxes.box->Boxes()[0].flags & 0xFF, 49u);
    EXPECT_EQ(ReadFile(dir / "other.txt"), "keep me, I am longer");
    EXPECT_EQ(list.FileName(), dir / "empty.txt");

    boxes.box->Answer(platform::IDOK);
    ASSERT_TRUE(list.Save(dir / "other.txt"));
    EXPECT_EQ(ReadFile(dir / "other.txt"), "one\r\n");
    // Its own file is saved without a question.
    boxes.box->ClearBoxes();
    list.Add("two");
    ASSERT_TRUE(list.Save(""));
    EXPECT_TRUE(boxes.box->Boxes().empty());
    EXPECT_EQ(ReadFile(dir / "other.txt"), "one\r\ntwo\r\n");

    WriteFile(dir / "ro.txt", "ro");
    ::chmod((dir / "ro.txt").c_str(), 0444);
    if (::access((dir / "ro.txt").c_str(), W_OK) != 0) {  // root may write anything
        EXPECT_FALSE(list.Save(dir / "ro.txt"));
        EXPECT_EQ(boxes.box->Boxes().back().caption, "HdStrings - Save");
        EXPECT_EQ(boxes.box->Boxes().back().text, "File [" + (dir / "ro.txt") + "] is write protected, can't save.");
    }
    EXPECT_FALSE(list.Save(dir / "missing/folder.txt"));
    EXPECT_EQ(boxes.box->Boxes().back().caption, "HdStrings - Save");
    EXPECT_EQ(boxes.box->Boxes().back().text, "Failed to open file " + (dir / "missing/folder.txt"));
}

TEST(HdStringsFiles, SaveMovesDataFileListOntoNewFile) {
    TempFolder dir;
    WriteFile(dir / "a.txt", "x\r\ny\r\n");
    THdStrings list;
    list.SetParam(0, 2);
    ASSERT_TRUE(list.Open(dir / "a.txt", false));
    ASSERT_TRUE(list.Save(""));  // its own file: nothing to do
    ASSERT_TRUE(list.Save(dir / "b.txt"));
    EXPECT_EQ(list.FileName(), dir / "b.txt");
    list.Add("z");
    list.TrimStorage();
    EXPECT_EQ(ReadFile(dir / "b.txt"), "x\r\ny\r\nz\r\n");
    EXPECT_EQ(ReadFile(dir / "a.txt"), "x\r\ny\r\n");
    // The old file is free again.
    THdStrings other;
    other.SetParam(0, 2);
    EXPECT_TRUE(other.Open(dir / "a.txt", false));
}

TEST(HdStringsFiles, StreamsInAndOut) {
    THdStrings list;
    platform::TMemoryStream in(std::vector<uint8_t>{'p', '\r', '\n', 'q'});
    in.SetPosition(4);  // at its end: nothing happens
    list.LoadFromStream(in);
    EXPECT_EQ(list.GetCount(), 0);
    in.SetPosition(2);  // the whole content is taken, from its start
    list.LoadFromStream(in);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"p", "q"}));

    platform::TMemoryStream out;
    out.WriteBuffer("<", 1);
    list.SaveToStream(out);
    EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), "<p\r\nq");

    TempFolder dir;
    WriteFile(dir / "f.txt", "old\r\n");
    THdStrings file;
    file.SetParam(0, 2);
    ASSERT_TRUE(file.Open(dir / "f.txt", false));
    platform::TFileStream src(dir / "f.txt", platform::fmOpenRead);  // not a memory stream
    platform::TMemoryStream more(std::vector<uint8_t>{'n', 'e', 'w'});
    file.LoadFromStream(more);  // appended after the kept entries
    EXPECT_EQ(Texts(file), (std::vector<std::string>{"old", "new"}));
}

TEST(HdStringsFiles, IndexOfRange) {
    THdStrings list;
    for (const char* s : {"a", "b", "c", "d", "e", "f", "b"}) list.Add(s);
    EXPECT_EQ(list.IndexOfRange("f", 5, 2), 5);
    EXPECT_EQ(list.IndexOfRange("b", 5, 2), -1);
    EXPECT_EQ(list.IndexOfRange("b", 2, -1), 6);
    EXPECT_EQ(list.IndexOfRange("b", -4, 0), -1);
    EXPECT_EQ(list.IndexOfRange("", 0, 6), -1);
    EXPECT_EQ(list.IndexOfRange("B", 0, 6), -1);
    list.SetFlag(10, true);
    EXPECT_EQ(list.IndexOfRange("B", 0, 6), 1);
    EXPECT_EQ(list.IndexOfRange("b", 50, 60), -1);

    EXPECT_EQ(list.FindValue(platform::TVariant("b"), 0, 0, 6), 1);
    EXPECT_EQ(list.FindValue(platform::TVariant("b"), 0, 6, 2), 6);
    EXPECT_EQ(list.FindValue(platform::TVariant("b"), 0, 5, 2), 1);
    EXPECT_EQ(list.FindValue(platform::TVariant("B"), platform::NORM_IGNORECASE, 2, 5), -1);
    EXPECT_EQ(list.FindValue(platform::TVariant(7), 0, 0, 6), -1);
    EXPECT_EQ(list.FindValue(platform::TVariant(""), 0, 0, 6), -1);
}

// The temporary file of storage mode 1 is made new: a link planted under its
// name is passed over, and what it points to stays as it was. Saving over
// the list's own file through a link writes the file and keeps the link.
TEST(HdStringsFiles, TemporaryFileAndSavesThroughLinks) {
    TempFolder dir;
    WriteFile(dir / "victim.txt", "keep");
    ASSERT_EQ(::symlink((dir / "victim.txt").c_str(), (dir / "xoStr31.Txt").c_str()), 0);
    THdStrings temp;
    temp.SetPath(1, dir.Path());
    temp.Add("secret");
    temp.SetParam(0, 1);
    EXPECT_EQ(temp.GetPath(2), dir / "xoStr31_1.Txt");
    EXPECT_EQ(ReadFile(dir / "victim.txt"), "keep");

    WriteFile(dir / "real.txt", "a\r\n");
    ASSERT_EQ(::symlink("real.txt", (dir / "link.txt").c_str()), 0);
    THdStrings list;
    ASSERT_TRUE(list.Open(dir / "link.txt", false));
    list.Add("b");
    ASSERT_TRUE(list.Save(""));
    struct stat st{};
    ASSERT_EQ(::lstat((dir / "link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(dir / "real.txt"), "a\r\nb\r\n");
}

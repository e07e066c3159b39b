// The storage model: stream bytes, entry ends, moves, flags, the scan and
// the storage modes.
#include "xoStr31/HdStrings.h"

#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/Streams.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <random>

using namespace xoStr31;
using qeltest::TempFolder;

namespace {

std::string Bytes(THdStrings& list) {
    auto* memory = dynamic_cast<platform::TMemoryStream*>(list.Stream());
    if (!memory) return "<no memory stream>";
    return std::string(memory->Bytes().begin(), memory->Bytes().begin() + list.UsedSize());
}

std::vector<int32_t> Ends(THdStrings& list) {
    std::vector<int32_t> ends;
    for (int i = 0; i <= list.LastIndex(); ++i) ends.push_back(list.Entry(i).End);
    return ends;
}

std::vector<std::string> Texts(THdStrings& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.Get(i));
    return out;
}

struct Boxes {
    std::shared_ptr<platform::ScriptedMessageBox> box = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope{box};
};

} // namespace

TEST(HdStringsStorage, NewListIsEmpty) {
    THdStrings list;
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetCapacity(), -1);
    EXPECT_EQ(list.Get(0), "");
    EXPECT_EQ(list.GetObject(0), 0);
    EXPECT_EQ(list.StorageMode(), 0);
}

TEST(HdStringsStorage, AddWritesTextAndSeparator) {
    THdStrings list;
    EXPECT_EQ(list.Add("abc"), 0);
    EXPECT_EQ(list.Add("de"), 1);
    EXPECT_EQ(Bytes(list), std::string("abc\r\nde\r\n"));
    EXPECT_EQ(Ends(list), (std::vector<int32_t>{5, 9}));
    EXPECT_EQ(list.UsedSize(), 9);
    EXPECT_EQ(list.GetCapacity(), 49);
    EXPECT_EQ(list.Get(0), "abc");
    EXPECT_EQ(list.Get(1), "de");
}

TEST(HdStringsStorage, UnterminatedLastEntry) {
    THdStrings list;
    list.AppendData("x\r\ny", 4);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Get(0), "x");
    EXPECT_EQ(list.Get(1), "y");
    EXPECT_EQ(list.Entry(1).End, 4);
    EXPECT_EQ(list.Entry(1).Flags & efNoSeparator, 1);
    EXPECT_EQ(list.Entry(0).Flags, 0);

    list.Add("z");
    EXPECT_EQ(Bytes(list), std::string("x\r\ny\r\nz\r\n"));
    EXPECT_EQ(list.Get(1), "y");
    EXPECT_EQ(list.Entry(1).Flags, 0);
    EXPECT_EQ(Ends(list), (std::vector<int32_t>{3, 6, 9}));

    // Appending raw bytes after an open end continues that entry.
    THdStrings more;
    more.AppendData("x\r\ny", 4);
    more.AppendData("z\r\nw", 4);
    EXPECT_EQ(Texts(more), (std::vector<std::string>{"x", "yz", "w"}));
}

TEST(HdStringsStorage, PutOnUnterminatedEntryAddsSeparator) {
    THdStrings list;
    list.AppendData("x\r\ny", 4);
    list.Put(1, "long");
    EXPECT_EQ(Bytes(list), std::string("x\r\nlong\r\n"));
    EXPECT_EQ(list.Get(1), "long");
    EXPECT_EQ(list.Entry(1).Flags, 0);
    EXPECT_EQ(list.UsedSize(), 9);
    list.Put(0, "");
    EXPECT_EQ(Bytes(list), std::string("\r\nlong\r\n"));
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"", "long"}));
}

TEST(HdStringsStorage, InsertAtFrontMovesEveryByte) {
    THdStrings list;
    list.Add("abc");
    list.Add("de");
    list.Insert(0, "q");
    EXPECT_EQ(Bytes(list), std::string("q\r\nabc\r\nde\r\n"));
    EXPECT_EQ(Ends(list), (std::vector<int32_t>{3, 8, 12}));
    list.Insert(2, "mid");
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"q", "abc", "mid", "de"}));
}

TEST(HdStringsStorage, DeleteOnlyEntryEmptiesList) {
    THdStrings list;
    list.Add("only");
    list.Delete(0);
    EXPECT_EQ(list.UsedSize(), 0);
    EXPECT_EQ(list.LastIndex(), -1);
    list.Delete(0);  // out of range: nothing
    list.Put(3, "x");
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(HdStringsStorage, ZeroByteEndsTheText) {
    THdStrings list;
    list.Add(std::string("ab\0cd", 5));
    EXPECT_EQ(list.Get(0), "ab");
    EXPECT_EQ(list.UsedSize(), 7);
}

TEST(HdStringsStorage, FlagsAndOptions) {
    THdStrings list;
    list.SetFlag(10, true);
    list.SetFlag(10, true);
    EXPECT_EQ(list.CompareFlags(), 1u);
    EXPECT_TRUE(list.GetFlag(10));
    list.SetFlag(10, false);
    EXPECT_EQ(list.CompareFlags(), 0u);
    list.SetFlag(13, true);
    list.SetFlag(14, true);
    EXPECT_EQ(list.CompareFlags(), 0x30000u);
    list.SetFlag(0, true);
    EXPECT_TRUE(list.GetFlag(0));
    EXPECT_FALSE(list.GetFlag(1));
    EXPECT_FALSE(list.GetFlag(99));
    list.SetFlag(99, true);
    EXPECT_EQ(list.CompareFlags(), 0x30000u);

    list.SetParam(1, 77);
    EXPECT_EQ(list.Reserve(), 77);
    list.SetPath(0, "/x/data.txt");
    list.SetPath(1, "/x/tmp/");
    EXPECT_EQ(list.GetPath(0), "/x/data.txt");
    EXPECT_EQ(list.GetPath(1), "/x/tmp/");
    EXPECT_EQ(list.GetPath(7), "");
}

TEST(HdStringsStorage, ObjectsAreThirtyTwoBit) {
    THdStrings list;
    list.AddObject("a", -5);
    list.Add("b");
    EXPECT_EQ(list.GetObject(0), -5);
    list.PutObject(1, 123456);
    EXPECT_EQ(list.GetObject(1), 123456);
    EXPECT_THROW(list.PutObject(1, int64_t(1) << 40), platform::EStringListError);
    EXPECT_THROW(list.AddObject("c", int64_t(1) << 40), platform::EStringListError);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetObject(1), 123456);

    std::vector<uint32_t> released;
    list.OnReleaseObject = [&](uint32_t o) { released.push_back(o); };
    list.SetOwnsObjects(true);
    list.Clear();
    EXPECT_EQ(released, (std::vector<uint32_t>{uint32_t(-5), 123456u}));
}

TEST(HdStringsStorage, ScanWithAndWithoutSeparators) {
    THdStrings list;
    list.AppendData("abc", 3);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.Entry(0).Flags, efNoSeparator);
    EXPECT_EQ(list.Get(0), "abc");

    THdStrings none;
    EXPECT_FALSE(none.BuildIndex(-1));  // no stream yet
    none.Add("x");
    none.Delete(0);
    EXPECT_TRUE(none.BuildIndex(-1));
    EXPECT_EQ(none.GetCount(), 0);

    // Lone CR and LF are text, not separators.
    // Objects of entries scanned anew start empty.
    THdStrings objects;
    objects.AddObject("a", 5);
    objects.AddObject("b", 6);
    objects.SetRawText("x\r\ny\r\n");
    EXPECT_EQ(objects.GetObject(0), 0);
    EXPECT_EQ(objects.GetObject(1), 0);

    THdStrings lone;
    lone.SetRawText("a\rb\nc\r\n\r\nd\r");
    EXPECT_EQ(Texts(lone), (std::vector<std::string>{"a\rb\nc", "", "d\r"}));
}

// Every chunk size, down to the smallest, finds the same entries as a
// plain split, separators cut by chunk borders included.
TEST(HdStringsStorage, ScanAcrossChunkBorders) {
    std::mt19937 rng(7);
    const char alphabet[] = {'a', 'b', '\r', '\n', '\r', '\n', '\0'};
    for (int round = 0; round < 60; ++round) {
        std::string data;
        int length = int(rng() % (round % 2 ? 40 : 300));
        for (int i = 0; i < length; ++i) data += alphabet[rng() % sizeof alphabet];
        std::vector<std::string> expected;
        std::vector<int32_t> expectedEnds;
        size_t start = 0;
        for (size_t i = 0; i + 1 < data.size(); ++i)
            if (data[i] == '\r' && data[i + 1] == '\n') {
                expected.push_back(data.substr(start, i - start));
                expectedEnds.push_back(int32_t(i + 2));
                start = i + 2;
                ++i;
            }
        if (start < data.size()) {
            expected.push_back(data.substr(start));
            expectedEnds.push_back(int32_t(data.size()));
        }
        for (auto& t : expected) t = t.substr(0, t.find('\0'));
        for (int chunk : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 18, 31, 33, 64, 1000}) {
            THdStrings list;
            list.SetScanChunk(chunk);
            int events = 0;
            list.OnProgress = [&](THdStrings*) { ++events; };
            list.SetRawText(data);
            ASSERT_EQ(Texts(list), expected) << "chunk " << chunk << " round " << round;
            ASSERT_EQ(Ends(list), expectedEnds);
            if (!data.empty()) {
                EXPECT_GE(events, 1);
            }
            EXPECT_LE(list.Progress(), 100);
        }
    }
}

TEST(HdStringsStorage, ClearKeepsEntriesOfDataFile) {
    TempFolder dir;
    qeltest::WriteFile(dir / "d.txt", "one\r\ntwo\r\n");
    THdStrings list;
    list.SetParam(0, 2);
    ASSERT_TRUE(list.Open(dir / "d.txt", false));
    list.Clear();
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Get(1), "two");
}

// A first change with an empty tail must not leave a buffer too small for
// every later, larger change.
TEST(HdStringsStorage, MoveBufferGrowsWithTheChange) {
    Boxes boxes;
    THdStrings list;
    list.Add("a");
    list.Add("b");
    list.Put(1, "bb");  // empty tail, change of 1
    std::string big(5000, 'x');
    list.Insert(0, big);
    list.Put(1, big);
    EXPECT_TRUE(boxes.box->Boxes().empty());
    EXPECT_EQ(Texts(list), (std::vector<std::string>{big, big, "bb"}));
    EXPECT_FALSE(list.IoError());
}

// Random edits against a plain vector, with a move buffer of a few bytes so
// that tails move in pieces in both directions, in memory and in a file.
TEST(HdStringsStorage, RandomEditsMatchPlainList) {
    TempFolder dir;
    for (int mode : {0, 2}) {
        std::mt19937 rng(11 + mode);
        THdStrings list;
        list.SetMoveLimit(3);
        list.SetGrowStep(7);
        if (mode == 2) {
            list.SetParam(0, 2);
            ASSERT_TRUE(list.Open(dir / "edits.txt", false));
        }
        std::vector<std::string> model;
        for (int step = 0; step < 600; ++step) {
            std::string text(rng() % 9, char('a' + rng() % 26));
            int op = int(rng() % 4);
            int n = int(model.size());
            if (op == 0 || n == 0) {
                ASSERT_EQ(list.Add(text), n);
                model.push_back(text);
            } else if (op == 1) {
                int i = int(rng() % (n + 1));
                list.Insert(i, text);
                model.insert(model.begin() + i, text);
            } else if (op == 2) {
                int i = int(rng() % n);
                list.Put(i, text);
                model[size_t(i)] = text;
            } else {
                int i = int(rng() % n);
                list.Delete(i);
                model.erase(model.begin() + i);
            }
            ASSERT_FALSE(list.IoError());
            ASSERT_EQ(list.GetCount(), int(model.size()));
        }
        EXPECT_EQ(Texts(list), model);
        std::string text;
        for (auto& t : model) text += t + "\r\n";
        EXPECT_EQ(list.GetText(), text);
        if (mode == 2) {
            list.TrimStorage();
            EXPECT_EQ(qeltest::ReadFile(dir / "edits.txt"), text);
        }
    }
}

TEST(HdStringsStorage, InheritedServicesWork) {
    THdStrings list;
    list.SetText("one\ntwo\r\nthree");
    EXPECT_EQ(list.GetCount(), 3);
    list.Move(0, 2);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"two", "three", "one"}));
    list.Exchange(0, 1);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"three", "two", "one"}));
    EXPECT_EQ(list.IndexOf("TWO"), 1);
    platform::TStringList other;
    other.AddObject("four", 4);
    list.AddStrings(other);
    EXPECT_EQ(list.Get(3), "four");
    EXPECT_EQ(list.GetObject(3), 4);
    EXPECT_EQ(list.GetText(), "three\r\ntwo\r\none\r\nfour\r\n");
}

// A data-file list without a file stores nothing and says so.
TEST(HdStringsStorage, DataFileModeWithoutFileFailsClearly) {
    THdStrings list;
    list.SetParam(0, 2);
    EXPECT_EQ(list.StorageMode(), 2);
    EXPECT_EQ(list.Stream(), nullptr);
    EXPECT_EQ(list.Add("text"), -1);
    EXPECT_TRUE(list.IoError());
    EXPECT_EQ(list.GetCount(), 0);
    list.AppendData("a\r\n", 3);
    EXPECT_TRUE(list.IoError());
    EXPECT_EQ(list.GetCount(), 0);
}

// Switching from memory to a file whose stream cannot be made keeps the
// entries in memory.
TEST(HdStringsStorage, ModeSwitchMovesOrKeepsContent) {
    TempFolder dir;
    THdStrings list;
    list.Add("a");
    list.Add("b");
    list.SetParam(0, 2);  // no file name: the memory stays
    EXPECT_EQ(list.StorageMode(), 0);
    EXPECT_TRUE(list.IoError());
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b"}));

    list.SetPath(0, dir / "moved.txt");
    list.SetParam(0, 2);
    EXPECT_EQ(list.StorageMode(), 2);
    list.Add("c");
    list.TrimStorage();
    EXPECT_EQ(qeltest::ReadFile(dir / "moved.txt"), "a\r\nb\r\nc\r\n");
    list.SetParam(0, 0);
    EXPECT_EQ(Bytes(list), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(qeltest::ReadFile(dir / "moved.txt"), "a\r\nb\r\nc\r\n");

    list.SetPath(1, dir.Path());
    list.SetParam(0, 1);
    std::string temp = list.GetPath(2);
    EXPECT_EQ(temp, dir / "xoStr31.Txt");
    EXPECT_TRUE(platform::FileExists(temp));
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b", "c"}));
    THdStrings second;  // the first name is taken
    second.SetPath(1, dir.Path());
    second.SetParam(0, 1);
    second.Add("x");
    EXPECT_EQ(second.GetPath(2), dir / "xoStr31_1.Txt");
    list.SetParam(0, 0);
    EXPECT_FALSE(platform::FileExists(temp));
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"a", "b", "c"}));
}

// A list that cannot make room (its file is read-only) loses nothing.
TEST(HdStringsStorage, InsertThatCannotMakeRoomChangesNothing) {
    TempFolder dir;
    qeltest::WriteFile(dir / "ro.txt", "one\r\ntwo\r\n");
    THdStrings list;
    list.SetParam(0, 2);
    ASSERT_TRUE(list.Open(dir / "ro.txt", true));
    EXPECT_EQ(list.InsertItem(0, "zero", 0), -1);
    EXPECT_TRUE(list.IoError());
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(list.Add("three"), -1);
    EXPECT_EQ(list.GetCount(), 2);
    list.Put(0, "changed");
    EXPECT_EQ(list.Get(0), "one");
    EXPECT_EQ(qeltest::ReadFile(dir / "ro.txt"), "one\r\ntwo\r\n");
}

// Whether a change was made is answered by the change itself, not by the
// sticky IoError that an earlier failure leaves set.
TEST(HdStringsStorage, EachChangeAnswersWhetherItWasMade) {
    TempFolder dir;
    qeltest::WriteFile(dir / "d.txt", "one\r\ntwo\r\n");
    THdStrings list;
    list.SetParam(TParam::StorageMode, TStorageMode::File);
    ASSERT_TRUE(list.Open(dir / "d.txt", true));
    list.Put(0, "changed");
    EXPECT_FALSE(list.LastChangeMade());
    EXPECT_EQ(list.LastFault(), TFileFault::ReadOnly);
    list.Delete(1);
    EXPECT_FALSE(list.LastChangeMade());
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(qeltest::ReadFile(dir / "d.txt"), "one\r\ntwo\r\n");

    ASSERT_TRUE(list.Open(dir / "d.txt", false));
    EXPECT_FALSE(list.SetStorage(0, -(int64_t(1) << 47)));  // past what a list holds
    EXPECT_TRUE(list.IoError());
    list.Put(0, "changed");
    EXPECT_TRUE(list.LastChangeMade());
    EXPECT_TRUE(list.IoError());  // still set from before: no answer for the put
    list.Delete(1);
    EXPECT_TRUE(list.LastChangeMade());
    EXPECT_EQ(qeltest::ReadFile(dir / "d.txt"), "changed\r\n");
}

// The names stand for the numbers the numbered calls take.
TEST(HdStringsStorage, NamedKindsAreTheNumberedOnes) {
    TempFolder dir;
    THdStrings list;
    list.SetFlag(TFlag::IgnoreCase, true);
    list.SetFlag(TFlag::IgnoreNonSpace, true);
    list.SetFlag(TFlag::IgnoreSymbols, true);
    list.SetFlag(TFlag::IgnoreKanaType, true);
    list.SetFlag(TFlag::IgnoreWidth, true);
    EXPECT_EQ(list.CompareFlags(), 0x30007u);
    list.SetFlag(TFlag::StoredOption1, true);
    EXPECT_TRUE(list.GetFlag(1));
    EXPECT_FALSE(list.GetFlag(TFlag::StoredOption0));
    list.SetParam(TParam::Reserve, 5);
    EXPECT_EQ(list.Reserve(), 5);
    list.SetPath(TPathKind::TempFolder, dir.Path());
    EXPECT_EQ(list.GetPath(1), dir.Path());
    list.SetParam(TParam::StorageMode, TStorageMode::TempFile);
    EXPECT_EQ(list.StorageMode(), 1);
    EXPECT_EQ(list.GetPath(TPathKind::TempFileName), dir / "xoStr31.Txt");
    list.SetPath(TPathKind::FileName, dir / "named.txt");
    list.SetParam(TParam::StorageMode, TStorageMode::File);
    EXPECT_EQ(list.Storage(), TStorageMode::File);
    EXPECT_EQ(list.GetPath(0), dir / "named.txt");
    EXPECT_EQ(list.GetPath(TPathKind::TempFileName), "");  // the temporary file is gone with its mode
}

// Entry ends past 4 GiB are kept as 4-byte low halves and a few step marks:
// every change of the table against a plain list of 64-bit ends, with ends
// that cross several 4 GiB boundaries back and forth.
TEST(HdStringsStorage, EntryEndsPastFourGibibytesMatchPlainList) {
    std::mt19937_64 rng(3);
    const int64_t g4 = int64_t(1) << 32;
    TEntryEnds ends;
    std::vector<int64_t> model;
    auto check = [&](int step) {
        ASSERT_EQ(ends.size(), model.size()) << step;
        for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(ends[i], model[i]) << "step " << step << " at " << i;
    };
    for (int step = 0; step < 3000; ++step) {
        const int64_t last = model.empty() ? 0 : model.back();
        switch (rng() % 5) {
        case 0: {  // append, sometimes jumping a boundary or more
            int64_t gap = rng() % 3 == 0 ? int64_t(rng() % (3 * g4)) : int64_t(rng() % 1000);
            ends.push_back(last + gap);
            model.push_back(last + gap);
            break;
        }
        case 1: {  // insert between two ends
            size_t i = model.empty() ? 0 : rng() % (model.size() + 1);
            int64_t lo = i ? model[i - 1] : 0, hi = i < model.size() ? model[i] : lo + g4;
            int64_t v = lo + int64_t(rng() % uint64_t(hi - lo + 1));
            ends.insert(i, v);
            model.insert(model.begin() + std::ptrdiff_t(i), v);
            break;
        }
        case 2:
            if (!model.empty()) {
                size_t i = rng() % model.size();
                ends.erase(i);
                model.erase(model.begin() + std::ptrdiff_t(i));
            }
            break;
        case 3:
            if (!model.empty()) {  // move the ends from i, up or down (never below the end before)
                size_t i = rng() % model.size();
                int64_t floor = i ? model[i - 1] : 0;
                int64_t delta = int64_t(rng() % (2 * g4)) - std::min<int64_t>(g4, model[i] - floor);
                ends.AddFrom(i, delta);
                for (size_t j = i; j < model.size(); ++j) model[j] += delta;
            }
            break;
        default:
            if (rng() % 8 == 0) {
                size_t n = model.empty() ? 0 : rng() % model.size();
                ends.resize(n);
                model.resize(n);
            }
        }
        check(step);
    }
}

#include "settings/SettingsText.h"

#include "TestSupport.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <memory>

using namespace settings;
using platform::TStringList;
using platform::TVariant;
using settings_test::Fill;
using settings_test::Joined;

namespace {

struct Found {
    int result, start, end, sep;
};

Found Find(TStringList& list, const std::string& section, const std::string& key, int occurrence = 0,
           unsigned options = 0) {
    Found f{};
    f.result = FindKey(&list, section, key, occurrence, f.start, f.end, f.sep, options);
    return f;
}

class SettingsText : public ::testing::Test {
protected:
    void TearDown() override { platform::ResetFormatSettings(); }
    void SetUp() override {
        platform::SetFormatSettings({".", ","});
        Fill(list, {
                       "; settings of the test",     // 0
                       "Head=1",                     // 1
                       "",                           // 2
                       "  [Web010]",                 // 3
                       "Left=10",                    // 4
                       "Top =  20 ; pixels",         // 5
                       " Indented=1",                // 6
                       ";Hidden=1",                  // 7
                       "cbURL#0=one",                // 8
                       "cbURL#1=two",                // 9
                       "",                           // 10
                       "[Vols] ; volumes",           // 11
                       "VsPath=/mnt/e/",             // 12
                       "[Other]",                    // 13
                       "Dup=a",                      // 14
                       "dup=b",                      // 15
                   });
    }
    TStringList list;
    std::shared_ptr<platform::ScriptedMessageBox> boxes = std::make_shared<platform::ScriptedMessageBox>();
    platform::MessageBoxScope scope{boxes};
};

} // namespace

TEST_F(SettingsText, SectionsMatchByNameInAnyFormButNotWithTrailingText) {
    for (const char* name : {"Web010", "[web010]", "  WEB010 ", "[Web010", "Web010]"}) {
        Found f = Find(list, name, "Left");
        EXPECT_EQ(f.result, 4) << name;
        EXPECT_EQ(f.start, 4) << name;
        EXPECT_EQ(f.end, 11) << name;
        EXPECT_EQ(f.sep, 5) << name;
    }
    // Anything after the "]" keeps a header from matching any name.
    EXPECT_EQ(Find(list, "Vols", "VsPath").result, -2);
    EXPECT_EQ(Find(list, "[Vols] ; volumes", "VsPath").result, -2);
    EXPECT_EQ(Find(list, "Nothing", "Left").result, -2);
}

TEST_F(SettingsText, HeaderWithBlanksInsideBracketsIsItsOwnName) {
    // The wanted name is trimmed, not the text inside its brackets.
    EXPECT_EQ(Find(list, "[ Web010 ]", "Left").result, -2);
    Fill(list, {"[ Web010 ]", "Left=1"});
    EXPECT_EQ(Find(list, "[ Web010 ]", "Left").result, 1);
    EXPECT_EQ(Find(list, "Web010", "Left").result, -2);
}

TEST_F(SettingsText, KeysMatchTrimmedAndCaselessButNotIndentedOrCommented) {
    Found top = Find(list, "Web010", " top ");
    EXPECT_EQ(top.result, 5);
    EXPECT_EQ(top.sep, 5);
    EXPECT_EQ(Find(list, "Web010", "Indented").result, -1);
    EXPECT_EQ(Find(list, "Web010", "Hidden").result, -1);
    EXPECT_EQ(Find(list, "Web010", ";Hidden").result, 7);
    // Only ASCII letters fold.
    Fill(list, {"[S]", "\xC9t\xE9=1"});
    EXPECT_EQ(Find(list, "S", "\xE9T\xE9").result, -1);
    EXPECT_EQ(Find(list, "S", "\xC9T\xE9").result, 1);
}

TEST_F(SettingsText, EmptyKeyAsksOnlyForTheBounds) {
    Found f = Find(list, "Other", "");
    EXPECT_EQ(f.result, -1);
    EXPECT_EQ(f.start, 14);
    EXPECT_EQ(f.end, 16);
    Found head = Find(list, "", "   ");
    EXPECT_EQ(head.result, -1);
    EXPECT_EQ(head.start, 0);
    EXPECT_EQ(head.end, 3);
}

TEST_F(SettingsText, FileHeadEndsAtTheFirstHeaderOrIsTheWholeList) {
    EXPECT_EQ(Find(list, "", "Head").result, 1);
    EXPECT_EQ(Find(list, " ", "Left").result, -1);

    Fill(list, {"a=1", "b=2"});
    Found none = Find(list, "", "c");
    EXPECT_EQ(none.result, -2);
    EXPECT_EQ(none.start, 0);
    EXPECT_EQ(none.end, 2);
    EXPECT_EQ(Find(list, "", "b").result, 1);
}

TEST_F(SettingsText, OccurrencesCountLinesWithTheSameKey) {
    EXPECT_EQ(Find(list, "Other", "DUP", 0).result, 14);
    EXPECT_EQ(Find(list, "Other", "DUP", 1).result, 14);
    EXPECT_EQ(Find(list, "Other", "DUP", 2).result, 15);
    EXPECT_EQ(Find(list, "Other", "DUP", 3).result, -1);
}

TEST_F(SettingsText, FindOptions) {
    Fill(list, {"[S]", "Colon: x", "  Trim = y", "Bare", "  [inner]", "After=1", "[T]"});
    EXPECT_EQ(Find(list, "S", "Colon").result, -1);
    Found colon = Find(list, "S", "Colon", 0, fkColonSeparates);
    EXPECT_EQ(colon.result, 1);
    EXPECT_EQ(colon.sep, 6);

    Found trim = Find(list, "S", "Trim", 0, fkLeftTrimKeys);
    EXPECT_EQ(trim.result, 2);
    EXPECT_EQ(trim.sep, 6);  // column in the left-trimmed line

    EXPECT_EQ(Find(list, "S", "Bare").result, -1);
    EXPECT_EQ(Find(list, "S", "Bare", 0, fkBareKeys).result, 3);

    // An indented "[" ends a section unless only column 1 counts.
    EXPECT_EQ(Find(list, "S", "After").result, -1);
    Found col1 = Find(list, "S", "After", 0, fkHeaderInColumn1);
    EXPECT_EQ(col1.result, 5);
    EXPECT_EQ(col1.end, 6);
}

TEST_F(SettingsText, MissingListAnswersWithoutTouchingAnything) {
    int s = 7, e = 7, p = 7;
    EXPECT_EQ(FindKey(nullptr, "S", "K", 0, s, e, p), -3);
    EXPECT_EQ(ReadValue(nullptr, "S", "K", TVariant(42)), TVariant(42));
    EXPECT_FALSE(WriteValue(nullptr, "S", "K", TVariant(1)));
    TStringList target;
    EXPECT_EQ(ReadList(nullptr, "S", "K", target), 0);
    WriteList(nullptr, "S", "K", target);
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST_F(SettingsText, TypedReadsConvertByKind) {
    Fill(list, {"[N]", "Int= 42", "Hex=$FF", "Neg=-7", "Float=2.5", "Cur=1.23456", "Date=36526.5",
                "Text=  some text  ; comment", "Semi=a;b", "TrailBlank=5 ;c"});
    EXPECT_EQ(ReadValue(&list, "N", "Int", TVariant(0)), TVariant(42));
    EXPECT_EQ(ReadValue(&list, "N", "Hex", TVariant(0)), TVariant(255));
    EXPECT_EQ(ReadValue(&list, "N", "Neg", TVariant(0)), TVariant(-7));
    EXPECT_EQ(ReadValue(&list, "N", "Float", TVariant(0.0)), TVariant(2.5));
    EXPECT_EQ(ReadValue(&list, "N", "Cur", TVariant(platform::Currency{})).AsCurrency().scaled, 12346);
    TVariant date = ReadValue(&list, "N", "Date", TVariant::Date(0));
    EXPECT_EQ(date.Kind(), platform::varDouble);
    EXPECT_EQ(date.AsDouble(), 36526.5);
    EXPECT_EQ(ReadValue(&list, "N", "Text", TVariant("")), TVariant("some text"));
    EXPECT_EQ(ReadValue(&list, "N", "Text", TVariant(""), -1, rvToEndOfLine), TVariant("some text  ; comment"));
    EXPECT_EQ(ReadValue(&list, "N", "Semi", TVariant("")), TVariant("a"));
    // The kind argument overrides the default's kind.
    EXPECT_EQ(ReadValue(&list, "N", "Int", TVariant(""), platform::varInteger), TVariant(42));
    EXPECT_EQ(ReadValue(&list, "N", "Int", TVariant(0), platform::varString), TVariant("42"));
    // A missing key gives the default of whatever kind.
    EXPECT_EQ(ReadValue(&list, "N", "Missing", TVariant::Null()).Kind(), platform::varNull);
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST_F(SettingsText, MalformedNumbersRaiseWithTheOffendingText) {
    Fill(list, {"[N]", "TrailBlank=5 ;c", "Word=abc", "Empty=", "Big=4294967296", "F=1.5x"});
    auto messageOf = [&](const char* key, const TVariant& def) {
        try {
            ReadValue(&list, "N", key, def);
        } catch (const platform::EConvertError& e) {
            return e.Message();
        }
        return std::string("no error");
    };
    EXPECT_NE(messageOf("TrailBlank", TVariant(0)).find("'5 '"), std::string::npos);
    EXPECT_NE(messageOf("Word", TVariant(0)).find("abc"), std::string::npos);
    EXPECT_NE(messageOf("Empty", TVariant(0)), "no error");
    EXPECT_NE(messageOf("Big", TVariant(0)).find("4294967296"), std::string::npos);
    EXPECT_NE(messageOf("F", TVariant(0.0)).find("1.5x"), std::string::npos);
    EXPECT_NE(messageOf("Empty", TVariant(platform::Currency{})), "no error");
}

TEST_F(SettingsText, BooleanIsFalseOnlyForExactlyZero) {
    Fill(list, {"[B]", "A=0", "B= 0", "C=0 ;c", "D=", "E=false", "F=0;c", "G=1"});
    EXPECT_EQ(ReadValue(&list, "B", "A", TVariant(true)), TVariant(false));
    EXPECT_EQ(ReadValue(&list, "B", "F", TVariant(true)), TVariant(false));
    for (const char* key : {"B", "C", "D", "E", "G"})
        EXPECT_EQ(ReadValue(&list, "B", key, TVariant(false)), TVariant(true)) << key;
}

TEST_F(SettingsText, UnreadableKindsShowTheMessageOnlyForAnExistingKey) {
    Fill(list, {"[K]", "Key=5"});
    EXPECT_EQ(ReadValue(&list, "K", "Missing", TVariant()).Kind(), platform::varEmpty);
    EXPECT_TRUE(boxes->Boxes().empty());

    EXPECT_TRUE(ReadValue(&list, "K", "Key", TVariant(), -1).IsEmpty());
    EXPECT_TRUE(ReadValue(&list, "K", "Key", TVariant(0), 12).IsEmpty());
    ASSERT_EQ(boxes->Boxes().size(), 2u);
    EXPECT_EQ(boxes->Boxes()[0].text, "Input data type is not correct");
    EXPECT_EQ(boxes->Boxes()[0].caption, "");
    EXPECT_EQ(boxes->Boxes()[0].flags, platform::MB_TASKMODAL);

    // A write of such a value still writes the key, empty.
    boxes->ClearBoxes();
    EXPECT_TRUE(WriteValue(&list, "K", "Odd", TVariant::OfKind(13, 5)));
    EXPECT_EQ(list[2], "Odd=");
    EXPECT_EQ(boxes->Boxes().size(), 1u);
    // Empty and null values are written empty without a message.
    EXPECT_TRUE(WriteValue(&list, "K", "Key", TVariant::Null()));
    EXPECT_EQ(list[1], "Key=");
    EXPECT_EQ(boxes->Boxes().size(), 1u);
}

TEST_F(SettingsText, ReplacingKeepsKeyFormAndCommentColumn) {
    Fill(list, {"[S]", "Name=abc     ;c", "Top =  20 ; pixels", "Plain=1"});
    ASSERT_EQ(list[1].find(';'), 13u);  // column 14
    WriteValue(&list, "S", "NAME", TVariant("x"));
    EXPECT_EQ(list[1], "Name=x       ;c");
    WriteValue(&list, "S", "name", TVariant("0123456789012345678"));
    EXPECT_EQ(list[1], "Name=0123456789012345678;c");

    WriteValue(&list, "S", "top", TVariant(5));
    EXPECT_EQ(list[2], "Top =5    ; pixels");
    WriteValue(&list, "S", "Top", TVariant(7), rvToEndOfLine);
    EXPECT_EQ(list[2], "Top =7");
    WriteValue(&list, "S", "Plain", TVariant(true));
    EXPECT_EQ(list[3], "Plain=1");
    EXPECT_EQ(list.Count(), 4);
}

TEST_F(SettingsText, NewKeysGoBeforeTheNextHeaderOrAtTheEnd) {
    // Into an existing section: behind its trailing blank line, before [Vols].
    WriteValue(&list, "Web010", "Right", TVariant(99));
    EXPECT_EQ(list[11], "Right=99");
    EXPECT_EQ(list[12], "[Vols] ; volumes");

    // Into a missing section: header and line appended, the key as given.
    int count = list.Count();
    WriteValue(&list, " New ", " Key", TVariant("v"));
    EXPECT_EQ(list.Count(), count + 2);
    EXPECT_EQ(list[count], "[New]");
    EXPECT_EQ(list[count + 1], " Key=v");

    // The file head: before the first header.
    WriteValue(&list, "", "HeadKey", TVariant(1));
    EXPECT_EQ(list[3], "HeadKey=1");
    EXPECT_EQ(list[4], "  [Web010]");

    Fill(list, {"a=1"});
    WriteValue(&list, "", "b", TVariant(2));
    EXPECT_EQ(Joined(list), "a=1|b=2|");
    TStringList empty;
    WriteValue(&empty, "S", "k", TVariant(1));
    EXPECT_EQ(Joined(empty), "[S]|k=1|");
}

TEST_F(SettingsText, HeaderWithCommentGetsASecondHeaderOnFirstWrite) {
    WriteValue(&list, "Vols", "VsBase", TVariant("x.Ini"));
    EXPECT_EQ(list[list.Count() - 2], "[Vols]");
    EXPECT_EQ(list[list.Count() - 1], "VsBase=x.Ini");
    EXPECT_EQ(ReadValue(&list, "Vols", "VsPath", TVariant("none")), TVariant("none"));
}

TEST_F(SettingsText, WriteWithOccurrenceBeyondTheLinesAddsAnother) {
    WriteValue(&list, "Other", "Dup", TVariant("c"), 0, 3);
    EXPECT_EQ(list[16], "Dup=c");
    WriteValue(&list, "Other", "Dup", TVariant("B"), 0, 2);
    EXPECT_EQ(list[15], "dup=B");
    EXPECT_EQ(Find(list, "Other", "Dup", 3).result, 16);
}

TEST_F(SettingsText, ValuesRoundTripByKind) {
    platform::SetFormatSettings({",", "."});
    TStringList l;
    WriteValue(&l, "R", "I", TVariant(-2147483647 - 1));
    WriteValue(&l, "R", "F", TVariant(1234.5678901234));
    WriteValue(&l, "R", "C", TVariant(platform::Currency{-123456789}));
    WriteValue(&l, "R", "D", TVariant::Date(36526.25));
    WriteValue(&l, "R", "B", TVariant(false));
    WriteValue(&l, "R", "T", TVariant("  padded ; cut"));
    EXPECT_EQ(l[2], "F=1234,5678901234");
    EXPECT_EQ(l[3], "C=-12345,6789");
    EXPECT_EQ(ReadValue(&l, "R", "I", TVariant(0)), TVariant(-2147483647 - 1));
    EXPECT_EQ(ReadValue(&l, "R", "F", TVariant(0.0)), TVariant(1234.5678901234));
    EXPECT_EQ(ReadValue(&l, "R", "C", TVariant(platform::Currency{})), TVariant(platform::Currency{-123456789}));
    EXPECT_EQ(ReadValue(&l, "R", "D", TVariant::Date(0)), TVariant(36526.25));
    EXPECT_EQ(ReadValue(&l, "R", "B", TVariant(true)), TVariant(false));
    EXPECT_EQ(ReadValue(&l, "R", "T", TVariant("")), TVariant("padded"));
}

TEST_F(SettingsText, ListsEndAtTheFirstGapOrEmptyValue) {
    Fill(list, {"[L]", "K#0=a", "K#1=b", "K#3=d", "[M]", "K#0=x", "K#1=", "K#2=z"});
    TStringList target;
    target.Add("kept");
    EXPECT_EQ(ReadList(&list, "L", "K", target), 2);
    EXPECT_EQ(Joined(target), "kept|a|b|");
    EXPECT_EQ(ReadList(&list, "M", "K", target), 1);
    EXPECT_EQ(ReadList(&list, "Missing", "K", target), 0);
}

TEST_F(SettingsText, ListItemsCarryAnIntegerAfterTheLastBar) {
    Fill(list, {"[L]", "K#0=a | b | 12", "K#1=plain", "K#2= c |-3 ; note", "K#3=bad | x"});
    TStringList target;
    EXPECT_THROW(ReadList(&list, "L", "K", target, rlWithIntegers), platform::EConvertError);
    ASSERT_EQ(target.Count(), 3);
    EXPECT_EQ(target[0], "a | b");
    EXPECT_EQ(target.GetObject(0), 12);
    EXPECT_EQ(target[1], "plain");
    EXPECT_EQ(target.GetObject(1), 0);
    EXPECT_EQ(target[2], "c");
    EXPECT_EQ(target.GetObject(2), -3);
}

TEST_F(SettingsText, WritingAListRemovesStaleEntriesUpToTheFirstGap) {
    Fill(list, {"[L]", "K#0=a", "K#1=b", "K#2=c", "K#3=d", "K#5=f", "[Z]"});
    TStringList one;
    one.Add("new");
    WriteList(&list, "L", "K", one);
    EXPECT_EQ(Joined(list), "[L]|K#0=new|K#5=f|[Z]|");

    Fill(list, {"[L]", "K#0=a", "K#1=b", "K#2=c"});
    WriteList(&list, "L", "K", one, rlKeepStale);
    EXPECT_EQ(Joined(list), "[L]|K#0=new|K#1=b|K#2=c|");

    TStringList pairs;
    pairs.AddObject("x", 4);
    pairs.AddObject("", 0);
    pairs.AddObject("z", -1);
    Fill(list, {});
    WriteList(&list, "L", "K", pairs, rlWithIntegers);
    EXPECT_EQ(Joined(list), "[L]|K#0=x | 4|K#1= | 0|K#2=z | -1|");
    TStringList back;
    EXPECT_EQ(ReadList(&list, "L", "K", back, rlWithIntegers), 3);
    EXPECT_EQ(back[1], "");
    EXPECT_EQ(back.GetObject(2), -1);

    // Without integers an empty item ends the list for a later read.
    Fill(list, {});
    WriteList(&list, "L", "K", pairs);
    EXPECT_EQ(Joined(list), "[L]|K#0=x|K#1=|K#2=z|");
    back.Clear();
    EXPECT_EQ(ReadList(&list, "L", "K", back), 1);
}

TEST_F(SettingsText, WrittenTextStaysOnOneLineSoTheFileKeepsItsTail) {
    Fill(list, {"[S]", "Url=old", "[T]", "After=1"});
    WriteValue(&list, "S", "Url", TVariant(std::string("a\r\n[T]\0b", 8)));
    WriteValue(&list, "New\nSection", "Key\r", TVariant("v"));
    TStringList reloaded;
    reloaded.SetText(list.GetText());
    EXPECT_EQ(Joined(reloaded), "[S]|Url=a  [T] b|[T]|After=1|[New Section]|Key =v|");
    EXPECT_EQ(ReadValue(&reloaded, "T", "After", TVariant(0)), TVariant(1));
}

TEST_F(SettingsText, SplitSectionsCutWhereFindKeyBoundsEachSection) {
    std::vector<TStringList> sections = SplitSections(list);
    ASSERT_EQ(sections.size(), 3u);  // the lines before the first header are no section
    for (const std::string name : {"web010", " [OTHER]"}) {
        Found f = Find(list, name, "");
        ASSERT_EQ(f.result, -1) << name;
        int match = -1;
        for (size_t i = 0; i < sections.size(); ++i)
            if (SectionKey(sections[i].Get(0)) == SectionKey(name)) match = int(i);
        ASSERT_GE(match, 0) << name;
        ASSERT_EQ(sections[match].GetCount(), 1 + f.end - f.start) << name;
        for (int i = f.start; i < f.end; ++i) EXPECT_EQ(sections[match].Get(1 + i - f.start), list.Get(i)) << name;
    }
    // A header with text after its "]" is no name's section, by key as for FindKey.
    EXPECT_EQ(Find(list, "Vols", "").result, -2);
    for (TStringList& s : sections) EXPECT_NE(SectionKey(s.Get(0)), SectionKey("Vols"));
}

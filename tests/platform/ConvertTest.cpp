#include "platform/Exception.h"
#include "platform/SysUtils.h"
#include "platform/Variant.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {
struct DotSettings : ::testing::Test {
    void SetUp() override { SetFormatSettings({".", ","}); }
    void TearDown() override { ResetFormatSettings(); }
};
} // namespace

using IntegerConversion = DotSettings;

TEST_F(IntegerConversion, AcceptsSignsLeadingBlanksAndHexForms) {
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("   -17"), -17);
    EXPECT_EQ(StrToInt("+8"), 8);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("x10"), 16);
    EXPECT_EQ(StrToInt("X10"), 16);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}

TEST_F(IntegerConversion, RejectsWhatDoesNotFitOrFollowsTheDigits) {
    for (const char* bad : {"", "   ", "12 ", "1 2", "2147483648", "-2147483649", "$100000000", "-$1",
                            "0X10", "12;", "abc", "$", "0x", "+", "1.0"}) {
        int32_t v;
        EXPECT_FALSE(TryStrToInt(bad, v)) << '"' << bad << '"';
    }
    try {
        StrToInt("12 ");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12 ' is not a valid integer value");
    }
}

using FloatConversion = DotSettings;

TEST_F(FloatConversion, ReadsTheLocaleSeparatorAndExponent) {
    EXPECT_DOUBLE_EQ(StrToFloat(" 1.5 "), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat("-2.5e3"), -2500);
    EXPECT_DOUBLE_EQ(StrToFloat("7"), 7);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    EXPECT_THROW(StrToFloat(""), EConvertError);
    EXPECT_THROW(StrToFloat("1,5"), EConvertError);
    EXPECT_THROW(StrToFloat("1e"), EConvertError);
    EXPECT_THROW(StrToFloat("nan"), EConvertError);
    SetFormatSettings({",", " "});
    EXPECT_DOUBLE_EQ(StrToFloat("1,5"), 1.5);
    EXPECT_THROW(StrToFloat("1.5"), EConvertError);
}

TEST_F(FloatConversion, GeneralFormatKeepsFifteenDigits) {
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(-2), "-2");
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(0.00001), "0.00001");
    EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
    SetFormatSettings({",", " "});
    EXPECT_EQ(FloatToStr(2.25), "2,25");
}

TEST_F(FloatConversion, CurrencyHasUpToFourDecimals) {
    EXPECT_EQ(CurrToStr(StrToCurr("1.23456")), "1.2346");
    EXPECT_EQ(CurrToStr(StrToCurr("-3.5")), "-3.5");
    EXPECT_EQ(CurrToStr(StrToCurr("10")), "10");
    EXPECT_THROW(StrToCurr("1e30"), EConvertError);
    // Exact decimals, never through a double: all 19 digits of the range.
    EXPECT_EQ(StrToCurr("922337203685477.5807").scaled, INT64_MAX);
    EXPECT_EQ(StrToCurr("-922337203685477.5808").scaled, INT64_MIN);
    EXPECT_THROW(StrToCurr("922337203685477.5808"), EConvertError);
    EXPECT_EQ(StrToCurr("123456789012345.6789").scaled, 1234567890123456789);
    EXPECT_EQ(CurrToStr(StrToCurr("123456789012345.6789")), "123456789012345.6789");
    EXPECT_EQ(StrToCurr("0.00005").scaled, 0);   // a half goes to the even neighbour
    EXPECT_EQ(StrToCurr("0.00015").scaled, 2);
    EXPECT_EQ(StrToCurr("0.000051").scaled, 1);
    EXPECT_EQ(StrToCurr(" 1.5E2 ").scaled, 1500000);
    EXPECT_EQ(StrToCurr("0.1").scaled, 1000);
    for (const char* bad : {"", ".", "1e", "1.2.3", "--1", "1e999999999999"}) EXPECT_THROW(StrToCurr(bad), EConvertError) << bad;
}

using NumberPictures = DotSettings;

TEST_F(NumberPictures, BlankGroupedPictureOfTheAboutBox) {
    EXPECT_EQ(FormatFloat("### ##0.0000", 2.5), " 2.5000");
    EXPECT_EQ(FormatFloat("### ##0.0000", 1234.5), "1 234.5000");
    EXPECT_EQ(FormatFloat("### ##0.0000", 0), " 0.0000");
    EXPECT_EQ(FormatFloat("### ##0.0000", 1234567.25), "1234 567.2500");
}

TEST_F(NumberPictures, PlainAndGroupedPictures) {
    EXPECT_EQ(FormatFloat("0.00", 1.25), "1.25");
    EXPECT_EQ(FormatFloat("0.00", 1.333), "1.33");
    EXPECT_EQ(FormatFloat("0.00", 4.0 / 3 * 100 / 100), "1.33");
    EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");
    EXPECT_EQ(FormatFloat("0.00", -2.5), "-2.50");
    // Exact halves round away from zero; values just below a half (1.005 is
    // 1.00499999... as a double) round down, as exact decimal arithmetic says.
    EXPECT_EQ(FormatFloat("0", 2.5), "3");
    EXPECT_EQ(FormatFloat("0", 3.5), "4");
    EXPECT_EQ(FormatFloat("0.00", 0.125), "0.13");
    EXPECT_EQ(FormatFloat("0.00", 0.375), "0.38");
    EXPECT_EQ(FormatFloat("0.00", -0.125), "-0.13");
    EXPECT_EQ(FormatFloat("0.00", 1.005), "1.00");
    EXPECT_EQ(FormatFloat("0.00", 2.675), "2.67");
    EXPECT_EQ(FormatFloat("0", 1e15 + 0.5), "1000000000000001");
    EXPECT_EQ(FormatFloat("0.00", 9.995), "9.99");
    EXPECT_EQ(FormatFloat("0.0", 9.95), "9.9");
    EXPECT_EQ(FormatFloat("0.0", 0.25), "0.3");
    EXPECT_EQ(FormatFloat("#,###\" KB\"", 16318704), "16,318,704 KB");
    EXPECT_EQ(FormatFloat("#,###\" KB\"", 512), "512 KB");
    EXPECT_EQ(FormatFloat("#,###\" KB\"", 0), " KB");
    EXPECT_EQ(FormatFloat("0.0#", 1.5), "1.5");
    EXPECT_EQ(FormatFloat("0;(0);zero", -3), "(3)");
    EXPECT_EQ(FormatFloat("0;(0);zero", 0), "zero");
    SetFormatSettings({",", "."});
    EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1.234,50");
}

TEST(Variant, KindsAndTextForms) {
    SetFormatSettings({".", ","});
    EXPECT_EQ(TVariant().Kind(), varEmpty);
    EXPECT_EQ(TVariant(5).Kind(), varInteger);
    EXPECT_EQ(TVariant(2.5).AsString(), "2.5");
    EXPECT_EQ(TVariant(true).AsString(), "True");
    EXPECT_EQ(TVariant("x").Kind(), varString);
    EXPECT_EQ(TVariant(Currency::FromDouble(1.25)).AsString(), "1.25");
    EXPECT_EQ(TVariant::Null().AsString(), "");
    EXPECT_EQ(TVariant::OfKind(varByte, 7).AsInteger(), 7);
    EXPECT_THROW(TVariant::OfKind(13).AsString(), EConvertError);
    ResetFormatSettings();
}

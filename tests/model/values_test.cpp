#include "model/values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "model/system_data.h"
#include "model/text.h"

namespace korvan {
namespace {

TEST(ModelValues, SplitDecimalEncodesTruncatedWholeAndRoundedHundredths) {
    struct Case {
        double v;
        uint8_t w, h;
    };
    const Case cases[] = {
        {12.70, 12, 70},   {-0.05, 0, 0xFB},  {-0.50, 0, 0xCE},  {-12.25, 0xF4, 0xE7},
        {12.996, 12, 100}, {13.999, 13, 100}, {127.99, 127, 99}, {-128.99, 0x80, 0x9D},
        {0.0, 0, 0},       {300.0, 44, 0},
    };
    for (const Case& c : cases) {
        uint8_t b[2] = {0xAB, 0xCD};
        PutSplitDecimal(b, c.v);
        EXPECT_EQ(b[0], c.w) << c.v;
        EXPECT_EQ(b[1], c.h) << c.v;
    }
    const uint8_t carry[2] = {12, 100};
    EXPECT_DOUBLE_EQ(GetSplitDecimal(carry), 13.0);
    const uint8_t neg[2] = {0xF4, 0xE7};
    EXPECT_DOUBLE_EQ(GetSplitDecimal(neg), -12.25);
}

TEST(ModelValues, EncodersNeverFailOnValuesOutsideAnyByteRange) {
    uint8_t b[2] = {1, 1};
    for (double v :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
        PutSplitDecimal(b, v);
        EXPECT_EQ(b[0], 0);
        EXPECT_EQ(b[1], 0);
        PutThousandths(b, v);
        EXPECT_EQ(b[0], 0);
        EXPECT_EQ(b[1], 0);
    }
}

TEST(ModelValues, ThousandthsAndSixteenBitIntegersAreBigEndian) {
    uint8_t b[2];
    PutThousandths(b, 0.015);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x0F);
    PutThousandths(b, 1.0005);  // 1000.5 -> ties to even -> 1000
    EXPECT_EQ(GetU16(b), 1000);
    PutThousandths(b, 65.536);  // wraps to its low 16 bits
    EXPECT_EQ(GetU16(b), 0);
    PutU16(b, 500);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[1], 0xF4);
    const uint8_t minus10[2] = {0xFF, 0xF6};
    EXPECT_EQ(GetS16(minus10), -10);
    EXPECT_EQ(GetU16(minus10), 65526);
    PutU16(b, -10);
    EXPECT_EQ(GetS16(b), -10);
    PutU16(b, 70000);
    EXPECT_EQ(GetU16(b), 70000 & 0xFFFF);
}

TEST(ModelValues, FixedTextHasTheDecimalsAndAtMostSixSignificantDigits) {
    EXPECT_EQ(FormatFixed(12.7, 2, '.'), "12.70");
    EXPECT_EQ(FormatFixed(-0.5, 2, '.'), "-0.50");
    EXPECT_EQ(FormatFixed(0, 2, '.'), "0.00");
    EXPECT_EQ(FormatFixed(0.015, 3, '.'), "0.015");
    EXPECT_EQ(FormatFixed(25.4, 2, ','), "25,40");
    EXPECT_EQ(FormatFixed(1234.567, 2, '.'), "1234.57");
    EXPECT_EQ(FormatFixed(12345.678, 2, '.'), "12345.70");
    EXPECT_EQ(FormatFixed(167114.25, 2, '.'), "167114.00");
    EXPECT_EQ(FormatFixed(99999.996, 2, '.'), "100000.00");
    EXPECT_EQ(FormatFixed(1234567.0, 2, '.'), "1.23457E+06");
    EXPECT_EQ(FormatFixed(-0.001, 2, '.'), "0.00");  // no "-0.00"
    EXPECT_EQ(FormatFixed(std::nan(""), 2, '.'), "NAN");
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 2, '.'), "-INF");
}

TEST(ModelValues, IntegerFlagAndTemperatureTexts) {
    EXPECT_EQ(FormatInt(250), "250");
    EXPECT_EQ(FormatInt(-12), "-12");
    EXPECT_EQ(FormatFlag(true), "True");
    EXPECT_EQ(FormatFlag(false), "False");
    EXPECT_EQ(FormatTemperature(-128, "none"), "none");
    EXPECT_EQ(FormatTemperature(-127, "none"), "-127");
    EXPECT_EQ(FormatTemperature(25, "none"), "25");
}

// A cell's separator is one byte: a locale point that is not one ASCII
// character (an Arabic decimal point, a multi-byte one, none) falls back to '.'.
TEST(ModelValues, DecimalSeparatorOfTheLocalePoint) {
    const std::pair<std::string_view, char> cases[] = {
        {".", '.'}, {",", ','},  {"\u066B", '.'}, {"\xB7", '.'}, {std::string_view("\0", 1), '.'},
        {"", '.'},  {",.", '.'},
    };
    for (const auto& [point, sep] : cases) EXPECT_EQ(DecimalSeparatorOf(point), sep) << point;
}

TEST(ModelValues, IntegerCellsMustBeWholeDecimalIntegers) {
    long long v = 7;
    EXPECT_TRUE(ParseInt("300", v));
    EXPECT_EQ(v, 300);
    EXPECT_TRUE(ParseInt(" -12 ", v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(ParseInt("+5", v));
    EXPECT_EQ(v, 5);
    v = 7;
    for (const char* bad : {"", "-", "abc", "12.5", "1e3", "12a", "--1", "0x10", "2147483648"})
        EXPECT_FALSE(ParseInt(bad, v)) << bad;
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(ParseInt("-2147483648", v));
}

TEST(ModelValues, DecimalCellsUseOnlyTheLocaleSeparator) {
    double v = 0;
    EXPECT_TRUE(ParseDecimal("12.5", '.', v));
    EXPECT_DOUBLE_EQ(v, 12.5);
    EXPECT_TRUE(ParseDecimal("12,5", ',', v));
    EXPECT_DOUBLE_EQ(v, 12.5);
    EXPECT_FALSE(ParseDecimal("12.5", ',', v));
    EXPECT_FALSE(ParseDecimal("12,5", '.', v));
    EXPECT_TRUE(ParseDecimal("2", '.', v));
    EXPECT_DOUBLE_EQ(v, 2.0);
    EXPECT_TRUE(ParseDecimal("-.5", '.', v));
    EXPECT_DOUBLE_EQ(v, -0.5);
    EXPECT_TRUE(ParseDecimal("1.5E1", '.', v));
    EXPECT_DOUBLE_EQ(v, 15.0);
    for (const char* bad : {"", "-", ".", "abc", "1.2.3", "1e", "nan", "inf", "1e999", "12 V"})
        EXPECT_FALSE(ParseDecimal(bad, '.', v)) << bad;
}

TEST(ModelValues, RangeChecksAdmitBoundsComputedFromOtherFields) {
    struct Rec {
        double Top;
        double Below;
    } r{12.7, 12.6};
    const RangeCheck check{.Width = FieldWidth::F64,
                           .Offset = offsetof(Rec, Below),
                           .Min = 9,
                           .Max = 0,
                           .Fallback = 0,
                           .MaxFrom = offsetof(Rec, Top),
                           .MaxDelta = -0.1,
                           .FallbackFrom = offsetof(Rec, Top),
                           .FallbackDelta = -0.2};
    RunRangeChecks(&r, &check, 1);
    EXPECT_DOUBLE_EQ(r.Below, 12.6);
    r.Below = 12.61;
    RunRangeChecks(&r, &check, 1);
    EXPECT_DOUBLE_EQ(r.Below, 12.5);
    r.Below = std::nan("");
    RunRangeChecks(&r, &check, 1);
    EXPECT_DOUBLE_EQ(r.Below, 12.5);
}

TEST(ModelText, Cp1252RoundTripsAndReplacesWhatItCannotHold) {
    EXPECT_EQ(Utf8ToCp1252("Temperature, \u00B0C"),
              "Temperature, \xB0"
              "C");
    EXPECT_EQ(Utf8ToCp1252("\u20AC \u2013"), "\x80 \x96");
    EXPECT_EQ(Utf8ToCp1252("\u4E2D"), "?");
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");    // cut sequence
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "?");  // overlong form
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
    EXPECT_EQ(Cp1252ToUtf8("\xB0"), "\u00B0");
}

}  // namespace
}  // namespace korvan

namespace korvan {
namespace {

TEST(ModelCorrections, OnlyValuesTheChecksReplacedCountNotAnotherRoundingOfTheSame) {
    const std::vector<std::string> typed = {"7", "14.4", " 12 ", "abc", "3.999", "13.5", "Boat!"};
    const std::vector<std::string> used = {"0", "14.40", "12", "100", "4.00", "13.60", "Boat"};
    const std::vector<CellCorrection> expected = {
        {0, "7", "0"}, {3, "abc", "100"}, {5, "13.5", "13.60"}, {6, "Boat!", "Boat"}};
    EXPECT_EQ(FindCorrections(typed, used, '.'), expected);
    // The user's separator: a point is not a number where the comma is one.
    EXPECT_EQ(FindCorrections({"14,4", "14.4"}, {"14,40", "0,00"}, ','),
              (std::vector<CellCorrection>{{1, "14.4", "0,00"}}));
    EXPECT_TRUE(FindCorrections({}, {"1"}, '.').empty());
}

TEST(ModelCorrections, RangesOfTheSettingsRowsReadAsTheUserTypes) {
    const std::vector<std::string> battery12 = BatteryBoxSettingsRanges(12, '.');
    const std::vector<std::string> battery24 = BatteryBoxSettingsRanges(24, ',');
    ASSERT_EQ(battery12.size(), BatteryBoxSettingsLabels().size());
    // "Use System Surge Protector (SSP) [0 or 1]"
    EXPECT_EQ(battery12[7], "0 or 1");
    // A voltage row doubles on a 24 V system, in the user's separator.
    EXPECT_NE(battery12[2], battery24[2]);
    EXPECT_NE(battery24[2].find(','), std::string::npos);
    const std::vector<std::string> control = ControlBoxSettingsRanges('.');
    ASSERT_EQ(control.size(), ControlBoxSettingsLabels().size());
    EXPECT_EQ(control[11], "5 to 240");  // "Warm-up Duration, sec"
    EXPECT_EQ(control[1], "");           // the Wi-Fi name has no range
    EXPECT_EQ(FieldBoxSettingsRanges('.').size(), FieldBoxSettingsLabels().size());
}

}  // namespace
}  // namespace korvan

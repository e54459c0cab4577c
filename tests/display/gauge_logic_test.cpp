#include "display/gauge_logic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace korvan;

TEST(GaugeLogic, RisingScaleColoursAboveEachLevel) {
    EXPECT_EQ(GaugeColourLevel(15, 16, 15), GaugeLevel::Normal);
    EXPECT_EQ(GaugeColourLevel(15, 16, 15.5), GaugeLevel::Warning);
    EXPECT_EQ(GaugeColourLevel(15, 16, 16), GaugeLevel::Warning);
    EXPECT_EQ(GaugeColourLevel(15, 16, 16.5), GaugeLevel::Alarm);
    EXPECT_EQ(GaugeColourLevel(15, 16, -1000), GaugeLevel::Normal);
}

TEST(GaugeLogic, FallingScaleColoursBelowEachLevel) {
    EXPECT_EQ(GaugeColourLevel(30, 10, 30), GaugeLevel::Normal);
    EXPECT_EQ(GaugeColourLevel(30, 10, 29), GaugeLevel::Warning);
    EXPECT_EQ(GaugeColourLevel(30, 10, 10), GaugeLevel::Warning);
    EXPECT_EQ(GaugeColourLevel(30, 10, 9), GaugeLevel::Alarm);
    EXPECT_EQ(GaugeColourLevel(30, 10, 1e9), GaugeLevel::Normal);
}

TEST(GaugeLogic, EqualLevelsNeverColour) {
    for (double v : {-1e9, -1.0, 0.0, 999.0, 1000.0, 1e9})
        EXPECT_EQ(GaugeColourLevel(999, 999, v), GaugeLevel::Normal) << v;
}

TEST(GaugeLogic, IntegerTextInsideTheRangeOnly) {
    EXPECT_EQ(GaugeIntText(-30, 125, -30), "-30");
    EXPECT_EQ(GaugeIntText(-30, 125, 125), "125");
    EXPECT_EQ(GaugeIntText(-30, 125, -31), "---");
    EXPECT_EQ(GaugeIntText(-30, 125, 126), "---");
    EXPECT_EQ(GaugeIntText(-30, 125, -128), "---");
    EXPECT_EQ(GaugeIntText(0, 20000, 20000), "20000");  // no grouping
}

TEST(GaugeLogic, RealTextHasTwoDecimalsAndTheUsersSeparator) {
    EXPECT_EQ(GaugeRealText(0, 99.9, 12.5, '.'), "12.50");
    EXPECT_EQ(GaugeRealText(0, 99.9, 12.5, ','), "12,50");
    EXPECT_EQ(GaugeRealText(0, 99.9, 0, '.'), "0.00");
    EXPECT_EQ(GaugeRealText(0, 99.9, 99.9, '.'), "99.90");
    EXPECT_EQ(GaugeRealText(0, 99.9, 99.91, '.'), "---");
    EXPECT_EQ(GaugeRealText(0, 99.9, -0.01, '.'), "---");
    EXPECT_EQ(GaugeRealText(-1, 1, -0.001, '.'), "0.00");  // no "-0.00"
    EXPECT_EQ(GaugeRealText(-1, 1, -0.5, ','), "-0,50");
}

TEST(GaugeLogic, RealTextKeepsFiveSignificantDigits) {
    EXPECT_EQ(GaugeRealText(0, 1e9, 123.456, '.'), "123.46");
    EXPECT_EQ(GaugeRealText(0, 1e9, 1234.567, '.'), "1234.60");
    EXPECT_EQ(GaugeRealText(0, 1e9, 123456.7, '.'), "123460.00");
}

TEST(GaugeLogic, RealTextOfNonNumbersIsOutOfRange) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(GaugeRealText(0, 99.9, std::nan(""), '.'), "---");
    EXPECT_EQ(GaugeRealText(0, 99.9, inf, '.'), "---");
    EXPECT_EQ(GaugeRealText(-inf, inf, -inf, '.').empty(), false);
}

TEST(GaugeLogic, GeometryAtTheDesignSize) {
    const OutlineGeometry g = ComputeOutlineGeometry(908, 599);
    EXPECT_EQ(g.A, 113);
    EXPECT_EQ(g.Half, 56);
    EXPECT_EQ(g.Gh, 84);
    EXPECT_EQ(g.M, 9);
    EXPECT_EQ(g.N, 14);
    const int expected[14][2] = {
        {34, 9},    {216, 9},   {398, 9},   {579, 9},   {761, 9},  // top row
        {14, 320},  {14, 413},  {14, 506},  {141, 506},            // engine #1
        {781, 320}, {781, 413}, {781, 506}, {654, 506},            // engine #2
        {398, 506},                                                // FRS
    };
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(g.RectTopLeft[i].X, expected[i][0]) << i;
        EXPECT_EQ(g.RectTopLeft[i].Y, expected[i][1]) << i;
    }
    EXPECT_EQ(g.FrsPlus.X, 305);
    EXPECT_EQ(g.FrsPlus.Y, 506);
    EXPECT_EQ(g.FrsMinus.X, 518);
    EXPECT_EQ(g.FrsMinus.Y, 506);
    EXPECT_EQ(g.Center.X, 454);
    EXPECT_EQ(g.Center.Y, 299);
    EXPECT_EQ(g.CenterSize, 342);
}

TEST(GaugeLogic, GeometryOfATinyPageStaysDefined) {
    const OutlineGeometry g = ComputeOutlineGeometry(0, 0);
    EXPECT_EQ(g.A, 0);
    EXPECT_EQ(g.Gh, 0);
    EXPECT_EQ(g.CenterSize, 0);
    EXPECT_EQ(ComputeOutlineGeometry(127, 50).Gh, 0);  // a = 15 gives unit 0
}

TEST(GaugeLogic, TimeToChargeForTheWorkedCases) {
    EXPECT_EQ(TimeToChargeText(3, 20, 100, 50), "Time to charge 5:0");
    // 40 A*h at 30 A: 1.333 h, and 0.333 x 59 = 19.7.
    EXPECT_EQ(TimeToChargeText(3, 30, 160, 80), "Time to charge 1:19");
    // 3.1 h: 0.1 x 59 = 5.9, shown unpadded.
    EXPECT_EQ(TimeToChargeText(1, 20, 62, 50), "Time to charge 3:5");
    // Minutes never reach 59: 0.999 h.
    EXPECT_EQ(TimeToChargeText(4, 100, 99.9, 50), "Time to charge 0:58");
}

TEST(GaugeLogic, TimeToChargeNeedsChargingCurrentContentAndSoc) {
    EXPECT_EQ(TimeToChargeText(0, 20, 100, 50), "");   // monitoring
    EXPECT_EQ(TimeToChargeText(3, 2, 100, 50), "");    // 2 A or less
    EXPECT_EQ(TimeToChargeText(3, -50, 100, 50), "");  // discharging
    EXPECT_EQ(TimeToChargeText(3, 20, 0, 50), "");     // no bank size yet
    EXPECT_EQ(TimeToChargeText(3, 20, -5, 50), "");
    EXPECT_EQ(TimeToChargeText(3, 20, 100, 0), "");
    EXPECT_EQ(TimeToChargeText(3, 20, 100, 101), "");
    EXPECT_EQ(TimeToChargeText(3, 3, 100, 1), "Time to charge 3300:0");
    EXPECT_EQ(TimeToChargeText(3, 20, 100, 100), "Time to charge 0:0");
}

TEST(GaugeLogic, TimeToChargeOfExtremeRecordsIsSafe) {
    // The largest charge content a block can carry times the largest bank size.
    const std::string text = TimeToChargeText(2, 3, 127.99 * 2147483647.0, 1);
    EXPECT_EQ(text.rfind("Time to charge ", 0), 0u);
    EXPECT_EQ(TimeToChargeText(2, 3, std::numeric_limits<double>::infinity(), 1), "");
    EXPECT_EQ(TimeToChargeText(2, 3, std::nan(""), 50), "");
}

TEST(GaugeLogic, ChargeModeTexts) {
    EXPECT_STREQ(ChargeModeText(0), "Battery: Monitoring");
    EXPECT_STREQ(ChargeModeText(1), "Battery: Warm-up");
    EXPECT_STREQ(ChargeModeText(2), "Battery: Mandatory Bulk");
    EXPECT_STREQ(ChargeModeText(3), "Battery: Bulk/Absorb");
    EXPECT_STREQ(ChargeModeText(4), "Battery: Float");
    EXPECT_EQ(ChargeModeText(5), nullptr);
    EXPECT_EQ(ChargeModeText(255), nullptr);
}

#include "display/outline_config.h"

#include <gtest/gtest.h>

#include <string>

#include "display/gauge_logic.h"

using namespace korvan;

namespace {

GaugeLevel LevelOf(OutlineGauge g, const SystemData& d) {
    const GaugeSetup s = OutlineGaugeSetup(g, d);
    double warn = s.WarnLevel;
    if (g == OutlineGauge::Field1 || g == OutlineGauge::Field2)
        warn = FieldGaugeWarnLevel(d.ControlState);
    return GaugeColourLevel(warn, s.AlarmLevel, OutlineGaugeReading(g, d).Value);
}

}  // namespace

TEST(OutlineConfig, CaptionsAndRangesInLayoutOrder) {
    const SystemData d{};
    const struct {
        OutlineGauge Gauge;
        const char* Caption;
        double Min, Max;
    } rows[] = {
        {OutlineGauge::Soc, "SOC %", 0, 100},
        {OutlineGauge::Current, "current A", -999, 999},
        {OutlineGauge::Voltage, "voltage V", 0, 99.9},
        {OutlineGauge::Temp, "temp \u00B0C", -30, 125},
        {OutlineGauge::Load, "load current A", -999, 999},
        {OutlineGauge::AltCurrent1, "alt current A", 0, 999},
        {OutlineGauge::AltTemp1, "temp \u00B0C", -30, 125},
        {OutlineGauge::Rpm1, "RPM 1/min", 0, 20000},
        {OutlineGauge::Field1, "field %", 0, 100},
        {OutlineGauge::AltCurrent2, "alt current A", 0, 999},
        {OutlineGauge::AltTemp2, "temp \u00B0C", -30, 125},
        {OutlineGauge::Rpm2, "RPM 1/min", 0, 20000},
        {OutlineGauge::Field2, "field %", 0, 100},
        {OutlineGauge::Frs, "FRS %", 0, 100},
    };
    for (const auto& r : rows) {
        const GaugeSetup s = OutlineGaugeSetup(r.Gauge, d);
        EXPECT_STREQ(s.Caption, r.Caption) << int(r.Gauge);
        EXPECT_EQ(s.RangeMin, r.Min) << int(r.Gauge);
        EXPECT_EQ(s.RangeMax, r.Max) << int(r.Gauge);
    }
}

TEST(OutlineConfig, SocLevelsFromTheSettings) {
    SystemData d{};
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Soc, d).WarnLevel, 30);  // not set yet
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Soc, d).AlarmLevel, 10);
    d.BatterySettings.WarningSoc = 20;
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Soc, d).WarnLevel, 20);
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Soc, d).AlarmLevel, 10);
    d.BatteryState.Soc = 80;
    EXPECT_EQ(LevelOf(OutlineGauge::Soc, d), GaugeLevel::Normal);
    d.BatteryState.Soc = 15;
    EXPECT_EQ(LevelOf(OutlineGauge::Soc, d), GaugeLevel::Warning);
    d.BatteryState.Soc = 9;
    EXPECT_EQ(LevelOf(OutlineGauge::Soc, d), GaugeLevel::Alarm);
}

// A warning SOC at or below the fixed alarm level must not turn a well charged
// battery red: the alarm moves just below the warning level.
TEST(OutlineConfig, LowWarningSocKeepsAFallingScale) {
    SystemData d{};
    d.BatterySettings.WarningSoc = 5;
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Soc, d).WarnLevel, 5);
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Soc, d).AlarmLevel, 4);
    d.BatteryState.Soc = 90;
    EXPECT_EQ(LevelOf(OutlineGauge::Soc, d), GaugeLevel::Normal);
    d.BatteryState.Soc = 4;
    EXPECT_EQ(LevelOf(OutlineGauge::Soc, d), GaugeLevel::Warning);
    d.BatteryState.Soc = 3;
    EXPECT_EQ(LevelOf(OutlineGauge::Soc, d), GaugeLevel::Alarm);
    d.BatterySettings.WarningSoc = 10;
    d.BatteryState.Soc = 60;
    EXPECT_EQ(LevelOf(OutlineGauge::Soc, d), GaugeLevel::Normal);
}

TEST(OutlineConfig, VoltageLevelsFollowTheSystemVoltage) {
    SystemData d{};
    d.BatteryState.SystemVoltage = 12;
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Voltage, d).WarnLevel, 15);
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Voltage, d).AlarmLevel, 16);
    d.BatteryState.SystemVoltage = 24;
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Voltage, d).WarnLevel, 30);
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Voltage, d).AlarmLevel, 32);
    d.BatteryState.TrueBatteryVoltage = 30.5;
    EXPECT_EQ(LevelOf(OutlineGauge::Voltage, d), GaugeLevel::Warning);
    EXPECT_TRUE(OutlineGaugeReading(OutlineGauge::Voltage, d).Real);
}

TEST(OutlineConfig, DischargeCurrentFallsTowardWarning) {
    SystemData d{};
    d.BatterySettings.WarningDischargeCurrent = 90;
    d.BatterySettings.FaultDischargeCurrent = 100;
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Current, d).WarnLevel, -90);
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Current, d).AlarmLevel, -100);
    d.BatteryState.BatteryCurrent = 40;
    EXPECT_EQ(LevelOf(OutlineGauge::Current, d), GaugeLevel::Normal);
    d.BatteryState.BatteryCurrent = -95;
    EXPECT_EQ(LevelOf(OutlineGauge::Current, d), GaugeLevel::Warning);
    d.BatteryState.BatteryCurrent = -101;
    EXPECT_EQ(LevelOf(OutlineGauge::Current, d), GaugeLevel::Alarm);
}

TEST(OutlineConfig, TemperatureLevelsPerBatteryAndAlternator) {
    SystemData d{};
    d.BatterySettings.WarningTemp1 = 45;
    d.BatterySettings.FaultTemp1 = 50;
    d.FieldSettings[1].WarningTemp = 90;
    d.FieldSettings[1].FaultTemp = 100;
    d.FieldState[1].AlternatorTemperature = 95;
    d.BatteryState.Temperature1 = -128;  // sensor missing
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Temp, d).WarnLevel, 45);
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::AltTemp2, d).AlarmLevel, 100);
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::AltTemp1, d).AlarmLevel, 0);
    EXPECT_EQ(LevelOf(OutlineGauge::AltTemp2, d), GaugeLevel::Warning);
    EXPECT_EQ(OutlineGaugeReading(OutlineGauge::Temp, d).Value, -128);
    EXPECT_EQ(GaugeIntText(-30, 125, -128), "---");
}

TEST(OutlineConfig, FieldGaugesWarnWhileFieldReductionIsActive) {
    SystemData d{};
    d.ControlState.Alt1DigitalFieldControl = 1000;  // 40 %
    d.ControlState.Alt2DigitalFieldControl = 2499;  // 99.96 % truncates
    EXPECT_EQ(OutlineGaugeReading(OutlineGauge::Field1, d).Value, 40);
    EXPECT_EQ(OutlineGaugeReading(OutlineGauge::Field2, d).Value, 99);
    EXPECT_EQ(OutlineGaugeSetup(OutlineGauge::Field1, d).WarnLevel, 2500);
    EXPECT_EQ(LevelOf(OutlineGauge::Field1, d), GaugeLevel::Normal);
    d.ControlState.FrsValue = 3;
    EXPECT_EQ(FieldGaugeWarnLevel(d.ControlState), 0);
    EXPECT_EQ(LevelOf(OutlineGauge::Field1, d), GaugeLevel::Warning);
    d.ControlState.Alt1DigitalFieldControl = 0;
    EXPECT_EQ(LevelOf(OutlineGauge::Field1, d), GaugeLevel::Normal);
}

TEST(OutlineConfig, FrsGaugeShowsTheRemainingField) {
    SystemData d{};
    EXPECT_EQ(OutlineGaugeReading(OutlineGauge::Frs, d).Value, 100);
    EXPECT_FALSE(OutlineGaugeReading(OutlineGauge::Frs, d).Active);
    d.ControlState.ChargingStage = 2;
    d.ControlState.FrsValue = 3;
    EXPECT_TRUE(OutlineGaugeReading(OutlineGauge::Frs, d).Active);
    EXPECT_EQ(OutlineGaugeReading(OutlineGauge::Frs, d).Value, 70);
    EXPECT_EQ(LevelOf(OutlineGauge::Frs, d), GaugeLevel::Warning);
    d.ControlState.FrsValue = 5;
    EXPECT_EQ(OutlineGaugeReading(OutlineGauge::Frs, d).Value, 50);
    EXPECT_EQ(LevelOf(OutlineGauge::Frs, d), GaugeLevel::Alarm);
    d.ControlState.FrsValue = 0;
    EXPECT_EQ(LevelOf(OutlineGauge::Frs, d), GaugeLevel::Normal);
}

TEST(OutlineConfig, ActivityFollowsTheConnectedModules) {
    SystemData d{};
    auto active = [&](OutlineGauge g) { return OutlineGaugeReading(g, d).Active; };
    d.ControlState.ConnectedModules = FieldBox1Connected;
    EXPECT_FALSE(active(OutlineGauge::Soc));
    EXPECT_FALSE(active(OutlineGauge::AltCurrent1));  // measured by the battery box
    EXPECT_TRUE(active(OutlineGauge::AltTemp1));
    EXPECT_TRUE(active(OutlineGauge::Rpm1));
    EXPECT_TRUE(active(OutlineGauge::Field1));
    EXPECT_FALSE(active(OutlineGauge::Rpm2));
    d.ControlState.ConnectedModules = FieldBox1Connected | BatteryBoxConnected;
    EXPECT_TRUE(active(OutlineGauge::AltCurrent1));
    EXPECT_FALSE(active(OutlineGauge::AltCurrent2));
    for (OutlineGauge g : {OutlineGauge::Soc, OutlineGauge::Current, OutlineGauge::Voltage,
                           OutlineGauge::Temp, OutlineGauge::Load})
        EXPECT_TRUE(active(g)) << int(g);
    d.ControlState.ConnectedModules = FieldBox2Connected;
    EXPECT_TRUE(active(OutlineGauge::AltTemp2));
    EXPECT_TRUE(active(OutlineGauge::Field2));
    EXPECT_FALSE(active(OutlineGauge::AltCurrent2));
}

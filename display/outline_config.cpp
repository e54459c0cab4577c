#include "display/outline_config.h"

#include "model/module_descriptors.h"

namespace korvan {

namespace {

constexpr double SocAlarmLevel = 10;
constexpr double SocDefaultWarnLevel = 30;

using Levels = double (*)(const SystemData&);
using Reader = GaugeReading (*)(const SystemData&);

struct GaugeRow {
    OutlineGauge Gauge;
    const char* Caption;
    double RangeMin, RangeMax;
    Levels Warn, Alarm;
    Reader Read;
};

bool Has(const SystemData& d, ModuleId module) {
    return ModuleConnected(d.ControlState.ConnectedModules, module);
}

double SocWarn(const SystemData& d) {
    const uint8_t level = d.BatterySettings.WarningSoc;
    return level == 0 ? SocDefaultWarnLevel : level;
}

// The SOC gauge falls toward its alarm, so the alarm has to lie below the
// warning level; a warning level at or under the fixed alarm level would turn
// the gauge red at every charge above it. The alarm then sits just below.
double SocAlarm(const SystemData& d) {
    const double warn = SocWarn(d);
    return warn > SocAlarmLevel ? SocAlarmLevel : warn - 1;
}

bool IsBig(const SystemData& d) { return d.BatteryState.SystemVoltage == 24; }

// Whole percent, as the system rounds it: the division is meant to be integral.
double FieldPercent(uint16_t raw) {
    const int percent = raw * 100 / FieldControlFullScale;
    return percent;
}

template <int WhichBox>
double AltTempWarn(const SystemData& d) {
    return d.FieldSettings[WhichBox].WarningTemp;
}
template <int WhichBox>
double AltTempFault(const SystemData& d) {
    return d.FieldSettings[WhichBox].FaultTemp;
}

template <int WhichBox>
bool FieldBoxOn(const SystemData& d) {
    return Has(d, FieldBoxModule(WhichBox));
}

const GaugeRow Rows[] = {
    {OutlineGauge::Soc, "SOC %", 0, 100, SocWarn, SocAlarm,
     [](const SystemData& d) {
         return GaugeReading{Has(d, ModuleId::BatteryBox), false, double(d.BatteryState.Soc)};
     }},
    {OutlineGauge::Current, "current A", -999, 999,
     [](const SystemData& d) { return -double(d.BatterySettings.WarningDischargeCurrent); },
     [](const SystemData& d) { return -double(d.BatterySettings.FaultDischargeCurrent); },
     [](const SystemData& d) {
         return GaugeReading{Has(d, ModuleId::BatteryBox), false,
                             double(d.BatteryState.BatteryCurrent)};
     }},
    {OutlineGauge::Voltage, "voltage V", 0, 99.9,
     [](const SystemData& d) { return IsBig(d) ? 30.0 : 15.0; },
     [](const SystemData& d) { return IsBig(d) ? 32.0 : 16.0; },
     [](const SystemData& d) {
         return GaugeReading{Has(d, ModuleId::BatteryBox), true, d.BatteryState.TrueBatteryVoltage};
     }},
    {OutlineGauge::Temp, "temp \u00B0C", -30, 125,
     [](const SystemData& d) { return double(d.BatterySettings.WarningTemp1); },
     [](const SystemData& d) { return double(d.BatterySettings.FaultTemp1); },
     [](const SystemData& d) {
         return GaugeReading{Has(d, ModuleId::BatteryBox), false,
                             double(d.BatteryState.Temperature1)};
     }},
    {OutlineGauge::Load, "load current A", -999, 999, [](const SystemData&) { return 999.0; },
     [](const SystemData&) { return 1000.0; },
     [](const SystemData& d) {
         return GaugeReading{Has(d, ModuleId::BatteryBox), false,
                             double(d.BatteryState.LoadCurrent)};
     }},
    {OutlineGauge::AltCurrent1, "alt current A", 0, 999, [](const SystemData&) { return 999.0; },
     [](const SystemData&) { return 1000.0; },
     [](const SystemData& d) {
         // The alternator current is measured by the battery box.
         return GaugeReading{FieldBoxOn<0>(d) && Has(d, ModuleId::BatteryBox), false,
                             double(d.BatteryState.Alternator1Current)};
     }},
    {OutlineGauge::AltTemp1, "temp \u00B0C", -30, 125, AltTempWarn<0>, AltTempFault<0>,
     [](const SystemData& d) {
         return GaugeReading{FieldBoxOn<0>(d), false,
                             double(d.FieldState[0].AlternatorTemperature)};
     }},
    {OutlineGauge::Rpm1, "RPM 1/min", 0, 20000, [](const SystemData&) { return 5000.0; },
     [](const SystemData&) { return 7000.0; },
     [](const SystemData& d) {
         return GaugeReading{FieldBoxOn<0>(d), false, double(d.FieldState[0].EngineRpm)};
     }},
    {OutlineGauge::Field1, "field %", 0, 100,
     [](const SystemData&) { return double(FieldControlFullScale); },
     [](const SystemData&) { return double(FieldControlFullScale); },
     [](const SystemData& d) {
         return GaugeReading{FieldBoxOn<0>(d), false,
                             FieldPercent(d.ControlState.Alt1DigitalFieldControl)};
     }},
    {OutlineGauge::AltCurrent2, "alt current A", 0, 999, [](const SystemData&) { return 999.0; },
     [](const SystemData&) { return 1000.0; },
     [](const SystemData& d) {
         return GaugeReading{FieldBoxOn<1>(d) && Has(d, ModuleId::BatteryBox), false,
                             double(d.BatteryState.Alternator2Current)};
     }},
    {OutlineGauge::AltTemp2, "temp \u00B0C", -30, 125, AltTempWarn<1>, AltTempFault<1>,
     [](const SystemData& d) {
         return GaugeReading{FieldBoxOn<1>(d), false,
                             double(d.FieldState[1].AlternatorTemperature)};
     }},
    {OutlineGauge::Rpm2, "RPM 1/min", 0, 20000, [](const SystemData&) { return 5000.0; },
     [](const SystemData&) { return 7000.0; },
     [](const SystemData& d) {
         return GaugeReading{FieldBoxOn<1>(d), false, double(d.FieldState[1].EngineRpm)};
     }},
    {OutlineGauge::Field2, "field %", 0, 100,
     [](const SystemData&) { return double(FieldControlFullScale); },
     [](const SystemData&) { return double(FieldControlFullScale); },
     [](const SystemData& d) {
         return GaugeReading{FieldBoxOn<1>(d), false,
                             FieldPercent(d.ControlState.Alt2DigitalFieldControl)};
     }},
    {OutlineGauge::Frs, "FRS %", 0, 100, [](const SystemData&) { return 95.0; },
     [](const SystemData&) { return 55.0; },
     [](const SystemData& d) {
         return GaugeReading{d.ControlState.ChargingStage != StageMonitoring, false,
                             100.0 - 10.0 * d.ControlState.FrsValue};
     }},
};

static_assert(std::size(Rows) == OutlineGaugeCount);

const GaugeRow& RowOf(OutlineGauge gauge) { return Rows[int(gauge)]; }

}  // namespace

GaugeSetup OutlineGaugeSetup(OutlineGauge gauge, const SystemData& data) {
    const GaugeRow& row = RowOf(gauge);
    return {row.Caption, row.RangeMin, row.RangeMax, row.Warn(data), row.Alarm(data)};
}

GaugeReading OutlineGaugeReading(OutlineGauge gauge, const SystemData& data) {
    return RowOf(gauge).Read(data);
}

double FieldGaugeWarnLevel(const ControlBoxState& state) {
    return state.FrsValue != 0 ? 0 : double(FieldControlFullScale);
}

OutlineGauge CenterSource(CenterChoice choice) {
    static constexpr OutlineGauge Sources[] = {
        OutlineGauge::Voltage, OutlineGauge::Current, OutlineGauge::Soc,
        OutlineGauge::Load,    OutlineGauge::Temp,
    };
    return Sources[int(choice)];
}

}  // namespace korvan

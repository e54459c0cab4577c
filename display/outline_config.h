// What each gauge of the outline page shows: caption, range and levels taken
// from the settings records at layout time, and the value and activity taken
// from the state records at each refresh.
#pragma once

#include "model/system_data.h"

namespace korvan {

enum class OutlineGauge {
    Soc,
    Current,
    Voltage,
    Temp,
    Load,
    AltCurrent1,
    AltTemp1,
    Rpm1,
    Field1,
    AltCurrent2,
    AltTemp2,
    Rpm2,
    Field2,
    Frs,
};
constexpr int OutlineGaugeCount = 14;

enum class CenterChoice { BatteryVoltage, BatteryCurrent, Soc, LoadCurrent, BatteryTemperature };

struct GaugeSetup {
    const char* Caption;
    double RangeMin, RangeMax;
    double WarnLevel, AlarmLevel;
};

struct GaugeReading {
    bool Active;
    bool Real;     // stored with two decimals, else as an integer
    double Value;  // integer-valued unless Real
};

GaugeSetup OutlineGaugeSetup(OutlineGauge gauge, const SystemData& data);
GaugeReading OutlineGaugeReading(OutlineGauge gauge, const SystemData& data);

// The field gauges warn at any drive while field reduction is active.
double FieldGaugeWarnLevel(const ControlBoxState& state);

// The rectangular gauge whose quantity, caption and levels the centre gauge takes.
OutlineGauge CenterSource(CenterChoice choice);

}  // namespace korvan

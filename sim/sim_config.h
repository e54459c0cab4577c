// What the simulated installation looks like: which modules are fitted, the
// bank's voltage, how the engines are run, which sensors are missing.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace korvan {

struct SimConfig {
    bool FieldBox1 = true;
    bool FieldBox2 = true;
    bool BatteryBox = true;
    bool Nmea2000 = true;
    uint8_t SystemVoltage = 12;  // 12 or 24; anything else counts as 12

    // With AutoCycle the engines run and rest in turn (engine #2 starts a little
    // after engine #1) so that an unattended screen shows every stage; without it
    // EngineRunning decides.
    bool AutoCycle = true;
    std::chrono::seconds EngineRunTime{900};
    std::chrono::seconds EngineRestTime{300};
    std::chrono::seconds SecondEngineDelay{20};
    std::array<bool, 2> EngineRunning{true, true};

    double InitialSoc = 78.0;          // %
    double AmbientTemperature = 22.0;  // °C
    double BaseLoadCurrent = 12.0;     // A, house loads before their slow swing
    // A missing sensor reports NoTemperatureSensor; battery sensor #3 is not fitted by default.
    std::array<bool, 3> BatterySensorMissing{false, false, true};
    std::array<bool, 2> AlternatorSensorMissing{false, false};

    // Simulated seconds per wall-clock second for the charging physics (a
    // trade-show screen may run faster than life); the Bluetooth radio's 10 s
    // restart is always wall-clock time.
    double TimeScale = 1.0;

    // How many received requests are kept for inspection (oldest dropped first),
    // so that a demo left running for days does not grow without bound.
    size_t RecordLimit = 20000;
};

}  // namespace korvan

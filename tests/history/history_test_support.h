// Shared pieces of the history suites: times on an injected clock and state
// records whose values follow the poll number.
#pragma once

#include <chrono>
#include <cstdint>

#include "history/history_recorder.h"
#include "model/system_data.h"

namespace korvan::test {

// 2026-12-08 13:02:17.500 UTC, then `ms` later.
inline HistoryTime At(int64_t ms) {
    return HistoryTime(std::chrono::milliseconds(1796734937500LL + ms));
}

inline SystemData StateFor(int64_t n) {
    SystemData d{};
    d.BatteryState.TrueBatteryVoltage = 12.0 + double(n % 300) / 100;
    d.BatteryState.BatteryCurrent = int32_t(n % 61) - 30;
    d.BatteryState.Soc = uint8_t(n % 101);
    d.BatteryState.Temperature1 = int8_t(n % 40);
    d.BatteryState.Temperature3 = -128;
    d.BatteryState.ChargeContent = 100.25;
    d.ControlState.ChargingStage = uint8_t(n / 7 % 5);
    d.ControlState.ConnectedModules = uint16_t(0x000E | (n % 10 == 3 ? 0x0200 : 0));
    d.FieldState[0].EngineRpm = int32_t(800 + n % 2000);
    d.ControlState.Alt1DigitalFieldControl = uint16_t(n % 2501);
    return d;
}

}  // namespace korvan::test

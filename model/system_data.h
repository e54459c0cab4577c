// The program's records: one state and settings record per module, the eight
// charge profiles inside the control box settings, and the shared buffers.
#pragma once

#include <array>
#include <cstring>
#include <type_traits>

#include "model/battery_box.h"
#include "model/control_box.h"
#include "model/field_box.h"

namespace korvan {

struct SystemData {
    ControlBoxState ControlState{};
    ControlBoxSettings ControlSettings{};
    BatteryBoxState BatteryState{};
    BatteryBoxSettings BatterySettings{};
    std::array<FieldBoxState, 2> FieldState{};  // [0] = field box #1
    std::array<FieldBoxSettings, 2> FieldSettings{};
    Buffer64 DecodeBuffer{};
    Buffer64 EncodeBuffer{};

    // The settings records of `from`, the charge profiles with them.
    void CopySettings(const SystemData& from) {
        ControlSettings = from.ControlSettings;
        BatterySettings = from.BatterySettings;
        FieldSettings = from.FieldSettings;
    }

    // The no-data state after a lost link: every state record zero.
    void ZeroStates() {
        ControlState = {};
        BatteryState = {};
        FieldState = {};
    }
};

}  // namespace korvan

// The four modules of the system and the names the tool shows for them.
#pragma once

#include <array>

namespace korvan {

enum class ModuleId { ControlBox, BatteryBox, FieldBox1, FieldBox2 };

inline constexpr std::array<ModuleId, 4> AllModules = {ModuleId::ControlBox, ModuleId::BatteryBox,
                                                       ModuleId::FieldBox1, ModuleId::FieldBox2};

// "System Control Module", "Battery Control Module", "Field Control Module #1", ...
constexpr const char* ModuleName(ModuleId module) {
    switch (module) {
        case ModuleId::ControlBox:
            return "System Control Module";
        case ModuleId::BatteryBox:
            return "Battery Control Module";
        case ModuleId::FieldBox1:
            return "Field Control Module #1";
        case ModuleId::FieldBox2:
            return "Field Control Module #2";
    }
    return "";
}

// Field box index (0 = field box #1) of a field box module.
constexpr int FieldBoxIndex(ModuleId module) { return module == ModuleId::FieldBox2 ? 1 : 0; }

}  // namespace korvan

// One row per module: what the module tables need of a module, over the records
// of SystemData. The two field boxes share their row's functions; each reaches
// its own records through FieldBoxIndex(module).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/modules.h"
#include "model/system_data.h"

namespace korvan {

struct ModuleDescriptor {
    ModuleId Module;
    // The module's bit in the control box's ConnectedModules; 0 for the control
    // box, which is there whenever the system answers.
    uint16_t ConnectedBit;
    const std::vector<std::string>& (*StateLabels)();
    const std::vector<std::string>& (*SettingsLabels)();
    // The allowed range of each settings row, on the scale the table shows for
    // systemVoltage (only the battery box has two).
    std::vector<std::string> (*SettingsRanges)(uint8_t systemVoltage, char sep);
    // The state texts in table order.
    std::vector<std::string> (*StateLines)(const SystemData& data, ModuleId module, char sep);
    // The lines of the module's status text box.
    std::vector<std::string> (*StatusLines)(const SystemData& data, ModuleId module);
    std::vector<std::string> (*SettingsTexts)(const SystemData& data, ModuleId module,
                                              uint8_t systemVoltage, char sep);
    // The value cells back into the module's settings record: parsed, derived, checked.
    void (*ReadSettingsTable)(SystemData& data, ModuleId module,
                              const std::vector<std::string>& cells, uint8_t systemVoltage,
                              char sep);
};

// In the order of AllModules.
const std::array<ModuleDescriptor, AllModules.size()>& ModuleDescriptors();
const ModuleDescriptor& DescriptorOf(ModuleId module);

// The settings records as the tables would show them and read them back: what
// the tool's own read-back and checks make of them before a write or a save
// (battery box voltages on the scale of the system's voltage in `data`).
SystemData CheckedSettings(SystemData data, char sep = '.');
// The names of the flags set in a module's status word, as its status lines give
// them without their "- " (no "Status OK"); none when no flag is set.
std::vector<std::string> StatusFlagNames(ModuleId module, uint16_t word);

// Whether the status word reports the module; the control box always counts.
bool ModuleConnected(uint16_t connectedModules, ModuleId module);

// Field box #1 for index 0, #2 for index 1.
constexpr ModuleId FieldBoxModule(int index) {
    return index == 1 ? ModuleId::FieldBox2 : ModuleId::FieldBox1;
}

}  // namespace korvan

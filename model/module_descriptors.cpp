#include "model/module_descriptors.h"

#include <cstddef>

namespace korvan {

namespace {

constexpr ModuleDescriptor ControlBox{
    ModuleId::ControlBox,
    0,
    ControlBoxStateLabels,
    ControlBoxSettingsLabels,
    [](uint8_t, char sep) { return ControlBoxSettingsRanges(sep); },
    [](const SystemData& d, ModuleId, char sep) {
        std::vector<std::string> lines;
        ControlBoxStateLines(d.ControlState, sep, &lines);
        return lines;
    },
    [](const SystemData& d, ModuleId) { return ControlBoxStatusLines(d.ControlState); },
    [](const SystemData& d, ModuleId, uint8_t, char sep) {
        return ControlBoxSettingsTexts(d.ControlSettings, sep);
    },
    [](SystemData& d, ModuleId, const std::vector<std::string>& cells, uint8_t, char sep) {
        ReadControlBoxSettingsTable(d.ControlSettings, cells, sep);
    },
};

constexpr ModuleDescriptor BatteryBox{
    ModuleId::BatteryBox,
    BatteryBoxConnected,
    BatteryBoxStateLabels,
    BatteryBoxSettingsLabels,
    BatteryBoxSettingsRanges,
    [](const SystemData& d, ModuleId, char sep) {
        std::vector<std::string> lines;
        BatteryBoxStateLines(d.BatteryState, d.BatterySettings, sep, &lines);
        return lines;
    },
    [](const SystemData& d, ModuleId) { return BatteryBoxStatusLines(d.BatteryState); },
    [](const SystemData& d, ModuleId, uint8_t systemVoltage, char sep) {
        return BatteryBoxSettingsTexts(d.BatterySettings, systemVoltage, sep);
    },
    [](SystemData& d, ModuleId, const std::vector<std::string>& cells, uint8_t systemVoltage,
       char sep) { ReadBatteryBoxSettingsTable(d.BatterySettings, cells, systemVoltage, sep); },
};

// Both field boxes: the module given picks the records.
constexpr ModuleDescriptor FieldBox(ModuleId module, uint16_t connectedBit) {
    return {
        module,
        connectedBit,
        FieldBoxStateLabels,
        FieldBoxSettingsLabels,
        [](uint8_t, char sep) { return FieldBoxSettingsRanges(sep); },
        [](const SystemData& d, ModuleId m, char sep) {
            std::vector<std::string> lines;
            FieldBoxStateLines(d.FieldState[FieldBoxIndex(m)], sep, &lines);
            return lines;
        },
        [](const SystemData& d, ModuleId m) {
            return FieldBoxStatusLines(d.FieldState[FieldBoxIndex(m)]);
        },
        [](const SystemData& d, ModuleId m, uint8_t, char sep) {
            return FieldBoxSettingsTexts(d.FieldSettings[FieldBoxIndex(m)], sep);
        },
        [](SystemData& d, ModuleId m, const std::vector<std::string>& cells, uint8_t, char sep) {
            ReadFieldBoxSettingsTable(d.FieldSettings[FieldBoxIndex(m)], cells, sep);
        },
    };
}

constexpr std::array<ModuleDescriptor, AllModules.size()> Descriptors = {
    ControlBox,
    BatteryBox,
    FieldBox(ModuleId::FieldBox1, FieldBox1Connected),
    FieldBox(ModuleId::FieldBox2, FieldBox2Connected),
};

constexpr bool InModuleOrder() {
    for (size_t i = 0; i < AllModules.size(); ++i)
        if (Descriptors[i].Module != AllModules[i] || static_cast<size_t>(AllModules[i]) != i)
            return false;
    return true;
}
static_assert(InModuleOrder(), "one descriptor per module, at the index of its ModuleId");

}  // namespace

const std::array<ModuleDescriptor, AllModules.size()>& ModuleDescriptors() { return Descriptors; }

const ModuleDescriptor& DescriptorOf(ModuleId module) {
    return Descriptors[static_cast<size_t>(module)];
}

SystemData CheckedSettings(SystemData data, char sep) {
    const uint8_t systemVoltage = data.BatteryState.SystemVoltage == 24 ? 24 : 12;
    for (const ModuleDescriptor& row : ModuleDescriptors())
        row.ReadSettingsTable(data, row.Module,
                              row.SettingsTexts(data, row.Module, systemVoltage, sep),
                              systemVoltage, sep);
    return data;
}

std::vector<std::string> StatusFlagNames(ModuleId module, uint16_t word) {
    SystemData data;
    data.ControlState.ConnectedModules = word;
    data.BatteryState.StatusCode = word;
    for (FieldBoxState& f : data.FieldState) f.StatusCode = uint8_t(word);
    std::vector<std::string> names;
    for (std::string line : DescriptorOf(module).StatusLines(data, module)) {
        if (line == "Status OK") continue;
        line.erase(0, line.find_first_not_of("- "));
        names.push_back(std::move(line));
    }
    return names;
}

bool ModuleConnected(uint16_t connectedModules, ModuleId module) {
    const uint16_t bit = DescriptorOf(module).ConnectedBit;
    return bit == 0 || (connectedModules & bit) != 0;
}

}  // namespace korvan

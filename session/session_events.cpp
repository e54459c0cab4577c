#include "session/session_events.h"

#include <algorithm>

#include "model/module_descriptors.h"

namespace korvan {

namespace {

struct CommandTexts {
    SettingsCommand Kind;
    const char* Done;
    const char* Failed;
};

constexpr CommandTexts CommandRows[] = {
    {SettingsCommand::ReadAllSettings, "Settings read from the system",
     "Reading the settings failed"},
    {SettingsCommand::WriteAllSettings, "All settings written to the system",
     "Writing all settings failed"},
    {SettingsCommand::WriteControlBoxSettings, "Control box settings written to the system",
     "Writing the control box settings failed"},
    {SettingsCommand::ResetControlBoxDefaults, "Control box settings restored to their defaults",
     "Restoring the control box defaults failed"},
    {SettingsCommand::ResetBluetoothRadio, "Bluetooth radio reset",
     "Resetting the Bluetooth radio failed"},
};

constexpr const char* OperationNames[] = {
    "Reading the settings",   "Writing all settings",          "Writing the control box settings",
    "Restoring the defaults", "Resetting the Bluetooth radio", "Reading NMEA 2000 frames",
};

bool Writes(SettingsCommand kind) {
    return kind == SettingsCommand::WriteAllSettings ||
           kind == SettingsCommand::WriteControlBoxSettings;
}

// The bits of each status word that report a fault or a warning (not a module
// that is there, a radio that is on or an output that is driven).
struct FaultBits {
    ModuleId Module;
    uint16_t Mask;
};
constexpr FaultBits FaultRows[] = {
    {ModuleId::ControlBox, 0x3E01},  // hardware, warning, critical, settings, overvoltage, wiring
    {ModuleId::BatteryBox, 0x0FFF},  // hardware, temperatures, overvoltage, discharge, low SOC
    {ModuleId::FieldBox1, 0x000F},   // hardware, temperature, B- or B+ leads
    {ModuleId::FieldBox2, 0x000F},
};

// The module's status word, with the bits of `row`'s mask only.
uint16_t FaultWord(const SystemData& data, const FaultBits& row) {
    switch (row.Module) {
        case ModuleId::ControlBox:
            return data.ControlState.ConnectedModules & row.Mask;
        case ModuleId::BatteryBox:
            return data.BatteryState.StatusCode & row.Mask;
        default:
            return data.FieldState[FieldBoxIndex(row.Module)].StatusCode & row.Mask;
    }
}

}  // namespace

std::string CommandEventText(const CommandResult& result) {
    const CommandTexts* row = &CommandRows[0];
    for (const CommandTexts& r : CommandRows)
        if (r.Kind == result.Kind) row = &r;
    std::string text = result.Ok ? row->Done : row->Failed;
    if (Writes(result.Kind) && !result.Write.Complete && result.Write.Total > 0) {
        text += " after " + std::to_string(result.Write.Sent) + " of " +
                std::to_string(result.Write.Total) + " reports";
        if (result.Write.Stopped) text += ", stopped by the user";
    }
    if (result.Forwarded) text += " (through remote support)";
    if (!result.Ok && !result.Reason.empty()) text += ": " + result.Reason;
    return text;
}

std::string RefusalEventText(LinkOperation operation, const char* link) {
    return std::string(OperationNames[static_cast<size_t>(operation)]) + " refused on the " + link +
           " connection";
}

std::vector<std::string> FaultWatch::Changes(const SystemData& data) {
    std::vector<std::string> now;
    for (const FaultBits& row : FaultRows) {
        if (!ModuleConnected(data.ControlState.ConnectedModules, row.Module)) continue;
        for (const std::string& name : StatusFlagNames(row.Module, FaultWord(data, row)))
            now.push_back(std::string(ModuleName(row.Module)) + ": " + name);
    }
    std::vector<std::string> changes;
    for (const std::string& line : now)
        if (std::find(shown_.begin(), shown_.end(), line) == shown_.end()) changes.push_back(line);
    for (const std::string& line : shown_)
        if (std::find(now.begin(), now.end(), line) == now.end())
            changes.push_back(line + " cleared");
    shown_ = std::move(now);
    return changes;
}

}  // namespace korvan

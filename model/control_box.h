// System Control Module (the control box): state and settings blocks, records,
// table texts and status lines, read-back and checks, encoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/charge_profiles.h"
#include "model/values.h"

namespace korvan {

constexpr size_t ControlBoxStateLength = 42;
constexpr size_t ControlBoxSettingsLength = 63;

// Bits of ConnectedModules used outside the control box's own status lines.
constexpr uint16_t FieldBox1Connected = 0x0002;
constexpr uint16_t FieldBox2Connected = 0x0004;
constexpr uint16_t BatteryBoxConnected = 0x0008;
constexpr uint16_t Nmea2000Connected = 0x0010;
constexpr uint16_t WarningFaultPresent = 0x0200;
constexpr uint16_t CriticalFaultPresent = 0x0400;

// The raw field control values (SlaveFieldControl, the digital field controls and
// their limits) for a field drive of 100 %.
constexpr uint16_t FieldControlFullScale = 2500;

// The charging stages the control box reports in ChargingStage.
enum ChargingStageCode : uint8_t {
    StageMonitoring,
    StageWarmup,
    StageMandatoryBulk,
    StageBulkAbsorb,
    StageFloat,
};
constexpr uint8_t ChargingStageCount = StageFloat + 1;

struct ControlBoxState {
    double BatteryVoltage = 0;
    uint16_t SlaveFieldControl = 0;  // raw 0-FieldControlFullScale = 0-100 %
    uint16_t FieldControlLimit = 0;
    uint8_t FrsValue = 0;           // x 10 = %
    uint16_t ConnectedModules = 0;  // status word
    uint8_t ChargingStage = 0;      // a ChargingStageCode
    double Alt1SetPoint = 0;
    double Alt1VoltageDrop = 0;
    uint16_t Alt1DigitalFieldControl = 0;
    uint16_t Alt1LowerFieldLimit = 0;
    uint16_t Alt1UpperFieldLimit = 0;
    double Alt2SetPoint = 0;
    double Alt2VoltageDrop = 0;
    uint16_t Alt2DigitalFieldControl = 0;
    uint16_t Alt2LowerFieldLimit = 0;
    uint16_t Alt2UpperFieldLimit = 0;
    double ReferenceVoltage = 0;
    double InternalSupplyVoltage = 0;
    int32_t Alt1Current = 0;
    int32_t Alt2Current = 0;
    int32_t BatteryCurrent = 0;
};

// Exact layout of the 512-byte record in the settings file.
struct ControlBoxSettings {
    uint8_t DeviceId;
    uint8_t Version;
    uint8_t SerialDay;
    uint8_t SerialMonth;
    uint8_t SerialYear;
    uint8_t SerialNumber;
    uint8_t WifiMode;  // 0 disabled, 1 station, 2 access point
    char WifiSsid[16];
    char WifiPassword[16];
    uint8_t UseBluetooth;
    uint8_t UseNmea2000;
    uint8_t Pad41[7];
    ChargeProfile Profiles[ChargeProfileCount];
    uint8_t ProfileIndex;
    uint8_t Pad433[3];
    int32_t BatteryChargeCurrentLimit;
    int32_t WarmupDuration;
    int32_t MandatoryBulkDuration;
    double MaxWiringVoltageDrop;
    int32_t RefreshRate;
    uint8_t Pad460[4];
    int32_t Alt1CurrentLimit;
    int32_t Alt1ClimbCoefficient;
    int32_t Alt1CollapseCoefficient;
    uint8_t Pad476[4];
    double Alt1ToleranceBand;
    int32_t Alt2CurrentLimit;
    int32_t Alt2ClimbCoefficient;
    int32_t Alt2CollapseCoefficient;
    uint8_t Pad500[4];
    double Alt2ToleranceBand;
};

void DecodeControlBoxState(const Buffer64& in, ControlBoxState& out);
void EncodeControlBoxState(const ControlBoxState& state, Buffer64& out);
void DecodeControlBoxSettings(const Buffer64& in, ControlBoxSettings& out);  // not the profiles
void EncodeControlBoxSettings(const ControlBoxSettings& settings, Buffer64& out);

const std::vector<std::string>& ControlBoxStateLabels();     // 11
const std::vector<std::string>& ControlBoxSettingsLabels();  // 13
// The settings row of the Wi-Fi password, which the tables do not show openly.
constexpr int ControlBoxPasswordRow = 2;
// Also a text for a code without a stage, so that a table row stays one cell.
std::string ChargingStageName(uint8_t stage);
void ControlBoxStateLines(const ControlBoxState& state, char sep, std::vector<std::string>* lines);
std::vector<std::string> ControlBoxStatusLines(const ControlBoxState& state);
std::vector<std::string> ControlBoxSettingsTexts(const ControlBoxSettings& settings, char sep);
// Parses the 13 value cells (row 5 holds the profile index) and validates.
void ReadControlBoxSettingsTable(ControlBoxSettings& settings,
                                 const std::vector<std::string>& cells, char sep);
// The allowed range of each settings row.
std::vector<std::string> ControlBoxSettingsRanges(char sep);
void ValidateControlBoxSettings(ControlBoxSettings& settings);
// The profile that ProfileIndex selects, never outside the eight (index > 7 gives null).
ChargeProfile* SelectedProfile(ControlBoxSettings& settings);
const ChargeProfile* SelectedProfile(const ControlBoxSettings& settings);

}  // namespace korvan

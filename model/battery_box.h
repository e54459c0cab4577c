// Battery Control Module (the battery box): state and settings blocks, records,
// table texts, read-back with derived fields and checks, encoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/values.h"

namespace korvan {

constexpr size_t BatteryBoxStateLength = 48;
constexpr size_t BatteryBoxSettingsLength = 48;
constexpr size_t BatteryBoxItemCount = 46;  // item pairs 1-46, then the closing pair

struct BatteryBoxState {
    double SupplyVoltage = 0;
    double TempSensorVoltage1 = 0;
    double TempSensorVoltage2 = 0;
    double TempSensorVoltage3 = 0;
    double MeasuredBatteryVoltage = 0;
    double MeasuredLoadsVoltage = 0;
    int32_t Alternator1Current = 0;
    int32_t Alternator2Current = 0;
    int32_t BatteryCurrent = 0;  // positive while charging
    bool BatteryOcc = false;
    bool SsInput = false;
    int8_t Temperature1 = 0;  // NoTemperatureSensor: sensor not connected
    int8_t Temperature2 = 0;
    int8_t Temperature3 = 0;
    int32_t LoadCurrent = 0;
    uint8_t SystemVoltage = 0;  // 12 or 24
    double TrueBatteryVoltage = 0;
    double VoltageDrop = 0;
    double ChargeContent = 0;  // A*h (block fraction times BankSize)
    uint8_t Soc = 0;
    bool SsOutput1 = false;
    bool SsOutput2 = false;
    uint16_t StatusCode = 0;
};

// Exact layout of the 144-byte record in the settings file (little-endian host).
struct BatteryBoxSettings {
    uint8_t Marker;
    uint8_t DeviceId;
    uint8_t Version;
    uint8_t SerialDay;
    uint8_t SerialMonth;
    uint8_t SerialYear;
    uint8_t SerialNumber;
    uint8_t Pad7;
    int32_t BankSize;
    uint8_t Pad12[4];
    double TempCoefficient;
    double VoltageAt100;
    double VoltageAt80;
    double VoltageAt20;
    double VoltageAt0;
    double WiringResistance;
    uint8_t UseSsp;
    uint8_t Pad65[7];
    double SspThreshold;
    uint8_t UseSs;
    uint8_t SsNoOutput1Usage;
    uint8_t SsNcOutput2Usage;
    uint8_t SsAlarmInputUsage;
    int8_t WarningTemp1;
    int8_t FaultTemp1;
    int8_t WarningTemp2;
    int8_t FaultTemp2;
    int8_t WarningTemp3;
    int8_t FaultTemp3;
    uint8_t Pad90[2];
    int32_t WarningDischargeCurrent;
    int32_t FaultDischargeCurrent;
    uint8_t Pad100[4];
    double WarningVoltage;
    double FaultVoltage;
    uint8_t WarningSoc;
    uint8_t Pad121[7];
    double BatteryVoltageAdjuster;
    double LoadsVoltageAdjuster;
};

void DecodeBatteryBoxState(const Buffer64& in, const BatteryBoxSettings& settings,
                           BatteryBoxState& out);
void EncodeBatteryBoxState(const BatteryBoxState& state, const BatteryBoxSettings& settings,
                           Buffer64& out);
void DecodeBatteryBoxSettings(const Buffer64& in, BatteryBoxSettings& out);
// Writes the block into `out` and returns the 47 item pairs.
ItemPairs EncodeBatteryBoxSettings(const BatteryBoxSettings& settings, Buffer64& out);

const std::vector<std::string>& BatteryBoxStateLabels();     // 15
const std::vector<std::string>& BatteryBoxSettingsLabels();  // 19
// The 15 state texts in table order; a null list is left alone.
void BatteryBoxStateLines(const BatteryBoxState& state, const BatteryBoxSettings& settings,
                          char sep, std::vector<std::string>* lines);
std::vector<std::string> BatteryBoxStatusLines(const BatteryBoxState& state);
// The 19 settings texts, on the 24 V scale when systemVoltage is 24.
std::vector<std::string> BatteryBoxSettingsTexts(const BatteryBoxSettings& settings,
                                                 uint8_t systemVoltage, char sep);
// Reads the 19 value cells back (missing cells count as unparsable), derives, checks.
void ReadBatteryBoxSettingsTable(BatteryBoxSettings& settings,
                                 const std::vector<std::string>& cells, uint8_t systemVoltage,
                                 char sep);
// The allowed range of each settings row, on the scale the table shows.
std::vector<std::string> BatteryBoxSettingsRanges(uint8_t systemVoltage, char sep);

}  // namespace korvan

// Field Control Module (a field box, one per engine): state and settings blocks,
// records, table texts, read-back with derived fields and checks, encoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/values.h"

namespace korvan {

constexpr size_t FieldBoxStateLength = 27;
constexpr size_t FieldBoxSettingsLength = 27;
constexpr size_t FieldBoxItemCount = 16;

struct FieldBoxState {
    double SupplyVoltage = 0;
    double FiveVoltVoltage = 0;
    double TempSensorSignal = 0;
    double Field1OutputVoltage = 0;
    double Field2OutputVoltage = 0;
    double BPlusVoltage = 0;
    double BMinusVoltage = 0;
    uint8_t Field1Selector = 0;
    uint8_t Field2Selector = 0;
    uint8_t Field1Output = 0;
    uint8_t Field2Output = 0;
    int32_t TachOutputFrequency = 0;
    int32_t TachFrequency = 0;
    int8_t AlternatorTemperature = 0;  // NoTemperatureSensor: not connected
    int32_t EngineRpm = 0;
    uint8_t StatusCode = 0;
};

// Exact layout of the 48-byte record in the settings file.
struct FieldBoxSettings {
    uint8_t Marker;
    uint8_t DeviceId;
    uint8_t Version;
    uint8_t SerialDay;
    uint8_t SerialMonth;
    uint8_t SerialYear;
    uint8_t SerialNumber;
    uint8_t Pad7;
    double PulleyRatio;
    uint8_t Poles;
    uint8_t Pad17[7];
    double TachCompensator;
    int8_t WarningTemp;
    int8_t FaultTemp;
    uint8_t Pad34[2];
    int32_t LowRpmLimit;
    uint8_t UseWarningLight;
    uint8_t Pad41[7];
};

void DecodeFieldBoxState(const Buffer64& in, FieldBoxState& out);
void EncodeFieldBoxState(const FieldBoxState& state, Buffer64& out);
void DecodeFieldBoxSettings(const Buffer64& in, FieldBoxSettings& out);
ItemPairs EncodeFieldBoxSettings(const FieldBoxSettings& settings, Buffer64& out);  // 17 pairs

const std::vector<std::string>& FieldBoxStateLabels();     // 8
const std::vector<std::string>& FieldBoxSettingsLabels();  // 6
void FieldBoxStateLines(const FieldBoxState& state, char sep, std::vector<std::string>* lines);
std::vector<std::string> FieldBoxStatusLines(const FieldBoxState& state);
std::vector<std::string> FieldBoxSettingsTexts(const FieldBoxSettings& settings, char sep);
void ReadFieldBoxSettingsTable(FieldBoxSettings& settings, const std::vector<std::string>& cells,
                               char sep);
// The allowed range of each settings row.
std::vector<std::string> FieldBoxSettingsRanges(char sep);

}  // namespace korvan

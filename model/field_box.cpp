#include "model/field_box.h"

#include <cstddef>

namespace korvan {

static_assert(sizeof(FieldBoxSettings) == 48);
static_assert(offsetof(FieldBoxSettings, PulleyRatio) == 8);
static_assert(offsetof(FieldBoxSettings, Poles) == 16);
static_assert(offsetof(FieldBoxSettings, TachCompensator) == 24);
static_assert(offsetof(FieldBoxSettings, WarningTemp) == 32);
static_assert(offsetof(FieldBoxSettings, FaultTemp) == 33);
static_assert(offsetof(FieldBoxSettings, LowRpmLimit) == 36);
static_assert(offsetof(FieldBoxSettings, UseWarningLight) == 40);

namespace {

using S = FieldBoxSettings;
constexpr uint8_t RecordMarker = 0xFF;

constexpr const char* StatusTexts[8] = {
    "- Internal hardware fault",      "- Alternator temperature warning",
    "- Alternator temperature fault", "- Alternator B- or B+ leads are not connected correctly",
    "- Engine RPM too low",           "- Tachometer signal present",
    "- Ignition input active",        "- Warning Light output active",
};

constexpr size_t RowFaultTemp = 3;

const SettingsRow Rows[6] = {
    {"Amount of Alternator Poles [6..32]", FieldWidth::U8, offsetof(S, Poles), CellForm::Int, 12},
    {"Pulley Ratio [1..10]", FieldWidth::F64, offsetof(S, PulleyRatio), CellForm::Fixed2, 1.0},
    {"Tachometer Compensator [0.01 .. 9.99]", FieldWidth::F64, offsetof(S, TachCompensator),
     CellForm::Fixed2, 1.0},
    {"Alternator Fault Temperature, \u00B0C", FieldWidth::S8, offsetof(S, FaultTemp), CellForm::Int,
     110},
    {"Low Engine RPM Limit", FieldWidth::S32, offsetof(S, LowRpmLimit), CellForm::Int, 500},
    {"Use Warning Light [0-disabled, 1-enabled]", FieldWidth::U8, offsetof(S, UseWarningLight),
     CellForm::Int, 1},
};

constexpr RangeCheck Checks[] = {
    {FieldWidth::U8, offsetof(S, DeviceId), 1, 10, 2},
    {FieldWidth::U8, offsetof(S, Version), 1, 100, 3},
    {FieldWidth::F64, offsetof(S, PulleyRatio), 0.0, 9.99, 0.0},
    {FieldWidth::U8, offsetof(S, Poles), 2, 32, 0},
    {FieldWidth::F64, offsetof(S, TachCompensator), 0.01, 9.99, 0.0},
    {FieldWidth::S8, offsetof(S, FaultTemp), 50, 120, 0},
    {.Width = FieldWidth::S8,
     .Offset = offsetof(S, WarningTemp),
     .Min = 50,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, FaultTemp),
     .MaxDelta = -1},
    {FieldWidth::S32, offsetof(S, LowRpmLimit), 1, 999, 0},
    {FieldWidth::U8, offsetof(S, UseWarningLight), 0, 1, 0},
};

const char* SelectorText(uint8_t v) {
    switch (v) {
        case 1:
            return "P-type";
        case 2:
            return "N-type";
        default:
            return "Disabled";
    }
}

}  // namespace

void DecodeFieldBoxState(const Buffer64& in, FieldBoxState& out) {
    const uint8_t* b = in.data();
    out.StatusCode = b[1];
    out.SupplyVoltage = GetSplitDecimal(b + 2);
    out.FiveVoltVoltage = GetSplitDecimal(b + 4);
    out.TempSensorSignal = GetSplitDecimal(b + 6);
    out.Field1Output = b[8];
    out.Field2Output = b[9];
    out.Field1OutputVoltage = GetSplitDecimal(b + 10);
    out.Field2OutputVoltage = GetSplitDecimal(b + 12);
    out.BPlusVoltage = GetSplitDecimal(b + 14);
    out.BMinusVoltage = GetSplitDecimal(b + 16);
    out.TachFrequency = GetU16(b + 18);
    out.Field1Selector = b[20] >> 4;
    out.Field2Selector = b[20] & 0x0F;
    out.EngineRpm = GetU16(b + 21);
    out.TachOutputFrequency = GetU16(b + 23);
    out.AlternatorTemperature = static_cast<int8_t>(b[25]);
}

void EncodeFieldBoxState(const FieldBoxState& s, Buffer64& out) {
    out.fill(0);
    uint8_t* b = out.data();
    b[0] = StateMarker;
    b[1] = s.StatusCode;
    PutSplitDecimal(b + 2, s.SupplyVoltage);
    PutSplitDecimal(b + 4, s.FiveVoltVoltage);
    PutSplitDecimal(b + 6, s.TempSensorSignal);
    b[8] = s.Field1Output;
    b[9] = s.Field2Output;
    PutSplitDecimal(b + 10, s.Field1OutputVoltage);
    PutSplitDecimal(b + 12, s.Field2OutputVoltage);
    PutSplitDecimal(b + 14, s.BPlusVoltage);
    PutSplitDecimal(b + 16, s.BMinusVoltage);
    PutU16(b + 18, s.TachFrequency);
    b[20] = static_cast<uint8_t>(s.Field1Selector * 16 + (s.Field2Selector & 0x0F));
    PutU16(b + 21, s.EngineRpm);
    PutU16(b + 23, s.TachOutputFrequency);
    b[25] = static_cast<uint8_t>(s.AlternatorTemperature);
    b[26] = StateMarker;
}

void DecodeFieldBoxSettings(const Buffer64& in, FieldBoxSettings& out) {
    const uint8_t* b = in.data();
    out.Marker = RecordMarker;
    GetIdentity(b, out);
    out.PulleyRatio = GetSplitDecimal(b + 7);
    out.Poles = b[9];
    out.TachCompensator = GetSplitDecimal(b + 10);
    out.WarningTemp = static_cast<int8_t>(b[12]);
    out.FaultTemp = static_cast<int8_t>(b[13]);
    out.LowRpmLimit = GetU16(b + 14);
    out.UseWarningLight = b[16];
}

ItemPairs EncodeFieldBoxSettings(const FieldBoxSettings& s, Buffer64& out) {
    out.fill(0);
    uint8_t* b = out.data();
    b[0] = SettingsMarker;
    PutIdentity(b, s);
    PutSplitDecimal(b + 7, s.PulleyRatio);
    b[9] = s.Poles;
    PutSplitDecimal(b + 10, s.TachCompensator);
    b[12] = static_cast<uint8_t>(s.WarningTemp);
    b[13] = static_cast<uint8_t>(s.FaultTemp);
    PutU16(b + 14, s.LowRpmLimit);
    b[16] = s.UseWarningLight;
    b[17] = 0xFF;
    b[18] = SettingsMarker;
    ItemPairs pairs;
    pairs.reserve(FieldBoxItemCount + 1);
    for (size_t n = 1; n <= FieldBoxItemCount; ++n)
        pairs.push_back({static_cast<uint8_t>(n), b[n]});
    pairs.push_back({0, 0xFF});
    return pairs;
}

const std::vector<std::string>& FieldBoxStateLabels() {
    static const std::vector<std::string> labels = {
        "B+ Voltage, V",
        "B- Voltage, V",
        "Field #1 Selector",
        "Field #1 Output Voltage, V",
        "Field #2 Selector",
        "Field #2 Output Voltage, V",
        "Alternator Temperature, \u00B0C",
        "Engine RPM, 1/min",
    };
    return labels;
}

const std::vector<std::string>& FieldBoxSettingsLabels() {
    static const std::vector<std::string> labels = SettingsRowLabels(Rows);
    return labels;
}

void FieldBoxStateLines(const FieldBoxState& s, char sep, std::vector<std::string>* lines) {
    if (!lines) return;
    *lines = {
        FormatFixed(s.BPlusVoltage, 2, sep),
        FormatFixed(s.BMinusVoltage, 2, sep),
        SelectorText(s.Field1Selector),
        FormatFixed(s.Field1OutputVoltage, 2, sep),
        SelectorText(s.Field2Selector),
        FormatFixed(s.Field2OutputVoltage, 2, sep),
        FormatTemperature(s.AlternatorTemperature, "Check Sensor connections"),
        FormatInt(s.EngineRpm),
    };
}

std::vector<std::string> FieldBoxStatusLines(const FieldBoxState& s) {
    std::vector<std::string> lines;
    // The low four bits are faults; the high four are reported whatever the faults are.
    if ((s.StatusCode & 0x0F) == 0) lines.emplace_back("Status OK");
    for (int bit = 0; bit < 8; ++bit)
        if (s.StatusCode & (1u << bit)) lines.emplace_back(StatusTexts[bit]);
    return lines;
}

std::vector<std::string> FieldBoxSettingsTexts(const FieldBoxSettings& s, char sep) {
    std::vector<std::string> texts;
    for (const SettingsRow& r : Rows) texts.push_back(SettingsRowText(&s, r, 1, sep));
    return texts;
}

void ReadFieldBoxSettingsTable(FieldBoxSettings& s, const std::vector<std::string>& cells,
                               char sep) {
    for (size_t i = 0; i < std::size(Rows); ++i) {
        ReadSettingsRow(&s, Rows[i], i < cells.size() ? &cells[i] : nullptr, 1, sep);
        if (i == RowFaultTemp)
            s.WarningTemp = static_cast<int8_t>(s.FaultTemp > 10 ? s.FaultTemp - 10 : 0);
    }
    s.Marker = RecordMarker;
    RunRangeChecks(&s, Checks, std::size(Checks));
}

std::vector<std::string> FieldBoxSettingsRanges(char sep) {
    return SettingsRangeTexts(Rows, Checks, 1.0, sep);
}

}  // namespace korvan

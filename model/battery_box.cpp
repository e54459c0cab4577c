#include "model/battery_box.h"

#include <cstddef>
#include <cstring>

namespace korvan {

static_assert(sizeof(BatteryBoxSettings) == 144);
static_assert(offsetof(BatteryBoxSettings, BankSize) == 8);
static_assert(offsetof(BatteryBoxSettings, TempCoefficient) == 16);
static_assert(offsetof(BatteryBoxSettings, VoltageAt100) == 24);
static_assert(offsetof(BatteryBoxSettings, VoltageAt0) == 48);
static_assert(offsetof(BatteryBoxSettings, WiringResistance) == 56);
static_assert(offsetof(BatteryBoxSettings, UseSsp) == 64);
static_assert(offsetof(BatteryBoxSettings, SspThreshold) == 72);
static_assert(offsetof(BatteryBoxSettings, UseSs) == 80);
static_assert(offsetof(BatteryBoxSettings, SsAlarmInputUsage) == 83);
static_assert(offsetof(BatteryBoxSettings, WarningTemp1) == 84);
static_assert(offsetof(BatteryBoxSettings, FaultTemp3) == 89);
static_assert(offsetof(BatteryBoxSettings, WarningDischargeCurrent) == 92);
static_assert(offsetof(BatteryBoxSettings, FaultDischargeCurrent) == 96);
static_assert(offsetof(BatteryBoxSettings, WarningVoltage) == 104);
static_assert(offsetof(BatteryBoxSettings, FaultVoltage) == 112);
static_assert(offsetof(BatteryBoxSettings, WarningSoc) == 120);
static_assert(offsetof(BatteryBoxSettings, BatteryVoltageAdjuster) == 128);
static_assert(offsetof(BatteryBoxSettings, LoadsVoltageAdjuster) == 136);

namespace {

using S = BatteryBoxSettings;
constexpr uint8_t RecordMarker = 0xFF;
constexpr const char* NoSensor = "Sensor is not connected";

constexpr const char* StatusTexts[14] = {
    "- Internal hardware fault",         "- Battery #1 temperature warning",
    "- Battery #1 temperature fault",    "- Battery #2 temperature warning",
    "- Battery #2 temperature fault",    "- Battery #3 temperature warning",
    "- Battery #3 temperature fault",    "- Battery overvoltage warning",
    "- Battery overvoltage fault",       "- Battery discharge current warning",
    "- Battery discharge current fault", "- Battery low SOC warning",
    "- Surge Protector is active",       "- Safety Switch is active",
};

enum Row : size_t {
    RowFaultTemp1 = 13,
    RowFaultTemp2,
    RowFaultTemp3,
    RowFaultCurrent,
    RowFaultVoltage
};

const SettingsRow Rows[19] = {
    {"Battery Bank size, A*h", FieldWidth::S32, offsetof(S, BankSize), CellForm::Int, 100},
    {"Battery Temperature coefficient, V/\u00B0C", FieldWidth::F64, offsetof(S, TempCoefficient),
     CellForm::Fixed3, 0.015},
    {"Battery Voltage @ 100%, V", FieldWidth::F64, offsetof(S, VoltageAt100), CellForm::Fixed2,
     12.7, true},
    {"Battery Voltage @ 80%, V", FieldWidth::F64, offsetof(S, VoltageAt80), CellForm::Fixed2, 12.5,
     true},
    {"Battery Voltage @ 20%, V", FieldWidth::F64, offsetof(S, VoltageAt20), CellForm::Fixed2, 12.2,
     true},
    {"Battery Voltage @ 0%, V", FieldWidth::F64, offsetof(S, VoltageAt0), CellForm::Fixed2, 12.0,
     true},
    {"Battery Wiring Resistance, Ohms", FieldWidth::F64, offsetof(S, WiringResistance),
     CellForm::Fixed3, 0.001},
    {"Use System Surge Protector (SSP) [0 or 1]", FieldWidth::U8, offsetof(S, UseSsp),
     CellForm::Int, 0},
    {"SSP Voltage Threshold, V", FieldWidth::F64, offsetof(S, SspThreshold), CellForm::Fixed2, 16.0,
     true},
    {"Use Safety Switch (SS) [0 or 1]", FieldWidth::U8, offsetof(S, UseSs), CellForm::Int, 0},
    {"SS NO Output #1 usage [0 or 1]", FieldWidth::U8, offsetof(S, SsNoOutput1Usage), CellForm::Int,
     0},
    {"SS NC Output #2 usage [0 or 1]", FieldWidth::U8, offsetof(S, SsNcOutput2Usage), CellForm::Int,
     0},
    {"SS Alarm Input usage [0 or 1]", FieldWidth::U8, offsetof(S, SsAlarmInputUsage), CellForm::Int,
     0},
    {"Battery #1 Fault Temperature, \u00B0C", FieldWidth::S8, offsetof(S, FaultTemp1),
     CellForm::Int, 50},
    {"Battery #2 Fault Temperature, \u00B0C", FieldWidth::S8, offsetof(S, FaultTemp2),
     CellForm::Int, 50},
    {"Battery #3 Fault Temperature, \u00B0C", FieldWidth::S8, offsetof(S, FaultTemp3),
     CellForm::Int, 50},
    {"Battery Fault Discharge Current, A", FieldWidth::S32, offsetof(S, FaultDischargeCurrent),
     CellForm::Int, 250},
    {"Battery Fault Voltage, V", FieldWidth::F64, offsetof(S, FaultVoltage), CellForm::Fixed2, 16.0,
     true},
    {"Battery Warning SOC, %", FieldWidth::U8, offsetof(S, WarningSoc), CellForm::Int, 20},
};

constexpr RangeCheck Checks[] = {
    {FieldWidth::U8, offsetof(S, DeviceId), 1, 10, 2},
    {FieldWidth::U8, offsetof(S, Version), 1, 100, 5},
    {FieldWidth::S32, offsetof(S, BankSize), 1, 9999, 0},
    {FieldWidth::F64, offsetof(S, TempCoefficient), 0.001, 0.1, 0.0},
    {FieldWidth::F64, offsetof(S, FaultVoltage), 12.0, 16.0, 16.0},
    {.Width = FieldWidth::F64,
     .Offset = offsetof(S, WarningVoltage),
     .Min = 12.0,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, FaultVoltage),
     .MaxDelta = -0.1,
     .FallbackFrom = offsetof(S, FaultVoltage),
     .FallbackDelta = -0.1},
    {FieldWidth::F64, offsetof(S, WiringResistance), 0.0, 2.0, 0.0},
    {FieldWidth::U8, offsetof(S, UseSsp), 0, 1, 0},
    {.Width = FieldWidth::F64,
     .Offset = offsetof(S, SspThreshold),
     .Min = 15.0,
     .Max = 18.0,
     .Fallback = 16.0,
     .Clear = offsetof(S, UseSsp)},
    {FieldWidth::U8, offsetof(S, UseSs), 0, 1, 0},
    {FieldWidth::U8, offsetof(S, SsNoOutput1Usage), 0, 1, 0},
    {FieldWidth::U8, offsetof(S, SsNcOutput2Usage), 0, 1, 0},
    {FieldWidth::U8, offsetof(S, SsAlarmInputUsage), 0, 1, 0},
    {.Width = FieldWidth::F64,
     .Offset = offsetof(S, VoltageAt100),
     .Min = 9.0,
     .Max = 0,
     .Fallback = 12.7,
     .MaxFrom = offsetof(S, WarningVoltage)},
    {.Width = FieldWidth::F64,
     .Offset = offsetof(S, VoltageAt80),
     .Min = 9.0,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, VoltageAt100),
     .MaxDelta = -0.1,
     .FallbackFrom = offsetof(S, VoltageAt100),
     .FallbackDelta = -0.2},
    {.Width = FieldWidth::F64,
     .Offset = offsetof(S, VoltageAt20),
     .Min = 9.0,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, VoltageAt80),
     .MaxDelta = -0.1,
     .FallbackFrom = offsetof(S, VoltageAt80),
     .FallbackDelta = -0.5},
    {.Width = FieldWidth::F64,
     .Offset = offsetof(S, VoltageAt0),
     .Min = 9.0,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, VoltageAt20),
     .MaxDelta = -0.1,
     .FallbackFrom = offsetof(S, VoltageAt20),
     .FallbackDelta = -0.2},
    {FieldWidth::S8, offsetof(S, FaultTemp1), 1, 80, 0},
    {.Width = FieldWidth::S8,
     .Offset = offsetof(S, WarningTemp1),
     .Min = 0,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, FaultTemp1),
     .MaxDelta = -1},
    {FieldWidth::S8, offsetof(S, FaultTemp2), 1, 80, 0},
    {.Width = FieldWidth::S8,
     .Offset = offsetof(S, WarningTemp2),
     .Min = 0,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, FaultTemp2),
     .MaxDelta = -1},
    {FieldWidth::S8, offsetof(S, FaultTemp3), 1, 80, 0},
    {.Width = FieldWidth::S8,
     .Offset = offsetof(S, WarningTemp3),
     .Min = 0,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, FaultTemp3),
     .MaxDelta = -1},
    {FieldWidth::S32, offsetof(S, FaultDischargeCurrent), 1, 500, 0},
    {.Width = FieldWidth::S32,
     .Offset = offsetof(S, WarningDischargeCurrent),
     .Min = 0,
     .Max = 0,
     .Fallback = 0,
     .MaxFrom = offsetof(S, FaultDischargeCurrent),
     .MaxDelta = -1},
    {FieldWidth::U8, offsetof(S, WarningSoc), 1, 50, 0},
    {FieldWidth::F64, offsetof(S, BatteryVoltageAdjuster), 0.9, 1.1, 1.0},
    {FieldWidth::F64, offsetof(S, LoadsVoltageAdjuster), 0.9, 1.1, 1.0},
};

double Scale(uint8_t systemVoltage) { return systemVoltage == 24 ? 2.0 : 1.0; }

int8_t WarningTemperature(int8_t fault) { return static_cast<int8_t>(fault > 10 ? fault - 10 : 0); }

}  // namespace

void DecodeBatteryBoxState(const Buffer64& in, const BatteryBoxSettings& settings,
                           BatteryBoxState& out) {
    const uint8_t* b = in.data();
    out.SupplyVoltage = GetSplitDecimal(b + 1);
    out.TempSensorVoltage1 = GetSplitDecimal(b + 3);
    out.TempSensorVoltage2 = GetSplitDecimal(b + 5);
    out.TempSensorVoltage3 = GetSplitDecimal(b + 7);
    out.TrueBatteryVoltage = GetSplitDecimal(b + 9);
    out.MeasuredLoadsVoltage = GetSplitDecimal(b + 11);
    out.MeasuredBatteryVoltage = GetSplitDecimal(b + 13);
    out.Alternator1Current = GetS16(b + 15);
    out.Alternator2Current = GetS16(b + 17);
    out.BatteryCurrent = GetS16(b + 19);
    out.BatteryOcc = b[21] != 0;
    out.SsInput = b[22] != 0;
    out.Temperature1 = static_cast<int8_t>(b[23]);
    out.Temperature2 = static_cast<int8_t>(b[24]);
    out.Temperature3 = static_cast<int8_t>(b[25]);
    out.LoadCurrent = GetS16(b + 26);
    out.VoltageDrop = GetSplitDecimal(b + 28);
    out.ChargeContent = GetSplitDecimal(b + 30) * settings.BankSize;
    out.Soc = b[32];
    out.SystemVoltage = b[33];
    out.SsOutput1 = b[34] != 0;
    out.SsOutput2 = b[35] != 0;
    out.StatusCode = static_cast<uint16_t>(GetU16(b + 36));
}

void EncodeBatteryBoxState(const BatteryBoxState& s, const BatteryBoxSettings& settings,
                           Buffer64& out) {
    out.fill(0);
    uint8_t* b = out.data();
    b[0] = StateMarker;
    PutSplitDecimal(b + 1, s.SupplyVoltage);
    PutSplitDecimal(b + 3, s.TempSensorVoltage1);
    PutSplitDecimal(b + 5, s.TempSensorVoltage2);
    PutSplitDecimal(b + 7, s.TempSensorVoltage3);
    PutSplitDecimal(b + 9, s.TrueBatteryVoltage);
    PutSplitDecimal(b + 11, s.MeasuredLoadsVoltage);
    PutSplitDecimal(b + 13, s.MeasuredBatteryVoltage);
    PutU16(b + 15, s.Alternator1Current);
    PutU16(b + 17, s.Alternator2Current);
    PutU16(b + 19, s.BatteryCurrent);
    b[21] = s.BatteryOcc ? 1 : 0;
    b[22] = s.SsInput ? 1 : 0;
    b[23] = static_cast<uint8_t>(s.Temperature1);
    b[24] = static_cast<uint8_t>(s.Temperature2);
    b[25] = static_cast<uint8_t>(s.Temperature3);
    PutU16(b + 26, s.LoadCurrent);
    PutSplitDecimal(b + 28, s.VoltageDrop);
    // The block carries the charge as a fraction of the bank; without a bank size
    // there is no fraction, and 0 is sent.
    PutSplitDecimal(b + 30, settings.BankSize != 0 ? s.ChargeContent / settings.BankSize : 0.0);
    b[32] = s.Soc;
    b[33] = s.SystemVoltage;
    b[34] = s.SsOutput1 ? 1 : 0;
    b[35] = s.SsOutput2 ? 1 : 0;
    PutU16(b + 36, s.StatusCode);
    b[47] = StateMarker;
}

void DecodeBatteryBoxSettings(const Buffer64& in, BatteryBoxSettings& out) {
    const uint8_t* b = in.data();
    out.Marker = RecordMarker;
    GetIdentity(b, out);
    out.BankSize = GetU16(b + 7);
    out.TempCoefficient = GetThousandths(b + 9);
    out.VoltageAt100 = GetSplitDecimal(b + 11);
    out.VoltageAt80 = GetSplitDecimal(b + 13);
    out.VoltageAt20 = GetSplitDecimal(b + 15);
    out.VoltageAt0 = GetSplitDecimal(b + 17);
    out.WiringResistance = GetThousandths(b + 19);
    out.UseSsp = b[21];
    out.SspThreshold = GetSplitDecimal(b + 22);
    out.UseSs = b[24];
    out.SsNoOutput1Usage = b[25];
    out.SsNcOutput2Usage = b[26];
    out.SsAlarmInputUsage = b[27];
    out.WarningTemp1 = static_cast<int8_t>(b[28]);
    out.FaultTemp1 = static_cast<int8_t>(b[29]);
    out.WarningTemp2 = static_cast<int8_t>(b[30]);
    out.FaultTemp2 = static_cast<int8_t>(b[31]);
    out.WarningTemp3 = static_cast<int8_t>(b[32]);
    out.FaultTemp3 = static_cast<int8_t>(b[33]);
    out.WarningDischargeCurrent = GetS16(b + 34);
    out.FaultDischargeCurrent = GetS16(b + 36);
    out.WarningVoltage = GetSplitDecimal(b + 38);
    out.FaultVoltage = GetSplitDecimal(b + 40);
    out.WarningSoc = b[42];
    out.BatteryVoltageAdjuster = GetThousandths(b + 43);
    out.LoadsVoltageAdjuster = GetThousandths(b + 45);
}

ItemPairs EncodeBatteryBoxSettings(const BatteryBoxSettings& s, Buffer64& out) {
    out.fill(0);
    uint8_t* b = out.data();
    b[0] = SettingsMarker;
    PutIdentity(b, s);
    PutU16(b + 7, s.BankSize);
    PutThousandths(b + 9, s.TempCoefficient);
    PutSplitDecimal(b + 11, s.VoltageAt100);
    PutSplitDecimal(b + 13, s.VoltageAt80);
    PutSplitDecimal(b + 15, s.VoltageAt20);
    PutSplitDecimal(b + 17, s.VoltageAt0);
    PutThousandths(b + 19, s.WiringResistance);
    b[21] = s.UseSsp;
    PutSplitDecimal(b + 22, s.SspThreshold);
    b[24] = s.UseSs;
    b[25] = s.SsNoOutput1Usage;
    b[26] = s.SsNcOutput2Usage;
    b[27] = s.SsAlarmInputUsage;
    b[28] = static_cast<uint8_t>(s.WarningTemp1);
    b[29] = static_cast<uint8_t>(s.FaultTemp1);
    b[30] = static_cast<uint8_t>(s.WarningTemp2);
    b[31] = static_cast<uint8_t>(s.FaultTemp2);
    b[32] = static_cast<uint8_t>(s.WarningTemp3);
    b[33] = static_cast<uint8_t>(s.FaultTemp3);
    PutU16(b + 34, s.WarningDischargeCurrent);
    PutU16(b + 36, s.FaultDischargeCurrent);
    PutSplitDecimal(b + 38, s.WarningVoltage);
    PutSplitDecimal(b + 40, s.FaultVoltage);
    b[42] = s.WarningSoc;
    PutThousandths(b + 43, s.BatteryVoltageAdjuster);
    PutThousandths(b + 45, s.LoadsVoltageAdjuster);
    ItemPairs pairs;
    pairs.reserve(BatteryBoxItemCount + 1);
    for (size_t n = 1; n <= BatteryBoxItemCount; ++n)
        pairs.push_back({static_cast<uint8_t>(n), b[n]});
    pairs.push_back({0, 0xFF});
    return pairs;
}

const std::vector<std::string>& BatteryBoxStateLabels() {
    static const std::vector<std::string> labels = {
        "Battery Voltage, V",
        "Loads Voltage, V",
        "Battery Current, A",
        "Alternator #1 Current, A",
        "Alternator #2 Current, A",
        "Load Current, A",
        "Battery #1 Temperature, \u00B0C",
        "Battery #2 Temperature, \u00B0C",
        "Battery #3 Temperature, \u00B0C",
        "Voltage Drop, V",
        "Battery Charge, A*h",
        "Battery SOC, %",
        "SS Output #1",
        "SS Output #2",
        "SS Input",
    };
    return labels;
}

const std::vector<std::string>& BatteryBoxSettingsLabels() {
    static const std::vector<std::string> labels = SettingsRowLabels(Rows);
    return labels;
}

void BatteryBoxStateLines(const BatteryBoxState& s, const BatteryBoxSettings& settings, char sep,
                          std::vector<std::string>* lines) {
    if (!lines) return;
    long long charge = static_cast<long long>(s.Soc) * settings.BankSize;
    *lines = {
        FormatFixed(s.TrueBatteryVoltage, 2, sep),
        FormatFixed(s.MeasuredLoadsVoltage, 2, sep),
        FormatInt(s.BatteryCurrent),
        FormatInt(s.Alternator1Current),
        FormatInt(s.Alternator2Current),
        FormatInt(s.LoadCurrent),
        FormatTemperature(s.Temperature1, NoSensor),
        FormatTemperature(s.Temperature2, NoSensor),
        FormatTemperature(s.Temperature3, NoSensor),
        FormatFixed(s.VoltageDrop, 2, sep),
        FormatFixed(static_cast<double>(charge) / 100.0, 2, sep),
        FormatInt(s.Soc),
        FormatFlag(s.SsOutput1),
        FormatFlag(s.SsOutput2),
        FormatFlag(s.SsInput),
    };
}

std::vector<std::string> BatteryBoxStatusLines(const BatteryBoxState& s) {
    if (s.StatusCode == 0) return {"Status OK"};
    std::vector<std::string> lines;
    for (int bit = 0; bit < 14; ++bit)
        if (s.StatusCode & (1u << bit)) lines.emplace_back(StatusTexts[bit]);
    return lines;
}

std::vector<std::string> BatteryBoxSettingsTexts(const BatteryBoxSettings& s, uint8_t systemVoltage,
                                                 char sep) {
    std::vector<std::string> texts;
    for (const SettingsRow& r : Rows)
        texts.push_back(SettingsRowText(&s, r, Scale(systemVoltage), sep));
    return texts;
}

void ReadBatteryBoxSettingsTable(BatteryBoxSettings& s, const std::vector<std::string>& cells,
                                 uint8_t systemVoltage, char sep) {
    for (size_t i = 0; i < std::size(Rows); ++i) {
        ReadSettingsRow(&s, Rows[i], i < cells.size() ? &cells[i] : nullptr, Scale(systemVoltage),
                        sep);
        switch (i) {
            case RowFaultTemp1:
                s.WarningTemp1 = WarningTemperature(s.FaultTemp1);
                break;
            case RowFaultTemp2:
                s.WarningTemp2 = WarningTemperature(s.FaultTemp2);
                break;
            case RowFaultTemp3:
                s.WarningTemp3 = WarningTemperature(s.FaultTemp3);
                break;
            case RowFaultCurrent:
                s.WarningDischargeCurrent =
                    s.FaultDischargeCurrent >= 100
                        ? static_cast<int32_t>((9LL * s.FaultDischargeCurrent + 4) / 10)
                        : 0;
                break;
            case RowFaultVoltage:
                s.WarningVoltage = s.FaultVoltage > 1.0 ? s.FaultVoltage - 1.0 : 0.0;
                break;
            default:
                break;
        }
    }
    s.Marker = RecordMarker;
    RunRangeChecks(&s, Checks, std::size(Checks));
}

std::vector<std::string> BatteryBoxSettingsRanges(uint8_t systemVoltage, char sep) {
    return SettingsRangeTexts(Rows, Checks, Scale(systemVoltage), sep);
}

}  // namespace korvan

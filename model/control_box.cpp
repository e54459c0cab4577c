#include "model/control_box.h"

#include <cstddef>
#include <cstring>

#include "model/text.h"

namespace korvan {

static_assert(sizeof(ChargeProfile) == 48);
static_assert(sizeof(ControlBoxSettings) == 512);
static_assert(offsetof(ControlBoxSettings, WifiMode) == 6);
static_assert(offsetof(ControlBoxSettings, WifiSsid) == 7);
static_assert(offsetof(ControlBoxSettings, WifiPassword) == 23);
static_assert(offsetof(ControlBoxSettings, UseBluetooth) == 39);
static_assert(offsetof(ControlBoxSettings, UseNmea2000) == 40);
static_assert(offsetof(ControlBoxSettings, Profiles) == 48);
static_assert(offsetof(ControlBoxSettings, ProfileIndex) == 432);
static_assert(offsetof(ControlBoxSettings, BatteryChargeCurrentLimit) == 436);
static_assert(offsetof(ControlBoxSettings, WarmupDuration) == 440);
static_assert(offsetof(ControlBoxSettings, MandatoryBulkDuration) == 444);
static_assert(offsetof(ControlBoxSettings, MaxWiringVoltageDrop) == 448);
static_assert(offsetof(ControlBoxSettings, RefreshRate) == 456);
static_assert(offsetof(ControlBoxSettings, Alt1CurrentLimit) == 464);
static_assert(offsetof(ControlBoxSettings, Alt1ClimbCoefficient) == 468);
static_assert(offsetof(ControlBoxSettings, Alt1CollapseCoefficient) == 472);
static_assert(offsetof(ControlBoxSettings, Alt1ToleranceBand) == 480);
static_assert(offsetof(ControlBoxSettings, Alt2CurrentLimit) == 488);
static_assert(offsetof(ControlBoxSettings, Alt2ClimbCoefficient) == 492);
static_assert(offsetof(ControlBoxSettings, Alt2CollapseCoefficient) == 496);
static_assert(offsetof(ControlBoxSettings, Alt2ToleranceBand) == 504);

namespace {

using S = ControlBoxSettings;

constexpr const char* StatusTexts[15] = {
    "- System Control Module internal hardware fault",
    "- Field Box #1 connected",
    "- Field Box #2 connected",
    "- Battery Box connected",
    "- NMEA 2000 connected",
    "- Wi-Fi connection active in Station Mode",
    "- Wi-Fi connection active in Access Point Mode",
    "- Field Box #1 is Slave",
    "- Field Box #2 is Slave",
    "- System Warning fault present",
    "- System Critical fault present",
    "- Control Box Settings fault present",
    "- System Overvoltage",
    "- Losses in wiring are too large",
    "- BlueTooth connection active",
};

constexpr const char* StageNames[ChargingStageCount] = {"Monitoring", "Warm-up", "Mandatory Bulk",
                                                        "Bulk & Absorb", "Float"};

constexpr uint16_t Alt1Slave = 0x0080;
constexpr uint16_t Alt2Slave = 0x0100;

// Rows 1, 2 (Wi-Fi texts) and 6, 7 (profile voltages) are handled apart; the
// other rows are plain fields of the record.
enum Row : size_t {
    RowSsid = 1,
    RowPassword = ControlBoxPasswordRow,
    RowProfile = 5,
    RowBulk = 6,
    RowFloat = 7
};

const SettingsRow Rows[13] = {
    {"Access Point", FieldWidth::U8, offsetof(S, WifiMode), CellForm::Int, 0},
    {"Wi-Fi User Name", FieldWidth::U8, 0, CellForm::Int, 0},
    {"Wi-Fi Password", FieldWidth::U8, 0, CellForm::Int, 0},
    {"Use Bluetooth", FieldWidth::U8, offsetof(S, UseBluetooth), CellForm::Int, 0},
    {"Use NMEA-2000", FieldWidth::U8, offsetof(S, UseNmea2000), CellForm::Int, 0},
    {"Charging Profile", FieldWidth::U8, offsetof(S, ProfileIndex), CellForm::Int, 0},
    {"Bulk Target Voltage, V", FieldWidth::F64, 0, CellForm::Fixed2, 0},
    {"Float Target Voltage, V", FieldWidth::F64, 0, CellForm::Fixed2, 0},
    {"Alternator #1 Current Limit, A", FieldWidth::S32, offsetof(S, Alt1CurrentLimit),
     CellForm::Int, 0},
    {"Alternator #2 Current Limit, A", FieldWidth::S32, offsetof(S, Alt2CurrentLimit),
     CellForm::Int, 0},
    {"Battery Charge Current Limit, A", FieldWidth::S32, offsetof(S, BatteryChargeCurrentLimit),
     CellForm::Int, 0},
    {"Warm-up Duration, sec", FieldWidth::S32, offsetof(S, WarmupDuration), CellForm::Int, 20},
    {"Maximum Allowed Wiring Voltage Drop, V", FieldWidth::F64, offsetof(S, MaxWiringVoltageDrop),
     CellForm::Fixed2, 1.0},
};

constexpr RangeCheck GeneralChecks[] = {
    {FieldWidth::U8, offsetof(S, DeviceId), 1, 10, 3},
    {FieldWidth::U8, offsetof(S, Version), 1, 100, 4},
    {FieldWidth::U8, offsetof(S, WifiMode), 0, 2, 0},
    {FieldWidth::U8, offsetof(S, UseBluetooth), 0, 1, 0},
    {FieldWidth::U8, offsetof(S, UseNmea2000), 0, 1, 0},
    {FieldWidth::U8, offsetof(S, ProfileIndex), 0, 7, 0},
    {FieldWidth::S32, offsetof(S, BatteryChargeCurrentLimit), 1, 499, 0},
    {FieldWidth::S32, offsetof(S, WarmupDuration), 5, 240, 5},
    {FieldWidth::S32, offsetof(S, MandatoryBulkDuration), 5, 240, 5},
    {FieldWidth::F64, offsetof(S, MaxWiringVoltageDrop), 0.0, 2.0, 0.0},
    {FieldWidth::S32, offsetof(S, RefreshRate), 10, 120, 40},
};

constexpr RangeCheck AlternatorChecks[] = {
    {FieldWidth::S32, offsetof(S, Alt1CurrentLimit), 1, 500, 0},
    {FieldWidth::S32, offsetof(S, Alt1ClimbCoefficient), 1, 50, 5},
    {FieldWidth::S32, offsetof(S, Alt1CollapseCoefficient), 1, 400, 200},
    {FieldWidth::F64, offsetof(S, Alt1ToleranceBand), 0.01, 2.0, 0.05},
    {FieldWidth::S32, offsetof(S, Alt2CurrentLimit), 1, 500, 0},
    {FieldWidth::S32, offsetof(S, Alt2ClimbCoefficient), 1, 50, 5},
    {FieldWidth::S32, offsetof(S, Alt2CollapseCoefficient), 1, 400, 200},
    {FieldWidth::F64, offsetof(S, Alt2ToleranceBand), 0.01, 2.0, 0.05},
};

int Percent(uint16_t raw) {
    return (raw * 100 + FieldControlFullScale / 2) / FieldControlFullScale;
}

// The 16 stored characters up to the first zero byte; the bytes are the code page's.
std::string StoredText(const char (&chars)[16]) {
    size_t n = 0;
    while (n < 16 && chars[n] != 0) ++n;
    return Cp1252ToUtf8(std::string_view(chars, n));
}

// Letters and digits stay, every other character becomes a blank; the text is
// padded with blanks to 16 characters and cut there. No terminator is stored.
void FilterText(const std::string* cell, char (&chars)[16]) {
    std::string_view s = cell ? std::string_view(*cell) : std::string_view();
    size_t i = 0;
    for (char& out : chars) {
        out = ' ';
        if (i >= s.size()) continue;
        char32_t c = DecodeUtf8(s, i);
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (keep) out = static_cast<char>(c);
    }
}

const std::string* Cell(const std::vector<std::string>& cells, size_t i) {
    return i < cells.size() ? &cells[i] : nullptr;
}

}  // namespace

void DecodeControlBoxState(const Buffer64& in, ControlBoxState& out) {
    const uint8_t* b = in.data();
    out.BatteryVoltage = GetSplitDecimal(b + 1);
    out.SlaveFieldControl = static_cast<uint16_t>(GetU16(b + 3));
    out.FieldControlLimit = static_cast<uint16_t>(GetU16(b + 5));
    out.FrsValue = b[7];
    out.ConnectedModules = static_cast<uint16_t>(GetU16(b + 8));
    out.ChargingStage = b[10];
    out.Alt1SetPoint = GetSplitDecimal(b + 11);
    out.Alt1VoltageDrop = GetSplitDecimal(b + 13);
    out.Alt1DigitalFieldControl = static_cast<uint16_t>(GetU16(b + 15));
    out.Alt1LowerFieldLimit = static_cast<uint16_t>(GetU16(b + 17));
    out.Alt1UpperFieldLimit = static_cast<uint16_t>(GetU16(b + 19));
    out.Alt2SetPoint = GetSplitDecimal(b + 21);
    out.Alt2VoltageDrop = GetSplitDecimal(b + 23);
    out.Alt2DigitalFieldControl = static_cast<uint16_t>(GetU16(b + 25));
    out.Alt2LowerFieldLimit = static_cast<uint16_t>(GetU16(b + 27));
    out.Alt2UpperFieldLimit = static_cast<uint16_t>(GetU16(b + 29));
    out.ReferenceVoltage = GetSplitDecimal(b + 31);
    out.InternalSupplyVoltage = GetSplitDecimal(b + 33);
    out.Alt1Current = GetS16(b + 35);
    out.Alt2Current = GetS16(b + 37);
    out.BatteryCurrent = GetS16(b + 39);
}

void EncodeControlBoxState(const ControlBoxState& s, Buffer64& out) {
    out.fill(0);
    uint8_t* b = out.data();
    b[0] = StateMarker;
    PutSplitDecimal(b + 1, s.BatteryVoltage);
    PutU16(b + 3, s.SlaveFieldControl);
    PutU16(b + 5, s.FieldControlLimit);
    b[7] = s.FrsValue;
    PutU16(b + 8, s.ConnectedModules);
    b[10] = s.ChargingStage;
    PutSplitDecimal(b + 11, s.Alt1SetPoint);
    PutSplitDecimal(b + 13, s.Alt1VoltageDrop);
    PutU16(b + 15, s.Alt1DigitalFieldControl);
    PutU16(b + 17, s.Alt1LowerFieldLimit);
    PutU16(b + 19, s.Alt1UpperFieldLimit);
    PutSplitDecimal(b + 21, s.Alt2SetPoint);
    PutSplitDecimal(b + 23, s.Alt2VoltageDrop);
    PutU16(b + 25, s.Alt2DigitalFieldControl);
    PutU16(b + 27, s.Alt2LowerFieldLimit);
    PutU16(b + 29, s.Alt2UpperFieldLimit);
    PutSplitDecimal(b + 31, s.ReferenceVoltage);
    PutSplitDecimal(b + 33, s.InternalSupplyVoltage);
    PutU16(b + 35, s.Alt1Current);
    PutU16(b + 37, s.Alt2Current);
    PutU16(b + 39, s.BatteryCurrent);
    b[41] = StateMarker;
}

void DecodeControlBoxSettings(const Buffer64& in, ControlBoxSettings& out) {
    const uint8_t* b = in.data();
    GetIdentity(b, out);
    out.ProfileIndex = b[7];
    out.Alt1CurrentLimit = GetU16(b + 8);
    out.Alt2CurrentLimit = GetU16(b + 10);
    out.BatteryChargeCurrentLimit = GetU16(b + 12);
    out.WifiMode = b[14];
    out.UseBluetooth = b[15];
    out.UseNmea2000 = b[16];
    std::memcpy(out.WifiSsid, b + 17, 16);
    std::memcpy(out.WifiPassword, b + 33, 16);
    out.RefreshRate = b[49];
    out.Alt1ClimbCoefficient = b[50];
    out.Alt1CollapseCoefficient = b[51];
    out.Alt1ToleranceBand = GetSplitDecimal(b + 52);
    out.Alt2ClimbCoefficient = b[54];
    out.Alt2CollapseCoefficient = b[55];
    out.Alt2ToleranceBand = GetSplitDecimal(b + 56);
    out.WarmupDuration = b[58];
    out.MandatoryBulkDuration = b[59];
    out.MaxWiringVoltageDrop = GetSplitDecimal(b + 60);
}

void EncodeControlBoxSettings(const ControlBoxSettings& s, Buffer64& out) {
    out.fill(0);
    uint8_t* b = out.data();
    b[0] = SettingsMarker;
    PutIdentity(b, s);
    b[7] = s.ProfileIndex;
    PutU16(b + 8, s.Alt1CurrentLimit);
    PutU16(b + 10, s.Alt2CurrentLimit);
    PutU16(b + 12, s.BatteryChargeCurrentLimit);
    b[14] = s.WifiMode;
    b[15] = s.UseBluetooth;
    b[16] = s.UseNmea2000;
    std::memcpy(b + 17, s.WifiSsid, 16);
    std::memcpy(b + 33, s.WifiPassword, 16);
    b[49] = static_cast<uint8_t>(s.RefreshRate);
    b[50] = static_cast<uint8_t>(s.Alt1ClimbCoefficient);
    b[51] = static_cast<uint8_t>(s.Alt1CollapseCoefficient);
    PutSplitDecimal(b + 52, s.Alt1ToleranceBand);
    b[54] = static_cast<uint8_t>(s.Alt2ClimbCoefficient);
    b[55] = static_cast<uint8_t>(s.Alt2CollapseCoefficient);
    PutSplitDecimal(b + 56, s.Alt2ToleranceBand);
    b[58] = static_cast<uint8_t>(s.WarmupDuration);
    b[59] = static_cast<uint8_t>(s.MandatoryBulkDuration);
    PutSplitDecimal(b + 60, s.MaxWiringVoltageDrop);
    b[62] = SettingsMarker;
}

const std::vector<std::string>& ControlBoxStateLabels() {
    static const std::vector<std::string> labels = {
        "Charging Stage",
        "Field Reduction Switch Value, %",
        "System Field Control Limit, %",
        "Alt #1 Status",
        "Alt #1 SetPoint, V",
        "Alt #1 Digital Field Control, %",
        "Alt #1 Voltage Drop, V",
        "Alt #2 Status",
        "Alt #2 SetPoint, V",
        "Alt #2 Digital Field Control, %",
        "Alt #2 Voltage Drop, V",
    };
    return labels;
}

const std::vector<std::string>& ControlBoxSettingsLabels() {
    static const std::vector<std::string> labels = SettingsRowLabels(Rows);
    return labels;
}

std::string ChargingStageName(uint8_t stage) {
    if (stage < ChargingStageCount) return StageNames[stage];
    // No name for this code: one cell still, so the rows below keep their labels.
    return "Unknown (" + FormatInt(stage) + ")";
}

void ControlBoxStateLines(const ControlBoxState& s, char sep, std::vector<std::string>* lines) {
    if (!lines) return;
    auto status = [&](uint16_t bit) {
        return std::string((s.ConnectedModules & bit) ? "Slave" : "Stand-alone");
    };
    *lines = {
        ChargingStageName(s.ChargingStage),      FormatInt(s.FrsValue * 10),
        FormatInt(Percent(s.FieldControlLimit)), status(Alt1Slave),
        FormatFixed(s.Alt1SetPoint, 2, sep),     FormatInt(Percent(s.Alt1DigitalFieldControl)),
        FormatFixed(s.Alt1VoltageDrop, 2, sep),  status(Alt2Slave),
        FormatFixed(s.Alt2SetPoint, 2, sep),     FormatInt(Percent(s.Alt2DigitalFieldControl)),
        FormatFixed(s.Alt2VoltageDrop, 2, sep),
    };
}

std::vector<std::string> ControlBoxStatusLines(const ControlBoxState& s) {
    if (s.ConnectedModules == 0) return {"Status OK"};
    std::vector<std::string> lines;
    for (int bit = 0; bit < 15; ++bit)
        if (s.ConnectedModules & (1u << bit)) lines.emplace_back(StatusTexts[bit]);
    return lines;
}

std::vector<std::string> ControlBoxSettingsTexts(const ControlBoxSettings& s, char sep) {
    std::vector<std::string> texts;
    const ChargeProfile* p = SelectedProfile(s);
    for (size_t i = 0; i < std::size(Rows); ++i) {
        switch (i) {
            case RowSsid:
                texts.push_back(StoredText(s.WifiSsid));
                break;
            case RowPassword:
                texts.push_back(StoredText(s.WifiPassword));
                break;
            // An index outside the eight profiles (only a damaged file holds one)
            // selects no profile: its voltages show as "no value".
            case RowBulk:
                texts.push_back(p ? FormatFixed(p->BulkTarget, 2, sep) : EmptyCell);
                break;
            case RowFloat:
                texts.push_back(p ? FormatFixed(p->FloatTarget, 2, sep) : EmptyCell);
                break;
            default:
                texts.push_back(SettingsRowText(&s, Rows[i], 1, sep));
        }
    }
    return texts;
}

void ReadControlBoxSettingsTable(ControlBoxSettings& s, const std::vector<std::string>& cells,
                                 char sep) {
    for (size_t i = 0; i < std::size(Rows); ++i) {
        const std::string* cell = Cell(cells, i);
        switch (i) {
            case RowSsid:
                FilterText(cell, s.WifiSsid);
                break;
            case RowPassword:
                FilterText(cell, s.WifiPassword);
                break;
            case RowBulk:
            case RowFloat: {
                // Rows 6 and 7 go into the profile row 5 selects; with no such profile
                // the texts are dropped, and the index check below resets the index.
                ChargeProfile* p = SelectedProfile(s);
                double v = 0;
                if (p && cell && ParseDecimal(*cell, sep, v))
                    (i == RowBulk ? p->BulkTarget : p->FloatTarget) = v;
                break;
            }
            default:
                ReadSettingsRow(&s, Rows[i], cell, 1, sep);
        }
    }
    ValidateControlBoxSettings(s);
}

void ValidateControlBoxSettings(ControlBoxSettings& s) {
    RunRangeChecks(&s, GeneralChecks, std::size(GeneralChecks));
    for (ChargeProfile& p : s.Profiles) ValidateChargeProfile(p);
    RunRangeChecks(&s, AlternatorChecks, std::size(AlternatorChecks));
}

ChargeProfile* SelectedProfile(ControlBoxSettings& s) {
    return s.ProfileIndex < ChargeProfileCount ? &s.Profiles[s.ProfileIndex] : nullptr;
}

const ChargeProfile* SelectedProfile(const ControlBoxSettings& s) {
    return s.ProfileIndex < ChargeProfileCount ? &s.Profiles[s.ProfileIndex] : nullptr;
}

std::vector<std::string> ControlBoxSettingsRanges(char sep) {
    std::vector<RangeCheck> checks(std::begin(GeneralChecks), std::end(GeneralChecks));
    checks.insert(checks.end(), std::begin(AlternatorChecks), std::end(AlternatorChecks));
    std::vector<std::string> ranges = SettingsRangeTexts(Rows, checks, 1.0, sep);
    // The rows handled apart are no plain fields of the record.
    for (size_t row : {RowSsid, RowPassword, RowBulk, RowFloat}) ranges[row].clear();
    return ranges;
}

}  // namespace korvan

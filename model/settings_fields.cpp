#include "model/settings_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/modules.h"

namespace korvan::settings_fields {

namespace {

constexpr size_t ControlAt = ControlBoxFileOffset;
constexpr size_t BatteryAt = BatteryBoxFileOffset;
constexpr const size_t (&FieldAt)[2] = FieldBoxFileOffsets;

#define CB(field) ControlAt + offsetof(ControlBoxSettings, field), sizeof(ControlBoxSettings::field)
#define BB(field) BatteryAt + offsetof(BatteryBoxSettings, field), sizeof(BatteryBoxSettings::field)

struct Proto {
    const char* Name;  // nullptr: the table row's own label
    size_t Offset;
    size_t Size;
    Width W;
    Print How;
    int Row;
};

const Proto ControlFields[] = {
    {nullptr, CB(WifiMode), Width::U8, Print::TableRow, 0},
    {nullptr, CB(WifiSsid), Width::Chars16, Print::TableRow, 1},
    {nullptr, CB(WifiPassword), Width::Chars16, Print::TableRow, 2},
    {nullptr, CB(UseBluetooth), Width::U8, Print::TableRow, 3},
    {nullptr, CB(UseNmea2000), Width::U8, Print::TableRow, 4},
    {nullptr, CB(ProfileIndex), Width::U8, Print::TableRow, 5},
    // Rows 6 and 7 show the selected profile; its storage is listed with the profiles.
    {nullptr, 0, 0, Width::F64, Print::TableRow, 6},
    {nullptr, 0, 0, Width::F64, Print::TableRow, 7},
    {nullptr, CB(Alt1CurrentLimit), Width::S32, Print::TableRow, 8},
    {nullptr, CB(Alt2CurrentLimit), Width::S32, Print::TableRow, 9},
    {nullptr, CB(BatteryChargeCurrentLimit), Width::S32, Print::TableRow, 10},
    {nullptr, CB(WarmupDuration), Width::S32, Print::TableRow, 11},
    {nullptr, CB(MaxWiringVoltageDrop), Width::F64, Print::TableRow, 12},
    {"Device ID", CB(DeviceId), Width::U8, Print::Int, -1},
    {"Version", CB(Version), Width::U8, Print::Int, -1},
    {"Serial Day", CB(SerialDay), Width::U8, Print::Int, -1},
    {"Serial Month", CB(SerialMonth), Width::U8, Print::Int, -1},
    {"Serial Year", CB(SerialYear), Width::U8, Print::Int, -1},
    {"Serial Number", CB(SerialNumber), Width::U8, Print::Int, -1},
    {"Mandatory Bulk Duration, sec", CB(MandatoryBulkDuration), Width::S32, Print::Int, -1},
    {"Regulation Refresh Rate, Hz", CB(RefreshRate), Width::S32, Print::Int, -1},
    {"Alternator #1 Climb Coefficient, 1/V", CB(Alt1ClimbCoefficient), Width::S32, Print::Int, -1},
    {"Alternator #1 Collapse Coefficient, 1/V", CB(Alt1CollapseCoefficient), Width::S32, Print::Int,
     -1},
    {"Alternator #1 Tolerance Band, V", CB(Alt1ToleranceBand), Width::F64, Print::Fixed2, -1},
    {"Alternator #2 Climb Coefficient, 1/V", CB(Alt2ClimbCoefficient), Width::S32, Print::Int, -1},
    {"Alternator #2 Collapse Coefficient, 1/V", CB(Alt2CollapseCoefficient), Width::S32, Print::Int,
     -1},
    {"Alternator #2 Tolerance Band, V", CB(Alt2ToleranceBand), Width::F64, Print::Fixed2, -1},
};

const Proto BatteryFields[] = {
    {nullptr, BB(BankSize), Width::S32, Print::TableRow, 0},
    {nullptr, BB(TempCoefficient), Width::F64, Print::TableRow, 1},
    {nullptr, BB(VoltageAt100), Width::F64, Print::TableRow, 2},
    {nullptr, BB(VoltageAt80), Width::F64, Print::TableRow, 3},
    {nullptr, BB(VoltageAt20), Width::F64, Print::TableRow, 4},
    {nullptr, BB(VoltageAt0), Width::F64, Print::TableRow, 5},
    {nullptr, BB(WiringResistance), Width::F64, Print::TableRow, 6},
    {nullptr, BB(UseSsp), Width::U8, Print::TableRow, 7},
    {nullptr, BB(SspThreshold), Width::F64, Print::TableRow, 8},
    {nullptr, BB(UseSs), Width::U8, Print::TableRow, 9},
    {nullptr, BB(SsNoOutput1Usage), Width::U8, Print::TableRow, 10},
    {nullptr, BB(SsNcOutput2Usage), Width::U8, Print::TableRow, 11},
    {nullptr, BB(SsAlarmInputUsage), Width::U8, Print::TableRow, 12},
    {nullptr, BB(FaultTemp1), Width::S8, Print::TableRow, 13},
    {nullptr, BB(FaultTemp2), Width::S8, Print::TableRow, 14},
    {nullptr, BB(FaultTemp3), Width::S8, Print::TableRow, 15},
    {nullptr, BB(FaultDischargeCurrent), Width::S32, Print::TableRow, 16},
    {nullptr, BB(FaultVoltage), Width::F64, Print::TableRow, 17},
    {nullptr, BB(WarningSoc), Width::U8, Print::TableRow, 18},
    {"Record Marker", BB(Marker), Width::U8, Print::Hex, -1},
    {"Device ID", BB(DeviceId), Width::U8, Print::Int, -1},
    {"Version", BB(Version), Width::U8, Print::Int, -1},
    {"Serial Day", BB(SerialDay), Width::U8, Print::Int, -1},
    {"Serial Month", BB(SerialMonth), Width::U8, Print::Int, -1},
    {"Serial Year", BB(SerialYear), Width::U8, Print::Int, -1},
    {"Serial Number", BB(SerialNumber), Width::U8, Print::Int, -1},
    {"Battery #1 Warning Temperature, \u00B0C", BB(WarningTemp1), Width::S8, Print::Int, -1},
    {"Battery #2 Warning Temperature, \u00B0C", BB(WarningTemp2), Width::S8, Print::Int, -1},
    {"Battery #3 Warning Temperature, \u00B0C", BB(WarningTemp3), Width::S8, Print::Int, -1},
    {"Battery Warning Discharge Current, A", BB(WarningDischargeCurrent), Width::S32, Print::Int,
     -1},
    {"Battery Warning Voltage, V", BB(WarningVoltage), Width::F64, Print::Fixed2, -1},
    {"Battery Voltage Adjuster", BB(BatteryVoltageAdjuster), Width::F64, Print::Fixed3, -1},
    {"Loads Voltage Adjuster", BB(LoadsVoltageAdjuster), Width::F64, Print::Fixed3, -1},
};

#undef CB
#undef BB
#define FB(field) offsetof(FieldBoxSettings, field), sizeof(FieldBoxSettings::field)

// Offsets inside one field box record; the box's file offset is added when the table is built.
const Proto FieldFields[] = {
    {nullptr, FB(Poles), Width::U8, Print::TableRow, 0},
    {nullptr, FB(PulleyRatio), Width::F64, Print::TableRow, 1},
    {nullptr, FB(TachCompensator), Width::F64, Print::TableRow, 2},
    {nullptr, FB(FaultTemp), Width::S8, Print::TableRow, 3},
    {nullptr, FB(LowRpmLimit), Width::S32, Print::TableRow, 4},
    {nullptr, FB(UseWarningLight), Width::U8, Print::TableRow, 5},
    {"Record Marker", FB(Marker), Width::U8, Print::Hex, -1},
    {"Device ID", FB(DeviceId), Width::U8, Print::Int, -1},
    {"Version", FB(Version), Width::U8, Print::Int, -1},
    {"Serial Day", FB(SerialDay), Width::U8, Print::Int, -1},
    {"Serial Month", FB(SerialMonth), Width::U8, Print::Int, -1},
    {"Serial Year", FB(SerialYear), Width::U8, Print::Int, -1},
    {"Serial Number", FB(SerialNumber), Width::U8, Print::Int, -1},
    {"Alternator Warning Temperature, \u00B0C", FB(WarningTemp), Width::S8, Print::Int, -1},
};

#undef FB

constexpr const char* ProfileValueNames[6] = {
    "Warm-up Target Voltage, V", "Warm-up Limit Voltage, V", "Bulk Target Voltage, V",
    "Bulk Limit Voltage, V",     "Float Target Voltage, V",  "Float Leave Voltage, V",
};

const std::vector<std::string>& Labels(Section s) {
    switch (s) {
        case Section::ControlBox:
            return ControlBoxSettingsLabels();
        case Section::BatteryBox:
            return BatteryBoxSettingsLabels();
        default:
            return FieldBoxSettingsLabels();
    }
}

void Add(std::vector<FieldDesc>& out, Section s, const Proto* protos, size_t n, size_t base) {
    for (size_t i = 0; i < n; ++i) {
        const Proto& p = protos[i];
        std::string name = p.Name ? p.Name : Labels(s).at(static_cast<size_t>(p.Row));
        out.push_back({s, name, p.Size ? base + p.Offset : 0, p.Size, p.W, p.How, p.Row});
    }
}

std::vector<FieldDesc> Build() {
    std::vector<FieldDesc> f;
    Add(f, Section::ControlBox, ControlFields, std::size(ControlFields), 0);
    Add(f, Section::BatteryBox, BatteryFields, std::size(BatteryFields), 0);
    Add(f, Section::FieldBox1, FieldFields, std::size(FieldFields), FieldAt[0]);
    Add(f, Section::FieldBox2, FieldFields, std::size(FieldFields), FieldAt[1]);
    for (size_t i = 0; i < ChargeProfileCount; ++i)
        for (size_t k = 0; k < 6; ++k)
            f.push_back(
                {Section::ChargeProfiles,
                 std::to_string(i) + " - " + ChargeProfileNames()[i] + ": " + ProfileValueNames[k],
                 ControlAt + offsetof(ControlBoxSettings, Profiles) + i * sizeof(ChargeProfile) +
                     k * 8,
                 8, Width::F64, Print::Fixed2});
    return f;
}

double Number(const FieldDesc& f, const uint8_t* p) {
    switch (f.W) {
        case Width::U8:
            return *p;
        case Width::S8:
            return static_cast<int8_t>(*p);
        case Width::S32: {
            int32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        case Width::F64: {
            double v;
            std::memcpy(&v, p, 8);
            return v;
        }
        case Width::Chars16:
            return 0;
    }
    return 0;
}

std::string TableText(const FieldDesc& f, const SystemData& d, char sep) {
    std::vector<std::string> texts;
    switch (f.Sec) {
        case Section::ControlBox:
            texts = ControlBoxSettingsTexts(d.ControlSettings, sep);
            break;
        case Section::BatteryBox:
            texts = BatteryBoxSettingsTexts(d.BatterySettings, 12, sep);
            break;
        case Section::FieldBox1:
            texts = FieldBoxSettingsTexts(d.FieldSettings[0], sep);
            break;
        case Section::FieldBox2:
            texts = FieldBoxSettingsTexts(d.FieldSettings[1], sep);
            break;
        case Section::ChargeProfiles:
            break;
    }
    return static_cast<size_t>(f.Row) < texts.size() ? texts[static_cast<size_t>(f.Row)]
                                                     : EmptyCell;
}

// False when a decimal text rounds the stored value (0.005 shown as 0.01).
bool ShowsStoredValue(const FieldDesc& f, const SettingsFileImage& image, const std::string& text,
                      char sep) {
    if (f.W != Width::F64) return true;
    double shown = 0;
    const double stored = Number(f, image.data() + f.Offset);
    // Arithmetic noise such as 14.62 + 0.2 = 14.819999999999999 still shows as 14.82.
    return ParseDecimal(text, sep, shown) &&
           std::fabs(shown - stored) <= 1e-9 * std::max(1.0, std::fabs(stored));
}

}  // namespace

const char* SectionTitle(Section s) {
    switch (s) {
        case Section::ControlBox:
            return ModuleName(ModuleId::ControlBox);
        case Section::BatteryBox:
            return ModuleName(ModuleId::BatteryBox);
        case Section::FieldBox1:
            return ModuleName(ModuleId::FieldBox1);
        case Section::FieldBox2:
            return ModuleName(ModuleId::FieldBox2);
        case Section::ChargeProfiles:
            return "Charge Profiles";
    }
    return "";
}

const std::vector<FieldDesc>& SettingsFields() {
    static const std::vector<FieldDesc> fields = Build();
    return fields;
}

std::string FieldText(const FieldDesc& f, const SystemData& data, char sep) {
    if (f.How == Print::TableRow) return TableText(f, data, sep);
    const SettingsFileImage image = BuildSettingsFileImage(data);
    const double v = Number(f, image.data() + f.Offset);
    switch (f.How) {
        case Print::Int:
            return FormatInt(static_cast<long long>(v));
        case Print::Fixed2:
            return FormatFixed(v, 2, sep);
        case Print::Fixed3:
            return FormatFixed(v, 3, sep);
        case Print::Hex: {
            char buf[8];
            std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(v));
            return buf;
        }
        case Print::TableRow:
            break;
    }
    return EmptyCell;
}

std::string ExactFieldText(const FieldDesc& f, const SettingsFileImage& image, char sep) {
    const uint8_t* p = image.data() + f.Offset;
    if (f.W == Width::Chars16) {
        std::string s = "\"";
        for (size_t i = 0; i < 16; ++i) {
            if (p[i] >= 0x20 && p[i] < 0x7F && p[i] != '"' && p[i] != '\\') {
                s += static_cast<char>(p[i]);
            } else {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", p[i]);
                s += buf;
            }
        }
        return s + "\"";
    }
    double v = Number(f, p);
    if (f.W != Width::F64) return FormatInt(static_cast<long long>(v));
    char buf[64];
    auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, v);  // shortest text that reads back exactly
    std::string s(buf, ec == std::errc() ? end : buf);
    for (char& c : s)
        if (c == '.') c = sep;
    return s;
}

std::vector<FieldChange> CompareImages(const SettingsFileImage& a, const SettingsFileImage& b,
                                       char sep) {
    SystemData da, db;
    LoadSettingsFileImage(da, std::vector<uint8_t>(a.begin(), a.end()));
    LoadSettingsFileImage(db, std::vector<uint8_t>(b.begin(), b.end()));
    std::vector<FieldChange> changes;
    std::array<bool, SettingsFileSize> described{};
    for (const FieldDesc& f : SettingsFields()) {
        if (f.Size == 0) continue;
        for (size_t i = 0; i < f.Size; ++i) described[f.Offset + i] = true;
        if (std::memcmp(a.data() + f.Offset, b.data() + f.Offset, f.Size) == 0) continue;
        std::string old = FieldText(f, da, sep), now = FieldText(f, db, sep);
        // Blanks and bytes after the end of a Wi-Fi text do not show, and two
        // decimals may hide the difference: then the stored values are printed.
        if (old == now || f.W == Width::Chars16) {
            old = ExactFieldText(f, a, sep);
            now = ExactFieldText(f, b, sep);
        } else {
            if (!ShowsStoredValue(f, a, old, sep)) old = ExactFieldText(f, a, sep);
            if (!ShowsStoredValue(f, b, now, sep)) now = ExactFieldText(f, b, sep);
        }
        changes.push_back({f.Sec, f.Name, old, now});
    }
    for (size_t i = 0; i < SettingsFileSize; ++i) {
        if (described[i] || a[i] == b[i]) continue;
        Section s = i < 512   ? Section::ControlBox
                    : i < 656 ? Section::BatteryBox
                    : i < 704 ? Section::FieldBox1
                              : Section::FieldBox2;
        char name[48], x[8], y[8];
        std::snprintf(name, sizeof name, "Unused byte at file offset %zu", i);
        std::snprintf(x, sizeof x, "0x%02X", a[i]);
        std::snprintf(y, sizeof y, "0x%02X", b[i]);
        changes.push_back({s, name, x, y});
    }
    return changes;
}

}  // namespace korvan::settings_fields

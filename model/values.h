// Value encodings inside module blocks and the text forms of values.
// Multi-byte integers in blocks are big-endian; see each module for its fields.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvan {

constexpr uint8_t StateMarker = 0xAA;
constexpr uint8_t SettingsMarker = 0x55;

// The shared 64-byte decode and encode buffers.
using Buffer64 = std::array<uint8_t, 64>;

// (item number, value byte) pairs of the USB item writes; the list ends with (0, 0xFF).
struct ItemPair {
    uint8_t Item;
    uint8_t Value;
    bool operator==(const ItemPair&) const = default;
};
using ItemPairs = std::vector<ItemPair>;

// Split decimal: whole part W and hundredths H, both signed bytes; value W + H / 100.
double GetSplitDecimal(const uint8_t* p);
void PutSplitDecimal(uint8_t* p, double v);
// Thousandths: unsigned 16-bit N, value N / 1000.
double GetThousandths(const uint8_t* p);
void PutThousandths(uint8_t* p, double v);
int32_t GetS16(const uint8_t* p);
int32_t GetU16(const uint8_t* p);
void PutU16(uint8_t* p, int32_t v);  // low 16 bits, big-endian

// What a temperature sensor that is not connected reports.
constexpr int8_t NoTemperatureSensor = -128;

// The decimal separator the tables use for the locale's decimal point (UTF-8):
// that point when it is one ASCII character, else '.', since a cell's separator
// is one byte. The program and korvan-settings both take theirs from here.
char DecimalSeparatorOf(std::string_view localePoint);

// Text forms. `sep` is the decimal separator of the user's locale.
std::string FormatFixed(double v, int decimals, char sep);  // at most six significant digits
std::string FormatInt(long long v);
std::string FormatFlag(bool v);                                 // "True" / "False"
std::string FormatTemperature(int8_t v, const char* sentinel);  // sentinel for NoTemperatureSensor

// Parsing of table cells. False when the text is not a whole decimal integer /
// not a decimal number written with `sep`. Blanks around the number are allowed;
// integers must fit 32 bits signed.
bool ParseInt(std::string_view text, long long& out);
bool ParseDecimal(std::string_view text, char sep, double& out);

// The text of every value cell of a table in its empty form.
inline constexpr const char* EmptyCell = "-";

// ---- The settings-table scheme shared by the modules -------------------------
// A settings record is a fixed-layout struct; its table rows and its checks are
// described as data by the field's offset and width inside the record.

enum class FieldWidth : uint8_t { U8, S8, S32, F64 };
enum class CellForm : uint8_t { Int, Fixed2, Fixed3 };

struct SettingsRow {
    const char* Label;
    FieldWidth Width;
    size_t Offset;
    CellForm Form;
    double Default;
    bool Scale24 = false;  // shown doubled and read halved on a 24 V system
};

// Bytes 1-6 of every settings block: device ID, version and the serial number,
// carried unchanged between block and record.
template <class Settings>
void GetIdentity(const uint8_t* b, Settings& s) {
    s.DeviceId = b[1];
    s.Version = b[2];
    s.SerialDay = b[3];
    s.SerialMonth = b[4];
    s.SerialYear = b[5];
    s.SerialNumber = b[6];
}
template <class Settings>
void PutIdentity(uint8_t* b, const Settings& s) {
    b[1] = s.DeviceId;
    b[2] = s.Version;
    b[3] = s.SerialDay;
    b[4] = s.SerialMonth;
    b[5] = s.SerialYear;
    b[6] = s.SerialNumber;
}

// The label column of a settings table, in row order.
template <size_t N>
std::vector<std::string> SettingsRowLabels(const SettingsRow (&rows)[N]) {
    std::vector<std::string> labels;
    labels.reserve(N);
    for (const SettingsRow& r : rows) labels.emplace_back(r.Label);
    return labels;
}

constexpr size_t NoField = static_cast<size_t>(-1);

// minimum <= value <= maximum, else fallback. Maximum and fallback may be taken
// from another field of the record plus a delta; `Clear` names a field set to 0
// together with the fallback.
struct RangeCheck {
    FieldWidth Width;
    size_t Offset;
    double Min;
    double Max;
    double Fallback;
    size_t MaxFrom = NoField;
    double MaxDelta = 0;
    size_t FallbackFrom = NoField;
    double FallbackDelta = 0;
    size_t Clear = NoField;
};

// Value of a field of a record as a double (integers exactly).
double GetField(const void* record, FieldWidth w, size_t offset);
// Stores at the field's width: integer fields keep the low bits of the value.
void SetField(void* record, FieldWidth w, size_t offset, double v);
void SetFieldInt(void* record, FieldWidth w, size_t offset, long long v);

std::string SettingsRowText(const void* record, const SettingsRow& row, double scale, char sep);
// Parses one cell into the row's field (default when unparsable; decimal rows divided by scale).
void ReadSettingsRow(void* record, const SettingsRow& row, const std::string* cell, double scale,
                     char sep);
void RunRangeChecks(void* record, const RangeCheck* checks, size_t count);

// The allowed range of each row as the user reads it ("1 to 500", "0 or 1"), from
// the checks that bound the row's field; "" for a row no check bounds.
std::vector<std::string> SettingsRangeTexts(std::span<const SettingsRow> rows,
                                            std::span<const RangeCheck> checks, double scale,
                                            char sep);

// A value cell whose text the read-back and checks did not keep.
struct CellCorrection {
    size_t Row;
    std::string Typed;
    std::string Used;
    bool operator==(const CellCorrection&) const = default;
};
// Compares the typed cells with the texts of the records after read-back: a row
// counts when its text does not parse, or parses to a value other than the one used
// (a different rounding of the same value is no correction).
std::vector<CellCorrection> FindCorrections(const std::vector<std::string>& typed,
                                            const std::vector<std::string>& used, char sep);

}  // namespace korvan

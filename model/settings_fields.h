// Every field of a settings file, described once: where it lies in the 752-byte
// image, its width, and how it is printed. korvan-settings' show, diff and check,
// and the window's question before settings from support are written, all walk
// this one table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/settings_file.h"
#include "model/system_data.h"

namespace korvan::settings_fields {

enum class Section { ControlBox, BatteryBox, FieldBox1, FieldBox2, ChargeProfiles };
const char* SectionTitle(Section s);

enum class Width { U8, S8, S32, F64, Chars16 };
// TableRow: the text the module's settings table shows in row `Row`.
enum class Print { TableRow, Int, Fixed2, Fixed3, Hex };

struct FieldDesc {
    Section Sec;
    std::string Name;
    size_t Offset;  // in the file image; Size 0: a view with no storage of its own
    size_t Size;
    Width W;
    Print How;
    int Row = -1;
};

// In show order: per module the table rows, then the fields without a row; the
// charge profiles last.
const std::vector<FieldDesc>& SettingsFields();

// The text the tool shows for a field (12 V scale, decimal separator `sep`).
std::string FieldText(const FieldDesc& f, const SystemData& data, char sep);
// A text that tells apart any two different stored values of the field.
std::string ExactFieldText(const FieldDesc& f, const SettingsFileImage& image, char sep);

// Differences between two images, one per described field whose bytes differ,
// then one per differing byte no field describes.
struct FieldChange {
    Section Sec;
    std::string Name;
    std::string Old;
    std::string New;
};
std::vector<FieldChange> CompareImages(const SettingsFileImage& a, const SettingsFileImage& b,
                                       char sep);

}  // namespace korvan::settings_fields

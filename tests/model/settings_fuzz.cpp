// Settings files and edited table cells come from outside: a file of any bytes,
// and any text typed into a cell, must go through show, read-back, checks and
// encoders without undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/data_log.h"
#include "model/settings_file.h"

using namespace korvan;

namespace {

std::vector<std::string> Cells(const uint8_t*& p, const uint8_t* end, size_t n) {
    std::vector<std::string> cells;
    while (cells.size() < n && p < end) {
        size_t len = *p++ % 24;
        if (static_cast<size_t>(end - p) < len) len = static_cast<size_t>(end - p);
        cells.emplace_back(reinterpret_cast<const char*>(p), len);
        p += len;
    }
    return cells;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SystemData d;
    std::vector<uint8_t> image(data, data + std::min(size, SettingsFileSize));
    image.resize(SettingsFileSize, 0);
    LoadSettingsFileImage(d, image);
    const uint8_t* p = data + std::min(size, SettingsFileSize);
    const uint8_t* end = data + size;
    const char sep = size % 2 ? ',' : '.';

    // The loaded record shown and read back, then typed cells read back.
    ReadControlBoxSettingsTable(d.ControlSettings, ControlBoxSettingsTexts(d.ControlSettings, sep),
                                sep);
    ReadControlBoxSettingsTable(d.ControlSettings, Cells(p, end, 13), sep);
    const uint8_t volts = size % 3 ? 12 : 24;
    ReadBatteryBoxSettingsTable(d.BatterySettings,
                                BatteryBoxSettingsTexts(d.BatterySettings, volts, sep), volts, sep);
    ReadBatteryBoxSettingsTable(d.BatterySettings, Cells(p, end, 19), volts, sep);
    for (FieldBoxSettings& f : d.FieldSettings) {
        ReadFieldBoxSettingsTable(f, FieldBoxSettingsTexts(f, sep), sep);
        ReadFieldBoxSettingsTable(f, Cells(p, end, 6), sep);
    }

    // Blocks from the rest of the input, decoded, shown, logged and encoded again.
    Buffer64 block{};
    for (size_t i = 0; i < block.size() && p + i < end; ++i) block[i] = p[i];
    DecodeControlBoxState(block, d.ControlState);
    DecodeBatteryBoxState(block, d.BatterySettings, d.BatteryState);
    DecodeFieldBoxState(block, d.FieldState[0]);
    DecodeChargeProfiles(block, d.ControlSettings);
    ControlBoxStatusLines(d.ControlState);
    BatteryBoxStatusLines(d.BatteryState);
    FieldBoxStatusLines(d.FieldState[0]);
    DataLogLine(d, sep);
    EncodeControlBoxState(d.ControlState, d.EncodeBuffer);
    EncodeBatteryBoxState(d.BatteryState, d.BatterySettings, d.EncodeBuffer);
    EncodeFieldBoxState(d.FieldState[0], d.EncodeBuffer);
    EncodeControlBoxSettings(d.ControlSettings, d.EncodeBuffer);
    EncodeChargeProfiles(d.ControlSettings, d.EncodeBuffer);
    EncodeBatteryBoxSettings(d.BatterySettings, d.EncodeBuffer);
    EncodeFieldBoxSettings(d.FieldSettings[1], d.EncodeBuffer);
    return 0;
}

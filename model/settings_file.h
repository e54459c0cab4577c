// The settings file: 752 bytes, the four settings records one after the other in
// their memory layouts, no header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/system_data.h"

namespace korvan {

constexpr size_t SettingsFileSize = 752;
// Where each record starts in the file.
constexpr size_t ControlBoxFileOffset = 0;
constexpr size_t BatteryBoxFileOffset = 512;
constexpr size_t FieldBoxFileOffsets[2] = {656, 704};
using SettingsFileImage = std::array<uint8_t, SettingsFileSize>;

SettingsFileImage BuildSettingsFileImage(const SystemData& data);
// False (records untouched) when fewer than 752 bytes are given; bytes after 751 are ignored.
bool LoadSettingsFileImage(SystemData& data, const std::vector<uint8_t>& bytes);

// On failure `error` holds the message for the user:
// Cannot create file "<path>". <reason>   /   Cannot open file "<path>". <reason>
// / Stream read error (file shorter than 752 bytes; the records stay as they were).
bool SaveSettingsFile(const std::string& path, const SystemData& data, std::string& error);
bool LoadSettingsFile(const std::string& path, SystemData& data, std::string& error);

}  // namespace korvan

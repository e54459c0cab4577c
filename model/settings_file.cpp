#include "model/settings_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <type_traits>

namespace korvan {

static_assert(std::is_trivially_copyable_v<ControlBoxSettings> &&
              std::is_trivially_copyable_v<BatteryBoxSettings> &&
              std::is_trivially_copyable_v<FieldBoxSettings>);

namespace {

constexpr size_t ControlOffset = ControlBoxFileOffset;
constexpr size_t BatteryOffset = BatteryBoxFileOffset;
constexpr size_t Field1Offset = FieldBoxFileOffsets[0];
constexpr size_t Field2Offset = FieldBoxFileOffsets[1];
static_assert(BatteryOffset == ControlOffset + sizeof(ControlBoxSettings));
static_assert(Field1Offset == BatteryOffset + sizeof(BatteryBoxSettings));
static_assert(Field2Offset == Field1Offset + sizeof(FieldBoxSettings));
static_assert(SettingsFileSize == Field2Offset + sizeof(FieldBoxSettings));

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Reason(int err) { return err ? std::strerror(err) : "Input/output error"; }

}  // namespace

SettingsFileImage BuildSettingsFileImage(const SystemData& data) {
    SettingsFileImage image{};
    std::memcpy(image.data() + ControlOffset, &data.ControlSettings, sizeof data.ControlSettings);
    std::memcpy(image.data() + BatteryOffset, &data.BatterySettings, sizeof data.BatterySettings);
    std::memcpy(image.data() + Field1Offset, &data.FieldSettings[0], sizeof data.FieldSettings[0]);
    std::memcpy(image.data() + Field2Offset, &data.FieldSettings[1], sizeof data.FieldSettings[1]);
    return image;
}

bool LoadSettingsFileImage(SystemData& data, const std::vector<uint8_t>& bytes) {
    // A short file would leave a mix of old and new records; take nothing from it.
    if (bytes.size() < SettingsFileSize) return false;
    std::memcpy(&data.ControlSettings, bytes.data() + ControlOffset, sizeof data.ControlSettings);
    std::memcpy(&data.BatterySettings, bytes.data() + BatteryOffset, sizeof data.BatterySettings);
    std::memcpy(&data.FieldSettings[0], bytes.data() + Field1Offset, sizeof data.FieldSettings[0]);
    std::memcpy(&data.FieldSettings[1], bytes.data() + Field2Offset, sizeof data.FieldSettings[1]);
    return true;
}

bool SaveSettingsFile(const std::string& path, const SystemData& data, std::string& error) {
    SettingsFileImage image = BuildSettingsFileImage(data);
    errno = 0;
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    if (out) {
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
        out.close();
        if (out) return true;
    }
    error = "Cannot create file \"" + path + "\". " + Reason(errno);
    return false;
}

bool LoadSettingsFile(const std::string& path, SystemData& data, std::string& error) {
    errno = 0;
    std::ifstream in(PathOf(path), std::ios::binary);
    if (!in) {
        error = "Cannot open file \"" + path + "\". " + Reason(errno);
        return false;
    }
    std::vector<uint8_t> bytes(SettingsFileSize);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (!LoadSettingsFileImage(data, bytes)) {
        error = "Stream read error";
        return false;
    }
    return true;
}

}  // namespace korvan

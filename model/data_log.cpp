#include "model/data_log.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "model/text.h"

namespace korvan {

namespace {

void AppendFields(std::string& out, const char* prefix, const std::vector<std::string>& texts) {
    for (const std::string& t : texts) {
        out += prefix;
        out += t;
        out += '\t';
    }
}

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

std::string DataLogHeader() {
    std::string line;
    AppendFields(line, "SCM:", ControlBoxStateLabels());
    AppendFields(line, "BCM:", BatteryBoxStateLabels());
    AppendFields(line, "FCM #1:", FieldBoxStateLabels());
    AppendFields(line, "FCM #2:", FieldBoxStateLabels());
    return Utf8ToCp1252(line) + "\r\n";
}

std::string DataLogLine(const SystemData& data, char sep) {
    std::vector<std::string> texts;
    std::string line;
    ControlBoxStateLines(data.ControlState, sep, &texts);
    AppendFields(line, "", texts);
    BatteryBoxStateLines(data.BatteryState, data.BatterySettings, sep, &texts);
    AppendFields(line, "", texts);
    FieldBoxStateLines(data.FieldState[0], sep, &texts);
    AppendFields(line, "", texts);
    FieldBoxStateLines(data.FieldState[1], sep, &texts);
    AppendFields(line, "", texts);
    return Utf8ToCp1252(line) + "\r\n";
}

bool AppendDataLogLine(const std::string& path, const SystemData& data, char sep) {
    const std::filesystem::path p = PathOf(path);
    std::error_code ec;
    if (!std::filesystem::exists(p, ec)) {
        if (ec) return false;
        std::ofstream create(p, std::ios::binary);
        create << DataLogHeader();
        create.close();
        if (!create) return false;
    }
    std::uintmax_t size = std::filesystem::file_size(p, ec);
    if (ec || size / 128 >= 0x1FFFFF) return false;
    std::ofstream out(p, std::ios::binary | std::ios::app);
    if (!out) return false;
    out << DataLogLine(data, sep);
    out.flush();
    out.close();
    return static_cast<bool>(out);
}

}  // namespace korvan

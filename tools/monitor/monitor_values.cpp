#include "tools/monitor/monitor_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace korvan {

namespace {

using Data = SystemData;
using Number = std::optional<double>;

Number Celsius(int8_t t) {
    if (t == NoTemperatureSensor) return std::nullopt;
    return t;
}

double FieldPercent(uint16_t raw) { return raw * 100.0 / FieldControlFullScale; }

// The status lines in one text; when they do not all fit in a state, as many whole
// lines as fit and an ellipsis. Bytes are counted, which are never fewer than characters.
std::string JoinStatus(const std::vector<std::string>& lines) {
    static const std::string more = "; \u2026";
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string next =
            (text.empty() ? "" : "; ") + (line.rfind("- ", 0) == 0 ? line.substr(2) : line);
        const bool last = i + 1 == lines.size();
        if (text.size() + next.size() + (last ? 0 : more.size()) > MaxStateLength) {
            text += text.empty() ? more.substr(2) : more;
            break;
        }
        text += next;
    }
    return text;
}

// A stage code without a name is no option of the enumeration: null, "unknown" there.
std::optional<std::string> Stage(uint8_t stage) {
    if (stage >= ChargingStageCount) return std::nullopt;
    return ChargingStageName(stage);
}

constexpr uint16_t Control = 0;
constexpr uint16_t Battery = BatteryBoxConnected;
constexpr uint16_t Field1 = FieldBox1Connected;
constexpr uint16_t Field2 = FieldBox2Connected;

#define NUM(expr) [](const Data& d) -> Number { return expr; }, nullptr
#define TEXT(expr) nullptr, [](const Data& d) -> std::optional<std::string> { return expr; }

const std::vector<PublishedValue> Values = {
    {"charging_stage", "Charging stage", nullptr, "enum", nullptr, -1, Control,
     TEXT(Stage(d.ControlState.ChargingStage))},
    {"field_reduction", "Field reduction switch", "%", nullptr, "measurement", 0, Control,
     NUM(d.ControlState.FrsValue * 10.0)},
    {"field_control_limit", "System field control limit", "%", nullptr, "measurement", 0, Control,
     NUM(FieldPercent(d.ControlState.FieldControlLimit))},
    {"system_status", "System status", nullptr, nullptr, nullptr, -1, Control,
     TEXT(JoinStatus(ControlBoxStatusLines(d.ControlState)))},
    {"alternator_1_set_point", "Alternator 1 set point", "V", "voltage", "measurement", 2, Field1,
     NUM(d.ControlState.Alt1SetPoint)},
    {"alternator_1_field_drive", "Alternator 1 field drive", "%", nullptr, "measurement", 0, Field1,
     NUM(FieldPercent(d.ControlState.Alt1DigitalFieldControl))},
    {"alternator_1_voltage_drop", "Alternator 1 voltage drop", "V", "voltage", "measurement", 2,
     Field1, NUM(d.ControlState.Alt1VoltageDrop)},
    {"alternator_2_set_point", "Alternator 2 set point", "V", "voltage", "measurement", 2, Field2,
     NUM(d.ControlState.Alt2SetPoint)},
    {"alternator_2_field_drive", "Alternator 2 field drive", "%", nullptr, "measurement", 0, Field2,
     NUM(FieldPercent(d.ControlState.Alt2DigitalFieldControl))},
    {"alternator_2_voltage_drop", "Alternator 2 voltage drop", "V", "voltage", "measurement", 2,
     Field2, NUM(d.ControlState.Alt2VoltageDrop)},

    {"battery_voltage", "Battery voltage", "V", "voltage", "measurement", 2, Battery,
     NUM(d.BatteryState.TrueBatteryVoltage)},
    {"loads_voltage", "Loads voltage", "V", "voltage", "measurement", 2, Battery,
     NUM(d.BatteryState.MeasuredLoadsVoltage)},
    {"battery_current", "Battery current", "A", "current", "measurement", 0, Battery,
     NUM(d.BatteryState.BatteryCurrent)},
    {"alternator_1_current", "Alternator 1 current", "A", "current", "measurement", 0, Battery,
     NUM(d.BatteryState.Alternator1Current)},
    {"alternator_2_current", "Alternator 2 current", "A", "current", "measurement", 0, Battery,
     NUM(d.BatteryState.Alternator2Current)},
    {"load_current", "Load current", "A", "current", "measurement", 0, Battery,
     NUM(d.BatteryState.LoadCurrent)},
    {"battery_temperature_1", "Battery 1 temperature", "\u00B0C", "temperature", "measurement", 0,
     Battery, NUM(Celsius(d.BatteryState.Temperature1))},
    {"battery_temperature_2", "Battery 2 temperature", "\u00B0C", "temperature", "measurement", 0,
     Battery, NUM(Celsius(d.BatteryState.Temperature2))},
    {"battery_temperature_3", "Battery 3 temperature", "\u00B0C", "temperature", "measurement", 0,
     Battery, NUM(Celsius(d.BatteryState.Temperature3))},
    {"voltage_drop", "Wiring voltage drop", "V", "voltage", "measurement", 2, Battery,
     NUM(d.BatteryState.VoltageDrop)},
    // As the tool's table shows it: the state of charge of the bank size set.
    {"battery_charge", "Battery charge", "Ah", nullptr, "measurement", 2, Battery,
     NUM(d.BatteryState.Soc* static_cast<double>(d.BatterySettings.BankSize) / 100.0)},
    {"state_of_charge", "Battery state of charge", "%", "battery", "measurement", 0, Battery,
     NUM(d.BatteryState.Soc)},
    {"battery_status", "Battery status", nullptr, nullptr, nullptr, -1, Battery,
     TEXT(JoinStatus(BatteryBoxStatusLines(d.BatteryState)))},

    {"engine_1_rpm", "Engine 1 speed", "rpm", nullptr, "measurement", 0, Field1,
     NUM(d.FieldState[0].EngineRpm)},
    {"alternator_1_temperature", "Alternator 1 temperature", "\u00B0C", "temperature",
     "measurement", 0, Field1, NUM(Celsius(d.FieldState[0].AlternatorTemperature))},
    {"alternator_1_output_voltage", "Alternator 1 B+ voltage", "V", "voltage", "measurement", 2,
     Field1, NUM(d.FieldState[0].BPlusVoltage)},
    {"field_box_1_status", "Field box 1 status", nullptr, nullptr, nullptr, -1, Field1,
     TEXT(JoinStatus(FieldBoxStatusLines(d.FieldState[0])))},
    {"engine_2_rpm", "Engine 2 speed", "rpm", nullptr, "measurement", 0, Field2,
     NUM(d.FieldState[1].EngineRpm)},
    {"alternator_2_temperature", "Alternator 2 temperature", "\u00B0C", "temperature",
     "measurement", 0, Field2, NUM(Celsius(d.FieldState[1].AlternatorTemperature))},
    {"alternator_2_output_voltage", "Alternator 2 B+ voltage", "V", "voltage", "measurement", 2,
     Field2, NUM(d.FieldState[1].BPlusVoltage)},
    {"field_box_2_status", "Field box 2 status", nullptr, nullptr, nullptr, -1, Field2,
     TEXT(JoinStatus(FieldBoxStatusLines(d.FieldState[1])))},
};

#undef NUM
#undef TEXT

bool Present(const PublishedValue& v, const SystemData& data) {
    return v.Needs == 0 || (data.ControlState.ConnectedModules & v.Needs) != 0;
}

std::string ValueJson(const PublishedValue& v, const SystemData& data) {
    if (!Present(v, data)) return "null";
    if (v.Text) {
        const std::optional<std::string> text = v.Text(data);
        return text ? JsonString(*text) : "null";
    }
    const Number n = v.Number(data);
    return n ? JsonNumber(*n, v.Decimals) : "null";
}

std::string Field(const char* key, const std::string& jsonValue) {
    return JsonString(key) + ":" + jsonValue;
}

}  // namespace

const std::vector<PublishedValue>& PublishedValues() { return Values; }

std::string SerialNumberText(const ControlBoxSettings& s) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u%02u%02u-%03u", unsigned{s.SerialYear},
                  unsigned{s.SerialMonth}, unsigned{s.SerialDay}, unsigned{s.SerialNumber});
    return text;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double value, int decimals) {
    if (!std::isfinite(value)) return "null";
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return "null";
    std::string out(text, end);
    // A small negative value rounds to "-0.00", which reads as a sign where there is none.
    if (out[0] == '-' && out.find_first_not_of("0.", 1) == std::string::npos) out.erase(0, 1);
    return out;
}

std::string StateJson(const SystemData& data, long long unixMs) {
    std::string json = "{" + Field("time", std::to_string(unixMs));
    for (const PublishedValue& v : Values) json += "," + Field(v.Key, ValueJson(v, data));
    return json + "}";
}

std::vector<std::pair<std::string, std::string>> DiscoveryConfigs(const MqttTopics& topics,
                                                                  const DeviceIdentity& device) {
    std::vector<std::pair<std::string, std::string>> configs;
    if (topics.DiscoveryPrefix.empty()) return configs;
    std::string serial;
    for (char c : device.SerialNumber) serial += (c == '-') ? '_' : c;
    const std::string node = "korvan_kx4_" + serial;
    std::string deviceBlock = "{" + Field("identifiers", "[" + JsonString(node) + "]") + "," +
                              Field("name", JsonString("KORVAN KX4")) + "," +
                              Field("manufacturer", JsonString("Ardexon")) + "," +
                              Field("model", JsonString("KORVAN KX4")) + "," +
                              Field("serial_number", JsonString(device.SerialNumber));
    if (!device.SoftwareVersion.empty())
        deviceBlock += "," + Field("sw_version", JsonString(device.SoftwareVersion));
    deviceBlock += "}";
    std::string stageOptions;
    for (uint8_t s = 0; s < ChargingStageCount; ++s)
        stageOptions += (s ? "," : "") + JsonString(ChargingStageName(s));
    for (const PublishedValue& v : Values) {
        std::string json =
            "{" + Field("name", JsonString(v.Name)) + "," +
            Field("unique_id", JsonString(node + "_" + v.Key)) + "," +
            Field("object_id", JsonString("korvan_" + std::string(v.Key))) + "," +
            Field("state_topic", JsonString(topics.State())) + "," +
            Field("value_template", JsonString("{{ value_json." + std::string(v.Key) + " }}")) +
            "," + Field("availability_topic", JsonString(topics.Availability())) + "," +
            Field("payload_available", JsonString("online")) + "," +
            Field("payload_not_available", JsonString("offline"));
        if (v.Unit) json += "," + Field("unit_of_measurement", JsonString(v.Unit));
        if (v.DeviceClass) json += "," + Field("device_class", JsonString(v.DeviceClass));
        if (v.StateClass) json += "," + Field("state_class", JsonString(v.StateClass));
        if (v.DeviceClass && std::string_view(v.DeviceClass) == "enum")
            json += "," + Field("options", "[" + stageOptions + "]");
        if (v.Decimals >= 0)
            json += "," + Field("suggested_display_precision", std::to_string(v.Decimals));
        json += "," + Field("device", deviceBlock) + "}";
        configs.emplace_back(topics.DiscoveryPrefix + "/sensor/" + node + "/" + v.Key + "/config",
                             json);
    }
    return configs;
}

}  // namespace korvan

// What korvan-monitor publishes from one complete poll: the table of values with
// their keys, units and Home Assistant classes, the state object, the discovery
// configs, and the JSON spelling they share. No Qt: the records in, text out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/system_data.h"

namespace korvan {

// A value is a number (Decimals >= 0) or a text (Decimals < 0). A value whose module
// is not connected, or whose sensor is missing, is null: never a stale or made-up number.
// A text is at most MaxStateLength characters, as Home Assistant keeps no longer state.
struct PublishedValue {
    const char* Key;  // snake_case; the state object's key and the discovery object id
    const char* Name;
    const char* Unit;         // nullptr: none
    const char* DeviceClass;  // Home Assistant's, nullptr: none
    const char* StateClass;   // nullptr: none
    int Decimals;
    uint16_t Needs;  // the ConnectedModules bit of the module it comes from; 0: the control box
    std::optional<double> (*Number)(const SystemData&);
    std::optional<std::string> (*Text)(const SystemData&);
};

constexpr size_t MaxStateLength = 255;

const std::vector<PublishedValue>& PublishedValues();

// The system as Home Assistant's device block and the default topic name it: the
// control box's serial, "YYMMDD-NNN" from its day, month, year and running number.
std::string SerialNumberText(const ControlBoxSettings& settings);

struct MqttTopics {
    std::string Prefix;           // korvan/<serial number> unless chosen
    std::string DiscoveryPrefix;  // empty: no discovery
    std::string State() const { return Prefix + "/state"; }
    std::string Availability() const { return Prefix + "/availability"; }
    std::string DiscoveryStatus() const { return DiscoveryPrefix + "/status"; }
};

struct DeviceIdentity {
    std::string SerialNumber;
    std::string SoftwareVersion;  // the control box's firmware version
};

// One object with every key of PublishedValues(), plus "time" (Unix milliseconds).
std::string StateJson(const SystemData& data, long long unixMs);
// (topic, payload) of each value's retained discovery config, in table order.
std::vector<std::pair<std::string, std::string>> DiscoveryConfigs(const MqttTopics& topics,
                                                                  const DeviceIdentity& device);

// JSON spelling, independent of the C locale (QCoreApplication sets it from the user's).
std::string JsonString(std::string_view text);
std::string JsonNumber(double value, int decimals);

}  // namespace korvan

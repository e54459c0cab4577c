// korvan-monitor's command line, read without any toolkit so that it is tested plainly.
#pragma once

#include <string>
#include <vector>

namespace korvan {

struct MonitorOptions {
    enum class Action { Run, Help, Version, Error };
    enum class Source { Usb, Serial, Bluetooth };

    Action What = Action::Run;
    std::string ErrorText;  // one line, for Action::Error

    Source From = Source::Usb;
    std::string SerialPort;        // --serial
    std::string BluetoothAddress;  // --bluetooth, 12 upper-case hex digits
    bool Simulate = false;
    std::string HistoryFile;  // --history: the session's history store; none: in memory

    // MQTT: off while MqttHost is empty.
    std::string MqttHost;
    int MqttPort = 1883;  // 8883 with --mqtt-ca, unless given
    std::string MqttUser;
    std::string MqttPasswordFile;
    std::string MqttCaFile;                         // TLS when set
    std::string TopicPrefix;                        // empty: korvan/<serial number>
    std::string DiscoveryPrefix = "homeassistant";  // empty: no discovery

    // Signal K: off while SignalKPort is negative; 0 picks a free port.
    int SignalKPort = -1;
    std::string SignalKListen = "127.0.0.1";
    std::string BatteryId = "house";
    std::vector<std::string> AlternatorIds = {"1", "2"};
    std::vector<std::string> EngineIds = {"port", "starboard"};

    bool Verbose = false;
};

// args without the program name.
MonitorOptions ParseMonitorOptions(const std::vector<std::string>& args);
std::string MonitorHelpText();

// The MQTT files, checked before anything starts: the password read from the first
// line of its file, the CA file readable. "" or one line saying what is wrong;
// `warning` says when others than the file's owner and the program's own group may
// read the password.
std::string ReadMqttFiles(const MonitorOptions& options, std::string& password,
                          std::string& warning);

// "00:1a:7d:da:71:13", "001A7DDA7113" -> "001A7DDA7113"; "" when not an address.
std::string NormalizeBluetoothAddress(const std::string& text);

}  // namespace korvan

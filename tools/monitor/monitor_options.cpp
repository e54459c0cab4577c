#include "tools/monitor/monitor_options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>

namespace korvan {

namespace {

bool ParsePort(const std::string& text, int lowest, int& port) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [last, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || last != end || value < lowest || value > 65535) return false;
    port = value;
    return true;
}

// HOST, HOST:PORT, an IPv6 address alone (more than one colon) or in brackets,
// [ADDRESS]:PORT. `portGiven` says whether PORT was there.
bool ParseBroker(const std::string& text, std::string& host, int& port, bool& portGiven) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return false;
    std::string rest;
    if (text.starts_with("[")) {
        const size_t close = text.find(']');
        if (close == std::string::npos) return false;
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return false;
    } else if (const size_t colon = text.find(':');
               colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        host = text.substr(0, colon);
        rest = text.substr(colon);
    } else {
        host = text;
    }
    portGiven = !rest.empty();
    if (portGiven && !ParsePort(rest.substr(1), 1, port)) return false;
    return !host.empty() && host.find_first_of("[]") == std::string::npos;
}

// Signal K keys ids by [A-Za-z0-9]+; anything else would make every delta invalid.
bool SignalKId(const std::string& id) {
    if (id.empty()) return false;
    for (unsigned char c : id)
        if (!std::isalnum(c)) return false;
    return true;
}

bool SplitIds(const std::string& text, size_t count, std::vector<std::string>& ids) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (parts.size() != count) return false;
    for (const std::string& p : parts)
        if (!SignalKId(p)) return false;
    ids = parts;
    return true;
}

// MQTT topic levels: no wildcards, no empty prefix, nothing a broker refuses.
bool TopicPrefixOk(const std::string& prefix) {
    if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/') return false;
    for (char c : prefix)
        if (c == '+' || c == '#' || c == '\0') return false;
    return true;
}

// A value as the one line of an error shows it: control characters as \xNN.
std::string Printable(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F) {
            shown += static_cast<char>(c);
            continue;
        }
        static const char hex[] = "0123456789abcdef";
        shown += {'\\', 'x', hex[c >> 4], hex[c & 15]};
    }
    return shown;
}

MonitorOptions Only(MonitorOptions::Action action) {
    MonitorOptions only;
    only.What = action;
    return only;
}

MonitorOptions Fail(std::string text) {
    MonitorOptions bad;
    bad.What = MonitorOptions::Action::Error;
    bad.ErrorText = std::move(text);
    return bad;
}

}  // namespace

std::string NormalizeBluetoothAddress(const std::string& text) {
    std::string digits;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ':' || c == '-') {
            if (text.size() != 17 || i % 3 != 2) return {};
            continue;
        }
        if (!std::isxdigit(c)) return {};
        digits.push_back(static_cast<char>(std::toupper(c)));
    }
    return digits.size() == 12 ? digits : std::string();
}

MonitorOptions ParseMonitorOptions(const std::vector<std::string>& args) {
    MonitorOptions o;
    bool sourceGiven = false;
    int sources = 0;
    bool mqttPortGiven = false;
    using Setter = std::function<bool(const std::string&)>;
    const std::map<std::string, std::pair<Setter, const char*>> valued = {
        {"--serial",
         {[&](const std::string& v) {
              o.From = MonitorOptions::Source::Serial;
              o.SerialPort = v;
              ++sources;
              return !v.empty();
          },
          "a serial port such as /dev/rfcomm0"}},
        {"--bluetooth",
         {[&](const std::string& v) {
              o.From = MonitorOptions::Source::Bluetooth;
              o.BluetoothAddress = NormalizeBluetoothAddress(v);
              ++sources;
              return !o.BluetoothAddress.empty();
          },
          "a Bluetooth address such as 00:1A:7D:DA:71:13"}},
        {"--history",
         {[&](const std::string& v) {
              o.HistoryFile = v;
              return !v.empty();
          },
          "a file for the history and the event log"}},
        {"--mqtt",
         {[&](const std::string& v) {
              return ParseBroker(v, o.MqttHost, o.MqttPort, mqttPortGiven);
          },
          "HOST or HOST:PORT"}},
        {"--mqtt-user",
         {[&](const std::string& v) {
              o.MqttUser = v;
              return !v.empty();
          },
          "a user name"}},
        {"--mqtt-password-file",
         {[&](const std::string& v) {
              o.MqttPasswordFile = v;
              return !v.empty();
          },
          "a file holding the password"}},
        {"--mqtt-ca",
         {[&](const std::string& v) {
              o.MqttCaFile = v;
              return !v.empty();
          },
          "a CA certificate file (PEM)"}},
        {"--topic-prefix",
         {[&](const std::string& v) {
              o.TopicPrefix = v;
              return TopicPrefixOk(v);
          },
          "a topic without + or # and without a leading or trailing /"}},
        {"--discovery-prefix",
         {[&](const std::string& v) {
              o.DiscoveryPrefix = v == "none" ? std::string() : v;
              return v == "none" || TopicPrefixOk(v);
          },
          "a topic, or none"}},
        {"--signalk-port",
         {[&](const std::string& v) { return ParsePort(v, 0, o.SignalKPort); },
          "a TCP port number (0 picks a free one)"}},
        {"--signalk-listen",
         {[&](const std::string& v) {
              o.SignalKListen = v;
              return !v.empty();
          },
          "an IPv4 address"}},
        {"--battery-id",
         {[&](const std::string& v) {
              o.BatteryId = v;
              return SignalKId(v);
          },
          "letters and digits"}},
        {"--alternator-ids",
         {[&](const std::string& v) { return SplitIds(v, 2, o.AlternatorIds); },
          "two ids of letters and digits, comma-separated"}},
        {"--engine-ids",
         {[&](const std::string& v) { return SplitIds(v, 2, o.EngineIds); },
          "two ids of letters and digits, comma-separated"}},
    };
    bool signalKPortGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") return Only(MonitorOptions::Action::Help);
        if (name == "--version") return Only(MonitorOptions::Action::Version);
        if (!inlineValue && (name == "--usb" || name == "--simulate" || name == "--verbose")) {
            if (name == "--usb") {
                o.From = MonitorOptions::Source::Usb;
                ++sources;
            }
            if (name == "--simulate") o.Simulate = true;
            if (name == "--verbose") o.Verbose = true;
            continue;
        }
        const auto found = valued.find(name);
        if (found == valued.end())
            return Fail("unknown option " + Printable(args[i]) + " (see --help)");
        if (!inlineValue) {
            if (i + 1 >= args.size()) return Fail(name + " needs " + found->second.second);
            value = args[++i];
        }
        if (!found->second.first(value))
            return Fail(name + ": \"" + Printable(value) + "\" is not " + found->second.second);
        if (name == "--signalk-port") signalKPortGiven = true;
        sourceGiven = sourceGiven || name == "--serial" || name == "--bluetooth";
    }
    if (sources > 1) return Fail("choose one of --usb, --serial and --bluetooth");
    if (o.Simulate && sourceGiven)
        return Fail("--simulate answers on USB; leave out --serial and --bluetooth");
    if (o.MqttHost.empty() && !signalKPortGiven)
        return Fail("nothing to publish: give --mqtt HOST, --signalk-port N or both");
    if (o.MqttHost.empty() &&
        (!o.MqttUser.empty() || !o.MqttPasswordFile.empty() || !o.MqttCaFile.empty()))
        return Fail("--mqtt-user, --mqtt-password-file and --mqtt-ca need --mqtt HOST");
    if (!o.MqttPasswordFile.empty() && o.MqttUser.empty())
        return Fail("--mqtt-password-file needs --mqtt-user");
    if (!o.MqttCaFile.empty() && !mqttPortGiven) o.MqttPort = 8883;
    return o;
}

std::string ReadMqttFiles(const MonitorOptions& options, std::string& password,
                          std::string& warning) {
    struct stat about {};
    // "" when `path` is a file this program may read, else why not.
    auto unreadable = [&about](const std::string& path) -> std::string {
        if (stat(path.c_str(), &about) != 0) return std::strerror(errno);
        if (!S_ISREG(about.st_mode)) return "not a file";
        if (!std::ifstream(path)) return std::strerror(errno);
        return {};
    };
    if (!options.MqttCaFile.empty())
        if (const std::string why = unreadable(options.MqttCaFile); !why.empty())
            return "cannot read the CA file " + options.MqttCaFile + ": " + why;
    if (options.MqttPasswordFile.empty()) return {};
    if (const std::string why = unreadable(options.MqttPasswordFile); !why.empty())
        return "cannot read the password file " + options.MqttPasswordFile + ": " + why;
    std::ifstream file(options.MqttPasswordFile);
    std::getline(file, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if ((about.st_mode & S_IROTH) || ((about.st_mode & S_IRGRP) && about.st_gid != getegid()))
        warning = "the password file " + options.MqttPasswordFile +
                  " may be read by others: give it mode 0640 and the group korvan-monitor "
                  "runs as";
    return {};
}

std::string MonitorHelpText() {
    return R"(Usage: korvan-monitor [OPTIONS]
Polls an Ardexon KORVAN KX4 as the desktop tool does and publishes its values to an
MQTT broker (with Home Assistant discovery) and to a Signal K server. Needs no display.

The system:
  --usb                       the USB link (the default)
  --serial PORT               the Bluetooth link through a bound serial port (/dev/rfcomm0)
  --bluetooth ADDRESS         the Bluetooth link through the RFCOMM port bound to ADDRESS
  --simulate                  the simulated system on the USB link, for trying it out
  --history FILE              keep the history and the event log in FILE across restarts

MQTT:
  --mqtt HOST[:PORT]          the broker (port 1883, or 8883 with --mqtt-ca, unless given);
                              an IPv6 address alone or in brackets: ::1, [::1]:1883
  --mqtt-user USER            log in as USER
  --mqtt-password-file FILE   with the password in FILE (its first line)
  --mqtt-ca FILE              TLS, the broker's certificate checked against FILE
  --topic-prefix TOPIC        state and availability under TOPIC (korvan/<serial number>)
  --discovery-prefix TOPIC    Home Assistant discovery under TOPIC (homeassistant);
                              none switches discovery off

Signal K:
  --signalk-port N            serve Signal K deltas, one JSON object a line, on TCP port N
                              (for a "Signal K" TCP data connection of the server)
  --signalk-listen ADDRESS    the address to listen on (127.0.0.1)
  --battery-id ID             electrical.batteries.ID (house)
  --alternator-ids ID1,ID2    electrical.alternators.ID1 and .ID2 (1,2)
  --engine-ids ID1,ID2        propulsion.ID1 and .ID2 for engines #1 and #2 (port,starboard)

  --verbose                   a line on standard error for each link and broker event
  --help, --version

Exit status: 0 after SIGTERM or SIGINT, 1 when it cannot start, 2 for a bad option.
)";
}

}  // namespace korvan

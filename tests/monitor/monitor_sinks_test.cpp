// The monitor's parts without a broker or a session: its command line, the state
// object, the Signal K deltas and the line server that must never hold a poll up.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <tuple>
#include <utility>

#include "tests/monitor/broker.h"
#include "tools/monitor/line_server.h"
#include "tools/monitor/monitor_options.h"
#include "tools/monitor/monitor_values.h"
#include "tools/monitor/signalk_delta.h"

namespace korvan {
namespace {

using Action = MonitorOptions::Action;
using Args = std::vector<std::string>;

TEST(MonitorOptions, ReadsEveryOptionAndRefusesBadOnesWithOneLine) {
    MonitorOptions o = ParseMonitorOptions({"--mqtt", "broker.local"});
    EXPECT_TRUE(o.What == Action::Run && o.From == MonitorOptions::Source::Usb);
    EXPECT_TRUE(o.MqttPort == 1883 && o.DiscoveryPrefix == "homeassistant" && o.SignalKPort < 0);
    o = ParseMonitorOptions({"--mqtt=10.0.0.2:8883", "--topic-prefix", "boat/kx4",
                             "--discovery-prefix", "none", "--bluetooth", "00:1a:7d:da:71:13",
                             "--signalk-port", "0", "--engine-ids", "main,wing", "--history",
                             "/var/lib/korvan/history.db"});
    EXPECT_EQ(o.What, Action::Run) << o.ErrorText;
    EXPECT_EQ(o.MqttHost + ":" + std::to_string(o.MqttPort), "10.0.0.2:8883");
    EXPECT_EQ(o.TopicPrefix, "boat/kx4");
    EXPECT_TRUE(o.DiscoveryPrefix.empty());
    EXPECT_EQ(o.BluetoothAddress, "001A7DDA7113");
    EXPECT_EQ(o.SignalKPort, 0);
    EXPECT_EQ(o.EngineIds, (Args{"main", "wing"}));
    EXPECT_EQ(o.HistoryFile, "/var/lib/korvan/history.db");
    EXPECT_EQ(ParseMonitorOptions({"--version"}).What, Action::Version);
    // IPv6 brokers alone or in brackets; TLS on 8883 unless a port is given.
    for (const auto& [args, read] : std::vector<std::pair<Args, const char*>>{
             {{"--mqtt", "::1"}, "::1 1883"},
             {{"--mqtt", "[::1]:1884"}, "::1 1884"},
             {{"--mqtt", "[fe80::1%eth0]", "--mqtt-ca", "/ca"}, "fe80::1%eth0 8883"},
             {{"--mqtt", "h:1883", "--mqtt-ca", "/ca"}, "h 1883"}}) {
        o = ParseMonitorOptions(args);
        EXPECT_EQ(o.MqttHost + " " + std::to_string(o.MqttPort), read) << o.ErrorText;
    }

    const std::vector<std::pair<Args, const char*>> bad = {
        {{"--bogus", "--help"}, "unknown option --bogus"},
        {{"--usb"}, "nothing to publish"},
        {{"--mqtt"}, "--mqtt needs"},
        {{"--mqtt", "h:70000"}, "is not HOST or HOST:PORT"},
        {{"--mqtt", "[::1]1883"}, "is not HOST"},
        {{"--mqtt", "broker\n.local"}, "\"broker\\x0a.local\" is not HOST"},
        {{"--mqtt", "h", "--bogus\r"}, "unknown option --bogus\\x0d"},
        {{"--mqtt", "h", "--topic-prefix", "a/#"}, "+ or #"},
        {{"--signalk-port", "1", "--battery-id", "house-1"}, "letters and digits"},
        {{"--signalk-port", "1", "--engine-ids", "port"}, "two ids"},
        {{"--bluetooth", "00:1A:7D", "--mqtt", "h"}, "Bluetooth address"},
        {{"--usb", "--serial", "/dev/x", "--mqtt", "h"}, "choose one"},
        {{"--simulate", "--serial", "/dev/x", "--mqtt", "h"}, "--simulate"},
        {{"--mqtt", "h", "--mqtt-password-file", "/p"}, "needs --mqtt-user"},
        {{"--signalk-port", "1", "--mqtt-user", "u"}, "need --mqtt HOST"},
    };
    for (const auto& [args, part] : bad) {
        o = ParseMonitorOptions(args);
        EXPECT_EQ(o.What, Action::Error) << args[0];
        EXPECT_NE(o.ErrorText.find(part), std::string::npos) << o.ErrorText;
        EXPECT_EQ(o.ErrorText.find('\n'), std::string::npos);
    }
}

TEST(MonitorOptions, MqttFilesAreCheckedBeforeTheStart) {
    const auto dir = std::filesystem::path(testing::TempDir()) / "monitor-mqtt-files";
    std::filesystem::create_directories(dir);
    const std::string own = dir / "own", shared = dir / "shared", none = dir / "none";
    for (const std::string& f : {own, shared}) std::ofstream(f) << "secret\r\nnot this\n";
    using P = std::filesystem::perms;
    std::filesystem::permissions(own, P::owner_read | P::group_read);
    std::filesystem::permissions(shared, P::owner_read | P::others_read);
    // CA file, password file, a part of the error ("": none), a warning
    const std::tuple<std::string, std::string, std::string, bool> rows[] = {
        {own, own, "", false},
        {"", shared, "", true},
        {dir, "", ": not a file", false},
        {own, none, "cannot read the password file", false}};
    for (const auto& [ca, passwordFile, part, warned] : rows) {
        MonitorOptions o;
        o.MqttCaFile = ca;
        o.MqttPasswordFile = passwordFile;
        std::string password, warning;
        const std::string error = ReadMqttFiles(o, password, warning);
        EXPECT_TRUE(part.empty() ? error.empty() : error.find(part) != std::string::npos) << error;
        EXPECT_EQ(!warning.empty(), warned) << passwordFile;
        EXPECT_EQ(password, error.empty() && !passwordFile.empty() ? "secret" : "");
    }
}

SystemData TwoEngines() {
    SystemData d;
    d.ControlState.ConnectedModules = FieldBox1Connected | BatteryBoxConnected;
    d.ControlState.ChargingStage = StageFloat;
    d.ControlState.Alt1DigitalFieldControl = FieldControlFullScale / 4;
    d.BatteryState.TrueBatteryVoltage = 13.456;
    d.BatteryState.Soc = 87;
    d.BatteryState.Temperature1 = 25;
    d.BatteryState.Temperature2 = NoTemperatureSensor;
    d.BatterySettings.BankSize = 400;
    d.FieldState[0].EngineRpm = 1800;
    d.FieldSettings[0].PulleyRatio = 2.5;
    d.FieldState[1].EngineRpm = 900;  // its field box is not connected
    return d;
}

TEST(MonitorValues, StateHasEveryKeyAndNullsWhatIsNotThere) {
    SystemData d = TwoEngines();
    d.BatteryState.StatusCode = 0x0180;  // overvoltage warning and fault: texts with quotes-free
    const QJsonObject state =
        QJsonDocument::fromJson(QByteArray::fromStdString(StateJson(d, 42))).object();
    ASSERT_FALSE(state.isEmpty());
    EXPECT_EQ(state.value("time").toInteger(), 42);
    for (const PublishedValue& v : PublishedValues()) {
        EXPECT_TRUE(state.contains(v.Key)) << v.Key;
    }
    EXPECT_DOUBLE_EQ(state.value("battery_voltage").toDouble(), 13.46);
    EXPECT_DOUBLE_EQ(state.value("battery_charge").toDouble(), 348.0);
    EXPECT_EQ(state.value("charging_stage").toString(), "Float");
    EXPECT_DOUBLE_EQ(state.value("alternator_1_field_drive").toDouble(), 25.0);
    EXPECT_TRUE(state.value("battery_temperature_2").isNull());  // sensor missing
    EXPECT_TRUE(state.value("engine_2_rpm").isNull());           // module not connected
    EXPECT_EQ(state.value("battery_status").toString(),
              "Battery overvoltage warning; Battery overvoltage fault");

    // Home Assistant keeps no state over 255 characters and refuses an enumeration's
    // state that is none of its options (the stage's config comes first).
    d.BatteryState.StatusCode = 0xFFFF;  // more lines than a state holds
    auto now = [&] { return QJsonDocument::fromJson(StateJson(d, 0).c_str()); };
    const std::string text = now()["battery_status"].toString().toStdString();
    EXPECT_TRUE(text.size() <= MaxStateLength && text.ends_with("; \u2026")) << text;
    const auto stages = DiscoveryConfigs({"k", "homeassistant"}, {"250314-041", "7"}).front();
    const QJsonArray options = QJsonDocument::fromJson(stages.second.c_str())["options"].toArray();
    for (int code = 0; code < 256; ++code) {
        d.ControlState.ChargingStage = static_cast<uint8_t>(code);
        EXPECT_TRUE(now()["charging_stage"].isNull() || options.contains(now()["charging_stage"]))
            << code;
    }
}

TEST(MonitorValues, JsonTextSurvivesEveryCharacter) {
    std::string text = "a\"b\\c\nd\te/";
    text += '\x01';
    text += "\xC2\xB0";  // UTF-8 degree sign
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString("[" + JsonString(text) + "]"));
    ASSERT_TRUE(doc.isArray());
    EXPECT_EQ(doc.array().at(0).toString().toStdString(), text);
    EXPECT_EQ(JsonNumber(-0.001, 2), "0.00");
    EXPECT_EQ(JsonNumber(-0.006, 2), "-0.01");
    EXPECT_EQ(JsonNumber(std::nan(""), 2), "null");
}

TEST(SignalKDeltas, SiUnitsAndNotificationsOnlyWhenTheyChange) {
    SignalKIds ids;
    ids.Battery = "start";
    SignalKDeltas deltas(ids);
    SystemData d = TwoEngines();
    auto values = [&](bool all, std::string text = {}) {  // text: another delta than the next
        if (text.empty()) text = deltas.Delta(d, "2026-01-01T00:00:00.000Z", all);
        const QJsonObject delta = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
        QJsonObject byPath;
        for (const QJsonValue& update : delta["updates"].toArray())
            for (const QJsonValue& v : update["values"].toArray())
                byPath[v["path"].toString()] = v["value"];
        return byPath;
    };
    const std::string battery = "electrical.batteries.start.";
    auto note = [&](const QJsonObject& values, const char* name) {
        return values[QString::fromStdString("notifications." + battery + name)]
            .toObject()["state"]
            .toString()
            .toStdString();
    };
    const QJsonObject first = values(false);
    const std::pair<std::string, double> numbers[] = {
        {battery + "voltage", 13.46},
        {battery + "temperature", 298.15},
        {battery + "capacity.stateOfCharge", 0.87},
        {"propulsion.port.revolutions", 30.0},
        {"electrical.alternators.1.revolutions", 75.0},
        {"electrical.alternators.1.fieldDrive", 25.0}};
    for (const auto& [path, value] : numbers)
        EXPECT_DOUBLE_EQ(first[QString::fromStdString(path)].toDouble(), value) << path;
    EXPECT_EQ(first["electrical.alternators.1.chargingMode"].toString(), "float");
    EXPECT_FALSE(first.contains("propulsion.starboard.revolutions"));
    EXPECT_EQ(note(first, "overvoltage"), "normal");

    // Unchanged: no notifications; a warning then a fault: that one alone.
    EXPECT_EQ(note(values(false), "overvoltage"), "");
    d.BatteryState.StatusCode = 0x0080;
    const QJsonObject warned = values(false);
    EXPECT_EQ(note(warned, "overvoltage"), "warn");
    EXPECT_EQ(note(warned, "safetySwitch"), "");
    d.BatteryState.StatusCode = 0x0180;
    EXPECT_EQ(note(values(false), "overvoltage"), "alarm");
    // A new reader, or a link that came back, hears every notification again.
    EXPECT_TRUE(values(true).contains("notifications.electrical.chargingSystem.hardwareFault"));

    // Field box 1 drops off with its temperature warning up: its values go null and the
    // warning back to normal; a sensor that goes missing takes its value back.
    const QString hot = "notifications.electrical.alternators.1.temperature";
    d.FieldState[0].StatusCode = 0x02;
    EXPECT_EQ(values(false)[hot].toObject()["state"].toString(), "warn");
    d.ControlState.ConnectedModules = BatteryBoxConnected;
    d.BatteryState.Temperature1 = NoTemperatureSensor;
    const QJsonObject dropped = values(false);
    for (const auto& [path, value] : numbers)
        EXPECT_EQ(dropped[QString::fromStdString(path)].isNull(),
                  !path.starts_with(battery) || path.ends_with("temperature"))
            << path;
    EXPECT_EQ(dropped[hot].toObject()["state"].toString(), "normal");
    // The link is lost: every value still shown and every raised notification are taken
    // back, once; the next delta repeats every notification.
    const QJsonObject cleared = values(false, deltas.Cleared("2026-01-01T00:00:01.000Z"));
    EXPECT_TRUE(cleared[QString::fromStdString(battery + "voltage")].isNull());
    EXPECT_EQ(note(cleared, "overvoltage"), "normal");
    EXPECT_EQ(deltas.Cleared("2026-01-01T00:00:02.000Z"), "");
    d.ControlState.ConnectedModules = FieldBox1Connected | BatteryBoxConnected;
    EXPECT_TRUE(values(false).contains("notifications.electrical.alternators.1.wiring"));
}

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    for (int waited = 0; !done() && waited < limitMs; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

TEST(LineServer, ReadersGetEveryLineAndOneThatStopsReadingIsDropped) {
    LineServer server;
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    const int reader = test::ConnectLoopback(server.Port());
    const int stuck = test::ConnectLoopback(server.Port());
    ASSERT_GE(reader, 0);
    ASSERT_GE(stuck, 0);
    ASSERT_TRUE(WaitUntil([&] { return server.Clients() == 2; }, 2000));
    server.Send("{\"a\":1}");
    char got[64] = {};
    ASSERT_EQ(recv(reader, got, sizeof got, 0), 8);
    EXPECT_STREQ(got, "{\"a\":1}\n");

    // The reader keeps up, the other never reads: no Send waits, and the stuck one
    // goes once its queue is past the limit (after what the kernel's buffers hold,
    // which may be several times the limit on loopback).
    std::thread draining([&] {
        char buffer[65536];
        while (recv(reader, buffer, sizeof buffer, 0) > 0) {
        }
    });
    const std::string line(64 * 1024, 'x');
    auto longest = std::chrono::steady_clock::duration::zero();
    for (size_t sent = 0; server.Clients() == 2 && sent < 64 * LineServer::QueueLimit;
         sent += line.size()) {
        const auto start = std::chrono::steady_clock::now();
        server.Send(line);
        longest = std::max(longest, std::chrono::steady_clock::now() - start);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_LT(longest, std::chrono::milliseconds(200));
    EXPECT_TRUE(WaitUntil([&] { return server.Clients() == 1; }, 5000));
    server.Stop();
    draining.join();
    close(reader);
    close(stuck);
}

// A reader beyond the bound is closed at once.
TEST(LineServer, ServesAtMostItsBoundAndClosesOneMore) {
    LineServer server;
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    std::vector<int> readers;
    for (size_t i = 0; i <= LineServer::MaxClients; ++i)  // accepted in this order
        readers.push_back(test::ConnectLoopback(server.Port()));
    const timeval limit{2, 0};
    setsockopt(readers.back(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char got[8];
    EXPECT_EQ(recv(readers.back(), got, sizeof got, 0), 0);  // closed, not left waiting
    EXPECT_EQ(server.Clients(), LineServer::MaxClients);
    server.Stop();
    for (int fd : readers) close(fd);
}

}  // namespace
}  // namespace korvan

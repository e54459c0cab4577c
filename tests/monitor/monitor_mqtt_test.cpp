// The monitor on the simulated system against a real mosquitto broker: the retained
// discovery configs and availability, state messages with the simulator's values,
// "offline" after an unplug and after SIGTERM, and a broker that goes away for
// five seconds while the polls go on.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <map>
#include <set>
#include <thread>

#include "tests/monitor/broker.h"
#include "tests/monitor/simulated_session.h"
#include "tests/support/run_process.h"
#include "tools/monitor/monitor.h"

extern char** environ;

namespace korvan {
namespace {

using std::chrono::milliseconds;
using test::Broker;
using test::Received;
using test::Subscriber;

QJsonObject Json(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

size_t Count(const std::vector<Received>& messages, const std::string& topicEnd,
             const std::string& payload = {}) {
    size_t n = 0;
    for (const Received& m : messages)
        if (m.Topic.ends_with(topicEnd) && (payload.empty() || m.Payload == payload)) ++n;
    return n;
}

class MonitorMqtt : public testing::Test {
  protected:
    MonitorMqtt()
        : broker(std::filesystem::path(testing::TempDir()) /
                 ("broker-" + std::to_string(getpid()))),
          // The simulated time stands still, so a state message can be held against it.
          sim(SimConfig{}, [] { return milliseconds(0); }) {
        EXPECT_TRUE(broker.Start());
        options.MqttHost = "127.0.0.1";
        options.MqttPort = broker.Port();
        monitor = std::make_unique<Monitor>(*session, options, "", nullptr);
        QObject::connect(session.get(), &SystemSession::StatePolled,
                         [this] { polls.push_back(std::chrono::steady_clock::now()); });
    }
    ~MonitorMqtt() override { monitor->Stop(500); }

    void StartAndWaitForState() {
        std::string error;
        ASSERT_TRUE(monitor->Start(error)) << error;
        all = std::make_unique<Subscriber>(broker.Port(), "#");
        ASSERT_TRUE(Spin([&] { return Count(all->Messages(), "/state") >= 2; }, 10000));
    }

    Broker broker;
    test::SimulatedSession sim;
    KorvanSimulator& simulator = sim.simulator;
    std::unique_ptr<SystemSession>& session = sim.session;
    MonitorOptions options;
    std::unique_ptr<Monitor> monitor;
    std::unique_ptr<Subscriber> all;
    std::vector<std::chrono::steady_clock::time_point> polls;
};

TEST_F(MonitorMqtt, RetainedDiscoveryPerValueOnlineTheSimulatorsValuesAndAgainOnRequest) {
    StartAndWaitForState();
    const std::string serial = monitor->Identity()->SerialNumber;
    EXPECT_EQ(monitor->Topics().Prefix, "korvan/" + serial);

    // What a Home Assistant that starts now finds on the broker: one retained config
    // per value (the topic's last level is its key), and "online".
    Subscriber late(broker.Port(), "#");
    ASSERT_TRUE(
        Spin([&] { return Count(late.Messages(), "/config") >= PublishedValues().size(); }, 5000));
    Spin([] { return false; }, 300);
    std::set<std::string> keys, uniqueIds, expected;
    for (const PublishedValue& p : PublishedValues()) expected.insert(p.Key);
    // What Home Assistant needs: unit, device class and state class (a text has no unit;
    // a number is a measurement, for long-term statistics).
    const std::map<std::string, std::string> classes = {
        {"battery_voltage", "V voltage measurement"},
        {"battery_temperature_1", "\u00B0C temperature measurement"},
        {"engine_1_rpm", "rpm  measurement"},
        {"charging_stage", " enum "}};
    std::map<std::string, std::string> classesOf;
    for (const Received& m : late.Messages()) {
        if (!m.Topic.ends_with("/config")) continue;
        EXPECT_TRUE(m.Retained) << m.Topic;
        const QJsonObject c = Json(m.Payload);
        const std::string path = m.Topic.substr(0, m.Topic.rfind('/'));
        const std::string key = path.substr(path.rfind('/') + 1);
        keys.insert(key);
        uniqueIds.insert(c["unique_id"].toString().toStdString());
        EXPECT_EQ(c["state_topic"].toString().toStdString(), "korvan/" + serial + "/state");
        EXPECT_EQ(c["value_template"].toString().toStdString(), "{{ value_json." + key + " }}");
        EXPECT_EQ(c["device"].toObject()["serial_number"].toString().toStdString(), serial);
        EXPECT_FALSE(c["device"].toObject()["identifiers"].toArray().isEmpty()) << m.Payload;
        const QJsonObject device = c["device"].toObject();
        EXPECT_EQ(device["manufacturer"].toString() + " " + device["model"].toString(),
                  "Ardexon KORVAN KX4");
        classesOf[key] = (c["unit_of_measurement"].toString() + " " + c["device_class"].toString() +
                          " " + c["state_class"].toString())
                             .toStdString();
    }
    for (const auto& [key, want] : classes) EXPECT_EQ(classesOf[key], want) << key;
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(Count(late.Messages(), "/config"), expected.size());
    EXPECT_EQ(uniqueIds.size(), expected.size());
    EXPECT_EQ(Count(late.Messages(), "/availability"), 1u);
    EXPECT_EQ(Count(late.Messages(), "/availability", "online"), 1u);

    const SimStates now = simulator.States();
    const std::vector<Received> seen = all->Messages();
    const auto last = std::find_if(seen.rbegin(), seen.rend(),
                                   [](const Received& m) { return m.Topic.ends_with("/state"); });
    ASSERT_NE(last, seen.rend());
    const QJsonObject state = Json(last->Payload);
    EXPECT_NEAR(state["battery_voltage"].toDouble(), now.Battery.TrueBatteryVoltage, 0.005);
    EXPECT_EQ(state["state_of_charge"].toInt(), now.Battery.Soc);
    EXPECT_EQ(state["engine_1_rpm"].toInt(), now.Field[0].EngineRpm);

    // Home Assistant announcing itself gets the configs again.
    const int rounds = monitor->Mqtt()->DiscoveryRounds();
    all->Clear();
    MqttSettings settings;
    settings.Host = "127.0.0.1";
    settings.Port = broker.Port();
    MqttPublisher homeAssistant(settings, nullptr);
    ASSERT_TRUE(homeAssistant.Start("ha/availability", "ha/none", {}));
    ASSERT_TRUE(Spin([&] { return homeAssistant.Connected(); }, 5000));
    homeAssistant.Publish("homeassistant/status", "online");
    ASSERT_TRUE(
        Spin([&] { return Count(all->Messages(), "/config") >= PublishedValues().size(); }, 5000));
    EXPECT_EQ(monitor->Mqtt()->DiscoveryRounds(), rounds + 1);
    homeAssistant.Stop(200);
}

TEST_F(MonitorMqtt, AnUnplugSaysOfflineWithinASecondAndNoValuesUntilItIsBack) {
    StartAndWaitForState();
    all->Clear();
    const auto unplugged = std::chrono::steady_clock::now();
    simulator.Faults().UnplugUsb();
    ASSERT_TRUE(
        Spin([&] { return Count(all->Messages(), "/availability", "offline") == 1; }, 3000));
    const std::vector<Received> seen = all->Messages();
    const Received offline = *std::find_if(seen.begin(), seen.end(), [](const Received& m) {
        return m.Topic.ends_with("/availability");
    });
    EXPECT_LT(offline.At - unplugged, milliseconds(1000));
    {
        // What Home Assistant finds when it starts now.
        Subscriber late(broker.Port(), "korvan/+/availability");
        ASSERT_TRUE(Spin([&] { return !late.Messages().empty(); }, 3000));
        EXPECT_EQ(late.Messages()[0].Payload, "offline");
        EXPECT_TRUE(late.Messages()[0].Retained);
    }
    Spin([] { return false; }, 1500);
    for (const Received& m : all->Messages())
        EXPECT_FALSE(m.At > offline.At && m.Topic.ends_with("/state")) << "a state while unplugged";
    all->Clear();
    simulator.Faults().ReplugUsb();
    ASSERT_TRUE(Spin([&] { return Count(all->Messages(), "/state") >= 1; }, 5000));
    EXPECT_EQ(Count(all->Messages(), "/availability", "online"), 1u);
}

class MonitorMqttBrokerBack : public MonitorMqtt, public testing::WithParamInterface<bool> {};

// The broker goes away for five seconds after the first states, or is not there yet
// when the monitor starts (libmosquitto's thread only reconnects a client that was
// connected once): once back, it gets everything again (it keeps nothing across the
// restart), and a poll every 500 ms goes on all the while.
TEST_P(MonitorMqttBrokerBack, GetsEverythingOnceBackAndNoPollIsMissed) {
    const bool atStart = GetParam();
    if (atStart) {
        broker.Stop();
        std::string error;
        ASSERT_TRUE(monitor->Start(error)) << error;
        ASSERT_TRUE(Spin([&] { return monitor->Identity().has_value(); }, 10000));
    } else {
        StartAndWaitForState();
        broker.Stop();
    }
    const size_t pollsBefore = std::max<size_t>(polls.size(), 1);
    Spin([] { return false; }, atStart ? 2000 : 5000);
    ASSERT_TRUE(broker.Start());
    const auto restarted = std::chrono::steady_clock::now();
    Subscriber fresh(broker.Port(), "#");
    ASSERT_TRUE(Spin(
        [&] {
            const auto m = fresh.Messages();
            return Count(m, "/config") >= PublishedValues().size() && Count(m, "/state") >= 1 &&
                   Count(m, "/availability", "online") >= 1;
        },
        10000));
    EXPECT_LT(std::chrono::steady_clock::now() - restarted, std::chrono::seconds(10));
    EXPECT_GE(monitor->Mqtt()->Reconnections(), atStart ? 0 : 1);
    ASSERT_GT(polls.size(), pollsBefore + (atStart ? 3 : 10));
    for (size_t i = pollsBefore; i < polls.size(); ++i)  // none skipped, none held up long
        EXPECT_LT(polls[i] - polls[i - 1], milliseconds(UsbPollPeriodMs) * 3 / 2) << "poll " << i;
}
INSTANTIATE_TEST_SUITE_P(AwayOrAbsentAtStart, MonitorMqttBrokerBack, testing::Bool());

// The program itself: a bad option or MQTT file, and "offline" within a second of SIGTERM.
TEST(MonitorProgram, BadOptionExitsTwoAndSigtermSaysOffline) {
    const auto scratch = std::filesystem::path(testing::TempDir()) / "monitor-program";
    std::filesystem::create_directories(scratch);
    const test::ProcessResult bad = test::RunProcess(KORVAN_MONITOR, {"--mqtt"}, scratch);
    EXPECT_EQ(bad.Status, 2);
    EXPECT_EQ(bad.Err, "korvan-monitor: --mqtt needs HOST or HOST:PORT\n");
    const test::ProcessResult noCa = test::RunProcess(
        KORVAN_MONITOR, {"--simulate", "--mqtt", "127.0.0.1", "--mqtt-ca", scratch / "none.pem"},
        scratch);
    EXPECT_EQ(noCa.Status, 1);  // at once, with why
    EXPECT_NE(noCa.Err.find("cannot read the CA file " + (scratch / "none.pem").string() + ": No"),
              std::string::npos)
        << noCa.Err;

    Broker broker(scratch / "broker");
    ASSERT_TRUE(broker.Start());
    Subscriber availability(broker.Port(), "korvan/+/availability");
    const std::string mqtt = "127.0.0.1:" + std::to_string(broker.Port());
    const char* argv[] = {KORVAN_MONITOR, "--simulate", "--mqtt", mqtt.c_str(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(
        posix_spawn(&pid, KORVAN_MONITOR, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    const bool online =
        Spin([&] { return Count(availability.Messages(), "", "online") >= 1; }, 10000);
    const auto terminated = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    int status = -1;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(online);
    ASSERT_TRUE(Spin([&] { return Count(availability.Messages(), "", "offline") >= 1; }, 2000));
    for (const Received& m : availability.Messages())
        if (m.Payload == "offline") {
            EXPECT_LT(m.At - terminated, milliseconds(1000));
        }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace korvan

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Every delta the monitor serves in a minute on the simulated system (which runs
// a whole charging cycle meanwhile), and deltas of systems with every fault and
// warning, validate against the Signal K schema: each as a delta and the full model
// made from it. KORVAN_SIGNALK_SECONDS sets the time.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <fstream>
#include <thread>

#include "tests/monitor/broker.h"
#include "tests/monitor/simulated_session.h"
#include "tests/support/run_process.h"
#include "tools/monitor/monitor.h"

namespace korvan {
namespace {

TEST(MonitorSignalK, EveryDeltaValidatesAgainstTheSchema) {
    const char* seconds = std::getenv("KORVAN_SIGNALK_SECONDS");
    const int runMs = (seconds ? std::atoi(seconds) : 60) * 1000;
    SimConfig config;
    config.TimeScale = 30;  // engines start, charge, rest and start again in 24 s
    config.EngineRunTime = std::chrono::seconds(600);
    config.EngineRestTime = std::chrono::seconds(120);
    test::SimulatedSession sim(config);
    MonitorOptions options;
    options.SignalKPort = 0;
    options.BatteryId = "house";
    Monitor monitor(*sim.session, options, "", nullptr);
    std::string error;
    ASSERT_TRUE(monitor.Start(error)) << error;
    // Read on a thread of its own, as a Signal K server does.
    const int reader = test::ConnectLoopback(monitor.SignalKPort());
    ASSERT_GE(reader, 0);
    std::string text;
    std::thread reading([&] {
        char buffer[8192];
        for (ssize_t n; (n = recv(reader, buffer, sizeof buffer, 0)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
    });
    Spin([] { return false; }, runMs);
    monitor.Stop();
    shutdown(reader, SHUT_RDWR);
    reading.join();
    close(reader);
    const size_t served = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    EXPECT_GE(served, static_cast<size_t>(runMs / 1000));  // a USB poll every 500 ms

    // Systems the simulator does not show: every warning, every fault, no sensors,
    // a stage code without a name; then the modules dropping off and the link lost,
    // which take values and notifications back.
    SignalKDeltas deltas(SignalKIds{});
    for (uint16_t bits : {uint16_t{0xFFFF}, uint16_t{0x2AAA}, uint16_t{0x1555}}) {
        SystemData d;
        d.ControlState.ConnectedModules = static_cast<uint16_t>(
            bits | FieldBox1Connected | FieldBox2Connected | BatteryBoxConnected);
        d.ControlState.ChargingStage = static_cast<uint8_t>(bits & 7);
        d.BatteryState.StatusCode = bits;
        d.BatteryState.Temperature1 = NoTemperatureSensor;
        d.FieldState[0].StatusCode = static_cast<uint8_t>(bits);
        d.FieldState[1].AlternatorTemperature = NoTemperatureSensor;
        text += deltas.Delta(d, "2026-05-01T12:00:00.000Z", true) + "\n";
    }
    SystemData alone;
    alone.ControlState.ConnectedModules = 0x1000;  // the control box, overvoltage
    text += deltas.Delta(alone, "2026-05-01T12:00:01.000Z", false) + "\n";
    text += deltas.Cleared("2026-05-01T12:00:02.000Z") + "\n";

    const auto scratch = std::filesystem::path(testing::TempDir()) / "monitor-signalk";
    std::filesystem::create_directories(scratch);
    const auto file = scratch / "deltas.jsonl";
    std::ofstream(file, std::ios::binary) << text;
    const test::ProcessResult checked =
        test::RunProcess("/usr/bin/node", {KORVAN_SIGNALK_VALIDATOR, file.string()}, scratch,
                         {std::string("NODE_PATH=") + KORVAN_SIGNALK_NODE_PATH});
    EXPECT_EQ(checked.Status, 0) << checked.Out << checked.Err;
    EXPECT_EQ(checked.Out, "valid " + std::to_string(served + 5) + "\n") << checked.Err;
}

}  // namespace
}  // namespace korvan

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

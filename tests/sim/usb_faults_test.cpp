// The USB transport over the simulated device when the device misbehaves in the
// middle of an exchange, and the fault plan itself: scripts, seeds, counters.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/sequence.h"
#include "link/usb_transport.h"
#include "model/system_data.h"
#include "sim/sim_hid_devices.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using test::ManualClock;

constexpr const char* FoundText =
    "KORVAN KX4 found: VID=Ardexon (simulated) PID=KORVAN KX4 simulator";

// Every text the tables and status lines would show, from whatever was decoded.
size_t ShowEverything(const SystemData& d) {
    std::vector<std::string> lines;
    ControlBoxStateLines(d.ControlState, ',', &lines);
    BatteryBoxStateLines(d.BatteryState, d.BatterySettings, ',', &lines);
    for (const FieldBoxState& f : d.FieldState) FieldBoxStateLines(f, ',', &lines);
    for (const std::vector<std::string>& more :
         {ControlBoxStatusLines(d.ControlState), BatteryBoxStatusLines(d.BatteryState),
          FieldBoxStatusLines(d.FieldState[0]), ControlBoxSettingsTexts(d.ControlSettings, ','),
          BatteryBoxSettingsTexts(d.BatterySettings, 24, ','),
          FieldBoxSettingsTexts(d.FieldSettings[1], ',')})
        lines.insert(lines.end(), more.begin(), more.end());
    return lines.size();
}

class UsbFaults : public ::testing::Test {
  protected:
    UsbFaults() : sim(test::ManualConfig(), clock.Clock()), hid(sim), usb(hid) {}
    void SetUp() override {
        Poll(CmdControlBoxState);  // opens the link on demand
        ASSERT_EQ(usb.UsbStatusText, FoundText);
    }
    bool Poll(uint8_t code) {
        usb.Output = StateRequest(code);
        return usb.UsbExchange();
    }
    // The answer the device gives when nothing goes wrong.
    DeviceReport Clean(uint8_t code) {
        EXPECT_TRUE(Poll(code)) << usb.UsbStatusText;
        return usb.Input;
    }
    void Script(SimFault kind, uint64_t at = 1, uint8_t startCode = 0) {
        sim.Faults().AddScripted({kind, at, startCode});
    }

    ManualClock clock;
    KorvanSimulator sim;
    SimHidDevices hid;
    UsbTransport usb;
    SystemData data;
};

TEST_F(UsbFaults, SpoiledAnswersAreReturnedAsTheyArriveAndDecodeWithoutHarm) {
    const DeviceReport control = Clean(CmdControlBoxState);
    const DeviceReport battery = Clean(CmdBatteryBoxState);

    Script(SimFault::UsbNoAnswer);
    EXPECT_FALSE(Poll(CmdBatteryBoxState));
    EXPECT_EQ(usb.UsbStatusText, "No answer from KORVAN KX4 within 1000 ms");
    EXPECT_EQ(usb.Input, DeviceReport{});
    EXPECT_TRUE(usb.IsOpen());  // no reconnection after a failed read
    EXPECT_EQ(Clean(CmdBatteryBoxState), battery);

    Script(SimFault::UsbShortReport);
    ASSERT_TRUE(Poll(CmdBatteryBoxState));
    const int n = std::stoi(usb.UsbStatusText);
    EXPECT_EQ(usb.UsbStatusText, std::to_string(n) + " bytes received");
    ASSERT_TRUE(n >= 1 && n < 65) << n;
    EXPECT_TRUE(std::equal(usb.Input.begin(), usb.Input.begin() + n - 1, battery.begin()));
    EXPECT_TRUE(
        std::all_of(usb.Input.begin() + n - 1, usb.Input.end(), [](uint8_t b) { return b == 0; }));

    Script(SimFault::UsbRandomBytes);
    ASSERT_TRUE(Poll(CmdControlBoxState));
    EXPECT_EQ(usb.UsbStatusText, "65 bytes received");
    EXPECT_NE(usb.Input, control);
    for (uint8_t code : StatePollCodes()) DecodeStateAnswer(code, usb.Input, data);
    for (uint8_t code : ReadAllSettingsCodes()) DecodeSettingsAnswer(code, usb.Input, data);
    EXPECT_GT(ShowEverything(data), 40u);

    // The control box's answer again where the battery box's was asked for; the
    // next request is answered in step again.
    EXPECT_EQ(Clean(CmdControlBoxState), control);
    Script(SimFault::UsbStaleAnswer);
    ASSERT_TRUE(Poll(CmdBatteryBoxState));
    EXPECT_EQ(usb.Input, control);
    EXPECT_EQ(Clean(CmdBatteryBoxState), battery);

    const SimFaultCounts counts = sim.Faults().Counts();
    EXPECT_EQ(counts.Total(), 4u);
    for (SimFault k : {SimFault::UsbNoAnswer, SimFault::UsbShortReport, SimFault::UsbRandomBytes,
                       SimFault::UsbStaleAnswer})
        EXPECT_EQ(counts[k], 1u) << SimFaultInfoOf(k).Name;
    EXPECT_EQ(counts.UsbExchanges, sim.ReceivedUsbCodes().size());
}

TEST_F(UsbFaults, UnpluggedBetweenRequestAndAnswerComesBackAfterItsTime) {
    sim.ClearRecord();
    Script(SimFault::UsbUnplugBeforeRead);
    EXPECT_FALSE(Poll(CmdControlBoxState));
    EXPECT_EQ(usb.UsbStatusText, "The device is not connected.");
    EXPECT_EQ(usb.Input, DeviceReport{});
    EXPECT_EQ(sim.ReceivedUsbCodes(), std::vector<uint8_t>{CmdControlBoxState});

    const milliseconds away = sim.Faults().Plan().ComesBackAfter;
    EXPECT_FALSE(Poll(CmdControlBoxState));
    EXPECT_EQ(usb.UsbStatusText, "No connection to KORVAN KX4 to close");
    clock.Advance(away - 1ms);
    EXPECT_FALSE(Poll(CmdControlBoxState));
    EXPECT_EQ(usb.UsbStatusText, "No connection to KORVAN KX4 to close");
    clock.Advance(1ms);
    EXPECT_FALSE(Poll(CmdControlBoxState));  // finds and opens it again
    EXPECT_EQ(usb.UsbStatusText, FoundText);
    EXPECT_TRUE(Poll(CmdControlBoxState));
    EXPECT_EQ(usb.Input[0], StateMarker);

    // Pulled by hand it stays out until put back by hand.
    sim.Faults().UnplugUsb();
    clock.Advance(away * 10);
    EXPECT_FALSE(Poll(CmdControlBoxState));
    EXPECT_FALSE(hid.Plugged());
    sim.Faults().ReplugUsb();
    EXPECT_FALSE(Poll(CmdControlBoxState));
    EXPECT_TRUE(Poll(CmdControlBoxState));
    EXPECT_EQ(sim.Faults().Counts()[SimFault::UsbUnplugBeforeRead], 1u);
}

TEST_F(UsbFaults, CableOutInTheMiddleOfTheWriteOfAllSettingsEndsIt) {
    for (uint8_t code : ReadAllSettingsCodes()) {
        DeviceReport r{};
        r[0] = code;
        usb.Output = r;
        ASSERT_TRUE(usb.UsbExchange());
        DecodeSettingsAnswer(code, usb.Input, data);
    }
    const Buffer64 batteryBefore = sim.StoredBlock(SimModule::BatteryBox);
    data.BatterySettings.BankSize = 440;
    // Armed now, counted from the next write of all settings: polls do not count.
    Script(SimFault::UsbUnplugAfterReport, 11, CmdWriteControlBoxSettings);
    ASSERT_TRUE(Poll(CmdControlBoxState));
    sim.ClearRecord();

    RecordingWaiter waiter;
    EXPECT_FALSE(RunUsbSequence(usb, WriteAllSettingsRequests(data), waiter, true, nullptr));
    std::vector<uint8_t> codes{CmdWriteControlBoxSettings, CmdWriteChargeProfiles};
    codes.insert(codes.end(), 9, CmdWriteBatteryBoxItem);
    EXPECT_EQ(sim.ReceivedUsbCodes(), codes);  // the 10th item never went out
    EXPECT_EQ(waiter.Waits.size(), 11u);
    EXPECT_EQ(usb.UsbStatusText, "No connection to KORVAN KX4 to close");
    // Items take effect only with their closing pair: the battery box keeps its settings.
    EXPECT_EQ(sim.StoredBlock(SimModule::BatteryBox), batteryBefore);
}

// One run of polls, half a second apart, under a plan; what the tool saw each time.
std::vector<std::string> PollTrace(const SimFaultPlan& plan, SimFaultCounts* counts) {
    ManualClock clock;
    KorvanSimulator sim(test::ManualConfig(), clock.Clock());
    SimHidDevices hid(sim);
    UsbTransport usb(hid);
    sim.Faults().SetPlan(plan);
    std::vector<std::string> trace;
    SystemData data;
    for (int i = 0; i < 240; ++i) {
        const uint8_t code = StatePollCodes()[static_cast<size_t>(i) % 4];
        usb.Output = StateRequest(code);
        const bool ok = usb.UsbExchange();
        if (ok) DecodeStateAnswer(code, usb.Input, data);
        trace.push_back(std::to_string(ok) + usb.UsbStatusText + std::to_string(usb.Input[5]));
        clock.Advance(500ms);
    }
    ShowEverything(data);
    *counts = sim.Faults().Counts();
    EXPECT_EQ(counts->UsbExchanges, sim.ReceivedUsbCodes().size());
    return trace;
}

TEST(UsbFaultPlan, ASeedGivesTheSameFaultsEveryTimeAndTheCountersSayWhich) {
    SimFaultCounts first, again, other, none;
    const SimFaultPlan plan = SimFaultPlan::Random(0.25, 7);
    const std::vector<std::string> trace = PollTrace(plan, &first);
    EXPECT_EQ(PollTrace(plan, &again), trace);
    EXPECT_EQ(again.Injected, first.Injected);
    EXPECT_NE(PollTrace(SimFaultPlan::Random(0.25, 8), &other), trace);

    for (const SimFaultInfo& info : SimFaultKinds()) {
        if (info.Channel == SimChannel::Usb) {
            EXPECT_GT(first[info.Kind], 0u) << info.Name;
        } else {
            EXPECT_EQ(first[info.Kind], 0u) << info.Name;
        }
    }
    // Roughly the rate asked for, over the exchanges that reached the device.
    EXPECT_NEAR(static_cast<double>(first.Total()) / static_cast<double>(first.UsbExchanges), 0.25,
                0.1);
    EXPECT_NE(
        first.Text().find(" usb-stale-answer=" + std::to_string(first[SimFault::UsbStaleAnswer])),
        std::string::npos);

    // The default plan, and a plan whose kinds are all off, inject nothing.
    SimFaultPlan off = plan;
    off.Enabled.fill(false);
    for (const SimFaultPlan& quiet : {SimFaultPlan{}, off}) {
        const std::vector<std::string> clean = PollTrace(quiet, &none);
        EXPECT_EQ(none.Total(), 0u);
        EXPECT_EQ(std::count_if(clean.begin(), clean.end(),
                                [](const std::string& s) { return s[0] == '0'; }),
                  1);  // only the first poll, which opens the link
    }
}

TEST(UsbFaultPlan, ControlSurfaceChangesThePlanInForce) {
    ManualClock clock;
    KorvanSimulator sim(test::ManualConfig(), clock.Clock());
    SimHidDevices hid(sim);
    UsbTransport usb(hid);
    usb.Output = StateRequest(CmdControlBoxState);
    usb.UsbExchange();
    SimFaults& faults = sim.Faults();
    faults.Enable(SimFault::UsbNoAnswer, true);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(usb.UsbExchange());  // rate still 0
    faults.SetRate(1.0);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(usb.UsbExchange());
    faults.Enable(SimFault::UsbNoAnswer, false);
    EXPECT_TRUE(usb.UsbExchange());
    EXPECT_EQ(faults.Counts()[SimFault::UsbNoAnswer], 5u);
    EXPECT_EQ(faults.Counts().UsbExchanges, 11u);
    faults.ResetCounts();
    EXPECT_EQ(faults.Counts().Total(), 0u);
    EXPECT_EQ(faults.Plan().Rate, 1.0);
}

}  // namespace
}  // namespace korvan

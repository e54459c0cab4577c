// The tool's link against the simulated system: the USB transport through the
// simulated HID device, the Bluetooth transport over the simulator's serial line
// (a pty, or on Windows a named pipe opened by the Win32 serial port).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/bt_transport.h"
#include "link/sequence.h"
#include "link/usb_transport.h"
#include "model/system_data.h"
#ifdef _WIN32
#include "platform/win32_serial_port.h"
#else
#include "platform/posix_serial_port.h"
#endif
#include "sim/sim_bluetooth_discovery.h"
#include "sim/sim_hid_devices.h"
#include "sim/sim_serial_line.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using test::ManualClock;
#ifdef _WIN32
using PlatformSerialPort = Win32SerialPort;
#else
using PlatformSerialPort = PosixSerialPort;
#endif

Buffer64 Encoded(void (*encode)(const ControlBoxSettings&, Buffer64&),
                 const ControlBoxSettings& s) {
    Buffer64 b{};
    encode(s, b);
    return b;
}

class SimUsbLink : public ::testing::Test {
  protected:
    SimUsbLink() : sim(SimConfig{}, clock.Clock()), hid(sim), usb(hid) {
        clock.Advance(150s);  // engines running, the control box past warm-up
    }
    bool Exchange(const DeviceReport& request) {
        usb.Output = request;
        return usb.UsbExchange();
    }
    void ReadAllSettings() {
        for (uint8_t code : ReadAllSettingsCodes()) {
            DeviceReport r{};
            r[0] = code;
            ASSERT_TRUE(Exchange(r)) << usb.UsbStatusText;
            DecodeSettingsAnswer(code, usb.Input, data);
        }
    }
    void ExpectHeldBlocksEqualTheToolsEncoding() {
        EXPECT_EQ(sim.StoredBlock(SimModule::ControlBox),
                  Encoded(EncodeControlBoxSettings, data.ControlSettings));
        EXPECT_EQ(sim.StoredBlock(SimModule::ChargeProfiles),
                  Encoded(EncodeChargeProfiles, data.ControlSettings));
        Buffer64 b{};
        EncodeBatteryBoxSettings(data.BatterySettings, b);
        EXPECT_EQ(sim.StoredBlock(SimModule::BatteryBox), b);
        EncodeFieldBoxSettings(data.FieldSettings[0], b);
        EXPECT_EQ(sim.StoredBlock(SimModule::FieldBox1), b);
        EncodeFieldBoxSettings(data.FieldSettings[1], b);
        EXPECT_EQ(sim.StoredBlock(SimModule::FieldBox2), b);
    }

    ManualClock clock;
    KorvanSimulator sim;
    SimHidDevices hid;
    UsbTransport usb;
    SystemData data;
};

TEST_F(SimUsbLink, StatePollDecodesWhatTheSimulatorReports) {
    EXPECT_FALSE(Exchange(StateRequest(CmdControlBoxState)));  // opens the link on demand
    EXPECT_EQ(usb.UsbStatusText,
              "KORVAN KX4 found: VID=Ardexon (simulated) PID=KORVAN KX4 simulator");
    ReadAllSettings();  // so that the charge content decodes with the bank size
    std::vector<DeviceReport> answers;
    for (uint8_t code : StatePollCodes()) {
        ASSERT_TRUE(Exchange(StateRequest(code, code == CmdControlBoxState ? FrsPlusFlag : 0)));
        EXPECT_EQ(usb.UsbStatusText, "65 bytes received");
        answers.push_back(usb.Input);
        DecodeStateAnswer(code, usb.Input, data);
    }
    const SimStates expected = sim.States();
    const SimSettings held = sim.Settings();
    Buffer64 b{};
    EncodeControlBoxState(expected.Control, b);
    EXPECT_EQ(answers[0], b);
    EncodeBatteryBoxState(expected.Battery, held.Battery, b);
    EXPECT_EQ(answers[1], b);
    EncodeFieldBoxState(expected.Field[0], b);
    EXPECT_EQ(answers[2], b);
    EncodeFieldBoxState(expected.Field[1], b);
    EXPECT_EQ(answers[3], b);

    EXPECT_EQ(data.ControlState.FrsValue, 1);
    EXPECT_EQ(data.ControlState.ConnectedModules & 0x001E, 0x001E);
    EXPECT_GE(data.ControlState.ChargingStage, 2);
    EXPECT_NEAR(data.ControlState.BatteryVoltage, expected.Control.BatteryVoltage, 0.006);
    EXPECT_EQ(data.BatteryState.Soc, expected.Battery.Soc);
    EXPECT_NEAR(data.BatteryState.ChargeContent, expected.Battery.ChargeContent,
                held.Battery.BankSize * 0.006);
    EXPECT_EQ(data.BatteryState.BatteryCurrent, expected.Battery.BatteryCurrent);
    EXPECT_EQ(data.FieldState[0].EngineRpm, expected.Field[0].EngineRpm);
    EXPECT_GT(data.FieldState[0].EngineRpm, 1000);
    EXPECT_EQ(data.FieldState[1].AlternatorTemperature, expected.Field[1].AlternatorTemperature);
}

TEST_F(SimUsbLink, ReadAllSettingsInOrderAndWriteThemBackWithTheirPauses) {
    Exchange(StateRequest(CmdControlBoxState));
    sim.ClearRecord();
    ReadAllSettings();
    EXPECT_EQ(sim.ReceivedUsbCodes(), (std::vector<uint8_t>{5, 9, 6, 7, 8}));
    ExpectHeldBlocksEqualTheToolsEncoding();

    data.ControlSettings.ProfileIndex = 1;
    data.ControlSettings.Profiles[1].BulkTarget = 14.35;
    data.ControlSettings.Alt2CurrentLimit = 90;
    data.BatterySettings.BankSize = 300;
    data.BatterySettings.FaultTemp3 = 45;
    data.FieldSettings[0].LowRpmLimit = 650;
    data.FieldSettings[1].Poles = 14;
    sim.ClearRecord();
    RecordingWaiter waiter;
    ASSERT_TRUE(RunUsbSequence(usb, WriteAllSettingsRequests(data), waiter, false, nullptr));

    std::vector<milliseconds> pauses(2, 1000ms);
    pauses.insert(pauses.end(), 81, 200ms);
    EXPECT_EQ(waiter.Durations(), pauses);
    std::vector<uint8_t> codes{16, 17};
    codes.insert(codes.end(), 47, 18);
    codes.insert(codes.end(), 17, 19);
    codes.insert(codes.end(), 17, 20);
    EXPECT_EQ(sim.ReceivedUsbCodes(), codes);

    Buffer64 scratch{};
    std::vector<SimItemWrite> items;
    const std::pair<uint8_t, ItemPairs> lists[] = {
        {CmdWriteBatteryBoxItem, EncodeBatteryBoxSettings(data.BatterySettings, scratch)},
        {CmdWriteFieldBox1Item, EncodeFieldBoxSettings(data.FieldSettings[0], scratch)},
        {CmdWriteFieldBox2Item, EncodeFieldBoxSettings(data.FieldSettings[1], scratch)}};
    for (const auto& [code, pairs] : lists) {
        for (const ItemPair& p : pairs) items.push_back({code, p.Item, p.Value});
    }
    EXPECT_EQ(sim.ItemWrites(), items);
    ExpectHeldBlocksEqualTheToolsEncoding();
    EXPECT_EQ(sim.Settings().Battery.BankSize, 300);
    EXPECT_EQ(sim.Settings().Control.ProfileIndex, 1);

    // What the tool reads back is what it wrote.
    SystemData again;
    std::swap(again, data);
    ReadAllSettings();
    ExpectHeldBlocksEqualTheToolsEncoding();
    EXPECT_EQ(data.FieldSettings[1].Poles, 14);
}

TEST_F(SimUsbLink, ResetToDefaultsIsReadBack) {
    Exchange(StateRequest(CmdControlBoxState));
    ReadAllSettings();
    const ControlBoxSettings fresh = data.ControlSettings;
    data.ControlSettings.WarmupDuration = 90;
    RecordingWaiter waiter;
    ASSERT_TRUE(RunUsbSequence(usb, WriteControlBoxRequests(data), waiter, false, nullptr));
    EXPECT_EQ(sim.Settings().Control.WarmupDuration, 90);
    ASSERT_TRUE(RunUsbSequence(usb, {ResetControlBoxDefaultsRequest()}, waiter, false, nullptr));
    for (uint8_t code : ControlBoxReadBackCodes()) {
        DeviceReport r{};
        r[0] = code;
        ASSERT_TRUE(Exchange(r));
        DecodeSettingsAnswer(code, usb.Input, data);
    }
    EXPECT_EQ(data.ControlSettings.WarmupDuration, fresh.WarmupDuration);
    EXPECT_EQ(Encoded(EncodeChargeProfiles, data.ControlSettings),
              Encoded(EncodeChargeProfiles, fresh));
}

TEST_F(SimUsbLink, UnpluggedDeviceFailsUntilReplugged) {
    Exchange(StateRequest(CmdControlBoxState));
    ASSERT_TRUE(Exchange(StateRequest(CmdControlBoxState)));
    hid.Unplug();
    EXPECT_FALSE(Exchange(StateRequest(CmdControlBoxState)));
    EXPECT_EQ(usb.UsbStatusText, "No connection to KORVAN KX4 to close");
    EXPECT_FALSE(Exchange(StateRequest(CmdControlBoxState)));
    hid.Replug();
    EXPECT_FALSE(Exchange(StateRequest(CmdControlBoxState)));  // finds and opens it again
    EXPECT_TRUE(Exchange(StateRequest(CmdControlBoxState)));
    EXPECT_EQ(usb.Input[0], StateMarker);
}

class SimBluetoothLink : public ::testing::Test {
  protected:
    SimBluetoothLink() : sim(SimConfig{}, clock.Clock()), line(sim), hid(sim), usb(hid) {
        clock.Advance(150s);
    }
    void SetUp() override {
        ASSERT_TRUE(line.Start()) << line.LastError();
        discovery = std::make_unique<SimBluetoothDiscovery>(line.SlaveName());
        bt = std::make_unique<BtTransport>(port, *discovery);
        ASSERT_TRUE(bt->BtConnect()) << bt->BtStatusText;
    }
    // The answer crosses a real pty: wait (briefly, in real time) until it is there.
    bool AwaitBytes(long n, milliseconds limit = 2000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (port.BytesWaiting() >= n) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    bool Send(uint8_t kind) {
        bt->SetRequest(BtRequestFrame(kind, 0));
        return bt->BtExchange();
    }

    ManualClock clock;
    KorvanSimulator sim;
    SimSerialLine line;
    SimHidDevices hid;
    UsbTransport usb;
    PlatformSerialPort port;
    std::unique_ptr<SimBluetoothDiscovery> discovery;
    std::unique_ptr<BtTransport> bt;
    SystemData data;
};

TEST_F(SimBluetoothLink, StatePollTakesTheImageAnsweringThePreviousRequest) {
    ASSERT_TRUE(Send(BtStateRequest));
    EXPECT_EQ(bt->BtStatusText, "Nothing received; 4 bytes sent");
    ASSERT_TRUE(AwaitBytes(StateImageSize));
    ASSERT_TRUE(Send(BtStateRequest));
    ASSERT_EQ(bt->Exchange.AnswerLength, static_cast<int32_t>(StateImageSize));
    const auto image = sim.StateImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bt->Exchange.Answer.begin()));
    DecodeStateImage(bt->Exchange.Answer.data(), data);
    const SimStates expected = sim.States();
    EXPECT_EQ(data.ControlState.ConnectedModules, expected.Control.ConnectedModules);
    EXPECT_NE(data.ControlState.ConnectedModules & 0x4000, 0);  // Bluetooth connection active
    EXPECT_EQ(data.BatteryState.Soc, expected.Battery.Soc);
    EXPECT_EQ(data.FieldState[1].EngineRpm, expected.Field[1].EngineRpm);
}

TEST_F(SimBluetoothLink, ReadAllSettingsDecodesTheSettingsImage) {
    RecordingWaiter waiter(150ms);
    const std::vector<BtStep> steps = BtReadAllSettingsSteps();
    bool decoded = false;
    ASSERT_TRUE(RunBtSequence(*bt, steps, waiter, false, [&](size_t i) {
        if (steps[i].TakesSettingsImage &&
            bt->Exchange.AnswerLength >= int32_t(SettingsImageSize)) {
            DecodeSettingsImage(bt->Exchange.Answer.data(), data);
            decoded = true;
        }
    }));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(waiter.Durations(), std::vector<milliseconds>(3, 1000ms));
    EXPECT_EQ(sim.StoredBlock(SimModule::ControlBox),
              Encoded(EncodeControlBoxSettings, data.ControlSettings));
    EXPECT_EQ(sim.StoredBlock(SimModule::ChargeProfiles),
              Encoded(EncodeChargeProfiles, data.ControlSettings));
    Buffer64 b{};
    EncodeBatteryBoxSettings(data.BatterySettings, b);
    EXPECT_EQ(sim.StoredBlock(SimModule::BatteryBox), b);
    EncodeFieldBoxSettings(data.FieldSettings[1], b);
    EXPECT_EQ(sim.StoredBlock(SimModule::FieldBox2), b);
}

TEST_F(SimBluetoothLink, RadioIsAwayForTenSecondsAfterCode22) {
    DeviceReport reset{};
    reset[0] = CmdResetBluetoothRadio;
    usb.Output = reset;
    usb.UsbExchange();  // opens the USB link
    ASSERT_TRUE(usb.UsbExchange());

    ASSERT_TRUE(Send(BtStateRequest));  // the write itself succeeds
    EXPECT_FALSE(AwaitBytes(1, 300ms));
    clock.Advance(9s);
    ASSERT_TRUE(Send(BtStateRequest));
    EXPECT_EQ(bt->Exchange.AnswerLength, 0);
    EXPECT_FALSE(AwaitBytes(1, 300ms));

    clock.Advance(1s);
    ASSERT_TRUE(Send(BtStateRequest));
    ASSERT_TRUE(AwaitBytes(StateImageSize));
    ASSERT_TRUE(Send(BtStateRequest));
    EXPECT_EQ(bt->Exchange.AnswerLength, static_cast<int32_t>(StateImageSize));
}

}  // namespace
}  // namespace korvan

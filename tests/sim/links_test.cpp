// The connections as the window drives them: one poll, the settings operations,
// and what each connection refuses, against the simulated system.
#include <gtest/gtest.h>

#include <vector>

#include "link/bt_transport.h"
#include "link/link.h"
#include "link/usb_transport.h"
#include "relay/support_link.h"
#include "sim/sim_hid_devices.h"
#include "tests/sim/sim_test_support.h"
#include "tests/support/no_serial_port.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

struct RecordedEvents : LinkEvents {
    void LinkStatus(const std::string& text) override { Statuses.push_back(text); }
    void StateDecoded(ModuleId module) override { Decoded.push_back(module); }
    void WriteProgress(size_t sent, size_t total, ModuleId module) override {
        Progress.push_back({sent, total, module});
    }
    struct Step {
        size_t Sent;
        size_t Total;
        ModuleId Module;
    };
    std::vector<std::string> Statuses;
    std::vector<ModuleId> Decoded;
    std::vector<Step> Progress;
};

class UsbLinkTest : public ::testing::Test {
  protected:
    UsbLinkTest()
        : sim(test::ManualConfig(), clock.Clock()), hid(sim), usb(hid), link(usb, waiter) {}
    void SetUp() override {
        usb.FindAndOpen();
        sim.ClearRecord();
    }
    // The settings a read of all settings brings, as the window would hold them.
    void ReadAll() {
        ASSERT_TRUE(link.ReadAllSettings(data, events));
        sim.ClearRecord();
        events = {};
    }

    test::ManualClock clock;
    KorvanSimulator sim;
    SimHidDevices hid;
    UsbTransport usb;
    RecordingWaiter waiter;
    UsbLink link;
    SystemData data;
    RecordedEvents events;
};

TEST_F(UsbLinkTest, PollDecodesEveryModuleInOrderAndCarriesTheFrsFlagOnceAtTheStart) {
    EXPECT_EQ(link.PollState(data, FrsMinusFlag, events), PollOutcome::Complete);
    EXPECT_EQ(sim.ReceivedUsbCodes(), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(events.Decoded, (std::vector<ModuleId>{ModuleId::ControlBox, ModuleId::BatteryBox,
                                                     ModuleId::FieldBox1, ModuleId::FieldBox2}));
    EXPECT_NE(data.ControlState.ConnectedModules, 0);
    // The flag rides on the first report only.
    const std::vector<SimReceived> received = sim.Received();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].Bytes[1], FrsMinusFlag);
    for (size_t i = 1; i < received.size(); ++i) EXPECT_EQ(received[i].Bytes[1], 0) << i;
}

TEST_F(UsbLinkTest, PollTellsALostSystemFromATickCutShort) {
    sim.Faults().AddScripted({SimFault::UsbNoAnswer, 2});
    EXPECT_EQ(link.PollState(data, 0, events), PollOutcome::Partial);
    EXPECT_EQ(events.Decoded, std::vector<ModuleId>{ModuleId::ControlBox});

    sim.Faults().UnplugUsb();
    events = {};
    EXPECT_EQ(link.PollState(data, 0, events), PollOutcome::Lost);
    EXPECT_TRUE(events.Decoded.empty());
    EXPECT_EQ(link.StatusText(), usb.UsbStatusText);
}

TEST_F(UsbLinkTest, WriteCutByAPulledCableSaysHowFarItGotAndWhere) {
    ReadAll();
    data.FieldSettings[0].Poles = 16;
    // Reports 1-2 are the control box's blocks, then 47 battery box items.
    sim.Faults().AddScripted({SimFault::UsbUnplugAfterReport, 37, CmdWriteControlBoxSettings});
    const WriteOutcome outcome = link.WriteAllSettings(data, events);
    EXPECT_FALSE(outcome.Complete);
    EXPECT_EQ(outcome.Sent, 37u);
    EXPECT_EQ(outcome.Total, 83u);
    EXPECT_EQ(outcome.Module, ModuleId::BatteryBox);
    ASSERT_EQ(events.Progress.size(), 38u);  // the start, then one per report sent
    EXPECT_EQ(events.Progress.front().Sent, 0u);
    EXPECT_EQ(events.Progress.back().Sent, 37u);
    EXPECT_EQ(events.Statuses.back(), usb.UsbStatusText);
    EXPECT_NE(sim.Settings().Field[0].Poles, 16);
}

TEST_F(UsbLinkTest, CompleteWriteReachesTheSystemAndNamesEachModuleAsItGoes) {
    ReadAll();
    data.FieldSettings[1].Poles = 14;
    const WriteOutcome outcome = link.WriteAllSettings(data, events);
    EXPECT_TRUE(outcome.Complete);
    EXPECT_EQ(outcome.Sent, 83u);
    EXPECT_EQ(sim.Settings().Field[1].Poles, 14);
    EXPECT_EQ(events.Progress[1].Module, ModuleId::ControlBox);
    EXPECT_EQ(events.Progress[3].Module, ModuleId::BatteryBox);
    EXPECT_EQ(events.Progress.back().Module, ModuleId::FieldBox2);
    EXPECT_EQ(waiter.Total(), std::chrono::milliseconds(2 * 1000 + 81 * 200));
}

TEST_F(UsbLinkTest, ControlBoxWriteReadsBackAndAResetRestoresTheDefaults) {
    ReadAll();
    data.ControlSettings.WarmupDuration = 33;
    const WriteOutcome written = link.WriteControlBoxSettings(data, events);
    EXPECT_TRUE(written.Complete && written.ReadBack);
    EXPECT_EQ(written.Sent, 2u);
    EXPECT_EQ(sim.ReceivedUsbCodes(), (std::vector<uint8_t>{16, 17, 5, 9}));
    EXPECT_EQ(sim.Settings().Control.WarmupDuration, 33);

    sim.ClearRecord();
    EXPECT_TRUE(link.ResetControlBoxDefaults(data, events));
    EXPECT_EQ(sim.ReceivedUsbCodes(), (std::vector<uint8_t>{21, 5, 9}));
    EXPECT_NE(data.ControlSettings.WarmupDuration, 33);

    sim.Faults().UnplugUsb();
    EXPECT_FALSE(link.ResetControlBoxDefaults(data, events));
    const WriteOutcome unplugged = link.WriteControlBoxSettings(data, events);
    EXPECT_FALSE(unplugged.Complete || unplugged.ReadBack);
    EXPECT_EQ(unplugged.Sent, 0u);
}

// Noise in place of an answer is a failed exchange: nothing of it is decoded, and a
// read of all settings with one bad block changes no settings record at all.
TEST_F(UsbLinkTest, GarbledAnswersAreFailedExchangesThatChangeNoRecord) {
    ASSERT_EQ(link.PollState(data, 0, events), PollOutcome::Complete);
    ReadAll();
    const SystemData before = data;
    struct Row {
        uint64_t At;  // the exchange of the tick that is garbled
        PollOutcome Outcome;
        size_t Decoded;
    };
    for (const Row& row : {Row{1, PollOutcome::Failed, 0}, Row{3, PollOutcome::Partial, 2}}) {
        events = {};
        sim.Faults().AddScripted({SimFault::UsbRandomBytes, row.At});
        EXPECT_EQ(link.PollState(data, 0, events), row.Outcome) << row.At;
        EXPECT_EQ(events.Decoded.size(), row.Decoded);
        EXPECT_EQ(link.StatusText(), BadAnswerText);
        EXPECT_EQ(data.FieldState[0].EngineRpm, before.FieldState[0].EngineRpm);
    }

    data.ControlSettings.WarmupDuration = 99;                 // typed, not in the system
    sim.Faults().AddScripted({SimFault::UsbRandomBytes, 4});  // field box #1's block
    EXPECT_FALSE(link.ReadAllSettings(data, events));
    EXPECT_EQ(events.Statuses.back(), BadAnswerText);
    EXPECT_EQ(data.ControlSettings.WarmupDuration, 99);
    EXPECT_EQ(data.FieldSettings[0].Poles, before.FieldSettings[0].Poles);
    ReadAll();
    EXPECT_NE(data.ControlSettings.WarmupDuration, 99);
}

// What each connection refuses, and that a refused operation sends nothing.
TEST(Links, EachConnectionRefusesWhatItCannotDoWithItsOwnMessage) {
    struct Expected {
        LinkOperation Operation;
        std::optional<MessageKind> Bluetooth;  // nullopt: done
        const char* BluetoothText;
        std::optional<MessageKind> Support;
        const char* SupportText;
    };
    const Expected rows[] = {
        {LinkOperation::ReadAllSettings, std::nullopt, nullptr, std::nullopt, nullptr},
        {LinkOperation::WriteAllSettings, MessageKind::Warning, UsbOnlyText, std::nullopt, nullptr},
        {LinkOperation::WriteControlBoxSettings, MessageKind::Warning, nullptr,
         MessageKind::Warning, nullptr},
        {LinkOperation::ResetControlBoxDefaults, MessageKind::Error, UsbRequiredText,
         MessageKind::Error, UsbRequiredText},
        {LinkOperation::ResetBluetoothRadio, MessageKind::Error, UsbRequiredText,
         MessageKind::Error, UsbRequiredText},
        {LinkOperation::CanFrames, MessageKind::Warning, nullptr, MessageKind::Warning, nullptr},
    };
    KorvanSimulator sim(test::ManualConfig());
    SimHidDevices hid(sim);
    UsbTransport usb(hid);
    RecordingWaiter waiter;
    NoSerialPort serial;
    struct NoRadio : BluetoothDiscovery {
        int RadioCount() override { return 0; }
        std::vector<BluetoothDeviceInfo> RememberedDevices(int) override { return {}; }
        std::string FindPort(const std::string&) override { return {}; }
    } radio;
    BtTransport bt(serial, radio);
    struct NoRelay : RelayTransport {
        bool RelayExchange(RelayState&) override { return false; }
    } relay;
    struct NoHost : RemoteSupportHost {
        SystemData Records;
        SystemData& Data() override { return Records; }
        bool ShareDataChecked() const override { return false; }
        void SetShareDataChecked(bool) override {}
        bool RemoteViaInternetChecked() const override { return true; }
        void SelectUsbConnection() override {}
        void SetSendChatEnabled(bool) override {}
        void ShowPanelMessage(const std::string&) override {}
        void ShowConnectionError(const std::string&) override {}
        void SetStatusText(const std::string&) override {}
        void CloseLocalLinks() override {}
        bool ReadAllSettingsFromSystem() override { return false; }
        WriteOutcome WriteAllSettingsToSystem() override { return {}; }
        void SettingsArrived(const SystemData&, bool) override {}
        void AskSupportSettings(const SystemData&, const SystemData&) override {}
        void ChatLine(ChatSide, const std::string&) override {}
        void SessionChanged(const SupportSessionStatus&) override {}
    } host;
    RemoteSupport remote(host, relay);
    UsbLink usbLink(usb, waiter);
    BtLink btLink(bt, waiter);
    SupportLink supportLink(remote, waiter);
    EXPECT_EQ(usbLink.PolledBy(), PollTimer::Usb);
    EXPECT_EQ(btLink.PolledBy(), PollTimer::Bluetooth);
    EXPECT_EQ(supportLink.PolledBy(), PollTimer::Relay);

    auto check = [](const std::optional<LinkRefusal>& refusal, std::optional<MessageKind> kind,
                    const char* text) {
        ASSERT_EQ(refusal.has_value(), kind.has_value());
        if (!refusal) return;
        if (text) {
            EXPECT_EQ(refusal->Kind, *kind);
        }
        EXPECT_STREQ(refusal->Text ? refusal->Text : "", text ? text : "");
    };
    for (const Expected& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.Operation));
        EXPECT_FALSE(usbLink.Refusal(row.Operation));
        check(btLink.Refusal(row.Operation), row.Bluetooth, row.BluetoothText);
        check(supportLink.Refusal(row.Operation), row.Support, row.SupportText);
    }

    SystemData data;
    RecordedEvents events;
    EXPECT_FALSE(btLink.WriteAllSettings(data, events).Complete);
    EXPECT_FALSE(btLink.ResetControlBoxDefaults(data, events));
    EXPECT_FALSE(supportLink.ResetBluetoothRadio(events));
    DeviceReport frames{};
    EXPECT_FALSE(btLink.PollCanFrames(frames));
    EXPECT_TRUE(events.Statuses.empty());
    EXPECT_EQ(waiter.Waits.size(), 0u);
}

}  // namespace
}  // namespace korvan

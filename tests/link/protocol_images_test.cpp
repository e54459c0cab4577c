#include <gtest/gtest.h>

#include "link/protocol.h"
#include "link/sequence.h"
#include "tests/link/fake_hid.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

using std::chrono::milliseconds;

// Settings with values in every module, so that blocks differ from one another.
SystemData SampleData() {
    SystemData d;
    d.ControlSettings.DeviceId = 3;
    d.ControlSettings.SerialNumber = 77;
    d.ControlSettings.ProfileIndex = 2;
    d.ControlSettings.BatteryChargeCurrentLimit = 120;
    d.ControlSettings.Profiles[2].FloatTarget = 13.6;
    d.BatterySettings.FaultVoltage = 15.5;
    d.BatterySettings.WarningSoc = 40;
    d.FieldSettings[0].Poles = 12;
    d.FieldSettings[0].PulleyRatio = 2.5;
    d.FieldSettings[1].Poles = 16;
    d.FieldSettings[1].PulleyRatio = 3.25;
    d.ControlState.ConnectedModules = 0x001E;
    d.ControlState.BatteryVoltage = 13.25;
    d.FieldState[0].EngineRpm = 1500;
    d.FieldState[1].EngineRpm = 2200;
    d.FieldState[1].AlternatorTemperature = -128;
    return d;
}

TEST(LinkImages, SettingsImageBlocksStartWithTheMarkerAndSurviveARoundTrip) {
    SystemData d = SampleData();
    const auto image = BuildSettingsImage(d);
    for (ImageBlock b : {SettingsImageControlBox, SettingsImageChargeProfiles,
                         SettingsImageBatteryBox, SettingsImageFieldBox1, SettingsImageFieldBox2})
        EXPECT_EQ(image[b.Offset], SettingsMarker) << "block at " << b.Offset;

    SystemData back;
    DecodeSettingsImage(image.data(), back);
    EXPECT_EQ(back.FieldSettings[0].Poles, 12);
    EXPECT_EQ(back.FieldSettings[1].Poles, 16);  // the two field boxes are not swapped
    EXPECT_EQ(back.ControlSettings.ProfileIndex, 2);
    EXPECT_EQ(BuildSettingsImage(back), image);
}

TEST(LinkImages, StateImageRoundTrip) {
    SystemData d = SampleData();
    const auto image = BuildStateImage(d);
    for (ImageBlock b :
         {StateImageControlBox, StateImageBatteryBox, StateImageFieldBox1, StateImageFieldBox2}) {
        EXPECT_EQ(image[b.Offset], StateMarker);
        EXPECT_EQ(image[b.Offset + b.Length - 1], StateMarker);
    }
    SystemData back;
    back.BatterySettings = d.BatterySettings;
    DecodeStateImage(image.data(), back);
    EXPECT_EQ(back.ControlState.ConnectedModules, 0x001E);
    EXPECT_EQ(back.FieldState[0].EngineRpm, 1500);
    EXPECT_EQ(back.FieldState[1].EngineRpm, 2200);
    EXPECT_EQ(back.FieldState[1].AlternatorTemperature, -128);
    EXPECT_EQ(BuildStateImage(back), image);
}

// A block is believed only with its markers: spoiling the opening or the closing
// marker of any block spoils its image, except the battery box settings' last byte
// (no marker there) and the blocks of modules the control box does not report.
TEST(LinkImages, AnswersAreBelievedOnlyWithTheirMarkers) {
    SystemData d = SampleData();  // every module connected
    const auto state = BuildStateImage(d);
    const auto settings = BuildSettingsImage(d);
    struct Row {
        bool State;
        size_t Offset;  // the byte spoiled
        bool Spoils;
    };
    const Row rows[] = {
        {true, 0, true},     {true, 41, true},   {true, 42, true},    {true, 89, true},
        {true, 117, true},   {true, 143, true},  {true, 60, false},   {false, 0, true},
        {false, 62, true},   {false, 63, true},  {false, 112, true},  {false, 122, true},
        {false, 169, false}, {false, 188, true}, {false, 187, false}, {false, 215, true},
        {false, 223, false},
    };
    EXPECT_TRUE(StateImageGood(state.data()));
    EXPECT_TRUE(SettingsImageGood(settings.data(), AllModulesConnected));
    for (const Row& row : rows) {
        auto s = state;
        auto t = settings;
        (row.State ? s[row.Offset] : t[row.Offset]) ^= 0x0F;
        EXPECT_EQ(StateImageGood(s.data()) && SettingsImageGood(t.data(), AllModulesConnected),
                  !row.Spoils)
            << (row.State ? "state" : "settings") << " byte " << row.Offset;
    }

    // A short USB report is padded with zeros: its closing marker is gone.
    EncodeControlBoxState(d.ControlState, d.EncodeBuffer);
    for (size_t kept : {size_t{0}, size_t{1}, size_t{41}, size_t{42}}) {
        DeviceReport answer{};
        std::copy_n(d.EncodeBuffer.begin(), kept, answer.begin());
        EXPECT_EQ(AnswerBlockGood(CmdControlBoxState, answer.data(), 0), kept == 42) << kept;
    }

    // Field box #2 reported absent: its empty blocks pass, and fail once it is there.
    d.ControlState.ConnectedModules &= ~FieldBox2Connected;
    auto absent = BuildStateImage(d);
    auto absentSettings = settings;
    std::fill_n(absent.begin() + 117, 27, 0);
    std::fill_n(absentSettings.begin() + 197, 27, 0);
    EXPECT_TRUE(StateImageGood(absent.data()));
    EXPECT_TRUE(SettingsImageGood(absentSettings.data(), d.ControlState.ConnectedModules));
    EXPECT_FALSE(SettingsImageGood(absentSettings.data(), AllModulesConnected));
    absent[9] ^= FieldBox2Connected;  // the status word's low byte (big-endian, bytes 8-9)
    EXPECT_FALSE(StateImageGood(absent.data()));
}

TEST(LinkImages, UsbAnswersGoToTheirOwnRecords) {
    SystemData d = SampleData();
    SystemData out;
    // A settings block as the module answers it: the encoded block at offset 0.
    EncodeFieldBoxSettings(d.FieldSettings[1], d.EncodeBuffer);
    DeviceReport answer{};
    std::copy(d.EncodeBuffer.begin(), d.EncodeBuffer.end(), answer.begin());
    DecodeSettingsAnswer(CmdFieldBox2Settings, answer, out);
    EXPECT_EQ(out.FieldSettings[1].Poles, 16);
    EXPECT_EQ(out.FieldSettings[0].Poles, 0);
    EXPECT_EQ(out.DecodeBuffer, d.EncodeBuffer);  // the whole answer is copied

    EncodeFieldBoxState(d.FieldState[0], d.EncodeBuffer);
    std::copy(d.EncodeBuffer.begin(), d.EncodeBuffer.end(), answer.begin());
    DecodeStateAnswer(CmdFieldBox1State, answer, out);
    EXPECT_EQ(out.FieldState[0].EngineRpm, 1500);
    EXPECT_EQ(out.FieldState[1].EngineRpm, 0);
}

TEST(LinkImages, WriteAllSettingsRequests) {
    SystemData d = SampleData();
    const std::vector<UsbRequest> requests = WriteAllSettingsRequests(d);
    ASSERT_EQ(requests.size(), 83u);

    // The block writes: the encoded block with the marker replaced by the code.
    EncodeControlBoxSettings(d.ControlSettings, d.EncodeBuffer);
    EXPECT_EQ(requests[0].Report[0], CmdWriteControlBoxSettings);
    EXPECT_TRUE(std::equal(d.EncodeBuffer.begin() + 1, d.EncodeBuffer.end(),
                           requests[0].Report.begin() + 1));
    EncodeChargeProfiles(d.ControlSettings, d.EncodeBuffer);
    EXPECT_EQ(requests[1].Report[0], CmdWriteChargeProfiles);
    EXPECT_TRUE(std::equal(d.EncodeBuffer.begin() + 1, d.EncodeBuffer.end(),
                           requests[1].Report.begin() + 1));

    // Item n carries block byte n; each module ends with the closing pair.
    Buffer64 block{};
    const ItemPairs battery = EncodeBatteryBoxSettings(d.BatterySettings, block);
    ASSERT_EQ(battery.size(), 47u);
    for (size_t n = 1; n <= 46; ++n) {
        const DeviceReport& r = requests[1 + n].Report;
        EXPECT_EQ(r[0], CmdWriteBatteryBoxItem);
        EXPECT_EQ(r[1], n);
        EXPECT_EQ(r[2], block[n]) << "item " << n;
    }
    const struct {
        size_t Index;
        uint8_t Code;
    } closing[] = {
        {48, CmdWriteBatteryBoxItem}, {65, CmdWriteFieldBox1Item}, {82, CmdWriteFieldBox2Item}};
    for (auto c : closing) {
        EXPECT_EQ(requests[c.Index].Report[0], c.Code);
        EXPECT_EQ(requests[c.Index].Report[1], 0);
        EXPECT_EQ(requests[c.Index].Report[2], 0xFF);
    }
    EXPECT_EQ(requests[49].Report[0], CmdWriteFieldBox1Item);
    EXPECT_EQ(requests[66].Report[0], CmdWriteFieldBox2Item);

    // Item reports set bytes 0-2 only: the rest is what the profiles write left.
    for (size_t i = 2; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].Length, 3u);
        EXPECT_TRUE(std::equal(requests[1].Report.begin() + 3, requests[1].Report.end(),
                               requests[i].Report.begin() + 3));
    }

    milliseconds total{0};
    for (const UsbRequest& r : requests) total += r.PauseAfter;
    EXPECT_EQ(requests[0].PauseAfter, milliseconds(1000));
    EXPECT_EQ(requests[1].PauseAfter, milliseconds(1000));
    EXPECT_EQ(total, milliseconds(2000 + 81 * 200));
}

TEST(LinkImages, FailedBatteryItemEndsTheWriteBeforeTheFieldBoxes) {
    SystemData d = SampleData();
    FakeHid hid;
    hid.Add("/dev/hidraw0", KorvanVendorId, KorvanProductId);
    UsbTransport usb(hid);
    ASSERT_TRUE(usb.FindAndOpen());
    hid.Devices[0].FailWriteAt = 2 + 9;  // the 10th battery box item
    RecordingWaiter waiter;
    EXPECT_FALSE(RunUsbSequence(usb, WriteAllSettingsRequests(d), waiter, true, nullptr));
    const auto& written = hid.Devices[0].Written;
    ASSERT_EQ(written.size(), 12u);
    EXPECT_EQ(written.back()[1], CmdWriteBatteryBoxItem);
    EXPECT_EQ(written.back()[2], 10);
    EXPECT_EQ(waiter.Total(), milliseconds(2000 + 9 * 200));
}

TEST(LinkImages, WriteControlBoxOnly) {
    SystemData d = SampleData();
    const std::vector<UsbRequest> requests = WriteControlBoxRequests(d);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Report[0], CmdWriteControlBoxSettings);
    EXPECT_EQ(requests[1].Report[0], CmdWriteChargeProfiles);
}

}  // namespace
}  // namespace korvan

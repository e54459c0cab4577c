#include <gtest/gtest.h>

#include "link/protocol.h"
#include "link/sequence.h"
#include "tests/link/fake_hid.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

using std::chrono::milliseconds;

TEST(LinkFrames, FrsFlagOfTheStateRequests) {
    EXPECT_EQ(FrsFlag(false, false), 0);
    EXPECT_EQ(FrsFlag(true, false), FrsPlusFlag);
    EXPECT_EQ(FrsFlag(false, true), FrsMinusFlag);
    EXPECT_EQ(FrsFlag(true, true), FrsMinusFlag);  // minus wins

    // Over USB only code 1 carries the flag; the other state requests are all 0.
    DeviceReport one{};
    one[0] = 1;
    one[1] = 0x20;
    EXPECT_EQ(StateRequest(CmdControlBoxState, FrsPlusFlag), one);
    DeviceReport two{};
    two[0] = 2;
    EXPECT_EQ(StateRequest(CmdBatteryBoxState, FrsPlusFlag), two);

    // Over Bluetooth the state request carries it and a settings request never does.
    EXPECT_EQ(BtRequestFrame(BtStateRequest, FrsMinusFlag),
              (std::array<uint8_t, 4>{0xAA, 0x10, 0x00, 0xAA}));
    EXPECT_EQ(BtRequestFrame(BtSettingsRequest, FrsMinusFlag),
              (std::array<uint8_t, 4>{0x55, 0x00, 0x00, 0x55}));
}

TEST(LinkFrames, ImageBlocksTileTheImages) {
    const ImageBlock state[] = {StateImageControlBox, StateImageBatteryBox, StateImageFieldBox1,
                                StateImageFieldBox2};
    const ImageBlock settings[] = {SettingsImageControlBox, SettingsImageChargeProfiles,
                                   SettingsImageBatteryBox, SettingsImageFieldBox1,
                                   SettingsImageFieldBox2};
    size_t end = 0;
    for (ImageBlock b : state) {
        EXPECT_EQ(b.Offset, end);
        end += b.Length;
    }
    EXPECT_EQ(end, StateImageSize);
    end = 0;
    for (ImageBlock b : settings) {
        EXPECT_EQ(b.Offset, end);
        end += b.Length;
    }
    EXPECT_EQ(end, SettingsImageSize);
}

TEST(LinkFrames, CopyImageBlockTakesOnlyTheBlock) {
    std::array<uint8_t, StateImageSize> image{};
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i);
    Buffer64 buffer;
    buffer.fill(0xCC);
    CopyImageBlock(image.data(), StateImageFieldBox2, buffer);
    EXPECT_EQ(buffer[0], 117);
    EXPECT_EQ(buffer[26], 143);
    // Nothing of the image beyond the block, and nothing left from before.
    EXPECT_TRUE(std::all_of(buffer.begin() + 27, buffer.end(), [](uint8_t b) { return b == 0; }));
}

TEST(LinkFrames, ReverseReceivedPutsTheLastByteFirst) {
    const uint8_t received[] = {5, 4, 3, 2, 1};
    uint8_t answer[5] = {};
    ReverseReceived(received, 5, answer);
    EXPECT_EQ(std::vector<uint8_t>(answer, answer + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    ReverseReceived(received, 0, answer);  // nothing to do, nothing touched
    EXPECT_EQ(answer[0], 1);
}

TEST(LinkFrames, RequestsOnlySetTheirMeaningfulBytes) {
    DeviceReport output;
    output.fill(0x77);
    PutItemWrite(CmdWriteFieldBox1Item, {16, 0x42}, output);
    EXPECT_EQ(output[0], 19);
    EXPECT_EQ(output[1], 16);
    EXPECT_EQ(output[2], 0x42);
    EXPECT_TRUE(std::all_of(output.begin() + 3, output.end(), [](uint8_t b) { return b == 0x77; }));

    ApplyUsbRequest(ResetControlBoxDefaultsRequest(), output);
    EXPECT_EQ(output[0], 21);
    EXPECT_EQ(output[1], 16);  // left from the item write
    EXPECT_EQ(ResetControlBoxDefaultsRequest().PauseAfter, milliseconds(1000));
    ApplyUsbRequest(ResetBluetoothRadioRequest(), output);
    EXPECT_EQ(output[0], 22);
}

TEST(LinkFrames, FixedSequences) {
    EXPECT_EQ(StatePollCodes(), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(ReadAllSettingsCodes(), (std::vector<uint8_t>{5, 9, 6, 7, 8}));
    EXPECT_EQ(ControlBoxReadBackCodes(), (std::vector<uint8_t>{5, 9}));
    const std::vector<BtStep> steps = BtReadAllSettingsSteps();
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].Frame[0], BtSettingsRequest);
    EXPECT_EQ(steps[1].Frame[0], BtSettingsRequest);
    EXPECT_EQ(steps[2].Frame, (std::array<uint8_t, 4>{0xAA, 0, 0, 0xAA}));
    for (const BtStep& s : steps) EXPECT_EQ(s.PauseAfter, milliseconds(1000));
    EXPECT_FALSE(steps[1].TakesSettingsImage);
    EXPECT_TRUE(steps[2].TakesSettingsImage);
}

// A sequence of item writes over a scripted device.
class LinkSequence : public testing::Test {
  protected:
    void SetUp() override {
        hid.Add("/dev/hidraw0", KorvanVendorId, KorvanProductId);
        ASSERT_TRUE(usb.FindAndOpen());
        for (uint8_t item = 1; item <= 20; ++item) {
            UsbRequest r;
            PutItemWrite(CmdWriteBatteryBoxItem, {item, static_cast<uint8_t>(item * 3)}, r.Report);
            r.Length = 3;
            r.PauseAfter = ItemWritePause;
            requests.push_back(r);
        }
    }
    FakeHid hid;
    UsbTransport usb{hid};
    RecordingWaiter waiter;
    std::vector<UsbRequest> requests;
};

TEST_F(LinkSequence, EveryRequestIsSentInOrderWithItsPause) {
    usb.Output.fill(0x5A);
    std::vector<size_t> done;
    EXPECT_TRUE(RunUsbSequence(usb, requests, waiter, true, [&](size_t i) { done.push_back(i); }));
    ASSERT_EQ(hid.Devices[0].Written.size(), 20u);
    const std::vector<uint8_t>& tenth = hid.Devices[0].Written[9];
    EXPECT_EQ(tenth[1], 18);
    EXPECT_EQ(tenth[2], 10);
    EXPECT_EQ(tenth[3], 30);
    EXPECT_EQ(tenth[4], 0x5A);  // not-used bytes stay as the previous request left them
    EXPECT_EQ(done.size(), 20u);
    ASSERT_EQ(waiter.Waits.size(), 20u);
    EXPECT_EQ(waiter.Total(), milliseconds(4000));
    EXPECT_TRUE(waiter.Waits[0].ProcessMessages);
}

TEST_F(LinkSequence, FirstFailureEndsTheSequence) {
    hid.Devices[0].FailReadAt = 9;  // the 10th item's answer
    size_t callbacks = 0;
    EXPECT_FALSE(RunUsbSequence(usb, requests, waiter, false, [&](size_t) { ++callbacks; }));
    EXPECT_EQ(hid.Devices[0].Written.size(), 10u);
    EXPECT_EQ(callbacks, 9u);
    EXPECT_EQ(waiter.Waits.size(), 9u);
    EXPECT_EQ(usb.UsbStatusText, "Read refused");
}

}  // namespace
}  // namespace korvan

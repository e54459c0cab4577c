#include "link/usb_transport.h"

#include <gtest/gtest.h>

#include "tests/link/fake_hid.h"

namespace korvan {
namespace {

constexpr uint16_t Vid = KorvanVendorId;
constexpr uint16_t Pid = KorvanProductId;

class UsbTransportTest : public testing::Test {
  protected:
    FakeHid hid;
    UsbTransport usb{hid, 250};

    // The first exchange after start-up only opens the device.
    void Connect() {
        ASSERT_FALSE(usb.UsbExchange());
        ASSERT_TRUE(usb.IsOpen());
    }
};

TEST_F(UsbTransportTest, FirstExchangeOpensTheDeviceAndTheNextOneSucceeds) {
    hid.Add("/dev/hidraw0", Vid, Pid, "Ardexon", "KORVAN KX4");
    EXPECT_FALSE(usb.UsbExchange());
    EXPECT_EQ(usb.UsbStatusText, "KORVAN KX4 found: VID=Ardexon PID=KORVAN KX4");

    usb.Output.fill(0x11);
    usb.Output[0] = CmdBatteryBoxState;
    ASSERT_TRUE(usb.UsbExchange());
    EXPECT_EQ(usb.UsbStatusText, "65 bytes received");

    // The transfer is the report ID 0 followed by the 64 bytes of the output report.
    const std::vector<uint8_t>& sent = hid.Devices[0].Written.back();
    ASSERT_EQ(sent.size(), 65u);
    EXPECT_EQ(sent[0], 0x00);
    EXPECT_TRUE(std::equal(usb.Output.begin(), usb.Output.end(), sent.begin() + 1));
    // The input report is the answer without its report ID byte.
    EXPECT_EQ(usb.Input[0], CmdBatteryBoxState);
    EXPECT_EQ(usb.Input[1], 1);
    EXPECT_EQ(hid.LastReadTimeout, 250);
}

TEST_F(UsbTransportTest, SearchTextsAndDeviceChoice) {
    // Not present at all.
    EXPECT_FALSE(usb.FindAndOpen());
    EXPECT_EQ(usb.UsbStatusText, "KORVAN KX4 not found");

    // Same vendor, other product: opened, examined and closed again. Of two matching
    // devices, the one that enumerates first is used.
    hid.Add("/dev/hidraw0", Vid, 0x0001, "Ardexon", "Other");
    hid.Add("/dev/hidraw1", 0x1234, Pid, "Someone", "Else");
    hid.Add("/dev/hidraw2", Vid, Pid, "", "First");
    hid.Add("/dev/hidraw3", Vid, Pid, "", "Second");
    EXPECT_TRUE(usb.FindAndOpen());
    EXPECT_EQ(usb.UsbStatusText, "KORVAN KX4 found: VID= PID=First");
    EXPECT_EQ(hid.Opened,
              (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2"}));
    EXPECT_EQ(hid.Closed, (std::vector<std::string>{"/dev/hidraw0", "/dev/hidraw1"}));
    EXPECT_EQ(hid.OpenHandles(), 1u);

    // A new search closes the old handle first: no handle is ever leaked.
    EXPECT_TRUE(usb.FindAndOpen());
    EXPECT_EQ(hid.OpenHandles(), 1u);
}

TEST_F(UsbTransportTest, CloseTexts) {
    EXPECT_FALSE(usb.Close());
    EXPECT_EQ(usb.UsbStatusText, "No connection to KORVAN KX4 to close");
    hid.Add("/dev/hidraw0", Vid, Pid);
    ASSERT_TRUE(usb.FindAndOpen());
    EXPECT_TRUE(usb.Close());
    EXPECT_EQ(usb.UsbStatusText, "Connection to KORVAN KX4 closed");
    EXPECT_FALSE(usb.IsOpen());
    EXPECT_FALSE(usb.Close());
    EXPECT_EQ(usb.UsbStatusText, "No connection to KORVAN KX4 to close");
}

TEST_F(UsbTransportTest, UnplugAndReplug) {
    hid.Add("/dev/hidraw0", Vid, Pid, "Ardexon", "KX4");
    Connect();
    ASSERT_TRUE(usb.UsbExchange());

    hid.Devices[0].Present = false;
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_FALSE(usb.UsbExchange());
        EXPECT_EQ(usb.UsbStatusText, "No connection to KORVAN KX4 to close");
        EXPECT_FALSE(usb.IsOpen());
    }
    EXPECT_EQ(hid.OpenHandles(), 0u);

    // Plugged in again (as another node): the next exchange opens it and still fails.
    hid.Devices[0].Present = true;
    hid.Devices[0].Info.Path = "/dev/hidraw5";
    EXPECT_FALSE(usb.UsbExchange());
    EXPECT_EQ(usb.UsbStatusText, "KORVAN KX4 found: VID=Ardexon PID=KX4");
    EXPECT_TRUE(usb.UsbExchange());
    EXPECT_EQ(usb.UsbStatusText, "65 bytes received");
}

TEST_F(UsbTransportTest, FailedWriteReconnectsButDoesNotRepeatTheRequest) {
    hid.Add("/dev/hidraw0", Vid, Pid, "A", "B");
    Connect();
    hid.Devices[0].FailWriteAt = 0;  // the first write on the opened handle
    usb.Output[0] = CmdControlBoxState;
    EXPECT_FALSE(usb.UsbExchange());
    EXPECT_EQ(usb.UsbStatusText, "KORVAN KX4 found: VID=A PID=B");
    EXPECT_TRUE(usb.IsOpen());
    EXPECT_EQ(hid.Devices[0].Written.size(), 1u);  // the failed one, not repeated
    EXPECT_TRUE(usb.UsbExchange());
    EXPECT_EQ(hid.Devices[0].Written.size(), 2u);
}

TEST_F(UsbTransportTest, FailedOrSilentReadDoesNotReconnectAndZeroesTheInput) {
    hid.Add("/dev/hidraw0", Vid, Pid);
    Connect();
    usb.Output[0] = CmdFieldBox1State;
    ASSERT_TRUE(usb.UsbExchange());
    ASSERT_NE(usb.Input[0], 0);

    hid.Devices[0].FailReadAt = 1;
    const size_t opened = hid.Opened.size();
    EXPECT_FALSE(usb.UsbExchange());
    EXPECT_EQ(usb.UsbStatusText, "Read refused");
    EXPECT_EQ(usb.Input, DeviceReport{});
    EXPECT_EQ(hid.Opened.size(), opened);
    EXPECT_TRUE(usb.IsOpen());

    // A device that stops answering fails the read within the bound instead of hanging.
    hid.Devices[0].SilentReadAt = 2;
    EXPECT_FALSE(usb.UsbExchange());
    EXPECT_EQ(usb.UsbStatusText, "No answer from KORVAN KX4 within 250 ms");
    EXPECT_EQ(usb.Input, DeviceReport{});
    EXPECT_TRUE(usb.IsOpen());
}

TEST_F(UsbTransportTest, DestructionClosesTheHandle) {
    hid.Add("/dev/hidraw0", Vid, Pid);
    {
        UsbTransport other(hid);
        ASSERT_TRUE(other.FindAndOpen());
        EXPECT_EQ(hid.OpenHandles(), 1u);
    }
    EXPECT_EQ(hid.OpenHandles(), 0u);
}

}  // namespace
}  // namespace korvan

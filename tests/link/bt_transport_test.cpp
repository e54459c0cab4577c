#include "link/bt_transport.h"

#include <gtest/gtest.h>

#include <numeric>

#include "link/protocol.h"
#include "tests/link/pty_pair.h"

#ifdef _WIN32
#include "platform/win32_serial_port.h"
#else
#include "platform/posix_serial_port.h"
#endif

namespace korvan {
namespace {

#ifdef _WIN32
using PlatformSerialPort = Win32SerialPort;
// A write on a closed port: the system's text for an invalid handle.
const std::string ClosedPortText = Win32ErrorText(ERROR_INVALID_HANDLE);
#else
using PlatformSerialPort = PosixSerialPort;
const std::string ClosedPortText = "Bad file descriptor";
#endif

// Discovery with a scripted set of radios and devices.
class ScriptedDiscovery : public BluetoothDiscovery {
  public:
    std::vector<std::vector<BluetoothDeviceInfo>> Radios;
    std::string Port;
    std::string AskedAddress;

    int RadioCount() override { return static_cast<int>(Radios.size()); }
    std::vector<BluetoothDeviceInfo> RememberedDevices(int radio) override {
        return Radios.at(static_cast<size_t>(radio));
    }
    std::string FindPort(const std::string& addressText) override {
        AskedAddress = addressText;
        return Port;
    }
};

BluetoothDeviceInfo Device(const std::string& name, uint8_t last, uint32_t cls = 7936) {
    return {name, {0x00, 0x1A, 0x7D, 0xDA, 0x71, last}, cls, false, true, true};
}

// An image as the remote system holds it: byte i has a value that tells where it came from.
std::vector<uint8_t> Image(size_t size, uint8_t tag) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(tag + i);
    return image;
}
// The remote system transmits an image last byte first.
std::vector<uint8_t> OnTheWire(std::vector<uint8_t> image) {
    std::reverse(image.begin(), image.end());
    return image;
}

class BtExchangeTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
        bt.SetRequest(BtRequestFrame(BtStateRequest, FrsPlusFlag));
    }
    void Arrive(const std::vector<uint8_t>& bytes, long expectWaiting) {
        ASSERT_TRUE(pty.Send(bytes));
        ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() >= expectWaiting; }));
    }
    std::vector<uint8_t> Answer() const {
        return {bt.Exchange.Answer.begin(), bt.Exchange.Answer.begin() + bt.Exchange.AnswerLength};
    }

    PtyPair pty;
    PlatformSerialPort port;
    ScriptedDiscovery discovery;
    BtTransport bt{port, discovery};
};

TEST_F(BtExchangeTest, NothingWaitingStillSendsTheRequest) {
    EXPECT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "Nothing received; 4 bytes sent");
    EXPECT_EQ(bt.Exchange.AnswerLength, 0);
    EXPECT_EQ(pty.Receive(4), (std::vector<uint8_t>{0xAA, 0x20, 0x00, 0xAA}));
}

TEST_F(BtExchangeTest, WholeImagesAreTurnedBackIntoImageOrder) {
    for (size_t size : {StateImageSize, SettingsImageSize}) {
        const std::vector<uint8_t> image = Image(size, 1);
        Arrive(OnTheWire(image), static_cast<long>(size));
        EXPECT_TRUE(bt.BtExchange());
        EXPECT_EQ(bt.BtStatusText, std::to_string(size) + " bytes received; 4 bytes sent");
        EXPECT_EQ(Answer(), image);
        // Zero-filled after the bytes taken.
        EXPECT_TRUE(std::all_of(bt.Exchange.Answer.begin() + bt.Exchange.AnswerLength,
                                bt.Exchange.Answer.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST_F(BtExchangeTest, ShortAnswerIsTakenAsItIs) {
    const std::vector<uint8_t> partial = Image(143, 9);
    Arrive(OnTheWire(partial), 143);
    EXPECT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "143 bytes received; 4 bytes sent");
    EXPECT_EQ(Answer(), partial);
    // The next exchange starts from nothing again: no stale bytes are left.
    EXPECT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "Nothing received; 4 bytes sent");
    EXPECT_EQ(bt.Exchange.Answer, (std::array<uint8_t, 256>{}));
}

TEST_F(BtExchangeTest, TwoPiledUpAnswersGiveTheMostRecentImage) {
    const std::vector<uint8_t> older = Image(StateImageSize, 0x10);
    const std::vector<uint8_t> newer = Image(StateImageSize, 0x80);
    std::vector<uint8_t> wire = OnTheWire(older);
    const std::vector<uint8_t> second = OnTheWire(newer);
    wire.insert(wire.end(), second.begin(), second.end());
    Arrive(wire, 288);

    EXPECT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "256 bytes received; 4 bytes sent");
    const std::vector<uint8_t> answer = Answer();
    ASSERT_EQ(answer.size(), 256u);
    EXPECT_TRUE(std::equal(newer.begin(), newer.end(), answer.begin()));
    // Then the oldest bytes: the start of the older image.
    EXPECT_TRUE(std::equal(older.begin(), older.begin() + 112, answer.begin() + 144));
}

TEST_F(BtExchangeTest, ThreeHundredBytesAreTakenOverTwoExchanges) {
    std::vector<uint8_t> wire(300);
    std::iota(wire.begin(), wire.end(), uint8_t{0});
    Arrive(wire, 300);
    EXPECT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "256 bytes received; 4 bytes sent");
    EXPECT_EQ(bt.Exchange.AnswerLength, 256);
    EXPECT_EQ(bt.Exchange.Answer[0], static_cast<uint8_t>(299));  // the last byte received
    EXPECT_EQ(bt.Exchange.Answer[255], static_cast<uint8_t>(44));

    EXPECT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "44 bytes received; 4 bytes sent");
    EXPECT_EQ(bt.Exchange.AnswerLength, 44);
    EXPECT_EQ(bt.Exchange.Answer[0], 43);
    EXPECT_EQ(bt.Exchange.Answer[43], 0);

    EXPECT_TRUE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "Nothing received; 4 bytes sent");
}

TEST_F(BtExchangeTest, ClosedPortFailsTheExchangeWithTheSystemText) {
    bt.Close();
    EXPECT_EQ(bt.BtStatusText, "BT: Connection to KORVAN KX4 closed");
    EXPECT_FALSE(bt.IsOpen());
    EXPECT_FALSE(bt.BtExchange());
    EXPECT_EQ(bt.BtStatusText, "Nothing received; " + ClosedPortText);
    bt.Close();
    EXPECT_EQ(bt.BtStatusText, "");
}

class BtConnectTest : public testing::Test {
  protected:
    PtyPair pty;
    PlatformSerialPort port;
    ScriptedDiscovery discovery;
    BtTransport bt{port, discovery};
    const std::string info =
        "Remote device info:\rName=KORVAN-III\rAddress=001A7DDA7113\rClass=7936\r"
        "Connected=False\rRemembered=True\rPaired=True";
};

TEST_F(BtConnectTest, NoRadioAndNoPairedSystem) {
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_EQ(bt.BtStatusText,
              "This computer is not Bluetooth capable; install Bluetooth hardware, pair to "
              "Linkmate, and restart application");

    // Names are compared exactly: letter case counts.
    discovery.Radios = {{Device("korvan-iii", 1), Device("KORVAN-II", 2)}, {}};
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_EQ(bt.BtStatusText,
              "This computer has not been paired to KORVAN KX4; run discovery and pairing, and "
              "restart application");
}

TEST_F(BtConnectTest, PairedWithoutPortGivesTheDeviceInformation) {
    discovery.Radios = {{Device("KORVAN-III", 0x13)}};
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_EQ(discovery.AskedAddress, "001A7DDA7113");
    EXPECT_EQ(bt.BtStatusText,
              "Close application, pair to KORVAN KX4, and restart application\r" + info);
}

TEST_F(BtConnectTest, LaterMatchWinsAndThePortIsOpened) {
    ASSERT_TRUE(pty.Ok());
    BluetoothDeviceInfo connected = Device("KORVAN-III", 0x13);
    connected.Connected = true;
    discovery.Radios = {{Device("KORVAN-III", 0x01)}, {connected}};
    discovery.Port = pty.SlavePath();
    EXPECT_TRUE(bt.BtConnect());
    EXPECT_EQ(bt.BtStatusText,
              "Connection to KORVAN KX4 created\rRemote device info:\rName=KORVAN-III\r"
              "Address=001A7DDA7113\rClass=7936\rConnected=True\rRemembered=True\rPaired=True\r"
              "Port= " +
                  pty.SlavePath());
    EXPECT_TRUE(bt.IsOpen());
    EXPECT_EQ(bt.PortName, pty.SlavePath());

    // A reconnect closes the open port first.
    discovery.Radios = {};
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_FALSE(bt.IsOpen());
}

TEST_F(BtConnectTest, PortThatCannotBeOpened) {
#ifdef _WIN32
    const std::string missing = "COM142";
    const std::string missingText =
        "Error #2 while opening Bluetooth port COM142\r" + Win32ErrorText(ERROR_FILE_NOT_FOUND);
#else
    const std::string missing = "/nonexistent/rfcomm0";
    const std::string missingText =
        "Error #2 while opening Bluetooth port /nonexistent/rfcomm0\rNo such file or directory";
#endif
    discovery.Radios = {{Device("KORVAN-III", 0x13)}};
    discovery.Port = missing;
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_EQ(bt.BtStatusText, "No connection to KORVAN KX4\r" + info + "\r" + missingText);
    EXPECT_FALSE(bt.IsOpen());

#ifndef _WIN32
    // A file that is no terminal is no serial port either. (Windows opens any device
    // by name and leaves its communications state unexamined.)
    discovery.Port = "/dev/null";
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_NE(bt.BtStatusText.find("while opening Bluetooth port /dev/null\r"), std::string::npos);
    EXPECT_FALSE(bt.IsOpen());
#endif
}

}  // namespace
}  // namespace korvan

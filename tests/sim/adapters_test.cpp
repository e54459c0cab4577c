#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <chrono>
#include <thread>

#include "link/usb_transport.h"
#include "sim/sim_bluetooth_discovery.h"
#include "sim/sim_hid_devices.h"
#include "sim/sim_serial_line.h"
#include "tests/sim/sim_test_support.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using test::ManualClock;
using test::Request;

std::vector<uint8_t> Transfer(const DeviceReport& report) {
    std::vector<uint8_t> t(HidTransferSize, 0);
    std::copy(report.begin(), report.end(), t.begin() + 1);
    return t;
}

TEST(SimAdapters, HidDeviceAnswersOneReportPerRequestAndSurvivesReplug) {
    ManualClock clock;
    KorvanSimulator sim(test::ManualConfig(), clock.Clock());
    SimHidDevices hid(sim);
    const auto devices = hid.Enumerate();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].VendorId, 0x04D8);
    EXPECT_EQ(devices[0].ProductId, 0x5C31);
    EXPECT_NE(devices[0].Product.find("simulator"), std::string::npos);
    EXPECT_LT(hid.Open("sim:other"), 0);

    const HidDevices::Handle h = hid.Open(devices[0].Path);
    ASSERT_GE(h, 0);
    uint8_t in[HidTransferSize];
    EXPECT_EQ(hid.Read(h, in, sizeof in, 10), 0);  // nothing asked, nothing to read
    const auto request = Transfer(Request(CmdControlBoxSettings));
    ASSERT_EQ(hid.Write(h, request.data(), request.size()), 65);
    ASSERT_EQ(hid.Read(h, in, sizeof in, 10), 65);
    EXPECT_EQ(in[0], 0x00);  // report ID
    EXPECT_EQ(in[1], SettingsMarker);
    EXPECT_EQ(hid.Read(h, in, sizeof in, 10), 0);    // each answer is read once
    EXPECT_LT(hid.Write(h, request.data(), 64), 0);  // not a whole transfer

    hid.Unplug();
    EXPECT_TRUE(hid.Enumerate().empty());
    EXPECT_LT(hid.Write(h, request.data(), request.size()), 0);
    EXPECT_FALSE(hid.LastError().empty());
    hid.Replug();
    EXPECT_LT(hid.Write(h, request.data(), request.size()), 0);  // the old handle stays dead
    EXPECT_TRUE(hid.Close(h));
    EXPECT_FALSE(hid.Close(h));
    const HidDevices::Handle again = hid.Open(SimHidDevices::DevicePath);
    EXPECT_EQ(hid.Write(again, request.data(), request.size()), 65);
}

TEST(SimAdapters, BluetoothDiscoveryOffersThePairedSystemOnTheLine) {
    SimBluetoothDiscovery discovery("/dev/pts/77");
    ASSERT_EQ(discovery.RadioCount(), 1);
    const auto devices = discovery.RememberedDevices(0);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].Name, "KORVAN-III");
    EXPECT_TRUE(devices[0].Authenticated);
    EXPECT_EQ(discovery.FindPort("001A7DDA7113"), "/dev/pts/77");
    EXPECT_EQ(discovery.FindPort("001a7dda7113"), "/dev/pts/77");
    EXPECT_EQ(discovery.FindPort("001A7DDA7114"), "");
    discovery.SetPaired(false);
    EXPECT_TRUE(discovery.RememberedDevices(0).empty());
    discovery.SetRadioPresent(false);
    EXPECT_EQ(discovery.RadioCount(), 0);
}

// The tool's end of the line, raw, without the tool's serial backend: the pty's slave
// device, or on Windows the client end of the line's named pipe.
class RawLine {
  public:
    ~RawLine() { Close(); }
#ifdef _WIN32
    bool Open(const std::string& name) {
        h_ = CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
        return h_ != INVALID_HANDLE_VALUE;
    }
    long Write(const uint8_t* data, size_t n) {
        DWORD done = 0;
        return WriteFile(h_, data, static_cast<DWORD>(n), &done, nullptr) ? long(done) : -1;
    }
    void Close() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }
#else
    bool Open(const std::string& name) {
        fd_ = ::open(name.c_str(), O_RDWR | O_NOCTTY);
        return fd_ >= 0;
    }
    long Write(const uint8_t* data, size_t n) { return ::write(fd_, data, n); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
#endif
    std::vector<uint8_t> ReadFor(size_t wanted, std::chrono::milliseconds limit) {
        std::vector<uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (got.size() < wanted && std::chrono::steady_clock::now() < end) {
            uint8_t buf[512];
            const long n = ReadSome(buf, sizeof buf);
            if (n > 0) got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

  private:
    // Whatever has arrived within about 20 ms.
#ifdef _WIN32
    long ReadSome(uint8_t* buf, DWORD size) {
        DWORD available = 0;
        if (!PeekNamedPipe(h_, nullptr, 0, nullptr, &available, nullptr) || available == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return 0;
        }
        DWORD n = 0;
        return ReadFile(h_, buf, available < size ? available : size, &n, nullptr) ? long(n) : -1;
    }
    HANDLE h_ = INVALID_HANDLE_VALUE;
#else
    long ReadSome(uint8_t* buf, size_t size) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) return 0;
        return ::read(fd_, buf, size);
    }
    int fd_ = -1;
#endif
};

TEST(SimAdapters, SerialLineAnswersFramesAndSkipsStrayBytes) {
    ManualClock clock;
    KorvanSimulator sim(test::ManualConfig(), clock.Clock());
    SimSerialLine line(sim);
    ASSERT_TRUE(line.Start()) << line.LastError();
    RawLine tool;
    ASSERT_TRUE(tool.Open(line.SlaveName()));

    // A stray byte ahead of a settings request: the line falls back into step.
    const uint8_t bytes[5] = {0x13, BtSettingsRequest, 0, 0, BtSettingsRequest};
    ASSERT_EQ(tool.Write(bytes, sizeof bytes), 5);
    std::vector<uint8_t> got = tool.ReadFor(SettingsImageSize, 2s);
    ASSERT_EQ(got.size(), SettingsImageSize);
    const auto image = sim.SettingsImage();
    EXPECT_TRUE(std::equal(got.rbegin(), got.rend(), image.begin()));  // last byte first

    // Two state requests in one write: two answers.
    const auto frame = BtRequestFrame(BtStateRequest, 0);
    uint8_t twice[8];
    std::copy(frame.begin(), frame.end(), twice);
    std::copy(frame.begin(), frame.end(), twice + 4);
    ASSERT_EQ(tool.Write(twice, sizeof twice), 8);
    EXPECT_EQ(tool.ReadFor(2 * StateImageSize, 2s).size(), 2 * StateImageSize);
    tool.Close();

    // The tool closing its side does not bring the line down.
    RawLine reopened;
    ASSERT_TRUE(reopened.Open(line.SlaveName()));
    ASSERT_EQ(reopened.Write(frame.data(), 4), 4);
    EXPECT_EQ(reopened.ReadFor(StateImageSize, 2s).size(), StateImageSize);
    reopened.Close();
    line.Stop();
    EXPECT_EQ(sim.Received().size(), 4u);
}

}  // namespace
}  // namespace korvan

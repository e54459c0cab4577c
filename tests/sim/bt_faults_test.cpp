// The Bluetooth transport over the simulator's line when bytes go missing, change,
// come late or in pieces, and when the serial port itself goes away and returns.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <numeric>
#include <thread>

#include "link/bt_transport.h"
#include "link/sequence.h"
#include "model/system_data.h"
#include "platform/posix_serial_port.h"
#include "sim/sim_bluetooth_discovery.h"
#include "sim/sim_serial_line.h"
#include "tests/sim/sim_test_support.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using test::ManualClock;

class NoWaiter : public Waiter {
  public:
    void Wait(milliseconds, bool) override {}
};

class BtFaults : public ::testing::Test {
  protected:
    BtFaults() : sim(test::ManualConfig(), clock.Clock()), line(sim), discovery(line) {}
    void SetUp() override {
        ASSERT_TRUE(line.Start()) << line.LastError();
        ASSERT_TRUE(bt.BtConnect()) << bt.BtStatusText;
        ASSERT_TRUE(Send());
        ASSERT_TRUE(AwaitBytes(StateImageSize));
        ASSERT_TRUE(Take());  // nothing is on its way when a test starts
        image = sim.StateImage();
        ASSERT_TRUE(std::equal(image.begin(), image.end(), bt.Exchange.Answer.begin()));
    }
    // The line is a real pty: wait, briefly and in real time, for what is to arrive.
    bool AwaitBytes(size_t n, milliseconds limit = 2000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (port.BytesWaiting() >= static_cast<long>(n)) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    // How much of an answer arrived when it is not known how much comes: the line
    // sends what it sends for one request in one write.
    long Arrived() {
        AwaitBytes(1);
        std::this_thread::sleep_for(20ms);
        return port.BytesWaiting();
    }
    bool Send() {
        bt.SetRequest(BtRequestFrame(BtStateRequest, 0));
        return bt.BtExchange();
    }
    // Takes what arrived without sending a request, so that none is left unanswered.
    bool Take() {
        bt.Exchange.RequestLength = 0;
        return bt.BtExchange();
    }
    // The image the modules hold now (the clock only moves when a test moves it).
    bool AnswerIsImage() {
        image = sim.StateImage();
        return std::equal(image.begin(), image.end(), bt.Exchange.Answer.begin());
    }
    void Script(SimFault kind) { sim.Faults().AddScripted({kind, 1, 0}); }
    std::string DeviceInfo() {
        return BluetoothDeviceInfoText(discovery.RememberedDevices(0).at(0));
    }

    ManualClock clock;
    KorvanSimulator sim;
    SimSerialLine line;
    SimBluetoothDiscovery discovery;
    PosixSerialPort port;
    BtTransport bt{port, discovery};
    std::array<uint8_t, StateImageSize> image{};
    NoWaiter waiter;
};

TEST_F(BtFaults, LostAndChangedBytesReachTheToolAsTheyAre) {
    Script(SimFault::BtByteLoss);
    ASSERT_TRUE(Send());
    const long lossy = Arrived();
    ASSERT_TRUE(lossy >= long(StateImageSize) - 16 && lossy < long(StateImageSize)) << lossy;
    ASSERT_TRUE(Send());
    EXPECT_EQ(bt.Exchange.AnswerLength, lossy);  // too short: the poll leaves it alone
    EXPECT_EQ(bt.BtStatusText, std::to_string(lossy) + " bytes received; 4 bytes sent");
    ASSERT_TRUE(AwaitBytes(StateImageSize));
    ASSERT_TRUE(Take());
    EXPECT_TRUE(AnswerIsImage());

    Script(SimFault::BtByteCorruption);
    ASSERT_TRUE(Send());
    ASSERT_TRUE(AwaitBytes(StateImageSize));
    ASSERT_TRUE(Take());
    ASSERT_EQ(bt.Exchange.AnswerLength, int32_t(StateImageSize));
    const long changed = std::inner_product(image.begin(), image.end(), bt.Exchange.Answer.begin(),
                                            0L, std::plus<>(), std::not_equal_to<>());
    EXPECT_TRUE(changed >= 1 && changed <= 4) << changed;
    SystemData data;
    DecodeStateImage(bt.Exchange.Answer.data(), data);
    EXPECT_EQ(sim.Faults().Counts()[SimFault::BtByteLoss], 1u);
    EXPECT_EQ(sim.Faults().Counts()[SimFault::BtByteCorruption], 1u);
}

TEST_F(BtFaults, LateAndSplitAnswersArriveWithTheNextOne) {
    Script(SimFault::BtLateImage);
    ASSERT_TRUE(Send());
    EXPECT_FALSE(AwaitBytes(1, 200ms));
    ASSERT_TRUE(Send());
    EXPECT_EQ(bt.BtStatusText, "Nothing received; 4 bytes sent");
    ASSERT_TRUE(AwaitBytes(2 * StateImageSize));  // the late answer, then the next one
    ASSERT_TRUE(Send());
    EXPECT_EQ(bt.Exchange.AnswerLength, 256);
    EXPECT_TRUE(AnswerIsImage());  // the most recent bytes are the newer answer

    // The exchange after takes the 32 older bytes left over, and the next answer.
    ASSERT_TRUE(AwaitBytes(StateImageSize));
    ASSERT_TRUE(Take());
    EXPECT_EQ(bt.Exchange.AnswerLength, int32_t(StateImageSize + 32));
    EXPECT_TRUE(AnswerIsImage());

    Script(SimFault::BtSplitImage);
    ASSERT_TRUE(Send());
    const long first = Arrived();
    ASSERT_TRUE(first >= 1 && first < long(StateImageSize)) << first;
    ASSERT_TRUE(Send());
    EXPECT_EQ(bt.Exchange.AnswerLength, first);
    ASSERT_TRUE(AwaitBytes(2 * StateImageSize - static_cast<size_t>(first)));
    ASSERT_TRUE(Take());
    EXPECT_EQ(bt.Exchange.AnswerLength, std::min<long>(256, long(2 * StateImageSize) - first));
    EXPECT_TRUE(AnswerIsImage());
}

// The settings answer that the read of all settings decodes comes late: the read
// still runs to its end, decodes nothing, and the next poll is whole again.
TEST_F(BtFaults, LateSettingsAnswerLeavesTheReadOfAllSettingsWithoutAnImage) {
    sim.Faults().AddScripted({SimFault::BtLateImage, 2, BtSettingsRequest});
    ASSERT_TRUE(Send());  // polls do not count towards the script
    ASSERT_TRUE(AwaitBytes(StateImageSize));
    const std::vector<BtStep> steps = BtReadAllSettingsSteps();
    std::vector<int32_t> taken;
    ASSERT_TRUE(RunBtSequence(bt, steps, waiter, false, [&](size_t step) {
        taken.push_back(bt.Exchange.AnswerLength);
        if (step == 0) AwaitBytes(SettingsImageSize);  // the late one is held whatever the wait
    }));
    // The poll's answer, the first settings answer, then nothing where the image was due.
    EXPECT_EQ(taken, (std::vector<int32_t>{StateImageSize, SettingsImageSize, 0}));
    ASSERT_TRUE(AwaitBytes(SettingsImageSize + StateImageSize));
    ASSERT_TRUE(Take());
    EXPECT_EQ(bt.Exchange.AnswerLength, 256);
    EXPECT_TRUE(AnswerIsImage());
    EXPECT_EQ(sim.Faults().Counts()[SimFault::BtLateImage], 1u);
}

TEST_F(BtFaults, PortThatVanishesFailsTheExchangeAndReconnectsWhenBack) {
    const std::string oldName = line.SlaveName();
    Script(SimFault::BtPortVanish);
    ASSERT_TRUE(Send());  // the request is written before the port goes
    for (int i = 0; i < 200 && !line.HungUp(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(line.HungUp());

    EXPECT_FALSE(Send());
    EXPECT_EQ(bt.BtStatusText, "Nothing received; Input/output error");
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_EQ(bt.BtStatusText, "No connection to KORVAN KX4\r" + DeviceInfo() +
                                   "\rError #2 while opening Bluetooth port " + oldName +
                                   "\rNo such file or directory");
    EXPECT_FALSE(Send());

    clock.Advance(sim.Faults().Plan().ComesBackAfter);
    ASSERT_TRUE(bt.BtConnect()) << bt.BtStatusText;
    EXPECT_EQ(bt.BtStatusText,
              "Connection to KORVAN KX4 created\r" + DeviceInfo() + "\rPort= " + line.SlaveName());
    EXPECT_EQ(bt.PortName, line.SlaveName());
    ASSERT_TRUE(Send());
    ASSERT_TRUE(AwaitBytes(StateImageSize));
    ASSERT_TRUE(Take());
    EXPECT_TRUE(AnswerIsImage());

    // Taken away by hand, the port stays away until it is put back by hand.
    sim.Faults().VanishBluetoothPort();
    for (int i = 0; i < 200 && !line.HungUp(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(line.HungUp());
    clock.Advance(1h);
    EXPECT_FALSE(bt.BtConnect());
    sim.Faults().RestoreBluetoothPort();
    EXPECT_TRUE(bt.BtConnect()) << bt.BtStatusText;
    EXPECT_EQ(sim.Faults().Counts()[SimFault::BtPortVanish], 1u);
}

}  // namespace
}  // namespace korvan

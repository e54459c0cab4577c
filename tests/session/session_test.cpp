// The session on the simulated system with no window and no QtGui: the poll
// timers run on their own, a write goes on beside them on the worker thread, the
// history keeps one segment while the link is healthy and breaks where the cable
// was pulled, and a write stopped by the user says how far it got.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <thread>

#include "session/system_session.h"
#include "sim/sim_hid_devices.h"
#include "sim/simulator.h"
#include "tests/session/session_support.h"
#include "tests/support/no_serial_port.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

using std::chrono::milliseconds;

class SessionTest : public testing::Test {
  protected:
    SessionTest() : waiter(milliseconds(15)) {
        SessionSeams seams;
        seams.Hid = &hid;
        seams.Serial = &serial;
        seams.Bluetooth = &radio;
        seams.Wait = &waiter;
        // Polls 500 ms apart; anything much longer without one would be a gap.
        seams.History.GapAfter = milliseconds(1200);
        session = std::make_unique<SystemSession>(seams, '.');
    }

    void SpinFor(int ms) {
        Spin([] { return false; }, ms);
    }
    size_t Segments() const {
        const HistoryRecorder& h = session->History();
        size_t segments = 0;
        for (size_t p = 0; p < h.Size(); ++p) segments += h.StartsSegment(p) ? 1 : 0;
        return segments;
    }

    KorvanSimulator simulator;
    SimHidDevices hid{simulator};
    NoSerialPort serial;
    NoRadio radio;
    RecordingWaiter waiter;
    std::unique_ptr<SystemSession> session;
};

TEST_F(SessionTest, AHealthyLinkBusyWithAWriteLeavesNoGapAPulledCableDoes) {
    session->Timer(PollTimer::Usb)->start();
    ASSERT_TRUE(Spin([&] { return session->History().Size() >= 3; }, 5000));
    ASSERT_TRUE(session->Start(SettingsCommand::ReadAllSettings));
    ASSERT_TRUE(Spin([&] { return !session->CommandRunning(); }, 5000));

    // 83 reports with a real pause each: longer than the history's gap rule.
    std::optional<CommandResult> written;
    QObject::connect(session.get(), &SystemSession::CommandFinished,
                     [&](const CommandResult& result) { written = result; });
    QElapsedTimer took;
    took.start();
    ASSERT_TRUE(session->Start(SettingsCommand::WriteAllSettings));
    EXPECT_FALSE(session->Start(SettingsCommand::ReadAllSettings));  // one at a time
    ASSERT_TRUE(Spin([&] { return written.has_value(); }, 20000));
    EXPECT_GT(took.elapsed(), 1200);
    EXPECT_TRUE(written->Ok);
    EXPECT_EQ(written->Write.Sent, 83u);
    const size_t before = session->History().Size();
    ASSERT_TRUE(Spin([&] { return session->History().Size() >= before + 2; }, 5000));
    EXPECT_EQ(Segments(), 1u);

    std::optional<HistoryTime> since;
    QObject::connect(session.get(), &SystemSession::NoDataSince,
                     [&](std::optional<HistoryTime> last) { since = last; });
    simulator.Faults().UnplugUsb();
    ASSERT_TRUE(Spin([&] { return since.has_value(); }, 5000));
    EXPECT_EQ(session->Records().ControlState.ConnectedModules, 0);
    simulator.Faults().ReplugUsb();
    const size_t lost = session->History().Size();
    ASSERT_TRUE(Spin([&] { return session->History().Size() >= lost + 2; }, 8000));
    EXPECT_EQ(Segments(), 2u);
}

TEST_F(SessionTest, AStoppedWriteEndsAtAReportBoundaryAndSaysHowFarItGot) {
    session->Poll(PollTimer::Usb);
    ASSERT_TRUE(Spin([&] { return session->Idle(); }, 5000));
    session->Start(SettingsCommand::ReadAllSettings);
    ASSERT_TRUE(Spin([&] { return session->Idle(); }, 5000));
    std::vector<size_t> progress;
    QObject::connect(session.get(), &SystemSession::WriteProgress,
                     [&](size_t sent, size_t, ModuleId) {
                         progress.push_back(sent);
                         if (sent == 10) session->RequestStop();
                     });
    std::optional<CommandResult> written;
    QObject::connect(session.get(), &SystemSession::CommandFinished,
                     [&](const CommandResult& result) { written = result; });
    session->Start(SettingsCommand::WriteAllSettings);
    ASSERT_TRUE(Spin([&] { return written.has_value(); }, 20000));
    EXPECT_FALSE(written->Ok);
    EXPECT_TRUE(written->Write.Stopped);
    // The stop is seen at the next boundary the worker reaches after it was asked.
    EXPECT_GE(written->Write.Sent, 10u);
    EXPECT_LT(written->Write.Sent, 83u);
    EXPECT_EQ(progress.back(), written->Write.Sent);
    // Polls go on after it.
    const size_t points = session->History().Size();
    session->Poll(PollTimer::Usb);
    ASSERT_TRUE(Spin([&] { return session->History().Size() > points; }, 5000));
}

}  // namespace
}  // namespace korvan

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The session with a history file: what one run recorded and logged is there in
// the next, and every kind of event the session sees is written.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "model/battery_box.h"
#include "model/control_box.h"
#include "session/session_events.h"
#include "session/system_session.h"
#include "sim/sim_hid_devices.h"
#include "sim/simulator.h"
#include "tests/session/session_support.h"
#include "tests/support/no_serial_port.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

using std::chrono::milliseconds;

class SessionStoreTest : public testing::Test {
  protected:
    SessionStoreTest() : waiter(milliseconds(0)) {
        dir = std::filesystem::temp_directory_path() /
              ("korvan-session-store-" + std::to_string(QCoreApplication::applicationPid()));
        std::filesystem::remove_all(dir);
    }
    ~SessionStoreTest() override { std::filesystem::remove_all(dir); }
    std::unique_ptr<SystemSession> Open() {
        SessionSeams seams;
        seams.Hid = &hid;
        seams.Serial = &serial;
        seams.Bluetooth = &radio;
        seams.Wait = &waiter;
        seams.HistoryPath = (dir / "history.sqlite").string();
        return std::make_unique<SystemSession>(seams, '.');
    }
    bool Logged(const SystemSession& s, EventKind kind, const std::string& part) {
        for (const HistoryEvent& e : s.Events())
            if (e.Kind == kind && e.Text.find(part) != std::string::npos) return true;
        return false;
    }

    std::filesystem::path dir;
    KorvanSimulator simulator;
    SimHidDevices hid{simulator};
    NoSerialPort serial;
    NoRadio radio;
    RecordingWaiter waiter;
};

TEST_F(SessionStoreTest, ARestartBringsBackTheHistoryAndEveryKindOfEvent) {
    size_t points = 0;
    {
        auto session = Open();
        EXPECT_EQ(session->HistoryPath(), (dir / "history.sqlite").string());
        session->Timer(PollTimer::Usb)->start();
        ASSERT_TRUE(Spin([&] { return session->History().Size() >= 3; }, 5000));
        for (SettingsCommand c :
             {SettingsCommand::ReadAllSettings, SettingsCommand::WriteAllSettings}) {
            ASSERT_TRUE(session->Start(c));
            ASSERT_TRUE(Spin([&] { return !session->CommandRunning(); }, 5000));
        }
        simulator.Faults().UnplugUsb();
        ASSERT_TRUE(
            Spin([&] { return session->Records().ControlState.ConnectedModules == 0; }, 5000));
        simulator.Faults().ReplugUsb();
        ASSERT_TRUE(
            Spin([&] { return session->Records().ControlState.ConnectedModules != 0; }, 8000));
        session->Choose(Connection::Bluetooth);
        EXPECT_TRUE(session->Refusal(LinkOperation::CanFrames));
        session->Choose(Connection::RemoteSupport);
        session->Choose(Connection::Usb);
        session->SetShareData(true);
        session->SetShareData(false);
        session->Note(EventKind::File, "Settings saved to boat.kx4");
        session->Timer(PollTimer::Usb)->stop();
        ASSERT_TRUE(Spin([&] { return session->Idle(); }, 5000));
        points = session->History().Size();
    }
    auto again = Open();
    EXPECT_EQ(again->History().Size(), points);
    const struct {
        EventKind Kind;
        const char* Text;
    } expected[] = {
        {EventKind::Settings, "Settings read from the system"},
        {EventKind::Settings, "All settings written to the system"},
        {EventKind::Link, "USB link lost"},
        {EventKind::Link, "USB link back"},
        {EventKind::Settings, "refused on the Bluetooth connection"},
        {EventKind::RemoteSupport, "session started (support side)"},
        {EventKind::RemoteSupport, "session ended (support side)"},
        {EventKind::RemoteSupport, "Remote support started: data shared"},
        {EventKind::RemoteSupport, "Remote support ended"},
        {EventKind::File, "boat.kx4"},
    };
    for (const auto& e : expected) EXPECT_TRUE(Logged(*again, e.Kind, e.Text)) << e.Text;
    // The first exchange of a run opens the device and is no loss of the link.
    EXPECT_EQ(std::count_if(again->Events().begin(), again->Events().end(),
                            [](const HistoryEvent& e) { return e.Kind == EventKind::Link; }),
              2);
}

TEST(SessionEvents, FaultsAndWarningsOfTheStatusWordsAreToldWhenTheyComeAndGo) {
    SystemData d{};
    d.ControlState.ConnectedModules = BatteryBoxConnected | FieldBox1Connected;
    FaultWatch watch;
    EXPECT_TRUE(watch.Changes(d).empty());
    d.BatteryState.StatusCode = 1u << 7;                 // overvoltage warning
    d.FieldState[0].StatusCode = (1u << 2) | (1u << 5);  // temperature fault, tachometer signal
    EXPECT_EQ(watch.Changes(d), (std::vector<std::string>{
                                    "Battery Control Module: Battery overvoltage warning",
                                    "Field Control Module #1: Alternator temperature fault",
                                }));
    EXPECT_TRUE(watch.Changes(d).empty());  // told once
    d.BatteryState.StatusCode = 0;
    EXPECT_EQ(
        watch.Changes(d),
        (std::vector<std::string>{"Battery Control Module: Battery overvoltage warning cleared"}));
    // A module that is not there reports nothing.
    d.ControlState.ConnectedModules = BatteryBoxConnected;
    EXPECT_EQ(watch.Changes(d),
              (std::vector<std::string>{
                  "Field Control Module #1: Alternator temperature fault cleared"}));
}

}  // namespace
}  // namespace korvan

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The settings kept before writes and resets: what the system held when last
// read (not what was typed since), the newest 20 only, newest first.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "model/settings_file.h"
#include "session/system_session.h"
#include "sim/sim_hid_devices.h"
#include "sim/simulator.h"
#include "tests/session/session_support.h"
#include "tests/support/no_serial_port.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

SystemData Loaded(const QString& path) {
    SystemData data;
    std::string error;
    EXPECT_TRUE(LoadSettingsFile(path.toStdString(), data, error)) << error;
    return data;
}

TEST(SettingsBackups, KeepsTheNewestTwentyNewestFirst) {
    QTemporaryDir dir;
    SettingsBackups backups(dir.filePath("backups"));
    const QDateTime start(QDate(2026, 3, 14), QTime(9, 30));
    SystemData data{};
    std::string error;
    for (int i = 0; i < 22; ++i) {
        data.ControlSettings.ProfileIndex = uint8_t(i % 8);
        ASSERT_FALSE(backups.Keep(data, start.addSecs(i), error).isEmpty()) << error;
    }
    // Two within one millisecond are both kept.
    ASSERT_FALSE(backups.Keep(data, start.addSecs(21), error).isEmpty());
    const std::vector<SettingsBackup> list = backups.List();
    ASSERT_EQ(list.size(), SettingsBackups::Kept);
    EXPECT_EQ(list.front().Kept, start.addSecs(21).addMSecs(1));
    EXPECT_EQ(list.back().Kept, start.addSecs(3));
    EXPECT_EQ(Loaded(list[2].Path).ControlSettings.ProfileIndex, 20 % 8);
    EXPECT_EQ(QFile(list.front().Path).size(), qint64(SettingsFileSize));

    SettingsBackups none{QString()};
    EXPECT_TRUE(none.Keep(data, start, error).isEmpty());
    EXPECT_TRUE(none.List().empty());
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SettingsBackups blocked(dir.filePath("file/backups"));
    error.clear();
    EXPECT_TRUE(blocked.Keep(data, start, error).isEmpty());
    EXPECT_FALSE(error.empty());
}

class SessionBackupTest : public testing::Test {
  protected:
    SessionBackupTest() {
        SessionSeams seams;
        seams.Hid = &hid;
        seams.Serial = &serial;
        seams.Bluetooth = &radio;
        seams.Wait = &waiter;
        seams.BackupFolder = dir.filePath("backups");
        session = std::make_unique<SystemSession>(seams, '.');
    }
    void Run(SettingsCommand command) {
        ASSERT_TRUE(session->Start(command));
        ASSERT_TRUE(Spin([&] { return session->Idle() && !session->CommandRunning(); }, 10000));
    }

    QTemporaryDir dir;
    KorvanSimulator simulator;
    SimHidDevices hid{simulator};
    NoSerialPort serial;
    NoRadio radio;
    RecordingWaiter waiter;
    std::unique_ptr<SystemSession> session;
};

TEST_F(SessionBackupTest, EveryWriteOrResetFirstKeepsTheSettingsLastRead) {
    session->Poll(PollTimer::Usb);
    ASSERT_TRUE(Spin([&] { return session->Idle(); }, 5000));
    Run(SettingsCommand::WriteAllSettings);  // nothing read yet: nothing to keep
    EXPECT_TRUE(session->Backups().List().empty());

    Run(SettingsCommand::ReadAllSettings);
    const int32_t read = session->Records().ControlSettings.Alt1CurrentLimit;
    session->Records().ControlSettings.Alt1CurrentLimit = read == 321 ? 322 : 321;  // typed
    const int32_t typed = session->Records().ControlSettings.Alt1CurrentLimit;
    Run(SettingsCommand::WriteAllSettings);
    Run(SettingsCommand::ResetControlBoxDefaults);
    Run(SettingsCommand::ResetBluetoothRadio);
    const std::vector<SettingsBackup> list = session->Backups().List();
    ASSERT_EQ(list.size(), 3u);
    // Before the write: as read. Before the reset: as written. Before the radio's
    // reset: the defaults read back after the control box's reset.
    EXPECT_EQ(Loaded(list[2].Path).ControlSettings.Alt1CurrentLimit, read);
    EXPECT_EQ(Loaded(list[1].Path).ControlSettings.Alt1CurrentLimit, typed);
    EXPECT_EQ(Loaded(list[0].Path).ControlSettings.Alt1CurrentLimit,
              simulator.Settings().Control.Alt1CurrentLimit);
    EXPECT_NE(simulator.Settings().Control.Alt1CurrentLimit, typed);
}

}  // namespace
}  // namespace korvan

// The polling cycle against the simulator: what is asked, decoded and shown,
// and what a lost link leaves behind.
#include <QAction>
#include <QBrush>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <thread>

#include "display/can_monitor.h"
#include "display/outline_view.h"
#include "link/protocol.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

using AppPollTest = AppUsbTest;

const std::vector<uint8_t> StateCodes{1, 2, 3, 4};

TEST_F(AppPollTest, UsbTickFillsEveryStateTableFromTheSystem) {
    W().USBTimerTimer();
    Settle();
    EXPECT_EQ(UsbCodes(), StateCodes);  // the frame monitor is not watching
    const SimStates states = simulator.States();
    EXPECT_EQ(W().Records().ControlState.ConnectedModules, states.Control.ConnectedModules);
    EXPECT_EQ(W().Records().BatteryState.Soc, states.Battery.Soc);
    EXPECT_EQ(W().Records().FieldState[1].EngineRpm, states.Field[1].EngineRpm);
    for (QTableView* table :
         {W().Ui().ControlBoxStateStringGrid(), W().Ui().BatteryBoxStateStringGrid(),
          W().Ui().FieldBox1StateStringGrid(), W().Ui().FieldBox2StateStringGrid()})
        EXPECT_TRUE(NoneEmpty(table)) << table->objectName().toStdString();
    for (QPlainTextEdit* memo : {W().Ui().ControlBoxStatusMemo(), W().Ui().BatteryBoxStatusMemo(),
                                 W().Ui().FieldBox1StatusMemo(), W().Ui().FieldBox2StatusMemo()})
        EXPECT_FALSE(memo->toPlainText().isEmpty());
    EXPECT_TRUE(W().Ui().ControlBoxStatusMemo()->toPlainText().contains("- NMEA 2000 connected"));
    // Settings tables are not touched by a poll.
    EXPECT_TRUE(AllEmpty(W().Ui().ControlBoxSettingsStringGrid()));
    EXPECT_EQ(W().windowTitle(), "Ardexon KORVAN KX4 system [User Mode] - USB connection");
    EXPECT_EQ(W().Ui().StatusText->text().toStdString(), W().Usb().UsbStatusText);

    W().Ui().ShareDataWithSupport->trigger();
    Settle();
    W().USBTimerTimer();
    Settle();
    EXPECT_EQ(W().windowTitle(),
              "Ardexon KORVAN KX4 system [User Mode] - USB connection, "
              "sharing data with remote support");
}

TEST_F(AppPollTest, TickOfAnotherLinkDoesNothing) {
    const QString caption = W().windowTitle();
    W().Ui().ConnectionBlueTooth->trigger();
    Settle();
    W().USBTimerTimer();
    Settle();
    W().Ui().RemoteViaInternetToProvideSupport->trigger();
    Settle();
    W().BTTimerTimer();
    Settle();
    EXPECT_TRUE(UsbCodes().empty());
    EXPECT_TRUE(AllEmpty(W().Ui().ControlBoxStateStringGrid()));
    EXPECT_EQ(W().windowTitle(), caption);
}

TEST_F(AppPollTest, FrsFlagsRideOnTheNextStateRequestOnly) {
    W().FRSPlusButtonClick();
    Settle();
    W().FRSMinusButtonClick();
    Settle();
    W().USBTimerTimer();
    Settle();
    ASSERT_FALSE(hid.Written.empty());
    EXPECT_EQ(hid.Written[0][1], CmdControlBoxState);
    EXPECT_EQ(hid.Written[0][2], FrsMinusFlag);  // minus wins
    EXPECT_EQ(hid.Written[1][2], 0);
    EXPECT_FALSE(W().Session().FrsPending());

    // A press whose request fails is gone, not sent again.
    W().FRSPlusButtonClick();
    Settle();
    hid.FailCode = CmdControlBoxState;
    W().USBTimerTimer();
    Settle();
    hid.FailCode = -1;
    EXPECT_FALSE(W().Session().FrsPending());
    hid.Written.clear();
    W().USBTimerTimer();
    Settle();
    ASSERT_FALSE(hid.Written.empty());
    EXPECT_EQ(hid.Written[0][2], 0);
}

// The settings tables keep what was read and typed, shown as not confirmed by
// the system, and are written again once the link is back.
TEST_F(AppPollTest, FailedFirstExchangeEmptiesStateTablesAndKeepsSettingsToWriteAgain) {
    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    ASSERT_TRUE(W().Flags().SettingsLoaded);
    QTableView* field1 = W().Ui().FieldBox1SettingsStringGrid();
    Type(field1, 0, "18");  // alternator poles
    const std::vector<std::string> typed = Values(field1);

    simHid.Unplug();
    W().USBTimerTimer();
    Settle();
    EXPECT_EQ(W().windowTitle(), "Ardexon KORVAN KX4 system [User Mode]");
    EXPECT_EQ(W().Records().ControlState.ConnectedModules, 0);
    EXPECT_EQ(W().Records().BatteryState.Soc, 0);
    EXPECT_EQ(W().Records().FieldState[0].EngineRpm, 0);
    for (QTableView* table :
         {W().Ui().ControlBoxStateStringGrid(), W().Ui().BatteryBoxStateStringGrid(),
          W().Ui().FieldBox1StateStringGrid(), W().Ui().FieldBox2StateStringGrid()})
        EXPECT_TRUE(AllEmpty(table)) << table->objectName().toStdString();
    EXPECT_TRUE(W().Ui().BatteryBoxStatusMemo()->toPlainText().isEmpty());
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    EXPECT_EQ(Values(field1), typed);
    EXPECT_TRUE(Unconfirmed(field1, 0) && Unconfirmed(field1, 1));
    EXPECT_EQ(Cell(field1, 1, 1), QString::fromStdString(typed[1]));
    EXPECT_EQ(field1->model()->index(1, 1).data(Qt::ForegroundRole).value<QBrush>().color(),
              QColor(128, 128, 128));
    EXPECT_TRUE(Edited(field1, 0));

    simHid.Replug();
    W().USBTimerTimer();
    Settle();  // finds the device again
    W().USBTimerTimer();
    Settle();
    EXPECT_TRUE(NoneEmpty(W().Ui().ControlBoxStateStringGrid()));
    simulator.ClearRecord();
    W().WriteAllSettingsToSystemClick();
    Settle();
    EXPECT_EQ(UsbCodes().size(), 83u);
    EXPECT_EQ(simulator.Settings().Field[0].Poles, 18);
    EXPECT_FALSE(Unconfirmed(field1, 0) || Edited(field1, 0));
}

TEST_F(AppPollTest, LaterFailureKeepsWhatWasShownAndSkipsLogAndFrames) {
    const QString dir = QDir::tempPath() + "/korvan-app-poll-" +
                        QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(dir);
    const QString log = dir + "/Log.txt";
    QFile::remove(log);
    dialogs.SavePath = log;
    W().Ui().EnableDataLoggingToFile->trigger();
    Settle();
    Quiet();
    W().Ui().PageControl->setCurrentWidget(W().Ui().CanTabSheet);

    hid.FailCode = CmdFieldBox2State;
    W().USBTimerTimer();
    Settle();
    EXPECT_EQ(UsbCodes(), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(NoneEmpty(W().Ui().FieldBox1StateStringGrid()));
    EXPECT_TRUE(AllEmpty(W().Ui().FieldBox2StateStringGrid()));
    EXPECT_EQ(W().windowTitle(), "Ardexon KORVAN KX4 system [User Mode] - USB connection");
    EXPECT_FALSE(QFile::exists(log));
    EXPECT_TRUE(W().Ui().EnableDataLoggingToFile->isChecked());
    QDir(dir).removeRecursively();
}

TEST_F(AppPollTest, FramePageFollowsBusBitAndAsksOnlyWhileWatched) {
    W().USBTimerTimer();
    Settle();
    const int canPage = W().Ui().PageControl->indexOf(W().Ui().CanTabSheet);
    EXPECT_TRUE(W().Ui().PageControl->isTabVisible(canPage));

    W().Ui().PageControl->setCurrentWidget(W().Ui().CanTabSheet);
    simulator.ClearRecord();
    for (int i = 0; i < 6; ++i) {
        W().USBTimerTimer();
        Settle();
    }
    std::vector<uint8_t> codes = UsbCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), CmdCanFrames), 6);
    EXPECT_FALSE(W().Ui().Can->Lines().isEmpty());

    W().Ui().Can->PauseCanWatch->trigger();
    ASSERT_TRUE(W().Ui().Can->Paused());
    simulator.ClearRecord();
    W().USBTimerTimer();
    Settle();
    EXPECT_EQ(UsbCodes(), StateCodes);
    W().Ui().Can->PauseCanWatch->trigger();

    SimConfig config = simulator.Config();
    config.Nmea2000 = false;
    simulator.SetConfig(config);
    simulator.ClearRecord();
    W().USBTimerTimer();
    Settle();
    EXPECT_FALSE(W().Ui().PageControl->isTabVisible(canPage));
    W().USBTimerTimer();
    Settle();
    EXPECT_EQ(UsbCodes(), (std::vector<uint8_t>{1, 2, 3, 4, 1, 2, 3, 4}));
}

TEST_F(AppPollTest, BluetoothTickDecodesTheStateImage) {
    W().Ui().ConnectionBlueTooth->trigger();
    Settle();
    ASSERT_TRUE(PollBluetoothUntilState()) << W().Bt().BtStatusText;
    for (QTableView* table :
         {W().Ui().ControlBoxStateStringGrid(), W().Ui().BatteryBoxStateStringGrid(),
          W().Ui().FieldBox1StateStringGrid(), W().Ui().FieldBox2StateStringGrid()})
        EXPECT_TRUE(NoneEmpty(table)) << table->objectName().toStdString();
    EXPECT_EQ(W().windowTitle(), "Ardexon KORVAN KX4 system [User Mode] - Bluetooth connection");
    // The status bar holds one line even when the link's text has several.
    EXPECT_FALSE(W().Ui().StatusText->text().contains('\r'));
    EXPECT_TRUE(UsbCodes().empty());
}

}  // namespace
}  // namespace korvan

namespace korvan {
namespace {

// Every complete poll feeds the history; a lost link is a break in it, and the
// outline and trends pages say since when nothing came instead of showing the
// zeroed records' charging stage.
TEST_F(AppPollTest, PollsFeedTheHistoryAndALostLinkSaysSinceWhenThereIsNoData) {
    QTemporaryDir dir;
    // The history takes one poll per millisecond at most.
    for (int tick = 0; tick < 3; ++tick) {
        W().USBTimerTimer();
        Settle();
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    const QString stage = W().Ui().Outline->ChargeModeLabel->text();
    EXPECT_TRUE(stage.startsWith("Battery: ")) << stage.toStdString();

    hid.FailCode = CmdControlBoxState;
    W().USBTimerTimer();
    Settle();
    const QString stale = W().Ui().Outline->ChargeModeLabel->text();
    EXPECT_TRUE(stale.startsWith("No data since ")) << stale.toStdString();
    EXPECT_EQ(stale.size(), QStringLiteral("No data since 14:02:17").size());

    dialogs.SavePath = dir.filePath("history.csv");
    W().ExportHistoryToCsvClick();
    Settle();
    ASSERT_EQ(dialogs.SaveRequests.back().Title, "Export History to CSV");
    QFile file(dialogs.SavePath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n");
    EXPECT_TRUE(lines[0].contains("\"Battery Voltage, V\"")) << lines[0].toStdString();
    int polls = 0;
    for (const QString& line : lines.mid(1))
        if (line.startsWith("20")) ++polls;
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(W().statusBar()->currentMessage(), "History exported to history.csv: 3 rows");

    hid.FailCode = -1;
    W().USBTimerTimer();
    Settle();
    EXPECT_TRUE(W().Ui().Outline->ChargeModeLabel->text().startsWith("Battery: "));
}

}  // namespace
}  // namespace korvan

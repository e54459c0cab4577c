// The settings commands against the simulator: requests in order, pauses through
// the recording waiter, what reaches the tables, what the simulator ends up holding.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTimer>
#include <QtTest/QTest>

#include "app/module_tables.h"
#include "link/protocol.h"
#include "model/field_box.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

using AppSettingsTest = AppUsbTest;
using std::chrono::milliseconds;

int Count(const std::vector<uint8_t>& codes, uint8_t code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

TEST_F(AppSettingsTest, UsbReadFillsTheTablesOfConnectedModulesOnly) {
    SimConfig config = simulator.Config();
    config.FieldBox2 = false;
    config.BatteryBox = false;
    simulator.SetConfig(config);
    W().USBTimerTimer();
    Settle();
    simulator.ClearRecord();

    W().ReadAllSettingsFromSystemClick();
    Settle();
    EXPECT_EQ(UsbCodes(), (std::vector<uint8_t>{5, 9, 6, 7, 8}));
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    EXPECT_TRUE(NoneEmpty(W().Ui().ControlBoxSettingsStringGrid()));
    EXPECT_TRUE(NoneEmpty(W().Ui().FieldBox1SettingsStringGrid()));
    EXPECT_TRUE(AllEmpty(W().Ui().BatteryBoxSettingsStringGrid()));
    EXPECT_TRUE(AllEmpty(W().Ui().FieldBox2SettingsStringGrid()));
    EXPECT_EQ(W().Ui().PIComboBox->currentIndex(), simulator.Settings().Control.ProfileIndex);
    EXPECT_EQ(W().Records().FieldSettings[0].Poles, simulator.Settings().Field[0].Poles);
    // The timers run again and the menu is usable again.
    EXPECT_TRUE(W().Ui().USBTimer->isActive() && W().Ui().BTTimer->isActive() &&
                W().Ui().INETTimer->isActive());
    EXPECT_TRUE(W().Ui().SystemMenu->menuAction()->isEnabled());
    EXPECT_FALSE(W().CommandRunning());
}

// Typed settings are not replaced or closed away without a yes, and a read that
// fails part-way replaces nothing: tables, typed texts, records and SettingsLoaded stay.
TEST_F(AppSettingsTest, ReadDeclinedOrFailedLeavesTablesRecordsAndSettingsLoaded) {
    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    QTableView* control = W().Ui().ControlBoxSettingsStringGrid();
    Type(control, 8, "321");
    EXPECT_TRUE(Edited(control, 8));
    EXPECT_TRUE(
        control->model()->index(8, 1).data(Qt::ToolTipRole).toString().contains("Edited: not"));
    // As a file would have it, not as the system does.
    W().Session().Records().ControlSettings.BatteryChargeCurrentLimit += 7;
    const std::vector<std::string> shown = Values(control);
    const int32_t limit = W().Records().ControlSettings.BatteryChargeCurrentLimit;
    simulator.ClearRecord();

    W().ReadAllSettingsFromSystemClick();  // "Keep the edits"
    Settle();
    EXPECT_FALSE(W().close());
    ASSERT_EQ(dialogs.Questions.size(), 2u);
    EXPECT_TRUE(
        dialogs.Questions[0].endsWith("Reading all settings from the system replaces them."));
    EXPECT_TRUE(dialogs.Questions[1].endsWith("Closing the tool loses them."));
    EXPECT_TRUE(UsbCodes().empty());

    hid.FailCode = CmdBatteryBoxSettings;
    dialogs.AskAnswers = {true};
    W().ReadAllSettingsFromSystemClick();
    Settle();
    EXPECT_EQ(UsbCodes(), (std::vector<uint8_t>{5, 9}));
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    EXPECT_EQ(Values(control), shown);
    EXPECT_TRUE(Edited(control, 8));
    EXPECT_EQ(W().Records().ControlSettings.BatteryChargeCurrentLimit, limit);
    EXPECT_TRUE(W().Ui().USBTimer->isActive());

    hid.FailCode = -1;
    dialogs.AskAnswers = {true};
    W().ReadAllSettingsFromSystemClick();
    Settle();
    EXPECT_EQ(Cell(control, 8).toInt(), simulator.Settings().Control.Alt1CurrentLimit);
    EXPECT_FALSE(Edited(control, 8));
    dialogs.AskAnswers = {true};  // nothing typed now: closing asks nothing
    EXPECT_TRUE(W().close());
    EXPECT_EQ(dialogs.Questions.size(), 4u);
}

TEST_F(AppSettingsTest, EditedTablesWrittenOverUsbReachTheSystem) {
    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    ASSERT_TRUE(W().Flags().SettingsLoaded);
    simulator.ClearRecord();
    waiter.Waits.clear();

    Type(W().Ui().FieldBox1SettingsStringGrid(), 0, "16");      // alternator poles
    W().Ui().PIComboBox->setCurrentIndex(1);                    // AGM
    Type(W().Ui().ControlBoxSettingsStringGrid(), 6, "14.40");  // its bulk target

    std::vector<QString> progress;
    bool menuDisabled = true;
    QProgressBar* bar = W().Ui().WriteProgress;
    const QMetaObject::Connection watch =
        QObject::connect(bar, &QProgressBar::valueChanged, &W(), [&](int sent) {
            if (sent <= 0) return;
            progress.push_back(bar->isVisibleTo(&W()) ? bar->text() : QString());
            menuDisabled = menuDisabled && !W().Ui().SystemMenu->menuAction()->isEnabled();
            // A second command chosen during the write is refused.
            W().ReadAllSettingsFromSystemClick();
        });
    W().WriteAllSettingsToSystemClick();
    Settle();
    QObject::disconnect(watch);

    const std::vector<uint8_t> codes = UsbCodes();
    ASSERT_EQ(codes.size(), 83u);
    EXPECT_EQ(codes[0], CmdWriteControlBoxSettings);
    EXPECT_EQ(codes[1], CmdWriteChargeProfiles);
    EXPECT_EQ(Count(codes, CmdWriteBatteryBoxItem), 47);
    EXPECT_EQ(Count(codes, CmdWriteFieldBox1Item), 17);
    EXPECT_EQ(Count(codes, CmdWriteFieldBox2Item), 17);
    EXPECT_EQ(Count(codes, CmdControlBoxSettings), 0);  // the refused read sent nothing

    ASSERT_EQ(waiter.Waits.size(), 83u);
    milliseconds total{0};
    for (size_t i = 0; i < waiter.Waits.size(); ++i) {
        EXPECT_EQ(waiter.Waits[i].Duration, milliseconds(i < 2 ? 1000 : 200)) << i;
        EXPECT_TRUE(waiter.Waits[i].ProcessMessages);
        total += waiter.Waits[i].Duration;
    }
    EXPECT_EQ(total, milliseconds(2000 + 81 * 200));
    EXPECT_TRUE(menuDisabled);
    EXPECT_EQ(progress.front(), "System Control Module: 1 of 83 reports");
    EXPECT_EQ(progress[2], "Battery Control Module: 3 of 83 reports");
    EXPECT_EQ(progress.back(), "Field Control Module #2: 83 of 83 reports");
    EXPECT_FALSE(W().Ui().WriteProgress->isVisibleTo(&W()));

    const SimSettings held = simulator.Settings();
    EXPECT_EQ(held.Field[0].Poles, 16);
    EXPECT_EQ(held.Control.ProfileIndex, 1);
    EXPECT_DOUBLE_EQ(held.Control.Profiles[1].BulkTarget, 14.40);
    // What the system holds is what the tool encodes from its records.
    Buffer64 expected{};
    EncodeFieldBoxSettings(W().Records().FieldSettings[0], expected);
    const Buffer64 stored = simulator.StoredBlock(SimModule::FieldBox1);
    EXPECT_TRUE(std::equal(stored.begin(), stored.begin() + 17, expected.begin()));
}

TEST_F(AppSettingsTest, WriteStopsAtTheFirstFailedReport) {
    W().ReadAllSettingsFromSystemClick();
    Settle();
    simulator.ClearRecord();
    hid.FailCode = CmdWriteBatteryBoxItem;
    hid.FailAfter = 9;  // the 10th item fails
    W().WriteAllSettingsToSystemClick();
    Settle();
    const std::vector<uint8_t> codes = UsbCodes();
    EXPECT_EQ(Count(codes, CmdWriteBatteryBoxItem), 9);
    EXPECT_EQ(Count(codes, CmdWriteFieldBox1Item), 0);
    EXPECT_EQ(Count(codes, CmdWriteFieldBox2Item), 0);
    EXPECT_FALSE(W().Ui().WriteProgress->isVisibleTo(&W()));
    // A write cut short says where it stopped: the system holds part of the new settings.
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Warning);
    EXPECT_TRUE(dialogs.Messages[0].Text.startsWith(
        "Writing all settings stopped at the Battery Control Module: 11 of 83 reports were sent."))
        << dialogs.Messages[0].Text.toStdString();
}

// Closing during a write asks: "Wait" closes after the last report, "Stop" after
// the report being sent; either way the user learns what was written.
TEST_F(AppSettingsTest, ClosingDuringAWriteWaitsOrStopsAtAReportBoundary) {
    W().ReadAllSettingsFromSystemClick();
    Settle();
    waiter.RealSleep = milliseconds(3);
    for (const bool wait : {true, false}) {
        W().show();
        simulator.ClearRecord();
        dialogs.Messages.clear();
        dialogs.AskAnswers = {wait};
        W().WriteAllSettingsToSystemClick();
        QTimer::singleShot(20, &W(), [this] { W().close(); });
        Settle();
        EXPECT_FALSE(W().isVisible()) << wait;
        ASSERT_EQ(dialogs.Questions.size(), wait ? 1u : 2u);
        const size_t sent = UsbCodes().size();
        if (wait) {
            EXPECT_EQ(sent, 83u);
            EXPECT_TRUE(dialogs.Messages.empty());
            continue;
        }
        EXPECT_GT(sent, 0u);
        EXPECT_LT(sent, 83u);
        ASSERT_EQ(dialogs.Messages.size(), 1u);
        EXPECT_TRUE(dialogs.Messages[0].Text.contains(
            QStringLiteral("%1 of 83 reports were sent").arg(sent)))
            << dialogs.Messages[0].Text.toStdString();
    }
}

TEST_F(AppSettingsTest, RefusalsShowTheirMessagesAndSendNothing) {
    W().WriteAllSettingsToSystemClick();
    Settle();  // nothing read or loaded yet
    W().ReadAllSettingsFromSystemClick();
    Settle();
    simulator.ClearRecord();
    W().Ui().ConnectionBlueTooth->trigger();
    Settle();
    W().WriteAllSettingsToSystemClick();
    Settle();
    W().ResetBluetoothRadioClick();
    Settle();
    W().ResetControlBoxSettingsToDefaultValuesClick();
    Settle();
    EXPECT_TRUE(UsbCodes().empty());
    ASSERT_EQ(dialogs.Messages.size(), 4u);
    EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Warning);
    EXPECT_EQ(dialogs.Messages[1].Kind, MessageKind::Warning);
    EXPECT_EQ(dialogs.Messages[1].Text, "Settings can be refreshed via USB connection only");
    EXPECT_EQ(dialogs.Messages[2].Kind, MessageKind::Error);
    EXPECT_EQ(dialogs.Messages[2].Text, "USB connection to KORVAN KX4 is required");
    EXPECT_EQ(dialogs.Messages[3].Text, "USB connection to KORVAN KX4 is required");
    // The failed reset leaves the settings that were read in the table, so a
    // write does not send the empty table's row defaults.
    EXPECT_TRUE(NoneEmpty(W().Ui().ControlBoxSettingsStringGrid()));
    EXPECT_TRUE(W().Flags().SettingsLoaded);
}

TEST_F(AppSettingsTest, ControlBoxWriteAndResetReadBackWhatTheSystemHolds) {
    W().ReadAllSettingsFromSystemClick();
    Settle();
    Quiet();
    simulator.ClearRecord();
    waiter.Waits.clear();
    Type(W().Ui().ControlBoxSettingsStringGrid(), 8, "321");  // alternator #1 limit
    W().WriteControlBoxSettingsToSystemClick();
    Settle();
    EXPECT_EQ(UsbCodes(), (std::vector<uint8_t>{16, 17, 5, 9}));
    ASSERT_EQ(waiter.Waits.size(), 2u);
    EXPECT_EQ(waiter.Waits[0].Duration, milliseconds(1000));
    EXPECT_EQ(simulator.Settings().Control.Alt1CurrentLimit, 321);
    EXPECT_EQ(Cell(W().Ui().ControlBoxSettingsStringGrid(), 8, 1), "321");

    simulator.ClearRecord();
    waiter.Waits.clear();
    dialogs.AskAnswers = {true};
    W().ResetControlBoxSettingsToDefaultValuesClick();
    Settle();
    EXPECT_EQ(UsbCodes(), (std::vector<uint8_t>{21, 5, 9}));
    ASSERT_EQ(waiter.Waits.size(), 1u);
    EXPECT_TRUE(waiter.Waits[0].ProcessMessages);
    EXPECT_NE(simulator.Settings().Control.Alt1CurrentLimit, 321);
    EXPECT_EQ(Cell(W().Ui().ControlBoxSettingsStringGrid(), 8, 1).toInt(),
              simulator.Settings().Control.Alt1CurrentLimit);
}

TEST_F(AppSettingsTest, BluetoothRadioResetWaitsOutItsTenSeconds) {
    dialogs.AskAnswers = {true};
    W().ResetBluetoothRadioClick();
    Settle();
    EXPECT_EQ(UsbCodes(), (std::vector<uint8_t>{22}));
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[0].Text, "Bluetooth Module reset takes 10 seconds. Please wait");
    EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Information);
    EXPECT_EQ(dialogs.Messages[1].Text, "Bluetooth Module has been reset");
    ASSERT_EQ(waiter.Waits.size(), 1u);
    EXPECT_GT(waiter.Waits[0].Duration, milliseconds(9000));
    EXPECT_LE(waiter.Waits[0].Duration, milliseconds(10000));
    EXPECT_TRUE(waiter.Waits[0].ProcessMessages);
}

TEST_F(AppSettingsTest, BluetoothReadFillsTheTablesFromTheSettingsImage) {
    W().Ui().ConnectionBlueTooth->trigger();
    Settle();
    ASSERT_TRUE(PollBluetoothUntilState()) << W().Bt().BtStatusText;
    Quiet();
    waiter.RealSleep = milliseconds(300);  // the answers need real time to arrive
    W().ReadAllSettingsFromSystemClick();
    Settle();
    ASSERT_EQ(waiter.Waits.size(), 3u);
    for (const RecordedWait& wait : waiter.Waits) {
        EXPECT_EQ(wait.Duration, milliseconds(1000));
        EXPECT_FALSE(wait.ProcessMessages);
    }
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    for (QTableView* table :
         {W().Ui().ControlBoxSettingsStringGrid(), W().Ui().BatteryBoxSettingsStringGrid(),
          W().Ui().FieldBox1SettingsStringGrid(), W().Ui().FieldBox2SettingsStringGrid()})
        EXPECT_TRUE(NoneEmpty(table)) << table->objectName().toStdString();
    EXPECT_EQ(W().Records().FieldSettings[1].LowRpmLimit,
              simulator.Settings().Field[1].LowRpmLimit);
    EXPECT_TRUE(UsbCodes().empty());
}

}  // namespace
}  // namespace korvan

namespace korvan {
namespace {

// While the user types, a value the checks would replace is marked, with the
// row's range and the replacement in its tooltip; the profile drop-down edits
// the profile row itself.
TEST_F(AppSettingsTest, TypedValuesTheChecksWouldReplaceAreMarkedWhileEditing) {
    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    ASSERT_TRUE(W().Flags().SettingsLoaded);
    QTableView* battery = W().Ui().BatteryBoxSettingsStringGrid();
    const QModelIndex ssp = battery->model()->index(7, 1);  // "... (SSP) [0 or 1]"
    EXPECT_FALSE(ssp.data(Qt::BackgroundRole).isValid());
    EXPECT_TRUE(ssp.data(Qt::ToolTipRole).toString().contains("Allowed: 0 or 1"));

    Type(battery, 7, "7");
    Type(battery, 0, "250");  // inside its range: not marked
    EXPECT_TRUE(ssp.data(Qt::BackgroundRole).isValid());
    EXPECT_TRUE(ssp.data(Qt::ToolTipRole).toString().contains("would use 0"));
    EXPECT_FALSE(battery->model()->index(0, 1).data(Qt::BackgroundRole).isValid());
    // The label column tells the whole label, however narrow the column.
    EXPECT_EQ(battery->model()->index(1, 0).data(Qt::ToolTipRole).toString().split('\n')[0],
              QString::fromStdString(BatteryBoxSettingsLabels()[1]));

    Type(battery, 7, "1");
    EXPECT_FALSE(ssp.data(Qt::BackgroundRole).isValid());

    W().Ui().PIComboBox->setCurrentIndex(3);
    EXPECT_EQ(Cell(W().Ui().ControlBoxSettingsStringGrid(), ProfileRow), "3");
    EXPECT_TRUE(W().Ui().PIComboBox->font().bold());  // over its cell, it shows the edit
}

// Without a yes nothing is sent and the tables stay; with it the reset goes
// out, after the settings as read were kept.
TEST_F(AppSettingsTest, ResetsAskFirstAndKeepTheSettingsBefore) {
    struct Case {
        void (TMainFormKX4::*Click)();
        uint8_t Code;
    } const cases[] = {
        {&TMainFormKX4::ResetControlBoxSettingsToDefaultValuesClick, CmdResetControlBoxDefaults},
        {&TMainFormKX4::ResetBluetoothRadioClick, CmdResetBluetoothRadio},
    };
    W().ReadAllSettingsFromSystemClick();
    Settle();
    // Its notice stays over the next poll's text and the empty status tips the
    // pointer sends crossing the menus.
    const QString notice = W().statusBar()->currentMessage();
    EXPECT_FALSE(notice.isEmpty());
    W().USBTimerTimer();
    Settle();
    QStatusTipEvent empty{QString()};
    QApplication::sendEvent(W().menuBar(), &empty);
    EXPECT_EQ(W().statusBar()->currentMessage(), notice);

    QTableView* table = W().Ui().ControlBoxSettingsStringGrid();
    for (const Case& c : cases) {
        const std::vector<std::string> shown = Values(table);
        simulator.ClearRecord();
        dialogs.Questions.clear();
        (W().*c.Click)();
        Settle();
        EXPECT_TRUE(UsbCodes().empty()) << int(c.Code);
        EXPECT_EQ(dialogs.Questions.size(), 1u);
        EXPECT_EQ(Values(table), shown);
        dialogs.AskAnswers = {true};
        (W().*c.Click)();
        Settle();
        ASSERT_FALSE(UsbCodes().empty());
        EXPECT_EQ(UsbCodes().front(), c.Code);
    }
    EXPECT_EQ(W().Session().Backups().List().size(), 2u);

    // The real box: Enter alone takes the default button, Cancel.
    QTimer::singleShot(0,
                       [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    EXPECT_FALSE(QtUserDialogs().ConfirmAction(nullptr, "Reset", "Reset it?", "Reset"));
}

// The chosen backup fills the tables as a loaded file does, and a write then
// gives the system those settings back.
TEST_F(AppSettingsTest, RestoreShowsTheChosenBackupReadyToBeWritten) {
    W().RestoreSettingsFromBackupClick();
    ASSERT_EQ(dialogs.Messages.size(), 1u);  // none kept yet
    EXPECT_TRUE(dialogs.ChoiceLists.empty());

    W().ReadAllSettingsFromSystemClick();
    Settle();
    QTableView* table = W().Ui().ControlBoxSettingsStringGrid();
    const std::vector<std::string> asRead = Values(table);
    const int32_t readLimit = simulator.Settings().Control.Alt1CurrentLimit;
    for (const char* typed : {"321", "322"}) {
        Type(table, 8, typed);  // alternator #1 limit
        W().WriteAllSettingsToSystemClick();
        Settle();
    }
    ASSERT_EQ(simulator.Settings().Control.Alt1CurrentLimit, 322);

    // The older, from before the first write; an unwritten edit is asked about first.
    Type(table, 8, "323");
    dialogs.Choices = {1, 1};
    dialogs.AskAnswers = {false, true};
    W().RestoreSettingsFromBackupClick();
    EXPECT_EQ(Values(table)[8], "323");
    W().RestoreSettingsFromBackupClick();
    ASSERT_EQ(dialogs.ChoiceLists.back().size(), 2);
    EXPECT_EQ(Values(table), asRead);
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    W().WriteAllSettingsToSystemClick();
    Settle();
    EXPECT_EQ(simulator.Settings().Control.Alt1CurrentLimit, readLimit);
}

}  // namespace
}  // namespace korvan

// What the window says after its commands: the notices in the status bar, the
// warning of a write that stopped part-way, the list of values the checks
// replaced; and the keyboard's way into the menus and pages.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "display/can_monitor.h"
#include "link/protocol.h"
#include "sim/faults.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

class AppFeedbackTest : public AppUsbTest {
  protected:
    QString Notice() { return W().statusBar()->currentMessage(); }
    QDialog* CorrectionsNotice() { return W().findChild<QDialog*>("CorrectionsNotice"); }
    QString CorrectionsText() {
        auto* text = W().findChild<QPlainTextEdit*>("CorrectionsText");
        return text ? text->toPlainText() : QString();
    }
    void UnplugAfterReport(uint64_t report) {
        simulator.Faults().AddScripted(
            {SimFault::UsbUnplugAfterReport, report, CmdWriteControlBoxSettings});
    }
    QTemporaryDir dir;
};

TEST_F(AppFeedbackTest, EachCommandEndsWithItsNotice) {
    W().ReadAllSettingsFromSystemClick();
    Settle();
    EXPECT_EQ(Notice(), "All settings read from the system");
    // The poll writes its text under the notice; the notice stays on top.
    W().USBTimerTimer();
    Settle();
    EXPECT_EQ(Notice(), "All settings read from the system");
    EXPECT_EQ(W().Ui().StatusText->text().toStdString(), W().Usb().UsbStatusText);

    W().WriteAllSettingsToSystemClick();
    Settle();
    EXPECT_EQ(Notice(), "All settings written: 83 reports");
    W().WriteControlBoxSettingsToSystemClick();
    Settle();
    EXPECT_EQ(Notice(), "Control box settings written and read back");
    dialogs.AskAnswers = {true, true};  // both resets confirmed
    W().ResetControlBoxSettingsToDefaultValuesClick();
    Settle();
    EXPECT_EQ(Notice(), "Control box settings reset to their default values");
    W().ResetBluetoothRadioClick();
    Settle();
    EXPECT_EQ(Notice(), "Bluetooth radio reset");

    const QString path = dir.filePath("boat.korvan3");
    dialogs.SavePath = path;
    W().SaveSettingsToFileClick();
    Settle();
    EXPECT_EQ(Notice(), "Settings saved to boat.korvan3");
    dialogs.OpenPath = path;
    W().LoadSettingsFromFileClick();
    Settle();
    EXPECT_EQ(Notice(), "Settings loaded from boat.korvan3");
    dialogs.OpenPath.clear();
    W().LoadSettingsFromFileClick();
    Settle();
    EXPECT_EQ(Notice(), "Load cancelled: nothing changed");
    // Failures have their own notices besides their message boxes.
    dialogs.OpenPath = dir.filePath("missing.korvan3");
    W().LoadSettingsFromFileClick();
    Settle();
    EXPECT_EQ(Notice(), "Settings not loaded from missing.korvan3");
    hid.FailCode = CmdBatteryBoxSettings;
    W().ReadAllSettingsFromSystemClick();
    Settle();
    EXPECT_TRUE(Notice().startsWith("Reading the settings failed: ")) << Notice().toStdString();
    W().Ui().ConnectionBlueTooth->trigger();
    Settle();
    W().ResetBluetoothRadioClick();
    Settle();
    EXPECT_EQ(Notice(), "Bluetooth radio not reset");
}

TEST_F(AppFeedbackTest, WriteCutShortWarnsOfAMixOfOldAndNewSettings) {
    W().ReadAllSettingsFromSystemClick();
    Settle();
    simulator.ClearRecord();
    UnplugAfterReport(37);
    W().WriteAllSettingsToSystemClick();
    Settle();
    EXPECT_EQ(UsbCodes().size(), 37u);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Warning);
    const QString& text = dialogs.Messages[0].Text;
    EXPECT_TRUE(text.startsWith(
        "Writing all settings stopped at the Battery Control Module: 37 of 83 reports were sent."))
        << text.toStdString();
    EXPECT_TRUE(text.contains("may now hold a mix of old and new settings"));
    EXPECT_TRUE(text.contains("write all settings again"));
    EXPECT_TRUE(Notice().startsWith("Writing all settings stopped after 37 of 83 reports"));

    // The control box write alone: the cable goes after its first report.
    simulator.Faults().ReplugUsb();
    W().USBTimerTimer();
    Settle();
    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    ASSERT_TRUE(W().Flags().SettingsLoaded) << W().Usb().UsbStatusText;
    UnplugAfterReport(1);
    W().WriteControlBoxSettingsToSystemClick();
    Settle();
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[1].Kind, MessageKind::Warning);
    EXPECT_TRUE(dialogs.Messages[1].Text.startsWith(
        "Writing the control box settings stopped at the System Control Module: 1 of 2 "
        "reports were sent."))
        << dialogs.Messages[1].Text.toStdString();
    EXPECT_TRUE(dialogs.Messages[1].Text.contains("write the control box settings again"));
}

// Before a write the user sees what the checks would replace and may go back;
// after it the cells show what the system holds. A save lists them beside the window.
TEST_F(AppFeedbackTest, ReplacedValuesAreShownBeforeTheWriteWithAWayBack) {
    W().USBTimerTimer();
    Settle();  // the modules that are there
    W().ReadAllSettingsFromSystemClick();
    Settle();
    W().WriteAllSettingsToSystemClick();
    Settle();
    EXPECT_TRUE(dialogs.Questions.empty());  // nothing replaced, nothing asked

    QTableView* control = W().Ui().ControlBoxSettingsStringGrid();
    QTableView* field1 = W().Ui().FieldBox1SettingsStringGrid();
    Type(control, 3, "7");    // Use Bluetooth, 0 or 1
    Type(control, 8, "600");  // alternator #1, 1 to 500
    Type(field1, 0, "six");   // alternator poles
    Type(field1, 1, "2.5");   // in range: not listed
    using Handler = void (TMainFormKX4::*)();
    struct Case {
        const char* Name;
        Handler Command;
        bool Write;
        int Lines;    // in the question
        size_t Sent;  // exchanges with the system
    } cases[] = {
        {"all, back", &TMainFormKX4::WriteAllSettingsToSystemClick, false, 3, 0},
        {"control box, back", &TMainFormKX4::WriteControlBoxSettingsToSystemClick, false, 2, 0},
        {"control box", &TMainFormKX4::WriteControlBoxSettingsToSystemClick, true, 2, 4},
        {"all", &TMainFormKX4::WriteAllSettingsToSystemClick, true, 1, 83},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        simulator.ClearRecord();
        dialogs.Questions.clear();
        dialogs.AskAnswers = {c.Write};
        (W().*c.Command)();
        Settle();
        ASSERT_EQ(dialogs.Questions.size(), 1u);
        EXPECT_EQ(dialogs.Questions[0].split('\n').size(), c.Lines + 1);
        EXPECT_EQ(UsbCodes().size(), c.Sent);
        if (!c.Write) {
            EXPECT_EQ(Notice(), "Nothing written: the typed values are as they were");
        }
    }
    // What the question said would be used is what the system holds and shows.
    const SimSettings held = simulator.Settings();
    EXPECT_EQ(Cell(control, 3).toInt(), held.Control.UseBluetooth);
    EXPECT_EQ(Cell(control, 8).toInt(), held.Control.Alt1CurrentLimit);
    EXPECT_EQ(Cell(field1, 0).toInt(), held.Field[0].Poles);
    EXPECT_TRUE(dialogs.Questions[0].endsWith(
        QString("Field Control Module #1, Amount of Alternator Poles [6..32]: typed \"six\", "
                "used %1 (allowed: 2 to 32)")
            .arg(held.Field[0].Poles)))
        << dialogs.Questions[0].toStdString();
    EXPECT_FALSE(Edited(field1, 1));
    EXPECT_EQ(CorrectionsNotice(), nullptr);

    Type(control, 3, "9");
    dialogs.SavePath = dir.filePath("boat.korvan3");
    W().SaveSettingsToFileClick();
    Settle();
    QDialog* notice = CorrectionsNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_FALSE(notice->isModal());
    EXPECT_EQ(CorrectionsText(), QString("System Control Module, Use Bluetooth: typed \"9\", used "
                                         "%1 (allowed: 0 or 1)")
                                     .arg(held.Control.UseBluetooth));
}

// Every label in full and, on settings rows, the allowed range, on both columns.
TEST_F(AppFeedbackTest, RowsTellTheirFullLabelAndRange) {
    auto tip = [](QTableView* table, int row, int column) {
        return table->model()->index(row, column).data(Qt::ToolTipRole).toString();
    };
    QTableView* battery = W().Ui().BatteryBoxSettingsStringGrid();
    for (int column : {0, 1}) {
        EXPECT_EQ(tip(battery, 1, column),
                  "Battery Temperature coefficient, V/°C\nAllowed: 0.001 to 0.100");
        EXPECT_EQ(tip(W().Ui().ControlBoxSettingsStringGrid(), 6, column),
                  "Bulk Target Voltage, V\nAllowed: any number");
        EXPECT_EQ(tip(W().Ui().ControlBoxStateStringGrid(), 0, column), "Charging Stage");
    }
    for (QTableView* table :
         {W().Ui().BatteryBoxSettingsStringGrid(), W().Ui().FieldBox1SettingsStringGrid(),
          W().Ui().FieldBox2SettingsStringGrid(), W().Ui().ControlBoxSettingsStringGrid()})
        for (int row = 0; row < RowCount(table); ++row)
            EXPECT_TRUE(tip(table, row, 1).startsWith(Cell(table, row, 0) + "\nAllowed: ")) << row;
}

TEST_F(AppFeedbackTest, KeyboardReachesMenusAndTables) {
    W().show();
    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    for (auto key :
         {std::pair{Qt::Key_S, Qt::AltModifier}, std::pair{Qt::Key_F10, Qt::NoModifier}}) {
        QTest::keyClick(&W(), key.first, key.second);
        EXPECT_EQ(QApplication::activePopupWidget(), W().Ui().SystemMenu);
        W().Ui().SystemMenu->close();
    }
    QTest::keyClick(&W(), Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(QApplication::activePopupWidget(), W().Ui().OptionsMenu);
    W().Ui().OptionsMenu->close();

    // Tab goes from the state table to the settings table, then to the profile.
    auto next = [&](QWidget* from) {
        QWidget* w = from->nextInFocusChain();
        while (w != from &&
               !((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()))
            w = w->nextInFocusChain();
        return w;
    };
    QWidget* state = W().Ui().ControlBoxStateStringGrid();
    EXPECT_EQ(next(state), W().Ui().ControlBoxSettingsStringGrid());
    EXPECT_EQ(next(next(state)), static_cast<QWidget*>(W().Ui().PIComboBox));
    W().Ui().PageControl->setCurrentWidget(W().Ui().BatteryBoxTabSheet());
    EXPECT_EQ(next(W().Ui().BatteryBoxStateStringGrid()), W().Ui().BatteryBoxSettingsStringGrid());
    W().hide();
}

// Pictures for looking at, in app-pages/ like those of every page: the frame page
// in both views while paused, and a marked cell on the System Control Module page.
TEST_F(AppFeedbackTest, PicturesOfTheFramePageAndAMarkedCell) {
    W().show();
    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    W().Ui().PageControl->setCurrentWidget(W().Ui().CanTabSheet);
    CanMonitor* can = W().Ui().Can;
    QDir().mkpath("app-pages");
    for (bool hex : {true, false}) {
        can->CanViewHexCheckBox->setChecked(hex);
        for (int tick = 0; tick < 12; ++tick) {
            now += std::chrono::milliseconds(500);
            W().USBTimerTimer();
            Settle();
        }
        if (!hex) can->PauseButton->click();
        QApplication::processEvents();
        EXPECT_TRUE(W().grab().save(hex ? "app-pages/feedback-nmea-hex.png"
                                        : "app-pages/feedback-nmea-decimal-paused.png"));
    }
    EXPECT_TRUE(can->PausedLabel->isVisible());

    W().Ui().PageControl->setCurrentWidget(W().Ui().ControlBoxTabSheet());
    QTableView* settings = W().Ui().ControlBoxSettingsStringGrid();
    Type(settings, 3, "7");
    QApplication::processEvents();
    const QImage picture = W().grab().toImage();
    EXPECT_TRUE(picture.save("app-pages/feedback-marked-cell.png"));
    // The marked cell wears the mark's colour; its neighbour does not.
    auto colourAt = [&](int row) {
        const QRect cell = settings->visualRect(settings->model()->index(row, 1));
        const QPoint inside = settings->viewport()->mapTo(&W(), cell.topLeft() + QPoint(150, 8));
        return picture.pixelColor(inside * picture.devicePixelRatio());
    };
    EXPECT_EQ(colourAt(3), QColor(255, 214, 153));
    EXPECT_NE(colourAt(4), QColor(255, 214, 153));
    W().hide();
}

}  // namespace
}  // namespace korvan

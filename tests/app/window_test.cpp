// The window as built: pages, tables, menus, the Options group, the message
// panel, the page rule, Exit, the one-copy guard and the status bar line; the
// window driven by keys alone.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QtTest/QTest>

#include "app/keyboard.h"
#include "app/single_instance.h"
#include "app/status_text.h"
#include "display/trends_view.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

using AppWindowTest = AppTest;

// The captions as they read, without the '&' before each access key; every
// caption has one access key, and no two in a menu share one.
QStringList Captions(const QMenu* menu) {
    QStringList captions;
    QString keys;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            captions << QStringLiteral("|");
            continue;
        }
        const QString text = action->text();
        const qsizetype amp = text.indexOf('&');
        EXPECT_EQ(text.count('&'), 1) << text.toStdString();
        if (amp >= 0 && amp + 1 < text.size()) {
            const QChar key = text.at(amp + 1).toLower();
            EXPECT_FALSE(keys.contains(key)) << text.toStdString();
            keys += key;
        }
        captions << QString(text).remove('&');
    }
    return captions;
}

// The window shown and active, as for a user's keys.
void Activate(TMainFormKX4& window) {
    window.show();
    QApplication::setActiveWindow(&window);
}

// A key as the user presses it: to whatever has the focus.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, key, modifiers);
}

TEST_F(AppWindowTest, StartsWithPagesTablesAndTimersAsDesigned) {
    QStringList pages;
    for (int i = 0; i < W().Ui().PageControl->count(); ++i)
        pages << W().Ui().PageControl->tabText(i);
    EXPECT_EQ(pages, (QStringList{"Battery Control Module", "Field Control Module #1",
                                  "Field Control Module #2", "System Control Module",
                                  "System Outline", "Trends", "NMEA-2000", "Events"}));
    EXPECT_EQ(W().Ui().PageControl->currentWidget(), W().Ui().ControlBoxTabSheet());
    EXPECT_EQ(W().windowTitle(), "Ardexon KORVAN KX4 system");
    EXPECT_EQ(W().Flags().ApplicationTitle, "Ardexon KORVAN KX4 system [User Mode]");
    EXPECT_FALSE(W().Flags().SettingsLoaded);
    EXPECT_EQ(W().Ui().USBTimer->interval(), 500);
    EXPECT_EQ(W().Ui().BTTimer->interval(), 1000);
    EXPECT_EQ(W().Ui().INETTimer->interval(), 2000);
    EXPECT_EQ(W().Remote().State.SupportDomain, DefaultSupportDomain);

    // Empty forms: labels, "-", height fitted to the rows, status boxes empty.
    const struct {
        QTableView* Table;
        int Rows;
        bool Editable;
    } tables[] = {
        {W().Ui().BatteryBoxStateStringGrid(), 15, false},
        {W().Ui().BatteryBoxSettingsStringGrid(), 19, true},
        {W().Ui().FieldBox1StateStringGrid(), 8, false},
        {W().Ui().FieldBox1SettingsStringGrid(), 6, true},
        {W().Ui().FieldBox2StateStringGrid(), 8, false},
        {W().Ui().FieldBox2SettingsStringGrid(), 6, true},
        {W().Ui().ControlBoxStateStringGrid(), 11, false},
        {W().Ui().ControlBoxSettingsStringGrid(), 13, true},
    };
    for (const auto& t : tables) {
        SCOPED_TRACE(t.Table->objectName().toStdString() + std::to_string(t.Rows));
        EXPECT_EQ(RowCount(t.Table), t.Rows);
        EXPECT_TRUE(AllEmpty(t.Table));
        EXPECT_EQ(t.Table->height(), t.Rows * 17 + 1);
        EXPECT_EQ(t.Table->columnWidth(0), 210);
        EXPECT_EQ(t.Table->columnWidth(1), 210);
        EXPECT_FALSE(CellFlags(t.Table, 0, 0) & Qt::ItemIsEditable);
        EXPECT_EQ(bool(CellFlags(t.Table, 0, 1) & Qt::ItemIsEditable), t.Editable);
        EXPECT_EQ(t.Table->editTriggers() == QAbstractItemView::NoEditTriggers, !t.Editable);
    }
    EXPECT_EQ(Cell(W().Ui().ControlBoxStateStringGrid(), 0, 0), "Charging Stage");
    EXPECT_TRUE(W().Ui().ControlBoxStatusMemo()->toPlainText().isEmpty());
    EXPECT_TRUE(W().Ui().ChargeProfileTabControl->isHidden());
    EXPECT_TRUE(W().Ui().ChargeProfileStringGrid->isHidden());
    EXPECT_EQ(W().Ui().ChargeProfileTabControl->tabText(7), "7 - Custom #3");
    EXPECT_TRUE(W().Ui().MessagePanel->isHidden());
    EXPECT_EQ(W().Ui().MessagePanel->text(), " Message");

    // The drop-down covers the value cell of row 5 of the control box settings.
    EXPECT_EQ(W().Ui().PIComboBox->parentWidget(), W().Ui().ControlBoxSettingsStringGrid());
    EXPECT_EQ(W().Ui().PIComboBox->currentText(), "FLA");
    EXPECT_EQ(W().Ui().PIComboBox->count(), 8);
    QTableView* settings = W().Ui().ControlBoxSettingsStringGrid();
    const QRect cell = settings->visualRect(settings->model()->index(5, 1));
    const QPoint cellTopLeft = W().Ui().ControlBoxSettingsStringGrid()->viewport()->mapTo(
        W().Ui().ControlBoxSettingsStringGrid(), cell.topLeft());
    EXPECT_EQ(W().Ui().PIComboBox->geometry().topLeft(), cellTopLeft);
}

TEST_F(AppWindowTest, MenusCarryTheirCaptionsSeparatorsAndMarks) {
    const QList<QAction*> top = W().menuBar()->actions();
    ASSERT_EQ(top.size(), 2);
    EXPECT_EQ(top[0]->text(), "&System");
    EXPECT_EQ(top[1]->text(), "&Options");
    EXPECT_EQ(Captions(W().Ui().SystemMenu),
              (QStringList{"Save Settings To File", "Load Settings From File",
                           "Restore Settings From Backup...", "Export History to CSV...", "|",
                           "Read All Settings From System", "Write All Settings To System",
                           "Write Control Box Settings Only To System", "|",
                           "Reset Control Box Settings To Default Values", "Reset Bluetooth Radio ",
                           "|", "Exit"}));
    EXPECT_EQ(
        Captions(W().Ui().OptionsMenu),
        (QStringList{"Connection", "|", "Center Gauge Display", "On-screen FRS Controls", "|",
                     "Share data with support", "Send Chat Message", "Support Domain...",
                     "New Support Session...", "Join Support Session...", "End Support Session",
                     "Chat History", "|", "Enable Data Logging to File", "Alarms..."}));
    EXPECT_EQ(Captions(W().Ui().OptionsMenu->actions()[0]->menu()),
              (QStringList{"USB", "BlueTooth", "Remote via Internet"}));
    EXPECT_EQ(Captions(W().Ui().OptionsMenu->actions()[2]->menu()),
              (QStringList{"Battery Voltage", "Battery Current", "SOC", "Load Current",
                           "Battery Temperature"}));
    EXPECT_TRUE(W().Ui().ConnectionUSB->isChecked());
    EXPECT_TRUE(W().Ui().CenterGaugeDisplayVoltage->isChecked());
    EXPECT_EQ(W().Ui().SendChatMessage->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));

    // One connection at a time; choosing one opens and closes nothing.
    W().Ui().ConnectionBlueTooth->trigger();
    Settle();
    EXPECT_FALSE(W().Ui().ConnectionUSB->isChecked());
    W().Ui().RemoteViaInternetToProvideSupport->trigger();
    Settle();
    EXPECT_FALSE(W().Ui().ConnectionBlueTooth->isChecked());
    W().ConnectionUSBClick();
    Settle();
    EXPECT_TRUE(W().Ui().ConnectionUSB->isChecked());
    EXPECT_FALSE(W().Ui().RemoteViaInternetToProvideSupport->isChecked());
    W().Ui().CenterGaugeDisplaySOC->trigger();
    Settle();
    EXPECT_FALSE(W().Ui().CenterGaugeDisplayVoltage->isChecked());
}

TEST_F(AppWindowTest, OptionsGroupChecksOneAndMayBeAllClear) {
    W().Ui().OnScreenFRSControls->trigger();
    Settle();
    EXPECT_TRUE(W().Ui().OnScreenFRSControls->isChecked());
    W().Ui().ShareDataWithSupport->trigger();
    Settle();
    EXPECT_TRUE(W().Ui().ShareDataWithSupport->isChecked());
    EXPECT_FALSE(W().Ui().OnScreenFRSControls->isChecked());
    // Clearing the checked one leaves all three clear.
    W().Ui().ShareDataWithSupport->trigger();
    Settle();
    EXPECT_FALSE(W().Ui().ShareDataWithSupport->isChecked());
    EXPECT_FALSE(W().Ui().OnScreenFRSControls->isChecked());
    EXPECT_FALSE(W().Ui().EnableDataLoggingToFile->isChecked());
    // Logging needs a file: a cancelled dialog takes the mark away again.
    W().Ui().ShareDataWithSupport->trigger();
    Settle();
    W().Ui().EnableDataLoggingToFile->trigger();
    Settle();
    EXPECT_FALSE(W().Ui().EnableDataLoggingToFile->isChecked());
    EXPECT_FALSE(W().Ui().ShareDataWithSupport->isChecked());
    ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(dialogs.SaveRequests[0].Title, "Log Data To File");
    EXPECT_EQ(dialogs.SaveRequests[0].Filter, "Text Files (*.txt)");
    EXPECT_EQ(dialogs.SaveRequests[0].DefaultSuffix, "txt");
    EXPECT_EQ(dialogs.SaveRequests[0].DefaultName, "Log.txt");
    EXPECT_TRUE(W().Ui().USBTimer->isActive());  // the timers run again after the dialog
}

TEST_F(AppWindowTest, MessagePanelHidesOnEscapeOrAfterFiveSeconds) {
    W().ShowPanelMessage(" Message from SUPPORT: hello");
    EXPECT_TRUE(W().Ui().MessagePanel->isVisibleTo(&W()));
    EXPECT_EQ(W().Ui().MessagePanel->text(), " Message from SUPPORT: hello");

    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(W().Ui().PageControl, &other);
    EXPECT_TRUE(W().Ui().MessagePanel->isVisibleTo(&W()));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(W().Ui().PageControl, &escape);
    EXPECT_FALSE(W().Ui().MessagePanel->isVisibleTo(&W()));

    W().ShowPanelMessage(" CLIENT sent settings");
    QEvent any(QEvent::User);
    QApplication::sendEvent(&W(), &any);
    EXPECT_TRUE(W().Ui().MessagePanel->isVisibleTo(&W()));  // shown just now
    W().Flags().MessageShownAt = QDateTime::currentDateTime().addMSecs(-5100);
    QApplication::sendEvent(&W(), &any);
    EXPECT_FALSE(W().Ui().MessagePanel->isVisibleTo(&W()));
}

TEST_F(AppWindowTest, CopyInATextBoxIsNotTakenByTheChatShortcut) {
    W().show();
    W().Ui().ControlBoxStatusMemo()->setPlainText("Status OK");
    W().Ui().ControlBoxStatusMemo()->selectAll();
    W().Ui().ControlBoxStatusMemo()->setFocus();
    QApplication::setActiveWindow(&W());
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    override.ignore();
    QApplication::sendEvent(W().Ui().ControlBoxStatusMemo(), &override);
    EXPECT_TRUE(override.isAccepted());
    W().Ui().ControlBoxStatusMemo()->moveCursor(QTextCursor::End);  // nothing selected: chat
    QKeyEvent again(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    again.ignore();
    QApplication::sendEvent(W().Ui().ControlBoxStatusMemo(), &again);
    EXPECT_FALSE(again.isAccepted());
    W().hide();
}

// The window can be resized and maximised on any page; the gauges and the plots
// maximise it, and leaving them gives the size back unless the user had
// maximised it. Every page's tab shows, without scroll arrows.
TEST_F(AppWindowTest, WindowResizesAndTheGaugePagesMaximiseIt) {
    QTabWidget* pages = W().Ui().PageControl;
    EXPECT_EQ(W().maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    W().show();
    // At its smallest every page has the room its controls ask for.
    W().resize(1, 1);
    for (int i = 0; i < pages->count(); ++i) {
        const QSize room = pages->widget(i)->minimumSizeHint();
        EXPECT_LE(room.width(), pages->width() - 4) << i;
        EXPECT_LE(room.height(), pages->height() - pages->tabBar()->height()) << i;
        EXPECT_LE(pages->tabBar()->tabRect(i).right(), pages->tabBar()->width()) << i;
    }
    for (QWidget* page : {W().Ui().OutlineTabSheet, W().Ui().BatteryBoxTabSheet(),
                          static_cast<QWidget*>(W().Ui().TrendsTabSheet), W().Ui().CanTabSheet}) {
        pages->setCurrentWidget(page);
        const bool wide = page == W().Ui().OutlineTabSheet || page == W().Ui().TrendsTabSheet;
        EXPECT_EQ(W().isMaximized(), wide) << pages->tabText(pages->currentIndex()).toStdString();
    }

    W().setWindowState(Qt::WindowMaximized);  // the user's own choice stays
    pages->setCurrentWidget(W().Ui().OutlineTabSheet);
    pages->setCurrentWidget(W().Ui().FieldBox1TabSheet());
    EXPECT_TRUE(W().windowState() & Qt::WindowMaximized);
    W().hide();
}

TEST_F(AppWindowTest, ExitClosesBothLinks) {
    W().USBTimerTimer();
    Settle();
    ASSERT_TRUE(W().Usb().IsOpen());
    W().Ui().ConnectionBlueTooth->trigger();
    Settle();
    W().BTTimerTimer();
    Settle();  // the failing first exchange connects the port
    ASSERT_TRUE(W().Bt().IsOpen());
    EXPECT_TRUE(W().Usb().IsOpen());  // a link no longer chosen stays open
    W().show();
    W().Exit1Click();
    Settle();
    EXPECT_FALSE(W().Usb().IsOpen());
    EXPECT_FALSE(W().Bt().IsOpen());
    EXPECT_FALSE(W().isVisible());
}

TEST(AppProgram, SecondCopyFindsTheFirst) {
    const QString name = QStringLiteral("KorvanAppTest%1").arg(QCoreApplication::applicationPid());
    SingleInstance first(name);
    EXPECT_FALSE(first.AnotherRunning());
    SingleInstance second(name);
    EXPECT_TRUE(second.AnotherRunning());
    // The first copy keeps serving after the second gave up.
    SingleInstance third(name);
    EXPECT_TRUE(third.AnotherRunning());
}

TEST(AppProgram, StatusTextsBecomeOneLine) {
    EXPECT_EQ(OneLineStatus("65 bytes received"), "65 bytes received");
    EXPECT_EQ(OneLineStatus("Connection to KORVAN KX4 created\rKORVAN-III\rPort= /dev/pts/3"),
              "Connection to KORVAN KX4 created | KORVAN-III | Port= /dev/pts/3");
    EXPECT_EQ(OneLineStatus("a\r\n\r\nb\n"), "a | b");
    EXPECT_EQ(OneLineStatus(""), "");
}

}  // namespace
}  // namespace korvan

namespace korvan {
namespace {

TEST_F(AppWindowTest, DecimalSeparatorComesFromTheUsersLocale) {
    const QLocale user;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TMainFormKX4 german(Seams());
    QLocale::setDefault(user);
    german.Ui().USBTimer->stop();
    german.Ui().BTTimer->stop();
    german.Ui().INETTimer->stop();
    EXPECT_EQ(german.DecimalSeparator(), ',');
    german.USBTimerTimer();  // opens the device
    Settle(german);
    german.USBTimerTimer();
    Settle(german);
    const QString voltage = Cell(german.Ui().BatteryBoxStateStringGrid(), 0, 1);
    EXPECT_TRUE(voltage.contains(',')) << voltage.toStdString();
}

// Every page in turn with the focus on one of its controls; then from the first
// page to a settings cell on the last module page, typed and left by Tab, and
// back, by keys alone.
TEST_F(AppWindowTest, KeysReachEveryPageAndASettingsCellAndBack) {
    ConnectUsb();
    Activate(W());
    W().USBTimerTimer();  // the bus is there: every page shows
    W().ReadAllSettingsFromSystemClick();
    Settle();
    QTabWidget* pages = W().Ui().PageControl;
    pages->setCurrentIndex(0);
    W().Ui().BatteryBoxStateStringGrid()->setFocus();
    for (int i = 1; i <= pages->count() + 3; ++i) {  // round once, on to the last module
        Press(i % 2 ? Qt::Key_Tab : Qt::Key_PageDown, Qt::ControlModifier);
        EXPECT_EQ(pages->currentIndex(), i % pages->count());
        EXPECT_TRUE(pages->currentWidget()->isAncestorOf(QApplication::focusWidget())) << i;
    }
    ASSERT_EQ(pages->currentWidget(), W().Ui().ControlBoxTabSheet());
    EXPECT_EQ(QApplication::focusWidget(), W().Ui().ControlBoxStateStringGrid());
    QTableView* state = W().Ui().ControlBoxStateStringGrid();
    state->setCurrentIndex(state->model()->index(0, 1));
    QApplication::clipboard()->clear();
    Press(Qt::Key_C, Qt::ControlModifier);  // a copy of the cell, not the chat
    EXPECT_EQ(QApplication::clipboard()->text(), Cell(state, 0));

    QTableView* settings = W().Ui().ControlBoxSettingsStringGrid();
    Press(Qt::Key_Tab);  // out of the state table
    ASSERT_EQ(QApplication::focusWidget(), settings);
    settings->setCurrentIndex(settings->model()->index(0, 1));
    for (int row = 0; row < 8; ++row) Press(Qt::Key_Down);  // alternator #1 limit
    ASSERT_EQ(settings->currentIndex().row(), 8);
    Press(Qt::Key_F2);
    ASSERT_NE(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr);
    QTest::keyClicks(QApplication::focusWidget(), "321");
    Press(Qt::Key_Tab);  // while editing, the table takes Tab: the cell is written
    EXPECT_EQ(Cell(settings, 8), "321");
    EXPECT_EQ(QApplication::focusWidget(), settings);
    Press(Qt::Key_Tab);  // not editing: Tab leaves the table
    EXPECT_EQ(QApplication::focusWidget(), W().Ui().PIComboBox);

    Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    Press(Qt::Key_PageUp, Qt::ControlModifier);
    Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(W().Ui().PageControl->currentWidget(), W().Ui().BatteryBoxTabSheet());
    EXPECT_EQ(QApplication::focusWidget(), W().Ui().BatteryBoxStateStringGrid());
}

// Ctrl+C copies the selected cells of a table, a line per row and a TAB per
// column, not the current cell alone.
TEST(TableCopy, SelectedCellsKeepTheirRowsAndColumns) {
    QStandardItemModel model(3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            model.setItem(r, c, new QStandardItem(QString("%1%2").arg(r).arg(c)));
    QTableView view;
    view.setModel(&model);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.selectionModel()->setCurrentIndex(model.index(2, 1), QItemSelectionModel::NoUpdate);
    EXPECT_EQ(SelectedCellsText(&view), "21");  // none selected: the current cell
    for (int cell : {0, 2, 4, 8})
        view.selectionModel()->select(model.index(cell / 3, cell % 3), QItemSelectionModel::Select);
    EXPECT_EQ(SelectedCellsText(&view), "00\t\t02\n\t11\t\n\t\t22");  // gaps stay empty
}

}  // namespace
}  // namespace korvan

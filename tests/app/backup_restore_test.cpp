// Risky steps asked first, the settings kept before them and restored on
// request, and notices that stay until they have been read.
#include <QApplication>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QTimer>
#include <QtTest/QTest>

#include "link/protocol.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

using AppBackupTest = AppUsbTest;

// Without a yes nothing is sent and the tables stay; with it the reset goes
// out, after the settings as read were kept.
TEST_F(AppBackupTest, ResetsAskFirstAndKeepTheSettingsBefore) {
    struct Case {
        void (TMainFormKX4::*Click)();
        uint8_t Code;
    } const cases[] = {
        {&TMainFormKX4::ResetControlBoxSettingsToDefaultValuesClick, CmdResetControlBoxDefaults},
        {&TMainFormKX4::ResetBluetoothRadioClick, CmdResetBluetoothRadio},
    };
    W().ReadAllSettingsFromSystemClick();
    Settle();
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
// gives the system those settings back. Cancel changes nothing.
TEST_F(AppBackupTest, RestoreShowsTheChosenBackupReadyToBeWritten) {
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

    W().RestoreSettingsFromBackupClick();  // cancelled
    EXPECT_EQ(Cell(table, 8), "322");
    dialogs.Choices = {1};  // the older: before the first write
    W().RestoreSettingsFromBackupClick();
    ASSERT_EQ(dialogs.ChoiceLists.back().size(), 2);
    EXPECT_EQ(Values(table), asRead);
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    W().WriteAllSettingsToSystemClick();
    Settle();
    EXPECT_EQ(simulator.Settings().Control.Alt1CurrentLimit, readLimit);
}

// A command's notice stays over the polls' texts and over the empty status
// tips the pointer sends crossing the menus.
TEST_F(AppBackupTest, ANoticeOutlastsPollsAndMenuHovering) {
    W().ReadAllSettingsFromSystemClick();
    Settle();
    const QString notice = W().statusBar()->currentMessage();
    ASSERT_FALSE(notice.isEmpty());
    W().USBTimerTimer();
    Settle();
    QStatusTipEvent empty{QString()};
    QApplication::sendEvent(W().menuBar(), &empty);
    EXPECT_EQ(W().statusBar()->currentMessage(), notice);
}

}  // namespace
}  // namespace korvan

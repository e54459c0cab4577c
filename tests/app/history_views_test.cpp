// The Events page and the Alarms dialog as a user drives them: events listed,
// filtered and exported; a threshold raised in the dialog fires on the
// simulated system, shows in the status bar and the log, and is kept.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include "app/alarms_dialog.h"
#include "app/event_log_page.h"
#include "app/window_ui.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

class HistoryViewsTest : public AppUsbTest {
  protected:
    EventLogPage* Page() { return W().findChild<EventLogPage*>(); }
    QStringList Column(int column) {
        QStringList texts;
        QTableWidget* t = Page()->Table();
        for (int r = 0; r < t->rowCount(); ++r) texts << t->item(r, column)->text();
        return texts;
    }
    QAction* AlarmsAction() {
        for (QAction* a : W().Ui().OptionsMenu->actions())
            if (a->objectName() == "Alarms") return a;
        return nullptr;
    }
    QTemporaryDir dir;
};

TEST_F(HistoryViewsTest, TheEventsPageListsFiltersAndExportsWhatHappened) {
    ASSERT_TRUE(dir.isValid());
    ASSERT_NE(Page(), nullptr);
    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    dialogs.SavePath = dir.filePath("boat.korvan3");
    W().SaveSettingsToFileClick();
    Settle();
    // Newest first.
    EXPECT_EQ(Column(1).mid(0, 2), (QStringList{"File", "Settings"}))
        << Column(2).join("|").toStdString();
    EXPECT_TRUE(Column(2)[0].endsWith("boat.korvan3"));

    Page()->KindBox()->setCurrentText("Settings");
    EXPECT_EQ(Column(2), (QStringList{"Settings read from the system"}));
    Page()->KindBox()->setCurrentIndex(0);
    Page()->TextBox()->setText("KORVAN3");  // the word, in any case
    EXPECT_EQ(Column(1), (QStringList{"File"}));

    dialogs.SavePath = dir.filePath("events.csv");
    Page()->Export();
    QFile csv(dir.filePath("events.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);  // header, the one event shown, the end of the last line
    EXPECT_EQ(lines[0], "\xEF\xBB\xBFTime,Kind,Event\r");
    EXPECT_TRUE(lines[1].contains(",File,Settings saved to ")) << lines[1].toStdString();
}

TEST_F(HistoryViewsTest, AnAlarmSetInTheDialogFiresOnTheSystemAndIsKept) {
    ASSERT_TRUE(dir.isValid());
    // A window whose alarm rules are kept in a settings file of the test's.
    window.reset();
    WindowSeams seams = Seams();
    seams.AlarmSettings = dir.filePath("alarms.ini");
    window = std::make_unique<TMainFormKX4>(seams);
    Quiet();
    ConnectUsb();
    simulator.SetSoc(70);

    ASSERT_NE(AlarmsAction(), nullptr);
    AlarmsAction()->trigger();
    auto* dialog = W().findChild<AlarmsDialog*>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    QTableWidget* rules = dialog->Table();
    ASSERT_EQ(rules->item(0, 1)->text(), "State of charge low");
    rules->item(0, 4)->setText("80");  // threshold
    rules->item(0, 6)->setText("0");   // delay
    rules->item(1, 4)->setText("high");
    dialog->accept();  // a number that does not read keeps the dialog open
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_TRUE(dialog->isVisible());
    rules->item(1, 4)->setText("15");
    dialog->accept();
    EXPECT_EQ(W().Session().Alarms().Rules()[0].Threshold, 80);

    W().USBTimerTimer();
    Settle();
    EXPECT_TRUE(W().statusBar()->currentMessage().startsWith("Alarm raised: State of charge low"))
        << W().statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(Column(2).contains(W().statusBar()->currentMessage()));
    // The raised alarm stays named in the status bar after its notice has gone,
    // until a changed rule clears it.
    auto* active = W().findChild<QLabel*>("ActiveAlarms");
    ASSERT_NE(active, nullptr);
    EXPECT_TRUE(active->isVisibleTo(&W()));
    EXPECT_EQ(active->text(), "Alarm: State of charge low");
    AlarmsAction()->trigger();
    dialog = W().findChildren<AlarmsDialog*>().back();  // the first one may await deletion
    dialog->Table()->item(0, 4)->setText("60");
    dialog->accept();
    EXPECT_FALSE(active->isVisibleTo(&W()));
    EXPECT_TRUE(Column(2).contains("Alarm cleared: State of charge low (rule changed)"));

    // The next window starts with the rule as changed.
    window.reset();
    window = std::make_unique<TMainFormKX4>(seams);
    Quiet();
    EXPECT_EQ(W().Session().Alarms().Rules()[0].Threshold, 60);
    EXPECT_EQ(W().Session().Alarms().Rules().size(), DefaultAlarmRules().size());
}

}  // namespace
}  // namespace korvan

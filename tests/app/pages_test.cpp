// Every page after a few seconds of a live system, as the user sees it. The
// pictures land in app-pages/ under the test's working folder for looking at.
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTableView>

#include "display/can_monitor.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

using AppPagesTest = AppUsbTest;

TEST_F(AppPagesTest, EveryPageShowsTheLiveSystem) {
    W().show();
    W().USBTimerTimer();
    Settle();  // the read fills the tables of the modules this poll reports
    W().ReadAllSettingsFromSystemClick();
    Settle();
    Quiet();
    W().Ui().PageControl->setCurrentWidget(W().Ui().CanTabSheet);
    for (int tick = 0; tick < 8; ++tick) {
        now += std::chrono::milliseconds(500);
        W().USBTimerTimer();
        Settle();
    }
    EXPECT_FALSE(W().Ui().Can->Lines().isEmpty());
    QDir().mkpath("app-pages");
    for (int page = 0; page < W().Ui().PageControl->count(); ++page) {
        W().Ui().PageControl->setCurrentIndex(page);
        W().USBTimerTimer();
        Settle();
        const QPixmap picture = W().grab();
        EXPECT_FALSE(picture.isNull());
        EXPECT_TRUE(picture.save(QStringLiteral("app-pages/page%1.png").arg(page)));
    }
    for (QTableView* table :
         {W().Ui().ControlBoxStateStringGrid(), W().Ui().BatteryBoxStateStringGrid(),
          W().Ui().FieldBox1StateStringGrid(), W().Ui().FieldBox2StateStringGrid(),
          W().Ui().ControlBoxSettingsStringGrid(), W().Ui().BatteryBoxSettingsStringGrid(),
          W().Ui().FieldBox1SettingsStringGrid(), W().Ui().FieldBox2SettingsStringGrid()})
        EXPECT_TRUE(NoneEmpty(table)) << table->objectName().toStdString();
    W().hide();
}

}  // namespace
}  // namespace korvan

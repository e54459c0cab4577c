// The "Trends" page on the offscreen platform: the plots carry the recorded
// series with the lost link as a break, series switch off, the read-out follows
// the cursor's time, the stale text shows, windows and zoom move the range, and
// the export writes the file.
#include "display/trends_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTemporaryDir>

#include "display/history_export.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

const HistoryTime Start = HistoryTime(1796734920000ms);  // 2026-12-08 13:02:00 UTC

size_t Series(const char* name) { return FindHistorySeries(name).value(); }

// Ten minutes of polls every 500 ms with a minute of lost link after five.
void FillTenMinutes(HistoryRecorder& h) {
    SystemData d{};
    for (int n = 0; n < 1200; ++n) {
        if (n >= 600 && n < 720) {
            if (n == 600) h.MarkGap(Start + n * 500ms);
            continue;
        }
        d.BatteryState.TrueBatteryVoltage = 12.5 + (n % 200) / 100.0;
        d.BatteryState.BatteryCurrent = 20 + n % 7;
        d.BatteryState.Soc = uint8_t(60 + n / 60);
        d.ControlState.ChargingStage = uint8_t(n < 300 ? 1 : 3);
        d.FieldState[0].EngineRpm = 1500;
        h.Record(Start + n * 500ms, d);
    }
}

// The drawn segments of one series: its line series that hold points.
std::vector<QLineSeries*> DrawnSegments(TrendsView& view, size_t series) {
    std::vector<QLineSeries*> drawn;
    const QString name = QString::fromStdString(HistorySeriesTable()[series].Name);
    for (TrendsChart* chart : view.Charts)
        for (QAbstractSeries* s : chart->chart()->series())
            if (auto* line = qobject_cast<QLineSeries*>(s);
                line && line->name() == name && line->count())
                drawn.push_back(line);
    return drawn;
}

struct TrendsPage : testing::Test {
    HistoryRecorder history;
    TrendsView view{history};
    void SetUp() override {
        FillTenMinutes(history);
        view.resize(1200, 800);
        view.show();
        QApplication::processEvents();
        view.SetWindow(TrendsWindow::OneHour);
    }
};

TEST_F(TrendsPage, ShowsTheSeriesWithTheLostLinkAsABreak) {
    ASSERT_EQ(view.Charts.size(), 5u);
    const auto volts = DrawnSegments(view, Series("Battery Voltage"));
    ASSERT_EQ(volts.size(), 2u) << "one line before the lost link, one after";
    EXPECT_LT(volts[0]->at(volts[0]->count() - 1).x(),
              double((Start + 300s).time_since_epoch().count()));
    EXPECT_GE(volts[1]->at(0).x(), double((Start + 360s).time_since_epoch().count()));
    EXPECT_EQ(DrawnSegments(view, Series("Battery Current")).size(), 2u);
    EXPECT_EQ(DrawnSegments(view, Series("Field Box #1 Engine RPM")).size(), 2u);
    // Decimated to the plot's width: far fewer points than polls.
    EXPECT_LT(volts[0]->count() + volts[1]->count(), 4 * 1200);

    view.SetSeriesShown(Series("Battery Voltage"), false);
    EXPECT_FALSE(view.SeriesShown(Series("Battery Voltage")));
    EXPECT_TRUE(DrawnSegments(view, Series("Battery Voltage")).empty());
    view.SetSeriesShown(Series("Voltage Drop"), true);
    EXPECT_EQ(DrawnSegments(view, Series("Voltage Drop")).size(), 2u);
}

TEST_F(TrendsPage, ReadsOutEverySeriesAtTheCursorsTime) {
    view.ShowReadout(Start + 10s);  // poll 20
    EXPECT_EQ(view.ReadoutText(Series("Battery Voltage")), "12.70 V");
    EXPECT_EQ(view.ReadoutText(Series("Battery Current")), "26 A");
    EXPECT_EQ(view.ReadoutText(Series("Charging Stage")), "1 Warm-up");
    EXPECT_EQ(view.ReadoutText(Series("Battery #1 Temperature")), "0 °C");
    EXPECT_EQ(view.ReadoutText(Series("Control Box Status")), "0x0000");
    EXPECT_TRUE(view.CursorLabel->text().startsWith("At "));
    view.ShowReadout(Start + 330s);  // in the lost minute
    EXPECT_EQ(view.ReadoutText(Series("Battery Voltage")), "-");
    view.ShowReadout(std::nullopt);
    EXPECT_EQ(view.ReadoutText(Series("Charging Stage")), "3 Bulk & Absorb");
    EXPECT_TRUE(view.CursorLabel->text().startsWith("Newest: "));
}

TEST_F(TrendsPage, ShowsSinceWhenNoDataCame) {
    EXPECT_FALSE(view.StaleLabel->isVisible());
    const HistoryTime since = *history.LastPollTime();
    view.SetStale(since);
    ASSERT_TRUE(view.StaleLabel->isVisible());
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(since.time_since_epoch().count());
    const QString clock =
        local.toString(local.date() == QDate::currentDate() ? "HH:mm:ss" : "yyyy-MM-dd HH:mm:ss");
    EXPECT_EQ(view.StaleLabel->text(), "No data since " + clock);
    view.SetStale(std::nullopt);
    EXPECT_FALSE(view.StaleLabel->isVisible());
}

TEST_F(TrendsPage, WindowsZoomAndPanMoveTheVisibleRange) {
    const HistoryTime newest = *history.LastPollTime();
    view.SetWindow(TrendsWindow::FiveMinutes);
    EXPECT_EQ(view.VisibleRange().To, newest);
    EXPECT_EQ(view.VisibleRange().To - view.VisibleRange().From, 5min);
    view.SetWindow(TrendsWindow::All);
    EXPECT_EQ(view.VisibleRange().From, Start);

    view.SetWindow(TrendsWindow::FiveMinutes);
    view.Zoom(newest - 60s, 0.5);
    EXPECT_EQ(view.VisibleRange().To - view.VisibleRange().From, 150s);
    EXPECT_EQ(view.VisibleRange().To, newest - 30s);
    // A poll arriving while zoomed does not move the range.
    SystemData d{};
    history.Record(newest + 500ms, d);
    view.Refresh();
    EXPECT_EQ(view.VisibleRange().To, newest - 30s);
    // Dragged back to the newest data, the range follows it again.
    view.Pan(40s);
    history.Record(newest + 1000ms, d);
    view.Refresh();
    EXPECT_EQ(view.VisibleRange().To, newest + 1000ms);
    EXPECT_EQ(view.VisibleRange().To - view.VisibleRange().From, 150s);
}

TEST_F(TrendsPage, ExportsTheVisibleRangeToAFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::optional<HistoryRange> asked;
    QObject::connect(&view, &TrendsView::ExportRequested, [&](HistoryRange r) { asked = r; });
    view.SetWindow(TrendsWindow::FiveMinutes);
    view.ExportButton->click();
    ASSERT_TRUE(asked.has_value());
    const QString path = dir.filePath("history.csv");
    QString error;
    ASSERT_EQ(ExportHistoryCsvFile(&view, history, path, *asked, &error),
              HistoryExportResult::Written)
        << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_TRUE(lines[0].startsWith("\xEF\xBB\xBFTime,\"Battery Voltage, V\""));
    // The header, polls 599 and 720-1199, the gap line between them, the end.
    EXPECT_EQ(lines.size(), 1 + 481 + 1 + 1);
    EXPECT_EQ(
        ExportHistoryCsvFile(&view, history, dir.filePath("no/such/dir.csv"), std::nullopt, &error),
        HistoryExportResult::Failed);
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace korvan

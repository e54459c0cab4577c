// The "Trends" page: what the system did over the last minutes, hours and days.
// Stacked plots on one time axis (voltages; currents; state of charge;
// temperatures; engine speeds and field drive) over the charging stage band,
// windows of 5 min, 1 h, 24 h or everything, zoom with the wheel, pan by dragging,
// a double click back to the newest data, a read-out of every series at the
// cursor, series switched on and off in the list beside the plots.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "display/trends_chart.h"
#include "display/trends_viewport.h"
#include "history/history_csv.h"
#include "history/history_recorder.h"

class QButtonGroup;
class QLabel;
class QLineSeries;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvan {

class TrendsView : public QWidget {
    Q_OBJECT
  public:
    explicit TrendsView(const HistoryRecorder& history, QWidget* parent = nullptr);
    ~TrendsView() override;

    // Reads the history again and redraws; cheap while the page is hidden (the
    // work waits for the page to be shown).
    void Refresh();
    // "No data since 14:02:17" while the link is lost; nullopt takes it away.
    void SetStale(std::optional<HistoryTime> since);

    void SetWindow(TrendsWindow window);
    TrendsWindow Window() const { return viewport_.Window(); }
    HistoryRange VisibleRange() const;
    void SetSeriesShown(size_t series, bool shown);
    bool SeriesShown(size_t series) const;
    // Zoom by `factor` (below 1: closer) around a moment; pan by a time.
    void Zoom(HistoryTime around, double factor);
    void Pan(std::chrono::milliseconds by);
    // The read-out at a moment, as the cursor gives it; nullopt: the newest values.
    void ShowReadout(std::optional<HistoryTime> at);
    QString ReadoutText(size_t series) const;

    QLabel* StaleLabel = nullptr;
    QLabel* CursorLabel = nullptr;
    QTreeWidget* SeriesList = nullptr;
    QPushButton* ExportButton = nullptr;
    std::vector<TrendsChart*> Charts;

  signals:
    // "Export Visible Range to CSV...": the window asks for a file and exports.
    void ExportRequested(korvan::HistoryRange range);

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Plot;
    struct Line;
    QWidget* BuildToolbar();
    QWidget* BuildPlots();
    void BuildSeriesList();
    void AddLine(size_t series, Plot& plot);
    void Redraw();
    void DrawLine(Line& line, HistoryRange range, int columns);
    void ScalePlot(Plot& plot);
    void PlaceAxes(Plot& plot, HistoryRange range);
    void LayOutPlots();
    // Tells the viewport what is recorded now, before it moves or is drawn.
    void UpdateViewport();

    const HistoryRecorder& history_;
    TrendsBackdrop backdrop_;
    std::vector<std::unique_ptr<Plot>> plots_;
    std::vector<Line> lines_;              // one per plotted series
    std::vector<QTreeWidgetItem*> items_;  // one per series of the table
    QButtonGroup* windows_ = nullptr;
    TrendsViewport viewport_;
    bool dirty_ = true;
};

}  // namespace korvan

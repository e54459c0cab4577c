// One plot of the "Trends" page: a chart view that paints the charging stage as
// a coloured band behind the lines and the lost-link gaps as hatched spans, draws
// the cursor line, and turns the mouse into hover, zoom and pan requests.
#pragma once

#include <QChartView>
#include <cstdint>
#include <optional>
#include <vector>

#include "history/history_plot.h"

namespace korvan {

// What every plot paints behind its lines; shared by the plots of one page.
struct TrendsBackdrop {
    int64_t FromMs = 0;
    int64_t ToMs = 1;
    std::vector<LevelRun> Stages;
    std::vector<TimeSpan> Gaps;
    std::optional<int64_t> CursorMs;
    bool StagesShown = true;
};

QColor ChargingStageColour(int stage);

class TrendsChart : public QChartView {
    Q_OBJECT
  public:
    TrendsChart(QChart* chart, const TrendsBackdrop& backdrop, QWidget* parent = nullptr);

    // The time under a horizontal position in the view.
    int64_t TimeAt(double x) const;
    double XAt(int64_t ms) const;

  signals:
    void Hovered(qint64 ms);
    void HoverLeft();
    void ZoomRequested(qint64 aroundMs, double factor);
    void PanRequested(qint64 byMs);
    void ResetRequested();

  protected:
    void drawBackground(QPainter* painter, const QRectF& rect) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    const TrendsBackdrop& backdrop_;
    std::optional<double> dragX_;
};

}  // namespace korvan

#include "display/trends_chart.h"

#include <QChart>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace korvan {

QColor ChargingStageColour(int stage) {
    // Monitoring, Warm-up, Mandatory Bulk, Bulk & Absorb, Float; pale enough to
    // read the lines over them.
    static const QColor colours[] = {QColor(225, 225, 225), QColor(255, 226, 170),
                                     QColor(255, 196, 180), QColor(190, 215, 255),
                                     QColor(195, 235, 195)};
    if (stage >= 0 && stage < 5) return colours[stage];
    return QColor(240, 200, 240);
}

TrendsChart::TrendsChart(QChart* chart, const TrendsBackdrop& backdrop, QWidget* parent)
    : QChartView(chart, parent), backdrop_(backdrop) {
    setMouseTracking(true);
    setRenderHint(QPainter::Antialiasing, false);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(Qt::NoBrush);
    setCacheMode(QGraphicsView::CacheNone);
    chart->setBackgroundVisible(false);
    chart->setPlotAreaBackgroundVisible(false);
}

int64_t TrendsChart::TimeAt(double x) const {
    const QRectF area = chart()->plotArea();
    const double span = double(backdrop_.ToMs - backdrop_.FromMs);
    const double fraction = area.width() > 0 ? (x - area.left()) / area.width() : 0;
    return backdrop_.FromMs + int64_t(std::llround(fraction * span));
}

double TrendsChart::XAt(int64_t ms) const {
    const QRectF area = chart()->plotArea();
    const double span = double(std::max<int64_t>(1, backdrop_.ToMs - backdrop_.FromMs));
    return area.left() + double(ms - backdrop_.FromMs) / span * area.width();
}

void TrendsChart::drawBackground(QPainter* painter, const QRectF& rect) {
    painter->fillRect(rect, palette().window());
    const QRectF area = chart()->plotArea();
    painter->fillRect(area, palette().base());
    painter->save();
    painter->setClipRect(area);
    auto spanRect = [&](int64_t from, int64_t to) {
        const double x0 = std::floor(XAt(from)), x1 = std::ceil(XAt(to));
        return QRectF(x0, area.top(), std::max(1.0, x1 - x0), area.height());
    };
    if (backdrop_.StagesShown)
        for (const LevelRun& run : backdrop_.Stages)
            painter->fillRect(spanRect(run.FromMs, run.ToMs),
                              ChargingStageColour(int(std::lround(run.Level))));
    for (const TimeSpan& gap : backdrop_.Gaps)
        painter->fillRect(spanRect(gap.FromMs, gap.ToMs),
                          QBrush(QColor(150, 150, 150), Qt::BDiagPattern));
    painter->restore();
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawRect(area);
}

void TrendsChart::drawForeground(QPainter* painter, const QRectF& rect) {
    QChartView::drawForeground(painter, rect);
    if (!backdrop_.CursorMs) return;
    const QRectF area = chart()->plotArea();
    const double x = XAt(*backdrop_.CursorMs);
    if (x < area.left() || x > area.right()) return;
    painter->setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
    painter->drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
}

void TrendsChart::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (dragX_) {
        const int64_t by = TimeAt(*dragX_) - TimeAt(x);
        dragX_ = x;
        if (by != 0) emit PanRequested(by);
    }
    if (chart()->plotArea().contains(event->position()))
        emit Hovered(TimeAt(x));
    else
        emit HoverLeft();
}

void TrendsChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragX_ = event->position().x();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TrendsChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragX_.reset();
        unsetCursor();
    }
}

void TrendsChart::mouseDoubleClickEvent(QMouseEvent*) { emit ResetRequested(); }

void TrendsChart::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) return;
    emit ZoomRequested(TimeAt(event->position().x()), std::pow(0.8, steps));
    event->accept();
}

void TrendsChart::leaveEvent(QEvent* event) {
    QChartView::leaveEvent(event);
    emit HoverLeft();
}

}  // namespace korvan

#include "display/trends_view.h"

#include <QButtonGroup>
#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "history/history_plot.h"
#include "model/control_box.h"

namespace korvan {

using namespace std::chrono_literals;

namespace {

// The series list's width at start: names and values readable beside the plots.
constexpr int SeriesListWidth = 400;

// The plots from top to bottom; the stage is the band, the status words are read
// out only.
constexpr HistoryGroup PlottedGroups[] = {HistoryGroup::Voltages, HistoryGroup::Currents,
                                          HistoryGroup::Charge, HistoryGroup::Temperatures,
                                          HistoryGroup::Engines};

const QColor LineColours[] = {QColor(31, 90, 180),  QColor(200, 60, 30),  QColor(30, 140, 60),
                              QColor(150, 50, 160), QColor(190, 130, 0),  QColor(0, 140, 150),
                              QColor(120, 80, 40),  QColor(220, 40, 130), QColor(90, 90, 90),
                              QColor(100, 150, 20), QColor(20, 60, 100),  QColor(160, 20, 20),
                              QColor(60, 100, 200), QColor(0, 0, 0),      QColor(230, 100, 0)};

constexpr int PlotLeft = 64, PlotRight = 64, PlotTop = 30, PlotBottom = 8, TimeLabels = 28;

int64_t Ms(HistoryTime t) { return t.time_since_epoch().count(); }
HistoryTime FromMs(int64_t ms) { return HistoryTime(std::chrono::milliseconds(ms)); }

QString LocalClock(int64_t ms, bool withDate) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(withDate ? "yyyy-MM-dd HH:mm:ss"
                                                                : "HH:mm:ss");
}

// The tick step for `span`: the smallest nice number that leaves at most `most`
// intervals, so that the value labels stay apart on a short plot.
double TickStep(double span, int most) {
    const double power = std::pow(10.0, std::floor(std::log10(span / most)));
    for (double m : {1.0, 2.0, 5.0})
        if (span / (m * power) <= most + 1e-9) return m * power;
    return 10 * power;
}

}  // namespace

// Keeps its plot area where the page puts it, so that the stacked plots share
// one time scale to the pixel whatever their value labels need.
class TrendsPlotView : public TrendsChart {
  public:
    TrendsPlotView(QChart* chart, const TrendsBackdrop& backdrop, int bottom)
        : TrendsChart(chart, backdrop), bottom_(bottom) {}

  protected:
    void resizeEvent(QResizeEvent* event) override {
        TrendsChart::resizeEvent(event);
        chart()->setPlotArea(QRectF(PlotLeft, PlotTop, std::max(10, width() - PlotLeft - PlotRight),
                                    std::max(10, height() - PlotTop - bottom_)));
        // The chart places its axes for a fixed plot area only when they appear.
        for (QAbstractAxis* axis : chart()->axes()) {
            if (!axis->isVisible()) continue;
            axis->hide();
            axis->show();
        }
    }

  private:
    int bottom_;
};

struct TrendsView::Plot {
    HistoryGroup Group;
    QChart* Chart = nullptr;
    TrendsChart* View = nullptr;
    QDateTimeAxis* Time = nullptr;
    QValueAxis* Left = nullptr;
    QValueAxis* Right = nullptr;  // only when the group has a second unit
    QString LeftUnit, RightUnit;
    int Lines = 0;
};

struct TrendsView::Line {
    size_t Series;
    Plot* Owner;
    QValueAxis* Axis;
    QColor Colour;
    bool Shown;
    std::vector<QLineSeries*> Segments;
    double Low = 0, High = 0;  // of what is drawn now
    bool Drawn = false;
};

TrendsView::TrendsView(const HistoryRecorder& history, QWidget* parent)
    : QWidget(parent), history_(history) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(BuildToolbar());
    // The user gives the plots or the series list more room; neither folds away.
    auto* body = new QSplitter(Qt::Horizontal, this);
    body->setObjectName(QStringLiteral("TrendsSplitter"));
    body->addWidget(BuildPlots());
    SeriesList = new QTreeWidget(body);
    body->addWidget(SeriesList);
    body->setStretchFactor(0, 1);
    body->setStretchFactor(1, 0);
    body->setChildrenCollapsible(false);
    body->setSizes({800, SeriesListWidth});
    layout->addWidget(body, 1);
    BuildSeriesList();
    SetWindow(TrendsWindow::OneHour);
}

TrendsView::~TrendsView() = default;

QWidget* TrendsView::BuildToolbar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    windows_ = new QButtonGroup(bar);
    const std::pair<const char*, TrendsWindow> choices[] = {{"5 min", TrendsWindow::FiveMinutes},
                                                            {"1 h", TrendsWindow::OneHour},
                                                            {"24 h", TrendsWindow::OneDay},
                                                            {"All", TrendsWindow::All}};
    for (const auto& [text, window] : choices) {
        auto* button = new QToolButton(bar);
        button->setText(text);
        button->setCheckable(true);
        windows_->addButton(button, int(window));
        row->addWidget(button);
    }
    connect(windows_, &QButtonGroup::idClicked, this,
            [this](int id) { SetWindow(TrendsWindow(id)); });
    ExportButton = new QPushButton("Export Visible Range to CSV...", bar);
    connect(ExportButton, &QPushButton::clicked, this,
            [this] { emit ExportRequested(VisibleRange()); });
    row->addSpacing(12);
    row->addWidget(ExportButton);
    row->addSpacing(12);
    for (int stage = 0; stage < 5; ++stage) {
        auto* key = new QLabel(QString::fromStdString(ChargingStageName(uint8_t(stage))), bar);
        key->setStyleSheet(
            QString("background: %1; padding: 1px 4px;").arg(ChargingStageColour(stage).name()));
        row->addWidget(key);
    }
    row->addStretch(1);
    StaleLabel = new QLabel(bar);
    StaleLabel->setStyleSheet("color: #b00000; font-weight: bold;");
    StaleLabel->hide();
    row->addWidget(StaleLabel);
    row->addSpacing(12);
    CursorLabel = new QLabel(bar);
    row->addWidget(CursorLabel);
    return bar;
}

QWidget* TrendsView::BuildPlots() {
    auto* column = new QWidget(this);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    const auto& table = HistorySeriesTable();
    for (HistoryGroup group : PlottedGroups) {
        auto plot = std::make_unique<Plot>();
        plot->Group = group;
        plot->Chart = new QChart;
        plot->Chart->legend()->hide();
        plot->Chart->setTitle(HistoryGroupName(group));
        QFont title = plot->Chart->titleFont();
        title.setPointSizeF(title.pointSizeF() * 0.9);
        title.setBold(true);
        plot->Chart->setTitleFont(title);
        plot->Chart->setMargins(QMargins(0, 0, 0, 0));
        const bool last = group == PlottedGroups[std::size(PlottedGroups) - 1];
        plot->View =
            new TrendsPlotView(plot->Chart, backdrop_, PlotBottom + (last ? TimeLabels : 0));
        plot->Time = new QDateTimeAxis;
        plot->Time->setLabelsVisible(last);
        plot->Time->setTickCount(7);
        plot->Chart->addAxis(plot->Time, Qt::AlignBottom);
        stack->addWidget(plot->View, 1);
        Charts.push_back(plot->View);
        TrendsChart* view = plot->View;
        connect(view, &TrendsChart::Hovered, this, [this](qint64 ms) { ShowReadout(FromMs(ms)); });
        connect(view, &TrendsChart::HoverLeft, this, [this] { ShowReadout(std::nullopt); });
        connect(view, &TrendsChart::ZoomRequested, this,
                [this](qint64 at, double f) { Zoom(FromMs(at), f); });
        connect(view, &TrendsChart::PanRequested, this,
                [this](qint64 by) { Pan(std::chrono::milliseconds(by)); });
        connect(view, &TrendsChart::ResetRequested, this,
                [this] { SetWindow(viewport_.Window()); });
        for (size_t s = 0; s < table.size(); ++s)
            if (table[s].Group == group) AddLine(s, *plot);
        plots_.push_back(std::move(plot));
    }
    return column;
}

void TrendsView::AddLine(size_t series, Plot& plot) {
    const HistorySeries& s = HistorySeriesTable()[series];
    const QString unit = QString::fromUtf8(s.Unit);
    QValueAxis*& axis = plot.Left == nullptr || plot.LeftUnit == unit ? plot.Left : plot.Right;
    if (!axis) {
        axis = new QValueAxis;
        axis->setTitleText(unit);
        axis->setLabelFormat("%g");
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        const bool left = &axis == &plot.Left;
        (left ? plot.LeftUnit : plot.RightUnit) = unit;
        plot.Chart->addAxis(axis, left ? Qt::AlignLeft : Qt::AlignRight);
    }
    lines_.push_back({series,
                      &plot,
                      axis,
                      LineColours[plot.Lines++ % std::size(LineColours)],
                      s.ShownAtStart,
                      {},
                      0,
                      0,
                      false});
}

void TrendsView::BuildSeriesList() {
    SeriesList->setColumnCount(2);
    SeriesList->setHeaderLabels({"Series", "Value"});
    SeriesList->setRootIsDecorated(true);
    SeriesList->setMinimumWidth(SeriesListWidth / 2);
    SeriesList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    SeriesList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    SeriesList->header()->setStretchLastSection(false);
    const auto& table = HistorySeriesTable();
    items_.assign(table.size(), nullptr);
    std::vector<std::pair<HistoryGroup, QTreeWidgetItem*>> groups;
    for (size_t s = 0; s < table.size(); ++s) {
        auto found = std::find_if(groups.begin(), groups.end(),
                                  [&](const auto& g) { return g.first == table[s].Group; });
        if (found == groups.end()) {
            auto* top = new QTreeWidgetItem(SeriesList, {HistoryGroupName(table[s].Group)});
            top->setExpanded(true);
            top->setFirstColumnSpanned(false);
            groups.emplace_back(table[s].Group, top);
            found = groups.end() - 1;
        }
        auto* item = new QTreeWidgetItem(found->second,
                                         {QString::fromStdString(HistorySeriesHeader(table[s]))});
        item->setToolTip(0, item->text(0));
        items_[s] = item;
        if (table[s].Group == HistoryGroup::Status) continue;
        item->setCheckState(0, table[s].ShownAtStart ? Qt::Checked : Qt::Unchecked);
    }
    for (const Line& line : lines_) {
        QPixmap swatch(12, 12);
        swatch.fill(line.Colour);
        items_[line.Series]->setIcon(0, QIcon(swatch));
    }
    connect(SeriesList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column != 0) return;
        const auto at = std::find(items_.begin(), items_.end(), item);
        if (at == items_.end()) return;
        const size_t series = size_t(at - items_.begin());
        const bool shown = item->checkState(0) == Qt::Checked;
        if (series == ChargingStageSeries()) backdrop_.StagesShown = shown;
        for (Line& line : lines_)
            if (line.Series == series) line.Shown = shown;
        Refresh();
    });
}

void TrendsView::SetWindow(TrendsWindow window) {
    if (QAbstractButton* button = windows_->button(int(window))) button->setChecked(true);
    UpdateViewport();
    viewport_.SetWindow(window);
    Refresh();
}

void TrendsView::UpdateViewport() {
    const size_t n = history_.Size();
    const int64_t now =
        Ms(std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now()));
    viewport_.SetData(n ? std::optional(TrendsRange{Ms(history_.Time(0)), Ms(history_.Time(n - 1))})
                        : std::nullopt,
                      now);
}

HistoryRange TrendsView::VisibleRange() const {
    const TrendsRange range = viewport_.Range();
    return {FromMs(range.FromMs), FromMs(range.ToMs)};
}

void TrendsView::Zoom(HistoryTime around, double factor) {
    UpdateViewport();
    viewport_.Zoom(Ms(around), factor);
    Refresh();
}

void TrendsView::Pan(std::chrono::milliseconds by) {
    UpdateViewport();
    viewport_.Pan(by.count());
    Refresh();
}

void TrendsView::SetSeriesShown(size_t series, bool shown) {
    if (series < items_.size() && items_[series]->flags() & Qt::ItemIsUserCheckable)
        items_[series]->setCheckState(0, shown ? Qt::Checked : Qt::Unchecked);
}

bool TrendsView::SeriesShown(size_t series) const {
    return series < items_.size() && items_[series]->checkState(0) == Qt::Checked;
}

void TrendsView::SetStale(std::optional<HistoryTime> since) {
    if (!since) {
        StaleLabel->hide();
        return;
    }
    const int64_t ms = Ms(*since);
    const bool today = QDateTime::fromMSecsSinceEpoch(ms).date() == QDate::currentDate();
    StaleLabel->setText("No data since " + LocalClock(ms, !today));
    StaleLabel->show();
}

void TrendsView::Refresh() {
    if (!isVisible()) {
        dirty_ = true;
        return;
    }
    Redraw();
}

void TrendsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (dirty_) Redraw();
}

void TrendsView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    dirty_ = true;
    if (isVisible()) Redraw();
}

void TrendsView::Redraw() {
    dirty_ = false;
    UpdateViewport();
    const HistoryRange range = VisibleRange();
    backdrop_.FromMs = Ms(range.From);
    backdrop_.ToMs = std::max(Ms(range.To), Ms(range.From) + 1);
    backdrop_.Stages = HistoryLevelRuns(history_, ChargingStageSeries(), range);
    backdrop_.Gaps = HistoryGaps(history_, range);
    const int columns =
        Charts.empty() ? 100 : std::max(50, int(Charts[0]->chart()->plotArea().width()));
    for (Line& line : lines_) DrawLine(line, range, columns);
    for (auto& plot : plots_) {
        PlaceAxes(*plot, range);
        ScalePlot(*plot);
        plot->View->viewport()->update();
    }
    ShowReadout(backdrop_.CursorMs ? std::optional(FromMs(*backdrop_.CursorMs)) : std::nullopt);
}

void TrendsView::DrawLine(Line& line, HistoryRange range, int columns) {
    std::vector<PlotSegment> segments;
    if (line.Shown) segments = DecimateHistory(history_, line.Series, range, columns);
    while (line.Segments.size() < segments.size()) {
        auto* series = new QLineSeries;
        series->setName(QString::fromStdString(HistorySeriesTable()[line.Series].Name));
        series->setPen(QPen(line.Colour, 1.5));
        line.Owner->Chart->addSeries(series);
        series->attachAxis(line.Owner->Time);
        series->attachAxis(line.Axis);
        line.Segments.push_back(series);
    }
    line.Drawn = false;
    QList<QPointF> points;
    for (size_t i = 0; i < line.Segments.size(); ++i) {
        points.clear();
        if (i < segments.size()) {
            points.reserve(qsizetype(segments[i].size()));
            for (const PlotPoint& p : segments[i]) {
                points.append(QPointF(double(p.TimeMs), p.Value));
                line.Low = line.Drawn ? std::min(line.Low, p.Value) : p.Value;
                line.High = line.Drawn ? std::max(line.High, p.Value) : p.Value;
                line.Drawn = true;
            }
        }
        line.Segments[i]->replace(points);
    }
}

// Each value axis spans what its shown lines draw, with nice round ends; values
// that never go below zero get no negative scale. An axis without lines hides.
void TrendsView::ScalePlot(Plot& plot) {
    for (QValueAxis* axis : {plot.Left, plot.Right}) {
        if (!axis) continue;
        bool any = false, listed = false;
        double low = 0, high = 1;
        for (const Line& line : lines_) {
            if (line.Axis != axis) continue;
            listed = listed || line.Shown;
            if (!line.Drawn) continue;
            low = any ? std::min(low, line.Low) : line.Low;
            high = any ? std::max(high, line.High) : line.High;
            any = true;
        }
        axis->setVisible(listed);
        if (high - low < 1e-9) {
            low -= 1;
            high += 1;
        }
        const double pad = (high - low) * 0.05;
        const double bottom = low >= 0 ? std::max(0.0, low - pad) : low - pad;
        axis->setRange(bottom, high + pad);
        // Labels closer than about one and a half of their height are cut to "...".
        const int label = QFontMetrics(axis->labelsFont()).height() * 3 / 2;
        const int tall = plot.View->height() - PlotTop - PlotBottom;
        axis->setTickInterval(TickStep(high + pad - bottom, std::clamp(tall / label, 2, 5)));
    }
}

void TrendsView::PlaceAxes(Plot& plot, HistoryRange range) {
    const int64_t span = Ms(range.To) - Ms(range.From);
    const char* format = span <= 2 * 3'600'000    ? "HH:mm:ss"
                         : span <= 2 * 86'400'000 ? "HH:mm"
                                                  : "dd MMM HH:mm";
    plot.Time->setFormat(format);
    plot.Time->setRange(QDateTime::fromMSecsSinceEpoch(Ms(range.From)),
                        QDateTime::fromMSecsSinceEpoch(std::max(Ms(range.To), Ms(range.From) + 1)));
}

QString TrendsView::ReadoutText(size_t series) const {
    return series < items_.size() ? items_[series]->text(1) : QString();
}

namespace {

QString ValueText(const HistoryRecorder& h, size_t series, size_t point) {
    const HistorySeries& s = HistorySeriesTable()[series];
    const double v = h.Value(series, point);
    if (std::isnan(v)) return "not connected";
    if (s.Fold == HistoryFold::Bits) {
        const QString word =
            QString("0x%1").arg(uint32_t(v), 4, 16, QChar('0')).toUpper().replace("0X", "0x");
        const std::string flags = s.Text(v);
        return flags.empty() ? word : word + ": " + QString::fromStdString(flags);
    }
    if (s.Text) return QString::number(v) + " " + QString::fromStdString(s.Text(v));
    const bool folded = point < h.FoldedCount();
    const QString unit = *s.Unit ? QString(" ") + QString::fromUtf8(s.Unit) : QString();
    QString text = QString::fromStdString(HistoryNumberText(s, v, folded ? 1 : 0)) + unit;
    if (folded)
        text += QString(" (%1 to %2)")
                    .arg(QString::fromStdString(HistoryNumberText(s, h.Min(series, point))),
                         QString::fromStdString(HistoryNumberText(s, h.Max(series, point))));
    return text;
}

}  // namespace

void TrendsView::ShowReadout(std::optional<HistoryTime> at) {
    std::optional<size_t> point;
    if (at)
        point = HistoryPointAt(history_, *at);
    else if (history_.Size())
        point = history_.Size() - 1;
    backdrop_.CursorMs = at ? std::optional(Ms(*at)) : std::nullopt;
    const int64_t shownMs = at ? Ms(*at) : point ? Ms(history_.Time(*point)) : 0;
    const bool folded = point && *point < history_.FoldedCount();
    CursorLabel->setText(!at && !point ? QString("No history yet")
                                       : (at ? "At " : "Newest: ") + LocalClock(shownMs, false) +
                                             (folded ? " (one-minute mean)" : ""));
    SeriesList->blockSignals(true);
    for (size_t s = 0; s < items_.size(); ++s) {
        const QString text = point ? ValueText(history_, s, *point) : QString("-");
        items_[s]->setText(1, text);
        items_[s]->setToolTip(1, text);  // a status word's flags are longer than the column
    }
    SeriesList->blockSignals(false);
    for (TrendsChart* chart : Charts) chart->viewport()->update();
}

}  // namespace korvan

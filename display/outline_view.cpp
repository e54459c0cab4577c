#include "display/outline_view.h"

#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QToolButton>
#include <array>

#include "display/gauge_logic.h"

namespace korvan {

namespace {

constexpr int LabelCharHeight = 27;
constexpr int EngineTextWidth = 121, EngineTextHeight = 35;
constexpr int BevelHeight = 10;
constexpr int LabelGap = 16;  // between labels, bevels and gauges
constexpr int BevelGap = 8;   // between a bevel and the centre gauge

const QColor EngineTextColour{128, 128, 128};
const QColor WarningTextColour{255, 255, 0};
const QColor CriticalTextColour{255, 0, 0};

// The bottom line of a bevel: a shadow line over a highlight line.
class BevelLine : public QWidget {
  public:
    explicit BevelLine(QWidget* parent) : QWidget(parent) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int y = height() - 2;
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(0, y, width() - 1, y);
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(0, y + 1, width() - 1, y + 1);
    }
};

QLabel* MakeLabel(QWidget* parent, const char* text, const char* family, const QColor& colour) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    QFont font = BoldFace(family);
    font.setPixelSize(LabelCharHeight);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

void SetTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    if (palette.color(QPalette::WindowText) == colour) return;
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// True when the text changed.
bool SetText(QLabel* label, const QString& text) {
    if (label->text() == text) return false;
    label->setText(text);
    return true;
}

// The plus or minus glyph of an FRS button, drawn for a button of `size` pixels.
QIcon FrsGlyph(int size, bool plus) {
    const int side = size > 8 ? size - 8 : 1;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const int stroke = side / 6 > 1 ? side / 6 : 1;
    const int margin = side / 6;
    const int mid = (side - stroke) / 2;
    p.fillRect(margin, mid, side - 2 * margin, stroke, GaugeColour::DarkGrey);
    if (plus) p.fillRect(mid, margin, stroke, side - 2 * margin, GaugeColour::DarkGrey);
    p.end();
    return QIcon(pixmap);
}

QToolButton* MakeFrsButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);  // flat
    button->setFocusPolicy(Qt::NoFocus);
    button->hide();
    return button;
}

}  // namespace

struct OutlineView::Impl {
    explicit Impl(const SystemData& d) : data(d) {}
    const SystemData& data;
    CenterChoice choice = CenterChoice::BatteryVoltage;
    bool frsControls = false;
    char sep = LocaleDecimalSeparator();
    int glyphSize = -1;
    QString stale;
};

OutlineView::OutlineView(const SystemData& data, QWidget* parent)
    : QWidget(parent), d_(new Impl(data)) {
    ChargeModeLabel = MakeLabel(this, "Charge/Mode ", ArialFace, Qt::black);
    WarningLabel = MakeLabel(this, "Warning", ArialFace, Qt::black);
    ChargeTimeLabel = MakeLabel(this, "Time to charge 234:59", ArialNarrowFace, Qt::black);
    ChargeTimeLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Engine1StaticText = MakeLabel(this, "Engine #1", ArialNarrowFace, EngineTextColour);
    Engine2StaticText = MakeLabel(this, "Engine #2", ArialNarrowFace, EngineTextColour);
    Engine1StaticText->setFixedSize(EngineTextWidth, EngineTextHeight);
    Engine2StaticText->setFixedSize(EngineTextWidth, EngineTextHeight);
    Engine2StaticText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LeftBevel = new BevelLine(this);
    RightBevel = new BevelLine(this);
    FRSPlusButton = MakeFrsButton(this);
    FRSMinusButton = MakeFrsButton(this);
    connect(FRSPlusButton, &QToolButton::clicked, this, &OutlineView::FRSPlusButtonClick);
    connect(FRSMinusButton, &QToolButton::clicked, this, &OutlineView::FRSMinusButtonClick);
}

OutlineView::~OutlineView() { delete d_; }

TRectGauge& OutlineView::Gauge(OutlineGauge which) {
    TRectGauge* const gauges[OutlineGaugeCount] = {
        &SocGauge,         &CurrentGauge,  &VoltageGauge, &TempGauge,   &LoadGauge,
        &AltCurrentGauge1, &AltTempGauge1, &RpmGauge1,    &FieldGauge1, &AltCurrentGauge2,
        &AltTempGauge2,    &RpmGauge2,     &FieldGauge2,  &FrsGauge,
    };
    return *gauges[int(which)];
}

namespace {

template <typename G>
void Configure(G& gauge, const GaugeSetup& setup) {
    gauge.RangeMin = setup.RangeMin;
    gauge.RangeMax = setup.RangeMax;
    gauge.WarnLevel = setup.WarnLevel;
    gauge.AlarmLevel = setup.AlarmLevel;
    gauge.Caption = QString::fromUtf8(setup.Caption);
}

template <typename G>
void Store(G& gauge, const GaugeReading& reading, char sep) {
    if (reading.Real)
        SetRealValue(gauge, reading.Value, sep);
    else
        SetIntValue(gauge, int(reading.Value));
}

bool IsFieldGauge(OutlineGauge g) { return g == OutlineGauge::Field1 || g == OutlineGauge::Field2; }

}  // namespace

void OutlineView::LayoutOutline() {
    ViewBackground = window()->palette().color(QPalette::Window);
    // The page itself wears the window colour, so the corners the round gauge
    // clears to it blend with what lies around them (a tab page paints lighter).
    if (palette().color(QPalette::Window) != ViewBackground || !autoFillBackground()) {
        QPalette page = palette();
        page.setColor(QPalette::Window, ViewBackground);
        setPalette(page);
        setAutoFillBackground(true);
    }
    const OutlineGeometry geo = ComputeOutlineGeometry(width(), height());
    const SystemData& data = d_->data;

    for (int i = 0; i < OutlineGaugeCount; ++i) {
        const auto which = OutlineGauge(i);
        TRectGauge& gauge = Gauge(which);
        gauge.Active = false;
        Configure(gauge, OutlineGaugeSetup(which, data));
        Place(gauge, this, geo.RectTopLeft[i].X, geo.RectTopLeft[i].Y, geo.A);
        GaugeReading reading = OutlineGaugeReading(which, data);
        if (IsFieldGauge(which)) reading.Value = 0;
        Store(gauge, reading, d_->sep);
    }

    const int gh = SocGauge.Height;
    FRSPlusButton->setGeometry(geo.FrsPlus.X, geo.FrsPlus.Y, gh, gh);
    FRSMinusButton->setGeometry(geo.FrsMinus.X, geo.FrsMinus.Y, gh, gh);
    if (d_->glyphSize != gh) {
        d_->glyphSize = gh;
        for (QToolButton* b : {FRSPlusButton, FRSMinusButton}) {
            b->setIcon(FrsGlyph(gh, b == FRSPlusButton));
            b->setIconSize(QSize(gh > 8 ? gh - 8 : 1, gh > 8 ? gh - 8 : 1));
        }
    }

    CenterGauge.Active = false;
    Configure(CenterGauge, OutlineGaugeSetup(CenterSource(d_->choice), data));
    Place(CenterGauge, this, geo.Center.X, geo.Center.Y, geo.CenterSize);

    PlaceLabels();
}

void OutlineView::PlaceLabels() {
    QLabel* e1 = Engine1StaticText;
    QLabel* e2 = Engine2StaticText;
    e1->move(AltCurrentGauge1.Left, AltCurrentGauge1.Top - e1->height() - LabelGap);
    e2->move(AltCurrentGauge2.Right - e2->width(), AltCurrentGauge2.Top - e2->height() - LabelGap);

    const int leftBevelLeft = AltCurrentGauge1.Left;
    LeftBevel->setGeometry(leftBevelLeft, e1->y() - LabelGap,
                           CenterGauge.Left - AltCurrentGauge1.Left - BevelGap, BevelHeight);
    const int rightBevelLeft = CenterGauge.Right + BevelGap;
    RightBevel->setGeometry(rightBevelLeft, e2->y() - LabelGap,
                            AltCurrentGauge2.Right - rightBevelLeft, BevelHeight);

    const int labelTop = SocGauge.Bottom + LabelGap;
    ChargeModeLabel->adjustSize();
    ChargeModeLabel->move(leftBevelLeft, labelTop);
    // Right-justified in the column over the second engine, so a longer time
    // grows to the left.
    ChargeTimeLabel->setGeometry(rightBevelLeft, labelTop, RightBevel->width(),
                                 ChargeTimeLabel->sizeHint().height());
    WarningLabel->adjustSize();
    WarningLabel->move(leftBevelLeft, labelTop + ChargeModeLabel->height() + LabelGap);

    // The labels stay readable over the corners of the freshly placed gauges.
    for (QWidget* w : {static_cast<QWidget*>(ChargeModeLabel), static_cast<QWidget*>(WarningLabel),
                       static_cast<QWidget*>(ChargeTimeLabel), static_cast<QWidget*>(e1),
                       static_cast<QWidget*>(e2), LeftBevel, RightBevel,
                       static_cast<QWidget*>(FRSPlusButton), static_cast<QWidget*>(FRSMinusButton)})
        w->raise();
}

void OutlineView::SetStale(const QString& text) {
    if (d_->stale == text) return;
    // An unknown stage leaves the label as it is: not as the stale text.
    if (text.isEmpty() && SetText(ChargeModeLabel, QString())) ChargeModeLabel->adjustSize();
    d_->stale = text;
}

void OutlineView::RefreshOutline() {
    const SystemData& data = d_->data;
    const ControlBoxState& control = data.ControlState;
    const uint16_t modules = control.ConnectedModules;
    const char sep = d_->sep;

    const GaugeReading centre = OutlineGaugeReading(CenterSource(d_->choice), data);
    CenterGauge.Active = (modules & BatteryBoxConnected) != 0;
    Store(CenterGauge, centre, sep);

    for (OutlineGauge which : {OutlineGauge::Soc, OutlineGauge::Current, OutlineGauge::Voltage,
                               OutlineGauge::Temp, OutlineGauge::Load}) {
        const GaugeReading reading = OutlineGaugeReading(which, data);
        Gauge(which).Active = reading.Active;
        Store(Gauge(which), reading, sep);
    }

    if (!d_->stale.isEmpty()) {
        if (SetText(ChargeModeLabel, d_->stale)) ChargeModeLabel->adjustSize();
    } else if (const char* mode = ChargeModeText(control.ChargingStage)) {
        if (SetText(ChargeModeLabel, QString::fromUtf8(mode))) ChargeModeLabel->adjustSize();
    }

    QString warning;
    if (modules & WarningFaultPresent) {
        SetTextColour(WarningLabel, WarningTextColour);
        warning = QStringLiteral("Warning fault present");
    }
    if (modules & CriticalFaultPresent) {
        SetTextColour(WarningLabel, CriticalTextColour);
        warning = QStringLiteral("Critical fault present");
    }
    if (SetText(WarningLabel, warning)) WarningLabel->adjustSize();

    const BatteryBoxState& battery = data.BatteryState;
    SetText(ChargeTimeLabel,
            QString::fromStdString(TimeToChargeText(control.ChargingStage, battery.BatteryCurrent,
                                                    battery.ChargeContent, battery.Soc)));

    for (OutlineGauge which :
         {OutlineGauge::AltCurrent1, OutlineGauge::AltTemp1, OutlineGauge::Rpm1,
          OutlineGauge::Field1, OutlineGauge::AltCurrent2, OutlineGauge::AltTemp2,
          OutlineGauge::Rpm2, OutlineGauge::Field2, OutlineGauge::Frs}) {
        const GaugeReading reading = OutlineGaugeReading(which, data);
        TRectGauge& gauge = Gauge(which);
        gauge.Active = reading.Active;
        if (IsFieldGauge(which)) gauge.WarnLevel = FieldGaugeWarnLevel(control);
        Store(gauge, reading, sep);
    }

    const bool charging = control.ChargingStage != 0;
    for (QToolButton* b : {FRSPlusButton, FRSMinusButton}) {
        b->setVisible(d_->frsControls);
        b->setEnabled(charging);
    }
}

void OutlineView::SetCenterChoice(CenterChoice choice) {
    d_->choice = choice;
    LayoutOutline();
}

CenterChoice OutlineView::centerChoice() const { return d_->choice; }

void OutlineView::SetFrsControlsChecked(bool checked) { d_->frsControls = checked; }

bool OutlineView::FrsControlsChecked() const { return d_->frsControls; }

void OutlineView::SetDecimalSeparator(char sep) { d_->sep = sep; }

void OutlineView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutOutline();
}

}  // namespace korvan

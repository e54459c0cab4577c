#include "display/gauges.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <map>
#include <utility>

#include "display/gauge_logic.h"

namespace korvan {

QColor ViewBackground{240, 240, 240};

GaugePicture::GaugePicture(QWidget* parent) : QWidget(parent) {}

void GaugePicture::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;  // placed but not drawn yet: shows nothing
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

GaugeRecord::~GaugeRecord() { delete Picture.data(); }

namespace {

// Arial Narrow is about 82 % as wide as Arial; used only when no narrow face exists.
constexpr int CondensedStretch = 82;

int PixelSizeForCell(const QFont& base, int cellHeight) {
    QFont probe = base;
    probe.setPixelSize(1000);
    const int reference = QFontMetrics(probe).height();
    int size = reference > 0 ? int(qint64(cellHeight) * 1000 / reference) : cellHeight;
    if (size < 1) size = 1;
    auto cellOf = [&](int px) {
        probe.setPixelSize(px);
        return QFontMetrics(probe).height();
    };
    while (cellOf(size + 1) <= cellHeight) ++size;
    while (size > 1 && cellOf(size) > cellHeight) --size;
    return size;
}

bool HasNarrowFace() {
    static const bool has = [] {
        QFont arial(ArialFace), narrow(ArialNarrowFace);
        arial.setBold(true);
        narrow.setBold(true);
        arial.setPixelSize(100);
        narrow.setPixelSize(100);
        const QString digits = QStringLiteral("0123456789");
        return QFontMetrics(narrow).horizontalAdvance(digits) <
               QFontMetrics(arial).horizontalAdvance(digits) * 95 / 100;
    }();
    return has;
}

QFont BaseFont(const QString& family) {
    QFont font;
    if (family == QLatin1String(ArialNarrowFace) && !HasNarrowFace()) {
        font.setFamily(ArialFace);
        font.setStretch(CondensedStretch);
    } else {
        font.setFamily(family);
    }
    font.setBold(true);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

struct Shape {
    int W, H;
    QRect Window;  // the dark value window
    QPoint TextCentre;
    int TextLimit;  // widest value text before the face is narrowed
    QRect CaptionClip;
    int CaptionRight;
    bool Round;
};

Shape RectShape(int u) {
    return {16 * u,         12 * u, QRect(QPoint(u, u), QPoint(15 * u - 1, 7 * u - 1)),
            {8 * u, 4 * u}, 13 * u, QRect(QPoint(u, 9 * u), QPoint(15 * u - 1, 11 * u - 1)),
            15 * u,         false};
}

Shape RoundShape(int u) {
    return {16 * u,         16 * u, QRect(QPoint(2 * u, 4 * u), QPoint(14 * u - 1, 10 * u - 1)),
            {8 * u, 7 * u}, 12 * u, QRect(QPoint(u, 11 * u), QPoint(14 * u - 1, 13 * u - 1)),
            13 * u,         true};
}

std::pair<QColor, QColor> FaceAndTextColours(const GaugeRecord& g) {
    switch (GaugeColourLevel(g.WarnLevel, g.AlarmLevel, g.Value)) {
        case GaugeLevel::Warning:
            return {GaugeColour::WarningFace, GaugeColour::Yellow};
        case GaugeLevel::Alarm:
            return {GaugeColour::AlarmFace, GaugeColour::Red};
        case GaugeLevel::Normal:
            break;
    }
    return {GaugeColour::Silver, GaugeColour::Lime};
}

// Outline and fill of a rectangle whose right and bottom are exclusive.
void DrawBox(QPainter& p, const QRect& r) {
    p.drawRect(r.left(), r.top(), r.width() - 1, r.height() - 1);
}

void DrawBody(QPainter& p, const Shape& s, const QColor& face) {
    p.setBrush(face);
    p.setPen(QPen(GaugeColour::DarkGrey, 1));
    if (s.Round) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.drawEllipse(QRectF(0.5, 0.5, s.W - 1, s.H - 1));
        p.setRenderHint(QPainter::Antialiasing, false);
    } else {
        DrawBox(p, QRect(0, 0, s.W, s.H));
    }
}

// Draws `text` with its top-left at (x, y), clipped to `clip`.
void DrawTextAt(QPainter& p, const QFont& font, const QColor& colour, const QRect& clip, int x,
                int y, const QString& text) {
    p.setClipRect(clip);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(x, y + QFontMetrics(font).ascent(), text);
    p.setClipping(false);
}

void PaintValue(QPainter& p, const GaugeRecord& g, const Shape& s, const QColor& text) {
    p.setBrush(GaugeColour::DarkGrey);
    p.setPen(QPen(GaugeColour::Black, 1));
    DrawBox(p, s.Window);
    const FittedFont fitted = FitValueFont(g.ValueText, 6 * g.Unit, s.TextLimit);
    const QFontMetrics fm(fitted.Font);
    const int x = s.TextCentre.x() - fm.horizontalAdvance(g.ValueText) / 2;
    const int y = s.TextCentre.y() - fm.height() / 2;
    DrawTextAt(p, fitted.Font, text, s.Window, x, y, g.ValueText);
}

void Paint(GaugeRecord& g, const Shape& s, const GaugeFace& face) {
    QImage& image = g.Picture->Image();
    if (image.size() != QSize(s.W, s.H)) image = QImage(s.W, s.H, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    if (s.Round) p.fillRect(image.rect(), QColor::fromRgb(face.Background));

    const int u = g.Unit;
    if (g.Active) {
        DrawBody(p, s, QColor::fromRgb(face.Face));
        PaintValue(p, g, s, QColor::fromRgb(face.Text));
    } else {
        DrawBody(p, s, GaugeColour::Silver);
        DrawBox(p, s.Window);  // brush and pen are still silver and dark grey
    }

    const QFont captionFont = GaugeFont(ArialFace, 2 * u);
    const int captionX = s.CaptionRight - QFontMetrics(captionFont).horizontalAdvance(g.Caption);
    DrawTextAt(p, captionFont, GaugeColour::DarkGrey, s.CaptionClip, captionX, s.CaptionClip.top(),
               g.Caption);
}

void DrawGauge(GaugeRecord& g, const Shape& s) {
    if (!g.Picture || s.W <= 0 || s.H <= 0) return;
    GaugeFace face;
    face.Drawn = true;
    face.Active = g.Active;
    face.Unit = g.Unit;
    face.Caption = g.Caption;
    if (g.Active) {
        const auto [faceColour, textColour] = FaceAndTextColours(g);
        face.ValueText = g.ValueText;
        face.Face = faceColour.rgb();
        face.Text = textColour.rgb();
    }
    if (s.Round) face.Background = ViewBackground.rgb();
    QImage& image = g.Picture->Image();
    if (face == g.LastFace && !image.isNull()) return;

    GaugeFace sameButText = g.LastFace;
    sameButText.ValueText = face.ValueText;
    if (face.Active && sameButText == face && !image.isNull()) {
        // Only the number moved: the value window alone is drawn and shown again.
        QPainter p(&image);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        PaintValue(p, g, s, QColor::fromRgb(face.Text));
        p.end();
        g.LastFace = face;
        g.Picture->update(s.Window);
        return;
    }
    Paint(g, s, face);
    g.LastFace = face;
    g.Picture->update();
}

void PlacePicture(GaugeRecord& g, QWidget* parent, const QRect& bounds, int unit) {
    delete g.Picture.data();
    g.Picture = new GaugePicture(parent);
    g.Picture->setGeometry(bounds);
    g.Picture->show();
    g.Unit = unit;
    g.Width = bounds.width();
    g.Height = bounds.height();
    const QRect actual = g.Picture->geometry();
    g.Left = actual.left();
    g.Top = actual.top();
    g.Right = actual.left() + actual.width() - 1;
    g.Bottom = actual.top() + actual.height() - 1;
    g.LastFace = {};
}

void StoreInt(GaugeRecord& g, int value) {
    g.Value = value;
    g.ValueText = QString::fromStdString(GaugeIntText(g.RangeMin, g.RangeMax, value));
}

void StoreReal(GaugeRecord& g, double value, char sep) {
    g.Value = value;
    g.ValueText = QString::fromStdString(GaugeRealText(g.RangeMin, g.RangeMax, value, sep));
}

}  // namespace

QFont BoldFace(const QString& family) { return BaseFont(family); }

QFont GaugeFont(const QString& family, int cellHeight) {
    // Fonts hold on to the application's font engines: the cache is emptied
    // while the application object still exists, not by static destruction.
    using Cache = std::map<std::pair<QString, int>, QFont>;
    static Cache* cache = [] {
        auto* c = new Cache;
        qAddPostRoutine([] { cache->clear(); });
        return c;
    }();
    const int cell = cellHeight < 1 ? 1 : cellHeight;
    const auto key = std::make_pair(family, cell);
    auto it = cache->find(key);
    if (it != cache->end()) return it->second;
    QFont font = BaseFont(family);
    font.setPixelSize(PixelSizeForCell(font, cell));
    cache->emplace(key, font);
    return font;
}

FittedFont FitValueFont(const QString& text, int cellHeight, int limit) {
    FittedFont fit{ArialFace, cellHeight, GaugeFont(ArialFace, cellHeight)};
    int width = QFontMetrics(fit.Font).horizontalAdvance(text);
    if (width <= limit) return fit;
    fit.Family = ArialNarrowFace;
    fit.Font = GaugeFont(ArialNarrowFace, cellHeight);
    width = QFontMetrics(fit.Font).horizontalAdvance(text);
    if (width <= limit) return fit;
    fit.CellHeight = int(qint64(cellHeight) * limit / width);
    fit.Font = GaugeFont(ArialNarrowFace, fit.CellHeight);
    return fit;
}

char LocaleDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() > 0x20 && point.at(0).unicode() < 0x7F)
        return char(point.at(0).unicode());
    return '.';
}

// A negative size would make negative extents; it draws nothing, like a size below 16.
static int UnitOf(int size) { return size > 0 ? size / 16 : 0; }

void Place(TRectGauge& gauge, QWidget* parent, int left, int top, int size) {
    const int u = UnitOf(size);
    PlacePicture(gauge, parent, QRect(left, top, 16 * u, 12 * u), u);
}

void Place(TRoundGauge& gauge, QWidget* parent, int centerX, int centerY, int size) {
    const int u = UnitOf(size);
    PlacePicture(gauge, parent, QRect(centerX - 8 * u, centerY - 8 * u, 16 * u, 16 * u), u);
}

void SetIntValue(TRectGauge& gauge, int value) {
    StoreInt(gauge, value);
    Draw(gauge);
}

void SetIntValue(TRoundGauge& gauge, int value) {
    StoreInt(gauge, value);
    Draw(gauge);
}

void SetRealValue(TRectGauge& gauge, double value, char sep) {
    StoreReal(gauge, value, sep);
    Draw(gauge);
}

void SetRealValue(TRoundGauge& gauge, double value, char sep) {
    StoreReal(gauge, value, sep);
    Draw(gauge);
}

void Draw(TRectGauge& gauge) { DrawGauge(gauge, RectShape(gauge.Unit)); }

void Draw(TRoundGauge& gauge) { DrawGauge(gauge, RoundShape(gauge.Unit)); }

}  // namespace korvan

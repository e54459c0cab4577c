// The two gauge records of the outline page: a rectangular panel and a round
// dial, each drawn on its own child widget from an off-screen image. Sizes are
// in units of the nominal size div 16, so a gauge scales with what it is given.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace korvan {

// The child widget a gauge draws on: it only shows the gauge's image.
class GaugePicture : public QWidget {
  public:
    explicit GaugePicture(QWidget* parent);
    QImage& Image() { return image_; }
    const QImage& Image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage image_;
};

// What the last drawing showed, so that a store that changes nothing on the
// face costs no repaint.
struct GaugeFace {
    bool Drawn = false;
    bool Active = false;
    int Unit = 0;
    QString ValueText, Caption;
    QRgb Face = 0, Text = 0, Background = 0;
    bool operator==(const GaugeFace&) const = default;
};

struct GaugeRecord {
    double RangeMin = 0;
    double RangeMax = 0;
    double WarnLevel = 0;
    double AlarmLevel = 0;
    QString Caption;
    bool Active = false;
    int Width = 0;
    int Height = 0;
    int Left = 0, Top = 0;
    int Right = 0, Bottom = 0;  // inclusive edges
    QPointer<GaugePicture> Picture;
    double Value = 0;
    int Unit = 0;
    QString ValueText;
    GaugeFace LastFace;

    GaugeRecord() = default;
    GaugeRecord(const GaugeRecord&) = delete;
    GaugeRecord& operator=(const GaugeRecord&) = delete;
    ~GaugeRecord();
};

struct TRectGauge : GaugeRecord {};
struct TRoundGauge : GaugeRecord {};

// The colour of the main window; the round gauges clear their corners to it.
extern QColor ViewBackground;

void Place(TRectGauge& gauge, QWidget* parent, int left, int top, int size);
void Place(TRoundGauge& gauge, QWidget* parent, int centerX, int centerY, int size);

void SetIntValue(TRectGauge& gauge, int value);
void SetIntValue(TRoundGauge& gauge, int value);
// `sep` is the user's decimal separator.
void SetRealValue(TRectGauge& gauge, double value, char sep);
void SetRealValue(TRoundGauge& gauge, double value, char sep);

void Draw(TRectGauge& gauge);
void Draw(TRoundGauge& gauge);

// The gauge colours, (red, green, blue).
namespace GaugeColour {
inline const QColor Silver{192, 192, 192};
inline const QColor WarningFace{192, 192, 112};
inline const QColor AlarmFace{192, 112, 112};
inline const QColor Lime{0, 255, 0};
inline const QColor Yellow{255, 255, 0};
inline const QColor Red{255, 0, 0};
inline const QColor DarkGrey{64, 64, 64};
inline const QColor Black{0, 0, 0};
}  // namespace GaugeColour

inline constexpr const char* ArialFace = "Arial";
inline constexpr const char* ArialNarrowFace = "Arial Narrow";

// The bold face of `family`; "Arial Narrow" falls back to Arial condensed.
QFont BoldFace(const QString& family);

// A bold font whose cell (ascent plus descent) is at most `cellHeight` pixels.
// When the machine has no narrow face, the narrow family is Arial condensed.
QFont GaugeFont(const QString& family, int cellHeight);

// The value font after fitting `text` into `limit` pixels: Arial at
// `cellHeight`, else Arial Narrow, else Arial Narrow at a height scaled down by
// limit / width.
struct FittedFont {
    QString Family;
    int CellHeight = 0;
    QFont Font;
};
FittedFont FitValueFont(const QString& text, int cellHeight, int limit);

// The decimal separator of the user's locale ('.' when it is not one plain character).
char LocaleDecimalSeparator();

}  // namespace korvan

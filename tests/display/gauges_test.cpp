#include "display/gauges.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <QWidget>
#include <clocale>
#include <cstdlib>
#include <string>

using namespace korvan;

namespace {

QColor PixelAt(const GaugeRecord& g, int x, int y) { return g.Picture->Image().pixelColor(x, y); }

// How many pixels of exactly `colour` lie inside `area` of the gauge's image.
int CountColour(const GaugeRecord& g, const QRect& area, const QColor& colour) {
    int n = 0;
    const QImage& image = g.Picture->Image();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += image.pixelColor(x, y) == colour;
    return n;
}

// Left- and rightmost columns holding `colour` in `area`; (-1, -1) when none.
std::pair<int, int> ColumnsOf(const GaugeRecord& g, const QRect& area, const QColor& colour) {
    int first = -1, last = -1;
    const QImage& image = g.Picture->Image();
    for (int x = area.left(); x <= area.right(); ++x)
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (image.pixelColor(x, y) == colour) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

struct RectFixture : ::testing::Test {
    QWidget parent;
    TRectGauge gauge;
    void SetUp() override {
        parent.resize(400, 300);
        gauge.RangeMin = 0;
        gauge.RangeMax = 100;
        gauge.Caption = "voltage V";
        gauge.Active = true;
        Place(gauge, &parent, 10, 20, 113);  // unit 7
    }
    QRect Window() const { return QRect(QPoint(8, 8), QPoint(103, 47)); }  // inside the outline
};

struct RoundFixture : ::testing::Test {
    QWidget parent;
    TRoundGauge gauge;
    void SetUp() override {
        parent.resize(600, 600);
        ViewBackground = QColor(10, 20, 30);
        gauge.RangeMin = -999;
        gauge.RangeMax = 999;
        gauge.Caption = "current A";
        gauge.Active = true;
        Place(gauge, &parent, 300, 250, 342);  // unit 21
    }
};

}  // namespace

TEST_F(RectFixture, PlacementAndProportions) {
    EXPECT_EQ(gauge.Unit, 7);
    EXPECT_EQ(gauge.Width, 112);
    EXPECT_EQ(gauge.Height, 84);
    EXPECT_EQ(gauge.Left, 10);
    EXPECT_EQ(gauge.Top, 20);
    EXPECT_EQ(gauge.Right, 121);
    EXPECT_EQ(gauge.Bottom, 103);
    EXPECT_EQ(gauge.Picture->geometry(), QRect(10, 20, 112, 84));
    EXPECT_EQ(gauge.Picture->parentWidget(), &parent);
    EXPECT_TRUE(gauge.Picture->Image().isNull());  // placed, not drawn

    SetIntValue(gauge, 42);
    ASSERT_EQ(gauge.Picture->Image().size(), QSize(112, 84));
    // Outline, face, value window (7, 7)-(105, 49) with its black outline.
    EXPECT_EQ(PixelAt(gauge, 0, 0), GaugeColour::DarkGrey);
    EXPECT_EQ(PixelAt(gauge, 111, 83), GaugeColour::DarkGrey);
    EXPECT_EQ(PixelAt(gauge, 3, 3), GaugeColour::Silver);
    EXPECT_EQ(PixelAt(gauge, 7, 7), GaugeColour::Black);
    EXPECT_EQ(PixelAt(gauge, 104, 48), GaugeColour::Black);
    EXPECT_EQ(PixelAt(gauge, 105, 48), GaugeColour::Silver);
    EXPECT_EQ(PixelAt(gauge, 104, 49), GaugeColour::Silver);
    EXPECT_EQ(PixelAt(gauge, 9, 9), GaugeColour::DarkGrey);
}

TEST_F(RectFixture, FontsForTheWorkedSize) {
    const FittedFont value = FitValueFont("42", 6 * 7, 13 * 7);
    EXPECT_EQ(value.Family, QString(ArialFace));
    EXPECT_EQ(value.CellHeight, 42);
    const int cell = QFontMetrics(value.Font).height();
    EXPECT_LE(cell, 42);
    EXPECT_GE(cell, 40);
    EXPECT_TRUE(value.Font.bold());
    const int caption = QFontMetrics(GaugeFont(ArialFace, 14)).height();
    EXPECT_LE(caption, 14);
    EXPECT_GE(caption, 12);
}

TEST_F(RectFixture, ColoursOnARisingScale) {
    gauge.WarnLevel = 15;
    gauge.AlarmLevel = 16;
    const struct {
        double Value;
        QColor Face, Text;
    } cases[] = {
        {15, GaugeColour::Silver, GaugeColour::Lime},
        {15.5, GaugeColour::WarningFace, GaugeColour::Yellow},
        {16.5, GaugeColour::AlarmFace, GaugeColour::Red},
    };
    for (const auto& c : cases) {
        SetRealValue(gauge, c.Value, '.');
        EXPECT_EQ(PixelAt(gauge, 3, 60), c.Face) << c.Value;
        EXPECT_GT(CountColour(gauge, Window(), c.Text), 100) << c.Value;
    }
}

TEST_F(RectFixture, ColoursOnAFallingScaleAndWithEqualLevels) {
    gauge.WarnLevel = 30;
    gauge.AlarmLevel = 10;
    SetIntValue(gauge, 30);
    EXPECT_EQ(PixelAt(gauge, 3, 60), GaugeColour::Silver);
    SetIntValue(gauge, 29);
    EXPECT_EQ(PixelAt(gauge, 3, 60), GaugeColour::WarningFace);
    EXPECT_GT(CountColour(gauge, Window(), GaugeColour::Yellow), 100);
    SetIntValue(gauge, 9);
    EXPECT_EQ(PixelAt(gauge, 3, 60), GaugeColour::AlarmFace);
    EXPECT_GT(CountColour(gauge, Window(), GaugeColour::Red), 50);

    gauge.WarnLevel = gauge.AlarmLevel = 50;
    for (int v : {0, 50, 100}) {
        SetIntValue(gauge, v);
        EXPECT_EQ(PixelAt(gauge, 3, 60), GaugeColour::Silver) << v;
    }
}

TEST_F(RectFixture, OutOfRangeShowsDashesButStillColours) {
    gauge.WarnLevel = 15;
    gauge.AlarmLevel = 16;
    SetIntValue(gauge, 100);
    EXPECT_EQ(gauge.ValueText, "100");
    SetIntValue(gauge, 101);
    EXPECT_EQ(gauge.ValueText, "---");
    EXPECT_EQ(gauge.Value, 101);
    EXPECT_EQ(PixelAt(gauge, 3, 60), GaugeColour::AlarmFace);
    // Three dashes centred in the window, on the text's middle line.
    const auto [first, last] = ColumnsOf(gauge, Window(), GaugeColour::Red);
    ASSERT_GE(first, 0);
    EXPECT_NEAR((first + last) / 2.0, 56, 3);
    SetIntValue(gauge, 0);
    EXPECT_EQ(gauge.ValueText, "0");
    SetIntValue(gauge, -1);
    EXPECT_EQ(gauge.ValueText, "---");
}

TEST_F(RectFixture, InactiveFaceIsGreyWithCaptionOnly) {
    gauge.WarnLevel = 15;
    gauge.AlarmLevel = 16;
    gauge.Active = false;
    SetIntValue(gauge, 55);
    EXPECT_EQ(gauge.ValueText, "55");  // stored even while inactive
    EXPECT_EQ(PixelAt(gauge, 3, 60), GaugeColour::Silver);
    EXPECT_EQ(PixelAt(gauge, 7, 7), GaugeColour::DarkGrey);  // window outline
    const QRect inside(QPoint(8, 8), QPoint(103, 47));
    EXPECT_EQ(CountColour(gauge, inside, GaugeColour::Silver), inside.width() * inside.height());
    // The caption is right-aligned to 15u = 105 in the band from 9u to 11u.
    const auto [first, last] =
        ColumnsOf(gauge, QRect(QPoint(7, 63), QPoint(110, 76)), GaugeColour::DarkGrey);
    EXPECT_GT(first, 7);
    EXPECT_LE(last, 104);
    EXPECT_GE(last, 100);
}

TEST_F(RectFixture, DecimalSeparatorIsThePassedOne) {
    SetRealValue(gauge, 12.5, ',');
    EXPECT_EQ(gauge.ValueText, "12,50");
    SetRealValue(gauge, 12.5, '.');
    EXPECT_EQ(gauge.ValueText, "12.50");
}

TEST_F(RectFixture, WideTextsTakeTheNarrowFaceThenAScaledHeight) {
    const int u = 7, limit = 13 * u;
    const FittedFont rpm = FitValueFont("20000", 6 * u, limit);
    EXPECT_GT(QFontMetrics(GaugeFont(ArialFace, 6 * u)).horizontalAdvance("20000"), limit);
    EXPECT_EQ(rpm.Family, QString(ArialNarrowFace));
    EXPECT_EQ(rpm.CellHeight, 6 * u);
    EXPECT_LE(QFontMetrics(rpm.Font).horizontalAdvance("20000"), limit);

    const QString wide = "123456789";
    const int narrowWidth = QFontMetrics(GaugeFont(ArialNarrowFace, 6 * u)).horizontalAdvance(wide);
    ASSERT_GT(narrowWidth, limit);
    const FittedFont scaled = FitValueFont(wide, 6 * u, limit);
    EXPECT_EQ(scaled.Family, QString(ArialNarrowFace));
    EXPECT_EQ(scaled.CellHeight, 6 * u * limit / narrowWidth);
    EXPECT_LT(scaled.CellHeight, 6 * u);

    // Drawn: the scaled text stays inside the window and is centred on 8u.
    gauge.RangeMax = 1e9;
    SetIntValue(gauge, 123456789);
    const auto [first, last] = ColumnsOf(gauge, QRect(0, 0, 112, 84), GaugeColour::Lime);
    ASSERT_GE(first, 0);
    EXPECT_GE(first, 7);
    EXPECT_LE(last, 104);
    EXPECT_NEAR((first + last) / 2.0, 8 * u, 3);
}

TEST(GaugeFonts, NarrowFaceIsNarrowerThanArial) {
    const QString digits = "0123456789";
    const int arial = QFontMetrics(GaugeFont(ArialFace, 42)).horizontalAdvance(digits);
    const int narrow = QFontMetrics(GaugeFont(ArialNarrowFace, 42)).horizontalAdvance(digits);
    EXPECT_LT(narrow, arial * 90 / 100);
    EXPECT_GT(narrow, arial * 70 / 100);
}

TEST_F(RectFixture, RepaintsOnlyWhenTheFaceChanges) {
    SetIntValue(gauge, 42);
    const qint64 drawn = gauge.Picture->Image().cacheKey();
    SetIntValue(gauge, 42);
    EXPECT_EQ(gauge.Picture->Image().cacheKey(), drawn);
    SetIntValue(gauge, 43);
    EXPECT_NE(gauge.Picture->Image().cacheKey(), drawn);
    const qint64 again = gauge.Picture->Image().cacheKey();
    gauge.Active = false;
    Draw(gauge);
    EXPECT_NE(gauge.Picture->Image().cacheKey(), again);
    EXPECT_EQ(PixelAt(gauge, 20, 20), GaugeColour::Silver);
}

TEST_F(RectFixture, PlacingAgainReplacesThePicture) {
    SetIntValue(gauge, 42);
    QPointer<GaugePicture> old = gauge.Picture;
    Place(gauge, &parent, 0, 0, 64);
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(gauge.Unit, 4);
    EXPECT_EQ(gauge.Right, 63);
    EXPECT_EQ(gauge.Bottom, 47);
    EXPECT_TRUE(gauge.Picture->Image().isNull());
    EXPECT_EQ(gauge.ValueText, "42");  // fields other than geometry survive
    Draw(gauge);
    EXPECT_EQ(gauge.Picture->Image().size(), QSize(64, 48));
}

TEST(GaugeSizes, TooSmallOrNegativeSizesDrawNothing) {
    QWidget parent;
    TRectGauge rect;
    rect.Active = true;
    rect.RangeMax = 10;
    Place(rect, &parent, 5, 5, 15);
    EXPECT_EQ(rect.Unit, 0);
    EXPECT_EQ(rect.Width, 0);
    EXPECT_EQ(rect.Right, 4);
    SetIntValue(rect, 5);
    EXPECT_TRUE(rect.Picture->Image().isNull());
    TRoundGauge round;
    Place(round, &parent, 50, 50, -40);
    EXPECT_EQ(round.Unit, 0);
    SetRealValue(round, 1, '.');
    EXPECT_TRUE(round.Picture->Image().isNull());
}

TEST(GaugeSizes, ParentDestroyedBeforeTheGauge) {
    TRectGauge gauge;
    {
        QWidget parent;
        Place(gauge, &parent, 0, 0, 113);
        SetIntValue(gauge, 1);
    }
    EXPECT_TRUE(gauge.Picture.isNull());
    Draw(gauge);  // no picture: nothing to do
}

TEST_F(RoundFixture, PlacementCentredOnThePoint) {
    EXPECT_EQ(gauge.Unit, 21);
    EXPECT_EQ(gauge.Width, 336);
    EXPECT_EQ(gauge.Height, 336);
    EXPECT_EQ(gauge.Left, 300 - 168);
    EXPECT_EQ(gauge.Top, 250 - 168);
    EXPECT_EQ(gauge.Right, 300 + 167);
    EXPECT_EQ(gauge.Bottom, 250 + 167);
}

TEST_F(RoundFixture, CornersDiscAndWindow) {
    SetIntValue(gauge, 12);
    EXPECT_EQ(PixelAt(gauge, 0, 0), ViewBackground);
    EXPECT_EQ(PixelAt(gauge, 335, 335), ViewBackground);
    EXPECT_EQ(PixelAt(gauge, 40, 40), ViewBackground);  // outside the disc
    EXPECT_EQ(PixelAt(gauge, 168, 20), GaugeColour::Silver);
    // Window (42, 84)-(294, 210).
    EXPECT_EQ(PixelAt(gauge, 42, 84), GaugeColour::Black);
    EXPECT_EQ(PixelAt(gauge, 293, 209), GaugeColour::Black);
    EXPECT_EQ(PixelAt(gauge, 294, 150), GaugeColour::Silver);
    EXPECT_EQ(PixelAt(gauge, 44, 86), GaugeColour::DarkGrey);
    EXPECT_GT(CountColour(gauge, QRect(43, 85, 250, 124), GaugeColour::Lime), 500);
}

TEST_F(RoundFixture, ColoursAndInactiveFace) {
    gauge.WarnLevel = -90;
    gauge.AlarmLevel = -100;
    SetIntValue(gauge, -95);
    EXPECT_EQ(PixelAt(gauge, 168, 20), GaugeColour::WarningFace);
    EXPECT_GT(CountColour(gauge, QRect(43, 85, 250, 124), GaugeColour::Yellow), 500);
    SetIntValue(gauge, -1500);
    EXPECT_EQ(gauge.ValueText, "---");
    EXPECT_EQ(PixelAt(gauge, 168, 20), GaugeColour::AlarmFace);
    gauge.Active = false;
    SetIntValue(gauge, 5);
    EXPECT_EQ(PixelAt(gauge, 168, 20), GaugeColour::Silver);
    EXPECT_EQ(PixelAt(gauge, 100, 150), GaugeColour::Silver);  // window filled silver
    EXPECT_EQ(CountColour(gauge, QRect(43, 85, 250, 124), GaugeColour::Lime), 0);
    EXPECT_EQ(PixelAt(gauge, 0, 0), ViewBackground);
}

TEST_F(RoundFixture, ANewBackgroundRedrawsTheCorners) {
    SetIntValue(gauge, 1);
    ViewBackground = QColor(200, 100, 50);
    SetIntValue(gauge, 1);
    EXPECT_EQ(PixelAt(gauge, 0, 0), QColor(200, 100, 50));
}

TEST_F(RoundFixture, NarrowerLimitThanTheRectangle) {
    const int u = 21;
    // Five digits fit 13u in Arial Narrow but not 12u.
    const QString text = "20000";
    const int narrow = QFontMetrics(GaugeFont(ArialNarrowFace, 6 * u)).horizontalAdvance(text);
    const FittedFont fit = FitValueFont(text, 6 * u, 12 * u);
    if (narrow > 12 * u)
        EXPECT_EQ(fit.CellHeight, 6 * u * 12 * u / narrow);
    else
        EXPECT_EQ(fit.CellHeight, 6 * u);
    gauge.RangeMax = 20000;
    SetIntValue(gauge, 20000);
    const auto [first, last] = ColumnsOf(gauge, QRect(0, 0, 336, 336), GaugeColour::Lime);
    EXPECT_GE(first, 2 * u);
    EXPECT_LE(last, 14 * u - 1);
}

// A new number redraws only the value window; the result must equal a gauge
// drawn afresh with that number, also when the colour stays the same.
TEST(GaugeRedraw, NumberChangeLeavesNoTraceOfTheOldText) {
    QWidget parent;
    TRectGauge changed, fresh;
    TRoundGauge changedRound, freshRound;
    for (GaugeRecord* g :
         {static_cast<GaugeRecord*>(&changed), static_cast<GaugeRecord*>(&fresh),
          static_cast<GaugeRecord*>(&changedRound), static_cast<GaugeRecord*>(&freshRound)}) {
        g->RangeMin = -999;
        g->RangeMax = 999;
        g->WarnLevel = g->AlarmLevel = 0;
        g->Caption = "load current A";
        g->Active = true;
    }
    Place(changed, &parent, 0, 0, 113);
    Place(fresh, &parent, 0, 100, 113);
    Place(changedRound, &parent, 200, 200, 200);
    Place(freshRound, &parent, 400, 200, 200);
    SetIntValue(changed, -888);
    SetIntValue(changed, 1);
    SetIntValue(fresh, 1);
    EXPECT_EQ(changed.Picture->Image(), fresh.Picture->Image());
    SetRealValue(changedRound, -888, '.');
    SetRealValue(changedRound, 1, '.');
    SetRealValue(freshRound, 1, '.');
    EXPECT_EQ(changedRound.Picture->Image(), freshRound.Picture->Image());
}

// A C locale whose decimal point is a comma: an installed one, else one built
// with localedef into `dir`. False when neither is possible.
static bool SelectCommaLocale(const QTemporaryDir& dir) {
    auto select = [](const char* name) {
        return setlocale(LC_NUMERIC, name) && localeconv()->decimal_point[0] == ',';
    };
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (select(name)) return true;
    if (!dir.isValid()) return false;
    const std::string path = dir.path().toStdString();
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + path + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1) return false;
    setenv("LOCPATH", path.c_str(), 1);
    const bool ok = select("de_DE.UTF-8");
    unsetenv("LOCPATH");
    return ok;
}

// The toolkit takes the C locale from the environment; the separator of the
// gauge texts must still be only the one passed.
TEST(GaugeLocale, RealTextsIgnoreTheCLocale) {
    const std::string previous = setlocale(LC_NUMERIC, nullptr);
    QTemporaryDir dir;
    if (!SelectCommaLocale(dir)) GTEST_SKIP() << "no locale with a decimal comma can be had";
    QWidget parent;
    TRectGauge gauge;
    gauge.RangeMax = 99.9;
    Place(gauge, &parent, 0, 0, 113);
    SetRealValue(gauge, 12.5, '.');
    const QString dotted = gauge.ValueText;
    SetRealValue(gauge, 12.5, ',');
    const QString comma = gauge.ValueText;
    setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(dotted, "12.50");
    EXPECT_EQ(comma, "12,50");
}

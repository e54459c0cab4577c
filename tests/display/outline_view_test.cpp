#include "display/outline_view.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QToolButton>

using namespace korvan;

namespace {

struct OutlineFixture : ::testing::Test {
    SystemData data{};
    OutlineView view{data};
    void SetUp() override {
        view.SetDecimalSeparator('.');
        view.resize(908, 599);
        view.show();  // the resize reaches the page and lays it out
    }
    void Connect(uint16_t modules, uint8_t stage = 3) {
        data.ControlState.ConnectedModules = modules;
        data.ControlState.ChargingStage = stage;
    }
    static QColor Face(const GaugeRecord& g) {
        return g.Picture->Image().pixelColor(3, 3 * g.Unit + g.Unit * 5);
    }
    static QColor RoundFace(const GaugeRecord& g) {
        return g.Picture->Image().pixelColor(8 * g.Unit, g.Unit);
    }
};

constexpr uint16_t AllModules = BatteryBoxConnected | FieldBox1Connected | FieldBox2Connected;

}  // namespace

TEST_F(OutlineFixture, LayoutAtTheDesignSize) {
    const struct {
        TRectGauge* Gauge;
        int Left, Top;
    } expected[] = {
        {&view.SocGauge, 34, 9},         {&view.CurrentGauge, 216, 9},
        {&view.VoltageGauge, 398, 9},    {&view.TempGauge, 579, 9},
        {&view.LoadGauge, 761, 9},       {&view.AltCurrentGauge1, 14, 320},
        {&view.AltTempGauge1, 14, 413},  {&view.RpmGauge1, 14, 506},
        {&view.FieldGauge1, 141, 506},   {&view.AltCurrentGauge2, 781, 320},
        {&view.AltTempGauge2, 781, 413}, {&view.RpmGauge2, 781, 506},
        {&view.FieldGauge2, 654, 506},   {&view.FrsGauge, 398, 506},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.Gauge->Caption.toStdString());
        EXPECT_EQ(e.Gauge->Unit, 7);
        EXPECT_EQ(e.Gauge->Picture->geometry(), QRect(e.Left, e.Top, 112, 84));
        EXPECT_EQ(e.Gauge->Right, e.Left + 111);
        EXPECT_EQ(e.Gauge->Bottom, e.Top + 83);
    }
    EXPECT_EQ(view.FRSPlusButton->geometry(), QRect(305, 506, 84, 84));
    EXPECT_EQ(view.FRSMinusButton->geometry(), QRect(518, 506, 84, 84));
    EXPECT_EQ(view.CenterGauge.Unit, 21);
    EXPECT_EQ(view.CenterGauge.Picture->geometry(), QRect(286, 131, 336, 336));
}

TEST_F(OutlineFixture, LabelsAndBevelsAtTheDesignSize) {
    EXPECT_EQ(view.Engine1StaticText->geometry(), QRect(14, 269, 121, 35));
    EXPECT_EQ(view.Engine2StaticText->geometry(), QRect(892 - 121, 269, 121, 35));
    EXPECT_EQ(view.LeftBevel->geometry(), QRect(14, 253, 286 - 14 - 8, 10));
    EXPECT_EQ(view.RightBevel->geometry(), QRect(629, 253, 892 - 629, 10));
    EXPECT_EQ(view.ChargeModeLabel->pos(), QPoint(14, 108));
    EXPECT_EQ(view.ChargeTimeLabel->pos(), QPoint(629, 108));
    EXPECT_EQ(view.ChargeTimeLabel->geometry().right(), 891);
    EXPECT_EQ(view.WarningLabel->pos(), QPoint(14, 108 + view.ChargeModeLabel->height() + 16));
    // Design texts until the first refresh.
    EXPECT_EQ(view.ChargeModeLabel->text(), "Charge/Mode ");
    EXPECT_EQ(view.WarningLabel->text(), "Warning");
    EXPECT_EQ(view.ChargeTimeLabel->text(), "Time to charge 234:59");
    EXPECT_EQ(view.Engine1StaticText->font().pixelSize(), 27);
    EXPECT_TRUE(view.Engine1StaticText->font().bold());
}

TEST_F(OutlineFixture, ResizeLaysOutAgain) {
    view.resize(1600, 1000);
    EXPECT_EQ(view.SocGauge.Unit, 200 / 16);
    EXPECT_EQ(view.SocGauge.Left, 160 - 100);
    EXPECT_EQ(view.CenterGauge.Unit, 571 / 16);
}

TEST_F(OutlineFixture, LayoutMakesEveryGaugeInactiveGrey) {
    Connect(AllModules);
    data.BatteryState.Soc = 5;
    view.RefreshOutline();
    EXPECT_TRUE(view.SocGauge.Active);
    EXPECT_EQ(Face(view.SocGauge), GaugeColour::AlarmFace);
    view.LayoutOutline();
    for (int i = 0; i < OutlineGaugeCount; ++i) {
        const TRectGauge& g = view.Gauge(OutlineGauge(i));
        EXPECT_FALSE(g.Active) << i;
        EXPECT_EQ(Face(g), GaugeColour::Silver) << i;
    }
    EXPECT_EQ(view.SocGauge.ValueText, "5");
    EXPECT_EQ(view.FieldGauge1.ValueText, "0");
    EXPECT_FALSE(view.CenterGauge.Active);
    EXPECT_TRUE(view.CenterGauge.Picture->Image().isNull());  // drawn at the next refresh
}

TEST_F(OutlineFixture, RefreshFeedsValuesAndActivity) {
    Connect(BatteryBoxConnected | FieldBox1Connected);
    data.BatteryState.Soc = 77;
    data.BatteryState.BatteryCurrent = -12;
    data.BatteryState.TrueBatteryVoltage = 12.5;
    data.BatteryState.Temperature1 = -128;
    data.BatteryState.LoadCurrent = 1000;
    data.BatteryState.Alternator1Current = 85;
    data.FieldState[0].EngineRpm = 1850;
    data.FieldState[1].EngineRpm = 2000;
    data.ControlState.Alt1DigitalFieldControl = 1250;
    view.RefreshOutline();
    EXPECT_EQ(view.SocGauge.ValueText, "77");
    EXPECT_EQ(view.CurrentGauge.ValueText, "-12");
    EXPECT_EQ(view.VoltageGauge.ValueText, "12.50");
    EXPECT_EQ(view.TempGauge.ValueText, "---");
    EXPECT_EQ(view.LoadGauge.ValueText, "---");
    EXPECT_EQ(view.AltCurrentGauge1.ValueText, "85");
    EXPECT_EQ(view.RpmGauge1.ValueText, "1850");
    EXPECT_EQ(view.FieldGauge1.ValueText, "50");
    EXPECT_EQ(view.CenterGauge.ValueText, "12.50");
    EXPECT_TRUE(view.CenterGauge.Active);
    EXPECT_TRUE(view.AltCurrentGauge1.Active);
    EXPECT_TRUE(view.RpmGauge1.Active);
    EXPECT_FALSE(view.RpmGauge2.Active);
    EXPECT_EQ(view.RpmGauge2.ValueText, "2000");
    EXPECT_EQ(Face(view.RpmGauge2), GaugeColour::Silver);
    EXPECT_EQ(RoundFace(view.CenterGauge), GaugeColour::Silver);
}

TEST_F(OutlineFixture, LevelsAreTakenFromTheSettingsAtLayoutTime) {
    data.BatteryState.SystemVoltage = 24;
    view.LayoutOutline();
    EXPECT_EQ(view.VoltageGauge.WarnLevel, 30);
    EXPECT_EQ(view.VoltageGauge.AlarmLevel, 32);
    EXPECT_EQ(view.CenterGauge.WarnLevel, 30);
    Connect(BatteryBoxConnected);
    data.BatteryState.SystemVoltage = 12;
    data.BatteryState.TrueBatteryVoltage = 28.8;
    view.RefreshOutline();
    EXPECT_EQ(Face(view.VoltageGauge), GaugeColour::Silver);  // still the 24 V levels
    view.LayoutOutline();
    view.RefreshOutline();
    EXPECT_EQ(Face(view.VoltageGauge), GaugeColour::AlarmFace);
    EXPECT_EQ(RoundFace(view.CenterGauge), GaugeColour::AlarmFace);
}

TEST_F(OutlineFixture, CentreGaugeTakesTheChosenQuantity) {
    data.BatterySettings.WarningSoc = 25;
    Connect(BatteryBoxConnected);
    data.BatteryState.Soc = 20;
    data.BatteryState.Temperature1 = -128;
    view.SetCenterChoice(CenterChoice::Soc);
    EXPECT_EQ(view.centerChoice(), CenterChoice::Soc);
    EXPECT_EQ(view.CenterGauge.Caption, "SOC %");
    EXPECT_EQ(view.CenterGauge.WarnLevel, 25);
    EXPECT_EQ(view.CenterGauge.AlarmLevel, 10);
    view.RefreshOutline();
    EXPECT_EQ(view.CenterGauge.ValueText, "20");
    EXPECT_EQ(RoundFace(view.CenterGauge), GaugeColour::WarningFace);

    view.SetCenterChoice(CenterChoice::BatteryTemperature);
    view.RefreshOutline();
    EXPECT_EQ(view.CenterGauge.Caption, "temp \u00B0C");
    EXPECT_EQ(view.CenterGauge.ValueText, "---");
    EXPECT_EQ(view.TempGauge.ValueText, "---");
}

TEST_F(OutlineFixture, ChargingStageAndFaultLabels) {
    Connect(0, 2);
    view.RefreshOutline();
    EXPECT_EQ(view.ChargeModeLabel->text(), "Battery: Mandatory Bulk");
    EXPECT_EQ(view.WarningLabel->text(), "");
    data.ControlState.ChargingStage = 7;  // unknown: the text stays
    view.RefreshOutline();
    EXPECT_EQ(view.ChargeModeLabel->text(), "Battery: Mandatory Bulk");

    Connect(WarningFaultPresent);
    view.RefreshOutline();
    EXPECT_EQ(view.WarningLabel->text(), "Warning fault present");
    EXPECT_EQ(view.WarningLabel->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    Connect(WarningFaultPresent | CriticalFaultPresent);
    view.RefreshOutline();
    EXPECT_EQ(view.WarningLabel->text(), "Critical fault present");
    EXPECT_EQ(view.WarningLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    Connect(0);
    view.RefreshOutline();
    EXPECT_EQ(view.WarningLabel->text(), "");
    EXPECT_EQ(view.WarningLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(OutlineFixture, TimeToChargeLabel) {
    Connect(BatteryBoxConnected, 3);
    data.BatteryState.Soc = 50;
    data.BatteryState.ChargeContent = 100;
    data.BatteryState.BatteryCurrent = 20;
    view.RefreshOutline();
    EXPECT_EQ(view.ChargeTimeLabel->text(), "Time to charge 5:0");
    data.BatteryState.ChargeContent = 0;  // no bank size known yet
    view.RefreshOutline();
    EXPECT_EQ(view.ChargeTimeLabel->text(), "");
}

TEST_F(OutlineFixture, FieldReductionColoursFrsAndFieldGauges) {
    Connect(AllModules, 3);
    data.ControlState.FrsValue = 3;
    data.ControlState.Alt1DigitalFieldControl = 1000;  // 40 %
    view.RefreshOutline();
    EXPECT_EQ(view.FrsGauge.ValueText, "70");
    EXPECT_EQ(Face(view.FrsGauge), GaugeColour::WarningFace);
    EXPECT_EQ(view.FieldGauge1.WarnLevel, 0);
    EXPECT_EQ(Face(view.FieldGauge1), GaugeColour::WarningFace);
    EXPECT_EQ(Face(view.FieldGauge2), GaugeColour::Silver);  // drive 0
    data.ControlState.FrsValue = 0;
    view.RefreshOutline();
    EXPECT_EQ(Face(view.FieldGauge1), GaugeColour::Silver);
    EXPECT_EQ(view.FieldGauge1.WarnLevel, 2500);
    data.ControlState.FrsValue = 6;
    view.RefreshOutline();
    EXPECT_EQ(view.FrsGauge.ValueText, "40");
    EXPECT_EQ(Face(view.FrsGauge), GaugeColour::AlarmFace);
    Connect(AllModules, 0);
    view.RefreshOutline();
    EXPECT_FALSE(view.FrsGauge.Active);
}

TEST_F(OutlineFixture, FrsButtonsFollowTheOptionAndTheStage) {
    int plus = 0, minus = 0;
    QObject::connect(&view, &OutlineView::FRSPlusButtonClick, [&] { ++plus; });
    QObject::connect(&view, &OutlineView::FRSMinusButtonClick, [&] { ++minus; });
    Connect(0, 0);
    view.RefreshOutline();
    EXPECT_FALSE(view.FRSPlusButton->isVisible());
    view.SetFrsControlsChecked(true);
    EXPECT_FALSE(view.FRSPlusButton->isVisible());  // at the next refresh
    view.RefreshOutline();
    EXPECT_TRUE(view.FRSPlusButton->isVisible());
    EXPECT_TRUE(view.FRSMinusButton->isVisible());
    EXPECT_FALSE(view.FRSPlusButton->isEnabled());
    view.FRSPlusButton->click();
    EXPECT_EQ(plus, 0);
    Connect(0, 1);
    view.RefreshOutline();
    EXPECT_TRUE(view.FRSPlusButton->isEnabled());
    view.FRSPlusButton->click();
    view.FRSMinusButton->click();
    view.FRSMinusButton->click();
    EXPECT_EQ(plus, 1);
    EXPECT_EQ(minus, 2);
    EXPECT_FALSE(view.FRSPlusButton->icon().isNull());
    view.SetFrsControlsChecked(false);
    view.RefreshOutline();
    EXPECT_FALSE(view.FRSMinusButton->isVisible());
}

TEST_F(OutlineFixture, ViewBackgroundIsTheWindowColour) {
    QPalette palette = view.palette();
    palette.setColor(QPalette::Window, QColor(12, 34, 56));
    view.setPalette(palette);
    view.LayoutOutline();
    view.RefreshOutline();
    EXPECT_EQ(ViewBackground, QColor(12, 34, 56));
    EXPECT_EQ(view.CenterGauge.Picture->Image().pixelColor(0, 0), QColor(12, 34, 56));
}

// A page squeezed to almost nothing gives zero-sized gauges that draw nothing.
TEST_F(OutlineFixture, TinyPageLaysOutAndRefreshes) {
    Connect(AllModules);
    for (QSize size : {QSize(0, 0), QSize(100, 40), QSize(127, 63)}) {
        view.resize(size);
        view.LayoutOutline();
        view.RefreshOutline();
        EXPECT_EQ(view.SocGauge.Width, 0);
        EXPECT_TRUE(view.SocGauge.Picture->Image().isNull());
        EXPECT_EQ(view.FRSPlusButton->width(), 0);
    }
    view.resize(908, 599);
    view.RefreshOutline();
    EXPECT_EQ(view.SocGauge.Picture->Image().size(), QSize(112, 84));
}

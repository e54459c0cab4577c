// Renders the outline page and the frame monitor with plausible values and saves
// them as PNG files, for looking at the displays without the hardware:
//   display-screens <directory> [width height]
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "display/can_monitor.h"
#include "display/outline_view.h"

using namespace korvan;

namespace {

void FillPlausible(SystemData& d) {
    ControlBoxState& c = d.ControlState;
    c.ConnectedModules = BatteryBoxConnected | FieldBox1Connected | FieldBox2Connected |
                         Nmea2000Connected | WarningFaultPresent;
    c.ChargingStage = 3;
    c.FrsValue = 3;
    c.Alt1DigitalFieldControl = 1500;
    c.Alt2DigitalFieldControl = 0;
    BatteryBoxState& b = d.BatteryState;
    b.Soc = 80;
    b.BatteryCurrent = 30;
    b.TrueBatteryVoltage = 14.32;
    b.Temperature1 = 24;
    b.LoadCurrent = -12;
    b.Alternator1Current = 85;
    b.Alternator2Current = 0;
    b.SystemVoltage = 12;
    b.ChargeContent = 160;
    d.BatterySettings.WarningSoc = 20;
    d.BatterySettings.WarningDischargeCurrent = 90;
    d.BatterySettings.FaultDischargeCurrent = 100;
    d.BatterySettings.WarningTemp1 = 45;
    d.BatterySettings.FaultTemp1 = 50;
    for (auto& f : d.FieldSettings) {
        f.WarningTemp = 90;
        f.FaultTemp = 100;
    }
    d.FieldState[0].AlternatorTemperature = 96;
    d.FieldState[0].EngineRpm = 1850;
    d.FieldState[1].AlternatorTemperature = -128;
    d.FieldState[1].EngineRpm = 7450;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: display-screens <directory> [width height]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const int w = argc > 3 ? std::atoi(argv[2]) : 908;
    const int h = argc > 3 ? std::atoi(argv[3]) : 599;

    SystemData data{};
    FillPlausible(data);
    OutlineView outline(data);
    outline.SetFrsControlsChecked(true);
    outline.resize(w, h);
    outline.show();
    outline.LayoutOutline();
    outline.RefreshOutline();
    const bool outlineSaved = outline.grab().save(dir.filePath("outline.png"));

    CanMonitor monitor;
    monitor.resize(908, 599);
    monitor.show();
    uint8_t answer[64] = {};
    for (int i = 0; i < 12; ++i) {
        answer[0] = uint8_t(i % 11);
        answer[4] = 0x23;
        answer[5] = uint8_t(0x01 + i);
        answer[6] = 0xF8;
        answer[7] = 0x09;
        answer[8] = uint8_t(i % 3 == 0 ? 8 : i);
        for (int k = 0; k < 8; ++k) answer[9 + k] = uint8_t(i * 16 + k);
        answer[32] = 6;
        answer[32 + 8] = uint8_t(i % 2 ? 0 : 3);
        answer[32 + 9] = 0xFF;
        if (i == 6) monitor.CanViewHexCheckBox->setChecked(false);
        monitor.AddFrameRecords(answer);
    }
    QApplication::processEvents();
    const bool monitorSaved = monitor.grab().save(dir.filePath("can_monitor.png"));
    return outlineSaved && monitorSaved ? 0 : 1;
}

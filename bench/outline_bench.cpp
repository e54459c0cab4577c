// Cost of feeding the outline page: a full refresh with every value moving
// (all fifteen gauges redraw), a refresh where nothing changed (no gauge
// redraws), and a layout of the whole page.
#include <benchmark/benchmark.h>

#include "display/outline_view.h"

namespace {

using namespace korvan;

struct OutlinePage {
    SystemData data{};
    OutlineView view{data};
    OutlinePage() {
        data.ControlState.ConnectedModules =
            BatteryBoxConnected | FieldBox1Connected | FieldBox2Connected;
        data.ControlState.ChargingStage = 3;
        data.BatteryState.ChargeContent = 160;
        data.BatteryState.SystemVoltage = 12;
        view.SetFrsControlsChecked(true);
        view.resize(1280, 900);
        view.show();
        view.LayoutOutline();
    }
    // Moves every value the page shows, so that every gauge's face changes.
    void Step(int i) {
        BatteryBoxState& b = data.BatteryState;
        b.Soc = uint8_t(20 + i % 80);
        b.BatteryCurrent = -50 + i % 100;
        b.TrueBatteryVoltage = 12.0 + (i % 400) / 100.0;
        b.Temperature1 = int8_t(10 + i % 40);
        b.LoadCurrent = i % 200;
        b.Alternator1Current = i % 150;
        b.Alternator2Current = 150 - i % 150;
        for (FieldBoxState& f : data.FieldState) {
            f.AlternatorTemperature = int8_t(40 + i % 60);
            f.EngineRpm = 800 + i % 3000;
        }
        data.ControlState.Alt1DigitalFieldControl = uint16_t(i % 2500);
        data.ControlState.Alt2DigitalFieldControl = uint16_t(2500 - i % 2500);
        data.ControlState.FrsValue = uint8_t(i % 10);
    }
};

// Never destroyed: its widgets must not outlive the application object that
// the bench main destroys first.
OutlinePage& Page() {
    static OutlinePage* page = new OutlinePage;
    return *page;
}

void BM_RefreshOutlineAllChanging(benchmark::State& state) {
    OutlinePage& page = Page();
    int i = 0;
    for (auto _ : state) {
        page.Step(++i);
        page.view.RefreshOutline();
    }
}
BENCHMARK(BM_RefreshOutlineAllChanging)->Unit(benchmark::kMicrosecond);

void BM_RefreshOutlineUnchanged(benchmark::State& state) {
    OutlinePage& page = Page();
    page.Step(7);
    page.view.RefreshOutline();
    for (auto _ : state) page.view.RefreshOutline();
}
BENCHMARK(BM_RefreshOutlineUnchanged)->Unit(benchmark::kMicrosecond);

void BM_LayoutOutline(benchmark::State& state) {
    OutlinePage& page = Page();
    for (auto _ : state) page.view.LayoutOutline();
}
BENCHMARK(BM_LayoutOutline)->Unit(benchmark::kMicrosecond);

}  // namespace

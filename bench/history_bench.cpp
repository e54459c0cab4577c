// The history: cost of recording one poll with a full day and a month behind it
// (so every poll also folds the oldest one into its minute), the memory a month
// of polls at 2 a second takes, the redraw of the trends page with a 24 h window
// and the CSV export of everything.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <ostream>
#include <streambuf>

#include "display/trends_view.h"
#include "history/history_csv.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

const HistoryTime Start = HistoryTime(1796734920000ms);
constexpr int64_t MonthOfPolls = (30LL + 1) * 24 * 3600 * 2;

// Values that move like a charging system's: slow swings with some ripple.
void Moving(SystemData& d, int64_t n) {
    const double t = double(n) / 7200;  // hours
    d.BatteryState.TrueBatteryVoltage = 13.2 + 0.8 * std::sin(t) + 0.01 * double(n % 7);
    d.BatteryState.MeasuredLoadsVoltage = d.BatteryState.TrueBatteryVoltage - 0.05;
    d.BatteryState.BatteryCurrent = int32_t(60 * std::sin(t * 3) + double(n % 5));
    d.BatteryState.Alternator1Current = int32_t(80 + 40 * std::sin(t * 2));
    d.BatteryState.Alternator2Current = int32_t(70 + 30 * std::cos(t * 2));
    d.BatteryState.LoadCurrent = int32_t(12 + n % 9);
    d.BatteryState.Soc = uint8_t(50 + 40 * std::sin(t / 5) * std::sin(t / 5));
    d.BatteryState.Temperature1 = int8_t(22 + 5 * std::sin(t / 3));
    d.BatteryState.Temperature3 = -128;
    d.ControlState.ChargingStage = uint8_t(int64_t(t * 2) % 5);
    d.ControlState.Alt1SetPoint = 14.4;
    d.ControlState.Alt1DigitalFieldControl = uint16_t(1250 + 1200 * std::sin(t * 5));
    d.ControlState.ConnectedModules = uint16_t(0x000E | (n % 1000 == 0 ? 0x0200 : 0));
    for (FieldBoxState& f : d.FieldState) {
        f.EngineRpm = int32_t(1500 + 400 * std::sin(t * 4));
        f.AlternatorTemperature = int8_t(60 + 20 * std::sin(t));
    }
}

// A month and a day of polls every 500 ms; built once.
HistoryRecorder& MonthHistory() {
    static HistoryRecorder* history = [] {
        auto* h = new HistoryRecorder;
        SystemData d{};
        for (int64_t n = 0; n < MonthOfPolls; ++n) {
            Moving(d, n);
            h->Record(Start + n * 500ms, d);
        }
        return h;
    }();
    return *history;
}

void BM_HistoryRecordPoll(benchmark::State& state) {
    HistoryRecorder& h = MonthHistory();
    SystemData d{};
    int64_t n = MonthOfPolls;
    for (auto _ : state) {
        Moving(d, n);
        h.Record(Start + n++ * 500ms, d);
    }
    state.counters["folded minutes"] = double(h.FoldedCount());
    state.counters["full polls"] = double(h.Size() - h.FoldedCount());
}
BENCHMARK(BM_HistoryRecordPoll)->Unit(benchmark::kMicrosecond);

void BM_HistoryMemoryAfterAMonth(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(MonthHistory().Size());
    const HistoryRecorder& h = MonthHistory();
    state.counters["MB held"] = double(h.MemoryBytes()) / (1 << 20);
    state.counters["MB bound"] = double(h.MemoryLimitBytes()) / (1 << 20);
    state.counters["points"] = double(h.Size());
}
BENCHMARK(BM_HistoryMemoryAfterAMonth)->Iterations(1)->Unit(benchmark::kMillisecond);

// Never destroyed: its widgets must not outlive the application object that the
// bench main destroys first.
TrendsView& Page() {
    static TrendsView* view = [] {
        auto* v = new TrendsView(MonthHistory());
        v->resize(1280, 860);
        v->show();
        v->SetWindow(TrendsWindow::OneDay);
        QApplication::processEvents();
        return v;
    }();
    return *view;
}

// A poll arrived: read the history again for the day shown and paint the page.
void BM_TrendsRedraw24h(benchmark::State& state) {
    TrendsView& view = Page();
    for (auto _ : state) {
        view.Refresh();
        benchmark::DoNotOptimize(view.grab());
    }
}
BENCHMARK(BM_TrendsRedraw24h)->Unit(benchmark::kMillisecond);

void BM_TrendsRefreshOnly24h(benchmark::State& state) {
    TrendsView& view = Page();
    for (auto _ : state) view.Refresh();
}
BENCHMARK(BM_TrendsRefreshOnly24h)->Unit(benchmark::kMillisecond);

struct NullBuffer : std::streambuf {
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void BM_HistoryCsvExportEverything(benchmark::State& state) {
    const HistoryRecorder& h = MonthHistory();
    NullBuffer sink;
    std::ostream out(&sink);
    HistoryCsvOptions options;
    options.UtcOffset = [](HistoryTime) { return 3600; };
    for (auto _ : state) benchmark::DoNotOptimize(WriteHistoryCsv(out, h, options));
    state.counters["lines"] = double(h.Size());
}
BENCHMARK(BM_HistoryCsvExportEverything)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvan

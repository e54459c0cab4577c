// NMEA 2000: decoding 20,000 frame records of the simulated bus (names, fields,
// fast packets) and the NMEA-2000 page's decoded view, shown, re-filtering 20,000
// captured frames, the most its ring keeps.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <algorithm>
#include <vector>

#include "display/can_decoded_view.h"
#include "display/can_frame_model.h"
#include "n2k/record.h"
#include "tests/n2k/sim_bus.h"

namespace korvan {
namespace {

constexpr size_t Records = 20000;

std::vector<CanFrameRecord> SimulatedBus() {
    std::vector<CanFrameRecord> records = n2k::SimulatedBusRecords(int(Records), 0.5);
    records.resize(std::min(records.size(), Records));
    return records;
}

void BM_N2kDecode20000Records(benchmark::State& state) {
    const auto records = SimulatedBus();
    size_t fields = 0;
    for (auto _ : state) {
        n2k::Decoder decoder;
        for (const CanFrameRecord& r : records) fields += decoder.Decode(r).Fields.size();
        benchmark::DoNotOptimize(fields);
    }
    state.counters["records"] = double(records.size());
}
BENCHMARK(BM_N2kDecode20000Records)->Unit(benchmark::kMillisecond);

// The page's decoded view, shown: a filter typed, the table laid out and painted.
void BM_CanViewFilter20000Frames(benchmark::State& state) {
    const auto records = SimulatedBus();
    CanDecodedView view;
    view.resize(1000, 600);
    view.show();
    for (size_t i = 0; i < records.size(); ++i) view.Model()->AddRecord(records[i], int(i));
    QApplication::processEvents();
    // By name, by number, everything but the non-NMEA 2000 frames.
    const QString pgns[] = {QStringLiteral("battery"), QStringLiteral("127488"), QString()};
    size_t n = 0;
    for (auto _ : state) {
        const size_t step = n++ % 3;
        view.PgnFilterEdit->setText(pgns[step]);
        view.N2kOnlyCheckBox->setChecked(step == 2);
        QApplication::processEvents();
        benchmark::DoNotOptimize(view.Model()->rowCount());
    }
    state.counters["frames"] = double(view.Model()->CapturedCount());
}
BENCHMARK(BM_CanViewFilter20000Frames)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvan

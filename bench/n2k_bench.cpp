// NMEA 2000: decoding 20,000 frame records of the simulated bus (names, fields,
// fast packets) and the NMEA-2000 page's decoded view re-filtering 20,000 captured
// frames, the most its ring keeps.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

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

void BM_CanViewFilter20000Frames(benchmark::State& state) {
    const auto records = SimulatedBus();
    CanFrameModel model;
    for (size_t i = 0; i < records.size(); ++i) model.AddRecord(records[i], int(i));
    // By name, by number and source, everything but the non-NMEA 2000 frames.
    const CanFrameFilter filters[] = {{QStringLiteral("battery"), -1, false},
                                      {QStringLiteral("127488"), 0x23, false},
                                      {QString(), -1, true}};
    size_t n = 0;
    for (auto _ : state) {
        model.SetFilter(filters[n++ % 3]);
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.counters["frames"] = double(model.CapturedCount());
}
BENCHMARK(BM_CanViewFilter20000Frames)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvan

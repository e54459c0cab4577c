// The history store: what it costs the poll thread to hand a poll to the store
// (the recorder's Record with the store as its sink, against the recorder
// alone), the commit of one batch on the writer thread, the size of the file
// after thirty days and the start-up load of those days into a recorder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "history/history_store.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

const HistoryTime Start = HistoryTime(1796734920000ms);

void Moving(SystemData& d, int64_t n) {
    const double t = double(n) / 7200;
    d.BatteryState.TrueBatteryVoltage = 13.2 + 0.8 * std::sin(t) + 0.01 * double(n % 7);
    d.BatteryState.BatteryCurrent = int32_t(60 * std::sin(t * 3) + double(n % 5));
    d.BatteryState.Soc = uint8_t(50 + 40 * std::sin(t / 5) * std::sin(t / 5));
    d.BatteryState.Temperature1 = int8_t(22 + 5 * std::sin(t / 3));
    d.ControlState.ChargingStage = uint8_t(int64_t(t * 2) % 5);
    d.ControlState.ConnectedModules = 0x000E;
    for (FieldBoxState& f : d.FieldState) {
        f.EngineRpm = int32_t(1500 + 400 * std::sin(t * 4));
        f.AlternatorTemperature = int8_t(60 + 20 * std::sin(t));
    }
}

std::string BenchFile(const char* name) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("korvan-store-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / name).string();
    for (const char* extra : {"", "-wal", "-shm"}) std::filesystem::remove(path + extra);
    return path;
}

// Thirty days as the file holds them: 29 days folded into minutes (fed a poll
// every 30 s, which makes the same minute rows), then the last day poll by poll
// every 500 ms. Written once.
const std::string& MonthFile() {
    static const std::string path = [] {
        const std::string p = BenchFile("month.sqlite");
        const HistoryTime end = Start + 30 * 24h;
        HistoryStoreOptions o;
        o.Path = p;
        o.Now = [end] { return end; };
        HistoryRecorder h;
        HistoryStore store(o);
        h.SetSink(&store);
        SystemData d{};
        int64_t n = 0;
        for (HistoryTime t = Start; t < end - 24h; t += 30s, n += 60) {
            Moving(d, n);
            h.Record(t, d);
        }
        for (HistoryTime t = end - 24h; t < end; t += 500ms, ++n) {
            Moving(d, n);
            h.Record(t, d);
            if (n % 20000 == 0) store.Flush();
        }
        return p;
    }();
    return path;
}

void BM_StoreRecordPollOnThePollThread(benchmark::State& state) {
    const bool stored = state.range(0) != 0;
    HistoryStoreOptions o;
    o.Path = BenchFile("poll.sqlite");
    o.BatchPeriod = 3s;
    HistoryStore store(o);
    HistoryRecorder h;
    if (stored) h.SetSink(&store);
    SystemData d{};
    int64_t n = 0;
    for (auto _ : state) {
        Moving(d, n);
        h.Record(Start + n++ * 500ms, d);
    }
    state.SetLabel(stored ? "recorder + store queue" : "recorder alone");
}
BENCHMARK(BM_StoreRecordPollOnThePollThread)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A batch as the store commits it every 3 s: six polls at 2 a second and a minute.
void BM_StoreBatchCommit(benchmark::State& state) {
    HistoryStoreOptions o;
    o.Path = BenchFile("batch.sqlite");
    o.BatchPeriod = 1h;
    HistoryStore store(o);
    HistoryRecorder h;
    h.SetSink(&store);
    SystemData d{};
    int64_t n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 6; ++i, ++n) {
            Moving(d, n);
            h.Record(Start + n * 500ms, d);
        }
        state.ResumeTiming();
        store.Flush();
    }
    state.counters["max commit ms"] = store.Stats().MaxCommitMs;
}
BENCHMARK(BM_StoreBatchCommit)->Unit(benchmark::kMillisecond);

void BM_StoreLoadThirtyDays(benchmark::State& state) {
    const std::string& path = MonthFile();
    size_t points = 0;
    for (auto _ : state) {
        HistoryStoreOptions o;
        o.Path = path;
        o.Now = [] { return Start + 30 * 24h; };
        HistoryRecorder h;
        std::vector<HistoryEvent> events;
        {
            HistoryStore store(o);
            store.Load(h, events);
        }
        points = h.Size();
    }
    state.counters["points"] = double(points);
    std::uintmax_t bytes = 0;
    for (const char* extra : {"", "-wal"})
        if (std::filesystem::exists(path + extra))
            bytes += std::filesystem::file_size(path + extra);
    state.counters["file MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_StoreLoadThirtyDays)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvan

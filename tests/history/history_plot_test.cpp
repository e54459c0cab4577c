// Reduction for plotting: every column's minimum and maximum survive, gaps stay
// gaps; the stage runs; the point under the cursor.
#include "history/history_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "history_test_support.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using test::At;
using test::StateFor;

struct Recorded {
    int64_t TimeMs;
    double Value;
    int Segment;
};

// A random walk of battery currents with lost links, some of them folded.
std::vector<Recorded> FillRandomWalk(HistoryRecorder& h, size_t series) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> step(-3, 3), gap(0, 499);
    SystemData d{};
    int segment = 0;
    int64_t t = 0;
    for (int n = 0; n < 20000; ++n) {
        t += 500;
        if (gap(random) == 0) {
            h.MarkGap(At(t));
            t += 30'000;
        }
        d.BatteryState.BatteryCurrent =
            std::clamp(d.BatteryState.BatteryCurrent + step(random), -200, 200);
        h.Record(At(t), d);
    }
    std::vector<Recorded> points;
    for (size_t p = 0; p < h.Size(); ++p) {
        if (p > 0 && h.StartsSegment(p)) ++segment;
        const int64_t ms = h.Time(p).time_since_epoch().count();
        points.push_back({ms, h.Min(series, p), segment});
        if (h.Max(series, p) != h.Min(series, p)) points.push_back({ms, h.Max(series, p), segment});
    }
    return points;
}

TEST(HistoryPlot, EveryColumnKeepsItsMinimumAndMaximumAndGapsStayOpen) {
    HistoryLimits limits;
    limits.FullSpan = 1h;  // the first 80 minutes fold
    HistoryRecorder h(limits);
    const size_t amps = *FindHistorySeries("Battery Current");
    const std::vector<Recorded> recorded = FillRandomWalk(h, amps);
    ASSERT_GT(h.FoldedCount(), 0u);
    const HistoryRange range{h.Time(0), h.Time(h.Size() - 1)};
    const int columns = 311;
    const std::vector<PlotSegment> segments = DecimateHistory(h, amps, range, columns);

    const int64_t from = range.From.time_since_epoch().count();
    const double width = double(range.To.time_since_epoch().count() - from + 1) / columns;
    auto column = [&](int64_t ms) { return int64_t((ms - from) / width); };
    // Expected extremes per (segment, column), and where each drawn point came from.
    std::map<std::pair<int, int64_t>, std::pair<double, double>> extremes;
    std::map<int64_t, int> segmentAt;
    for (const Recorded& r : recorded) {
        auto [it, fresh] = extremes.try_emplace({r.Segment, column(r.TimeMs)}, r.Value, r.Value);
        it->second.first = std::min(it->second.first, r.Value);
        it->second.second = std::max(it->second.second, r.Value);
        segmentAt[r.TimeMs] = r.Segment;
    }
    std::map<std::pair<int, int64_t>, std::pair<double, double>> drawn;
    size_t points = 0;
    for (const PlotSegment& s : segments) {
        ASSERT_FALSE(s.empty());
        const int segment = segmentAt.at(s.front().TimeMs);
        for (size_t i = 0; i < s.size(); ++i) {
            EXPECT_EQ(segmentAt.at(s[i].TimeMs), segment) << "a line drawn across a lost link";
            if (i) {
                EXPECT_LE(s[i - 1].TimeMs, s[i].TimeMs);
            }
            auto [it, fresh] =
                drawn.try_emplace({segment, column(s[i].TimeMs)}, s[i].Value, s[i].Value);
            it->second.first = std::min(it->second.first, s[i].Value);
            it->second.second = std::max(it->second.second, s[i].Value);
        }
        points += s.size();
    }
    EXPECT_EQ(drawn, extremes);
    EXPECT_EQ(segments.size(), size_t(segmentAt.rbegin()->second + 1));
    EXPECT_LE(points, 2 * (size_t(columns) + segments.size()));
}

TEST(HistoryPlot, AMissingValueBreaksTheLineAndARangeKeepsItsNeighbours) {
    HistoryRecorder h;
    const size_t temp = *FindHistorySeries("Battery #1 Temperature");
    for (int64_t n = 0; n < 10; ++n) {
        SystemData d = StateFor(n);
        if (n == 4) d.BatteryState.Temperature1 = -128;
        h.Record(At(n * 1000), d);
    }
    auto segments = DecimateHistory(h, temp, {At(0), At(9000)}, 1000);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].size(), 4u);
    EXPECT_EQ(segments[1].size(), 5u);
    // Only 5.5-6.5 s asked: the polls at 5 s and 7 s come along for the edges.
    segments = DecimateHistory(h, temp, {At(5500), At(6500)}, 10);
    ASSERT_EQ(segments.size(), 1u);
    ASSERT_EQ(segments[0].size(), 3u);
    EXPECT_EQ(segments[0].front().TimeMs, At(5000).time_since_epoch().count());
    EXPECT_EQ(segments[0].back().TimeMs, At(7000).time_since_epoch().count());
}

TEST(HistoryPlot, StageRunsEndAtGapsAndThePointUnderTheCursorRespectsThem) {
    HistoryRecorder h;
    const size_t stage = ChargingStageSeries();
    SystemData d{};
    const uint8_t stages[] = {1, 1, 2, 2, 2, 3};
    const int64_t times[] = {0, 1000, 2000, 3000, 20000, 21000};
    for (int n = 0; n < 6; ++n) {
        if (n == 4) h.MarkGap(At(3500));
        d.ControlState.ChargingStage = stages[n];
        h.Record(At(times[n]), d);
    }
    const auto runs = HistoryLevelRuns(h, stage, {At(0), At(21000)});
    ASSERT_EQ(runs.size(), 4u);
    auto ms = [](int64_t offset) { return At(offset).time_since_epoch().count(); };
    EXPECT_EQ(runs[0].FromMs, ms(0));
    EXPECT_EQ(runs[0].ToMs, ms(2000));
    EXPECT_EQ(runs[1].Level, 2);
    EXPECT_EQ(runs[1].ToMs, ms(3000));  // the link was lost after 3 s
    EXPECT_EQ(runs[2].FromMs, ms(20000));
    EXPECT_EQ(runs[2].ToMs, ms(21000));
    EXPECT_EQ(runs[3].Level, 3);
    const auto gaps = HistoryGaps(h, {At(0), At(21000)});
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].FromMs, ms(3000));
    EXPECT_EQ(gaps[0].ToMs, ms(20000));

    EXPECT_EQ(HistoryPointAt(h, At(-1)), std::nullopt);
    EXPECT_EQ(HistoryPointAt(h, At(1999)), 1u);
    EXPECT_EQ(HistoryPointAt(h, At(2000)), 2u);
    EXPECT_EQ(HistoryPointAt(h, At(3000) + h.Limits().GapAfter), 3u);
    EXPECT_EQ(HistoryPointAt(h, At(3001) + h.Limits().GapAfter), std::nullopt);
    EXPECT_EQ(HistoryPointAt(h, At(19999)), std::nullopt);
    EXPECT_EQ(HistoryPointAt(h, At(21000) + 9s), 5u);
    EXPECT_EQ(HistoryPointAt(h, At(21000) + 11s), std::nullopt);
}

}  // namespace
}  // namespace korvan

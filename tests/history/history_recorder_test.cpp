// The recorder: a day in full, older polls folded into minutes, gaps where the
// link was lost, memory bounded after a month of polls on an injected clock.
#include "history/history_recorder.h"

#include <gtest/gtest.h>

#include <cmath>

#include "history_test_support.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using test::At;
using test::StateFor;

size_t Series(const char* name) { return FindHistorySeries(name).value(); }

TEST(HistoryRecorder, KeepsTheLastDayInFullAndFoldsOlderPollsIntoMinutes) {
    HistoryRecorder h;
    // 25 hours of polls every 500 ms, the first one on a minute's start.
    const int64_t start = -17500;  // At(-17500) is 13:02:00.000 UTC
    const int64_t polls = 25 * 3600 * 2;
    for (int64_t n = 0; n < polls; ++n) h.Record(At(start + n * 500), StateFor(n));

    const HistoryTime last = At(start + (polls - 1) * 500);
    ASSERT_EQ(h.LastPollTime(), last);
    // The last 24 h are there poll by poll: as many as the store holds.
    const size_t full = h.Size() - h.FoldedCount();
    EXPECT_EQ(full, HistoryLimits{}.FullCapacity);
    EXPECT_EQ(h.Time(h.FoldedCount()), last - 24h + 500ms);
    EXPECT_EQ(h.Polls(h.FoldedCount()), 1u);
    // The hour before is sixty minutes of 120 polls each.
    ASSERT_EQ(h.FoldedCount(), 60u);
    EXPECT_EQ(h.Time(0), At(start));
    EXPECT_EQ(h.Time(59), At(start) + 59min);

    // Minute 5: polls 600-719, their minimum, mean and maximum.
    const size_t volts = Series("Battery Voltage"), amps = Series("Battery Current");
    double sum = 0, lo = 1e9, hi = -1e9;
    for (int64_t n = 600; n < 720; ++n) {
        const double v = StateFor(n).BatteryState.TrueBatteryVoltage;
        sum += v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_EQ(h.Polls(5), 120u);
    EXPECT_NEAR(h.Min(volts, 5), lo, 1e-9);
    EXPECT_NEAR(h.Max(volts, 5), hi, 1e-9);
    EXPECT_NEAR(h.Value(volts, 5), sum / 120, 1e-4);
    EXPECT_EQ(h.Min(amps, 5), -30);
    EXPECT_EQ(h.Max(amps, 5), 30);
    // A poll kept in full gives back exactly what was recorded.
    const size_t p = h.Size() - 1;
    EXPECT_DOUBLE_EQ(h.Value(volts, p), StateFor(polls - 1).BatteryState.TrueBatteryVoltage);
    EXPECT_EQ(h.LowerBound(At(start) + 5min), 5u);
}

TEST(HistoryRecorder, FoldsStatusWordsAsBitsAndTheStageAsItsLastValue) {
    HistoryLimits limits;
    limits.FullSpan = 1min;
    HistoryRecorder h(limits);
    for (int64_t n = 0; n < 300; ++n) h.Record(At(-17500 + n * 500), StateFor(n));
    ASSERT_GT(h.FoldedCount(), 0u);
    const size_t status = Series("Control Box Status"), stage = Series("Charging Stage");
    // Polls 0-119: bit 0x0200 in polls ending in 3 only.
    EXPECT_EQ(h.Min(status, 0), 0x000E);
    EXPECT_EQ(h.Max(status, 0), 0x020E);
    EXPECT_EQ(h.Value(status, 0), 0x020E);
    EXPECT_EQ(h.Value(stage, 0), StateFor(119).ControlState.ChargingStage);
    EXPECT_EQ(h.Min(stage, 0), 0);
    EXPECT_EQ(h.Max(stage, 0), 4);
    // A missing sensor stays missing, folded or not.
    const size_t missing = Series("Battery #3 Temperature");
    EXPECT_TRUE(std::isnan(h.Value(missing, 0)));
    EXPECT_TRUE(std::isnan(h.Value(missing, h.Size() - 1)));
    EXPECT_NEAR(h.Value(Series("Charge Content"), 0), 100.25, 1e-6);
}

TEST(HistoryRecorder, ValuesBeyondTheirCodingAreClampedNotTakenForMissing) {
    HistoryRecorder h;
    SystemData d{};
    d.BatteryState.TrueBatteryVoltage = -400;
    d.BatteryState.BatteryCurrent = -40000;
    d.FieldState[0].EngineRpm = 70000;
    h.Record(At(0), d);
    EXPECT_DOUBLE_EQ(h.Value(Series("Battery Voltage"), 0), -327.67);
    EXPECT_EQ(h.Value(Series("Battery Current"), 0), -32767);
    EXPECT_EQ(h.Value(Series("Field Box #1 Engine RPM"), 0), 65535);
}

TEST(HistoryRecorder, ALostLinkStartsANewSegment) {
    HistoryRecorder h;
    h.Record(At(0), StateFor(0));
    h.Record(At(500), StateFor(1));
    h.MarkGap(At(700));
    h.Record(At(1000), StateFor(2));  // soon after, but after a lost link
    h.Record(At(1500), StateFor(3));
    h.Record(At(1500 + 10'000), StateFor(4));  // exactly the gap limit: joined
    h.Record(At(1500 + 20'001), StateFor(5));  // polls stopped: a gap
    ASSERT_EQ(h.Size(), 6u);
    const bool expected[] = {true, false, true, false, false, true};
    for (size_t p = 0; p < 6; ++p) EXPECT_EQ(h.StartsSegment(p), expected[p]) << p;

    // Polls from the past (a clock set back) are refused, not reordered.
    h.Record(At(100), StateFor(9));
    h.Record(At(1500 + 20'001), StateFor(9));
    EXPECT_EQ(h.Size(), 6u);
    EXPECT_EQ(h.RejectedPolls(), 2u);
}

TEST(HistoryRecorder, AGapInsideAMinuteSurvivesTheFold) {
    HistoryLimits limits;
    limits.FullSpan = 1min;
    HistoryRecorder h(limits);
    // Minute 1 holds polls 120-159, the lost link, then polls 180-239.
    for (int64_t n = 0; n < 160; ++n) h.Record(At(-17500 + n * 500), StateFor(n));
    h.MarkGap(At(-17500 + 159 * 500 + 100));
    for (int64_t n = 180; n < 600; ++n) h.Record(At(-17500 + n * 500), StateFor(n));
    ASSERT_GE(h.FoldedCount(), 3u);
    EXPECT_TRUE(h.StartsSegment(0));
    EXPECT_TRUE(h.StartsSegment(1)) << "the minute holding the gap is not joined to the one before";
    EXPECT_FALSE(h.StartsSegment(2));
    EXPECT_EQ(h.Polls(1), 120u - 20u);
}

TEST(HistoryRecorder, MemoryStaysBoundedAfterAMonthOfPolls) {
    HistoryRecorder h;
    const size_t limit = h.MemoryLimitBytes();
    EXPECT_LT(limit, size_t(40) << 20);
    EXPECT_LT(h.MemoryBytes(), size_t(1) << 20) << "nothing is allocated up front";
    // 31 days at two polls a second, with an hour of lost link in the middle.
    const int64_t polls = 31LL * 24 * 3600 * 2;
    SystemData d = StateFor(1);
    for (int64_t n = 0; n < polls; ++n) {
        if (n == polls / 2) h.MarkGap(At(n * 500));
        if (n >= polls / 2 && n < polls / 2 + 7200) continue;
        d.BatteryState.BatteryCurrent = int32_t(n % 50);
        h.Record(At(n * 500), d);
    }
    EXPECT_LE(h.MemoryBytes(), limit);
    EXPECT_EQ(h.Size() - h.FoldedCount(), HistoryLimits{}.FullCapacity);
    // Minutes reach back thirty days from the newest poll, not further.
    const HistoryTime last = *h.LastPollTime();
    EXPECT_GE(h.Time(0), last - std::chrono::days(30) - 1min);
    EXPECT_LE(h.Time(0), last - std::chrono::days(30) + 1min);
    EXPECT_LE(h.FoldedCount(), HistoryLimits{}.BucketCapacity);
    // The lost hour is one break in the folded minutes.
    size_t breaks = 0;
    for (size_t p = 1; p < h.Size(); ++p) breaks += h.StartsSegment(p);
    EXPECT_EQ(breaks, 1u);

    h.Clear();
    EXPECT_EQ(h.Size(), 0u);
    EXPECT_LT(h.MemoryBytes(), size_t(1) << 20);
}

TEST(HistoryRecorder, APollStoreFullBeforeADayPassesFoldsItsOldest) {
    HistoryLimits limits;
    limits.FullCapacity = 100;
    HistoryRecorder h(limits);
    // Ten polls a second (a faster feed than the timers give) fill it in 10 s.
    for (int64_t n = 0; n < 1300; ++n) h.Record(At(-17500 + n * 100), StateFor(n));
    EXPECT_EQ(h.Size() - h.FoldedCount(), 100u);
    EXPECT_EQ(h.FoldedCount(), 2u);
    EXPECT_EQ(h.Polls(0), 600u);
    EXPECT_EQ(h.Polls(1), 600u);
}

}  // namespace
}  // namespace korvan

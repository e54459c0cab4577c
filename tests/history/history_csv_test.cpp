// The CSV export: the bytes of a small known history (golden file), quoting,
// local times with their offsets, progress and cancelling.
#include "history/history_csv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "history_test_support.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using test::At;
using test::StateFor;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Two folded minutes (a lost link in the second), then three polls in full.
void FillSmallHistory(HistoryRecorder& h) {
    SystemData d = StateFor(0);
    d.BatteryState.TrueBatteryVoltage = 13.5;
    h.Record(At(-17500), d);  // 13:02:00.000 UTC
    d.BatteryState.TrueBatteryVoltage = 13.52;
    d.BatteryState.BatteryCurrent = -3;
    d.ControlState.ConnectedModules = 0x020E;
    h.Record(At(-17000), d);
    d.ControlState.ChargingStage = 3;
    d.ControlState.ConnectedModules = 0x000E;
    h.Record(At(42500), d);  // 13:03:00.000
    h.MarkGap(At(43000));
    d.BatteryState.Temperature1 = -128;
    h.Record(At(80000), d);
    d = StateFor(77);
    h.Record(At(200000), d);  // 13:05:37.500
    d.BatteryState.TrueBatteryVoltage = 14.32;
    h.Record(At(200500), d);
    h.MarkGap(At(201000));
    d.ControlState.ChargingStage = 4;
    h.Record(At(230000), d);
}

HistoryCsvOptions Cet() {
    HistoryCsvOptions options;
    options.UtcOffset = [](HistoryTime) { return 3600; };
    return options;
}

TEST(HistoryCsv, SmallHistoryGivesTheGoldenBytes) {
    HistoryLimits limits;
    limits.FullSpan = 2min;
    HistoryRecorder h(limits);
    FillSmallHistory(h);
    ASSERT_EQ(h.FoldedCount(), 2u);
    std::ostringstream out;
    ASSERT_EQ(WriteHistoryCsv(out, h, Cet()), HistoryCsvResult::Written);
    const std::string golden = ReadFile(HISTORY_GOLDEN_DIR "/small_history.csv");
    // What was written instead, for comparing by eye.
    if (out.str() != golden)
        std::ofstream("small_history.actual.csv", std::ios::binary) << out.str();
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(out.str(), golden);
}

TEST(HistoryCsv, ARangeOfFullPollsHasNoFoldedColumns) {
    HistoryLimits limits;
    limits.FullSpan = 2min;
    HistoryRecorder h(limits);
    FillSmallHistory(h);
    HistoryCsvOptions options = Cet();
    options.ByteOrderMark = false;
    options.Range = HistoryRange{At(200000), At(200500)};
    std::ostringstream out;
    ASSERT_EQ(WriteHistoryCsv(out, h, options), HistoryCsvResult::Written);
    std::istringstream lines(out.str());
    std::string header, first, second, rest;
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, rest));
    EXPECT_EQ(header.rfind("Time,\"Battery Voltage, V\",\"Loads Voltage, V\",", 0), 0u) << header;
    EXPECT_EQ(header.find("Polls"), std::string::npos);
    EXPECT_EQ(first.rfind("2026-12-08T14:05:37.500+01:00,12.77,", 0), 0u) << first;
    EXPECT_EQ(second.rfind("2026-12-08T14:05:38.000+01:00,14.32,", 0), 0u) << second;
    // The stage as its number and its name, the status word as an integer.
    EXPECT_NE(second.find(",1,Warm-up,14,"), std::string::npos) << second;
}

TEST(HistoryCsv, FieldsAreQuotedOnlyWhereTheyMustBe) {
    EXPECT_EQ(CsvField("Battery SOC, %"), "\"Battery SOC, %\"");
    EXPECT_EQ(CsvField("Charging Stage"), "Charging Stage");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(CsvField(""), "");
}

// A status word is read out and exported with the names of its set flags, as
// the module's status lines call them.
TEST(HistoryCsv, StatusWordsCarryTheirFlagsByName) {
    struct Case {
        const char* Series;
        double Word;
        const char* Flags;
    } const cases[] = {
        {"Control Box Status", 0x0018, "Battery Box connected; NMEA 2000 connected"},
        {"Battery Box Status", 0x2001, "Internal hardware fault; Safety Switch is active"},
        {"Field Box #2 Status", 0x0020, "Tachometer signal present"},
        {"Field Box #1 Status", 0, ""},
        {"Battery Box Status", std::nan(""), ""},  // not connected
    };
    for (const Case& c : cases) {
        const std::optional<size_t> s = FindHistorySeries(c.Series);
        ASSERT_TRUE(s && HistorySeriesTable()[*s].Text) << c.Series;
        EXPECT_EQ(HistorySeriesTable()[*s].Text(c.Word), c.Flags) << c.Series;
    }
}

TEST(HistoryCsv, TimesAreLocalWithTheirOffset) {
    EXPECT_EQ(IsoLocalTime(At(0), 3600), "2026-12-08T14:02:17.500+01:00");
    EXPECT_EQ(IsoLocalTime(At(0), -5 * 3600 - 1800), "2026-12-08T07:32:17.500-05:30");
    EXPECT_EQ(IsoLocalTime(At(-13 * 3600 * 1000LL), 0), "2026-12-08T00:02:17.500+00:00");
    EXPECT_EQ(IsoLocalTime(HistoryTime(-1ms), 0), "1969-12-31T23:59:59.999+00:00");
#ifndef _WIN32
    // The machine's zone, summer time included (a POSIX rule, no zone files needed).
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    EXPECT_EQ(LocalUtcOffsetSeconds(At(0)), 3600);
    EXPECT_EQ(LocalUtcOffsetSeconds(At(0) - std::chrono::days(160)), 7200);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
#endif
}

TEST(HistoryCsv, ReportsProgressAndStopsWhenCancelled) {
    HistoryRecorder h;
    for (int64_t n = 0; n < 1000; ++n) h.Record(At(n * 500), StateFor(n));
    HistoryCsvOptions options = Cet();
    options.ProgressStep = 100;
    std::vector<size_t> seen;
    options.Progress = [&](size_t done, size_t total) {
        EXPECT_EQ(total, 1000u);
        seen.push_back(done);
        return true;
    };
    std::ostringstream all;
    ASSERT_EQ(WriteHistoryCsv(all, h, options), HistoryCsvResult::Written);
    ASSERT_EQ(seen.size(), 10u);
    EXPECT_EQ(seen.back(), 1000u);

    options.Progress = [](size_t done, size_t) { return done < 300; };
    std::ostringstream part;
    EXPECT_EQ(WriteHistoryCsv(part, h, options), HistoryCsvResult::Cancelled);
    EXPECT_LT(part.str().size(), all.str().size() / 2);

    std::ofstream closed;
    EXPECT_EQ(WriteHistoryCsv(closed, h, options), HistoryCsvResult::WriteFailed);
}

}  // namespace
}  // namespace korvan

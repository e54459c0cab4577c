// The series the history keeps: every numeric value of the four module state
// records, as one table of rows. The recorder, the CSV export, the plots and the
// hover read-out all walk this table; nothing else lists the series.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/system_data.h"

namespace korvan {

// Which plot a series belongs to; the charging stage is the band behind all plots,
// the status words are read out and exported but not drawn.
enum class HistoryGroup : uint8_t {
    Voltages,
    Currents,
    Charge,
    Temperatures,
    Engines,
    Stage,
    Status
};

// How polls fold into a minute. Analog: minimum, mean, maximum. Bits (status
// words): the bits set all minute (AND), the bits set at any moment (OR) in both
// the middle and the maximum slot. Level (the charging stage): minimum, the last
// value, maximum.
enum class HistoryFold : uint8_t { Analog, Bits, Level };

// How one value is held: a 16-bit count of `Step`, or a float32. Every value the
// modules report fits its coding exactly.
enum class HistoryCoding : uint8_t { Int16, UInt16, Float32 };

struct HistorySeries {
    std::string Name;
    const char* Unit;  // "" when the value has none
    HistoryGroup Group;
    HistoryFold Fold;
    HistoryCoding Coding;
    double Step;   // value of one count (16-bit codings)
    int Decimals;  // in read-outs and exports
    bool ShownAtStart;
    double (*Read)(const SystemData& data);  // NaN when the module reports no value
    // The value named (the stage, a status word's flags), or null.
    std::string (*Text)(double value);
};

const std::vector<HistorySeries>& HistorySeriesTable();
std::optional<size_t> FindHistorySeries(std::string_view name);
// The series drawn as the band behind the plots.
size_t ChargingStageSeries();

const char* HistoryGroupName(HistoryGroup group);
// "Battery Voltage, V"; the bare name when the series has no unit.
std::string HistorySeriesHeader(const HistorySeries& series);
// The value with the series' decimals plus `extraDecimals`, '.' as separator,
// "" for NaN. Independent of the C and C++ locales.
std::string HistoryNumberText(const HistorySeries& series, double value, int extraDecimals = 0);

}  // namespace korvan

// The history reduced for drawing: to a number of pixel columns, keeping each
// column's minimum and maximum, with the lost-link gaps as breaks between
// segments; the runs of a level series (the charging stage) for the band behind
// the plots; the point that holds at a moment, for the read-out under the cursor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "history/history_csv.h"
#include "history/history_recorder.h"

namespace korvan {

struct PlotPoint {
    int64_t TimeMs;  // since the epoch, UTC
    double Value;
};
using PlotSegment = std::vector<PlotPoint>;

// The points of `series` over `range` split into `columns` equal columns: per
// column and segment its minimum and its maximum, in the order they happened
// (one point when they are the same). A folded minute gives its minimum and
// maximum. A lost link or a missing value ends a segment. The nearest point on
// either side of the range is kept, in a column of its own, so lines reach the
// edges.
std::vector<PlotSegment> DecimateHistory(const HistoryRecorder& history, size_t series,
                                         HistoryRange range, int columns);

struct LevelRun {
    int64_t FromMs;
    int64_t ToMs;
    double Level;
};
// Runs of equal value (the last value of folded minutes), ended by gaps.
std::vector<LevelRun> HistoryLevelRuns(const HistoryRecorder& history, size_t series,
                                       HistoryRange range);

struct TimeSpan {
    int64_t FromMs;
    int64_t ToMs;
};
// Where the link was lost: from the last point before each gap to the first after it.
std::vector<TimeSpan> HistoryGaps(const HistoryRecorder& history, HistoryRange range);

// The point whose values hold at `time`: the last one at or before it, unless
// `time` lies in a gap or after the newest point by more than a poll interval.
std::optional<size_t> HistoryPointAt(const HistoryRecorder& history, HistoryTime time);

}  // namespace korvan

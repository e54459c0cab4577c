// The history as CSV: comma-separated, fields quoted where they must be, CR LF
// line ends, UTF-8. One header line of series names with their units, then one
// line per point: the time as ISO 8601 local time with its UTC offset, then every
// series. A line of empty fields stands where the link was lost. Folded minutes
// carry the mean (status words: the bits seen during the minute) and, in extra
// columns at the end, the minimum and maximum of each analog series.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "history/history_recorder.h"

namespace korvan {

struct HistoryRange {
    HistoryTime From;
    HistoryTime To;  // included
};

// Seconds east of UTC at a moment.
using UtcOffsetFunction = std::function<int(HistoryTime)>;
int LocalUtcOffsetSeconds(HistoryTime time);  // the machine's time zone
// 2026-12-08T14:02:17.500+01:00
std::string IsoLocalTime(HistoryTime time, int offsetSeconds);
// One CSV field: quoted, with inner quotes doubled, when it holds a comma, quote,
// CR or LF.
std::string CsvField(std::string_view text);

struct HistoryCsvOptions {
    std::optional<HistoryRange> Range;  // everything when empty
    UtcOffsetFunction UtcOffset = LocalUtcOffsetSeconds;
    // Spreadsheets on Windows read the degree sign right only after a BOM.
    bool ByteOrderMark = true;
    // Told the lines written out of all, every ProgressStep lines and at the end;
    // returning false stops the export.
    std::function<bool(size_t done, size_t total)> Progress;
    size_t ProgressStep = 4096;
};

enum class HistoryCsvResult { Written, Cancelled, WriteFailed };

HistoryCsvResult WriteHistoryCsv(std::ostream& out, const HistoryRecorder& history,
                                 const HistoryCsvOptions& options = {});

}  // namespace korvan

// "Export History to CSV...": writes the history, or a range of it, to a file
// while a progress dialog shows itself when the export takes longer than half a
// second. The export reads a copy, so the polls recorded meanwhile do not move
// the points under it.
#pragma once

#include <QString>
#include <optional>

#include "history/history_csv.h"
#include "history/history_recorder.h"

class QWidget;

namespace korvan {

enum class HistoryExportResult { Written, Cancelled, Failed };

// A file that was not written completely is removed. `error` gets the reason of
// a failure, `rows` the number of polls or minutes written.
HistoryExportResult ExportHistoryCsvFile(QWidget* parent, const HistoryRecorder& history,
                                         const QString& path, std::optional<HistoryRange> range,
                                         QString* error = nullptr, size_t* rows = nullptr);

}  // namespace korvan

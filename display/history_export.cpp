#include "display/history_export.h"

#include <QFile>
#include <QProgressDialog>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace korvan {

namespace {

std::filesystem::path FilePath(const QString& path) {
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

}  // namespace

HistoryExportResult ExportHistoryCsvFile(QWidget* parent, const HistoryRecorder& history,
                                         const QString& path, std::optional<HistoryRange> range,
                                         QString* error, size_t* rows) {
    // A copy: the progress dialog lets polls arrive while the rows are written.
    const HistoryRecorder snapshot(history);  // NOLINT(performance-unnecessary-copy-initialization)
    const std::filesystem::path file = FilePath(path);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        if (error) *error = QString("Cannot write %1: %2").arg(path, std::strerror(errno));
        return HistoryExportResult::Failed;
    }
    QProgressDialog progress("Exporting history...", "Cancel", 0, 100, parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    HistoryCsvOptions options;
    options.Range = range;
    options.Progress = [&progress, rows](size_t done, size_t total) {
        if (rows) *rows = done;
        progress.setMaximum(int(std::min<size_t>(total, 1 << 30)));
        progress.setValue(int(std::min<size_t>(done, 1 << 30)));
        return !progress.wasCanceled();
    };
    const HistoryCsvResult result = WriteHistoryCsv(out, snapshot, options);
    out.close();
    if (result == HistoryCsvResult::Written && out) return HistoryExportResult::Written;
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    if (result == HistoryCsvResult::Cancelled) return HistoryExportResult::Cancelled;
    if (error) *error = QString("Writing %1 failed.").arg(path);
    return HistoryExportResult::Failed;
}

}  // namespace korvan

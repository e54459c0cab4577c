#include "app/file_commands.h"

#include <QAction>
#include <QFileInfo>

#include "app/feedback.h"
#include "app/main_window.h"
#include "display/history_export.h"
#include "display/trends_view.h"
#include "model/settings_file.h"

namespace korvan {

namespace {

FileDialogRequest SettingsFileDialog(const char* title) {
    return {QString::fromLatin1(title), QStringLiteral("KORVAN III Settings File (*.korvan3)"),
            QStringLiteral("korvan3"), QString()};
}

QString FileName(const QString& path) { return QFileInfo(path).fileName(); }

QString KeptText(const SettingsBackup& backup) {
    return backup.Kept.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

void FileCommands::Save() {
    const QString path =
        dialogs_.SaveFileName(&window_, SettingsFileDialog("Save Settings To File"));
    if (path.isEmpty()) return;
    const std::vector<SettingsCorrection> corrections = tables_.Corrections();
    tables_.ReadEveryTable();
    notices_.Corrections(corrections);
    std::string error;
    if (!SaveSettingsFile(path.toStdString(), session_.Records(), error)) {
        notices_.Notice(QStringLiteral("Settings not saved to ") + FileName(path));
        notices_.Message(MessageKind::Error, QString::fromUtf8(error.c_str()));
        return;
    }
    notices_.Notice(QStringLiteral("Settings saved to ") + FileName(path));
    session_.Note(EventKind::File, "Settings saved to " + path.toStdString());
}

// Nothing changes until a file has loaded: a cancelled dialog or a bad file
// leaves the tables, the typed texts and SettingsLoaded as they were.
void FileCommands::Load() {
    if (session_.CommandRunning()) return;
    const QString path =
        dialogs_.OpenFileName(&window_, SettingsFileDialog("Load Settings From File"));
    if (path.isEmpty()) {
        notices_.Notice(QStringLiteral("Load cancelled: nothing changed"));
        return;
    }
    SystemData loaded;
    std::string error;
    if (!LoadSettingsFile(path.toStdString(), loaded, error)) {
        notices_.Notice(QStringLiteral("Settings not loaded from ") + FileName(path));
        notices_.Message(MessageKind::Error, QString::fromUtf8(error.c_str()));
        return;
    }
    if (!TakeLoaded(loaded, QStringLiteral("Loading %1 replaces them.").arg(FileName(path)),
                    QStringLiteral("Load")))
        return;
    notices_.Notice(QStringLiteral("Settings loaded from ") + FileName(path));
    session_.Note(EventKind::File, "Settings loaded from " + path.toStdString());
}

// Settings loaded aside into the records and the tables, once unwritten edits
// may go; true when taken.
bool FileCommands::TakeLoaded(const SystemData& loaded, const QString& question,
                              const QString& proceed) {
    if (!notices_.MayDropEdits(tables_.HasEdits(), question, proceed)) return false;
    session_.Records().CopySettings(loaded);
    tables_.ShowSettingsTables(false);
    flags_.SettingsLoaded = true;
    return true;
}

// A backup the session kept before a write or reset, newest first, into the
// tables as a loaded file is.
void FileCommands::RestoreBackup() {
    if (session_.CommandRunning()) return;
    const std::vector<SettingsBackup> backups = session_.Backups().List();
    if (backups.empty()) {
        notices_.Message(MessageKind::Information,
                         QStringLiteral("No settings backup has been kept yet. The settings as "
                                        "last read from the system are kept before every write "
                                        "or reset."));
        return;
    }
    QStringList items;
    for (const SettingsBackup& backup : backups)
        items << QStringLiteral("%1  (before a write or reset)").arg(KeptText(backup));
    const int chosen =
        dialogs_.ChooseItem(&window_, QStringLiteral("Restore Settings From Backup"),
                            QStringLiteral("The system's settings as they were read, kept "
                                           "before a write or reset (newest first):"),
                            items);
    if (chosen < 0 || size_t(chosen) >= backups.size()) return;
    const SettingsBackup& backup = backups[size_t(chosen)];
    // Loaded aside first: a damaged backup leaves the tables as they are.
    SystemData loaded = session_.Records();
    std::string error;
    if (!LoadSettingsFile(backup.Path.toStdString(), loaded, error)) {
        notices_.Message(MessageKind::Error, QString::fromUtf8(error.c_str()));
        return;
    }
    if (!TakeLoaded(
            loaded,
            QStringLiteral("Restoring the backup of %1 replaces them.").arg(KeptText(backup)),
            QStringLiteral("Restore")))
        return;
    notices_.Notice(QStringLiteral("Settings of %1 restored to the tables: write them to the "
                                   "system to restore it")
                        .arg(KeptText(backup)));
    session_.Note(EventKind::Settings,
                  "Settings restored from the backup of " + KeptText(backup).toStdString());
}

// The action has toggled its own check mark when this runs; the polls go on
// while the file dialog is open.
void FileCommands::ToggleDataLog() {
    QAction* logging = ui_.EnableDataLoggingToFile;
    if (!logging->isChecked()) {
        session_.StopDataLog();
        notices_.Notice(QStringLiteral("Data logging stopped"));
        return;
    }
    const QString path = dialogs_.SaveFileName(
        &window_, {QStringLiteral("Log Data To File"), QStringLiteral("Text Files (*.txt)"),
                   QStringLiteral("txt"), QStringLiteral("Log.txt")});
    if (path.isEmpty()) {
        logging->setChecked(false);
        return;
    }
    flags_.DataLogPath = path.toStdString();
    session_.StartDataLog(flags_.DataLogPath);
    notices_.Notice(QStringLiteral("Logging data to ") + FileName(path));
}

void FileCommands::ExportHistory(std::optional<HistoryRange> range) {
    const QString path = dialogs_.SaveFileName(
        &window_, {QStringLiteral("Export History to CSV"), QStringLiteral("CSV Files (*.csv)"),
                   QStringLiteral("csv"), QStringLiteral("History.csv")});
    if (path.isEmpty()) return;
    QString error;
    size_t rows = 0;
    switch (ExportHistoryCsvFile(&window_, session_.History(), path, range, &error, &rows)) {
        case HistoryExportResult::Written:
            notices_.Notice(
                QStringLiteral("History exported to %1: %2 rows").arg(FileName(path)).arg(rows));
            break;
        case HistoryExportResult::Failed:
            notices_.Message(MessageKind::Error, error);
            break;
        case HistoryExportResult::Cancelled:
            break;
    }
}

}  // namespace korvan

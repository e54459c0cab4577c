// "Save Settings To File", "Load Settings From File" and "Enable Data Logging to File".
#include <QAction>
#include <QFileInfo>

#include "app/feedback.h"
#include "app/window_parts.h"
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

}  // namespace

void TMainFormKX4::SaveSettingsToFileClick() {
    const QString path =
        p_->Dialogs.SaveFileName(this, SettingsFileDialog("Save Settings To File"));
    if (path.isEmpty()) return;
    const std::vector<SettingsCorrection> corrections = p_->Tables->Corrections();
    p_->Tables->ReadShownSettings();
    ShowCorrections(corrections);
    std::string error;
    if (!SaveSettingsFile(path.toStdString(), p_->Session.Records(), error)) {
        ShowNotice(QStringLiteral("Settings not saved to ") + FileName(path));
        ShowMessage(MessageKind::Error, error.c_str());
        return;
    }
    ShowNotice(QStringLiteral("Settings saved to ") + FileName(path));
}

void TMainFormKX4::LoadSettingsFromFileClick() {
    if (p_->Session.CommandRunning()) return;
    p_->Flags.SettingsLoaded = false;
    p_->Tables->ResetAllSettings();
    const QString path =
        p_->Dialogs.OpenFileName(this, SettingsFileDialog("Load Settings From File"));
    if (path.isEmpty()) {
        // The tables were emptied for the load: say so, or the user may think
        // the settings shown before are still at hand.
        ShowNotice(QStringLiteral("Load cancelled: no settings loaded"));
        return;
    }
    std::string error;
    if (!LoadSettingsFile(path.toStdString(), p_->Session.Records(), error)) {
        ShowNotice(QStringLiteral("Settings not loaded from ") + FileName(path));
        ShowMessage(MessageKind::Error, error.c_str());
        return;
    }
    p_->Tables->ShowSettingsTables(false);
    p_->Flags.SettingsLoaded = true;
    ShowNotice(QStringLiteral("Settings loaded from ") + FileName(path));
}

// The action has toggled its own check mark when this runs; the polls go on
// while the file dialog is open.
void TMainFormKX4::EnableDataLoggingToFileClick() {
    QAction* logging = p_->Ui.EnableDataLoggingToFile;
    if (!logging->isChecked()) {
        p_->Session.StopDataLog();
        ShowNotice(QStringLiteral("Data logging stopped"));
        return;
    }
    const QString path = p_->Dialogs.SaveFileName(
        this, {QStringLiteral("Log Data To File"), QStringLiteral("Text Files (*.txt)"),
               QStringLiteral("txt"), QStringLiteral("Log.txt")});
    if (path.isEmpty()) {
        logging->setChecked(false);
        return;
    }
    p_->Flags.DataLogPath = path.toStdString();
    p_->Session.StartDataLog(p_->Flags.DataLogPath);
    ShowNotice(QStringLiteral("Logging data to ") + FileName(path));
}

// "Export History to CSV...": everything recorded; the Trends page's own export
// button gives the range it shows.
void TMainFormKX4::ExportHistoryToCsvClick() { ExportHistory(std::nullopt); }

void TMainFormKX4::ExportHistory(std::optional<HistoryRange> range) {
    const QString path = p_->Dialogs.SaveFileName(
        this, {QStringLiteral("Export History to CSV"), QStringLiteral("CSV Files (*.csv)"),
               QStringLiteral("csv"), QStringLiteral("History.csv")});
    if (path.isEmpty()) return;
    QString error;
    if (ExportHistoryCsvFile(this, p_->Session.History(), path, range, &error) ==
        HistoryExportResult::Failed)
        ShowMessage(MessageKind::Error, error.toUtf8().constData());
}

}  // namespace korvan

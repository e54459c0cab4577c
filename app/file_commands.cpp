// "Save Settings To File", "Load Settings From File" and "Enable Data Logging to File".
#include <QAction>
#include <QApplication>
#include <QTimer>

#include "app/window_parts.h"
#include "model/settings_file.h"

namespace korvan {

namespace {

FileDialogRequest SettingsFileDialog(const char* title) {
    return {QString::fromLatin1(title), QStringLiteral("KORVAN III Settings File (*.korvan3)"),
            QStringLiteral("korvan3"), QString()};
}

}  // namespace

void TMainFormKX4::SaveSettingsToFileClick() {
    const QString path =
        p_->Dialogs.SaveFileName(this, SettingsFileDialog("Save Settings To File"));
    if (path.isEmpty()) return;
    p_->Tables->ReadShownSettings();
    std::string error;
    if (!SaveSettingsFile(path.toStdString(), p_->Data, error))
        ShowMessage(MessageKind::Error, error.c_str());
}

void TMainFormKX4::LoadSettingsFromFileClick() {
    if (p_->CommandRunning) return;
    p_->Flags.SettingsLoaded = false;
    p_->Tables->ResetAllSettings();
    const QString path =
        p_->Dialogs.OpenFileName(this, SettingsFileDialog("Load Settings From File"));
    if (path.isEmpty()) return;
    std::string error;
    if (!LoadSettingsFile(path.toStdString(), p_->Data, error)) {
        ShowMessage(MessageKind::Error, error.c_str());
        return;
    }
    p_->Tables->ShowSettingsTables(false);
    p_->Flags.SettingsLoaded = true;
}

// The action has toggled its own check mark when this runs.
void TMainFormKX4::EnableDataLoggingToFileClick() {
    StopTimers(true);
    QApplication::processEvents();
    QAction* logging = p_->Ui.EnableDataLoggingToFile;
    if (logging->isChecked()) {
        const QString path = p_->Dialogs.SaveFileName(
            this, {QStringLiteral("Log Data To File"), QStringLiteral("Text Files (*.txt)"),
                   QStringLiteral("txt"), QStringLiteral("Log.txt")});
        if (path.isEmpty())
            logging->setChecked(false);
        else
            p_->Flags.DataLogPath = path.toStdString();
    }
    StartTimers(true);
}

}  // namespace korvan

// "Save Settings To File", "Load Settings From File" and "Enable Data Logging to File".
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include "app/main_window.h"
#include "model/data_log.h"
#include "model/settings_file.h"

namespace korvan {

namespace {

FileDialogRequest SettingsFileDialog(const char* title) {
    return {QString::fromLatin1(title), QStringLiteral("KORVAN III Settings File (*.korvan3)"),
            QStringLiteral("korvan3"), QString()};
}

}  // namespace

void TMainFormKX4::SaveSettingsToFileClick() {
    const QString path = dialogs_.SaveFileName(this, SettingsFileDialog("Save Settings To File"));
    if (path.isEmpty()) return;
    ReadShownSettingsTables();
    std::string error;
    if (!SaveSettingsFile(path.toStdString(), data_, error))
        ShowMessage(MessageKind::Error, error.c_str());
}

void TMainFormKX4::LoadSettingsFromFileClick() {
    if (commandRunning_) return;
    SettingsLoaded = false;
    EmptySettingsTables();
    const QString path = dialogs_.OpenFileName(this, SettingsFileDialog("Load Settings From File"));
    if (path.isEmpty()) return;
    std::string error;
    if (!LoadSettingsFile(path.toStdString(), data_, error)) {
        ShowMessage(MessageKind::Error, error.c_str());
        return;
    }
    ShowSettingsTables(false);
    SettingsLoaded = true;
}

// The action has toggled its own check mark when this runs.
void TMainFormKX4::EnableDataLoggingToFileClick() {
    USBTimer->stop();
    BTTimer->stop();
    INETTimer->stop();
    QApplication::processEvents();
    if (EnableDataLoggingToFile->isChecked()) {
        const QString path = dialogs_.SaveFileName(
            this, {QStringLiteral("Log Data To File"), QStringLiteral("Text Files (*.txt)"),
                   QStringLiteral("txt"), QStringLiteral("Log.txt")});
        if (path.isEmpty()) {
            EnableDataLoggingToFile->setChecked(false);
        } else {
            DataLogPath = path.toStdString();
        }
    }
    USBTimer->start();
    BTTimer->start();
    INETTimer->start();
}

// After every complete state poll: a failed append switches logging off.
void TMainFormKX4::AppendLogIfEnabled() {
    if (!EnableDataLoggingToFile->isChecked()) return;
    if (!AppendDataLogLine(DataLogPath, data_, sep_)) EnableDataLoggingToFile->setChecked(false);
}

}  // namespace korvan

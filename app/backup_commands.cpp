#include "app/backup_commands.h"

#include <QMainWindow>

#include "app/main_window.h"
#include "model/settings_file.h"

namespace korvan {

namespace {

QString KeptText(const SettingsBackup& backup) {
    return backup.Kept.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

void BackupCommands::Restore() {
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
    if (!notices_.MayDropEdits(
            tables_.HasEdits(),
            QStringLiteral("Restoring the backup of %1 replaces them.").arg(KeptText(backup)),
            QStringLiteral("Restore")))
        return;
    session_.Records().CopySettings(loaded);
    tables_.ShowSettingsTables(false);
    flags_.SettingsLoaded = true;
    notices_.Notice(QStringLiteral("Settings of %1 restored to the tables: write them to the "
                                   "system to restore it")
                        .arg(KeptText(backup)));
    session_.Note(EventKind::Settings,
                  "Settings restored from the backup of " + KeptText(backup).toStdString());
}

}  // namespace korvan

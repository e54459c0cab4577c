// Copies of the system's settings as last read, kept before every write or
// reset so that the owner can go back to them: one settings file each, named by
// the moment it was kept, the newest ones only. QtCore only.
#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "model/system_data.h"

namespace korvan {

struct SettingsBackup {
    QString Path;
    QDateTime Kept;  // local time, to the millisecond
};

class SettingsBackups {
  public:
    static constexpr size_t Kept = 20;

    // `folder` is made when the first backup is kept; empty: none are kept.
    explicit SettingsBackups(QString folder) : folder_(std::move(folder)) {}

    // Writes the settings file of `data` and removes all but the newest Kept
    // backups. The new file's path, or empty with `error` set.
    QString Keep(const SystemData& data, const QDateTime& at, std::string& error);
    // Newest first.
    std::vector<SettingsBackup> List() const;
    const QString& Folder() const { return folder_; }

  private:
    QString folder_;
};

}  // namespace korvan

#include "session/settings_backups.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include "model/settings_file.h"

namespace korvan {

namespace {

const char* const NamePattern = "'settings-'yyyyMMdd-HHmmss-zzz'.korvan3'";

}  // namespace

QString SettingsBackups::Keep(const SystemData& data, const QDateTime& at, std::string& error) {
    if (folder_.isEmpty()) return {};
    if (!QDir().mkpath(folder_)) {
        error = "Cannot create the folder " + folder_.toStdString();
        return {};
    }
    QDateTime stamp = at;
    QString path;
    // Two backups within one millisecond keep both: the later one a millisecond on.
    do {
        path = QDir(folder_).filePath(stamp.toString(QLatin1String(NamePattern)));
        stamp = stamp.addMSecs(1);
    } while (QFile::exists(path));
    if (!SaveSettingsFile(path.toStdString(), data, error)) return {};
    const std::vector<SettingsBackup> all = List();
    for (size_t i = Kept; i < all.size(); ++i) QFile::remove(all[i].Path);
    return path;
}

std::vector<SettingsBackup> SettingsBackups::List() const {
    std::vector<SettingsBackup> backups;
    if (folder_.isEmpty()) return backups;
    const QDir dir(folder_);
    for (const QString& name : dir.entryList({QStringLiteral("settings-*.korvan3")}, QDir::Files)) {
        const QDateTime kept = QDateTime::fromString(name, QLatin1String(NamePattern));
        if (kept.isValid()) backups.push_back({dir.filePath(name), kept});
    }
    std::sort(backups.begin(), backups.end(),
              [](const SettingsBackup& a, const SettingsBackup& b) { return a.Kept > b.Kept; });
    return backups;
}

}  // namespace korvan

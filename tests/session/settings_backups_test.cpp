// The settings kept before writes and resets: the newest 20, newest first.
#include "session/settings_backups.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace korvan {
namespace {

TEST(SettingsBackups, KeepsTheNewestTwentyNewestFirst) {
    QTemporaryDir dir;
    SettingsBackups backups(dir.filePath("backups"));
    const QDateTime start(QDate(2026, 3, 14), QTime(9, 30));
    SystemData data{};
    std::string error;
    for (int i = 0; i < 22; ++i) {
        data.ControlSettings.ProfileIndex = uint8_t(i % 8);
        ASSERT_FALSE(backups.Keep(data, start.addSecs(i), error).isEmpty()) << error;
    }
    ASSERT_FALSE(backups.Keep(data, start.addSecs(21), error).isEmpty());  // same moment: kept too
    const std::vector<SettingsBackup> list = backups.List();
    ASSERT_EQ(list.size(), SettingsBackups::Kept);
    EXPECT_EQ(list.front().Kept, start.addSecs(21).addMSecs(1));
    EXPECT_EQ(list.back().Kept, start.addSecs(3));
    EXPECT_TRUE(SettingsBackups(QString()).Keep(data, start, error).isEmpty());  // none kept
}

}  // namespace
}  // namespace korvan

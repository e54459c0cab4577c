// "Save Settings To File", "Load Settings From File", "Restore Settings From
// Backup...", "Enable Data Logging to File" and the history's CSV export: files
// of the window's tables and of the session's records. A backup is a settings
// file the session kept before a write or reset; it fills the tables as a
// loaded file does, and the user then writes it to the system.
#pragma once

#include <QString>
#include <optional>

#include "app/feedback.h"
#include "app/module_tables.h"
#include "app/user_dialogs.h"
#include "app/window_ui.h"
#include "history/history_csv.h"
#include "session/system_session.h"

class QMainWindow;

namespace korvan {

struct WindowFlags;

class FileCommands {
  public:
    FileCommands(QMainWindow& window, WindowUi& ui, WindowFlags& flags, SystemSession& session,
                 ModuleTables& tables, UserDialogs& dialogs, WindowNotices& notices)
        : window_(window),
          ui_(ui),
          flags_(flags),
          session_(session),
          tables_(tables),
          dialogs_(dialogs),
          notices_(notices) {}

    void Save();
    void Load();
    // "Restore Settings From Backup...".
    void RestoreBackup();
    // After the action has toggled its own check mark.
    void ToggleDataLog();
    // Everything recorded, or the range the Trends page shows.
    void ExportHistory(std::optional<HistoryRange> range);

  private:
    bool TakeLoaded(const SystemData& loaded, const QString& question, const QString& proceed);

    QMainWindow& window_;
    WindowUi& ui_;
    WindowFlags& flags_;
    SystemSession& session_;
    ModuleTables& tables_;
    UserDialogs& dialogs_;
    WindowNotices& notices_;
};

}  // namespace korvan

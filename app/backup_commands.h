// "Restore Settings From Backup...": the settings the session kept before each
// write or reset, listed by the time they were kept, newest first. The chosen
// backup fills the settings tables as a loaded settings file does; the user then
// writes it to the system.
#pragma once

#include "app/feedback.h"
#include "app/module_tables.h"
#include "app/user_dialogs.h"
#include "session/system_session.h"

class QMainWindow;

namespace korvan {

struct WindowFlags;

class BackupCommands {
  public:
    BackupCommands(QMainWindow& window, WindowFlags& flags, SystemSession& session,
                   ModuleTables& tables, UserDialogs& dialogs, WindowNotices& notices)
        : window_(window),
          flags_(flags),
          session_(session),
          tables_(tables),
          dialogs_(dialogs),
          notices_(notices) {}

    void Restore();

  private:
    QMainWindow& window_;
    WindowFlags& flags_;
    SystemSession& session_;
    ModuleTables& tables_;
    UserDialogs& dialogs_;
    WindowNotices& notices_;
};

}  // namespace korvan

// What the main window owns besides its widgets: the session it shows, the
// tables over the session's records and the dialogs. Only the window's own
// sources include this.
#pragma once

#include <memory>

#include "app/feedback.h"
#include "app/file_commands.h"
#include "app/history_views.h"
#include "app/main_window.h"
#include "app/module_tables.h"
#include "app/remote_view.h"
#include "app/window_ui.h"

class QActionGroup;

namespace korvan {

struct TMainFormKX4::Parts {
    Parts(QMainWindow& window, const WindowSeams& seams, char sep);

    WindowUi Ui;
    WindowFlags Flags;
    SystemSession Session;
    UserDialogs& Dialogs;
    std::unique_ptr<ModuleTables> Tables;
    RemoteSupportView* Remote = nullptr;  // a child of the window
    HistoryViews* History = nullptr;      // a child of the window
    QActionGroup* OptionsGroup = nullptr;
    WindowNotices Notices;
    std::unique_ptr<FileCommands> Files;
    // The user closed the window during a write: it closes when the write ends.
    bool CloseWhenDone = false;
    // The Bluetooth reset's first message box is open.
    bool ResetBoxOpen = false;
    // The window was maximised for the gauges or plots, not by the user.
    bool MaximisedForPage = false;
    // What the last command's end has to say, until it is said.
    std::optional<CommandReport> Report;
};

// Building the window's components (window_pages.cpp, window_menus.cpp).
void BuildPages(QMainWindow* window, WindowUi& ui, SystemData& data,
                const HistoryRecorder& history);
void BuildStatusBar(QMainWindow* window, WindowUi& ui);
void BuildMenus(TMainFormKX4* window, WindowUi& ui);

}  // namespace korvan

// The start of both programs: one copy only, the application title, the main
// window centred on the screen, the message loop.
#pragma once

#include <functional>
#include <string>

#include "app/main_window.h"

class QApplication;

namespace korvan {

class SingleInstance;

// Shows the warning and returns true when another copy is running.
bool RefuseSecondInstance(const SingleInstance& instance, UserDialogs& dialogs);
// What a program adds to its main window before it shows (the demo's own menu).
using WindowExtension = std::function<void(TMainFormKX4& window)>;

// Runs the main window until it closes; the program's exit code.
int RunMainWindow(QApplication& app, const WindowSeams& seams, const WindowExtension& extend = {});
// Where a program keeps its history: `name` in the user's data folder
// (~/.local/share/korvan-kx4/ on Linux).
std::string HistoryFilePath(const char* name);
// The alarm rules beside it in the user's configuration folder
// (~/.config/korvan-kx4/history-alarms.ini for history.sqlite).
QString AlarmSettingsPath(const char* historyFile);
// Both programs: the given local links, the wall-clock waiter, the HTTP relay and
// the history kept in `historyFile` (each program its own, so both can run).
int RunTool(QApplication& app, HidDevices& hid, SerialPort& serial, BluetoothDiscovery& bluetooth,
            UserDialogs& dialogs, const char* historyFile, const WindowExtension& extend = {});

}  // namespace korvan

// The start of both programs: one copy only, the application title, the main
// window centred on the screen, the message loop.
#pragma once

#include "app/main_window.h"

class QApplication;

namespace korvan {

class SingleInstance;

// Shows the warning and returns true when another copy is running.
bool RefuseSecondInstance(const SingleInstance& instance, UserDialogs& dialogs);
// Runs the main window until it closes; the program's exit code.
int RunMainWindow(QApplication& app, const WindowSeams& seams);
// Both programs: the given local links, the wall-clock waiter and the HTTP relay.
int RunTool(QApplication& app, HidDevices& hid, SerialPort& serial, BluetoothDiscovery& bluetooth,
            UserDialogs& dialogs);

}  // namespace korvan

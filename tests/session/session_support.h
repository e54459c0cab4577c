// What the session tests share: a machine without Bluetooth radios, and the
// event loop run until a condition holds.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/bluetooth_discovery.h"

namespace korvan {

class NoRadio : public BluetoothDiscovery {
  public:
    int RadioCount() override { return 0; }
    std::vector<BluetoothDeviceInfo> RememberedDevices(int) override { return {}; }
    std::string FindPort(const std::string&) override { return {}; }
};

// Runs the event loop until `done` or `limitMs` passes; whether `done` holds.
inline bool Spin(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

}  // namespace korvan

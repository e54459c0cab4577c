// The session on the simulated system over USB, as korvan-monitor --simulate has it,
// for the monitor's tests; and the event loop turned until something happens.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <thread>

#include "link/waiter.h"
#include "session/system_session.h"
#include "sim/sim_hid_devices.h"
#include "sim/simulator.h"
#include "tests/support/no_serial_port.h"

namespace korvan::test {

class NoRadio : public BluetoothDiscovery {
  public:
    int RadioCount() override { return 0; }
    std::vector<BluetoothDeviceInfo> RememberedDevices(int) override { return {}; }
    std::string FindPort(const std::string&) override { return {}; }
};

struct SimulatedSession {
    explicit SimulatedSession(SimConfig config = {}, SimClock clock = SteadySimClock())
        : simulator(config, std::move(clock)) {
        SessionSeams seams;
        seams.Hid = &hid;
        seams.Serial = &serial;
        seams.Bluetooth = &radio;
        seams.Wait = &waiter;
        session = std::make_unique<SystemSession>(seams, '.');
    }
    KorvanSimulator simulator;
    SimHidDevices hid{simulator};
    NoSerialPort serial;
    NoRadio radio;
    SleepingWaiter waiter;
    std::unique_ptr<SystemSession> session;
};

inline bool Spin(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

}  // namespace korvan::test

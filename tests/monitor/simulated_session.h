// The session on the simulated system over USB, as korvan-monitor --simulate has it,
// for the monitor's tests.
#pragma once

#include <memory>

#include "link/waiter.h"
#include "session/system_session.h"
#include "sim/sim_hid_devices.h"
#include "sim/simulator.h"
#include "tests/session/session_support.h"
#include "tests/support/no_serial_port.h"

namespace korvan::test {

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

}  // namespace korvan::test

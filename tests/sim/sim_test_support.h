// Shared pieces of the simulator suites: a hand-driven clock and request builders.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "link/protocol.h"
#include "sim/simulator.h"

namespace korvan::test {

class ManualClock {
  public:
    SimClock Clock() {
        return [this] { return std::chrono::milliseconds(now_.load()); };
    }
    void Advance(std::chrono::milliseconds d) { now_ += d.count(); }

  private:
    std::atomic<long long> now_{1000};
};

inline DeviceReport Request(uint8_t code, uint8_t b1 = 0, uint8_t b2 = 0) {
    DeviceReport r{};
    r[0] = code;
    r[1] = b1;
    r[2] = b2;
    return r;
}

// A simulator whose engines are under the test's control (both stopped at first).
inline SimConfig ManualConfig() {
    SimConfig c;
    c.AutoCycle = false;
    c.EngineRunning = {false, false};
    return c;
}

}  // namespace korvan::test

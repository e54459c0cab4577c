// The pauses the remote system needs, measured on the wall clock, on the thread
// that runs the exchanges. `interruptible` marks the pauses between the reports
// of a write, where the user may stop it; tests record the pauses instead.
#pragma once

#include <chrono>
#include <thread>

namespace korvan {

class Waiter {
  public:
    virtual ~Waiter() = default;
    virtual void Wait(std::chrono::milliseconds duration, bool interruptible) = 0;
};

// Sleeps through each pause on a monotonic clock.
class SleepingWaiter : public Waiter {
  public:
    void Wait(std::chrono::milliseconds duration, bool) override {
        std::this_thread::sleep_for(duration);
    }
};

}  // namespace korvan

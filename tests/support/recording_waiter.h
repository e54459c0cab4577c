// A waiter for tests: it records each pause instead of sleeping through it.
#pragma once

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "link/waiter.h"

namespace korvan {

struct RecordedWait {
    std::chrono::milliseconds Duration;
    bool ProcessMessages;
    bool operator==(const RecordedWait&) const = default;
};

class RecordingWaiter : public Waiter {
  public:
    // A real serial line answers in real time: a short real sleep per pause lets
    // its bytes arrive.
    explicit RecordingWaiter(std::chrono::milliseconds realSleep = std::chrono::milliseconds{0})
        : RealSleep(realSleep) {}

    void Wait(std::chrono::milliseconds duration, bool processMessages) override {
        Waits.push_back({duration, processMessages});
        if (DuringWait) DuringWait();
        if (RealSleep.count() > 0) std::this_thread::sleep_for(RealSleep);
    }

    std::vector<std::chrono::milliseconds> Durations() const {
        std::vector<std::chrono::milliseconds> durations;
        for (const RecordedWait& wait : Waits) durations.push_back(wait.Duration);
        return durations;
    }
    std::chrono::milliseconds Total() const {
        std::chrono::milliseconds total{0};
        for (const RecordedWait& wait : Waits) total += wait.Duration;
        return total;
    }

    std::vector<RecordedWait> Waits;
    std::function<void()> DuringWait;
    std::chrono::milliseconds RealSleep;
};

}  // namespace korvan

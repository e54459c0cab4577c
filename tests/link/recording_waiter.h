// Records the pauses instead of sleeping through them.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "link/waiter.h"

namespace korvan {

class RecordingWaiter : public Waiter {
  public:
    struct Pause {
        std::chrono::milliseconds Duration;
        bool ProcessMessages;
    };
    std::vector<Pause> Pauses;
    std::function<void()> OnWait;

    void Wait(std::chrono::milliseconds duration, bool processMessages) override {
        Pauses.push_back({duration, processMessages});
        if (OnWait) OnWait();
    }
    std::chrono::milliseconds Total() const {
        std::chrono::milliseconds t{0};
        for (const Pause& p : Pauses) t += p.Duration;
        return t;
    }
};

}  // namespace korvan

// The pauses the remote system needs, measured on the wall clock. The shell's
// waiter processes window messages when asked; tests record the pauses instead.
#pragma once

#include <chrono>

namespace korvan {

class Waiter {
  public:
    virtual ~Waiter() = default;
    virtual void Wait(std::chrono::milliseconds duration, bool processMessages) = 0;
};

}  // namespace korvan

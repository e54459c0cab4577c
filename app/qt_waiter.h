// The pauses the remote system needs, measured on a monotonic clock; while a
// pause processes window messages the window repaints and its menus answer.
#pragma once

#include "link/waiter.h"

namespace korvan {

class QtWaiter : public Waiter {
  public:
    void Wait(std::chrono::milliseconds duration, bool processMessages) override;
};

}  // namespace korvan

// Runs a fixed request sequence over a transport, step by step: the caller's
// callback after each good exchange shows the status and decodes the answer, the
// waiter makes the pause the remote system needs. The first failed exchange ends it.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "link/bt_transport.h"
#include "link/protocol.h"
#include "link/usb_transport.h"
#include "link/waiter.h"

namespace korvan {

using StepDone = std::function<void(size_t step)>;

// Whether the user asked a running sequence to stop at the next report boundary.
using StopAsked = std::function<bool()>;

// Sends each request through the reused output report; true when every exchange
// succeeded. A stop asked for ends it before the next request (false).
bool RunUsbSequence(UsbTransport& usb, const std::vector<UsbRequest>& requests, Waiter& waiter,
                    bool interruptible, const StepDone& afterEach, const StopAsked& stop = {});

// Sends each step's frame; true when every exchange succeeded.
bool RunBtSequence(BtTransport& bt, const std::vector<BtStep>& steps, Waiter& waiter,
                   bool interruptible, const StepDone& afterEach);

}  // namespace korvan

#include "link/sequence.h"

namespace korvan {

bool RunUsbSequence(UsbTransport& usb, const std::vector<UsbRequest>& requests, Waiter& waiter,
                    bool interruptible, const StepDone& afterEach, const StopAsked& stop) {
    for (size_t i = 0; i < requests.size(); ++i) {
        if (i > 0 && stop && stop()) return false;
        ApplyUsbRequest(requests[i], usb.Output);
        if (!usb.UsbExchange()) return false;
        if (afterEach) afterEach(i);
        if (requests[i].PauseAfter.count() > 0) waiter.Wait(requests[i].PauseAfter, interruptible);
    }
    return true;
}

bool RunBtSequence(BtTransport& bt, const std::vector<BtStep>& steps, Waiter& waiter,
                   bool interruptible, const StepDone& afterEach) {
    for (size_t i = 0; i < steps.size(); ++i) {
        bt.SetRequest(steps[i].Frame);
        if (!bt.BtExchange()) return false;
        if (afterEach) afterEach(i);
        if (steps[i].PauseAfter.count() > 0) waiter.Wait(steps[i].PauseAfter, interruptible);
    }
    return true;
}

}  // namespace korvan

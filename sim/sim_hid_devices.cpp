#include "sim/sim_hid_devices.h"

#include <algorithm>
#include <cstring>

#include "link/usb_transport.h"
#include "sim/simulator.h"

namespace korvan {

namespace {
constexpr const char* NotConnectedText = "The device is not connected.";
constexpr const char* InvalidHandleText = "The handle is invalid.";
constexpr const char* TimeoutText = "This operation returned because the timeout period expired.";
}  // namespace

SimHidDevices::SimHidDevices(KorvanSimulator& simulator) : simulator_(simulator) {}

std::vector<HidDeviceInfo> SimHidDevices::Enumerate() {
    std::lock_guard lock(mutex_);
    if (!Present()) return {};
    return {
        HidDeviceInfo{DevicePath, KorvanVendorId, KorvanProductId, ManufacturerText, ProductText}};
}

HidDevices::Handle SimHidDevices::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (!Present() || path != DevicePath) {
        lastError_ = "The system cannot find the file specified.";
        return -1;
    }
    const Handle h = nextHandle_++;
    open_[h] = true;
    return h;
}

bool SimHidDevices::Present() { return plugged_ && simulator_.Faults().UsbPresent(); }

void SimHidDevices::FollowCable() {
    const uint64_t unplugs = simulator_.Faults().UsbUnplugs();
    if (unplugs == unplugsSeen_) return;
    unplugsSeen_ = unplugs;
    pending_.reset();
    for (auto& entry : open_) entry.second = false;
}

bool SimHidDevices::Usable(Handle h) {
    FollowCable();
    const auto it = open_.find(h);
    return Present() && it != open_.end() && it->second;
}

// One transfer is the report ID 0x00 followed by the 64-byte report.
int SimHidDevices::Write(Handle h, const uint8_t* data, size_t length) {
    std::lock_guard lock(mutex_);
    if (!Usable(h)) {
        lastError_ = open_.count(h) ? NotConnectedText : InvalidHandleText;
        return -1;
    }
    if (length != HidTransferSize || data[0] != 0x00) {
        lastError_ = "The parameter is incorrect.";
        return -1;
    }
    DeviceReport request{};
    std::memcpy(request.data(), data + 1, request.size());
    fault_ = simulator_.Faults().NextUsbExchange(request[0]);
    // The modules act on the request whatever then happens to their answer.
    pending_ = simulator_.Answer(request);
    if (fault_ == SimFault::UsbUnplugBeforeRead) simulator_.Faults().PullUsbCable();
    return static_cast<int>(length);
}

int SimHidDevices::Read(Handle h, uint8_t* data, size_t length, int /*timeoutMs*/) {
    std::lock_guard lock(mutex_);
    if (!Usable(h)) {
        lastError_ = open_.count(h) ? NotConnectedText : InvalidHandleText;
        return -1;
    }
    if (!pending_ || fault_ == SimFault::UsbNoAnswer) {
        // The device answers each report once; with none asked for the read times out.
        pending_.reset();
        lastError_ = TimeoutText;
        return 0;
    }
    return Deliver(data, length);
}

int SimHidDevices::Deliver(uint8_t* data, size_t length) {
    DeviceReport answer = *pending_;
    pending_.reset();
    size_t n = std::min(length, HidTransferSize);
    SimFaults& faults = simulator_.Faults();
    if (fault_ == SimFault::UsbShortReport) n = std::min(n, faults.ShortReportLength());
    if (fault_ == SimFault::UsbRandomBytes) faults.Garble(answer);
    if (fault_ == SimFault::UsbStaleAnswer) answer = lastAnswer_;
    if (fault_ == SimFault::UsbUnplugAfterReport) faults.PullUsbCable();
    lastAnswer_ = answer;
    std::vector<uint8_t> transfer(HidTransferSize, 0);
    std::copy(answer.begin(), answer.end(), transfer.begin() + 1);
    std::memcpy(data, transfer.data(), n);
    return static_cast<int>(n);
}

bool SimHidDevices::Close(Handle h) {
    std::lock_guard lock(mutex_);
    if (open_.erase(h) == 0) {
        lastError_ = InvalidHandleText;
        return false;
    }
    return true;
}

std::string SimHidDevices::LastError() {
    std::lock_guard lock(mutex_);
    return lastError_;
}

// Handles stay known (closing them succeeds) but never reach the device again;
// after a replug the device has to be opened anew.
void SimHidDevices::Unplug() {
    std::lock_guard lock(mutex_);
    plugged_ = false;
    pending_.reset();
    for (auto& entry : open_) entry.second = false;
}

void SimHidDevices::Replug() {
    std::lock_guard lock(mutex_);
    plugged_ = true;
}

bool SimHidDevices::Plugged() {
    std::lock_guard lock(mutex_);
    return Present();
}

}  // namespace korvan

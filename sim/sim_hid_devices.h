// The simulated system as a HID device: one device at "sim:korvan" with the
// KORVAN KX4's vendor and product IDs. Unplug and Replug let tests and the
// demo take the device away; handles opened before an unplug stay dead. The
// simulator's fault plan can do the same, and spoil single answers.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "link/hid_devices.h"
#include "link/protocol.h"
#include "sim/faults.h"

namespace korvan {

class KorvanSimulator;

class SimHidDevices : public HidDevices {
  public:
    static constexpr const char* DevicePath = "sim:korvan";
    static constexpr const char* ManufacturerText = "Ardexon (simulated)";
    static constexpr const char* ProductText = "KORVAN KX4 simulator";

    explicit SimHidDevices(KorvanSimulator& simulator);

    std::vector<HidDeviceInfo> Enumerate() override;
    Handle Open(const std::string& path) override;
    int Write(Handle h, const uint8_t* data, size_t length) override;
    int Read(Handle h, uint8_t* data, size_t length, int timeoutMs) override;
    bool Close(Handle h) override;
    std::string LastError() override;

    void Unplug();
    void Replug();
    bool Plugged();

  private:
    bool Present();
    bool Usable(Handle h);
    void FollowCable();  // an unplug by the fault plan kills the open handles
    int Deliver(uint8_t* data, size_t length);

    KorvanSimulator& simulator_;
    std::mutex mutex_;
    bool plugged_ = true;
    Handle nextHandle_ = 1;
    std::map<Handle, bool> open_;          // handle -> still on a plugged-in device
    std::optional<DeviceReport> pending_;  // the answer the device has ready to be read
    std::optional<SimFault> fault_;        // what happens to that answer
    DeviceReport lastAnswer_{};            // the answer read last, for a stale one
    uint64_t unplugsSeen_ = 0;
    std::string lastError_;
};

}  // namespace korvan

// Seam over the HID devices of the PC: hidapi, the simulator, scripted fakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvan {

struct HidDeviceInfo {
    std::string Path;
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    std::string Manufacturer;  // UTF-8; empty when it cannot be read
    std::string Product;
};

class HidDevices {
  public:
    using Handle = int;  // < 0: no device
    virtual ~HidDevices() = default;
    virtual std::vector<HidDeviceInfo> Enumerate() = 0;
    virtual Handle Open(const std::string& path) = 0;
    // Whole transfers (65 bytes on this link, report ID first in both directions).
    // Return the byte count, or -1 on failure; Read returns 0 when no report arrived
    // within timeoutMs.
    virtual int Write(Handle h, const uint8_t* data, size_t length) = 0;
    virtual int Read(Handle h, uint8_t* data, size_t length, int timeoutMs) = 0;
    virtual bool Close(Handle h) = 0;
    virtual std::string LastError() = 0;  // the system's text for the last failure
};

}  // namespace korvan

// Seam over the platform's Bluetooth: radios, remembered (paired) devices, and
// the serial port the system made for a device.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvan {

struct BluetoothDeviceInfo {
    std::string Name;                // UTF-8
    std::array<uint8_t, 6> Address;  // most significant byte first
    uint32_t ClassOfDevice = 0;
    bool Connected = false;
    bool Remembered = false;
    bool Authenticated = false;  // paired
};

// A discovery asks RadioCount first, then RememberedDevices for each radio counted.
class BluetoothDiscovery {
  public:
    virtual ~BluetoothDiscovery() = default;
    virtual int RadioCount() = 0;
    virtual std::vector<BluetoothDeviceInfo> RememberedDevices(int radio) = 0;
    // The serial port name for the device whose address text (12 upper-case hex digits)
    // is given; empty when none qualifies.
    virtual std::string FindPort(const std::string& addressText) = 0;
};

}  // namespace korvan

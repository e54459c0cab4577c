// The simulated system as the computer's Bluetooth sees it: one radio and one
// paired device "KORVAN-III" whose serial port is the simulator's line.
#pragma once

#include <string>

#include "link/bluetooth_discovery.h"

namespace korvan {

class SimSerialLine;

class SimBluetoothDiscovery : public BluetoothDiscovery {
  public:
    static constexpr const char* DeviceName = "KORVAN-III";
    static constexpr std::array<uint8_t, 6> DeviceAddress{0x00, 0x1A, 0x7D, 0xDA, 0x71, 0x13};
    static constexpr const char* DeviceAddressText = "001A7DDA7113";
    static constexpr uint32_t DeviceClass = 0x001F00;  // uncategorized

    explicit SimBluetoothDiscovery(std::string portName);
    // Follows the line: after a lost port comes back, the line's new name.
    explicit SimBluetoothDiscovery(SimSerialLine& line);

    int RadioCount() override;
    std::vector<BluetoothDeviceInfo> RememberedDevices(int radio) override;
    std::string FindPort(const std::string& addressText) override;

    // The demo can take the radio or the pairing away.
    void SetRadioPresent(bool present) { radioPresent_ = present; }
    void SetPaired(bool paired) { paired_ = paired; }

  private:
    std::string portName_;
    SimSerialLine* line_ = nullptr;
    bool radioPresent_ = true;
    bool paired_ = true;
};

}  // namespace korvan

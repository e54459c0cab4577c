// Bluetooth discovery on Windows: the radios and remembered devices of the
// Win32 Bluetooth API, and the COM port from the BTHENUM registry tree.
#pragma once

#ifdef _WIN32

#include <string>
#include <vector>

#include "link/bluetooth_discovery.h"

namespace korvan {

// Where Windows lists the devices its Bluetooth enumerator made, under HKEY_LOCAL_MACHINE.
inline constexpr const char* BthenumKey = "SYSTEM\\CurrentControlSet\\Enum\\BTHENUM";
// Levels below the walk's root that are looked into: a device's port sits three levels
// down (service, device instance, "Device Parameters"); a deeper or looping tree ends here.
inline constexpr int MaxBthenumDepth = 8;

class Win32BluetoothDiscovery : public BluetoothDiscovery {
  public:
    // `enumKey`: the HKEY_LOCAL_MACHINE subkey the port lookup walks (tests plant their own).
    explicit Win32BluetoothDiscovery(std::string enumKey = BthenumKey);
    ~Win32BluetoothDiscovery() override;
    Win32BluetoothDiscovery(const Win32BluetoothDiscovery&) = delete;
    Win32BluetoothDiscovery& operator=(const Win32BluetoothDiscovery&) = delete;

    // Finds the radios afresh; their handles are kept until the next count.
    int RadioCount() override;
    // Remembered devices only; no inquiry is made.
    std::vector<BluetoothDeviceInfo> RememberedDevices(int radio) override;
    // Depth-first walk of the enum key, at most MaxBthenumDepth levels down: every key
    // with a string value that contains the address (any letter case) is a candidate;
    // the first whose "PortName" contains "COM" gives the port.
    std::string FindPort(const std::string& addressText) override;

  private:
    void CloseRadios();

    std::string enumKey_;
    std::vector<void*> radios_;  // HANDLEs
};

}  // namespace korvan

#endif  // _WIN32

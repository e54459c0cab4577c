// Bluetooth discovery on Windows: the radios and remembered devices of the
// Win32 Bluetooth API, and the COM port from the BTHENUM registry tree.
#pragma once

#ifdef _WIN32

#include <string>
#include <vector>

#include "link/bluetooth_discovery.h"

namespace korvan {

class Win32BluetoothDiscovery : public BluetoothDiscovery {
  public:
    Win32BluetoothDiscovery() = default;
    ~Win32BluetoothDiscovery() override;
    Win32BluetoothDiscovery(const Win32BluetoothDiscovery&) = delete;
    Win32BluetoothDiscovery& operator=(const Win32BluetoothDiscovery&) = delete;

    // Finds the radios afresh; their handles are kept until the next count.
    int RadioCount() override;
    // Remembered devices only; no inquiry is made.
    std::vector<BluetoothDeviceInfo> RememberedDevices(int radio) override;
    // Depth-first walk of SYSTEM\CurrentControlSet\Enum\BTHENUM: every key with a string
    // value that contains the address is a candidate; the first whose "PortName"
    // contains "COM" gives the port.
    std::string FindPort(const std::string& addressText) override;

  private:
    void CloseRadios();

    std::vector<void*> radios_;  // HANDLEs
};

}  // namespace korvan

#endif  // _WIN32

// Bluetooth discovery on Linux: BlueZ's objects on the system D-Bus (adapters are
// the radios, paired org.bluez.Device1 objects the remembered devices) and the
// RFCOMM tty entries for the port.
#pragma once

#include <string>
#include <vector>

#include "link/bluetooth_discovery.h"

namespace korvan {

class BluezDiscovery : public BluetoothDiscovery {
  public:
    // An empty bus address means the machine's system bus; the tests give a private one.
    explicit BluezDiscovery(std::string busAddress = {}, std::string ttyRoot = "/sys/class/tty",
                            std::string devRoot = "/dev");

    // RadioCount asks BlueZ afresh (adapters and pairings made meanwhile count) and keeps
    // what it saw, so that the device lists of one discovery match the radios counted.
    int RadioCount() override;
    std::vector<BluetoothDeviceInfo> RememberedDevices(int radio) override;
    std::string FindPort(const std::string& addressText) override;

  private:
    struct Device {
        std::string Path;
        std::string AdapterPath;
        BluetoothDeviceInfo Info;
    };
    // Adapter object paths in path order, and the paired devices; false when BlueZ
    // cannot be reached.
    bool Query(std::vector<std::string>& adapters, std::vector<Device>& devices);

    std::vector<std::string> adapters_;
    std::vector<Device> devices_;
    std::string busAddress_;
    std::string connectionName_;
    std::string ttyRoot_;
    std::string devRoot_;
};

// "AA:BB:CC:DD:EE:FF" into six bytes, most significant first; false when malformed.
bool ParseBluetoothAddress(const std::string& text, std::array<uint8_t, 6>& out);

}  // namespace korvan

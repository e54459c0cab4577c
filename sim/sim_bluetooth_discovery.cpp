#include "sim/sim_bluetooth_discovery.h"

#include <strings.h>

#include <utility>

namespace korvan {

SimBluetoothDiscovery::SimBluetoothDiscovery(std::string portName) : portName_(std::move(portName)) {}

int SimBluetoothDiscovery::RadioCount() { return radioPresent_ ? 1 : 0; }

std::vector<BluetoothDeviceInfo> SimBluetoothDiscovery::RememberedDevices(int radio) {
    if (!radioPresent_ || radio != 0 || !paired_) return {};
    BluetoothDeviceInfo info;
    info.Name = DeviceName;
    info.Address = DeviceAddress;
    info.ClassOfDevice = DeviceClass;
    info.Connected = false;
    info.Remembered = true;
    info.Authenticated = true;
    return {info};
}

std::string SimBluetoothDiscovery::FindPort(const std::string& addressText) {
    if (!paired_ || ::strcasecmp(addressText.c_str(), DeviceAddressText) != 0) return {};
    return portName_;
}

}  // namespace korvan

#include "sim/sim_bluetooth_discovery.h"

#include <strings.h>

#include <utility>

#include "sim/sim_serial_line.h"

namespace korvan {

SimBluetoothDiscovery::SimBluetoothDiscovery(std::string portName)
    : portName_(std::move(portName)) {}

SimBluetoothDiscovery::SimBluetoothDiscovery(SimSerialLine& line) : line_(&line) {}

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
    if (!line_) return portName_;
    // A port that vanished keeps its old name until it comes back under a new one.
    line_->ComeBack();
    return line_->SlaveName();
}

}  // namespace korvan

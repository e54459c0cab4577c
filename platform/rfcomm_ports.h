// The serial port the system made for a paired Bluetooth device: the RFCOMM tty
// entries (rfcomm0, rfcomm1, ...) whose `address` attribute holds the device's address.
#pragma once

#include <string>

namespace korvan {

// `ttyRoot` is normally /sys/class/tty and `devRoot` /dev. Entries are taken in name
// order; an entry whose device node is missing or is not a character device is skipped.
// Returns the device path (devRoot + "/rfcommN"), or "" when none qualifies.
std::string FindRfcommPort(const std::string& addressText,
                           const std::string& ttyRoot = "/sys/class/tty",
                           const std::string& devRoot = "/dev");

}  // namespace korvan

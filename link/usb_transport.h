// The USB HID transport: finds the system (VID 0x04D8, PID 0x5C31), keeps one
// handle open and exchanges one 64-byte report each way per call.
#pragma once

#include <string>

#include "link/hid_devices.h"
#include "link/protocol.h"

namespace korvan {

constexpr uint16_t KorvanVendorId = 0x04D8;
constexpr uint16_t KorvanProductId = 0x5C31;

// Every call blocks its caller; a read waits at most readTimeoutMs for the answer, and a
// device that does not answer in time is a failed read.
class UsbTransport {
  public:
    explicit UsbTransport(HidDevices& devices, int readTimeoutMs = 1000);
    ~UsbTransport();

    DeviceReport Output{};
    DeviceReport Input{};
    std::string UsbStatusText;

    bool UsbExchange();
    bool FindAndOpen();
    bool Close();
    bool IsOpen() const;

  private:
    static constexpr const char* NotOpenText = "No connection to KORVAN KX4";
    bool WriteReport();
    bool ReadReport();

    HidDevices& devices_;
    int readTimeoutMs_;
    HidDevices::Handle handle_ = -1;
};

}  // namespace korvan

// The HID seam over hidapi (hidraw on Linux; the same API on Windows and macOS).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "link/hid_devices.h"

struct hid_device_;

namespace korvan {

class HidapiDevices : public HidDevices {
  public:
    HidapiDevices();
    ~HidapiDevices() override;
    HidapiDevices(const HidapiDevices&) = delete;
    HidapiDevices& operator=(const HidapiDevices&) = delete;

    // Every HID device of the machine, in the library's order.
    std::vector<HidDeviceInfo> Enumerate() override;
    Handle Open(const std::string& path) override;
    int Write(Handle h, const uint8_t* data, size_t length) override;
    // hidapi drops report ID 0 from what it reads; it is put back so that both
    // directions carry whole 65-byte transfers.
    int Read(Handle h, uint8_t* data, size_t length, int timeoutMs) override;
    bool Close(Handle h) override;
    std::string LastError() override;

  private:
    hid_device_* Device(Handle h);
    void TakeError(hid_device_* device, const char* fallback);

    std::map<Handle, hid_device_*> open_;
    Handle next_ = 0;
    std::string lastError_;
};

// The library's wide strings (UTF-32 on Linux, UTF-16 on Windows) as UTF-8.
std::string WideToUtf8(const wchar_t* text);

}  // namespace korvan

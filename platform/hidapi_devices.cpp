#include "platform/hidapi_devices.h"

#include <hidapi.h>

#include "model/text.h"

namespace korvan {

std::string WideToUtf8(const wchar_t* text) {
    std::string out;
    if (!text) return out;
    for (const wchar_t* p = text; *p; ++p) {
        char32_t c = static_cast<char32_t>(*p);
        if constexpr (sizeof(wchar_t) == 2) {
            c &= 0xFFFF;
            if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(p[1]) - 0xDC00);
                ++p;
            }
        }
        if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

HidapiDevices::HidapiDevices() {
    if (hid_init() != 0) TakeError(nullptr, "HID library could not be initialised");
}

HidapiDevices::~HidapiDevices() {
    for (auto& [handle, device] : open_) hid_close(device);
    hid_exit();
}

void HidapiDevices::TakeError(hid_device_* device, const char* fallback) {
    const std::string text = WideToUtf8(hid_error(device));
    lastError_ = text.empty() || text == "Success" ? fallback : text;
}

hid_device_* HidapiDevices::Device(Handle h) {
    const auto it = open_.find(h);
    return it == open_.end() ? nullptr : it->second;
}

std::vector<HidDeviceInfo> HidapiDevices::Enumerate() {
    std::vector<HidDeviceInfo> out;
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* d = list; d; d = d->next) {
        HidDeviceInfo info;
        info.Path = d->path ? d->path : "";
        info.VendorId = d->vendor_id;
        info.ProductId = d->product_id;
        info.Manufacturer = WideToUtf8(d->manufacturer_string);
        info.Product = WideToUtf8(d->product_string);
        out.push_back(std::move(info));
    }
    hid_free_enumeration(list);
    return out;
}

HidDevices::Handle HidapiDevices::Open(const std::string& path) {
    hid_device* device = hid_open_path(path.c_str());
    if (!device) {
        TakeError(nullptr, "The device could not be opened");
        return -1;
    }
    const Handle h = next_++;
    if (next_ < 0) next_ = 0;
    open_[h] = device;
    return h;
}

int HidapiDevices::Write(Handle h, const uint8_t* data, size_t length) {
    hid_device* device = Device(h);
    if (!device) {
        lastError_ = "The handle is invalid";
        return -1;
    }
    const int n = hid_write(device, data, length);
    if (n < 0) TakeError(device, "The report could not be written");
    return n;
}

int HidapiDevices::Read(Handle h, uint8_t* data, size_t length, int timeoutMs) {
    hid_device* device = Device(h);
    if (!device) {
        lastError_ = "The handle is invalid";
        return -1;
    }
    if (length < 2) return 0;
    const int n = hid_read_timeout(device, data + 1, length - 1, timeoutMs);
    if (n < 0) {
        TakeError(device, "The report could not be read");
        return -1;
    }
    if (n == 0) return 0;
    data[0] = 0;
    return n + 1;
}

bool HidapiDevices::Close(Handle h) {
    hid_device* device = Device(h);
    if (!device) {
        lastError_ = "The handle is invalid";
        return false;
    }
    hid_close(device);
    open_.erase(h);
    return true;
}

std::string HidapiDevices::LastError() { return lastError_; }

}  // namespace korvan

// A scripted HID bus for the transport tests: devices can be plugged in and out,
// and writes or reads made to fail or go unanswered from a given transfer on.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "link/hid_devices.h"

namespace korvan {

class FakeHid : public HidDevices {
  public:
    struct Device {
        HidDeviceInfo Info;
        bool Present = true;
        std::vector<std::vector<uint8_t>> Written;
        int Answered = 0;      // reads answered so far
        int FailWriteAt = -1;  // the n-th write (0-based) fails; -1 never
        int FailReadAt = -1;
        int SilentReadAt = -1;  // from this read on nothing arrives (time-out)
    };

    std::vector<Device> Devices;
    std::vector<std::string> Opened;  // every path opened, in order
    std::vector<std::string> Closed;
    int LastReadTimeout = -1;

    Device& Add(const std::string& path, uint16_t vid, uint16_t pid, std::string manufacturer = {},
                std::string product = {}) {
        Device d;
        d.Info = {path, vid, pid, std::move(manufacturer), std::move(product)};
        Devices.push_back(d);
        return Devices.back();
    }
    Device* Find(const std::string& path) {
        for (Device& d : Devices)
            if (d.Info.Path == path) return &d;
        return nullptr;
    }

    std::vector<HidDeviceInfo> Enumerate() override {
        std::vector<HidDeviceInfo> out;
        for (const Device& d : Devices)
            if (d.Present) out.push_back(d.Info);
        return out;
    }
    Handle Open(const std::string& path) override {
        Device* d = Find(path);
        if (!d || !d->Present) {
            error_ = "No such device";
            return -1;
        }
        Opened.push_back(path);
        handles_[next_] = path;
        return next_++;
    }
    int Write(Handle h, const uint8_t* data, size_t length) override {
        Device* d = Live(h);
        if (!d) return -1;
        const int index = static_cast<int>(d->Written.size());
        d->Written.emplace_back(data, data + length);
        if (index == d->FailWriteAt) {
            error_ = "Write refused";
            return -1;
        }
        return static_cast<int>(length);
    }
    int Read(Handle h, uint8_t* data, size_t length, int timeoutMs) override {
        LastReadTimeout = timeoutMs;
        Device* d = Live(h);
        if (!d) return -1;
        const int index = d->Answered++;
        if (index == d->FailReadAt) {
            std::fill(data, data + length, uint8_t{0xEE});  // garbage the caller must not keep
            error_ = "Read refused";
            return -1;
        }
        if (d->SilentReadAt >= 0 && index >= d->SilentReadAt) return 0;
        // Answers echo the request's command code and count the reads.
        std::fill(data, data + length, uint8_t{0});
        if (length > 2 && !d->Written.empty()) {
            data[1] = d->Written.back()[1];
            data[2] = static_cast<uint8_t>(index + 1);
        }
        return static_cast<int>(length);
    }
    bool Close(Handle h) override {
        const auto it = handles_.find(h);
        if (it == handles_.end()) {
            error_ = "The handle is invalid";
            return false;
        }
        Closed.push_back(it->second);
        handles_.erase(it);
        return true;
    }
    std::string LastError() override { return error_; }

    size_t OpenHandles() const { return handles_.size(); }

  private:
    // The device behind an open handle, if it is still plugged in.
    Device* Live(Handle h) {
        const auto it = handles_.find(h);
        Device* d = it == handles_.end() ? nullptr : Find(it->second);
        if (!d || !d->Present) {
            error_ = "The device is not connected";
            return nullptr;
        }
        return d;
    }

    std::map<Handle, std::string> handles_;
    Handle next_ = 3;
    std::string error_;
};

}  // namespace korvan

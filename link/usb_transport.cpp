#include "link/usb_transport.h"

#include <algorithm>

namespace korvan {

UsbTransport::UsbTransport(HidDevices& devices, int readTimeoutMs)
    : devices_(devices), readTimeoutMs_(readTimeoutMs) {}

UsbTransport::~UsbTransport() {
    if (IsOpen()) devices_.Close(handle_);
}

bool UsbTransport::IsOpen() const { return handle_ >= 0; }

bool UsbTransport::Close() {
    if (!IsOpen()) {
        UsbStatusText = "No connection to KORVAN KX4 to close";
        return false;
    }
    const bool closed = devices_.Close(handle_);
    // Whatever the outcome, the handle is never used again.
    handle_ = -1;
    UsbStatusText = closed ? "Connection to KORVAN KX4 closed" : devices_.LastError();
    return closed;
}

bool UsbTransport::FindAndOpen() {
    Close();
    UsbStatusText = "KORVAN KX4 not found";
    for (const HidDeviceInfo& info : devices_.Enumerate()) {
        const HidDevices::Handle h = devices_.Open(info.Path);
        if (h < 0) continue;
        if (info.VendorId == KorvanVendorId && info.ProductId == KorvanProductId) {
            UsbStatusText = "KORVAN KX4 found: VID=" + info.Manufacturer + " PID=" + info.Product;
            handle_ = h;
            return true;
        }
        devices_.Close(h);
    }
    return false;
}

bool UsbTransport::WriteReport() {
    std::array<uint8_t, HidTransferSize> transfer{};
    std::copy(Output.begin(), Output.end(), transfer.begin() + 1);
    const int n = IsOpen() ? devices_.Write(handle_, transfer.data(), transfer.size()) : -1;
    if (n < 0) {
        UsbStatusText = IsOpen() ? devices_.LastError() : NotOpenText;
        return false;
    }
    UsbStatusText = std::to_string(n) + " bytes sent";
    return true;
}

bool UsbTransport::ReadReport() {
    std::array<uint8_t, HidTransferSize> transfer{};
    const int n =
        IsOpen() ? devices_.Read(handle_, transfer.data(), transfer.size(), readTimeoutMs_) : -1;
    if (n <= 0) {
        // Whatever a failing driver left in the buffer is not an answer.
        Input.fill(0);
        UsbStatusText =
            n < 0 ? (IsOpen() ? devices_.LastError() : NotOpenText)
                  : "No answer from KORVAN KX4 within " + std::to_string(readTimeoutMs_) + " ms";
        return false;
    }
    std::copy(transfer.begin() + 1, transfer.end(), Input.begin());
    UsbStatusText = std::to_string(n) + " bytes received";
    return true;
}

bool UsbTransport::UsbExchange() {
    if (!WriteReport()) {
        // One reconnection; the request is not repeated, the next call uses the new handle.
        if (!FindAndOpen()) Close();
        return false;
    }
    return ReadReport();
}

}  // namespace korvan

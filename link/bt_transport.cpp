#include "link/bt_transport.h"

#include <algorithm>
#include <cstdio>

#include "link/protocol.h"

namespace korvan {

namespace {

const char* TrueFalse(bool v) { return v ? "True" : "False"; }

}  // namespace

std::string BluetoothAddressText(const std::array<uint8_t, 6>& address) {
    std::string text;
    char digits[3];
    for (uint8_t b : address) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        text += digits;
    }
    return text;
}

std::string BluetoothDeviceInfoText(const BluetoothDeviceInfo& d) {
    return std::string("Remote device info:\rName=") + d.Name + "\r" +
           "Address=" + BluetoothAddressText(d.Address) + "\r" +
           "Class=" + std::to_string(d.ClassOfDevice) + "\r" +
           "Connected=" + TrueFalse(d.Connected) + "\r" + "Remembered=" + TrueFalse(d.Remembered) +
           "\r" + "Paired=" + TrueFalse(d.Authenticated);
}

BtTransport::BtTransport(SerialPort& port, BluetoothDiscovery& discovery)
    : port_(port), discovery_(discovery) {}

BtTransport::~BtTransport() {
    if (port_.IsOpen()) port_.Close();
}

bool BtTransport::IsOpen() const { return port_.IsOpen(); }

void BtTransport::SetRequest(const std::array<uint8_t, 4>& frame) {
    std::copy(frame.begin(), frame.end(), Exchange.Request.begin());
    Exchange.RequestLength = static_cast<int32_t>(frame.size());
}

void BtTransport::Close() {
    BtStatusText.clear();
    backlog_.clear();
    if (!IsOpen()) return;
    BtStatusText = port_.Close() ? "BT: Connection to KORVAN KX4 closed" : port_.LastError();
}

BtTransport::Discovery BtTransport::Discover(std::string& addressText, std::string& deviceInfo) {
    const int radios = discovery_.RadioCount();
    if (radios <= 0) return Discovery::NoRadio;
    Discovery result = Discovery::NotPaired;
    for (int radio = 0; radio < radios; ++radio) {
        for (const BluetoothDeviceInfo& d : discovery_.RememberedDevices(radio)) {
            if (d.Name != KorvanDeviceName) continue;
            // A later match replaces an earlier one.
            result = Discovery::Found;
            addressText = BluetoothAddressText(d.Address);
            deviceInfo = BluetoothDeviceInfoText(d);
        }
    }
    return result;
}

bool BtTransport::OpenPort() {
    BtStatusText.clear();
    if (!port_.Open(PortName)) {
        BtStatusText = "Error #" + std::to_string(port_.LastErrorCode()) +
                       " while opening Bluetooth port " + PortName + "\r" + port_.LastError();
        return false;
    }
    BtStatusText = "Port= " + PortName;
    return true;
}

bool BtTransport::BtConnect() {
    Close();
    std::string address;
    std::string info;
    switch (Discover(address, info)) {
        case Discovery::NoRadio:
            BtStatusText =
                "This computer is not Bluetooth capable; install Bluetooth hardware, pair to "
                "Linkmate, and restart application";
            return false;
        case Discovery::NotPaired:
            BtStatusText =
                "This computer has not been paired to KORVAN KX4; run discovery and pairing, and "
                "restart application";
            return false;
        case Discovery::Found:
            break;
    }
    PortName = discovery_.FindPort(address);
    if (PortName.empty()) {
        BtStatusText = "Close application, pair to KORVAN KX4, and restart application\r" + info;
        return false;
    }
    if (!OpenPort()) {
        BtStatusText = "No connection to KORVAN KX4\r" + info + "\r" + BtStatusText;
        return false;
    }
    BtStatusText = "Connection to KORVAN KX4 created\r" + info + "\r" + "Port= " + PortName;
    return true;
}

bool BtTransport::ReceivePending() {
    // Everything that waits is read, so that the answer is formed from the most recent
    // bytes even when more than one answer piled up.
    std::array<uint8_t, 256> chunk{};
    for (size_t total = 0; total < MaxReadPerExchange;) {
        const long waiting = port_.BytesWaiting();
        if (waiting <= 0) break;
        const size_t wanted = std::min<size_t>(static_cast<size_t>(waiting), chunk.size());
        const long n = std::min<long>(port_.Read(chunk.data(), wanted), static_cast<long>(wanted));
        if (n < 0) return false;
        if (n == 0) break;
        backlog_.insert(backlog_.end(), chunk.begin(), chunk.begin() + n);
        total += static_cast<size_t>(n);
    }
    return true;
}

bool BtTransport::BtExchange() {
    BtStatusText = "Nothing received";
    Exchange.AnswerLength = 0;
    Exchange.Answer.fill(0);
    bool good = false;

    if (!ReceivePending()) {
        BtStatusText = port_.LastError();
    } else if (!backlog_.empty()) {
        // The most recent 256 bytes are this exchange's; older ones are taken by the next.
        const size_t n = std::min(backlog_.size(), Exchange.Answer.size());
        const size_t first = backlog_.size() - n;
        good = true;
        BtStatusText = std::to_string(n) + " bytes received";
        Exchange.AnswerLength = static_cast<int32_t>(n);
        ReverseReceived(backlog_.data() + first, n, Exchange.Answer.data());
        backlog_.resize(first);
        if (backlog_.size() > Exchange.Answer.size())
            backlog_.erase(backlog_.begin(), backlog_.end() - Exchange.Answer.size());
    }

    const size_t length = static_cast<size_t>(std::clamp<int32_t>(
        Exchange.RequestLength, 0, static_cast<int32_t>(Exchange.Request.size())));
    const long written = port_.Write(Exchange.Request.data(), length);
    if (written >= 0) {
        good = true;
        BtStatusText += "; " + std::to_string(written) + " bytes sent";
    } else {
        BtStatusText += "; " + port_.LastError();
    }
    return good;
}

}  // namespace korvan

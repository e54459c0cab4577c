// The Bluetooth serial transport: the paired device "KORVAN-III", its serial
// port, and the exchange that takes what arrived and sends the next request.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/bluetooth_discovery.h"
#include "link/serial_port.h"

namespace korvan {

// The paired device's name, compared exactly (letter case included).
inline constexpr const char* KorvanDeviceName = "KORVAN-III";

// The six address bytes as 12 upper-case hex digits, most significant first.
std::string BluetoothAddressText(const std::array<uint8_t, 6>& address);
// "Remote device info:\rName=...\rAddress=...\rClass=...\rConnected=...\r"
// "Remembered=...\rPaired=..." (\r: carriage return)
std::string BluetoothDeviceInfoText(const BluetoothDeviceInfo& device);

struct BtExchangeRecord {
    int32_t RequestLength = 0;
    int32_t AnswerLength = 0;
    std::array<uint8_t, 256> Request{};
    std::array<uint8_t, 256> Answer{};  // reversed, zero-filled after AnswerLength
};

class BtTransport {
  public:
    BtTransport(SerialPort& port, BluetoothDiscovery& discovery);
    ~BtTransport();

    BtExchangeRecord Exchange;
    std::string BtStatusText;
    std::string PortName;

    // Puts a request frame and its length into Exchange.
    void SetRequest(const std::array<uint8_t, 4>& frame);
    // Takes what has arrived, then sends the request. The answer holds the most recent
    // 256 bytes at most, reversed; older bytes beyond those are taken by the next exchange.
    bool BtExchange();
    bool BtConnect();
    void Close();
    bool IsOpen() const;

    enum class Discovery {
        NoRadio,    // no Bluetooth radio on this computer
        NotPaired,  // a radio, but no remembered "KORVAN-III"
        Found,      // addressText and deviceInfo describe the device
    };
    Discovery Discover(std::string& addressText, std::string& deviceInfo);

  private:
    static constexpr size_t MaxReadPerExchange = 4096;
    bool OpenPort();
    bool ReceivePending();  // false when the port's read failed

    SerialPort& port_;
    BluetoothDiscovery& discovery_;
    std::vector<uint8_t> backlog_;  // received, oldest first, not yet taken
};

}  // namespace korvan

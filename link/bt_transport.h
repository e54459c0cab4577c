// The Bluetooth serial transport: the paired device "KORVAN-III", its serial
// port, and the exchange that takes what arrived and sends the next request.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/bluetooth_discovery.h"
#include "link/serial_port.h"

namespace korvan {

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

    bool BtExchange();
    bool BtConnect();
    void Close();
    bool IsOpen() const;

    // Discovery: 0 no radio, 1 radio but no "KORVAN-III", 2 found.
    int Discover(std::string& addressText, std::string& deviceInfo);

private:
    SerialPort& port_;
    BluetoothDiscovery& discovery_;
};

}  // namespace korvan

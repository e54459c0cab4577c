// A serial port that is never there, for runs that do not use the Bluetooth link.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace korvan {

class NoSerialPort : public SerialPort {
  public:
    bool Open(const std::string&) override { return false; }
    bool IsOpen() const override { return false; }
    bool Close() override { return true; }
    long BytesWaiting() override { return -1; }
    long Read(uint8_t*, size_t) override { return -1; }
    long Write(const uint8_t*, size_t) override { return -1; }
    int LastErrorCode() const override { return 2; }
    std::string LastError() const override { return "no port"; }
};

}  // namespace korvan

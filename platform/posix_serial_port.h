// The serial port seam over POSIX termios: the Bluetooth link's RFCOMM port, or a
// pseudo-terminal in the tests.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace korvan {

class PosixSerialPort : public SerialPort {
  public:
    // Reads and writes give up after about timeoutMs without progress.
    explicit PosixSerialPort(int timeoutMs = 10);
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool Open(const std::string& name) override;
    bool IsOpen() const override;
    bool Close() override;
    long BytesWaiting() override;
    long Read(uint8_t* data, size_t maxLength) override;
    long Write(const uint8_t* data, size_t length) override;
    int LastErrorCode() const override;
    std::string LastError() const override;

  private:
    bool Fail(int code);
    long FailCount(int code);

    int fd_ = -1;
    int timeoutMs_;
    int errorCode_ = 0;
};

}  // namespace korvan

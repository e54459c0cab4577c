// Seam over a serial port (the Bluetooth link's virtual port): QSerialPort or
// POSIX termios on a pseudo-terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvan {

class SerialPort {
  public:
    virtual ~SerialPort() = default;
    // 115200 8N1, short time-outs. False with LastError() set on failure.
    virtual bool Open(const std::string& name) = 0;
    virtual bool IsOpen() const = 0;
    virtual bool Close() = 0;
    virtual long BytesWaiting() = 0;                             // -1 when the query fails
    virtual long Read(uint8_t* data, size_t maxLength) = 0;      // -1 on failure
    virtual long Write(const uint8_t* data, size_t length) = 0;  // -1 on failure
    virtual int LastErrorCode() const = 0;
    virtual std::string LastError() const = 0;
};

}  // namespace korvan

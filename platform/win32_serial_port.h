// The serial port seam over the Win32 communications API: the COM port that
// Windows made for the paired device.
#pragma once

#ifdef _WIN32

#include <string>

#include "link/serial_port.h"

namespace korvan {

class Win32SerialPort : public SerialPort {
  public:
    Win32SerialPort() = default;
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    // `name` is the port name as the registry holds it, e.g. "COM7", or a named pipe as
    // "pipe\NAME" (the simulated system's line): a pipe has no communications state,
    // so its waiting bytes are asked of the pipe.
    bool Open(const std::string& name) override;
    bool IsOpen() const override;
    bool Close() override;
    long BytesWaiting() override;
    long Read(uint8_t* data, size_t maxLength) override;
    long Write(const uint8_t* data, size_t length) override;
    int LastErrorCode() const override;
    std::string LastError() const override;

  private:
    void* handle_ = nullptr;  // HANDLE
    unsigned long errorCode_ = 0;
    bool pipe_ = false;
};

// The system's text for an error code, without its trailing line break.
std::string Win32ErrorText(unsigned long code);

}  // namespace korvan

#endif  // _WIN32

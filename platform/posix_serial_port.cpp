#include "platform/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvan {

PosixSerialPort::PosixSerialPort(int timeoutMs) : timeoutMs_(timeoutMs) {}

PosixSerialPort::~PosixSerialPort() {
    if (fd_ >= 0) ::close(fd_);
}

bool PosixSerialPort::Fail(int code) {
    errorCode_ = code;
    return false;
}

long PosixSerialPort::FailCount(int code) {
    errorCode_ = code;
    return -1;
}

bool PosixSerialPort::Open(const std::string& name) {
    errorCode_ = 0;
    if (fd_ >= 0) Close();
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(errno);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        const int code = errno;  // not a terminal: no serial port behind the name
        ::close(fd);
        return Fail(code);
    }
    // Raw bytes: images carry every byte value, so no line discipline may touch them.
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int code = errno;
        ::close(fd);
        return Fail(code);
    }
    fd_ = fd;
    return true;
}

bool PosixSerialPort::IsOpen() const { return fd_ >= 0; }

bool PosixSerialPort::Close() {
    if (fd_ < 0) return Fail(EBADF);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return Fail(errno);
    errorCode_ = 0;
    return true;
}

long PosixSerialPort::BytesWaiting() {
    if (fd_ < 0) return FailCount(EBADF);
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) return FailCount(errno);
    return n;
}

long PosixSerialPort::Read(uint8_t* data, size_t maxLength) {
    if (fd_ < 0) return FailCount(EBADF);
    size_t got = 0;
    while (got < maxLength) {
        const ssize_t n = ::read(fd_, data + got, maxLength - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (got > 0) break;  // what was read counts; the error shows on the next read
            return FailCount(errno);
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs_) <= 0 || !(p.revents & POLLIN)) break;
    }
    return static_cast<long>(got);
}

long PosixSerialPort::Write(const uint8_t* data, size_t length) {
    if (fd_ < 0) return FailCount(EBADF);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, data + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return FailCount(errno);
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, timeoutMs_) <= 0 || !(p.revents & POLLOUT)) break;
    }
    return static_cast<long>(done);
}

int PosixSerialPort::LastErrorCode() const { return errorCode_; }

std::string PosixSerialPort::LastError() const {
    return errorCode_ == 0 ? std::string() : std::string(std::strerror(errorCode_));
}

}  // namespace korvan

#include "sim/sim_serial_line.h"

#include "link/protocol.h"
#include "sim/faults.h"
#include "sim/simulator.h"

namespace korvan {

namespace {
bool IsRequestFrame(const uint8_t* f) {
    return f[0] == f[3] && (f[0] == BtStateRequest || f[0] == BtSettingsRequest);
}
}  // namespace

SimSerialLine::SimSerialLine(KorvanSimulator& simulator) : simulator_(simulator) {}

SimSerialLine::~SimSerialLine() { Stop(); }

void SimSerialLine::Arrived(const uint8_t* data, size_t length) {
    pending_.insert(pending_.end(), data, data + length);
    // Frames are taken four bytes at a time; a stray byte is skipped so the
    // line falls back into step with the requests.
    size_t at = 0;
    while (pending_.size() - at >= 4) {
        if (IsRequestFrame(&pending_[at])) {
            Answer(&pending_[at]);
            at += 4;
        } else {
            ++at;
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(at));
}

void SimSerialLine::Answer(const uint8_t* frame) {
    Transmit(
        simulator_.Faults().ShapeBluetoothAnswer(frame[0], simulator_.BluetoothAnswer(frame, 4)));
}

bool SimSerialLine::ComeBack() {
    if (!hungUp_ || !simulator_.Faults().BluetoothPortPresent()) return false;
    Stop();
    hungUp_ = false;
    return Start();
}

}  // namespace korvan

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvan {

namespace {
void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}
}  // namespace

bool SimSerialLine::Fail(const char* what) {
    lastError_ = std::string(what) + ": " + std::strerror(errno);
    CloseFd(slave_);
    CloseFd(master_);
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
    return false;
}

bool SimSerialLine::Start() {
    if (thread_.joinable()) return true;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return Fail("posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return Fail("grantpt");
    const char* name = ::ptsname(master_);
    if (name == nullptr) return Fail("ptsname");
    slaveName_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) return Fail("open slave");
    // A raw line (no echo, no line editing), as a serial port to a radio module is.
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    // Answers nobody collects are dropped rather than blocking the line.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (::pipe(wake_) != 0) return Fail("pipe");
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SimSerialLine::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        const char byte = 0;
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &byte, 1);
        thread_.join();
    }
    CloseFd(slave_);
    CloseFd(master_);
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
}

void SimSerialLine::Run() {
    pending_.clear();
    while (!stop_) {
        if (HangUpIfVanished()) return;
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, 200) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        uint8_t buffer[256];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) Arrived(buffer, static_cast<size_t>(n));
    }
}

void SimSerialLine::Transmit(const std::vector<uint8_t>& wire) {
    size_t sent = 0;
    while (sent < wire.size()) {
        const ssize_t n = ::write(master_, wire.data() + sent, wire.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;  // the line's buffer is full: the rest is lost
        }
    }
}

// Closing the master side is what the tool sees of a lost port; the slave side
// held here keeps the vanished name from being handed to another terminal.
bool SimSerialLine::HangUpIfVanished() {
    if (simulator_.Faults().BluetoothPortPresent()) return false;
    CloseFd(master_);
    hungUp_ = true;
    return true;
}

}  // namespace korvan

#endif  // !_WIN32

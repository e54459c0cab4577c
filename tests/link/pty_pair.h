// A pseudo-terminal standing in for the Bluetooth serial line: the port under test
// opens the slave side, the test plays the remote system on the master side.
// On Windows a named pipe plays the line: the port opens "pipe\<name>" as its client.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace korvan {

#ifdef _WIN32

class PtyPair {
  public:
    PtyPair() {
        static int pairs = 0;
        slave_ = "pipe\\korvan-test-line-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++pairs);
        server_ = CreateNamedPipeA(("\\\\.\\" + slave_).c_str(), PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536,
                                   0, nullptr);
    }
    ~PtyPair() {
        if (Ok()) CloseHandle(server_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return server_ != INVALID_HANDLE_VALUE; }
    const std::string& SlavePath() const { return slave_; }

    // What the remote system sends.
    bool Send(const std::vector<uint8_t>& bytes) {
        DWORD n = 0;
        return WriteFile(server_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
               n == bytes.size();
    }
    // What the tool sent, waiting up to `timeout` for `count` bytes.
    std::vector<uint8_t> Receive(
        size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000)) {
        std::vector<uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            DWORD available = 0;
            if (!PeekNamedPipe(server_, nullptr, 0, nullptr, &available, nullptr)) break;
            if (available == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            uint8_t buf[512];
            DWORD n = 0;
            if (!ReadFile(server_, buf, available < sizeof buf ? available : sizeof buf, &n,
                          nullptr))
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

  private:
    HANDLE server_ = INVALID_HANDLE_VALUE;
    std::string slave_;
};

#else

class PtyPair {
  public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            const char* name = ::ptsname(master_);
            if (name) slave_ = name;
        }
    }
    ~PtyPair() {
        if (master_ >= 0) ::close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0 && !slave_.empty(); }
    const std::string& SlavePath() const { return slave_; }

    // What the remote system sends.
    bool Send(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // What the tool sent, waiting up to `timeout` for `count` bytes.
    std::vector<uint8_t> Receive(
        size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000)) {
        std::vector<uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            uint8_t buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

  private:
    int master_ = -1;
    std::string slave_;
};

#endif  // _WIN32

// Polls `ready` for up to a second: the pty hands bytes over asynchronously.
template <typename Ready>
bool WaitUntil(Ready ready) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace korvan

// A real mosquitto broker on a free loopback port, with a configuration file of the
// test's own, and a subscriber that keeps what arrives. For the monitor's tests and
// its bench; the broker is stopped (and may be started again on the same port) by them.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

namespace korvan::test {

class Broker {
  public:
    explicit Broker(std::filesystem::path scratch);
    ~Broker();
    // Starts mosquitto and waits (bounded) until it accepts connections.
    bool Start();
    void Stop();
    int Port() const { return port_; }

  private:
    std::filesystem::path scratch_;
    int port_ = 0;
    pid_t pid_ = -1;
};

struct Received {
    std::string Topic;
    std::string Payload;
    bool Retained = false;
    std::chrono::steady_clock::time_point At;
    std::chrono::system_clock::time_point Wall;
};

class Subscriber {
  public:
    Subscriber(int port, const std::string& pattern);
    ~Subscriber();
    std::vector<Received> Messages();
    void Clear();
    // Called on the network thread for each message, before it is kept.
    void OnMessage(std::function<void(const Received&)> observer) {
        observer_ = std::move(observer);
    }

  private:
    mosquitto* client_ = nullptr;
    std::string pattern_;
    mutable std::mutex mutex_;
    std::vector<Received> messages_;
    std::function<void(const Received&)> observer_;
};

int FreeLoopbackPort();

// A TCP connection to a loopback port: its descriptor, or -1.
inline int ConnectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0) return fd;
    close(fd);
    return -1;
}

}  // namespace korvan::test

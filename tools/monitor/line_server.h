// A TCP server that hands every client the same lines (Signal K deltas, one JSON
// object a line). One thread of its own accepts, writes and notices clients that
// went away; Send only queues, so the poll never waits on a slow reader. A client
// that lets its queue grow past a limit is dropped rather than fed stale lines. At
// most MaxClients are served: one more is closed at once; when accepting fails (no
// file descriptors left), accepting pauses for a while rather than spinning.
// POSIX sockets, no Qt.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvan {

class LineServer {
  public:
    LineServer() = default;
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    // Listens on address:port (0: a free port, see Port()); false with LastError().
    bool Start(const std::string& address, int port);
    void Stop();
    int Port() const { return port_; }
    const std::string& LastError() const { return lastError_; }

    // Queues `line` (its newline added) for every client connected now.
    void Send(const std::string& line);
    size_t Clients();
    // Counts every client accepted so far; the caller sends a full picture after it grows.
    unsigned Joined() const { return joined_; }

    static constexpr size_t QueueLimit = 1 << 20;
    static constexpr size_t MaxClients = 16;
    static constexpr int AcceptPauseMs = 1000;

  private:
    struct Client {
        int Fd;
        std::string Queue;
    };
    void Run();
    void Wake();
    // Takes the connections waiting; false when accepting failed for want of resources.
    bool Accept();

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> joined_{0};
    std::mutex mutex_;
    std::vector<Client> clients_;
    std::string lastError_;
};

}  // namespace korvan

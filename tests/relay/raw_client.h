// A blocking loopback TCP client for the relay server's tests: raw bytes in and
// out, from a chosen source address of 127.0.0.0/8, every wait bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvan {

class RawClient {
  public:
    RawClient(uint16_t port, const char* from = "127.0.0.1");
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    bool Send(std::string_view bytes);
    // Sends the FIN: nothing more will be sent, answers may still be read.
    void ShutdownWrite();
    // One answer: up to the end of its body by Content-Length, or whatever came
    // before the server closed the connection or the time ran out.
    std::string ReadAnswer(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // True when the server closes (or resets) the connection within limit;
    // whatever it sent before is discarded.
    bool ClosedByServer(std::chrono::milliseconds limit);

  private:
    // -1 on time-out, 0 on close, else the bytes read into buffered_.
    long ReadSome(std::chrono::milliseconds limit);

    int fd_ = -1;
    std::string buffered_;
};

// "GET target HTTP/1.1" with a Host header.
std::string RawGet(const std::string& target);
int StatusOf(const std::string& answer);
std::string BodyOf(const std::string& answer);

}  // namespace korvan

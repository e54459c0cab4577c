// The simulated system's Bluetooth serial line. The tool opens SlaveName() as its
// serial port; a thread here reads the 4-byte request frames from the other end and
// writes the answers, image last byte first, as the Bluetooth module transmits them.
// POSIX: a pseudo-terminal, SlaveName() its slave device. Windows: a named pipe,
// SlaveName() "pipe\<name>", which the Win32 serial port opens as "\\.\pipe\<name>".
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace korvan {

class KorvanSimulator;

class SimSerialLine {
  public:
    explicit SimSerialLine(KorvanSimulator& simulator);
    ~SimSerialLine();
    SimSerialLine(const SimSerialLine&) = delete;
    SimSerialLine& operator=(const SimSerialLine&) = delete;

    // Opens the line and starts answering; false with LastError() set.
    bool Start();
    void Stop();
    const std::string& SlaveName() const { return slaveName_; }
    const std::string& LastError() const { return lastError_; }

    // When the fault plan takes the port away the line hangs up: the tool's handle
    // fails and the name is gone. ComeBack opens a new line, under a new name, once
    // the plan lets the port return; true when it did.
    bool HungUp() const { return hungUp_; }
    bool ComeBack();

  private:
    bool HangUpIfVanished();  // POSIX: the line of a vanished port hangs up
    void Run();
    // Takes the bytes that arrived; answers every whole request frame among them.
    void Arrived(const uint8_t* data, size_t length);
    void Answer(const uint8_t* frame);
    // Writes an answer; what the line cannot take now is lost, as on a radio link.
    void Transmit(const std::vector<uint8_t>& wire);
    bool Fail(const char* what);  // closes what was opened; always false

    KorvanSimulator& simulator_;
    std::vector<uint8_t> pending_;  // received, not yet a whole frame
#ifdef _WIN32
    bool Serve(void* pipe);      // one client until it goes; false when stopped
    void* listening_ = nullptr;  // HANDLE of the pipe instance a client opens next
    void* stopEvent_ = nullptr;
    void* current_ = nullptr;  // HANDLE of the pipe instance being served
#else
    int master_ = -1;
    int slave_ = -1;  // held open so the line stays up while the tool closes and reopens it
    int wake_[2] = {-1, -1};
#endif
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::string slaveName_;
    std::string lastError_;
};

}  // namespace korvan

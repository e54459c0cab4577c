// The simulated system's Bluetooth serial line on a pseudo-terminal: the tool
// opens the slave side (SlaveName()) as its serial port; a thread here reads the
// 4-byte request frames from the master side and writes the answers, image last
// byte first, as the Bluetooth module transmits them.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace korvan {

class KorvanSimulator;

class SimSerialLine {
  public:
    explicit SimSerialLine(KorvanSimulator& simulator);
    ~SimSerialLine();
    SimSerialLine(const SimSerialLine&) = delete;
    SimSerialLine& operator=(const SimSerialLine&) = delete;

    // Opens the pseudo-terminal and starts answering; false with LastError() set.
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
    bool HangUpIfVanished();
    void Run();
    void Answer(const uint8_t* frame);
    bool Fail(const char* what);  // closes what was opened; always false

    KorvanSimulator& simulator_;
    int master_ = -1;
    int slave_ = -1;  // held open so the line stays up while the tool closes and reopens it
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::string slaveName_;
    std::string lastError_;
};

}  // namespace korvan

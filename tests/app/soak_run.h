// A long run of the real main window on the simulated system with link faults
// drawn from a seed: the window's own timers poll, a seeded driver reads, writes,
// edits, saves and loads settings, switches connections and pulls cables, and
// every step is checked against what the system and the window must show.
#pragma once

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "link/protocol.h"
#include "platform/posix_serial_port.h"
#include "sim/sim_bluetooth_discovery.h"
#include "sim/sim_hid_devices.h"
#include "sim/sim_serial_line.h"
#include "sim/simulator.h"
#include "tests/app/app_fixture.h"

namespace korvan {

struct SoakOptions {
    std::chrono::milliseconds Duration{60000};
    uint32_t Seed = 20240611;
    double FaultRate = 0.05;  // chance of a fault per exchange
    // The pauses the system needs, shortened by this factor; the waits still process
    // window messages where the tool's do.
    double WaitScale = 0.1;
    // How much longer than its own pauses a tick or command may hold the window.
    std::chrono::milliseconds Margin{100};
    long RssGrowthLimitKb = 24 * 1024;
};

using SettingsImage = std::array<uint8_t, SettingsImageSize>;

struct SoakTally {
    uint64_t Ticks = 0;
    uint64_t Commands = 0;
    uint64_t Reads = 0;
    uint64_t WritesCompleted = 0;  // and the system found holding what was encoded
    uint64_t WritesInterrupted = 0;
    uint64_t WritesReported = 0;  // interrupted, and the status bar says why
    uint64_t Saves = 0;
    uint64_t Loads = 0;
    uint64_t Unplugs = 0;   // by the driver, besides the plan's
    uint64_t Vanishes = 0;  // likewise
    double MaxTickMs = 0;
    double MaxBlockedMs = 0;  // of a command's handler
    long RssStartKb = 0;
    long RssEndKb = 0;
    SimFaultCounts Faults;
    std::vector<std::string> Failures;  // every broken rule, in order
};

// The pauses, shortened; they run on the session's worker thread.
class SoakWaiter : public Waiter {
  public:
    explicit SoakWaiter(double scale) : scale_(scale) {}
    void Wait(std::chrono::milliseconds duration, bool interruptible) override;

  private:
    double scale_;
};

class SoakRun {
  public:
    explicit SoakRun(const SoakOptions& options);
    ~SoakRun();
    // Runs for the options' duration; the tally says what happened and what broke.
    SoakTally Run();
    // "soak: N ticks, M faults injected (...), ..."
    std::string Summary() const;

    TMainFormKX4& Window() { return *window_; }
    KorvanSimulator& Simulator() { return simulator_; }
    ScriptedDialogs& Dialogs() { return dialogs_; }
    // The settings the tables hold, read back as a write would, over the records
    // for tables in their empty form: what a write must send.
    SettingsImage ExpectedSettings() const;

  private:
    enum class Action {
        Read,
        Write,
        WriteControlBox,
        ResetDefaults,
        Edit,
        Save,
        Load,
        UseUsb,
        UseBluetooth,
        Unplug,
        Replug,
        Vanish,
        Restore,
        Frs,
        Count
    };
    template <typename F>
    double Measure(const char* what, bool tick, F&& handler);
    void RewireTimers();
    void Tick(bool usb);
    // Each poll's end, the command's end: what the window shows then is checked.
    void CheckTick(PollOutcome outcome);
    void CommandFinished();
    void ScheduleNext();
    void Act(Action action);
    std::chrono::milliseconds BackByHand();
    void ReadAll();
    void WriteAll();
    void WriteControlBox();
    void ResetDefaults();
    void Edit();
    void Save();
    void Load();
    template <typename F>
    void Start(Action action, const char* what, F&& handler);
    void FinishRead();
    void FinishWrite();
    void Fail(const std::string& what);
    bool Usb() const;

    SoakOptions options_;
    std::mt19937 rng_;
    KorvanSimulator simulator_;
    SimHidDevices hid_{simulator_};
    SimSerialLine line_{simulator_};
    std::unique_ptr<SimBluetoothDiscovery> bluetooth_;
    PosixSerialPort serial_;
    SoakWaiter waiter_;
    ScriptedDialogs dialogs_;
    QTemporaryDir dir_;
    std::unique_ptr<TMainFormKX4> window_;
    SoakTally tally_;
    bool running_ = false;

    // Settings as last read, loaded or edited; none before the first.
    std::optional<SettingsImage> known_;
    std::optional<SettingsImage> saved_;  // what the last save wrote
    // The poll under way and the link it polls.
    std::optional<bool> polling_;
    bool loadedBeforeTick_ = false;  // SettingsLoaded when that poll began
    QString linkStatus_;             // the session's last word on the link
    // The command under way, and the fault count and link when it started.
    std::optional<Action> command_;
    SimFaultCounts commandBefore_;
    bool commandUsb_ = false;
    bool commandOk_ = false;  // how the last command the session finished ended
    // The write of all settings in progress: what it encoded, how far it got.
    std::optional<SettingsImage> written_;
    int progressSeen_ = -1;
    int progressTotal_ = 0;
};

long ResidentKb();  // this process's resident set, from /proc/self/statm

}  // namespace korvan

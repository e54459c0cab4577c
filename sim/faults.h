// Link faults of the simulated system, made on purpose: what a real boat does to
// the tool over a loose USB cable or a Bluetooth link at the edge of its range. A
// fault plan says which kinds are drawn at random, how often, from which seed, and
// which exact faults are scripted; the counters say what was injected.
//
// The simulated HID device and serial line consult one SimFaults (owned by the
// simulator) on every exchange; with the default plan nothing is ever injected and
// both behave exactly as without it. The public setters are the control surface of
// the demo's "Simulator" menu. Thread-safe: the serial line answers on its own thread.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "link/protocol.h"

namespace korvan {

enum class SimChannel { Usb, Bluetooth };

enum class SimFault : uint8_t {
    UsbNoAnswer,           // the read times out
    UsbShortReport,        // fewer than 65 bytes arrive
    UsbRandomBytes,        // the 64 bytes of the answer are noise
    UsbStaleAnswer,        // the answer read before this one arrives again
    UsbUnplugBeforeRead,   // the cable comes out between the write and the read
    UsbUnplugAfterReport,  // the report is answered, then the cable comes out
    BtByteLoss,            // a run of bytes of the answer is lost
    BtByteCorruption,      // a few bytes of the answer arrive changed
    BtLateImage,           // the answer arrives only after the next request
    BtSplitImage,          // part of the answer now, the rest after the next request
    BtPortVanish,          // the serial port goes away, the answer with it
};
inline constexpr size_t SimFaultKindCount = 11;

struct SimFaultInfo {
    SimFault Kind;
    SimChannel Channel;
    const char* Name;   // short, for counters and logs
    const char* Label;  // for a menu item
};
// Every kind, in the order of the enumeration.
const std::array<SimFaultInfo, SimFaultKindCount>& SimFaultKinds();
const SimFaultInfo& SimFaultInfoOf(SimFault kind);

// "At exchange #At on the kind's link, do Kind". With StartCode the exchanges are
// counted from the next request whose byte 0 is StartCode (that one is #1), so
// {UsbUnplugAfterReport, 11, CmdWriteControlBoxSettings} pulls the cable after the
// 11th report of the next write of all settings. Without it they are counted from
// the moment the plan was set. Each scripted fault fires once.
struct SimScriptedFault {
    SimFault Kind = SimFault::UsbNoAnswer;
    uint64_t At = 1;
    uint8_t StartCode = 0;
};

struct SimFaultPlan {
    std::array<bool, SimFaultKindCount> Enabled{};  // kinds drawn at random
    double Rate = 0;                                // chance of a random fault per exchange
    uint32_t Seed = 1;
    // A cable pulled or a port lost by a fault of the plan is back after this long.
    std::chrono::milliseconds ComesBackAfter{3000};
    std::vector<SimScriptedFault> Script;

    void Enable(SimFault kind, bool on = true) { Enabled[static_cast<size_t>(kind)] = on; }
    bool IsEnabled(SimFault kind) const { return Enabled[static_cast<size_t>(kind)]; }
    // Every kind of every link enabled at the given rate.
    static SimFaultPlan Random(double rate, uint32_t seed);
};

struct SimFaultCounts {
    uint64_t UsbExchanges = 0;  // requests that reached the device
    uint64_t BtExchanges = 0;   // request frames the line answered
    std::array<uint64_t, SimFaultKindCount> Injected{};

    uint64_t operator[](SimFault kind) const { return Injected[static_cast<size_t>(kind)]; }
    uint64_t Total() const;
    // One line: "usb exchanges=N bt exchanges=N" then "name=N" for every kind.
    std::string Text() const;
};

class SimFaults {
  public:
    using Clock = std::function<std::chrono::milliseconds()>;
    explicit SimFaults(Clock clock);

    // Control surface. SetPlan starts the numbering of exchanges, the random
    // streams and the counters afresh; the others change the plan in force.
    void SetPlan(const SimFaultPlan& plan);
    SimFaultPlan Plan();
    void SetRate(double rate);
    void Enable(SimFault kind, bool on);
    void AddScripted(const SimScriptedFault& fault);
    SimFaultCounts Counts();
    void ResetCounts();

    // The USB cable and the Bluetooth port: taken away by hand they stay away until
    // put back by hand; taken away by a fault they come back by themselves.
    void UnplugUsb();
    void ReplugUsb();
    bool UsbPresent();
    uint64_t UsbUnplugs();  // how often the cable came out: older handles are dead
    void VanishBluetoothPort();
    void RestoreBluetoothPort();
    bool BluetoothPortPresent();

    // For the simulated HID device: the fault of the USB exchange that starts with
    // a request whose byte 0 is `code`, if any. The unplug kinds pull the cable
    // themselves when the device calls PullUsbCable at the right moment.
    std::optional<SimFault> NextUsbExchange(uint8_t code);
    void PullUsbCable();
    size_t ShortReportLength();  // 1-64
    void Garble(DeviceReport& report);

    // For the simulated serial line: the bytes to transmit now for a request frame
    // whose byte 0 is `kind`, given the answer the modules made (transmission order).
    // Bytes held back from the previous answer go out first.
    std::vector<uint8_t> ShapeBluetoothAnswer(uint8_t kind, std::vector<uint8_t> wire);

  private:
    using Lock = std::lock_guard<std::mutex>;
    struct Away {  // the cable or the port while it is out
        bool Out = false;
        std::optional<std::chrono::milliseconds> BackAt;  // none: until put back by hand
    };
    struct ScriptState {
        SimScriptedFault Fault;
        std::optional<uint64_t> Anchor;  // the exchange counted as #1
        bool Fired = false;
    };

    std::optional<SimFault> Draw(SimChannel channel, uint8_t code, uint64_t exchange,
                                 std::mt19937& rng);
    std::optional<SimFault> Scripted(SimChannel channel, uint8_t code, uint64_t exchange);
    void AddScriptedLocked(const SimScriptedFault& fault);
    bool PresentLocked(Away& away);
    void Count(SimFault kind) { ++counts_.Injected[static_cast<size_t>(kind)]; }
    std::vector<uint8_t> ShapeLocked(SimFault kind, std::vector<uint8_t> wire);

    std::mutex mutex_;
    Clock clock_;
    SimFaultPlan plan_;
    std::vector<ScriptState> script_;
    std::mt19937 usbRng_;
    std::mt19937 btRng_;
    SimFaultCounts counts_;
    uint64_t usbExchange_ = 0;  // numbering for the script, since the plan was set
    uint64_t btExchange_ = 0;
    Away usb_;
    Away bt_;
    uint64_t usbUnplugs_ = 0;
    std::vector<uint8_t> heldBack_;  // Bluetooth bytes that go out after the next request
};

}  // namespace korvan

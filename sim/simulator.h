// The simulated KORVAN KX4: answers every USB command and both Bluetooth
// requests as the modules do, keeps the settings written to it, and moves its
// live values with time. Thread-safe: the serial line answers from its own
// thread while the window's USB exchanges call in directly.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "link/protocol.h"
#include "sim/can_traffic.h"
#include "sim/faults.h"
#include "sim/live_system.h"
#include "sim/sim_config.h"

namespace korvan {

// Time since an arbitrary start; tests inject a hand-driven clock.
using SimClock = std::function<std::chrono::milliseconds()>;
SimClock SteadySimClock();

struct SimReceived {
    SimChannel Channel;
    std::vector<uint8_t> Bytes;  // the 64-byte report or the 4-byte frame
    uint8_t Code() const { return Bytes.empty() ? 0 : Bytes[0]; }
};

struct SimItemWrite {
    uint8_t Code;  // CmdWriteBatteryBoxItem, CmdWriteFieldBox1Item or CmdWriteFieldBox2Item
    uint8_t Item;
    uint8_t Value;
    bool operator==(const SimItemWrite&) const = default;
};

enum class SimModule { ControlBox, ChargeProfiles, BatteryBox, FieldBox1, FieldBox2 };

class KorvanSimulator {
  public:
    // How long after its last request the serial link counts as in use.
    static constexpr std::chrono::seconds BluetoothActiveFor{3};

    explicit KorvanSimulator(SimConfig config = {}, SimClock clock = SteadySimClock());

    // One USB exchange: the answer to a 64-byte request.
    DeviceReport Answer(const DeviceReport& request);
    // One Bluetooth request frame: the bytes the module transmits in answer, in
    // transmission order (the image last byte first); empty when the frame is not
    // a request or the radio is restarting.
    std::vector<uint8_t> BluetoothAnswer(const uint8_t* frame, size_t length);
    bool BluetoothAvailable();

    // The images as the tool reassembles them (plain byte order).
    std::array<uint8_t, StateImageSize> StateImage();
    std::array<uint8_t, SettingsImageSize> SettingsImage();

    // The settings block a module holds (its own length; zero-filled to 64).
    Buffer64 StoredBlock(SimModule module);
    SimSettings Settings();
    SimStates States();  // the live records as of now

    // What arrived, oldest first (bounded by SimConfig::RecordLimit).
    std::vector<SimReceived> Received();
    std::vector<uint8_t> ReceivedUsbCodes();
    std::vector<SimItemWrite> ItemWrites();
    void ClearRecord();

    // The faults its links make on purpose; none unless a plan asks for them.
    SimFaults& Faults() { return faults_; }

    // Controls for tests and the demo.
    SimConfig Config();
    void SetConfig(const SimConfig& config);          // the charging state carries on
    void SetEngineRunning(int engine, bool running);  // switches the auto cycle off
    void SetSoc(double soc);
    uint8_t FrsValue();
    uint8_t ChargingStage();
    double Soc();

  private:
    using Lock = std::lock_guard<std::mutex>;
    struct PendingItems {
        std::array<std::optional<uint8_t>, 47> Values;  // index = item number
    };

    void AdvanceLocked();
    void Record(SimChannel channel, const uint8_t* bytes, size_t length);
    DeviceReport StateAnswer(uint8_t code);
    DeviceReport SettingsAnswer(uint8_t code) const;
    void StoreWrittenBlock(Buffer64& block, const DeviceReport& request, size_t length);
    void ItemWrite(const DeviceReport& request);
    void ResetControlBoxDefaults();
    void DecodeBlocks();
    bool Fitted(SimModule module) const;
    std::array<uint8_t, StateImageSize> StateImageLocked();
    std::array<uint8_t, SettingsImageSize> SettingsImageLocked() const;

    std::mutex mutex_;
    SimConfig config_;
    SimClock clock_;
    std::chrono::milliseconds lastWall_;
    double simSeconds_ = 0;
    LiveSystem live_;
    CanTraffic can_;
    // The blocks are what the modules hold; settings_ is their decoded form.
    Buffer64 controlBlock_{};
    Buffer64 profilesBlock_{};
    Buffer64 batteryBlock_{};
    std::array<Buffer64, 2> fieldBlock_{};
    SimSettings settings_;
    std::array<PendingItems, 3> pending_{};  // battery box, field box #1, #2
    std::optional<std::chrono::milliseconds> bluetoothAwayUntil_;
    std::optional<std::chrono::milliseconds> lastBluetoothRequest_;
    std::deque<SimReceived> received_;
    std::deque<SimItemWrite> itemWrites_;
    SimFaults faults_;
};

}  // namespace korvan

// The moving part of the simulated system: engines, alternators, the battery
// bank and the control box's charging stages, integrated over simulated time,
// and the module state records that follow from them.
#pragma once

#include <array>
#include <cstdint>

#include "model/battery_box.h"
#include "model/control_box.h"
#include "model/field_box.h"
#include "sim/sim_config.h"

namespace korvan {

// The settings the modules hold; they steer the simulation.
struct SimSettings {
    ControlBoxSettings Control;
    BatteryBoxSettings Battery;
    std::array<FieldBoxSettings, 2> Field;
};
// What a fresh system holds in every module.
SimSettings DefaultSimSettings();

struct SimStates {
    ControlBoxState Control{};
    BatteryBoxState Battery{};
    std::array<FieldBoxState, 2> Field{};
};

class LiveSystem {
  public:
    explicit LiveSystem(const SimConfig& config);

    // Integrates up to `seconds` of simulated time since the start.
    void Advance(double seconds, const SimSettings& settings);
    // 0x10 lowers the field reduction switch value, 0x20 raises it, within 0-10.
    void ApplyFrsFlag(uint8_t flag);
    void SetBluetoothActive(bool active) { bluetoothActive_ = active; }
    // A module that is not fitted gets the all-zero record.
    SimStates States(const SimSettings& settings) const;

    double Soc() const { return soc_; }
    void SetSoc(double soc);
    uint8_t Stage() const { return stage_; }
    uint8_t Frs() const { return frs_; }
    double Rpm(int engine) const { return rpm_[engine]; }
    bool Running(int engine) const { return running_[engine]; }
    double BatteryCurrent() const { return batteryCurrent_; }
    double LoadCurrent() const { return load_; }
    double BatteryVoltage() const;  // on the system's own scale (12 or 24 V)
    double AlternatorTemperature(int engine) const { return altTemp_[engine]; }
    double BatteryTemperature(int sensor) const { return batTemp_[sensor]; }
    double Time() const { return time_; }
    const SimConfig& Config() const { return config_; }

  private:
    void Step(double dt, const SimSettings& settings);
    void UpdateStage(double dt, bool charging, const SimSettings& settings);
    bool EngineOn(int engine) const;
    double StageTarget(const ControlBoxSettings& control) const;  // 12 V scale
    double Scale() const { return config_.SystemVoltage == 24 ? 2.0 : 1.0; }
    bool Fitted(int fieldBox) const {
        return fieldBox == 0 ? config_.FieldBox1 : config_.FieldBox2;
    }
    bool BothRegulating() const { return turning_[0] && turning_[1]; }

    uint16_t BatteryStatus(const BatteryBoxSettings& b) const;
    uint8_t FieldStatus(int i, const FieldBoxSettings& f) const;
    uint16_t ControlStatus(const SimSettings& s, uint16_t battery, const SimStates& states) const;
    void FillControlState(const SimSettings& s, SimStates& out) const;
    void FillBatteryState(const SimSettings& s, SimStates& out) const;
    void FillFieldState(int i, const SimSettings& s, SimStates& out) const;

    const SimConfig& config_;
    double time_ = 0;
    double soc_;
    uint8_t stage_ = 0;
    double stageTime_ = 0;
    uint8_t frs_ = 0;
    bool bluetoothActive_ = false;
    std::array<bool, 2> running_{};
    std::array<bool, 2> turning_{};  // running fast enough for its field box to regulate
    std::array<double, 2> rpm_{};
    std::array<double, 2> fullField_{};
    std::array<double, 2> drive_{};  // field drive, 0-1
    std::array<double, 2> alt_{};    // alternator currents, A
    std::array<double, 2> altTemp_{};
    std::array<double, 3> batTemp_{};
    double load_ = 0;
    double batteryCurrent_ = 0;
    double voltage_;  // 12 V scale
    double target_ = 0;
};

}  // namespace korvan

#include "sim/live_system.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/defaults.h"

namespace korvan {

SimSettings DefaultSimSettings() {
    return {DefaultControlBoxSettings(),
            DefaultBatteryBoxSettings(),
            {DefaultFieldBoxSettings(0), DefaultFieldBoxSettings(1)}};
}

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double MaxStep = 0.2;       // s; keeps long jumps of the clock stable
constexpr double WiringOhms = 0.002;  // alternator to battery, per alternator

double Clamp(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

// First-order lag towards `target` with time constant `tau`.
double Approach(double v, double target, double dt, double tau) {
    return target + (v - target) * std::exp(-dt / tau);
}

int32_t Round(double v) { return static_cast<int32_t>(std::lround(v)); }
uint16_t Raw(double fraction) {
    return static_cast<uint16_t>(std::lround(Clamp(fraction, 0, 1) * FieldControlFullScale));
}
int8_t TemperatureByte(double t, bool missing) {
    return missing ? NoTemperatureSensor : static_cast<int8_t>(Clamp(std::lround(t), -127, 127));
}

// Open-circuit voltage of the bank (12 V scale) from the battery box's own curve;
// a curve that does not rise falls back to a typical lead-acid one.
double RestVoltage(double soc, const BatteryBoxSettings& b) {
    double v[4] = {b.VoltageAt0, b.VoltageAt20, b.VoltageAt80, b.VoltageAt100};
    if (!(v[0] >= 9.0 && v[0] < v[1] && v[1] < v[2] && v[2] < v[3] && v[3] <= 16.0)) {
        v[0] = 12.0, v[1] = 12.2, v[2] = 12.5, v[3] = 12.7;
    }
    constexpr double SocPoints[4] = {0, 20, 80, 100};
    soc = Clamp(soc, 0, 100);
    int k = soc < 20 ? 0 : soc < 80 ? 1 : 2;
    return v[k] + (v[k + 1] - v[k]) * (soc - SocPoints[k]) / (SocPoints[k + 1] - SocPoints[k]);
}

// House loads: a slow swing and, every three minutes, a quarter-minute burst
// (a windlass, a watermaker).
double LoadAt(double t, double base) {
    double swing = 5.0 * std::sin(2 * Pi * t / 300.0);
    double burst = std::fmod(t, 180.0) >= 60.0 && std::fmod(t, 180.0) < 75.0 ? 30.0 : 0.0;
    return std::max(0.0, base + swing + burst);
}

double BankSize(const BatteryBoxSettings& b) { return b.BankSize > 0 ? b.BankSize : 100.0; }

}  // namespace

LiveSystem::LiveSystem(const SimConfig& config)
    : config_(config), soc_(Clamp(config.InitialSoc, 0, 100)), voltage_(12.5) {
    altTemp_.fill(config.AmbientTemperature);
    batTemp_.fill(config.AmbientTemperature);
    load_ = LoadAt(0, config.BaseLoadCurrent);
}

void LiveSystem::SetSoc(double soc) { soc_ = Clamp(soc, 0, 100); }

double LiveSystem::BatteryVoltage() const { return voltage_ * Scale(); }

void LiveSystem::ApplyFrsFlag(uint8_t flag) {
    if (flag & 0x10) {
        frs_ = frs_ > 0 ? frs_ - 1 : 0;
    } else if (flag & 0x20) {
        frs_ = frs_ < 10 ? frs_ + 1 : 10;
    }
}

void LiveSystem::Advance(double seconds, const SimSettings& settings) {
    while (time_ < seconds) {
        double dt = std::min(MaxStep, seconds - time_);
        time_ += dt;
        Step(dt, settings);
    }
}

bool LiveSystem::EngineOn(int engine) const {
    if (!config_.AutoCycle) return config_.EngineRunning[engine];
    double run = static_cast<double>(config_.EngineRunTime.count());
    double cycle = run + static_cast<double>(config_.EngineRestTime.count());
    if (cycle <= 0) return true;
    double phase = std::fmod(time_, cycle);
    double start = engine == 0 ? 0.0 : static_cast<double>(config_.SecondEngineDelay.count());
    return phase >= start && phase < run;
}

double LiveSystem::StageTarget(const ControlBoxSettings& control) const {
    const ChargeProfile* p = SelectedProfile(control);
    if (p == nullptr) p = &control.Profiles[0];
    switch (stage_) {
        case StageWarmup:
            return p->WarmupTarget;
        case StageMandatoryBulk:
        case StageBulkAbsorb:
            return p->BulkTarget;
        case StageFloat:
            return p->FloatTarget;
        default:
            return 0.0;
    }
}

void LiveSystem::UpdateStage(double dt, bool charging, const SimSettings& s) {
    if (!charging) {
        stage_ = StageMonitoring;
        stageTime_ = 0;
        return;
    }
    stageTime_ += dt;
    const double bank = BankSize(s.Battery);
    const ChargeProfile* p = SelectedProfile(s.Control);
    const double floatLeave = p != nullptr ? p->FloatTarget - 0.3 : 13.1;
    uint8_t next = stage_;
    switch (stage_) {
        case StageMonitoring:
            next = StageWarmup;
            break;
        case StageWarmup:
            if (stageTime_ >= std::max(1, s.Control.WarmupDuration)) next = StageMandatoryBulk;
            break;
        case StageMandatoryBulk:
            if (stageTime_ >= std::max(1, s.Control.MandatoryBulkDuration)) next = StageBulkAbsorb;
            break;
        case StageBulkAbsorb:
            // Absorption ends when the bank takes little current at the bulk voltage.
            if (soc_ >= 99.9 ||
                (batteryCurrent_ < std::max(2.0, 0.05 * bank) && voltage_ >= target_ - 0.05)) {
                next = StageFloat;
            }
            break;
        case StageFloat:
            if (soc_ < 90.0 || voltage_ < floatLeave) next = StageBulkAbsorb;
            break;
        default:
            next = StageMonitoring;
            break;
    }
    if (next != stage_) {
        stage_ = next;
        stageTime_ = 0;
    }
}

void LiveSystem::Step(double dt, const SimSettings& s) {
    bool charging = false;
    for (int i = 0; i < 2; ++i) {
        running_[i] = EngineOn(i);
        double cruise = 1600.0 - 150.0 * i + 250.0 * std::sin(2 * Pi * time_ / 95.0 + 1.3 * i);
        rpm_[i] = Approach(rpm_[i], running_[i] ? cruise : 0.0, dt, running_[i] ? 1.5 : 0.8);
        if (!running_[i] && rpm_[i] < 5.0) rpm_[i] = 0.0;
        double lowLimit = std::max<int32_t>(1, s.Field[i].LowRpmLimit);
        turning_[i] = Fitted(i) && running_[i] && rpm_[i] >= lowLimit;
        charging = charging || turning_[i];
    }
    UpdateStage(dt, charging, s);
    target_ = std::max(0.0, StageTarget(s.Control));
    load_ = LoadAt(time_, config_.BaseLoadCurrent);

    const double bank = BankSize(s.Battery);
    const double ohms = 0.05 * 100.0 / bank;  // internal resistance of the bank
    const double absorb = 1.0 + 20.0 * std::pow(std::max(0.0, (soc_ - 80.0) / 20.0), 2);
    const double rest = RestVoltage(soc_, s.Battery);
    const double frsFraction = (10 - frs_) / 10.0;
    const int32_t limits[2] = {s.Control.Alt1CurrentLimit, s.Control.Alt2CurrentLimit};

    std::array<double, 2> available{};
    for (int i = 0; i < 2; ++i) {
        double pulley = s.Field[i].PulleyRatio > 0 ? s.Field[i].PulleyRatio : 1.0;
        double speed = Clamp((rpm_[i] * pulley - 1500.0) / 3500.0, 0, 1);
        double rated = std::max<int32_t>(0, limits[i]);
        fullField_[i] = turning_[i] ? 1.25 * rated * speed : 0.0;
        available[i] =
            std::min(rated, fullField_[i] * frsFraction) * (stage_ == StageWarmup ? 0.3 : 1.0);
    }
    double wanted = charging ? std::max(0.0, (target_ - rest) / (ohms * absorb)) : 0.0;
    if (s.Control.BatteryChargeCurrentLimit > 0) {
        wanted = std::min<double>(wanted, s.Control.BatteryChargeCurrentLimit);
    }
    const double total = available[0] + available[1];
    const double produced = charging ? Clamp(wanted + load_, 0, total) : 0.0;
    for (int i = 0; i < 2; ++i) {
        alt_[i] = total > 0 ? produced * available[i] / total : 0.0;
        drive_[i] = fullField_[i] > 0 ? Clamp(alt_[i] / fullField_[i], 0, 1) : 0.0;
        double heat = config_.AmbientTemperature + 0.4 * alt_[i] + (running_[i] ? 8.0 : 0.0);
        altTemp_[i] = Approach(altTemp_[i], heat, dt, 240.0);
    }
    batteryCurrent_ = produced - load_;
    const double efficiency = batteryCurrent_ > 0 ? 0.95 : 1.0;
    soc_ = Clamp(soc_ + efficiency * batteryCurrent_ * dt / 3600.0 / bank * 100.0, 0, 100);
    voltage_ = rest + batteryCurrent_ * ohms * (batteryCurrent_ > 0 ? absorb : 1.0);
    for (int k = 0; k < 3; ++k) {
        double warm = config_.AmbientTemperature + 0.02 * std::abs(batteryCurrent_) + 0.8 * k;
        batTemp_[k] = Approach(batTemp_[k], warm, dt, 900.0);
    }
}

SimStates LiveSystem::States(const SimSettings& s) const {
    SimStates out;
    if (config_.BatteryBox) FillBatteryState(s, out);
    for (int i = 0; i < 2; ++i) {
        if (Fitted(i)) FillFieldState(i, s, out);
    }
    FillControlState(s, out);
    return out;
}

void LiveSystem::FillBatteryState(const SimSettings& s, SimStates& out) const {
    const BatteryBoxSettings& b = s.Battery;
    BatteryBoxState& st = out.Battery;
    const double v = BatteryVoltage();
    st.SupplyVoltage = v - 0.04;
    st.TempSensorVoltage1 = config_.BatterySensorMissing[0] ? 0.0 : (batTemp_[0] + 273.15) / 100.0;
    st.TempSensorVoltage2 = config_.BatterySensorMissing[1] ? 0.0 : (batTemp_[1] + 273.15) / 100.0;
    st.TempSensorVoltage3 = config_.BatterySensorMissing[2] ? 0.0 : (batTemp_[2] + 273.15) / 100.0;
    st.TrueBatteryVoltage = v;
    st.VoltageDrop = batteryCurrent_ * b.WiringResistance;
    st.MeasuredBatteryVoltage = v + st.VoltageDrop;
    st.MeasuredLoadsVoltage = v - load_ * 0.002;
    st.Alternator1Current = Round(alt_[0]);
    st.Alternator2Current = Round(alt_[1]);
    st.BatteryCurrent = Round(batteryCurrent_);
    st.LoadCurrent = Round(load_);
    st.Temperature1 = TemperatureByte(batTemp_[0], config_.BatterySensorMissing[0]);
    st.Temperature2 = TemperatureByte(batTemp_[1], config_.BatterySensorMissing[1]);
    st.Temperature3 = TemperatureByte(batTemp_[2], config_.BatterySensorMissing[2]);
    st.SystemVoltage = config_.SystemVoltage == 24 ? 24 : 12;
    st.Soc = static_cast<uint8_t>(std::lround(soc_));
    st.ChargeContent = soc_ / 100.0 * b.BankSize;
    st.StatusCode = BatteryStatus(b);
    const bool critical = (st.StatusCode & 0x0554) != 0;
    st.SsOutput1 = b.UseSs && b.SsNoOutput1Usage && critical;
    st.SsOutput2 = b.UseSs && b.SsNcOutput2Usage && critical;
    st.BatteryOcc = b.FaultDischargeCurrent > 0 && -batteryCurrent_ >= b.FaultDischargeCurrent;
    if (st.SsOutput1 || st.SsOutput2) st.StatusCode |= 0x2000;
}

uint16_t LiveSystem::BatteryStatus(const BatteryBoxSettings& b) const {
    uint16_t bits = 0;
    const int8_t warning[3] = {b.WarningTemp1, b.WarningTemp2, b.WarningTemp3};
    const int8_t fault[3] = {b.FaultTemp1, b.FaultTemp2, b.FaultTemp3};
    for (int k = 0; k < 3; ++k) {
        if (config_.BatterySensorMissing[k]) continue;
        const uint16_t warnBit = static_cast<uint16_t>(0x0002 << (2 * k));
        if (fault[k] > 0 && batTemp_[k] >= fault[k]) {
            bits |= static_cast<uint16_t>(warnBit << 1);
        } else if (warning[k] > 0 && batTemp_[k] >= warning[k]) {
            bits |= warnBit;
        }
    }
    if (b.FaultVoltage > 0 && voltage_ >= b.FaultVoltage) {
        bits |= 0x0100;
    } else if (b.WarningVoltage > 0 && voltage_ >= b.WarningVoltage) {
        bits |= 0x0080;
    }
    const double discharge = -batteryCurrent_;
    if (b.FaultDischargeCurrent > 0 && discharge >= b.FaultDischargeCurrent) {
        bits |= 0x0400;
    } else if (b.WarningDischargeCurrent > 0 && discharge >= b.WarningDischargeCurrent) {
        bits |= 0x0200;
    }
    if (soc_ < b.WarningSoc) bits |= 0x0800;
    if (b.UseSsp && b.SspThreshold > 0 && voltage_ >= b.SspThreshold) bits |= 0x1000;
    return bits;
}

void LiveSystem::FillFieldState(int i, const SimSettings& s, SimStates& out) const {
    const FieldBoxSettings& f = s.Field[i];
    FieldBoxState& st = out.Field[i];
    const double v = BatteryVoltage();
    const double drop = alt_[i] * WiringOhms;
    const bool missing = config_.AlternatorSensorMissing[i];
    st.SupplyVoltage = v - 0.1;
    st.FiveVoltVoltage = 5.0;
    st.TempSensorSignal = missing ? 0.0 : (altTemp_[i] + 273.15) / 100.0;
    st.Field1Selector = 1;  // P-type field on output #1, output #2 unused
    st.Field2Selector = 0;
    st.Field1Output = static_cast<uint8_t>(std::lround(drive_[i] * 100.0));
    st.Field2Output = 0;
    st.Field1OutputVoltage = (v + drop) * drive_[i];
    st.Field2OutputVoltage = 0.0;
    st.BPlusVoltage = v + drop;
    st.BMinusVoltage = drop / 5.0;
    const double pulley = f.PulleyRatio > 0 ? f.PulleyRatio : 1.0;
    const double tach = rpm_[i] * pulley * f.Poles / 120.0;
    st.TachFrequency = Round(tach);
    st.TachOutputFrequency = Round(tach * f.TachCompensator);
    st.EngineRpm = Round(rpm_[i]);
    st.AlternatorTemperature = TemperatureByte(altTemp_[i], missing);
    st.StatusCode = FieldStatus(i, f);
}

uint8_t LiveSystem::FieldStatus(int i, const FieldBoxSettings& f) const {
    uint8_t bits = 0;
    if (!config_.AlternatorSensorMissing[i]) {
        if (f.FaultTemp > 0 && altTemp_[i] >= f.FaultTemp) {
            bits |= 0x04;
        } else if (f.WarningTemp > 0 && altTemp_[i] >= f.WarningTemp) {
            bits |= 0x02;
        }
    }
    if (running_[i] && rpm_[i] < f.LowRpmLimit) bits |= 0x10;
    if (rpm_[i] > 50.0) bits |= 0x20;
    if (running_[i]) bits |= 0x40;
    // The charge lamp: ignition on while the alternator does not charge, or a fault.
    if (f.UseWarningLight && running_[i] && (!turning_[i] || (bits & 0x0F))) bits |= 0x80;
    return bits;
}

void LiveSystem::FillControlState(const SimSettings& s, SimStates& out) const {
    ControlBoxState& st = out.Control;
    const double scale = Scale();
    const uint16_t limit = Raw((10 - frs_) / 10.0);
    st.BatteryVoltage = BatteryVoltage();
    st.FieldControlLimit = limit;
    st.FrsValue = frs_;
    st.ChargingStage = stage_;
    st.SlaveFieldControl = BothRegulating() ? Raw(drive_[0]) : 0;
    double* setPoint[2] = {&st.Alt1SetPoint, &st.Alt2SetPoint};
    double* dropOut[2] = {&st.Alt1VoltageDrop, &st.Alt2VoltageDrop};
    uint16_t* digital[2] = {&st.Alt1DigitalFieldControl, &st.Alt2DigitalFieldControl};
    uint16_t* lower[2] = {&st.Alt1LowerFieldLimit, &st.Alt2LowerFieldLimit};
    uint16_t* upper[2] = {&st.Alt1UpperFieldLimit, &st.Alt2UpperFieldLimit};
    for (int i = 0; i < 2; ++i) {
        const double drop = alt_[i] * WiringOhms;
        *setPoint[i] = turning_[i] ? target_ * scale + drop : 0.0;
        *dropOut[i] = drop;
        *digital[i] = Raw(drive_[i]);
        *lower[i] = turning_[i] ? Raw(0.05) : 0;
        *upper[i] = turning_[i] ? limit : 0;
    }
    st.ReferenceVoltage = 2.5;
    st.InternalSupplyVoltage = 5.02;
    st.Alt1Current = Round(alt_[0]);
    st.Alt2Current = Round(alt_[1]);
    st.BatteryCurrent = config_.BatteryBox ? Round(batteryCurrent_) : 0;
    st.ConnectedModules = ControlStatus(s, out.Battery.StatusCode, out);
}

uint16_t LiveSystem::ControlStatus(const SimSettings& s, uint16_t battery,
                                   const SimStates& states) const {
    uint16_t bits = 0;
    if (config_.FieldBox1) bits |= FieldBox1Connected;
    if (config_.FieldBox2) bits |= FieldBox2Connected;
    if (config_.BatteryBox) bits |= BatteryBoxConnected;
    if (config_.Nmea2000 && s.Control.UseNmea2000) bits |= Nmea2000Connected;
    if (s.Control.WifiMode == 1) bits |= 0x0020;
    if (s.Control.WifiMode == 2) bits |= 0x0040;
    if (BothRegulating()) bits |= 0x0100;  // field box #2 follows field box #1
    uint8_t fieldBits = states.Field[0].StatusCode | states.Field[1].StatusCode;
    if ((battery & 0x0AAA) || (fieldBits & 0x02)) bits |= WarningFaultPresent;
    if ((battery & 0x0554) || (fieldBits & 0x0D)) bits |= CriticalFaultPresent;
    ControlBoxSettings checked = s.Control;
    ValidateControlBoxSettings(checked);
    // The record has no hidden padding: any byte the checks change counts.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    if (std::memcmp(&checked, &s.Control, sizeof checked) != 0) bits |= 0x0800;
    const double faultVoltage =
        config_.BatteryBox && s.Battery.FaultVoltage > 0 ? s.Battery.FaultVoltage : 16.0;
    if (voltage_ >= faultVoltage) bits |= 0x1000;
    const double maxDrop = s.Control.MaxWiringVoltageDrop;
    if (maxDrop > 0 && std::max(alt_[0], alt_[1]) * WiringOhms > maxDrop) bits |= 0x2000;
    if (bluetoothActive_) bits |= 0x4000;
    return bits;
}

}  // namespace korvan

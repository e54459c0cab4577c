#include "sim/simulator.h"

#include <algorithm>
#include <cstring>

#include "sim/defaults.h"

namespace korvan {

namespace {

using std::chrono::milliseconds;

struct ModuleBlock {
    SimModule Module;
    ImageBlock InImage;
};

constexpr ModuleBlock SettingsImageBlocks[] = {
    {SimModule::ControlBox, SettingsImageControlBox},
    {SimModule::ChargeProfiles, SettingsImageChargeProfiles},
    {SimModule::BatteryBox, SettingsImageBatteryBox},
    {SimModule::FieldBox1, SettingsImageFieldBox1},
    {SimModule::FieldBox2, SettingsImageFieldBox2},
};

constexpr size_t ItemCounts[3] = {BatteryBoxItemCount, FieldBoxItemCount, FieldBoxItemCount};

void EncodeControlDefaults(Buffer64& control, Buffer64& profiles) {
    const ControlBoxSettings defaults = DefaultControlBoxSettings();
    control.fill(0);
    EncodeControlBoxSettings(defaults, control);
    profiles.fill(0);
    EncodeChargeProfiles(defaults, profiles);
}

}  // namespace

SimClock SteadySimClock() {
    return [] {
        return std::chrono::duration_cast<milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
}

KorvanSimulator::KorvanSimulator(SimConfig config, SimClock clock)
    : config_(config),
      clock_(std::move(clock)),
      lastWall_(clock_()),
      live_(config_),
      faults_(clock_) {
    std::memset(&settings_, 0, sizeof settings_);
    EncodeControlDefaults(controlBlock_, profilesBlock_);
    EncodeBatteryBoxSettings(DefaultBatteryBoxSettings(), batteryBlock_);
    for (int i = 0; i < 2; ++i) EncodeFieldBoxSettings(DefaultFieldBoxSettings(i), fieldBlock_[i]);
    DecodeBlocks();
}

void KorvanSimulator::DecodeBlocks() {
    DecodeControlBoxSettings(controlBlock_, settings_.Control);
    DecodeChargeProfiles(profilesBlock_, settings_.Control);
    DecodeBatteryBoxSettings(batteryBlock_, settings_.Battery);
    for (int i = 0; i < 2; ++i) DecodeFieldBoxSettings(fieldBlock_[i], settings_.Field[i]);
}

bool KorvanSimulator::Fitted(SimModule module) const {
    switch (module) {
        case SimModule::BatteryBox:
            return config_.BatteryBox;
        case SimModule::FieldBox1:
            return config_.FieldBox1;
        case SimModule::FieldBox2:
            return config_.FieldBox2;
        default:
            return true;
    }
}

void KorvanSimulator::AdvanceLocked() {
    const milliseconds now = clock_();
    if (now > lastWall_) {
        simSeconds_ += static_cast<double>((now - lastWall_).count()) / 1000.0 * config_.TimeScale;
    }
    lastWall_ = now;
    const bool away = bluetoothAwayUntil_ && now < *bluetoothAwayUntil_;
    live_.SetBluetoothActive(!away && lastBluetoothRequest_ &&
                             now - *lastBluetoothRequest_ < BluetoothActiveFor);
    live_.Advance(simSeconds_, settings_);
}

void KorvanSimulator::Record(SimChannel channel, const uint8_t* bytes, size_t length) {
    received_.push_back({channel, std::vector<uint8_t>(bytes, bytes + length)});
    while (received_.size() > std::max<size_t>(config_.RecordLimit, 1)) received_.pop_front();
}

DeviceReport KorvanSimulator::Answer(const DeviceReport& request) {
    Lock lock(mutex_);
    Record(SimChannel::Usb, request.data(), request.size());
    const uint8_t code = request[0];
    if (code == CmdControlBoxState) live_.ApplyFrsFlag(request[1]);
    AdvanceLocked();
    DeviceReport ack{};
    ack[0] = code;  // writes and resets are acknowledged with their own code
    switch (code) {
        case CmdControlBoxState:
        case CmdBatteryBoxState:
        case CmdFieldBox1State:
        case CmdFieldBox2State:
            return StateAnswer(code);
        case CmdControlBoxSettings:
        case CmdBatteryBoxSettings:
        case CmdFieldBox1Settings:
        case CmdFieldBox2Settings:
        case CmdChargeProfiles:
            return SettingsAnswer(code);
        case CmdWriteControlBoxSettings:
            StoreWrittenBlock(controlBlock_, request, ControlBoxSettingsLength);
            return ack;
        case CmdWriteChargeProfiles:
            StoreWrittenBlock(profilesBlock_, request, ChargeProfilesLength);
            return ack;
        case CmdWriteBatteryBoxItem:
        case CmdWriteFieldBox1Item:
        case CmdWriteFieldBox2Item:
            ItemWrite(request);
            return ack;
        case CmdResetControlBoxDefaults:
            EncodeControlDefaults(controlBlock_, profilesBlock_);
            DecodeBlocks();
            return ack;
        case CmdResetBluetoothRadio:
            bluetoothAwayUntil_ = lastWall_ + BluetoothResetDuration;
            return ack;
        case CmdCanFrames: {
            DeviceReport answer{};
            if (config_.Nmea2000 && settings_.Control.UseNmea2000) can_.Fill(answer, live_);
            return answer;
        }
        default:
            return DeviceReport{};
    }
}

DeviceReport KorvanSimulator::StateAnswer(uint8_t code) {
    const SimStates states = live_.States(settings_);
    Buffer64 out{};
    switch (code) {
        case CmdControlBoxState:
            EncodeControlBoxState(states.Control, out);
            break;
        case CmdBatteryBoxState:
            if (config_.BatteryBox) EncodeBatteryBoxState(states.Battery, settings_.Battery, out);
            break;
        case CmdFieldBox1State:
            if (config_.FieldBox1) EncodeFieldBoxState(states.Field[0], out);
            break;
        case CmdFieldBox2State:
            if (config_.FieldBox2) EncodeFieldBoxState(states.Field[1], out);
            break;
        default:
            break;
    }
    return out;
}

DeviceReport KorvanSimulator::SettingsAnswer(uint8_t code) const {
    switch (code) {
        case CmdControlBoxSettings:
            return controlBlock_;
        case CmdChargeProfiles:
            return profilesBlock_;
        case CmdBatteryBoxSettings:
            return config_.BatteryBox ? batteryBlock_ : DeviceReport{};
        case CmdFieldBox1Settings:
            return config_.FieldBox1 ? fieldBlock_[0] : DeviceReport{};
        case CmdFieldBox2Settings:
            return config_.FieldBox2 ? fieldBlock_[1] : DeviceReport{};
        default:
            return DeviceReport{};
    }
}

// The request carries bytes 1-63 of the encoded block with the code in place of
// the marker; the module keeps the block as the tool encoded it.
void KorvanSimulator::StoreWrittenBlock(Buffer64& block, const DeviceReport& request,
                                        size_t length) {
    block.fill(0);
    std::copy(request.begin() + 1, request.begin() + static_cast<long>(length), block.begin() + 1);
    block[0] = SettingsMarker;
    DecodeBlocks();
}

// Items are collected one by one and take effect together on the closing pair.
void KorvanSimulator::ItemWrite(const DeviceReport& request) {
    const uint8_t code = request[0];
    const uint8_t item = request[1];
    const uint8_t value = request[2];
    itemWrites_.push_back({code, item, value});
    while (itemWrites_.size() > std::max<size_t>(config_.RecordLimit, 1)) itemWrites_.pop_front();

    const size_t m = static_cast<size_t>(code - CmdWriteBatteryBoxItem);
    const SimModule module = m == 0   ? SimModule::BatteryBox
                             : m == 1 ? SimModule::FieldBox1
                                      : SimModule::FieldBox2;
    if (!Fitted(module)) return;
    PendingItems& pending = pending_[m];
    if (item == 0 && value == 0xFF) {
        Buffer64& block = m == 0 ? batteryBlock_ : fieldBlock_[m - 1];
        for (size_t n = 1; n <= ItemCounts[m]; ++n) {
            if (pending.Values[n]) block[n] = *pending.Values[n];
        }
        pending = PendingItems{};
        DecodeBlocks();
    } else if (item >= 1 && item <= ItemCounts[m]) {
        pending.Values[item] = value;
    }
}

std::vector<uint8_t> KorvanSimulator::BluetoothAnswer(const uint8_t* frame, size_t length) {
    Lock lock(mutex_);
    const milliseconds now = clock_();
    if (bluetoothAwayUntil_ && now < *bluetoothAwayUntil_) return {};
    Record(SimChannel::Bluetooth, frame, length);
    if (length != 4 || frame[0] != frame[3]) return {};
    std::vector<uint8_t> wire;
    if (frame[0] == BtStateRequest) {
        lastBluetoothRequest_ = now;
        live_.ApplyFrsFlag(frame[1]);
        AdvanceLocked();
        const auto image = StateImageLocked();
        wire.assign(image.rbegin(), image.rend());
    } else if (frame[0] == BtSettingsRequest) {
        lastBluetoothRequest_ = now;
        AdvanceLocked();
        const auto image = SettingsImageLocked();
        wire.assign(image.rbegin(), image.rend());
    }
    return wire;
}

bool KorvanSimulator::BluetoothAvailable() {
    Lock lock(mutex_);
    return !(bluetoothAwayUntil_ && clock_() < *bluetoothAwayUntil_);
}

std::array<uint8_t, StateImageSize> KorvanSimulator::StateImageLocked() {
    std::array<uint8_t, StateImageSize> image{};
    for (uint8_t code = CmdControlBoxState; code <= CmdFieldBox2State; ++code) {
        static constexpr ImageBlock Blocks[] = {StateImageControlBox, StateImageBatteryBox,
                                                StateImageFieldBox1, StateImageFieldBox2};
        const ImageBlock b = Blocks[code - CmdControlBoxState];
        const DeviceReport block = StateAnswer(code);
        std::copy_n(block.begin(), b.Length, image.begin() + static_cast<long>(b.Offset));
    }
    return image;
}

std::array<uint8_t, SettingsImageSize> KorvanSimulator::SettingsImageLocked() const {
    std::array<uint8_t, SettingsImageSize> image{};
    for (const ModuleBlock& mb : SettingsImageBlocks) {
        if (!Fitted(mb.Module)) continue;
        const Buffer64& block = mb.Module == SimModule::ControlBox       ? controlBlock_
                                : mb.Module == SimModule::ChargeProfiles ? profilesBlock_
                                : mb.Module == SimModule::BatteryBox     ? batteryBlock_
                                : mb.Module == SimModule::FieldBox1      ? fieldBlock_[0]
                                                                         : fieldBlock_[1];
        std::copy_n(block.begin(), mb.InImage.Length,
                    image.begin() + static_cast<long>(mb.InImage.Offset));
    }
    return image;
}

std::array<uint8_t, StateImageSize> KorvanSimulator::StateImage() {
    Lock lock(mutex_);
    AdvanceLocked();
    return StateImageLocked();
}

std::array<uint8_t, SettingsImageSize> KorvanSimulator::SettingsImage() {
    Lock lock(mutex_);
    return SettingsImageLocked();
}

Buffer64 KorvanSimulator::StoredBlock(SimModule module) {
    Lock lock(mutex_);
    switch (module) {
        case SimModule::ControlBox:
            return controlBlock_;
        case SimModule::ChargeProfiles:
            return profilesBlock_;
        case SimModule::BatteryBox:
            return batteryBlock_;
        case SimModule::FieldBox1:
            return fieldBlock_[0];
        case SimModule::FieldBox2:
            return fieldBlock_[1];
    }
    return Buffer64{};
}

SimSettings KorvanSimulator::Settings() {
    Lock lock(mutex_);
    return settings_;
}

SimStates KorvanSimulator::States() {
    Lock lock(mutex_);
    AdvanceLocked();
    return live_.States(settings_);
}

std::vector<SimReceived> KorvanSimulator::Received() {
    Lock lock(mutex_);
    return {received_.begin(), received_.end()};
}

std::vector<uint8_t> KorvanSimulator::ReceivedUsbCodes() {
    Lock lock(mutex_);
    std::vector<uint8_t> codes;
    for (const SimReceived& r : received_) {
        if (r.Channel == SimChannel::Usb) codes.push_back(r.Code());
    }
    return codes;
}

std::vector<SimItemWrite> KorvanSimulator::ItemWrites() {
    Lock lock(mutex_);
    return {itemWrites_.begin(), itemWrites_.end()};
}

void KorvanSimulator::ClearRecord() {
    Lock lock(mutex_);
    received_.clear();
    itemWrites_.clear();
}

SimConfig KorvanSimulator::Config() {
    Lock lock(mutex_);
    return config_;
}

void KorvanSimulator::SetConfig(const SimConfig& config) {
    Lock lock(mutex_);
    AdvanceLocked();
    config_ = config;
}

void KorvanSimulator::SetEngineRunning(int engine, bool running) {
    Lock lock(mutex_);
    AdvanceLocked();
    if (config_.AutoCycle) {
        config_.AutoCycle = false;
        for (int i = 0; i < 2; ++i) config_.EngineRunning[i] = live_.Running(i);
    }
    config_.EngineRunning[engine == 0 ? 0 : 1] = running;
}

void KorvanSimulator::SetSoc(double soc) {
    Lock lock(mutex_);
    AdvanceLocked();
    live_.SetSoc(soc);
}

uint8_t KorvanSimulator::FrsValue() {
    Lock lock(mutex_);
    return live_.Frs();
}

uint8_t KorvanSimulator::ChargingStage() {
    Lock lock(mutex_);
    AdvanceLocked();
    return live_.Stage();
}

double KorvanSimulator::Soc() {
    Lock lock(mutex_);
    AdvanceLocked();
    return live_.Soc();
}

}  // namespace korvan

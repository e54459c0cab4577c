// Codes, frames and request sequences: everything of the exchange protocol that
// does not need the module encoders.
#include <algorithm>
#include <cstring>

#include "link/protocol.h"

namespace korvan {

namespace {

struct CommandNameRow {
    uint8_t Code;
    const char* Name;
};

constexpr CommandNameRow CommandNames[] = {
    {CmdControlBoxState, "CmdControlBoxState"},
    {CmdBatteryBoxState, "CmdBatteryBoxState"},
    {CmdFieldBox1State, "CmdFieldBox1State"},
    {CmdFieldBox2State, "CmdFieldBox2State"},
    {CmdControlBoxSettings, "CmdControlBoxSettings"},
    {CmdBatteryBoxSettings, "CmdBatteryBoxSettings"},
    {CmdFieldBox1Settings, "CmdFieldBox1Settings"},
    {CmdFieldBox2Settings, "CmdFieldBox2Settings"},
    {CmdChargeProfiles, "CmdChargeProfiles"},
    {CmdWriteControlBoxSettings, "CmdWriteControlBoxSettings"},
    {CmdWriteChargeProfiles, "CmdWriteChargeProfiles"},
    {CmdWriteBatteryBoxItem, "CmdWriteBatteryBoxItem"},
    {CmdWriteFieldBox1Item, "CmdWriteFieldBox1Item"},
    {CmdWriteFieldBox2Item, "CmdWriteFieldBox2Item"},
    {CmdResetControlBoxDefaults, "CmdResetControlBoxDefaults"},
    {CmdResetBluetoothRadio, "CmdResetBluetoothRadio"},
    {CmdCanFrames, "CmdCanFrames"},
};

UsbRequest CodeOnly(uint8_t code, std::chrono::milliseconds pause) {
    UsbRequest r;
    r.Report[0] = code;
    r.PauseAfter = pause;
    r.Length = 1;
    return r;
}

}  // namespace

const char* CommandName(uint8_t code) {
    for (const CommandNameRow& row : CommandNames) {
        if (row.Code == code) return row.Name;
    }
    return "";
}

uint8_t FrsFlag(bool plusPending, bool minusPending) {
    if (minusPending) return FrsMinusFlag;
    if (plusPending) return FrsPlusFlag;
    return 0;
}

std::array<uint8_t, 4> BtRequestFrame(uint8_t kind, uint8_t frsFlag) {
    const uint8_t flag = kind == BtStateRequest ? frsFlag : 0;
    return {kind, flag, 0, kind};
}

void CopyImageBlock(const uint8_t* image, ImageBlock block, Buffer64& decodeBuffer) {
    decodeBuffer.fill(0);
    std::memcpy(decodeBuffer.data(), image + block.Offset, block.Length);
}

void ReverseReceived(const uint8_t* received, size_t n, uint8_t* answer) {
    std::reverse_copy(received, received + n, answer);
}

DeviceReport StateRequest(uint8_t code, uint8_t frsFlag) {
    DeviceReport r{};
    r[0] = code;
    if (code == CmdControlBoxState) r[1] = frsFlag;
    return r;
}

const std::vector<uint8_t>& StatePollCodes() {
    static const std::vector<uint8_t> codes{CmdControlBoxState, CmdBatteryBoxState,
                                            CmdFieldBox1State, CmdFieldBox2State};
    return codes;
}

ModuleId StateModule(uint8_t code) {
    switch (code) {
        case CmdBatteryBoxState:
            return ModuleId::BatteryBox;
        case CmdFieldBox1State:
            return ModuleId::FieldBox1;
        case CmdFieldBox2State:
            return ModuleId::FieldBox2;
        default:
            return ModuleId::ControlBox;
    }
}

ModuleId WriteRequestModule(uint8_t code) {
    switch (code) {
        case CmdWriteBatteryBoxItem:
            return ModuleId::BatteryBox;
        case CmdWriteFieldBox1Item:
            return ModuleId::FieldBox1;
        case CmdWriteFieldBox2Item:
            return ModuleId::FieldBox2;
        default:
            return ModuleId::ControlBox;
    }
}

void ApplyUsbRequest(const UsbRequest& request, DeviceReport& output) {
    const size_t n = std::min(request.Length, output.size());
    std::copy_n(request.Report.begin(), n, output.begin());
}

void PutItemWrite(uint8_t code, ItemPair pair, DeviceReport& output) {
    output[0] = code;
    output[1] = pair.Item;
    output[2] = pair.Value;
}

const std::vector<uint8_t>& ReadAllSettingsCodes() {
    static const std::vector<uint8_t> codes{CmdControlBoxSettings, CmdChargeProfiles,
                                            CmdBatteryBoxSettings, CmdFieldBox1Settings,
                                            CmdFieldBox2Settings};
    return codes;
}

const std::vector<uint8_t>& ControlBoxReadBackCodes() {
    static const std::vector<uint8_t> codes{CmdControlBoxSettings, CmdChargeProfiles};
    return codes;
}

UsbRequest ResetControlBoxDefaultsRequest() {
    return CodeOnly(CmdResetControlBoxDefaults, ResetPause);
}

UsbRequest ResetBluetoothRadioRequest() {
    return CodeOnly(CmdResetBluetoothRadio, std::chrono::milliseconds{0});
}

std::vector<BtStep> BtReadAllSettingsSteps() {
    const std::chrono::milliseconds second{1000};
    return {
        {BtRequestFrame(BtSettingsRequest, 0), second, false},
        {BtRequestFrame(BtSettingsRequest, 0), second, false},
        {BtRequestFrame(BtStateRequest, 0), second, true},
    };
}

}  // namespace korvan

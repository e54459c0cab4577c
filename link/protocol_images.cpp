// The parts of the exchange protocol that run the module encoders and decoders:
// images, block writes with their item reports, and the decoding of USB answers.
#include <algorithm>
#include <cstring>

#include "link/protocol.h"

namespace korvan {

namespace {

// Copies `length` bytes of the encode buffer into the image at `block`.
void PutBlock(const Buffer64& encoded, ImageBlock block, uint8_t* image) {
    std::memcpy(image + block.Offset, encoded.data(), block.Length);
}

// A block write (codes 16, 17): the encoded block with its marker replaced by the code.
UsbRequest BlockWrite(uint8_t code, const Buffer64& encoded) {
    UsbRequest r;
    std::copy(encoded.begin(), encoded.end(), r.Report.begin());
    r.Report[0] = code;
    r.PauseAfter = BlockWritePause;
    r.Length = r.Report.size();
    return r;
}

// Item writes carry bytes 0-2; bytes 3-63 are those left by the request before.
void AppendItemWrites(uint8_t code, const ItemPairs& pairs, std::vector<UsbRequest>& out) {
    for (const ItemPair& pair : pairs) {
        UsbRequest r;
        if (!out.empty()) r.Report = out.back().Report;
        PutItemWrite(code, pair, r.Report);
        r.PauseAfter = ItemWritePause;
        r.Length = 3;
        out.push_back(r);
    }
}

}  // namespace

std::array<uint8_t, StateImageSize> BuildStateImage(SystemData& data) {
    std::array<uint8_t, StateImageSize> image{};
    EncodeControlBoxState(data.ControlState, data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, StateImageControlBox, image.data());
    EncodeBatteryBoxState(data.BatteryState, data.BatterySettings, data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, StateImageBatteryBox, image.data());
    EncodeFieldBoxState(data.FieldState[0], data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, StateImageFieldBox1, image.data());
    EncodeFieldBoxState(data.FieldState[1], data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, StateImageFieldBox2, image.data());
    return image;
}

std::array<uint8_t, SettingsImageSize> BuildSettingsImage(SystemData& data) {
    std::array<uint8_t, SettingsImageSize> image{};
    EncodeControlBoxSettings(data.ControlSettings, data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, SettingsImageControlBox, image.data());
    EncodeChargeProfiles(data.ControlSettings, data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, SettingsImageChargeProfiles, image.data());
    EncodeBatteryBoxSettings(data.BatterySettings, data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, SettingsImageBatteryBox, image.data());
    EncodeFieldBoxSettings(data.FieldSettings[0], data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, SettingsImageFieldBox1, image.data());
    EncodeFieldBoxSettings(data.FieldSettings[1], data.EncodeBuffer);
    PutBlock(data.EncodeBuffer, SettingsImageFieldBox2, image.data());
    return image;
}

void DecodeStateImage(const uint8_t* image, SystemData& data) {
    CopyImageBlock(image, StateImageControlBox, data.DecodeBuffer);
    DecodeControlBoxState(data.DecodeBuffer, data.ControlState);
    CopyImageBlock(image, StateImageBatteryBox, data.DecodeBuffer);
    DecodeBatteryBoxState(data.DecodeBuffer, data.BatterySettings, data.BatteryState);
    CopyImageBlock(image, StateImageFieldBox1, data.DecodeBuffer);
    DecodeFieldBoxState(data.DecodeBuffer, data.FieldState[0]);
    CopyImageBlock(image, StateImageFieldBox2, data.DecodeBuffer);
    DecodeFieldBoxState(data.DecodeBuffer, data.FieldState[1]);
}

void DecodeSettingsImage(const uint8_t* image, SystemData& data) {
    CopyImageBlock(image, SettingsImageControlBox, data.DecodeBuffer);
    DecodeControlBoxSettings(data.DecodeBuffer, data.ControlSettings);
    CopyImageBlock(image, SettingsImageChargeProfiles, data.DecodeBuffer);
    DecodeChargeProfiles(data.DecodeBuffer, data.ControlSettings);
    CopyImageBlock(image, SettingsImageBatteryBox, data.DecodeBuffer);
    DecodeBatteryBoxSettings(data.DecodeBuffer, data.BatterySettings);
    CopyImageBlock(image, SettingsImageFieldBox1, data.DecodeBuffer);
    DecodeFieldBoxSettings(data.DecodeBuffer, data.FieldSettings[0]);
    CopyImageBlock(image, SettingsImageFieldBox2, data.DecodeBuffer);
    DecodeFieldBoxSettings(data.DecodeBuffer, data.FieldSettings[1]);
}

std::vector<UsbRequest> WriteControlBoxRequests(SystemData& data) {
    std::vector<UsbRequest> out;
    EncodeControlBoxSettings(data.ControlSettings, data.EncodeBuffer);
    out.push_back(BlockWrite(CmdWriteControlBoxSettings, data.EncodeBuffer));
    EncodeChargeProfiles(data.ControlSettings, data.EncodeBuffer);
    out.push_back(BlockWrite(CmdWriteChargeProfiles, data.EncodeBuffer));
    return out;
}

std::vector<UsbRequest> WriteAllSettingsRequests(SystemData& data) {
    std::vector<UsbRequest> out = WriteControlBoxRequests(data);
    AppendItemWrites(CmdWriteBatteryBoxItem,
                     EncodeBatteryBoxSettings(data.BatterySettings, data.EncodeBuffer), out);
    AppendItemWrites(CmdWriteFieldBox1Item,
                     EncodeFieldBoxSettings(data.FieldSettings[0], data.EncodeBuffer), out);
    AppendItemWrites(CmdWriteFieldBox2Item,
                     EncodeFieldBoxSettings(data.FieldSettings[1], data.EncodeBuffer), out);
    return out;
}

void DecodeSettingsAnswer(uint8_t code, const DeviceReport& answer, SystemData& data) {
    std::copy(answer.begin(), answer.end(), data.DecodeBuffer.begin());
    switch (code) {
        case CmdControlBoxSettings:
            DecodeControlBoxSettings(data.DecodeBuffer, data.ControlSettings);
            break;
        case CmdChargeProfiles:
            DecodeChargeProfiles(data.DecodeBuffer, data.ControlSettings);
            break;
        case CmdBatteryBoxSettings:
            DecodeBatteryBoxSettings(data.DecodeBuffer, data.BatterySettings);
            break;
        case CmdFieldBox1Settings:
            DecodeFieldBoxSettings(data.DecodeBuffer, data.FieldSettings[0]);
            break;
        case CmdFieldBox2Settings:
            DecodeFieldBoxSettings(data.DecodeBuffer, data.FieldSettings[1]);
            break;
        default:
            break;
    }
}

void DecodeStateAnswer(uint8_t code, const DeviceReport& answer, SystemData& data) {
    std::copy(answer.begin(), answer.end(), data.DecodeBuffer.begin());
    switch (code) {
        case CmdControlBoxState:
            DecodeControlBoxState(data.DecodeBuffer, data.ControlState);
            break;
        case CmdBatteryBoxState:
            DecodeBatteryBoxState(data.DecodeBuffer, data.BatterySettings, data.BatteryState);
            break;
        case CmdFieldBox1State:
            DecodeFieldBoxState(data.DecodeBuffer, data.FieldState[0]);
            break;
        case CmdFieldBox2State:
            DecodeFieldBoxState(data.DecodeBuffer, data.FieldState[1]);
            break;
        default:
            break;
    }
}

}  // namespace korvan

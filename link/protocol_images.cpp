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

// The blocks of the two images and the request codes whose answers they are.
struct ImagePart {
    uint8_t Code;
    ImageBlock Block;
};
constexpr ImagePart StateImageParts[] = {
    {CmdControlBoxState, StateImageControlBox},
    {CmdBatteryBoxState, StateImageBatteryBox},
    {CmdFieldBox1State, StateImageFieldBox1},
    {CmdFieldBox2State, StateImageFieldBox2},
};
constexpr ImagePart SettingsImageParts[] = {
    {CmdControlBoxSettings, SettingsImageControlBox},
    {CmdChargeProfiles, SettingsImageChargeProfiles},
    {CmdBatteryBoxSettings, SettingsImageBatteryBox},
    {CmdFieldBox1Settings, SettingsImageFieldBox1},
    {CmdFieldBox2Settings, SettingsImageFieldBox2},
};

// The marker of a block, the offset of its closing marker (0: none) and the
// module's bit in `ConnectedModules` (0: the control box, always there).
struct BlockMarkers {
    uint8_t Marker;
    size_t Closing;
    uint16_t Module = 0;
};
BlockMarkers MarkersOf(uint8_t code) {
    switch (code) {
        case CmdControlBoxState:
            return {StateMarker, StateImageControlBox.Length - 1};
        case CmdBatteryBoxState:
            return {StateMarker, StateImageBatteryBox.Length - 1, BatteryBoxConnected};
        case CmdFieldBox1State:
            return {StateMarker, StateImageFieldBox1.Length - 1, FieldBox1Connected};
        case CmdFieldBox2State:
            return {StateMarker, StateImageFieldBox2.Length - 1, FieldBox2Connected};
        case CmdControlBoxSettings:
            return {SettingsMarker, SettingsImageControlBox.Length - 1};
        case CmdChargeProfiles:  // the marker, 48 bytes of targets, the marker
            return {SettingsMarker, 49};
        case CmdBatteryBoxSettings:  // ends without a marker
            return {SettingsMarker, 0, BatteryBoxConnected};
        case CmdFieldBox1Settings:  // byte 17 is 0xFF, byte 18 the marker
            return {SettingsMarker, 18, FieldBox1Connected};
        case CmdFieldBox2Settings:
            return {SettingsMarker, 18, FieldBox2Connected};
        default:
            return {SettingsMarker, 0};
    }
}

// Decodes the block in the decode buffer as the answer to `code` (1-9).
void DecodeBlock(uint8_t code, SystemData& data) {
    switch (code) {
        case CmdControlBoxState:
            DecodeControlBoxState(data.DecodeBuffer, data.ControlState);
            break;
        case CmdBatteryBoxState:
            DecodeBatteryBoxState(data.DecodeBuffer, data.BatterySettings, data.BatteryState);
            break;
        case CmdFieldBox1State:
        case CmdFieldBox2State:
            DecodeFieldBoxState(data.DecodeBuffer, data.FieldState[code - CmdFieldBox1State]);
            break;
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
        case CmdFieldBox2Settings:
            DecodeFieldBoxSettings(data.DecodeBuffer,
                                   data.FieldSettings[code - CmdFieldBox1Settings]);
            break;
        default:
            break;
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
    DecodeBlock(code, data);
}

void DecodeStateAnswer(uint8_t code, const DeviceReport& answer, SystemData& data) {
    std::copy(answer.begin(), answer.end(), data.DecodeBuffer.begin());
    DecodeBlock(code, data);
}

void DecodeStateImage(const uint8_t* image, SystemData& data) {
    for (const ImagePart& part : StateImageParts) {
        CopyImageBlock(image, part.Block, data.DecodeBuffer);
        DecodeBlock(part.Code, data);
    }
}

void DecodeSettingsImage(const uint8_t* image, SystemData& data) {
    for (const ImagePart& part : SettingsImageParts) {
        CopyImageBlock(image, part.Block, data.DecodeBuffer);
        DecodeBlock(part.Code, data);
    }
}

bool AnswerBlockGood(uint8_t code, const uint8_t* block, uint16_t connected) {
    const BlockMarkers markers = MarkersOf(code);
    if (markers.Module != 0 && (connected & markers.Module) == 0) return true;
    return block[0] == markers.Marker &&
           (markers.Closing == 0 || block[markers.Closing] == markers.Marker);
}

namespace {

template <size_t N>
bool ImageGood(const ImagePart (&parts)[N], const uint8_t* image, uint16_t connected) {
    return std::all_of(std::begin(parts), std::end(parts), [&](const ImagePart& part) {
        return AnswerBlockGood(part.Code, image + part.Block.Offset, connected);
    });
}

}  // namespace

bool StateImageGood(const uint8_t* image) {
    if (!AnswerBlockGood(CmdControlBoxState, image, 0)) return false;
    Buffer64 block{};
    CopyImageBlock(image, StateImageControlBox, block);
    ControlBoxState control;
    DecodeControlBoxState(block, control);
    return ImageGood(StateImageParts, image, control.ConnectedModules);
}

bool SettingsImageGood(const uint8_t* image, uint16_t connected) {
    return ImageGood(SettingsImageParts, image, connected);
}

}  // namespace korvan

// What travels between the tool and the remote system: command codes, the
// 64-byte DeviceReport, the Bluetooth request frame and the two images.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/modules.h"
#include "model/system_data.h"

namespace korvan {

enum Command : uint8_t {
    CmdControlBoxState = 1,
    CmdBatteryBoxState = 2,
    CmdFieldBox1State = 3,
    CmdFieldBox2State = 4,
    CmdControlBoxSettings = 5,
    CmdBatteryBoxSettings = 6,
    CmdFieldBox1Settings = 7,
    CmdFieldBox2Settings = 8,
    CmdChargeProfiles = 9,
    CmdWriteControlBoxSettings = 16,
    CmdWriteChargeProfiles = 17,
    CmdWriteBatteryBoxItem = 18,
    CmdWriteFieldBox1Item = 19,
    CmdWriteFieldBox2Item = 20,
    CmdResetControlBoxDefaults = 21,
    CmdResetBluetoothRadio = 22,
    CmdCanFrames = 23,
};
const char* CommandName(uint8_t code);  // "CmdControlBoxState", ... ; "" for unknown codes

constexpr uint8_t FrsPlusFlag = 0x20;
constexpr uint8_t FrsMinusFlag = 0x10;
// The flag a state request carries; minus wins when both were pressed.
uint8_t FrsFlag(bool plusPending, bool minusPending);

using DeviceReport = std::array<uint8_t, 64>;
constexpr size_t HidTransferSize = 65;  // report ID 0x00, then the DeviceReport

constexpr uint8_t BtStateRequest = 0xAA;
constexpr uint8_t BtSettingsRequest = 0x55;
std::array<uint8_t, 4> BtRequestFrame(uint8_t kind, uint8_t frsFlag);

// StateImage (144 bytes) and SettingsImage (224 bytes): module blocks end to end.
constexpr size_t StateImageSize = 144;
constexpr size_t SettingsImageSize = 224;
struct ImageBlock {
    size_t Offset;
    size_t Length;
};
constexpr ImageBlock StateImageControlBox{0, 42};
constexpr ImageBlock StateImageBatteryBox{42, 48};
constexpr ImageBlock StateImageFieldBox1{90, 27};
constexpr ImageBlock StateImageFieldBox2{117, 27};
constexpr ImageBlock SettingsImageControlBox{0, 63};
constexpr ImageBlock SettingsImageChargeProfiles{63, 59};
constexpr ImageBlock SettingsImageBatteryBox{122, 48};
constexpr ImageBlock SettingsImageFieldBox1{170, 27};
constexpr ImageBlock SettingsImageFieldBox2{197, 27};

// Copies one block of an image to the start of the decode buffer (rest zeroed).
void CopyImageBlock(const uint8_t* image, ImageBlock block, Buffer64& decodeBuffer);

// Images built from the current records with the encoders, and taken apart into them.
std::array<uint8_t, StateImageSize> BuildStateImage(SystemData& data);
std::array<uint8_t, SettingsImageSize> BuildSettingsImage(SystemData& data);
// Each decodes the five / four blocks in image order; the callers show the tables.
void DecodeStateImage(const uint8_t* image, SystemData& data);
void DecodeSettingsImage(const uint8_t* image, SystemData& data);

// Bluetooth bytes arrive last image byte first: answer byte i = received byte n-1-i.
void ReverseReceived(const uint8_t* received, size_t n, uint8_t* answer);

// The state request of a poll tick (codes 1-4: everything after the FRS byte is 0) and
// the CAN frames request (code 23, all 0).
DeviceReport StateRequest(uint8_t code, uint8_t frsFlag = 0);
// The USB state poll: codes 1, 2, 3, 4; code 23 follows only while the frame monitor watches.
const std::vector<uint8_t>& StatePollCodes();
// The module whose state a request of codes 1-4 asks for.
ModuleId StateModule(uint8_t code);

// One USB request of a fixed sequence and the pause after it. Only the first `Length`
// bytes of `Report` carry meaning; the rest are what the request before it left in the
// shell's output report (the remote system ignores them), so a sequence can be sent
// either by copying whole reports or with ApplyUsbRequest over the reused output report.
struct UsbRequest {
    DeviceReport Report{};
    std::chrono::milliseconds PauseAfter{0};
    size_t Length = 64;
};
// Puts the meaningful bytes of `request` into the reused output report.
void ApplyUsbRequest(const UsbRequest& request, DeviceReport& output);
// An item write (codes 18-20): bytes 0-2 only.
void PutItemWrite(uint8_t code, ItemPair pair, DeviceReport& output);
constexpr std::chrono::milliseconds BlockWritePause{1000};
constexpr std::chrono::milliseconds ItemWritePause{200};
constexpr std::chrono::milliseconds ResetPause{1000};
// The remote system's Bluetooth module is unavailable this long after code 22.
constexpr std::chrono::milliseconds BluetoothResetDuration{10000};
// Write of all settings: code 16, 17, then 47 + 17 + 17 item reports (83 in all).
std::vector<UsbRequest> WriteAllSettingsRequests(SystemData& data);
// The module a write request (codes 16-20) goes to.
ModuleId WriteRequestModule(uint8_t code);
// Write of the control box settings only: codes 16 and 17 with their 1 s pauses.
std::vector<UsbRequest> WriteControlBoxRequests(SystemData& data);
// Read of all settings: codes 5, 9, 6, 7, 8 in this order.
const std::vector<uint8_t>& ReadAllSettingsCodes();
// What is read back after a control box write or a reset to defaults: codes 5 and 9.
const std::vector<uint8_t>& ControlBoxReadBackCodes();
// Reset to defaults: code 21 and its 1 s pause (then the read-back codes).
UsbRequest ResetControlBoxDefaultsRequest();
// Reset of the remote system's Bluetooth radio: code 22.
UsbRequest ResetBluetoothRadioRequest();

// One step of a Bluetooth sequence: the frame to send and the pause after it. The
// bytes the step's exchange takes answer the step before it; `TakesSettingsImage`
// marks the step whose taken bytes are the SettingsImage (when at least 224 arrived).
struct BtStep {
    std::array<uint8_t, 4> Frame{};
    std::chrono::milliseconds PauseAfter{0};
    bool TakesSettingsImage = false;
};
// Read of all settings over Bluetooth: settings request, settings request, state request,
// 1 s after each; each step runs only if the exchange before it succeeded. The state
// request carries no FRS flag: pending presses stay for the next poll.
std::vector<BtStep> BtReadAllSettingsSteps();
// Decodes the answer to a settings request (codes 5-9) into its record.
void DecodeSettingsAnswer(uint8_t code, const DeviceReport& answer, SystemData& data);
// Decodes the answer to a state request (codes 1-4) into its record.
void DecodeStateAnswer(uint8_t code, const DeviceReport& answer, SystemData& data);

// An answer is believed only when its markers check out: a state block has
// StateMarker as its first and last byte; a settings block has SettingsMarker as its
// first byte and as its closing byte where the module's layout has one (the control
// box, the charge profiles, the field boxes; not the battery box). Anything else is a
// failed exchange and is never decoded. A module that the control box reports as not
// connected answers with nothing in particular: its blocks are not checked (the views
// do not show them). `connected` is the control box's `ConnectedModules`.
bool AnswerBlockGood(uint8_t code, const uint8_t* block, uint16_t connected);  // codes 1-9
// Every block of a StateImage, the connected modules as its control box block says.
bool StateImageGood(const uint8_t* image);
bool SettingsImageGood(const uint8_t* image, uint16_t connected);
// The images a tool builds carry every block with its markers.
inline constexpr uint16_t AllModulesConnected = 0xFFFF;
inline constexpr const char* BadAnswerText = "Bad answer from KORVAN KX4";

}  // namespace korvan

// The polling cycle: the USB tick (four state requests, then the CAN frames while
// the frame monitor watches) and the Bluetooth tick (one StateImage a second).
#include <QAction>
#include <QTabWidget>

#include "app/main_window.h"
#include "app/module_tables.h"
#include "display/can_monitor.h"
#include "display/outline_view.h"
#include "model/data_log.h"

namespace korvan {

namespace {

// Where each module's state sits in the StateImage, and how it is decoded and shown.
struct StateImagePart {
    ImageBlock Block;
    uint8_t Code;  // the USB request of the same block
};

constexpr StateImagePart StateImageParts[] = {
    {StateImageControlBox, CmdControlBoxState},
    {StateImageBatteryBox, CmdBatteryBoxState},
    {StateImageFieldBox1, CmdFieldBox1State},
    {StateImageFieldBox2, CmdFieldBox2State},
};

}  // namespace

void TMainFormKX4::USBTimerTimer() {
    if (!ConnectionUSB->isChecked()) return;
    usb_.Output = StateRequest(CmdControlBoxState, 0);
    if (FrsPlusPending) {
        usb_.Output[1] = FrsPlusFlag;
        FrsPlusPending = false;
    }
    if (FrsMinusPending) {
        usb_.Output[1] = FrsMinusFlag;
        FrsMinusPending = false;
    }
    if (!usb_.UsbExchange()) {
        UsbLinkLost();
    } else {
        UsbStateStep(CmdControlBoxState);
        const bool complete = UsbStateStep(CmdBatteryBoxState) && UsbStateStep(CmdFieldBox1State) &&
                              UsbStateStep(CmdFieldBox2State);
        if (complete) {
            AppendLogIfEnabled();
            const bool nmea = (data_.ControlState.ConnectedModules & Nmea2000Connected) != 0;
            const int canPage = PageControl->indexOf(CanTabSheet);
            if (PageControl->isTabVisible(canPage) != nmea)
                PageControl->setTabVisible(canPage, nmea);
            PollCanFrames();
        }
        SetLinkCaption("USB");
    }
    SetStatusText(usb_.UsbStatusText);
    RefreshOutline();
}

// Requests one module state (the control box's request is already answered),
// decodes and shows it; false when the exchange failed.
bool TMainFormKX4::UsbStateStep(uint8_t code) {
    if (code != CmdControlBoxState) {
        usb_.Output = StateRequest(code, 0);
        if (!usb_.UsbExchange()) return false;
    }
    data_.DecodeBuffer = usb_.Input;
    DecodeAndShowState(code);
    return true;
}

// The state block in the decode buffer, of the module that `code` requests.
void TMainFormKX4::DecodeAndShowState(uint8_t code) {
    switch (code) {
        case CmdControlBoxState:
            DecodeControlBoxState(data_.DecodeBuffer, data_.ControlState);
            ShowControlBoxState();
            break;
        case CmdBatteryBoxState:
            DecodeBatteryBoxState(data_.DecodeBuffer, data_.BatterySettings, data_.BatteryState);
            ShowBatteryBoxState();
            UpdateBatterySettingsScale();
            break;
        case CmdFieldBox1State:
        case CmdFieldBox2State: {
            const int box = code == CmdFieldBox1State ? 0 : 1;
            DecodeFieldBoxState(data_.DecodeBuffer, data_.FieldState[box]);
            ShowFieldBoxState(box);
            break;
        }
        default:
            break;
    }
}

// The first exchange of a tick failed: no system, no values. The settings tables
// lose their contents too, so the settings count as not loaded any more: a write
// must not send the empty tables' row defaults into the system.
void TMainFormKX4::UsbLinkLost() {
    setWindowTitle(ApplicationTitle);
    data_.ZeroStates();
    ResetAllTables();
    if (SettingsLoaded) settingsTablesLost_ = true;
    SettingsLoaded = false;
}

void TMainFormKX4::PollCanFrames() {
    const int canPage = PageControl->indexOf(CanTabSheet);
    if (PageControl->currentIndex() != canPage || !PageControl->isTabVisible(canPage) ||
        Can->Paused())
        return;
    usb_.Output = StateRequest(CmdCanFrames, 0);
    if (usb_.UsbExchange()) Can->AddFrameRecords(usb_.Input.data());
}

void TMainFormKX4::SetLinkCaption(const char* link) {
    QString caption =
        ApplicationTitle + QStringLiteral(" - %1 connection").arg(QLatin1String(link));
    if (ShareDataWithSupport->isChecked())
        caption += QStringLiteral(", sharing data with remote support");
    if (windowTitle() != caption) setWindowTitle(caption);
}

void TMainFormKX4::BTTimerTimer() {
    if (!ConnectionBlueTooth->isChecked()) return;
    const uint8_t frs = FrsFlag(FrsPlusPending, FrsMinusPending);
    FrsPlusPending = false;
    FrsMinusPending = false;
    bt_.SetRequest(BtRequestFrame(BtStateRequest, frs));
    if (bt_.BtExchange()) {
        if (bt_.Exchange.AnswerLength >= static_cast<int32_t>(StateImageSize)) {
            for (const StateImagePart& part : StateImageParts) {
                CopyImageBlock(bt_.Exchange.Answer.data(), part.Block, data_.DecodeBuffer);
                DecodeAndShowState(part.Code);
            }
            AppendLogIfEnabled();
        }
        SetLinkCaption("Bluetooth");
    } else {
        bt_.BtConnect();
        setWindowTitle(ApplicationTitle);
    }
    SetStatusText(bt_.BtStatusText);
    RefreshOutline();
}

// The battery box settings table shows its voltage rows on the 24 V scale of a
// 24 V system. When the system voltage changes while the table shows settings,
// the cells are taken in on the scale they were shown on and shown again on the
// new one, so that a later read-back does not halve or double them by mistake.
void TMainFormKX4::UpdateBatterySettingsScale() {
    if (!batterySettingsShown_) return;
    const bool on24V = data_.BatteryState.SystemVoltage == 24;
    if (on24V == batterySettingsOn24V_) return;
    korvan::ReadBatteryBoxSettingsTable(data_.BatterySettings,
                                        ModuleTableValues(BatteryBoxSettingsStringGrid),
                                        batterySettingsOn24V_ ? 24 : 12, sep_);
    ShowBatteryBoxSettings();
}

}  // namespace korvan

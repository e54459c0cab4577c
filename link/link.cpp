#include "link/link.h"

#include <algorithm>

#include "link/bt_transport.h"
#include "link/sequence.h"
#include "link/usb_transport.h"

namespace korvan {

bool SystemLink::ReadAllSettings(SystemData& data, LinkEvents& events) {
    return !Refusal(LinkOperation::ReadAllSettings) && DoReadAllSettings(data, events);
}

WriteOutcome SystemLink::WriteAllSettings(SystemData& data, LinkEvents& events) {
    if (Refusal(LinkOperation::WriteAllSettings)) return {};
    return DoWriteAllSettings(data, events);
}

WriteOutcome SystemLink::WriteControlBoxSettings(SystemData& data, LinkEvents& events) {
    if (Refusal(LinkOperation::WriteControlBoxSettings)) return {};
    return DoWriteControlBoxSettings(data, events);
}

bool SystemLink::ResetControlBoxDefaults(SystemData& data, LinkEvents& events) {
    return !Refusal(LinkOperation::ResetControlBoxDefaults) &&
           DoResetControlBoxDefaults(data, events);
}

bool SystemLink::ResetBluetoothRadio(LinkEvents& events) {
    return !Refusal(LinkOperation::ResetBluetoothRadio) && DoResetBluetoothRadio(events);
}

bool SystemLink::PollCanFrames(DeviceReport& answer) {
    return !Refusal(LinkOperation::CanFrames) && DoPollCanFrames(answer);
}

std::optional<LinkRefusal> UsbOnlyRefusal(LinkOperation operation) {
    switch (operation) {
        case LinkOperation::WriteAllSettings:
            return LinkRefusal{MessageKind::Warning, UsbOnlyText};
        case LinkOperation::ResetControlBoxDefaults:
        case LinkOperation::ResetBluetoothRadio:
            return LinkRefusal{MessageKind::Error, UsbRequiredText};
        case LinkOperation::WriteControlBoxSettings:
        case LinkOperation::CanFrames:
            return LinkRefusal{};
        case LinkOperation::ReadAllSettings:
            break;
    }
    return std::nullopt;
}

// ---- USB -------------------------------------------------------------------

std::string UsbLink::StatusText() const { return usb_.UsbStatusText; }

PollOutcome UsbLink::PollState(SystemData& data, uint8_t frsFlag, LinkEvents& events) {
    for (uint8_t code : StatePollCodes()) {
        usb_.Output = StateRequest(code, frsFlag);
        if (!usb_.UsbExchange())
            return code == CmdControlBoxState ? PollOutcome::Lost : PollOutcome::Partial;
        // The system answered, but with something else than a state block.
        if (!AnswerBlockGood(code, usb_.Input.data(), data.ControlState.ConnectedModules)) {
            usb_.UsbStatusText = BadAnswerText;
            return code == CmdControlBoxState ? PollOutcome::Failed : PollOutcome::Partial;
        }
        DecodeStateAnswer(code, usb_.Input, data);
        events.StateDecoded(StateModule(code));
    }
    return PollOutcome::Complete;
}

bool UsbLink::DoPollCanFrames(DeviceReport& answer) {
    usb_.Output = StateRequest(CmdCanFrames, 0);
    if (!usb_.UsbExchange()) return false;
    answer = usb_.Input;
    return true;
}

bool UsbLink::Send(const UsbRequest& request, LinkEvents& events) {
    ApplyUsbRequest(request, usb_.Output);
    const bool ok = usb_.UsbExchange();
    events.LinkStatus(usb_.UsbStatusText);
    return ok;
}

// One settings request (codes 5-9): only byte 0 is set, the rest is not used.
bool UsbLink::RequestSettings(uint8_t code, SystemData& data, LinkEvents& events) {
    usb_.Output[0] = code;
    bool ok = usb_.UsbExchange();
    if (ok && !AnswerBlockGood(code, usb_.Input.data(), data.ControlState.ConnectedModules)) {
        usb_.UsbStatusText = BadAnswerText;
        ok = false;
    }
    events.LinkStatus(usb_.UsbStatusText);
    if (ok) DecodeSettingsAnswer(code, usb_.Input, data);
    return ok;
}

// All five blocks or none: the records change only when every one was good.
bool UsbLink::DoReadAllSettings(SystemData& data, LinkEvents& events) {
    SystemData read = data;
    for (uint8_t code : ReadAllSettingsCodes())
        if (!RequestSettings(code, read, events)) return false;
    data = read;
    return true;
}

// The reports of a write in order, each followed by its pause, until one is not
// answered or the user stops the write between two reports.
WriteOutcome UsbLink::SendReports(const std::vector<UsbRequest>& requests, LinkEvents& events,
                                  bool progress) {
    WriteOutcome outcome;
    outcome.Total = requests.size();
    outcome.Complete = requests.empty();
    if (outcome.Complete) return outcome;
    auto moduleAt = [&](size_t i) {
        return WriteRequestModule(requests[std::min(i, requests.size() - 1)].Report[0]);
    };
    if (progress) events.WriteProgress(0, outcome.Total, moduleAt(0));
    outcome.Complete = RunUsbSequence(
        usb_, requests, waiter_, true,
        [&](size_t step) {
            outcome.Sent = step + 1;
            events.LinkStatus(usb_.UsbStatusText);
            if (progress) events.WriteProgress(outcome.Sent, outcome.Total, moduleAt(step));
        },
        [&] { return outcome.Stopped = events.StopRequested(); });
    if (!outcome.Complete && !outcome.Stopped) events.LinkStatus(usb_.UsbStatusText);
    outcome.Module = moduleAt(outcome.Complete ? 0 : outcome.Sent);
    return outcome;
}

WriteOutcome UsbLink::DoWriteAllSettings(SystemData& data, LinkEvents& events) {
    return SendReports(WriteAllSettingsRequests(data), events, true);
}

// Codes 5 and 9 after a write or a reset; true when code 5 answered.
bool UsbLink::ReadBackControlBox(SystemData& data, LinkEvents& events) {
    bool controlBoxRead = false;
    for (uint8_t code : ControlBoxReadBackCodes()) {
        if (!RequestSettings(code, data, events)) break;
        controlBoxRead = controlBoxRead || code == CmdControlBoxSettings;
    }
    return controlBoxRead;
}

WriteOutcome UsbLink::DoWriteControlBoxSettings(SystemData& data, LinkEvents& events) {
    WriteOutcome outcome = SendReports(WriteControlBoxRequests(data), events, false);
    if (!outcome.Complete) return outcome;
    outcome.ReadBack = ReadBackControlBox(data, events);
    return outcome;
}

bool UsbLink::DoResetControlBoxDefaults(SystemData& data, LinkEvents& events) {
    const UsbRequest reset = ResetControlBoxDefaultsRequest();
    if (!Send(reset, events)) return false;
    waiter_.Wait(reset.PauseAfter, true);
    // Both are asked for even when the first does not answer.
    for (uint8_t code : ControlBoxReadBackCodes()) RequestSettings(code, data, events);
    return true;
}

bool UsbLink::DoResetBluetoothRadio(LinkEvents& events) {
    return Send(ResetBluetoothRadioRequest(), events);
}

// ---- Bluetooth ---------------------------------------------------------------

std::string BtLink::StatusText() const { return bt_.BtStatusText; }

std::optional<LinkRefusal> BtLink::Refusal(LinkOperation operation) const {
    return UsbOnlyRefusal(operation);
}

// The answer a tick takes is the StateImage that the request of the tick before
// asked for; the first tick after a connect brings nothing yet.
PollOutcome BtLink::PollState(SystemData& data, uint8_t frsFlag, LinkEvents& events) {
    bt_.SetRequest(BtRequestFrame(BtStateRequest, frsFlag));
    if (!bt_.BtExchange()) {
        bt_.BtConnect();
        return PollOutcome::Failed;
    }
    if (bt_.Exchange.AnswerLength < static_cast<int32_t>(StateImageSize))
        return PollOutcome::Partial;
    if (!StateImageGood(bt_.Exchange.Answer.data())) {
        bt_.BtStatusText = BadAnswerText;
        return PollOutcome::Failed;
    }
    DecodeStateImage(bt_.Exchange.Answer.data(), data);
    for (ModuleId module : AllModules) events.StateDecoded(module);
    return PollOutcome::Complete;
}

// A read that brings no whole, good SettingsImage fails and changes nothing.
bool BtLink::DoReadAllSettings(SystemData& data, LinkEvents& events) {
    const std::vector<BtStep> steps = BtReadAllSettingsSteps();
    bool taken = false;
    const bool read = RunBtSequence(bt_, steps, waiter_, false, [&](size_t step) {
        if (steps[step].TakesSettingsImage) taken = TakeSettingsImage(data);
        events.LinkStatus(bt_.BtStatusText);
    });
    if (!read) events.LinkStatus(bt_.BtStatusText);
    return read && taken;
}

bool BtLink::TakeSettingsImage(SystemData& data) {
    const int32_t length = bt_.Exchange.AnswerLength;
    if (length < static_cast<int32_t>(SettingsImageSize)) {
        bt_.BtStatusText = std::string(BadAnswerText) + ": " + std::to_string(length) + " of " +
                           std::to_string(SettingsImageSize) + " bytes";
        return false;
    }
    if (!SettingsImageGood(bt_.Exchange.Answer.data(), data.ControlState.ConnectedModules)) {
        bt_.BtStatusText = BadAnswerText;
        return false;
    }
    DecodeSettingsImage(bt_.Exchange.Answer.data(), data);
    return true;
}

}  // namespace korvan

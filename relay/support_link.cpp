#include "relay/support_link.h"

namespace korvan {

std::optional<LinkRefusal> SupportLink::Refusal(LinkOperation operation) const {
    if (operation == LinkOperation::WriteAllSettings) return std::nullopt;
    return UsbOnlyRefusal(operation);
}

PollOutcome SupportLink::PollState(SystemData& data, uint8_t, LinkEvents& events) {
    const PollOutcome outcome = remote_.SupportPoll(data);
    if (outcome == PollOutcome::Complete)
        for (ModuleId module : AllModules) events.StateDecoded(module);
    return outcome;
}

bool SupportLink::DoReadAllSettings(SystemData& data, LinkEvents&) {
    remote_.RequestSettings(data, waiter_);
    return true;
}

WriteOutcome SupportLink::DoWriteAllSettings(SystemData& data, LinkEvents&) {
    remote_.SendSettings(data, waiter_);
    return {true, 1, 1, ModuleId::ControlBox};
}

}  // namespace korvan

// The support side of remote support as a connection: the relay timer brings the
// customer's state, so no poll timer drives it; the settings travel as one
// SettingsImage through the relay, and everything else needs the customer's USB link.
#pragma once

#include "link/link.h"
#include "relay/remote_support.h"

namespace korvan {

class SupportLink : public SystemLink {
  public:
    SupportLink(RemoteSupport& remote, Waiter& waiter) : remote_(remote), waiter_(waiter) {}

    PollTimer PolledBy() const override { return PollTimer::None; }
    const char* CaptionName() const override { return "remote Internet"; }
    std::string StatusText() const override { return remote_.State.RelayStatusText; }
    std::optional<LinkRefusal> Refusal(LinkOperation operation) const override;
    PollOutcome PollState(SystemData&, uint8_t, LinkEvents&) override {
        return PollOutcome::Failed;
    }

  protected:
    // The customer's answer, when it comes, is shown by the support role itself.
    bool DoReadAllSettings(SystemData&, LinkEvents&) override {
        remote_.RequestSettings(waiter_);
        return true;
    }
    WriteOutcome DoWriteAllSettings(SystemData&, LinkEvents&) override {
        remote_.SendSettings(waiter_);
        return {true, 1, 1, ModuleId::ControlBox};
    }

  private:
    RemoteSupport& remote_;
    Waiter& waiter_;
};

}  // namespace korvan

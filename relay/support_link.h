// The support side of remote support as a connection: each relay tick asks the
// customer's tool for its state and brings the one it sent; the settings travel
// as one SettingsImage through the relay, and everything else needs the
// customer's USB link.
#pragma once

#include "link/link.h"
#include "relay/remote_support.h"

namespace korvan {

class SupportLink : public SystemLink {
  public:
    SupportLink(RemoteSupport& remote, Waiter& waiter) : remote_(remote), waiter_(waiter) {}

    PollTimer PolledBy() const override { return PollTimer::Relay; }
    const char* CaptionName() const override { return "remote Internet"; }
    bool Forwards() const override { return true; }
    std::string StatusText() const override { return remote_.State.RelayStatusText; }
    std::optional<LinkRefusal> Refusal(LinkOperation operation) const override;
    // Complete when the relay delivered a state of the customer's system.
    PollOutcome PollState(SystemData& data, uint8_t frsFlag, LinkEvents& events) override;

  protected:
    // The customer's answer, when it comes, arrives through the support role.
    bool DoReadAllSettings(SystemData& data, LinkEvents& events) override;
    WriteOutcome DoWriteAllSettings(SystemData& data, LinkEvents& events) override;

  private:
    RemoteSupport& remote_;
    Waiter& waiter_;
};

}  // namespace korvan

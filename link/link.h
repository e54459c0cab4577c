// One connection to the system as the timers and the commands see it: USB,
// Bluetooth or the support side of remote support. The connection menu picks one
// link; every poll and command goes through it. Each public operation first asks
// whether this connection can do it and answers with the connection's own refusal
// when it cannot; the connections fill in only the steps they have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/protocol.h"
#include "link/waiter.h"
#include "model/modules.h"
#include "model/system_data.h"

namespace korvan {

enum class MessageKind { Warning, Error, Information };

enum class LinkOperation {
    ReadAllSettings,
    WriteAllSettings,
    WriteControlBoxSettings,
    ResetControlBoxDefaults,
    ResetBluetoothRadio,
    CanFrames,
};

// Why a connection does not do an operation. A refusal without text is silent.
struct LinkRefusal {
    MessageKind Kind = MessageKind::Warning;
    const char* Text = nullptr;
};

inline constexpr const char* UsbOnlyText = "Settings can be refreshed via USB connection only";
inline constexpr const char* UsbRequiredText = "USB connection to KORVAN KX4 is required";

// What a running operation reports to the window.
class LinkEvents {
  public:
    virtual ~LinkEvents() = default;
    // The link's status text after an exchange.
    virtual void LinkStatus(const std::string& text) = 0;
    // A module's state record was decoded afresh.
    virtual void StateDecoded(ModuleId module) = 0;
    // Reports sent of a write so far, and the module the next one belongs to.
    virtual void WriteProgress(size_t sent, size_t total, ModuleId module) = 0;
    // The user asked the running write to stop at the next report boundary.
    virtual bool StopRequested() const { return false; }
};

enum class PollOutcome {
    Lost,      // the system is gone: every value is void
    Failed,    // this tick's exchange failed; the link tries again at the next one
    Partial,   // some module states were decoded, not all four
    Complete,  // all four module states were decoded
};

// The timer that polls a link's state.
enum class PollTimer { Usb, Bluetooth, Relay };

// The timers' periods: a USB poll, a Bluetooth poll, one exchange with the relay.
inline constexpr int UsbPollPeriodMs = 500;
inline constexpr int BtPollPeriodMs = 1000;
inline constexpr int RelayPollPeriodMs = 2000;

struct WriteOutcome {
    bool Complete = false;
    size_t Sent = 0;  // reports that reached the system
    size_t Total = 0;
    ModuleId Module = ModuleId::ControlBox;  // of the first report not sent
    // After a write of the control box settings only: they answered again.
    bool ReadBack = false;
    // Not complete because the user stopped it between two reports.
    bool Stopped = false;
};

class SystemLink {
  public:
    virtual ~SystemLink() = default;

    virtual PollTimer PolledBy() const = 0;
    // The connection's word in the window caption ("USB", "Bluetooth").
    virtual const char* CaptionName() const = 0;
    // The settings are sent to someone who writes them (the customer's tool), not
    // written into the system by this link.
    virtual bool Forwards() const { return false; }
    virtual std::string StatusText() const = 0;
    // Nothing when this connection does the operation.
    virtual std::optional<LinkRefusal> Refusal(LinkOperation operation) const = 0;

    // One poll of every module's state, carrying the FRS flag of the outline's buttons.
    virtual PollOutcome PollState(SystemData& data, uint8_t frsFlag, LinkEvents& events) = 0;

    // The operations below do nothing and return false when Refusal() refuses them.
    bool ReadAllSettings(SystemData& data, LinkEvents& events);
    WriteOutcome WriteAllSettings(SystemData& data, LinkEvents& events);
    // Writes the control box settings and the profiles, then reads both back;
    // ReadBack when the read-back of the control box settings answered.
    WriteOutcome WriteControlBoxSettings(SystemData& data, LinkEvents& events);
    // Resets the control box to its defaults and reads its settings back; false
    // when the reset could not be sent.
    bool ResetControlBoxDefaults(SystemData& data, LinkEvents& events);
    bool ResetBluetoothRadio(LinkEvents& events);
    // Up to two CAN frame records into `answer`.
    bool PollCanFrames(DeviceReport& answer);

  protected:
    virtual bool DoReadAllSettings(SystemData&, LinkEvents&) { return false; }
    virtual WriteOutcome DoWriteAllSettings(SystemData&, LinkEvents&) { return {}; }
    virtual WriteOutcome DoWriteControlBoxSettings(SystemData&, LinkEvents&) { return {}; }
    virtual bool DoResetControlBoxDefaults(SystemData&, LinkEvents&) { return false; }
    virtual bool DoResetBluetoothRadio(LinkEvents&) { return false; }
    virtual bool DoPollCanFrames(DeviceReport&) { return false; }
};

class UsbTransport;
class BtTransport;

// USB: the 500 ms poll and every settings command.
class UsbLink : public SystemLink {
  public:
    UsbLink(UsbTransport& usb, Waiter& waiter) : usb_(usb), waiter_(waiter) {}

    PollTimer PolledBy() const override { return PollTimer::Usb; }
    const char* CaptionName() const override { return "USB"; }
    std::string StatusText() const override;
    std::optional<LinkRefusal> Refusal(LinkOperation) const override { return std::nullopt; }
    PollOutcome PollState(SystemData& data, uint8_t frsFlag, LinkEvents& events) override;

  protected:
    bool DoReadAllSettings(SystemData& data, LinkEvents& events) override;
    WriteOutcome DoWriteAllSettings(SystemData& data, LinkEvents& events) override;
    WriteOutcome DoWriteControlBoxSettings(SystemData& data, LinkEvents& events) override;
    bool DoResetControlBoxDefaults(SystemData& data, LinkEvents& events) override;
    bool DoResetBluetoothRadio(LinkEvents& events) override;
    bool DoPollCanFrames(DeviceReport& answer) override;

  private:
    bool Send(const UsbRequest& request, LinkEvents& events);
    WriteOutcome SendReports(const std::vector<UsbRequest>& requests, LinkEvents& events,
                             bool progress);
    bool RequestSettings(uint8_t code, SystemData& data, LinkEvents& events);
    bool ReadBackControlBox(SystemData& data, LinkEvents& events);

    UsbTransport& usb_;
    Waiter& waiter_;
};

// Bluetooth: the 1 s poll of the StateImage and the read of all settings.
class BtLink : public SystemLink {
  public:
    BtLink(BtTransport& bt, Waiter& waiter) : bt_(bt), waiter_(waiter) {}

    PollTimer PolledBy() const override { return PollTimer::Bluetooth; }
    const char* CaptionName() const override { return "Bluetooth"; }
    std::string StatusText() const override;
    std::optional<LinkRefusal> Refusal(LinkOperation operation) const override;
    PollOutcome PollState(SystemData& data, uint8_t frsFlag, LinkEvents& events) override;

  protected:
    bool DoReadAllSettings(SystemData& data, LinkEvents& events) override;

  private:
    // Decodes the answer just taken when it is a whole, good SettingsImage.
    bool TakeSettingsImage(SystemData& data);

    BtTransport& bt_;
    Waiter& waiter_;
};

// The refusal of an operation only a USB connection does.
std::optional<LinkRefusal> UsbOnlyRefusal(LinkOperation operation);

}  // namespace korvan

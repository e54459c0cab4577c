#include "relay/remote_support.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "link/protocol.h"
#include "model/module_descriptors.h"

namespace korvan {

namespace {

constexpr int StateCount = static_cast<int>(StateImageSize);
constexpr int SettingsCount = static_cast<int>(SettingsImageSize);

template <size_t N>
void PutImage(const std::array<uint8_t, N>& image, std::array<uint8_t, RelayBufferSize>& buffer) {
    std::copy(image.begin(), image.end(), buffer.begin());
}

std::string SettingsCountText(const char* who, int count) {
    return std::string(" ") + who + " sent new settings: received " + std::to_string(count) +
           " bytes (must be " + std::to_string(SettingsImageSize) + " bytes)";
}

// Settings whose blocks do not carry their markers are never taken apart.
std::string BadSettingsText(const char* who) {
    return std::string(" ") + who + " sent settings with bad block markers: nothing was changed";
}

}  // namespace

RemoteSupport::RemoteSupport(RemoteSupportHost& host, RelayTransport& transport)
    : host_(host), transport_(transport) {
    State.SupportDomain = DefaultSupportDomain;
}

bool RemoteSupport::Exchange(const std::string& chatLine) {
    exchanging_ = true;
    bool ok = transport_.RelayExchange(State);
    exchanging_ = false;
    // The request carried this side's line before the answer brought the other's.
    if (!chatLine.empty()) {
        const ChatSide side = State.RelayRole == RoleSupport ? ChatSide::Support : ChatSide::Client;
        host_.ChatLine(side,
                       ok ? chatLine : chatLine + " (not sent: " + State.RelayStatusText + ")");
    }
    if (ok && Received()) NoteArrival();
    const bool chat = ok && State.RelayRole == RoleSupport && Received() && State.InKind == MsgChat;
    NoteExchange(ok, chat ? ChatText(State.ClientBuffer.data(), State.InCount) : std::string());
    return ok;
}

bool RemoteSupport::ExchangeNote(const std::string& line) {
    const uint8_t kind = State.OutKind;
    const int count = State.OutCount;
    const auto bytes = State.ClientBuffer;
    const std::string chat = ChatBytes(line);
    State.RelayRole = RoleClient;
    State.OutKind = MsgChat;
    State.OutCount = static_cast<int>(chat.size());
    std::copy(chat.begin(), chat.end(), State.ClientBuffer.begin());
    const bool ok = Exchange(line);
    State.OutKind = kind;
    State.OutCount = count;
    State.ClientBuffer = bytes;
    return ok;
}

// The other side was seen when its message arrived; on the support side some
// of the customer's chat lines also say how the session stands.
void RemoteSupport::NoteExchange(bool ok, const std::string& chatLine) {
    const bool support = State.RelayRole == RoleSupport;
    status_.Role = support ? SupportRole::Support : SupportRole::Customer;
    status_.Domain = State.SupportDomain;
    status_.Connected = ok;
    status_.Problem = ok ? std::string() : FailureText();
    if (ok && Received()) status_.LastSeen = std::chrono::system_clock::now();
    if (support && ok && Received()) {
        if (State.InKind == MsgState) status_.CustomerStopped = false;
        if (chatLine == SharingStoppedText) status_.CustomerStopped = true;
        const std::string outcome = SettingsOutcomeOf(chatLine);
        if (!outcome.empty()) status_.SettingsOutcome = outcome;
    }
    host_.SessionChanged(status_);
}

void RemoteSupport::EndStatus() {
    if (status_.Role == SupportRole::None) return;
    status_ = SupportSessionStatus{};
    host_.SessionChanged(status_);
}

std::string RemoteSupport::FailureText() const {
    return RelayFailureText(State.RelayStatusText, State.SupportDomain,
                            State.RelayRole == RoleSupport);
}

void RemoteSupport::NoteArrival() {
    const bool customer = State.RelayRole == RoleClient;
    if (customer) {
        settingsUnanswered_ = State.InKind == MsgSettings;
        unacted_ = true;
    }
    if (State.InKind == MsgChat && State.InCount >= 2) {
        const auto& buffer = customer ? State.SupportBuffer : State.ClientBuffer;
        host_.ChatLine(customer ? ChatSide::Support : ChatSide::Client,
                       ChatText(buffer.data(), State.InCount));
    }
}

void RemoteSupport::Tick() {
    if (exchanging_) return;
    if (host_.RemoteViaInternetChecked()) host_.SetShareDataChecked(false);
    host_.SetSendChatEnabled(host_.ShareDataChecked() || host_.RemoteViaInternetChecked());
    if (host_.ShareDataChecked())
        CustomerTick();
    else if (!host_.RemoteViaInternetChecked())
        EndStatus();
}

void RemoteSupport::CustomerTick() {
    State.RelayRole = RoleClient;
    ActOnSupportMessage();
    // The owner's answer goes out after the reply to support's last message was
    // put in place, which it replaces for this one exchange.
    const std::optional<std::string> note = std::exchange(noteDue_, std::nullopt);
    const bool ok = note ? ExchangeNote(*note) : Exchange();
    if (!ok) {
        host_.ShowConnectionError("Internet Connection: " + FailureText());
        host_.SetShareDataChecked(false);
    }
    host_.SetStatusText(ok ? State.RelayStatusText : FailureText());
}

void RemoteSupport::StopSharing() {
    if (exchanging_ || status_.Role != SupportRole::Customer) return;
    ExchangeNote(SharingStoppedText);
    host_.SetStatusText(State.RelayStatusText);
    EndStatus();
}

void RemoteSupport::EndSupportSession() {
    if (exchanging_) return;
    if (host_.RemoteViaInternetChecked()) {
        State.RelayRole = RoleSupport;
        State.OutKind = MsgStop;
        State.SupportBuffer.fill(0);
        Exchange();
        host_.SetStatusText(State.RelayStatusText);
        host_.SelectUsbConnection();
    } else if (host_.ShareDataChecked()) {
        StopSharing();
        host_.SetShareDataChecked(false);
    }
    EndStatus();
}

void RemoteSupport::ActOnSupportMessage() {
    SystemData& data = host_.Data();
    const bool fresh = std::exchange(unacted_, false);
    switch (State.InKind) {
        case MsgRequestState:
            State.OutKind = MsgState;
            State.OutCount = StateCount;
            PutImage(BuildStateImage(data), State.ClientBuffer);
            break;
        case MsgRequestSettings:
            host_.ShowPanelMessage(" Settings requested by SUPPORT");
            host_.ReadAllSettingsFromSystem();
            State.OutKind = MsgSettings;
            State.OutCount = SettingsCount;
            PutImage(BuildSettingsImage(data), State.ClientBuffer);
            break;
        case MsgSettings:
            // Said when the message arrives, not at every tick while it stays the
            // last one received (it would say "received 0 bytes").
            if (fresh) host_.ShowPanelMessage(SettingsCountText("SUPPORT", State.InCount));
            // Once per message: a message that stays the last one received is not
            // asked about, nor written, again.
            if (State.InCount >= SettingsCount && std::exchange(settingsUnanswered_, false)) {
                if (SettingsImageGood(State.SupportBuffer.data(), AllModulesConnected))
                    TakeSupportSettings();
                else
                    host_.ShowPanelMessage(BadSettingsText("SUPPORT"));
            }
            break;
        case MsgChat:
            if (State.InCount >= 2) {
                host_.ShowPanelMessage(" Message from SUPPORT: " +
                                       ChatText(State.SupportBuffer.data(), State.InCount));
            }
            break;
        case MsgStop:
            // Once: sharing switched on again later is not ended by the old stop.
            if (!fresh) break;
            host_.ShowPanelMessage(" SUPPORT ended the session");
            host_.SetShareDataChecked(false);
            break;
        default:
            break;
    }
}

// The read gives the values the owner compares with support's; the question is
// answered later, while sharing goes on.
void RemoteSupport::TakeSupportSettings() {
    pending_.emplace();
    std::copy_n(State.SupportBuffer.begin(), pending_->size(), pending_->begin());
    host_.ReadAllSettingsFromSystem();
    SystemData received = host_.Data();
    DecodeSettingsImage(pending_->data(), received);
    host_.AskSupportSettings(received, CheckedSettings(received));
}

// Support hears of the answer at once, not a tick later: refused, or written
// and how that ended.
void RemoteSupport::AnswerSupportSettings(bool write) {
    if (!pending_) return;
    const std::array<uint8_t, SettingsImageSize> image = *pending_;
    pending_.reset();
    noteDue_ = write ? WriteSupportSettings(image) : std::string(SettingsRefusedText);
    if (host_.ShareDataChecked()) CustomerTick();
}

// What support sent passes this tool's own read-back and checks, as settings
// typed into its tables do, before it is written.
std::string RemoteSupport::WriteSupportSettings(
    const std::array<uint8_t, SettingsImageSize>& image) {
    SystemData& data = host_.Data();
    DecodeSettingsImage(image.data(), data);
    data = CheckedSettings(data);
    const auto written = BuildSettingsImage(data);
    host_.SettingsArrived(data, false);
    const WriteOutcome outcome = host_.WriteAllSettingsToSystem();
    if (!outcome.Complete) return SettingsStoppedText(outcome.Sent, outcome.Total);
    if (!host_.ReadAllSettingsFromSystem()) return SettingsNotReadBackText;
    return BuildSettingsImage(host_.Data()) == written ? SettingsWrittenText : SettingsDifferText;
}

PollOutcome RemoteSupport::SupportPoll(SystemData& data) {
    if (exchanging_) return PollOutcome::Partial;
    host_.CloseLocalLinks();
    State.RelayRole = RoleSupport;
    State.OutKind = MsgRequestState;
    State.SupportBuffer.fill(0);
    const bool ok = Exchange();
    if (!ok) {
        host_.ShowConnectionError("Internet Connection: " + FailureText());
        host_.SelectUsbConnection();
    }
    const bool state = ActOnClientMessage(data, ok && Received());
    host_.SetStatusText(ok ? State.RelayStatusText : FailureText());
    if (!ok) return PollOutcome::Failed;
    return state ? PollOutcome::Complete : PollOutcome::Partial;
}

bool RemoteSupport::ActOnClientMessage(SystemData& data, bool fresh) {
    switch (State.InKind) {
        case MsgState:
            if (State.InCount >= StateCount && StateImageGood(State.ClientBuffer.data())) {
                DecodeStateImage(State.ClientBuffer.data(), data);
                return true;
            }
            break;
        case MsgSettings:
            // Said when the message arrives, not at every tick while it stays the
            // last one received (it would say "received 0 bytes").
            if (!fresh) break;
            host_.ShowPanelMessage(" CLIENT sent settings: received " +
                                   std::to_string(State.InCount) + " bytes (must be " +
                                   std::to_string(SettingsImageSize) + " bytes)");
            if (State.InCount < SettingsCount) break;
            if (!SettingsImageGood(State.ClientBuffer.data(), AllModulesConnected)) {
                host_.ShowPanelMessage(BadSettingsText("CLIENT"));
                break;
            }
            DecodeSettingsImage(State.ClientBuffer.data(), data);
            host_.SettingsArrived(data, true);
            break;
        case MsgChat:
            if (State.InCount >= 2) {
                host_.ShowPanelMessage(" Message from CLIENT: " +
                                       ChatText(State.ClientBuffer.data(), State.InCount));
            }
            break;
        default:
            break;
    }
    return false;
}

void RemoteSupport::RequestSettings(SystemData& data, Waiter& waiter) {
    if (exchanging_) {
        host_.SetStatusText(RelayBusyText);
        return;
    }
    State.RelayRole = RoleSupport;
    State.OutKind = MsgRequestSettings;
    State.SupportBuffer.fill(0);
    waiter.Wait(std::chrono::seconds(1), false);
    const bool received = Exchange() && Received();
    waiter.Wait(std::chrono::seconds(3), false);
    host_.SetStatusText(State.RelayStatusText);
    if (received) ActOnClientMessage(data, true);
}

void RemoteSupport::SendSettings(SystemData& data, Waiter& waiter) {
    if (exchanging_) {
        host_.SetStatusText(RelayBusyText);
        return;
    }
    State.OutKind = MsgSettings;
    State.OutCount = SettingsCount;
    PutImage(BuildSettingsImage(data), State.SupportBuffer);
    waiter.Wait(std::chrono::seconds(1), false);
    status_.SettingsOutcome = "waiting for the customer's answer";
    const bool received = Exchange() && Received();
    waiter.Wait(std::chrono::seconds(1), false);
    host_.SetStatusText(State.RelayStatusText);
    if (received) ActOnClientMessage(host_.Data(), true);
}

void RemoteSupport::SendChat(const std::string& text) {
    if (text.empty()) return;
    const bool share = host_.ShareDataChecked();
    const bool remote = host_.RemoteViaInternetChecked();
    if (!share && !remote) return;
    if (exchanging_) {
        host_.SetStatusText(RelayBusyText);
        return;
    }
    const std::string bytes = ChatBytes(text);
    State.OutKind = MsgChat;
    State.OutCount = static_cast<int>(bytes.size());
    auto& buffer = remote ? State.SupportBuffer : State.ClientBuffer;
    State.RelayRole = remote ? RoleSupport : RoleClient;
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    const std::string line = ChatText(buffer.data(), State.OutCount);
    if (remote) {
        const bool received = Exchange(line) && Received();
        host_.SetStatusText(State.RelayStatusText);
        if (received) ActOnClientMessage(host_.Data(), true);
        return;
    }
    // The customer acts on a message at the tick after it arrived; a chat sent
    // in between must not wipe one it has not acted upon yet.
    const Inbox unacted = SaveInbox();
    if (!(Exchange(line) && Received())) RestoreInbox(unacted);
    host_.SetStatusText(State.RelayStatusText);
}

bool RemoteSupport::Received() const { return State.RelayStatusText != NothingReceivedText; }

RemoteSupport::Inbox RemoteSupport::SaveInbox() const {
    Inbox inbox;
    inbox.Kind = State.InKind;
    inbox.Count = State.InCount;
    inbox.Bytes.assign(State.SupportBuffer.begin(),
                       State.SupportBuffer.begin() +
                           std::clamp(State.InCount, 0, static_cast<int>(RelayBufferSize)));
    return inbox;
}

void RemoteSupport::RestoreInbox(const Inbox& inbox) {
    State.InKind = inbox.Kind;
    State.InCount = inbox.Count;
    State.SupportBuffer.fill(0);
    std::copy(inbox.Bytes.begin(), inbox.Bytes.end(), State.SupportBuffer.begin());
}

}  // namespace korvan

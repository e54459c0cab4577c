// The customer and support roles of remote support, driven by the relay timer.
// The main window is the host; the relay exchange is a seam so that the roles can
// be tested without a server.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/protocol.h"
#include "link/waiter.h"
#include "model/system_data.h"
#include "relay/relay_protocol.h"
#include "relay/support_session.h"

namespace korvan {

class RelayTransport {
  public:
    virtual ~RelayTransport() = default;
    // One GET for the current role; true when the server answered with status 200.
    virtual bool RelayExchange(RelayState& state) = 0;
};

// Who wrote a chat line.
enum class ChatSide { Client, Support };

// What the roles ask of the session that runs them; every call comes on the
// thread that runs the roles.
class RemoteSupportHost {
  public:
    virtual ~RemoteSupportHost() = default;
    // The records the customer side shares and writes.
    virtual SystemData& Data() = 0;
    virtual bool ShareDataChecked() const = 0;
    virtual void SetShareDataChecked(bool checked) = 0;
    virtual bool RemoteViaInternetChecked() const = 0;
    virtual void SelectUsbConnection() = 0;
    virtual void SetSendChatEnabled(bool enabled) = 0;
    virtual void ShowPanelMessage(const std::string& text) = 0;     // the yellow message panel
    virtual void ShowConnectionError(const std::string& text) = 0;  // error box, one OK button
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void CloseLocalLinks() = 0;  // Bluetooth, then USB
    // Customer side: "Read All Settings From System" and "Write All Settings To
    // System" on the local link, from and into Data(), not through any table.
    virtual bool ReadAllSettingsFromSystem() = 0;
    virtual WriteOutcome WriteAllSettingsToSystem() = 0;
    // Settings arrived in `data` (support: the customer's; customer: support's,
    // accepted by the owner): the settings tables show them (battery and field
    // boxes only when flagged in ConnectedModules if onlyConnected).
    virtual void SettingsArrived(const SystemData& data, bool onlyConnected) = 0;
    // Customer side: the owner is to compare the settings `received` from support,
    // and `checked`, what this tool's own read-back and checks make of them and
    // would write, with the system's settings (Data(), as just read) and answer
    // through RemoteSupport::AnswerSupportSettings; the roles go on meanwhile.
    virtual void AskSupportSettings(const SystemData& received, const SystemData& checked) = 0;
    // Every chat line of the run as it is sent or received, in order.
    virtual void ChatLine(ChatSide side, const std::string& text) = 0;
    // The session's state after every exchange and when a side ends.
    virtual void SessionChanged(const SupportSessionStatus& status) = 0;
};

// Status text of an exchange refused because another one is still waiting for
// the relay server (a menu command chosen while a relay tick waits).
constexpr const char* RelayBusyText = "Relay exchange already in progress";

class RemoteSupport {
  public:
    RemoteSupport(RemoteSupportHost& host, RelayTransport& transport);

    RelayState State;

    // The customer side's relay tick (nothing unless sharing). A tick that starts
    // while this object's exchange is outstanding returns at once.
    void Tick();
    // The support side's relay tick: asks for the customer's state and decodes
    // one that arrived into `data` (Complete); Failed when the relay failed, which
    // also falls back to USB.
    PollOutcome SupportPoll(SystemData& data);
    // Support side of "Read All Settings From System" and "Write All Settings To System".
    // A message of the customer that their exchange brings is acted upon at once:
    // the next tick's exchange would replace it before it was shown.
    void RequestSettings(SystemData& data, Waiter& waiter);
    void SendSettings(SystemData& data, Waiter& waiter);
    // The owner's answer to AskSupportSettings: write the settings, or refuse
    // them with a chat line to support at the next tick.
    void AnswerSupportSettings(bool write);
    bool AskingOwner() const { return pending_.has_value(); }
    // One chat line (UTF-8), sent from whichever side is active; at most
    // RelayBufferSize bytes of it travel. On the support side a message its
    // exchange brings is acted upon at once, as above.
    void SendChat(const std::string& text);
    // Customer side, after the owner switched sharing off: one last exchange
    // tells support, as a chat line.
    void StopSharing();
    // Either side ends the session: support posts MsgStop, which ends the
    // customer's sharing, and falls back to USB; the customer stops sharing.
    void EndSupportSession();
    const SupportSessionStatus& Status() const { return status_; }

    bool ExchangeOutstanding() const { return exchanging_; }

  private:
    void CustomerTick();
    void ActOnSupportMessage();
    // True when a state arrived and was decoded into `data`; `fresh`: the
    // message has just arrived (settings and chats are acted upon once).
    bool ActOnClientMessage(SystemData& data, bool fresh);
    // Settings from support: the owner is asked once per message.
    void TakeSupportSettings();
    // Written, read back and compared with what was written: the line for support.
    std::string WriteSupportSettings(const std::array<uint8_t, SettingsImageSize>& image);
    // One exchange; `chatLine` is the chat line it carries, if any, for the host's list.
    bool Exchange(const std::string& chatLine = {});
    // One exchange of the customer side that carries `line` in place of its
    // message, which is sent again from the next exchange on.
    bool ExchangeNote(const std::string& line);
    // The session's state after an exchange; a side that is no longer active ends it.
    void NoteExchange(bool ok, const std::string& chatLine);
    void EndStatus();
    std::string FailureText() const;
    // After a successful exchange: whether it brought a message of a known kind.
    bool Received() const;
    // A message that has just arrived: chats go to the host's list, settings
    // from support wait for the owner's answer.
    void NoteArrival();

    // What the customer side received and has not acted upon yet.
    struct Inbox {
        uint8_t Kind = 0;
        int Count = 0;
        std::vector<uint8_t> Bytes;
    };
    Inbox SaveInbox() const;
    void RestoreInbox(const Inbox& inbox);

    RemoteSupportHost& host_;
    RelayTransport& transport_;
    bool exchanging_ = false;
    // A message from support has arrived and was not acted upon yet.
    bool unacted_ = false;
    // A settings message from support has arrived and the owner was not asked yet.
    bool settingsUnanswered_ = false;
    // The settings image the owner is being asked about.
    std::optional<std::array<uint8_t, SettingsImageSize>> pending_;
    // The owner answered: the next exchange carries this line to support.
    std::optional<std::string> noteDue_;
    SupportSessionStatus status_;
};

}  // namespace korvan

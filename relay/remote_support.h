// The customer and support roles of remote support, driven by the relay timer.
// The main window is the host; the relay exchange is a seam so that the roles can
// be tested without a server.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/waiter.h"
#include "model/system_data.h"
#include "relay/relay_protocol.h"

namespace korvan {

class RelayTransport {
  public:
    virtual ~RelayTransport() = default;
    // One GET for the current role; true when the server answered with status 200.
    virtual bool RelayExchange(RelayState& state) = 0;
};

// Who wrote a chat line.
enum class ChatSide { Client, Support };

// The chat line the customer's tool sends when its owner refuses settings from support.
constexpr const char* SettingsRefusedText = "Settings refused by the customer";

class RemoteSupportHost {
  public:
    virtual ~RemoteSupportHost() = default;
    virtual SystemData& Data() = 0;
    virtual bool ShareDataChecked() const = 0;
    virtual void SetShareDataChecked(bool checked) = 0;
    virtual bool RemoteViaInternetChecked() const = 0;
    virtual void SelectUsbConnection() = 0;
    virtual void SetSendChatEnabled(bool enabled) = 0;
    virtual void ShowPanelMessage(const std::string& text) = 0;     // the yellow message panel
    virtual void ShowConnectionError(const std::string& text) = 0;  // error box, one OK button
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetRemoteCaption() = 0;  // title + " - remote Internet connection"
    virtual void CloseLocalLinks() = 0;   // Bluetooth, then USB
    // The local-link commands of the System menu.
    virtual void ReadAllSettingsFromSystem() = 0;
    virtual void WriteAllSettingsToSystem() = 0;
    // Tables from the records: the four state tables with their status texts;
    // the settings tables (battery and field boxes only when flagged in
    // ConnectedModules if onlyConnected). Showing the settings also sets the
    // profile selector to the record's battery profile, as a read of all settings
    // does: the write that follows settings received from support takes the
    // profile from the selector, and must send the one support chose.
    virtual void ShowStateTables() = 0;
    virtual void ShowSettingsTables(bool onlyConnected) = 0;
    virtual void RefreshOutline() = 0;
    virtual void StatePolled() = 0;  // a complete state arrived: log, history
    // Customer side: shows the owner what the settings `received` from support
    // would change in the system's settings (the records, as just read) and asks
    // whether to write them. True: write.
    virtual bool ConfirmSupportSettings(const SystemData& received) = 0;
    // Every chat line of the run as it is sent or received, in order.
    virtual void ChatLine(ChatSide side, const std::string& text) = 0;
};

// Status text of an exchange refused because another one is still waiting for
// the relay server (a menu command chosen while a relay tick waits).
constexpr const char* RelayBusyText = "Relay exchange already in progress";

class RemoteSupport {
  public:
    RemoteSupport(RemoteSupportHost& host, RelayTransport& transport);

    RelayState State;

    // INETTimerTimer between disabling and enabling the timer. A tick that starts
    // while this object's exchange is outstanding, or while the owner is asked
    // about settings from support, returns at once.
    void Tick();
    // Support side of "Read All Settings From System" and "Write All Settings To System".
    // A message of the customer that their exchange brings is acted upon at once:
    // the next tick's exchange would replace it before it was shown.
    void RequestSettings(Waiter& waiter);
    void SendSettings(Waiter& waiter);
    // One chat line (UTF-8), sent from whichever side is active; at most
    // RelayBufferSize bytes of it travel. On the support side a message its
    // exchange brings is acted upon at once, as above.
    void SendChat(const std::string& text);

    bool ExchangeOutstanding() const { return exchanging_; }

  private:
    // The message the customer side sends until it has something new to say.
    struct Outgoing {
        uint8_t Kind = 0;
        int Count = 0;
        std::array<uint8_t, RelayBufferSize> Bytes{};
    };

    void CustomerTick();
    void SupportTick();
    void ActOnSupportMessage();
    void ActOnClientMessage();
    // Settings from support: the owner is asked once per message; read, show and
    // write on "Write", a chat line to support on "Refuse".
    void TakeSupportSettings();
    void RefuseSupportSettings();
    void ResumeAfterRefusal();
    // One exchange; `chatLine` is the chat line it carries, if any, for the host's list.
    bool Exchange(const std::string& chatLine = {});
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
    bool asking_ = false;
    // A settings message from support has arrived and the owner was not asked yet.
    bool settingsUnanswered_ = false;
    // The customer's message before a refusal, sent again after it.
    std::optional<Outgoing> afterRefusal_;
};

}  // namespace korvan

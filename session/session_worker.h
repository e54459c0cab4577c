// The session's worker: the transports, links and remote-support roles, and the
// records as the system last answered. It lives on the session's worker thread;
// every job and every call below runs there, and what it learns goes back to the
// session as queued calls.
#pragma once

#include <QObject>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "link/bt_transport.h"
#include "link/usb_transport.h"
#include "relay/support_link.h"
#include "session/system_session.h"

namespace korvan {

class SessionWorker : public QObject, public RemoteSupportHost, public LinkEvents {
  public:
    SessionWorker(SystemSession& session, const SessionSeams& seams);
    ~SessionWorker() override;

    // Jobs.
    void Choose(Connection connection);
    void Poll(PollTimer timer, uint8_t frs, bool canFrames, const std::string& logPath, char sep);
    void Run(SettingsCommand command, const SystemData& settings);
    // Switched off by the owner: support is told.
    void SetShareData(bool share);
    void EndSupportSession() { remote_->EndSupportSession(); }
    void SetSupportDomain(const std::string& domain) { remote_->State.SupportDomain = domain; }
    void SendChat(const std::string& text) { remote_->SendChat(text); }
    void AnswerSupportSettings(bool write) { remote_->AnswerSupportSettings(write); }
    void Close();

    // From any thread.
    void RequestStop() { stop_ = true; }

    // The stateless facts of each connection's link, for the session's thread.
    const SystemLink& LinkOf(Connection connection) const;
    UsbTransport& Usb() { return usb_; }
    BtTransport& Bt() { return bt_; }
    RemoteSupport& Remote() { return *remote_; }

  private:
    // Calls `report` on the session's thread.
    void Report(std::function<void(SystemSession&)> report);
    CommandResult Execute(SettingsCommand command);
    CommandResult RunHere(SettingsCommand command);

    // LinkEvents
    void LinkStatus(const std::string& text) override;
    void StateDecoded(ModuleId module) override;
    void WriteProgress(size_t sent, size_t total, ModuleId module) override;
    bool StopRequested() const override { return stop_; }

    // RemoteSupportHost
    SystemData& Data() override { return data_; }
    bool ShareDataChecked() const override { return share_; }
    void SetShareDataChecked(bool checked) override;
    bool RemoteViaInternetChecked() const override { return link_ == support_.get(); }
    void SelectUsbConnection() override;
    void SetSendChatEnabled(bool enabled) override;
    void ShowPanelMessage(const std::string& text) override;
    void ShowConnectionError(const std::string& text) override;
    void SetStatusText(const std::string& text) override { LinkStatus(text); }
    void CloseLocalLinks() override;
    bool ReadAllSettingsFromSystem() override;
    WriteOutcome WriteAllSettingsToSystem() override;
    void SettingsArrived(const SystemData& data, bool onlyConnected) override;
    void AskSupportSettings(const SystemData& received, const SystemData& checked) override;
    void ChatLine(ChatSide side, const std::string& text) override;
    void SessionChanged(const SupportSessionStatus& status) override;

    SystemSession& session_;
    Waiter& wait_;
    SystemData data_;
    UsbTransport usb_;
    BtTransport bt_;
    UsbLink usbLink_;
    BtLink btLink_;
    std::unique_ptr<RelayTransport> relay_;
    std::unique_ptr<RemoteSupport> remote_;
    std::unique_ptr<SupportLink> support_;
    SystemLink* links_[3];  // by Connection
    SystemLink* link_;
    std::vector<ModuleId> decoded_;  // by the poll under way
    bool share_ = false;
    std::atomic<bool> stop_{false};
};

}  // namespace korvan

// What the main window owns besides its widgets: the records, the transports and
// their links, the remote support roles and the tables over the records. Only the
// window's own sources include this.
#pragma once

#include <memory>

#include "app/main_window.h"
#include "app/module_tables.h"
#include "app/window_ui.h"
#include "history/history_recorder.h"
#include "link/bt_transport.h"
#include "link/usb_transport.h"
#include "relay/remote_support.h"
#include "relay/support_link.h"

class QActionGroup;

namespace korvan {

class CorrectionsNotice;

// How a running link operation reaches the window.
class WindowEvents : public LinkEvents {
  public:
    explicit WindowEvents(TMainFormKX4& window) : window_(window) {}
    void LinkStatus(const std::string& text) override;
    void StateDecoded(ModuleId module) override;
    void WriteProgress(size_t sent, size_t total, ModuleId module) override;

  private:
    TMainFormKX4& window_;
};

// What the customer and support roles ask of the window.
class WindowRemoteHost : public RemoteSupportHost {
  public:
    explicit WindowRemoteHost(TMainFormKX4& window) : window_(window) {}
    SystemData& Data() override;
    bool ShareDataChecked() const override;
    void SetShareDataChecked(bool checked) override;
    bool RemoteViaInternetChecked() const override;
    void SelectUsbConnection() override;
    void SetSendChatEnabled(bool enabled) override;
    void ShowPanelMessage(const std::string& text) override;
    void ShowConnectionError(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void SetRemoteCaption() override;
    void CloseLocalLinks() override;
    void ReadAllSettingsFromSystem() override;
    void WriteAllSettingsToSystem() override;
    void ShowStateTables() override;
    void ShowSettingsTables(bool onlyConnected) override;
    void RefreshOutline() override;
    void StatePolled() override;
    bool ConfirmSupportSettings(const SystemData& received) override;
    void ChatLine(ChatSide side, const std::string& text) override;

  private:
    TMainFormKX4& window_;
};

struct TMainFormKX4::Parts {
    Parts(TMainFormKX4& window, const WindowSeams& seams);

    WindowUi Ui;
    WindowFlags Flags;
    SystemData Data;
    HistoryRecorder History;
    char Sep;
    Waiter& Wait;
    UserDialogs& Dialogs;
    UsbTransport Usb;
    BtTransport Bt;
    UsbLink UsbConnection;
    BtLink BtConnection;
    std::unique_ptr<RelayTransport> Relay;
    WindowRemoteHost Host;
    std::unique_ptr<RemoteSupport> Remote;
    std::unique_ptr<SupportLink> SupportConnection;
    SystemLink* Link;  // the connection checked in the menu
    std::unique_ptr<ModuleTables> Tables;
    WindowEvents Events;
    bool CommandRunning = false;
    QActionGroup* OptionsGroup = nullptr;
    CorrectionsNotice* Corrections = nullptr;  // made when first needed
};

// Building the window's components (window_pages.cpp, window_menus.cpp).
void BuildPages(QMainWindow* window, WindowUi& ui, SystemData& data,
                const HistoryRecorder& history);
void BuildStatusBar(QMainWindow* window, WindowUi& ui);
void BuildMenus(TMainFormKX4* window, WindowUi& ui);
void BuildTimers(TMainFormKX4* window, WindowUi& ui);

}  // namespace korvan

// The main window: six pages of module tables, gauges and CAN frames, the menus,
// the status bar and the yellow message panel. The window is a view of the
// system's session: it shows what the session says and hands it the user's
// commands; the session polls and runs the commands on its own thread.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/user_dialogs.h"
#include "history/history_csv.h"
#include "session/system_session.h"

namespace korvan {

struct SettingsCorrection;
struct WindowUi;

// What the window talks through: the session's seams and the dialogs. Tests
// plug in scripted dialogs.
struct WindowSeams : SessionSeams {
    UserDialogs* Dialogs = nullptr;
    // The settings file that keeps the alarm rules; none: the defaults, not kept.
    QString AlarmSettings;
};

// The window's flags and stamps.
struct WindowFlags {
    bool SettingsLoaded = false;
    QDateTime MessageShownAt;
    std::string DataLogPath;
    QString ApplicationTitle;
};

class TMainFormKX4 : public QMainWindow {
    Q_OBJECT
  public:
    explicit TMainFormKX4(const WindowSeams& seams, QWidget* parent = nullptr);
    ~TMainFormKX4() override;

    // For the programs and the tests: components, flags and the session.
    WindowUi& Ui();
    WindowFlags& Flags();
    SystemSession& Session();
    const SystemData& Records() const;
    UsbTransport& Usb();
    BtTransport& Bt();
    RemoteSupport& Remote();
    char DecimalSeparator() const;
    bool CommandRunning() const;
    void ShowPanelMessage(const std::string& text);  // the yellow message panel

  public slots:
    void FormCreate();
    void PageControlChange();
    void USBTimerTimer();
    void BTTimerTimer();
    void INETTimerTimer();
    void ReadAllSettingsFromSystemClick();
    void WriteAllSettingsToSystemClick();
    void WriteControlBoxSettingsToSystemClick();
    void ResetControlBoxSettingsToDefaultValuesClick();
    void ResetBluetoothRadioClick();
    void SaveSettingsToFileClick();
    void LoadSettingsFromFileClick();
    void RestoreSettingsFromBackupClick();
    void ExportHistoryToCsvClick();
    void EnableDataLoggingToFileClick();
    void SendChatMessageClick();
    void SupportDomain1Click();
    void NewSupportSessionClick();
    void JoinSupportSessionClick();
    void EndSupportSessionClick();
    void SupportChatHistoryClick();
    void Exit1Click();
    void ConnectionUSBClick();
    void ConnectionBlueToothClick();
    void RemoteViaInternetToProvideSupportClick();
    void FRSPlusButtonClick();
    void FRSMinusButtonClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Parts;

    void ChooseLink();
    void ConnectSession();
    // What the session says, shown.
    void Polled(PollOutcome outcome);
    void LinkLost();
    void StatePolled();
    void NoDataSince(std::optional<HistoryTime> last);
    void SettingsArrived(bool onlyConnected);
    void CommandStarted();
    void CommandFinished(const CommandResult& result);
    void UpdateCanPage();
    void SetLinkCaption(const char* link);
    void SetStatusText(const QString& text);
    bool Refused(LinkOperation operation);
    bool RefuseWithoutSettings();
    // The tables a write sends, into the records, after the user has seen what
    // the checks would replace; false when the user goes back to the tables.
    bool TakeTables(SettingsCommand command);
    void ShowWritten(const CommandResult& result);
    void BluetoothResetSent();
    void ShowReport();
    void SetWriteProgress(size_t sent, size_t total, ModuleId module);
    void RefreshOutline();

    std::unique_ptr<Parts> p_;
};

}  // namespace korvan

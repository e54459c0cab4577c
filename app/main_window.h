// The main window: six pages of module tables, gauges and CAN frames, the menus,
// the status bar, the yellow message panel and the three timers that drive all
// traffic with the system. The window is the view; the connection chosen in its
// menu is one link that every poll and command goes through.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/user_dialogs.h"
#include "history/history_csv.h"
#include "link/bluetooth_discovery.h"
#include "link/hid_devices.h"
#include "link/link.h"
#include "link/serial_port.h"

namespace korvan {

class BtTransport;
class RelayTransport;
class RemoteSupport;
class UsbTransport;
struct SettingsCorrection;
struct WindowUi;

// What the window talks through. The programs plug in the real backends or the
// simulator; tests plug in the simulator, a recording waiter and scripted dialogs.
struct WindowSeams {
    HidDevices* Hid = nullptr;
    SerialPort* Serial = nullptr;
    BluetoothDiscovery* Bluetooth = nullptr;
    // Builds the relay exchange; it is given the window (the exchange cue colours it).
    std::function<std::unique_ptr<RelayTransport>(QWidget* window)> MakeRelay;
    Waiter* Wait = nullptr;
    UserDialogs* Dialogs = nullptr;
};

// The window's flags and stamps.
struct WindowFlags {
    bool SettingsLoaded = false;
    bool FrsPlusPending = false;
    bool FrsMinusPending = false;
    QDateTime MessageShownAt;
    std::string DataLogPath;
    QString ApplicationTitle;
};

class TMainFormKX4 : public QMainWindow {
    Q_OBJECT
  public:
    explicit TMainFormKX4(const WindowSeams& seams, QWidget* parent = nullptr);
    ~TMainFormKX4() override;

    // For the programs and the tests: components, flags, records and links.
    WindowUi& Ui();
    WindowFlags& Flags();
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
    void ExportHistoryToCsvClick();
    void EnableDataLoggingToFileClick();
    void SendChatMessageClick();
    void SupportDomain1Click();
    void NewSupportSessionClick();
    void JoinSupportSessionClick();
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
    class CommandFrame;
    friend class WindowEvents;
    friend class WindowRemoteHost;

    void ChooseLink();
    void PollTick(PollTimer timer);
    void LinkLost();
    void StatePolled();
    void ExportHistory(std::optional<HistoryRange> range);
    void NoData();
    void PollCanFrames();
    void SetLinkCaption(const char* link);
    void SetStatusText(const std::string& text);
    void ShowMessage(MessageKind kind, const char* text);
    // A few seconds in the status bar, over the link's status text.
    void ShowNotice(const QString& text);
    // The typed values the checks replaced in a read-back; nothing when none.
    void ShowCorrections(const std::vector<SettingsCorrection>& corrections);
    void WarnInterruptedWrite(const WriteOutcome& outcome, bool controlBoxOnly);
    bool Refused(LinkOperation operation);
    bool RefuseWithoutSettings();
    void ShowReadSettings();
    void SetWriteProgress(size_t sent, size_t total, ModuleId module);
    void RefreshOutline();
    void AppendLogIfEnabled();
    void SetFixedClientSize();
    void StopTimers(bool relayToo);
    void StartTimers(bool relayToo);
    // The "Support" panel, hidden until a session or a chat line needs it.
    void BuildSupportPanel();
    void ShowSupportPanel();

    std::unique_ptr<Parts> p_;
};

}  // namespace korvan

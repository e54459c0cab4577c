// The main window: six pages of module tables, gauges and CAN frames, the menus,
// the status bar, the yellow message panel and the three timers that drive all
// traffic with the remote system.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/user_dialogs.h"
#include "link/bt_transport.h"
#include "link/usb_transport.h"
#include "model/system_data.h"
#include "relay/remote_support.h"

class QAction;
class QActionGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QTabBar;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace korvan {

class CanMonitor;
class OutlineView;

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

class TMainFormKX4 : public QMainWindow, public RemoteSupportHost {
    Q_OBJECT
  public:
    explicit TMainFormKX4(const WindowSeams& seams, QWidget* parent = nullptr);
    ~TMainFormKX4() override;

    // Flags and stamps of the window.
    bool SettingsLoaded = false;
    bool FrsPlusPending = false;
    bool FrsMinusPending = false;
    QDateTime MessageShownAt;
    std::string DataLogPath;
    QString ApplicationTitle;

    // Pages and their components.
    QTabWidget* PageControl = nullptr;
    QWidget* BatteryBoxTabSheet = nullptr;
    QWidget* FieldBox1TabSheet = nullptr;
    QWidget* FieldBox2TabSheet = nullptr;
    QWidget* ControlBoxTabSheet = nullptr;
    QWidget* OutlineTabSheet = nullptr;
    QWidget* CanTabSheet = nullptr;
    QTableWidget* BatteryBoxStateStringGrid = nullptr;
    QPlainTextEdit* BatteryBoxStatusMemo = nullptr;
    QTableWidget* BatteryBoxSettingsStringGrid = nullptr;
    QTableWidget* FieldBox1StateStringGrid = nullptr;
    QPlainTextEdit* FieldBox1StatusMemo = nullptr;
    QTableWidget* FieldBox1SettingsStringGrid = nullptr;
    QTableWidget* FieldBox2StateStringGrid = nullptr;
    QPlainTextEdit* FieldBox2StatusMemo = nullptr;
    QTableWidget* FieldBox2SettingsStringGrid = nullptr;
    QTableWidget* ControlBoxStateStringGrid = nullptr;
    QPlainTextEdit* ControlBoxStatusMemo = nullptr;
    QTableWidget* ControlBoxSettingsStringGrid = nullptr;
    QTabBar* ChargeProfileTabControl = nullptr;
    QTableWidget* ChargeProfileStringGrid = nullptr;
    QComboBox* PIComboBox = nullptr;
    OutlineView* Outline = nullptr;
    CanMonitor* Can = nullptr;
    QLabel* MessagePanel = nullptr;
    QLabel* StatusText = nullptr;
    QProgressBar* WriteProgress = nullptr;

    QTimer* USBTimer = nullptr;
    QTimer* BTTimer = nullptr;
    QTimer* INETTimer = nullptr;

    // Menu items.
    QMenu* SystemMenu = nullptr;
    QMenu* OptionsMenu = nullptr;
    QAction* SaveSettingsToFile = nullptr;
    QAction* LoadSettingsFromFile = nullptr;
    QAction* ReadAllSettingsFromSystem1 = nullptr;
    QAction* WriteAllSettingsToSystem1 = nullptr;
    QAction* WriteControlBoxSettingsToSystem = nullptr;
    QAction* ResetControlBoxSettingsToDefaultValues = nullptr;
    QAction* ResetBluetoothRadio = nullptr;
    QAction* Exit1 = nullptr;
    QAction* ConnectionUSB = nullptr;
    QAction* ConnectionBlueTooth = nullptr;
    QAction* RemoteViaInternetToProvideSupport = nullptr;
    QAction* CenterGaugeDisplayVoltage = nullptr;
    QAction* CenterGaugeDisplayCurrent = nullptr;
    QAction* CenterGaugeDisplaySOC = nullptr;
    QAction* CenterGaugeDisplayLoadCurrent = nullptr;
    QAction* CenterGaugeDisplayTemperature = nullptr;
    QAction* OnScreenFRSControls = nullptr;
    QAction* ShareDataWithSupport = nullptr;
    QAction* SendChatMessage = nullptr;
    QAction* SupportDomain1 = nullptr;
    QAction* EnableDataLoggingToFile = nullptr;

    // The links and the relay, for the programs and the tests.
    UsbTransport& Usb() { return usb_; }
    BtTransport& Bt() { return bt_; }
    RemoteSupport& Remote() { return *remote_; }
    const SystemData& Records() const { return data_; }
    char DecimalSeparator() const { return sep_; }
    bool CommandRunning() const { return commandRunning_; }

    // Module tables: empty forms, values from the records, cells back into the records.
    void ResetBatteryBoxStateTable();
    void ResetBatteryBoxSettingsTable();
    void ResetFieldBoxStateTable(int box);  // box 0 = field box #1
    void ResetFieldBoxSettingsTable(int box);
    void ClearControlBoxState();
    void ClearControlBoxSettings();
    void ResetAllTables();  // every state and settings table in its empty form
    void ShowBatteryBoxState();
    void ShowBatteryBoxSettings();
    void ShowFieldBoxState(int box);
    void ShowFieldBoxSettings(int box);
    void ShowControlBoxState();
    void ShowControlBoxSettings();
    void ReadBatteryBoxSettingsTable();
    void ReadFieldBoxSettingsTable(int box);
    void ReadControlBoxSettingsTable();  // puts the drop-down's index into row 5 first

    // RemoteSupportHost
    SystemData& Data() override { return data_; }
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
    void ReadAllSettingsFromSystem() override { ReadAllSettingsFromSystemClick(); }
    void WriteAllSettingsToSystem() override { WriteAllSettingsToSystemClick(); }
    void ShowStateTables() override;
    void ShowSettingsTables(bool onlyConnected) override;
    void RefreshOutline() override;
    void AppendLogIfEnabled() override;

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
    void EnableDataLoggingToFileClick();
    void SendChatMessageClick();
    void SupportDomain1Click();
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
    class CommandFrame;
    friend class CommandFrame;

    void BuildPages();
    void BuildModulePage(QWidget* page, QTableWidget*& state, QPlainTextEdit*& memo,
                         QTableWidget*& settings);
    void BuildControlBoxExtras(QWidget* settingsGroup);
    void BuildMenus();
    void BuildStatusBar();
    void SetFixedClientSize();

    // Polling steps.
    bool UsbStateStep(uint8_t code);
    void DecodeAndShowState(uint8_t code);
    void UsbLinkLost();
    void PollCanFrames();
    void SetLinkCaption(const char* link);
    void UpdateBatterySettingsScale();

    // Settings command steps.
    bool UsbReadAllSettings();
    bool BtReadAllSettings();
    void ShowReadSettings();
    void UsbWriteAllSettings();
    bool UsbSend(const UsbRequest& request);
    bool UsbRequestSettings(uint8_t code);
    void ReadSettingsTables();
    void SetWriteProgress(int done, const char* module);
    bool RefuseWithoutSettings();
    void ShowMessage(MessageKind kind, const char* text);
    void EmptySettingsTables();
    void ReadShownSettingsTables();

    SystemData data_;
    UsbTransport usb_;
    BtTransport bt_;
    std::unique_ptr<RelayTransport> relay_;
    std::unique_ptr<RemoteSupport> remote_;
    Waiter& waiter_;
    UserDialogs& dialogs_;
    char sep_ = '.';
    bool commandRunning_ = false;
    // The settings tables were emptied by a lost USB link while the records kept
    // the settings last read or loaded.
    bool settingsTablesLost_ = false;
    // The scale the battery box settings table was last shown on (24 V or not).
    bool batterySettingsShown_ = false;
    bool batterySettingsOn24V_ = false;
    QActionGroup* optionsGroup_ = nullptr;
};

}  // namespace korvan

// The five settings commands of the System menu and their common frame.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QProgressBar>
#include <QTableWidget>
#include <QTimer>

#include "app/main_window.h"
#include "app/module_tables.h"
#include "link/sequence.h"

namespace korvan {

namespace {

const char* const NeedSettingsText =
    "Before updating, the settings must be either read from the system, or loaded from a file ";
const char* const UsbOnlyText = "Settings can be refreshed via USB connection only";
const char* const UsbRequiredText = "USB connection to KORVAN KX4 is required";
const char* const BtResetWaitText = "Bluetooth Module reset takes 10 seconds. Please wait";
const char* const BtResetDoneText = "Bluetooth Module has been reset";

constexpr std::chrono::seconds OneSecond{1};

// Which module a request of the write of all settings belongs to.
struct WriteModule {
    uint8_t Code;
    const char* Name;
};

constexpr WriteModule WriteModules[] = {
    {CmdWriteControlBoxSettings, "System Control Module"},
    {CmdWriteChargeProfiles, "System Control Module"},
    {CmdWriteBatteryBoxItem, "Battery Control Module"},
    {CmdWriteFieldBox1Item, "Field Control Module #1"},
    {CmdWriteFieldBox2Item, "Field Control Module #2"},
};

const char* WriteModuleName(uint8_t code) {
    for (const WriteModule& module : WriteModules)
        if (module.Code == code) return module.Name;
    return "";
}

}  // namespace

// Hourglass, timers stopped, System menu and the timer-restarting items disabled
// (so no second command starts inside a wait that processes messages); all of it
// undone on every way out.
class TMainFormKX4::CommandFrame {
  public:
    CommandFrame(TMainFormKX4& window, bool allTimers) : window_(window), allTimers_(allTimers) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        window_.USBTimer->stop();
        window_.BTTimer->stop();
        if (allTimers_) window_.INETTimer->stop();
        window_.commandRunning_ = true;
        window_.SystemMenu->menuAction()->setEnabled(false);
        window_.EnableDataLoggingToFile->setEnabled(false);
    }
    ~CommandFrame() {
        window_.USBTimer->start();
        window_.BTTimer->start();
        if (allTimers_) window_.INETTimer->start();
        window_.commandRunning_ = false;
        window_.SystemMenu->menuAction()->setEnabled(true);
        window_.EnableDataLoggingToFile->setEnabled(true);
        RestoreCursor();
    }
    CommandFrame(const CommandFrame&) = delete;
    CommandFrame& operator=(const CommandFrame&) = delete;

    // Lets the window repaint once before the command's work.
    static void ProcessPending() { QApplication::processEvents(); }
    void RestoreCursor() {
        if (!cursorSet_) return;
        QApplication::restoreOverrideCursor();
        cursorSet_ = false;
    }

  private:
    TMainFormKX4& window_;
    bool allTimers_;
    bool cursorSet_ = true;
};

bool TMainFormKX4::RefuseWithoutSettings() {
    if (SettingsLoaded) return false;
    ShowMessage(MessageKind::Warning, NeedSettingsText);
    return true;
}

void TMainFormKX4::EmptySettingsTables() {
    settingsTablesLost_ = false;
    ResetBatteryBoxSettingsTable();
    ResetFieldBoxSettingsTable(0);
    ResetFieldBoxSettingsTable(1);
    ClearControlBoxSettings();
}

// The edited tables into the records, the profile drop-down first.
void TMainFormKX4::ReadSettingsTables() {
    ReadControlBoxSettingsTable();
    ReadBatteryBoxSettingsTable();
    ReadFieldBoxSettingsTable(0);
    ReadFieldBoxSettingsTable(1);
}

// Before a save: a table that a lost link emptied is not read back, so that
// its record keeps the settings last read or loaded instead of taking every
// row's default from the "-" cells.
void TMainFormKX4::ReadShownSettingsTables() {
    auto lost = [this](const QTableWidget* table) {
        if (!settingsTablesLost_) return false;
        for (const std::string& cell : ModuleTableValues(table))
            if (cell != EmptyCell) return false;
        return true;
    };
    if (!lost(ControlBoxSettingsStringGrid)) ReadControlBoxSettingsTable();
    if (!lost(BatteryBoxSettingsStringGrid)) ReadBatteryBoxSettingsTable();
    if (!lost(FieldBox1SettingsStringGrid)) ReadFieldBoxSettingsTable(0);
    if (!lost(FieldBox2SettingsStringGrid)) ReadFieldBoxSettingsTable(1);
}

bool TMainFormKX4::UsbSend(const UsbRequest& request) {
    ApplyUsbRequest(request, usb_.Output);
    const bool ok = usb_.UsbExchange();
    SetStatusText(usb_.UsbStatusText);
    return ok;
}

// One settings request (codes 5-9): only byte 0 is set, the rest is not used.
bool TMainFormKX4::UsbRequestSettings(uint8_t code) {
    usb_.Output[0] = code;
    const bool ok = usb_.UsbExchange();
    SetStatusText(usb_.UsbStatusText);
    if (ok) DecodeSettingsAnswer(code, usb_.Input, data_);
    return ok;
}

void TMainFormKX4::ReadAllSettingsFromSystemClick() {
    if (commandRunning_) return;
    CommandFrame frame(*this, true);
    SettingsLoaded = false;
    EmptySettingsTables();
    frame.ProcessPending();

    bool read = false;
    if (ConnectionUSB->isChecked()) {
        read = UsbReadAllSettings();
    } else if (ConnectionBlueTooth->isChecked()) {
        read = BtReadAllSettings();
    } else if (RemoteViaInternetToProvideSupport->isChecked()) {
        remote_->RequestSettings(waiter_);
        read = true;
    }
    if (read) ShowReadSettings();
}

bool TMainFormKX4::UsbReadAllSettings() {
    for (uint8_t code : ReadAllSettingsCodes())
        if (!UsbRequestSettings(code)) return false;
    return true;
}

bool TMainFormKX4::BtReadAllSettings() {
    const std::vector<BtStep> steps = BtReadAllSettingsSteps();
    const bool read = RunBtSequence(bt_, steps, waiter_, false, [&](size_t step) {
        SetStatusText(bt_.BtStatusText);
        if (steps[step].TakesSettingsImage &&
            bt_.Exchange.AnswerLength >= static_cast<int32_t>(SettingsImageSize))
            DecodeSettingsImage(bt_.Exchange.Answer.data(), data_);
    });
    if (!read) SetStatusText(bt_.BtStatusText);
    return read;
}

// The tables of the modules that are there, the drop-down on the record's profile.
void TMainFormKX4::ShowReadSettings() {
    ShowSettingsTables(true);
    SettingsLoaded = true;
}

void TMainFormKX4::WriteAllSettingsToSystemClick() {
    if (commandRunning_ || RefuseWithoutSettings()) return;
    CommandFrame frame(*this, true);
    frame.ProcessPending();
    ReadSettingsTables();
    if (ConnectionUSB->isChecked()) {
        UsbWriteAllSettings();
    } else if (RemoteViaInternetToProvideSupport->isChecked()) {
        remote_->SendSettings(waiter_);
    } else if (ConnectionBlueTooth->isChecked()) {
        ShowMessage(MessageKind::Warning, UsbOnlyText);
    }
}

void TMainFormKX4::UsbWriteAllSettings() {
    const std::vector<UsbRequest> requests = WriteAllSettingsRequests(data_);
    const int total = static_cast<int>(requests.size());
    WriteProgress->setRange(0, total);
    SetWriteProgress(0, WriteModuleName(requests.empty() ? 0 : requests[0].Report[0]));
    WriteProgress->show();
    const bool written = RunUsbSequence(usb_, requests, waiter_, true, [&](size_t step) {
        SetStatusText(usb_.UsbStatusText);
        SetWriteProgress(static_cast<int>(step) + 1, WriteModuleName(requests[step].Report[0]));
    });
    if (!written) SetStatusText(usb_.UsbStatusText);
    WriteProgress->hide();
    WriteProgress->reset();
}

void TMainFormKX4::SetWriteProgress(int done, const char* module) {
    WriteProgress->setValue(done);
    WriteProgress->setFormat(QStringLiteral("%1: %2 of %3 reports")
                                 .arg(QLatin1String(module))
                                 .arg(done)
                                 .arg(WriteProgress->maximum()));
}

void TMainFormKX4::WriteControlBoxSettingsToSystemClick() {
    if (commandRunning_ || RefuseWithoutSettings()) return;
    CommandFrame frame(*this, false);
    frame.ProcessPending();
    if (!ConnectionUSB->isChecked()) return;
    ReadControlBoxSettingsTable();
    for (const UsbRequest& request : WriteControlBoxRequests(data_)) {
        if (!UsbSend(request)) return;
        waiter_.Wait(request.PauseAfter, true);
    }
    if (!UsbRequestSettings(CmdControlBoxSettings)) return;
    ShowControlBoxSettings();
    if (UsbRequestSettings(CmdChargeProfiles)) ShowControlBoxSettings();
}

void TMainFormKX4::ResetControlBoxSettingsToDefaultValuesClick() {
    if (commandRunning_) return;
    CommandFrame frame(*this, false);
    ClearControlBoxSettings();
    frame.ProcessPending();
    const UsbRequest reset = ResetControlBoxDefaultsRequest();
    if (ConnectionUSB->isChecked() && UsbSend(reset)) {
        waiter_.Wait(reset.PauseAfter, true);
        UsbRequestSettings(CmdControlBoxSettings);
        UsbRequestSettings(CmdChargeProfiles);
        ShowControlBoxSettings();
        return;
    }
    // Nothing was reset: the table shows the settings held again, so that a
    // following write does not send the empty table's row defaults.
    if (SettingsLoaded) ShowControlBoxSettings();
    ShowMessage(MessageKind::Error, UsbRequiredText);
}

void TMainFormKX4::ResetBluetoothRadioClick() {
    if (commandRunning_) return;
    CommandFrame frame(*this, false);
    frame.ProcessPending();
    if (!ConnectionUSB->isChecked() || !UsbSend(ResetBluetoothRadioRequest())) {
        ShowMessage(MessageKind::Error, UsbRequiredText);
        return;
    }
    QElapsedTimer sinceReset;
    sinceReset.start();
    ShowMessage(MessageKind::Information, BtResetWaitText);
    const auto left = BluetoothResetDuration - std::chrono::milliseconds(sinceReset.elapsed());
    if (left.count() > 0) waiter_.Wait(left, true);
    frame.RestoreCursor();
    ShowMessage(MessageKind::Information, BtResetDoneText);
    SetStatusText(usb_.UsbStatusText);
}

}  // namespace korvan

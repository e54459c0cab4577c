// The five settings commands of the System menu. The window takes the tables
// into the records and hands the command to the session, which runs it on the
// chosen link; the window shows its progress and its end.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>

#include "app/feedback.h"
#include "app/status_text.h"
#include "app/window_parts.h"

namespace korvan {

namespace {

const char* const NeedSettingsText =
    "Before updating, the settings must be either read from the system, or loaded from a file ";
const char* const BtResetWaitText = "Bluetooth Module reset takes 10 seconds. Please wait";
const char* const BtResetDoneText = "Bluetooth Module has been reset";

// The link's last word, for a notice that says why a command failed.
QString Reason(const CommandResult& result) {
    return QString::fromStdString(OneLineStatus(result.Reason));
}

QString StoppedText(const char* writing, const WriteOutcome& outcome) {
    return QStringLiteral("%1 stopped after %2 of %3 reports: ")
        .arg(QLatin1String(writing))
        .arg(outcome.Sent)
        .arg(outcome.Total);
}

// A command the chosen link refuses ends as one that failed.
CommandResult Refusal(SettingsCommand command) {
    CommandResult result;
    result.Kind = command;
    return result;
}

}  // namespace

bool TMainFormKX4::RefuseWithoutSettings() {
    if (p_->Flags.SettingsLoaded) return false;
    ShowMessage(MessageKind::Warning, NeedSettingsText);
    return true;
}

// The chosen link's refusal of `operation`, shown; false when the link does it.
bool TMainFormKX4::Refused(LinkOperation operation) {
    const std::optional<LinkRefusal> refusal = p_->Session.Link().Refusal(operation);
    if (!refusal) return false;
    if (refusal->Text) ShowMessage(refusal->Kind, refusal->Text);
    return true;
}

void TMainFormKX4::ReadAllSettingsFromSystemClick() {
    if (p_->Session.CommandRunning()) return;
    p_->Flags.SettingsLoaded = false;
    p_->Tables->ResetAllSettings();
    p_->Session.Start(SettingsCommand::ReadAllSettings);
}

// Settings read, or delivered by the customer's tool or by support: the tables
// of the modules that are there, the drop-down on the record's profile.
void TMainFormKX4::SettingsArrived(bool onlyConnected) {
    p_->Tables->ShowSettingsTables(onlyConnected);
    p_->Flags.SettingsLoaded = true;
}

void TMainFormKX4::TakeTables(SettingsCommand command) {
    const std::vector<SettingsCorrection> corrections = p_->Tables->Corrections();
    if (command == SettingsCommand::WriteAllSettings)
        p_->Tables->ReadAllSettings();
    else
        p_->Tables->ReadSettings(ModuleId::ControlBox);
    ShowCorrections(corrections);
}

void TMainFormKX4::WriteAllSettingsToSystemClick() {
    if (p_->Session.CommandRunning() || RefuseWithoutSettings()) return;
    TakeTables(SettingsCommand::WriteAllSettings);
    if (!Refused(LinkOperation::WriteAllSettings))
        p_->Session.Start(SettingsCommand::WriteAllSettings);
}

void TMainFormKX4::WriteControlBoxSettingsToSystemClick() {
    if (p_->Session.CommandRunning() || RefuseWithoutSettings()) return;
    if (Refused(LinkOperation::WriteControlBoxSettings)) {
        ShowNotice(QStringLiteral("Control box settings are written over USB only"));
        return;
    }
    TakeTables(SettingsCommand::WriteControlBoxSettings);
    p_->Session.Start(SettingsCommand::WriteControlBoxSettings);
}

void TMainFormKX4::ResetControlBoxSettingsToDefaultValuesClick() {
    if (p_->Session.CommandRunning()) return;
    p_->Tables->ResetSettings(ModuleId::ControlBox);
    if (p_->Session.Link().Refusal(LinkOperation::ResetControlBoxDefaults)) {
        CommandFinished(Refusal(SettingsCommand::ResetControlBoxDefaults));
        return;
    }
    p_->Session.Start(SettingsCommand::ResetControlBoxDefaults);
}

void TMainFormKX4::ResetBluetoothRadioClick() {
    if (p_->Session.CommandRunning()) return;
    if (p_->Session.Link().Refusal(LinkOperation::ResetBluetoothRadio)) {
        CommandFinished(Refusal(SettingsCommand::ResetBluetoothRadio));
        return;
    }
    p_->Session.Start(SettingsCommand::ResetBluetoothRadio);
}

// The System menu and the data log item stay disabled until the command ends.
void TMainFormKX4::CommandStarted() {
    p_->Ui.SystemMenu->menuAction()->setEnabled(false);
    p_->Ui.EnableDataLoggingToFile->setEnabled(false);
    if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::BusyCursor);
}

void TMainFormKX4::CommandFinished(const CommandResult& result) {
    p_->Ui.SystemMenu->menuAction()->setEnabled(true);
    p_->Ui.EnableDataLoggingToFile->setEnabled(true);
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    p_->Ui.WriteProgress->hide();
    p_->Ui.WriteProgress->reset();
    const WriteOutcome& write = result.Write;
    switch (result.Kind) {
        case SettingsCommand::ReadAllSettings:
            if (!result.Ok) {
                ShowNotice(QStringLiteral("Reading the settings failed: ") + Reason(result));
                break;
            }
            SettingsArrived(true);
            ShowNotice(result.Forwarded
                           ? QStringLiteral("Settings requested from the customer's system")
                           : QStringLiteral("All settings read from the system"));
            break;
        case SettingsCommand::WriteAllSettings:
            if (!result.Ok) {
                ShowNotice(StoppedText("Writing all settings", write) + Reason(result));
                p_->Dialogs.ShowMessage(this, MessageKind::Warning,
                                        InterruptedWriteText(write, "Writing all settings",
                                                             "write all settings again"));
            } else {
                ShowNotice(
                    result.Forwarded
                        ? QStringLiteral("All settings sent to the customer's system")
                        : QStringLiteral("All settings written: %1 reports").arg(write.Total));
            }
            break;
        case SettingsCommand::WriteControlBoxSettings:
            if (!result.Ok) {
                ShowNotice(StoppedText("Writing the control box settings", write) + Reason(result));
                p_->Dialogs.ShowMessage(
                    this, MessageKind::Warning,
                    InterruptedWriteText(write, "Writing the control box settings",
                                         "write the control box settings again"));
            } else if (!write.ReadBack) {
                ShowNotice(
                    QStringLiteral("Control box settings written; reading them back failed: ") +
                    Reason(result));
            } else {
                p_->Tables->ShowSettings(ModuleId::ControlBox);
                ShowNotice(QStringLiteral("Control box settings written and read back"));
            }
            break;
        case SettingsCommand::ResetControlBoxDefaults:
            if (result.Ok) {
                p_->Tables->ShowSettings(ModuleId::ControlBox);
                ShowNotice(QStringLiteral("Control box settings reset to their default values"));
                break;
            }
            // Nothing was reset: the table shows the settings held again, so that a
            // following write does not send the empty table's row defaults.
            if (p_->Flags.SettingsLoaded) p_->Tables->ShowSettings(ModuleId::ControlBox);
            ShowNotice(QStringLiteral("Control box settings not reset"));
            ShowMessage(MessageKind::Error, UsbRequiredText);
            break;
        case SettingsCommand::ResetBluetoothRadio:
            if (!result.Ok) {
                ShowNotice(QStringLiteral("Bluetooth radio not reset"));
                ShowMessage(MessageKind::Error, UsbRequiredText);
            } else if (p_->ResetBoxOpen) {
                p_->ResetDoneWaiting = true;  // said when the first box is closed
            } else {
                ShowMessage(MessageKind::Information, BtResetDoneText);
                ShowNotice(QStringLiteral("Bluetooth radio reset"));
            }
            break;
    }
    if (p_->CloseWhenDone) close();
}

// The reset's ten seconds run on the session's thread while this box is open.
void TMainFormKX4::BluetoothResetSent() {
    p_->ResetBoxOpen = true;
    ShowMessage(MessageKind::Information, BtResetWaitText);
    p_->ResetBoxOpen = false;
    if (!std::exchange(p_->ResetDoneWaiting, false)) return;
    ShowMessage(MessageKind::Information, BtResetDoneText);
    ShowNotice(QStringLiteral("Bluetooth radio reset"));
}

void TMainFormKX4::SetWriteProgress(size_t sent, size_t total, ModuleId module) {
    QProgressBar* progress = p_->Ui.WriteProgress;
    progress->show();
    progress->setFormat(QStringLiteral("%1: %2 of %3 reports")
                            .arg(QLatin1String(ModuleName(module)))
                            .arg(sent)
                            .arg(total));
    progress->setRange(0, static_cast<int>(total));
    progress->setValue(static_cast<int>(sent));
}

void TMainFormKX4::ShowNotice(const QString& text) { statusBar()->showMessage(text, NoticeMs); }

void TMainFormKX4::ShowCorrections(const std::vector<SettingsCorrection>& corrections) {
    if (corrections.empty()) return;
    if (!p_->Corrections) p_->Corrections = new CorrectionsNotice(this);
    p_->Corrections->Show(corrections);
}

}  // namespace korvan

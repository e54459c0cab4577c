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
const char* const WriteUnfinishedReason =
    "the write did not finish. Write the settings again, or read them from the system";
const char* const ResetDefaultsTitle = "Reset Control Box Settings To Default Values";
const char* const ResetDefaultsQuestion =
    "Reset the control box settings and its eight charge profiles to their default values? "
    "The system charges by the defaults from then on.\n\n"
    "The settings as last read are kept as a backup (System, Restore Settings From Backup...).";
const char* const ResetRadioQuestion =
    "Reset the system's Bluetooth radio? Its Bluetooth connection is down for about 10 seconds.";

// A command the chosen link refuses ends as one that failed.
CommandResult Refusal(SettingsCommand command) {
    CommandResult result;
    result.Kind = command;
    return result;
}

}  // namespace

bool TMainFormKX4::RefuseWithoutSettings() {
    if (p_->Flags.SettingsLoaded) return false;
    p_->Notices.Message(MessageKind::Warning, QString::fromUtf8(NeedSettingsText));
    return true;
}

// The chosen link's refusal of `operation`, shown; false when the link does it.
bool TMainFormKX4::Refused(LinkOperation operation) {
    const std::optional<LinkRefusal> refusal = p_->Session.Refusal(operation);
    if (!refusal) return false;
    if (refusal->Text) p_->Notices.Message(refusal->Kind, QString::fromUtf8(refusal->Text));
    return true;
}

// The tables and SettingsLoaded stay as they are until the read has succeeded.
void TMainFormKX4::ReadAllSettingsFromSystemClick() {
    if (p_->Session.CommandRunning()) return;
    if (!p_->Notices.MayDropEdits(p_->Tables->HasEdits(),
                                  QStringLiteral("Reading all settings from the system "
                                                 "replaces them."),
                                  QStringLiteral("Read")))
        return;
    p_->Session.Start(SettingsCommand::ReadAllSettings);
}

// Settings read, or delivered by the customer's tool or by support: the tables
// of the modules that are there, the drop-down on the record's profile.
void TMainFormKX4::SettingsArrived(bool onlyConnected) {
    p_->Tables->ShowSettingsTables(onlyConnected);
    p_->Flags.SettingsLoaded = true;
}

// The tables a write sends, into the records, once the user has seen what the
// checks would replace in them; false when the user goes back to the tables.
bool TMainFormKX4::TakeTables(SettingsCommand command) {
    const bool all = command == SettingsCommand::WriteAllSettings;
    const std::optional<ModuleId> only =
        all ? std::nullopt : std::optional<ModuleId>(ModuleId::ControlBox);
    if (!p_->Notices.MayWriteCorrections(p_->Tables->Corrections(only))) {
        p_->Notices.Notice(QStringLiteral("Nothing written: the typed values are as they were"));
        return false;
    }
    if (all)
        p_->Tables->ReadAllSettings();
    else
        p_->Tables->ReadSettings(ModuleId::ControlBox);
    return true;
}

void TMainFormKX4::WriteAllSettingsToSystemClick() {
    if (p_->Session.CommandRunning() || RefuseWithoutSettings()) return;
    if (Refused(LinkOperation::WriteAllSettings)) return;
    if (TakeTables(SettingsCommand::WriteAllSettings))
        p_->Session.Start(SettingsCommand::WriteAllSettings);
}

void TMainFormKX4::WriteControlBoxSettingsToSystemClick() {
    if (p_->Session.CommandRunning() || RefuseWithoutSettings()) return;
    if (Refused(LinkOperation::WriteControlBoxSettings)) {
        p_->Notices.Notice(QStringLiteral("Control box settings are written over USB only"));
        return;
    }
    if (TakeTables(SettingsCommand::WriteControlBoxSettings))
        p_->Session.Start(SettingsCommand::WriteControlBoxSettings);
}

// A reset is not asked for while the link refuses it: the refusal says why.
void TMainFormKX4::ResetControlBoxSettingsToDefaultValuesClick() {
    if (p_->Session.CommandRunning()) return;
    if (p_->Session.Refusal(LinkOperation::ResetControlBoxDefaults)) {
        CommandFinished(Refusal(SettingsCommand::ResetControlBoxDefaults));
        return;
    }
    if (!p_->Dialogs.ConfirmAction(this, QString::fromLatin1(ResetDefaultsTitle),
                                   QString::fromLatin1(ResetDefaultsQuestion),
                                   QStringLiteral("Reset")))
        return;
    p_->Tables->ResetSettings(ModuleId::ControlBox);
    p_->Session.Start(SettingsCommand::ResetControlBoxDefaults);
}

void TMainFormKX4::ResetBluetoothRadioClick() {
    if (p_->Session.CommandRunning()) return;
    if (p_->Session.Refusal(LinkOperation::ResetBluetoothRadio)) {
        CommandFinished(Refusal(SettingsCommand::ResetBluetoothRadio));
        return;
    }
    if (!p_->Dialogs.ConfirmAction(this, QStringLiteral("Reset Bluetooth Radio"),
                                   QString::fromLatin1(ResetRadioQuestion),
                                   QStringLiteral("Reset")))
        return;
    p_->Session.Start(SettingsCommand::ResetBluetoothRadio);
}

// The System menu and the data log item stay disabled until the command ends;
// the settings tables take no typing, as the command's end may show new texts.
void TMainFormKX4::CommandStarted() {
    p_->Tables->Lock(true);
    p_->Ui.SystemMenu->menuAction()->setEnabled(false);
    p_->Ui.EnableDataLoggingToFile->setEnabled(false);
    if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::BusyCursor);
}

// The tables show what the system holds after the command; the user is told how
// it ended. The Bluetooth reset's end waits for its first box to be closed.
void TMainFormKX4::CommandFinished(const CommandResult& result) {
    p_->Tables->Lock(false);
    p_->Ui.SystemMenu->menuAction()->setEnabled(true);
    p_->Ui.EnableDataLoggingToFile->setEnabled(true);
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    p_->Ui.WriteProgress->hide();
    p_->Ui.WriteProgress->reset();
    // A reset that did not happen shows the settings held again, so that a
    // following write does not send the empty table's row defaults.
    const bool notReset = !result.Ok && result.Kind == SettingsCommand::ResetControlBoxDefaults &&
                          p_->Flags.SettingsLoaded;
    if ((result.Ok && result.Kind == SettingsCommand::ResetControlBoxDefaults) || notReset)
        p_->Tables->ShowSettings(ModuleId::ControlBox);
    if (result.Ok && result.Kind == SettingsCommand::ReadAllSettings) SettingsArrived(true);
    ShowWritten(result);
    p_->Report = ReportOf(result);
    if (!p_->ResetBoxOpen) ShowReport();
    if (std::exchange(p_->CloseWhenDone, false)) close();
}

// After a write to this system the tables show what it holds: the checked values
// sent, or what it answered when read back. A write that did not finish leaves
// the typed texts, marked as not confirmed, to be written again.
void TMainFormKX4::ShowWritten(const CommandResult& result) {
    const bool all = result.Kind == SettingsCommand::WriteAllSettings;
    if ((!all && result.Kind != SettingsCommand::WriteControlBoxSettings) || result.Forwarded)
        return;
    std::vector<ModuleId> written{ModuleId::ControlBox};
    if (all) written.assign(AllModules.begin(), AllModules.end());
    if (!result.Ok) {
        p_->Tables->MarkUnconfirmed(written, WriteUnfinishedReason);
        return;
    }
    for (ModuleId module : written)
        if (p_->Tables->HoldsSettings(module)) p_->Tables->ShowSettings(module);
}

void TMainFormKX4::ShowReport() {
    if (!p_->Report) return;
    const CommandReport report = *std::exchange(p_->Report, std::nullopt);
    p_->Notices.Notice(report.Notice);
    if (report.Kind) p_->Notices.Message(*report.Kind, report.Message);
}

// The reset's ten seconds run on the session's thread while this box is open.
void TMainFormKX4::BluetoothResetSent() {
    p_->ResetBoxOpen = true;
    p_->Notices.Message(MessageKind::Information, QString::fromUtf8(BtResetWaitText));
    p_->ResetBoxOpen = false;
    ShowReport();
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

}  // namespace korvan

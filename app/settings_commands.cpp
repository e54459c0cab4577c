// The five settings commands of the System menu and their common frame. Each
// goes through the chosen link, which refuses what its connection cannot do.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

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
QString Reason(const SystemLink& link) {
    return QString::fromStdString(OneLineStatus(link.StatusText()));
}

}  // namespace

// Hourglass, timers stopped, System menu and the timer-restarting items disabled
// (so no second command starts inside a wait that processes messages); all of it
// undone on every way out.
class TMainFormKX4::CommandFrame {
  public:
    CommandFrame(TMainFormKX4& window, bool allTimers) : window_(window), allTimers_(allTimers) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        window_.StopTimers(allTimers_);
        window_.p_->CommandRunning = true;
        SetMenusEnabled(false);
        // Lets the window repaint once before the command's work.
        QApplication::processEvents();
    }
    ~CommandFrame() {
        window_.StartTimers(allTimers_);
        window_.p_->CommandRunning = false;
        SetMenusEnabled(true);
        RestoreCursor();
    }
    CommandFrame(const CommandFrame&) = delete;
    CommandFrame& operator=(const CommandFrame&) = delete;

    void RestoreCursor() {
        if (!cursorSet_) return;
        QApplication::restoreOverrideCursor();
        cursorSet_ = false;
    }

  private:
    void SetMenusEnabled(bool enabled) {
        window_.p_->Ui.SystemMenu->menuAction()->setEnabled(enabled);
        window_.p_->Ui.EnableDataLoggingToFile->setEnabled(enabled);
    }

    TMainFormKX4& window_;
    bool allTimers_;
    bool cursorSet_ = true;
};

bool TMainFormKX4::RefuseWithoutSettings() {
    if (p_->Flags.SettingsLoaded) return false;
    ShowMessage(MessageKind::Warning, NeedSettingsText);
    return true;
}

// The chosen link's refusal of `operation`, shown; false when the link does it.
bool TMainFormKX4::Refused(LinkOperation operation) {
    const std::optional<LinkRefusal> refusal = p_->Link->Refusal(operation);
    if (!refusal) return false;
    if (refusal->Text) ShowMessage(refusal->Kind, refusal->Text);
    return true;
}

void TMainFormKX4::ReadAllSettingsFromSystemClick() {
    if (p_->CommandRunning) return;
    p_->Flags.SettingsLoaded = false;
    p_->Tables->ResetAllSettings();
    CommandFrame frame(*this, true);
    if (!p_->Link->ReadAllSettings(p_->Data, p_->Events)) {
        if (!p_->Link->Refusal(LinkOperation::ReadAllSettings))
            ShowNotice(QStringLiteral("Reading the settings failed: ") + Reason(*p_->Link));
        return;
    }
    ShowReadSettings();
    // Over the relay the customer's tool answers; its settings come with the reply.
    ShowNotice(p_->Link->PolledBy() == PollTimer::None
                   ? QStringLiteral("Settings requested from the customer's system")
                   : QStringLiteral("All settings read from the system"));
}

// The tables of the modules that are there, the drop-down on the record's profile.
void TMainFormKX4::ShowReadSettings() {
    p_->Tables->ShowSettingsTables(true);
    p_->Flags.SettingsLoaded = true;
}

void TMainFormKX4::WriteAllSettingsToSystemClick() {
    if (p_->CommandRunning || RefuseWithoutSettings()) return;
    CommandFrame frame(*this, true);
    const std::vector<SettingsCorrection> corrections = p_->Tables->Corrections();
    p_->Tables->ReadAllSettings();
    ShowCorrections(corrections);
    if (Refused(LinkOperation::WriteAllSettings)) return;
    QProgressBar* progress = p_->Ui.WriteProgress;
    const WriteOutcome outcome = p_->Link->WriteAllSettings(p_->Data, p_->Events);
    progress->hide();
    progress->reset();
    if (!outcome.Complete) {
        frame.RestoreCursor();
        ShowNotice(QStringLiteral("Writing all settings stopped after %1 of %2 reports: ")
                       .arg(outcome.Sent)
                       .arg(outcome.Total) +
                   Reason(*p_->Link));
        WarnInterruptedWrite(outcome, false);
    } else if (p_->Link->PolledBy() == PollTimer::None) {
        ShowNotice(QStringLiteral("All settings sent to the customer's system"));
    } else {
        ShowNotice(QStringLiteral("All settings written: %1 reports").arg(outcome.Total));
    }
}

void TMainFormKX4::WarnInterruptedWrite(const WriteOutcome& outcome, bool controlBoxOnly) {
    const QString text =
        controlBoxOnly
            ? InterruptedWriteText(outcome, "Writing the control box settings",
                                   "write the control box settings again")
            : InterruptedWriteText(outcome, "Writing all settings", "write all settings again");
    p_->Dialogs.ShowMessage(this, MessageKind::Warning, text);
}

void TMainFormKX4::SetWriteProgress(size_t sent, size_t total, ModuleId module) {
    QProgressBar* progress = p_->Ui.WriteProgress;
    progress->setRange(0, static_cast<int>(total));
    progress->setValue(static_cast<int>(sent));
    progress->setFormat(QStringLiteral("%1: %2 of %3 reports")
                            .arg(QLatin1String(ModuleName(module)))
                            .arg(sent)
                            .arg(total));
    progress->show();
}

void TMainFormKX4::WriteControlBoxSettingsToSystemClick() {
    if (p_->CommandRunning || RefuseWithoutSettings()) return;
    CommandFrame frame(*this, false);
    if (Refused(LinkOperation::WriteControlBoxSettings)) {
        ShowNotice(QStringLiteral("Control box settings are written over USB only"));
        return;
    }
    const std::vector<SettingsCorrection> corrections = p_->Tables->Corrections();
    p_->Tables->ReadSettings(ModuleId::ControlBox);
    ShowCorrections(corrections);
    const WriteOutcome outcome = p_->Link->WriteControlBoxSettings(p_->Data, p_->Events);
    if (!outcome.Complete) {
        frame.RestoreCursor();
        ShowNotice(QStringLiteral("Writing the control box settings stopped after %1 of %2 "
                                  "reports: ")
                       .arg(outcome.Sent)
                       .arg(outcome.Total) +
                   Reason(*p_->Link));
        WarnInterruptedWrite(outcome, true);
        return;
    }
    if (!outcome.ReadBack) {
        ShowNotice(QStringLiteral("Control box settings written; reading them back failed: ") +
                   Reason(*p_->Link));
        return;
    }
    p_->Tables->ShowSettings(ModuleId::ControlBox);
    ShowNotice(QStringLiteral("Control box settings written and read back"));
}

void TMainFormKX4::ResetControlBoxSettingsToDefaultValuesClick() {
    if (p_->CommandRunning) return;
    p_->Tables->ResetSettings(ModuleId::ControlBox);
    CommandFrame frame(*this, false);
    if (p_->Link->ResetControlBoxDefaults(p_->Data, p_->Events)) {
        p_->Tables->ShowSettings(ModuleId::ControlBox);
        ShowNotice(QStringLiteral("Control box settings reset to their default values"));
        return;
    }
    // Nothing was reset: the table shows the settings held again, so that a
    // following write does not send the empty table's row defaults.
    if (p_->Flags.SettingsLoaded) p_->Tables->ShowSettings(ModuleId::ControlBox);
    ShowNotice(QStringLiteral("Control box settings not reset"));
    ShowMessage(MessageKind::Error, UsbRequiredText);
}

void TMainFormKX4::ResetBluetoothRadioClick() {
    if (p_->CommandRunning) return;
    CommandFrame frame(*this, false);
    if (!p_->Link->ResetBluetoothRadio(p_->Events)) {
        ShowNotice(QStringLiteral("Bluetooth radio not reset"));
        ShowMessage(MessageKind::Error, UsbRequiredText);
        return;
    }
    QElapsedTimer sinceReset;
    sinceReset.start();
    ShowMessage(MessageKind::Information, BtResetWaitText);
    const auto left = BluetoothResetDuration - std::chrono::milliseconds(sinceReset.elapsed());
    if (left.count() > 0) p_->Wait.Wait(left, true);
    frame.RestoreCursor();
    ShowMessage(MessageKind::Information, BtResetDoneText);
    SetStatusText(p_->Link->StatusText());
    ShowNotice(QStringLiteral("Bluetooth radio reset"));
}

void TMainFormKX4::ShowNotice(const QString& text) { statusBar()->showMessage(text, NoticeMs); }

void TMainFormKX4::ShowCorrections(const std::vector<SettingsCorrection>& corrections) {
    if (corrections.empty()) return;
    if (!p_->Corrections) p_->Corrections = new CorrectionsNotice(this);
    p_->Corrections->Show(corrections);
}

}  // namespace korvan

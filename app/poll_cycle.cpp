// The polling cycle: the USB tick (every module's state, then the CAN frames
// while the frame monitor watches) and the Bluetooth tick (one StateImage a
// second), both through the chosen link.
#include <QAction>
#include <QTabWidget>

#include "app/window_parts.h"
#include "display/can_monitor.h"
#include "display/outline_view.h"
#include "display/trends_view.h"
#include "model/data_log.h"

namespace korvan {

void TMainFormKX4::USBTimerTimer() { PollTick(PollTimer::Usb); }
void TMainFormKX4::BTTimerTimer() { PollTick(PollTimer::Bluetooth); }

// A tick of a timer that does not poll the chosen link returns at once.
void TMainFormKX4::PollTick(PollTimer timer) {
    SystemLink& link = *p_->Link;
    if (link.PolledBy() != timer) return;
    WindowFlags& flags = p_->Flags;
    const uint8_t frs = FrsFlag(flags.FrsPlusPending, flags.FrsMinusPending);
    flags.FrsPlusPending = false;
    flags.FrsMinusPending = false;

    switch (link.PollState(p_->Data, frs, p_->Events)) {
        case PollOutcome::Lost:
            LinkLost();
            NoData();
            break;
        case PollOutcome::Failed:
            setWindowTitle(flags.ApplicationTitle);
            NoData();
            break;
        case PollOutcome::Complete:
            StatePolled();
            PollCanFrames();
            SetLinkCaption(link.CaptionName());
            break;
        case PollOutcome::Partial:
            SetLinkCaption(link.CaptionName());
            break;
    }
    SetStatusText(link.StatusText());
    RefreshOutline();
}

// No system, no values. The settings tables lose their contents too, so the
// settings count as not loaded any more: a write must not send the empty tables'
// row defaults into the system.
void TMainFormKX4::LinkLost() {
    setWindowTitle(p_->Flags.ApplicationTitle);
    p_->Data.ZeroStates();
    p_->Tables->LinkLost(p_->Flags.SettingsLoaded);
    p_->Flags.SettingsLoaded = false;
}

// The NMEA-2000 page shows while the bus is connected, on a link that fetches
// frames; the frames come while that page is open and not paused.
void TMainFormKX4::PollCanFrames() {
    if (p_->Link->Refusal(LinkOperation::CanFrames)) return;
    WindowUi& ui = p_->Ui;
    const bool nmea = (p_->Data.ControlState.ConnectedModules & Nmea2000Connected) != 0;
    const int canPage = ui.PageControl->indexOf(ui.CanTabSheet);
    if (ui.PageControl->isTabVisible(canPage) != nmea) ui.PageControl->setTabVisible(canPage, nmea);
    if (ui.PageControl->currentIndex() != canPage || !nmea || ui.Can->Paused()) return;
    DeviceReport answer{};
    if (p_->Link->PollCanFrames(answer)) ui.Can->AddFrameRecords(answer.data());
}

void TMainFormKX4::SetLinkCaption(const char* link) {
    QString caption =
        p_->Flags.ApplicationTitle + QStringLiteral(" - %1 connection").arg(QLatin1String(link));
    if (p_->Ui.ShareDataWithSupport->isChecked())
        caption += QStringLiteral(", sharing data with remote support");
    if (windowTitle() != caption) setWindowTitle(caption);
}

HistoryTime Now() {
    return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

// After every complete state poll, from a local link or from the customer's
// system: the data log, the history, the pages that show it.
void TMainFormKX4::StatePolled() {
    AppendLogIfEnabled();
    p_->History.Record(Now(), p_->Data);
    p_->Ui.Outline->SetStale(QString());
    p_->Ui.TrendsTabSheet->SetStale(std::nullopt);
    if (p_->Ui.PageControl->currentWidget() == p_->Ui.TrendsTabSheet)
        p_->Ui.TrendsTabSheet->Refresh();
}

// A poll that brought nothing: a break in the history, and the pages say since
// when there has been no data instead of showing the emptied records' values.
void TMainFormKX4::NoData() {
    p_->History.MarkGap(Now());
    const std::optional<HistoryTime> last = p_->History.LastPollTime();
    if (!last) return;
    const QDateTime since = QDateTime::fromMSecsSinceEpoch(last->time_since_epoch().count());
    p_->Ui.Outline->SetStale(
        QStringLiteral("No data since %1").arg(since.toString(QStringLiteral("HH:mm:ss"))));
    p_->Ui.TrendsTabSheet->SetStale(last);
}

// After every complete state poll: a failed append switches logging off.
void TMainFormKX4::AppendLogIfEnabled() {
    QAction* logging = p_->Ui.EnableDataLoggingToFile;
    if (!logging->isChecked()) return;
    if (AppendDataLogLine(p_->Flags.DataLogPath, p_->Data, p_->Sep)) return;
    logging->setChecked(false);
    ShowNotice(QStringLiteral("Data logging stopped: %1 cannot be written")
                   .arg(QString::fromStdString(p_->Flags.DataLogPath)));
}

void WindowEvents::LinkStatus(const std::string& text) { window_.SetStatusText(text); }

void WindowEvents::StateDecoded(ModuleId module) { window_.p_->Tables->ShowState(module); }

void WindowEvents::WriteProgress(size_t sent, size_t total, ModuleId module) {
    window_.SetWriteProgress(sent, total, module);
}

}  // namespace korvan

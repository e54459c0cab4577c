// The polls as the window shows them: the timers' handlers hand the ticks to the
// session; what the session decodes fills the tables, the caption, the status
// text, the pages of gauges and plots and the frame monitor.
#include <QAction>
#include <QLabel>
#include <QTabWidget>

#include "app/window_parts.h"
#include "display/can_monitor.h"
#include "display/outline_view.h"
#include "display/trends_view.h"

namespace korvan {

void TMainFormKX4::USBTimerTimer() { p_->Session.Poll(PollTimer::Usb); }
void TMainFormKX4::BTTimerTimer() { p_->Session.Poll(PollTimer::Bluetooth); }
void TMainFormKX4::INETTimerTimer() { p_->Session.Poll(PollTimer::Relay); }

void TMainFormKX4::ConnectSession() {
    SystemSession* s = &p_->Session;
    WindowUi& ui = p_->Ui;
    connect(s, &SystemSession::StateDecoded, this,
            [this](ModuleId module) { p_->Tables->ShowState(module); });
    connect(s, &SystemSession::Polled, this, &TMainFormKX4::Polled);
    connect(s, &SystemSession::LinkLost, this, &TMainFormKX4::LinkLost);
    connect(s, &SystemSession::StatePolled, this, &TMainFormKX4::StatePolled);
    connect(s, &SystemSession::NoDataSince, this, &TMainFormKX4::NoDataSince);
    connect(s, &SystemSession::CanFrames, this,
            [this](const DeviceReport& answer) { p_->Ui.Can->AddFrameRecords(answer.data()); });
    connect(s, &SystemSession::LinkStatus, this, &TMainFormKX4::SetStatusText);
    connect(s, &SystemSession::SettingsArrived, this, &TMainFormKX4::SettingsArrived);
    connect(s, &SystemSession::WriteProgress, this, &TMainFormKX4::SetWriteProgress);
    connect(s, &SystemSession::CommandStarted, this, &TMainFormKX4::CommandStarted);
    connect(s, &SystemSession::CommandFinished, this, &TMainFormKX4::CommandFinished);
    connect(s, &SystemSession::BluetoothResetSent, this, &TMainFormKX4::BluetoothResetSent);
    connect(s, &SystemSession::DataLogStopped, this, [this](const QString& path) {
        p_->Ui.EnableDataLoggingToFile->setChecked(false);
        p_->Notices.Notice(QStringLiteral("Data logging stopped: %1 cannot be written").arg(path));
    });
    connect(s, &SystemSession::PanelMessage, this,
            [this](const QString& text) { ShowPanelMessage(text.toStdString()); });
    connect(ui.Can->PauseCanWatch, &QAction::toggled, this, &TMainFormKX4::UpdateCanPage);
}

void TMainFormKX4::Polled(PollOutcome outcome) {
    switch (outcome) {
        case PollOutcome::Lost:
        case PollOutcome::Failed:
            setWindowTitle(p_->Flags.ApplicationTitle);
            break;
        case PollOutcome::Complete:
        case PollOutcome::Partial:
            SetLinkCaption(p_->Session.Link().CaptionName());
            break;
    }
    if (outcome == PollOutcome::Complete) UpdateCanPage();
    RefreshOutline();
}

// No system, no values. The settings tables keep what was read, loaded or typed,
// shown as not confirmed by the system, so that they can be written again once
// the link is back.
void TMainFormKX4::LinkLost() { p_->Tables->LinkLost(); }

// The NMEA-2000 page shows while the bus is connected; the session fetches the
// frames while the bus is connected and the list is not paused, also while
// another page is shown, so that the list holds what the bus carried meanwhile.
void TMainFormKX4::UpdateCanPage() {
    WindowUi& ui = p_->Ui;
    const bool nmea =
        (p_->Session.Records().ControlState.ConnectedModules & Nmea2000Connected) != 0;
    const int canPage = ui.PageControl->indexOf(ui.CanTabSheet);
    if (!p_->Session.Link().Refusal(LinkOperation::CanFrames) &&
        ui.PageControl->isTabVisible(canPage) != nmea)
        ui.PageControl->setTabVisible(canPage, nmea);
    p_->Session.SetCanFramesWanted(nmea && !ui.Can->Paused());
}

void TMainFormKX4::SetLinkCaption(const char* link) {
    QString caption =
        p_->Flags.ApplicationTitle + QStringLiteral(" - %1 connection").arg(QLatin1String(link));
    if (p_->Ui.ShareDataWithSupport->isChecked())
        caption += QStringLiteral(", sharing data with remote support");
    if (windowTitle() != caption) setWindowTitle(caption);
}

// After every complete state poll, from a local link or from the customer's
// system: the pages that show the history.
void TMainFormKX4::StatePolled() {
    p_->Ui.Outline->SetStale(QString());
    p_->Ui.TrendsTabSheet->SetStale(std::nullopt);
    if (p_->Ui.PageControl->currentWidget() == p_->Ui.TrendsTabSheet)
        p_->Ui.TrendsTabSheet->Refresh();
}

// A poll that brought nothing: the pages say since when there has been no data
// instead of showing the emptied records' values.
void TMainFormKX4::NoDataSince(std::optional<HistoryTime> last) {
    if (!last) return;
    const QDateTime since = QDateTime::fromMSecsSinceEpoch(last->time_since_epoch().count());
    p_->Ui.Outline->SetStale(
        QStringLiteral("No data since %1").arg(since.toString(QStringLiteral("HH:mm:ss"))));
    p_->Ui.TrendsTabSheet->SetStale(last);
}

}  // namespace korvan

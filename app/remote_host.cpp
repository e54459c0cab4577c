// The window's side of remote support: the relay timer, the chat, the support
// domain and sessions, and what the customer and support roles ask of the window.
#include <QAction>
#include <QApplication>
#include <QTime>
#include <QTimer>

#include "app/support_panel.h"
#include "app/window_parts.h"
#include "model/settings_fields.h"
#include "relay/support_session.h"

namespace korvan {

void TMainFormKX4::INETTimerTimer() {
    p_->Ui.INETTimer->stop();
    p_->Remote->Tick();
    p_->Ui.INETTimer->start();
}

void TMainFormKX4::SendChatMessageClick() {
    if (p_->CommandRunning) return;
    StopTimers(true);
    QApplication::processEvents();
    QString text;
    if (p_->Dialogs.InputText(this, QStringLiteral("Send a chat"), QStringLiteral("Message"),
                              text) &&
        !text.isEmpty())
        p_->Remote->SendChat(text.toStdString());
    StartTimers(true);
}

// Pre-filled with the default domain, so cancelling restores it.
void TMainFormKX4::SupportDomain1Click() {
    QString domain = QString::fromLatin1(DefaultSupportDomain);
    p_->Dialogs.InputText(this, QStringLiteral("Remote Support"), QStringLiteral("Domain Name"),
                          domain);
    p_->Remote->State.SupportDomain = domain.toStdString();
}

// A fresh code from the system's random source after the relay's host; the
// technician reads it to the customer.
void TMainFormKX4::NewSupportSessionClick() {
    std::string error;
    const std::string code = MakeSessionCode(error);
    if (code.empty()) {
        ShowMessage(MessageKind::Error, error.c_str());
        return;
    }
    RelayState& state = p_->Remote->State;
    state.SupportDomain = SessionDomain(state.SupportDomain, code);
    ShowSupportPanel();
    p_->Dialogs.ShowSessionCode(this, QString::fromStdString(code));
}

// The customer types the code read out to them; the relay's host stays.
void TMainFormKX4::JoinSupportSessionClick() {
    QString entered;
    if (!p_->Dialogs.InputText(this, QStringLiteral("Join Support Session"),
                               QStringLiteral("Session Code"), entered))
        return;
    // Blanks around a code and small letters are the reader's, not the code's:
    // the codes the tool makes are capitals and digits.
    const std::string code = entered.trimmed().toUpper().toStdString();
    if (!ValidSessionCode(code)) {
        ShowMessage(MessageKind::Warning,
                    "A session code has 8 to 64 letters, digits and '-' and nothing else");
        return;
    }
    RelayState& state = p_->Remote->State;
    state.SupportDomain = SessionDomain(state.SupportDomain, code);
    p_->Ui.ShareDataWithSupport->setChecked(true);
    ShowSupportPanel();
}

void TMainFormKX4::SupportChatHistoryClick() {
    ShowSupportPanel();
    p_->Ui.Support->raise();
}

void TMainFormKX4::BuildSupportPanel() {
    auto* panel = new SupportPanel(this);
    p_->Ui.Support = panel;
    addDockWidget(Qt::RightDockWidgetArea, panel);
    // Floating, so that the fixed-size window keeps its pages whole until the
    // user docks it.
    panel->setFloating(true);
    panel->hide();
    connect(panel, &SupportPanel::SendLine, this, [this](const QString& text) {
        if (!p_->CommandRunning) p_->Remote->SendChat(text.toStdString());
    });
}

void TMainFormKX4::ShowSupportPanel() {
    SupportPanel* panel = p_->Ui.Support;
    if (!panel->isHidden()) return;
    if (panel->isFloating()) panel->move(frameGeometry().topRight() + QPoint(8, 0));
    panel->show();
}

SystemData& WindowRemoteHost::Data() { return window_.p_->Data; }

bool WindowRemoteHost::ShareDataChecked() const {
    return window_.p_->Ui.ShareDataWithSupport->isChecked();
}

void WindowRemoteHost::SetShareDataChecked(bool checked) {
    window_.p_->Ui.ShareDataWithSupport->setChecked(checked);
}

bool WindowRemoteHost::RemoteViaInternetChecked() const {
    return window_.p_->Link == window_.p_->SupportConnection.get();
}

void WindowRemoteHost::SelectUsbConnection() { window_.p_->Ui.ConnectionUSB->setChecked(true); }

void WindowRemoteHost::SetSendChatEnabled(bool enabled) {
    window_.p_->Ui.SendChatMessage->setEnabled(enabled);
    window_.p_->Ui.Support->SetSendEnabled(enabled);
}

void WindowRemoteHost::ShowPanelMessage(const std::string& text) { window_.ShowPanelMessage(text); }

void WindowRemoteHost::ShowConnectionError(const std::string& text) {
    window_.ShowMessage(MessageKind::Error, text.c_str());
}

void WindowRemoteHost::SetStatusText(const std::string& text) { window_.SetStatusText(text); }

void WindowRemoteHost::SetRemoteCaption() {
    window_.setWindowTitle(window_.p_->Flags.ApplicationTitle +
                           QStringLiteral(" - remote Internet connection"));
}

void WindowRemoteHost::CloseLocalLinks() {
    window_.p_->Bt.Close();
    window_.p_->Usb.Close();
}

void WindowRemoteHost::ReadAllSettingsFromSystem() { window_.ReadAllSettingsFromSystemClick(); }
void WindowRemoteHost::WriteAllSettingsToSystem() { window_.WriteAllSettingsToSystemClick(); }
void WindowRemoteHost::ShowStateTables() { window_.p_->Tables->ShowAllStates(); }

void WindowRemoteHost::ShowSettingsTables(bool onlyConnected) {
    window_.p_->Tables->ShowSettingsTables(onlyConnected);
}

void WindowRemoteHost::RefreshOutline() { window_.RefreshOutline(); }
void WindowRemoteHost::StatePolled() { window_.StatePolled(); }

// What would change, field by field, as korvan-settings diff lists it.
bool WindowRemoteHost::ConfirmSupportSettings(const SystemData& received) {
    using namespace settings_fields;
    std::vector<SettingsChangeRow> rows;
    for (const FieldChange& change :
         CompareImages(BuildSettingsFileImage(window_.p_->Data), BuildSettingsFileImage(received),
                       window_.p_->Sep))
        rows.push_back({QString::fromUtf8(SectionTitle(change.Sec)),
                        QString::fromStdString(change.Name), QString::fromStdString(change.Old),
                        QString::fromStdString(change.New)});
    return window_.p_->Dialogs.ConfirmSettings(&window_, QStringLiteral("Settings from support"),
                                               rows);
}

void WindowRemoteHost::ChatLine(ChatSide side, const std::string& text) {
    window_.p_->Ui.Support->AddLine(
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
        side == ChatSide::Support ? QStringLiteral("SUPPORT") : QStringLiteral("CLIENT"),
        QString::fromStdString(text));
    window_.ShowSupportPanel();
}

}  // namespace korvan

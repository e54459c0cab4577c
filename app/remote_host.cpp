// The window's side of remote support: the relay timer, the chat, the support
// domain, and what the customer and support roles ask of the window.
#include <QAction>
#include <QApplication>
#include <QTimer>

#include "app/window_parts.h"

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
void WindowRemoteHost::AppendLogIfEnabled() { window_.StatePolled(); }

}  // namespace korvan

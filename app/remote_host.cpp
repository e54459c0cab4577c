// The window's side of remote support: the relay timer, the chat, the support
// domain, and what the customer and support roles ask of the window.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include "app/main_window.h"
#include "display/outline_view.h"

namespace korvan {

void TMainFormKX4::INETTimerTimer() {
    INETTimer->stop();
    remote_->Tick();
    INETTimer->start();
}

void TMainFormKX4::SendChatMessageClick() {
    if (commandRunning_) return;
    USBTimer->stop();
    BTTimer->stop();
    INETTimer->stop();
    QApplication::processEvents();
    QString text;
    if (dialogs_.InputText(this, QStringLiteral("Send a chat"), QStringLiteral("Message"), text) &&
        !text.isEmpty())
        remote_->SendChat(text.toStdString());
    USBTimer->start();
    BTTimer->start();
    INETTimer->start();
}

// Pre-filled with the default domain, so cancelling restores it.
void TMainFormKX4::SupportDomain1Click() {
    QString domain = QString::fromLatin1(DefaultSupportDomain);
    dialogs_.InputText(this, QStringLiteral("Remote Support"), QStringLiteral("Domain Name"),
                       domain);
    remote_->State.SupportDomain = domain.toStdString();
}

bool TMainFormKX4::ShareDataChecked() const { return ShareDataWithSupport->isChecked(); }
void TMainFormKX4::SetShareDataChecked(bool checked) { ShareDataWithSupport->setChecked(checked); }
bool TMainFormKX4::RemoteViaInternetChecked() const {
    return RemoteViaInternetToProvideSupport->isChecked();
}
void TMainFormKX4::SelectUsbConnection() { ConnectionUSB->setChecked(true); }
void TMainFormKX4::SetSendChatEnabled(bool enabled) { SendChatMessage->setEnabled(enabled); }

void TMainFormKX4::ShowPanelMessage(const std::string& text) {
    MessagePanel->setText(QString::fromStdString(text));
    MessagePanel->show();
    MessageShownAt = QDateTime::currentDateTime();
}

void TMainFormKX4::ShowConnectionError(const std::string& text) {
    ShowMessage(MessageKind::Error, text.c_str());
}

void TMainFormKX4::SetRemoteCaption() {
    setWindowTitle(ApplicationTitle + QStringLiteral(" - remote Internet connection"));
}

void TMainFormKX4::CloseLocalLinks() {
    bt_.Close();
    usb_.Close();
}

void TMainFormKX4::ShowStateTables() {
    ShowControlBoxState();
    ShowBatteryBoxState();
    UpdateBatterySettingsScale();
    ShowFieldBoxState(0);
    ShowFieldBoxState(1);
}

void TMainFormKX4::ShowSettingsTables(bool onlyConnected) {
    const uint16_t connected = data_.ControlState.ConnectedModules;
    auto shown = [&](uint16_t bit) { return !onlyConnected || (connected & bit) != 0; };
    settingsTablesLost_ = false;
    ShowControlBoxSettings();
    if (shown(BatteryBoxConnected)) ShowBatteryBoxSettings();
    if (shown(FieldBox1Connected)) ShowFieldBoxSettings(0);
    if (shown(FieldBox2Connected)) ShowFieldBoxSettings(1);
    // An index from a file may lie outside the eight profiles: the drop-down then
    // shows none, and the read-back keeps the record's index.
    const int profile = data_.ControlSettings.ProfileIndex;
    PIComboBox->setCurrentIndex(profile < PIComboBox->count() ? profile : -1);
}

void TMainFormKX4::RefreshOutline() {
    if (Outline) Outline->RefreshOutline();
}

}  // namespace korvan

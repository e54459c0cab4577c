// The window's side of remote support: the relay timer, the chat, the support
// domain and sessions, and what the customer and support roles ask of the window.
#include <QAction>
#include <QTime>

#include "app/support_panel.h"
#include "app/window_parts.h"
#include "model/settings_fields.h"
#include "relay/support_session.h"

namespace korvan {

// The polls go on while the chat box is open.
void TMainFormKX4::SendChatMessageClick() {
    QString text;
    if (p_->Dialogs.InputText(this, QStringLiteral("Send a chat"), QStringLiteral("Message"),
                              text) &&
        !text.isEmpty())
        p_->Session.SendChat(text.toStdString());
}

// Pre-filled with the default domain, so cancelling restores it.
void TMainFormKX4::SupportDomain1Click() {
    QString domain = QString::fromLatin1(DefaultSupportDomain);
    p_->Dialogs.InputText(this, QStringLiteral("Remote Support"), QStringLiteral("Domain Name"),
                          domain);
    p_->Session.SetSupportDomain(domain.toStdString());
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
    SystemSession& session = p_->Session;
    session.SetSupportDomain(SessionDomain(session.SupportDomain(), code));
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
    SystemSession& session = p_->Session;
    session.SetSupportDomain(SessionDomain(session.SupportDomain(), code));
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
    connect(panel, &SupportPanel::SendLine, this,
            [this](const QString& text) { p_->Session.SendChat(text.toStdString()); });
}

void TMainFormKX4::ShowSupportPanel() {
    SupportPanel* panel = p_->Ui.Support;
    if (!panel->isHidden()) return;
    if (panel->isFloating()) panel->move(frameGeometry().topRight() + QPoint(8, 0));
    panel->show();
}

// What would change, field by field, as korvan-settings diff lists it; the
// answer goes back to the customer role, which went on sharing meanwhile.
void TMainFormKX4::AskConsent(const SystemData& now, const SystemData& received) {
    using namespace settings_fields;
    std::vector<SettingsChangeRow> rows;
    for (const FieldChange& change : CompareImages(
             BuildSettingsFileImage(now), BuildSettingsFileImage(received), DecimalSeparator()))
        rows.push_back({QString::fromUtf8(SectionTitle(change.Sec)),
                        QString::fromStdString(change.Name), QString::fromStdString(change.Old),
                        QString::fromStdString(change.New)});
    p_->Session.AnswerSupportSettings(
        p_->Dialogs.ConfirmSettings(this, QStringLiteral("Settings from support"), rows));
}

void TMainFormKX4::ChatLine(ChatSide side, const QString& text) {
    p_->Ui.Support->AddLine(
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
        side == ChatSide::Support ? QStringLiteral("SUPPORT") : QStringLiteral("CLIENT"), text);
    ShowSupportPanel();
}

}  // namespace korvan

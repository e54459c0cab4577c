#include "app/remote_view.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QTime>

#include "app/support_panel.h"
#include "model/settings_fields.h"
#include "relay/support_session.h"

namespace korvan {

RemoteSupportView::RemoteSupportView(QMainWindow& window, WindowUi& ui, SystemSession& session,
                                     UserDialogs& dialogs)
    : QObject(&window), window_(window), ui_(ui), session_(session), dialogs_(dialogs) {
    auto* panel = new SupportPanel(&window);
    ui_.Support = panel;
    window.addDockWidget(Qt::RightDockWidgetArea, panel);
    // Floating, so that the fixed-size window keeps its pages whole until the
    // user docks it.
    panel->setFloating(true);
    panel->hide();
    connect(panel, &SupportPanel::SendLine, this,
            [this](const QString& text) { session_.SendChat(text.toStdString()); });

    SystemSession* s = &session_;
    connect(s, &SystemSession::ChatLine, this, &RemoteSupportView::ChatLine);
    connect(s, &SystemSession::ConsentNeeded, this, &RemoteSupportView::AskConsent);
    connect(s, &SystemSession::ConnectionError, this, [this](const QString& text) {
        dialogs_.ShowMessage(&window_, MessageKind::Error, text);
    });
    connect(s, &SystemSession::ShareDataChanged, ui_.ShareDataWithSupport, &QAction::setChecked);
    connect(ui_.ShareDataWithSupport, &QAction::toggled, s, &SystemSession::SetShareData);
    connect(s, &SystemSession::ConnectionChanged, this, [this](Connection connection) {
        if (connection == Connection::Usb) ui_.ConnectionUSB->setChecked(true);
    });
    connect(s, &SystemSession::SendChatEnabled, this, [this](bool enabled) {
        ui_.SendChatMessage->setEnabled(enabled);
        ui_.Support->SetSendEnabled(enabled);
    });
    connect(s, &SystemSession::RelayBusy, this, &RemoteSupportView::ShowCue);
}

// The window's background darkens while the relay is asked.
void RemoteSupportView::ShowCue(bool busy) {
    QPalette palette = window_.palette();
    palette.setColor(QPalette::Window,
                     QApplication::palette().color(busy ? QPalette::Dark : QPalette::Button));
    window_.setAutoFillBackground(true);
    window_.setPalette(palette);
}

// The polls go on while the chat box is open.
void RemoteSupportView::SendChat() {
    QString text;
    if (dialogs_.InputText(&window_, QStringLiteral("Send a chat"), QStringLiteral("Message"),
                           text) &&
        !text.isEmpty())
        session_.SendChat(text.toStdString());
}

// Pre-filled with the default domain, so cancelling restores it.
void RemoteSupportView::ChangeDomain() {
    QString domain = QString::fromLatin1(DefaultSupportDomain);
    dialogs_.InputText(&window_, QStringLiteral("Remote Support"), QStringLiteral("Domain Name"),
                       domain);
    session_.SetSupportDomain(domain.toStdString());
}

// A fresh code from the system's random source after the relay's host; the
// technician reads it to the customer.
void RemoteSupportView::NewSession() {
    std::string error;
    const std::string code = MakeSessionCode(error);
    if (code.empty()) {
        dialogs_.ShowMessage(&window_, MessageKind::Error, QString::fromStdString(error));
        return;
    }
    SystemSession& session = session_;
    session.SetSupportDomain(SessionDomain(session.SupportDomain(), code));
    ShowPanel();
    dialogs_.ShowSessionCode(&window_, QString::fromStdString(code));
}

// The customer types the code read out to them; the relay's host stays.
void RemoteSupportView::JoinSession() {
    QString entered;
    if (!dialogs_.InputText(&window_, QStringLiteral("Join Support Session"),
                            QStringLiteral("Session Code"), entered))
        return;
    // Blanks around a code and small letters are the reader's, not the code's:
    // the codes the tool makes are capitals and digits.
    const std::string code = entered.trimmed().toUpper().toStdString();
    if (!ValidSessionCode(code)) {
        dialogs_.ShowMessage(
            &window_, MessageKind::Warning,
            QStringLiteral("A session code has 8 to 64 letters, digits and '-' and nothing else"));
        return;
    }
    SystemSession& session = session_;
    session.SetSupportDomain(SessionDomain(session.SupportDomain(), code));
    ui_.ShareDataWithSupport->setChecked(true);
    ShowPanel();
}

void RemoteSupportView::ShowHistory() {
    ShowPanel();
    ui_.Support->raise();
}

void RemoteSupportView::ShowPanel() {
    SupportPanel* panel = ui_.Support;
    if (!panel->isHidden()) return;
    if (panel->isFloating()) panel->move(window_.frameGeometry().topRight() + QPoint(8, 0));
    panel->show();
}

// What would change, field by field, as korvan-settings diff lists it; the
// answer goes back to the customer role, which went on sharing meanwhile.
void RemoteSupportView::AskConsent(const SystemData& now, const SystemData& received) {
    using namespace settings_fields;
    std::vector<SettingsChangeRow> rows;
    for (const FieldChange& change :
         CompareImages(BuildSettingsFileImage(now), BuildSettingsFileImage(received),
                       session_.DecimalSeparator()))
        rows.push_back({QString::fromUtf8(SectionTitle(change.Sec)),
                        QString::fromStdString(change.Name), QString::fromStdString(change.Old),
                        QString::fromStdString(change.New)});
    session_.AnswerSupportSettings(
        dialogs_.ConfirmSettings(&window_, QStringLiteral("Settings from support"), rows));
}

void RemoteSupportView::ChatLine(ChatSide side, const QString& text) {
    ui_.Support->AddLine(
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
        side == ChatSide::Support ? QStringLiteral("SUPPORT") : QStringLiteral("CLIENT"), text);
    ShowPanel();
}

}  // namespace korvan
